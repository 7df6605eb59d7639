#include "monitor_options.h"

namespace kavo {

const char* const kMonitorUsage =
    "usage: kavo-sqlmonitor [--kinds KIND,...] [--json]\n"
    "Prints the SQL trace records that programs of this machine publish on the\n"
    "Firebird layer's trace channel, one block per record, until SIGINT or SIGTERM.\n"
    "  --kinds   only these kinds: prepare, execute, fetch, error, stmt, connect,\n"
    "            transact, blob, service, misc, or all (the default)\n"
    "  --json    one JSON object per line: {\"time\", \"kind\", \"text\"}\n";

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
      if (!ParseTraceKinds(list, options.kinds, error)) return std::nullopt;
    } else {
      error = "unknown argument \"" + a + "\"";
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace kavo
