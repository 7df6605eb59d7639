// Writes one error event to the system's event log (no test sink): Wine keeps
// no log, so the test reads the ReportEvent call from Wine's trace instead.
#include "platform/event_log.h"

int main() {
  kavo::SetEventSink(nullptr);
  kavo::EventLogger logger(u"KavoEventCheck");
  logger.LogMessage(u"Kavo event log check: \u00e7 1");
  return 0;
}
