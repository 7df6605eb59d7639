#include "platform/command_line.h"

#include <mutex>

#include "rtl/os_text.h"

namespace kavo {
namespace {

std::mutex g_mutex;
std::vector<String>& Args() {
  static std::vector<String> args;
  return args;
}

}  // namespace

void SetCommandLine(std::vector<String> args) {
  std::lock_guard<std::mutex> lock(g_mutex);
  Args() = std::move(args);
}

void SetCommandLine(int argc, const char* const* argv) {
  std::vector<String> args;
  for (int i = 0; i < argc; ++i) args.push_back(OsTextToString(argv[i]));
  SetCommandLine(std::move(args));
}

int ParamCount() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return Args().empty() ? 0 : static_cast<int>(Args().size()) - 1;
}

String ParamStr(int index) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (index < 0 || index >= static_cast<int>(Args().size())) return String();
  return Args()[index];
}

bool FindCmdLineSwitch(const std::vector<String>& args, StringView name) {
  for (size_t i = 1; i < args.size(); ++i) {
    const String& a = args[i];
    if (a.empty() || (a[0] != u'-' && a[0] != u'/')) continue;
    if (SameText(StringView(a).substr(1), name)) return true;
  }
  return false;
}

bool FindCmdLineSwitch(StringView name) {
  std::vector<String> copy;
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    copy = Args();
  }
  return FindCmdLineSwitch(copy, name);
}

}  // namespace kavo
