#include "service/ini_file_problem.h"

#include <windows.h>

#include "platform/ini_file.h"
#include "rtl/exceptions.h"

namespace kavo {

String IniFileProblem(const String& path) {
  HANDLE h = CreateFileW(reinterpret_cast<LPCWSTR>(path.c_str()), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) return u"no such file";
    return SysErrorMessage(static_cast<int>(error));
  }
  BY_HANDLE_FILE_INFORMATION info;
  String problem;
  if (!GetFileInformationByHandle(h, &info))
    problem = SysErrorMessage(static_cast<int>(GetLastError()));
  else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    problem = u"not a regular file";
  else if (((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow) >
           IniFile::kMaxFileSize)
    problem = u"larger than 1 MiB";
  CloseHandle(h);
  return problem;
}

}  // namespace kavo
