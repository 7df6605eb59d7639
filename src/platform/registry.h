// Reading the system registry under HKEY_LOCAL_MACHINE (Windows build only:
// Linux has no registry, and its backend offers none). Nothing is ever written.
#ifndef KAVO_PLATFORM_REGISTRY_H_
#define KAVO_PLATFORM_REGISTRY_H_

#include <vector>

#include "rtl/ustring.h"

namespace kavo {

// One string value (at most 1023 characters, without its terminating zero);
// empty when the key cannot be opened or the value cannot be read. The value's
// type is not examined.
String ReadRegString(const String& key, const String& name);
// The names of the key's subkeys in enumeration order; empty when it cannot be
// opened.
std::vector<String> ReadRegNames(const String& key);

}  // namespace kavo

#endif  // KAVO_PLATFORM_REGISTRY_H_
