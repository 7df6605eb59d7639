#include "monitor_options.h"

namespace kavo {

namespace {

constexpr const char* kKindNames[kTraceFlagCount] = {
    "prepare", "execute", "fetch", "error", "stmt",
    "connect", "transact", "blob", "service", "misc"};

bool ParseKinds(const std::string& list, TTraceFlags& kinds, std::string& error) {
  kinds = 0;
  size_t pos = 0;
  while (pos <= list.size()) {
    size_t comma = list.find(',', pos);
    if (comma == std::string::npos) comma = list.size();
    std::string name = list.substr(pos, comma - pos);
    int found = -1;
    for (int i = 0; i < kTraceFlagCount; ++i)
      if (name == kKindNames[i]) found = i;
    if (found < 0) {
      error = "unknown kind \"" + name + "\"";
      return false;
    }
    kinds |= TraceFlag(static_cast<TTraceFlag>(found));
    pos = comma + 1;
  }
  return true;
}

}  // namespace

const char* const kMonitorUsage =
    "usage: kavo-sqlmonitor [--kinds KIND,...] [--json]\n"
    "Prints the SQL trace records that programs of this machine publish on the\n"
    "Firebird layer's trace channel, one block per record, until SIGINT or SIGTERM.\n"
    "  --kinds   only these kinds: prepare, execute, fetch, error, stmt, connect,\n"
    "            transact, blob, service, misc (default: all)\n"
    "  --json    one JSON object per line: {\"time\", \"kind\", \"text\"}\n";

const char* TraceKindName(int data_type) {
  return data_type >= 0 && data_type < kTraceFlagCount ? kKindNames[data_type] : "unknown";
}

std::optional<MonitorOptions> ParseMonitorOptions(const std::vector<std::string>& args,
                                                  std::string& error) {
  MonitorOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--json") {
      options.json = true;
    } else if (a == "--help" || a == "-h") {
      options.help = true;
    } else if (a == "--kinds" || a.starts_with("--kinds=")) {
      std::string list;
      if (a == "--kinds") {
        if (i + 1 >= args.size()) {
          error = "--kinds needs a list";
          return std::nullopt;
        }
        list = args[++i];
      } else {
        list = a.substr(8);
      }
      if (!ParseKinds(list, options.kinds, error)) return std::nullopt;
    } else {
      error = "unknown argument \"" + a + "\"";
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace kavo
