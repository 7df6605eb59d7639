// The command line of kavo-sqlmonitor.
#ifndef KAVO_SQLMONITOR_MONITOR_OPTIONS_H_
#define KAVO_SQLMONITOR_MONITOR_OPTIONS_H_

#include <optional>
#include <string>
#include <vector>

#include "ib/ib_trace_kinds.h"

namespace kavo {

struct MonitorOptions {
  TTraceFlags kinds = kAllTraceFlags;
  bool json = false;
  bool help = false;
};

// Parses the arguments (without the program name); on a mistake, nullopt
// and `error` says what is wrong.
std::optional<MonitorOptions> ParseMonitorOptions(const std::vector<std::string>& args,
                                                  std::string& error);

extern const char* const kMonitorUsage;

}  // namespace kavo

#endif  // KAVO_SQLMONITOR_MONITOR_OPTIONS_H_
