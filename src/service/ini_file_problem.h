// Why the INI file cannot be read, or empty: the reader itself takes any of
// these for an empty file, which would only show as a failed logon later.
// From the system's backend (posix/, win32/).
#ifndef KAVO_SERVICE_INI_FILE_PROBLEM_H_
#define KAVO_SERVICE_INI_FILE_PROBLEM_H_

#include "rtl/ustring.h"

namespace kavo {

String IniFileProblem(const String& path);

}  // namespace kavo

#endif  // KAVO_SERVICE_INI_FILE_PROBLEM_H_
