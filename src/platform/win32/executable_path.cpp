#include "platform/executable_path.h"

#include <windows.h>

namespace kavo {

String ExecutablePath() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return String();
    if (n < buf.size()) return String(reinterpret_cast<const Char*>(buf.data()), n);
    buf.resize(buf.size() * 2);
  }
}

// The path up to its last folder or drive delimiter.
String ExtractFilePath(StringView path) {
  size_t cut = path.find_last_of(u"\\/:");
  return cut == StringView::npos ? String() : String(path.substr(0, cut + 1));
}

String ExtractFileName(StringView path) {
  size_t cut = path.find_last_of(u"\\/:");
  return String(cut == StringView::npos ? path : path.substr(cut + 1));
}

String ExecutableDirectory() { return ExtractFilePath(ExecutablePath()); }
String ExecutableFileName() { return ExtractFileName(ExecutablePath()); }

}  // namespace kavo
