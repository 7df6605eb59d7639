#include "platform/dynamic_library.h"

#include <windows.h>

#include "rtl/exceptions.h"
#include "rtl/os_text.h"

namespace kavo {

bool DynamicLibrary::Open(const std::string& file_name) {
  Close();
  // A missing or broken DLL is an error to report, never a box on a
  // service's desktop.
  DWORD old_mode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &old_mode);
  const String wide = OsTextToString(file_name);
  HMODULE module = LoadLibraryW(reinterpret_cast<LPCWSTR>(wide.c_str()));
  const DWORD error = GetLastError();
  SetThreadErrorMode(old_mode, nullptr);
  if (!module) {
    last_error_ = file_name + ": " + StringToUtf8(SysErrorMessage(static_cast<int>(error)));
    return false;
  }
  handle_ = module;
  name_ = file_name;
  last_error_.clear();
  return true;
}

void DynamicLibrary::Close() {
  if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
  name_.clear();
}

void* DynamicLibrary::Symbol(const char* name) const {
  if (!handle_) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string DynamicLibrary::Path() const {
  if (!handle_) return std::string();
  wchar_t buf[MAX_PATH * 4];
  DWORD n = GetModuleFileNameW(static_cast<HMODULE>(handle_), buf, MAX_PATH * 4);
  if (n == 0 || n >= MAX_PATH * 4) return name_;
  return StringToOsText(StringView(reinterpret_cast<const Char*>(buf), n));
}

int DynamicLibrary::MissingSymbolError() { return ERROR_PROC_NOT_FOUND; }

}  // namespace kavo
