#include <syslog.h>

#include <mutex>

#include "platform/event_log.h"
#include "platform/event_log_sink.h"

namespace kavo {
namespace {

// syslog has one ident per process, so the loggers take turns under a lock.
std::mutex g_syslog_mutex;
const EventLogger* g_syslog_owner = nullptr;

int Priority(EventType type) {
  switch (type) {
    case etWarning: return LOG_WARNING;
    case etInformation: return LOG_INFO;
    default: return LOG_ERR;
  }
}

}  // namespace

EventLogger::~EventLogger() {
  std::lock_guard<std::mutex> lock(g_syslog_mutex);
  if (opened_ && g_syslog_owner == this) {
    closelog();
    g_syslog_owner = nullptr;
  }
}

void EventLogger::LogMessage(const String& message, EventType type, int category, int id) {
  if (EventSink* sink = ActiveEventSink()) {
    sink->Write(Event{source_, type, category, id, message});
    return;
  }
  std::lock_guard<std::mutex> lock(g_syslog_mutex);
  if (!opened_) {
    ident_ = StringToUtf8(source_);
    opened_ = true;
  }
  if (g_syslog_owner != this) {
    openlog(ident_.c_str(), LOG_PID, LOG_DAEMON);
    g_syslog_owner = this;
  }
  syslog(Priority(type), "%s", StringToUtf8(message).c_str());
}

}  // namespace kavo
