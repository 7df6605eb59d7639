// Where the running executable lives (/proc/self/exe). The INI file and the
// activity log sit beside it.
#ifndef KAVO_PLATFORM_EXECUTABLE_PATH_H_
#define KAVO_PLATFORM_EXECUTABLE_PATH_H_

#include "rtl/ustring.h"

namespace kavo {

// The full path of the executable as the kernel reports it for the process,
// as OS text (rtl/os_text.h): it converts back to the very same bytes.
String ExecutablePath();

// The path cut after its last '/': the directory with its trailing slash.
String ExecutableDirectory();

// The file name alone, without the directory ("KavoIntegradorOracle").
String ExecutableFileName();

// Pure helpers behind the two above.
String ExtractFilePath(StringView path);
String ExtractFileName(StringView path);

}  // namespace kavo

#endif  // KAVO_PLATFORM_EXECUTABLE_PATH_H_
