// kavo-sqlmonitor: watches the Firebird layer's SQL trace channel and prints
// what the programs of this machine publish on it.
#include <cerrno>
#include <cstdio>
#include <memory>

#include "ib/ib_sql_monitor.h"
#include "ib/ib_trace_channel.h"
#include "monitor_options.h"
#include "monitor_system.h"
#include "platform/message_queue.h"
#include "platform/shared_memory.h"
#include "record_printer.h"
#include "rtl/exceptions.h"
#include "rtl/os_text.h"

namespace kavo {
namespace {

constexpr int kExitUsage = 64;
constexpr int kExitChannel = 2;

void ExplainChannelError(const ETraceChannelError& e) {
  const std::string path = SharedMemory::FilePath(e.ChannelName());
  switch (e.Problem()) {
    case TTraceChannelProblem::kPermission:
      std::fprintf(stderr,
                   "kavo-sqlmonitor: no permission on the trace channel %s%s.\n"
                   "Run the monitor as the channel's owner or as a member of its group, or have "
                   "the traced program create it with a wider KAVO_SQLMONITOR_MODE.\n",
                   path.c_str(), ChannelOwnership(path).c_str());
      break;
    case TTraceChannelProblem::kTooSmall:
      std::fprintf(stderr,
                   "kavo-sqlmonitor: the trace channel %s is damaged (shorter than %zu bytes); "
                   "remove it and start again.\n",
                   path.c_str(), kTraceChannelSize);
      break;
    case TTraceChannelProblem::kNotReady:
      std::fprintf(stderr,
                   "kavo-sqlmonitor: the trace channel %s was never set up by the process that "
                   "created it; remove it and start again.\n",
                   path.c_str());
      break;
    case TTraceChannelProblem::kForeignLayout:
      std::fprintf(stderr,
                   "kavo-sqlmonitor: %s is not a trace channel of this version; remove it or "
                   "stop what made it.\n",
                   path.c_str());
      break;
    case TTraceChannelProblem::kForeignOwner:
      std::fprintf(stderr,
                   "kavo-sqlmonitor: the trace channel %s belongs to another user%s and is not "
                   "used; remove it, or run the monitor as that user.\n",
                   path.c_str(), ChannelOwnership(path).c_str());
      break;
    case TTraceChannelProblem::kSystem:
      std::fprintf(stderr, "kavo-sqlmonitor: cannot open the trace channel %s: %s\n", path.c_str(),
                   e.OSError() == EBUSY
                       ? "every monitor slot is taken"
                       : StringToOsText(SysErrorMessage(e.OSError())).c_str());
      break;
  }
}

int Run(const MonitorOptions& options) {
  // A stop request ends the message loop, so the monitor leaves the channel
  // (unregistering) before the process ends.
  std::shared_ptr<MessageQueue> queue = MessageQueue::ForCurrentThread();
  StopRequests stop_requests([queue] { queue->PostQuit(); });
  RecordPrinter printer(stdout, options.json);
  std::unique_ptr<TIBSQLMonitor> monitor;
  try {
    monitor = std::make_unique<TIBSQLMonitor>();
  } catch (const ETraceChannelError& e) {
    ExplainChannelError(e);
    return kExitChannel;
  }
  monitor->SetTraceFlags(options.kinds);
  monitor->OnSQLEvent = [&](const String& text, TDateTime at, TTraceFlag kind) {
    printer.Add(text, at, kind);
  };
  std::fprintf(stderr, "kavo-sqlmonitor: watching %s\n",
               SharedMemory::FilePath(TraceChannelName()).c_str());

  for (;;) {
    // A record that fills its last chunk exactly is complete once the channel
    // has been quiet for a moment.
    if (!queue->Wait(std::chrono::milliseconds(200))) {
      printer.Flush();
      continue;
    }
    Message message;
    if (!queue->Get(message)) break;
    DispatchMessage(message);
  }
  printer.Flush();
  monitor.reset();
  return 0;
}

}  // namespace
}  // namespace kavo

int main(int argc, char** argv) {
  std::string error;
  auto options = kavo::ParseMonitorOptions(std::vector<std::string>(argv + 1, argv + argc), error);
  if (!options) {
    std::fprintf(stderr, "kavo-sqlmonitor: %s\n%s", error.c_str(), kavo::kMonitorUsage);
    return kavo::kExitUsage;
  }
  if (options->help) {
    std::fputs(kavo::kMonitorUsage, stdout);
    return 0;
  }
  return kavo::Run(*options);
}
