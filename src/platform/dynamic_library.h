// Loading a shared library by file name and finding its entry points by name
// (dlopen/dlsym).
#ifndef KAVO_PLATFORM_DYNAMIC_LIBRARY_H_
#define KAVO_PLATFORM_DYNAMIC_LIBRARY_H_

#include <string>

#include "rtl/ustring.h"

namespace kavo {

class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary() { Close(); }
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  DynamicLibrary(DynamicLibrary&& other) noexcept;
  DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;

  // Loads `file_name` (a bare name is searched by the dynamic loader, a name
  // with a slash is taken as a path). Returns false on failure; LastError()
  // then holds the loader's text.
  bool Open(const std::string& file_name);
  void Close();
  bool IsOpen() const { return handle_ != nullptr; }

  // The entry point's address, or null when the library does not export it.
  void* Symbol(const char* name) const;
  // The system's error number for an entry point that is not there
  // (ENOSYS: dlsym sets none; Windows: ERROR_PROC_NOT_FOUND).
  static int MissingSymbolError();

  // The path the loader actually used (from dlinfo), or the name given.
  std::string Path() const;
  const std::string& LastError() const { return last_error_; }

 private:
  void* handle_ = nullptr;
  std::string name_;
  std::string last_error_;
};

}  // namespace kavo

#endif  // KAVO_PLATFORM_DYNAMIC_LIBRARY_H_
