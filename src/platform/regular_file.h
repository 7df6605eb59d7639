// Reading a small configuration file whole. Only the platform layer includes it.
#ifndef KAVO_PLATFORM_REGULAR_FILE_H_
#define KAVO_PLATFORM_REGULAR_FILE_H_

#include <cstddef>
#include <string>

#include "rtl/ustring.h"

namespace kavo {

// The file's bytes; empty for anything that is not a regular file of at most
// `max_size` bytes, or that cannot be read.
std::string ReadRegularFile(const String& path, size_t max_size);

}  // namespace kavo

#endif  // KAVO_PLATFORM_REGULAR_FILE_H_
