#include "service/activity_log.h"

#include <mutex>
#include <string>

#include "rtl/code_page.h"
#include "rtl/exceptions.h"

namespace kavo {

void AppendLogLine(const String& path, StringView text) {
  if (path.size() > kMaxLogPathLength) throw EInOutError(3, path);
  std::string bytes = StringToCodePage(text, AnsiCodePage(), '?');
  bytes += "\r\n";
  static std::mutex log_mutex;
  std::lock_guard<std::mutex> lock(log_mutex);
  AppendToLogFile(path, bytes);
}

}  // namespace kavo
