#include "platform/application_title.h"

#include <mutex>

#include "platform/executable_path.h"

namespace kavo {

namespace {

std::mutex g_mutex;
String g_title;

}  // namespace

String ApplicationTitle() {
  {
    std::lock_guard lock(g_mutex);
    if (!g_title.empty()) return g_title;
  }
  static const String executable = ExecutableFileName();
  return executable;
}

void SetApplicationTitle(const String& title) {
  std::lock_guard lock(g_mutex);
  g_title = title;
}

}  // namespace kavo
