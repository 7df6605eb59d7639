#include "platform/executable_path.h"

#include <unistd.h>

#include <string>

#include "rtl/os_text.h"

namespace kavo {

String ExecutablePath() {
  std::string buf(4096, '\0');
  ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
  if (n <= 0) return String();
  buf.resize(static_cast<size_t>(n));
  return OsTextToString(buf);
}

String ExtractFilePath(StringView path) {
  size_t slash = path.find_last_of(u'/');
  return slash == StringView::npos ? String() : String(path.substr(0, slash + 1));
}

String ExtractFileName(StringView path) {
  size_t slash = path.find_last_of(u'/');
  return String(slash == StringView::npos ? path : path.substr(slash + 1));
}

String ExecutableDirectory() { return ExtractFilePath(ExecutablePath()); }
String ExecutableFileName() { return ExtractFileName(ExecutablePath()); }

}  // namespace kavo
