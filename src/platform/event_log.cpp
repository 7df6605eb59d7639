#include "platform/event_log.h"

#include <syslog.h>

#include <cstdlib>
#include <fstream>

#include "rtl/code_page.h"

namespace kavo {
namespace {

// syslog has one ident per process, so the loggers take turns under a lock.
std::mutex g_syslog_mutex;
const EventLogger* g_syslog_owner = nullptr;
EventSink* g_sink = nullptr;

EventSink* EnvironmentSink() {
  static FileEventSink* sink = [] () -> FileEventSink* {
    const char* path = std::getenv("KAVO_EVENT_LOG_FILE");
    return path && *path ? new FileEventSink(path) : nullptr;
  }();
  return sink;
}

int Priority(EventType type) {
  switch (type) {
    case etWarning: return LOG_WARNING;
    case etInformation: return LOG_INFO;
    default: return LOG_ERR;
  }
}

}  // namespace

void MemoryEventSink::Write(const Event& event) {
  std::lock_guard<std::mutex> lock(mutex_);
  events_.push_back(event);
}

std::vector<Event> MemoryEventSink::Events() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return events_;
}

std::string FileEventSink::FormatLine(const Event& event) {
  const char* type = event.type == etWarning       ? "warning"
                     : event.type == etInformation ? "information"
                                                   : "error";
  std::string text;
  for (char c : StringToUtf8(event.message)) {
    if (c == '\\') text += "\\\\";
    else if (c == '\r') text += "\\r";
    else if (c == '\n') text += "\\n";
    else text += c;
  }
  return std::string(type) + "\t" + StringToUtf8(event.source) + "\t" +
         std::to_string(event.category) + "\t" + std::to_string(event.id) + "\t" + text + "\n";
}

void FileEventSink::Write(const Event& event) {
  std::lock_guard<std::mutex> lock(g_syslog_mutex);
  std::ofstream out(path_, std::ios::app | std::ios::binary);
  out << FormatLine(event);
}

void SetEventSink(EventSink* sink) {
  std::lock_guard<std::mutex> lock(g_syslog_mutex);
  g_sink = sink;
}

EventLogger::~EventLogger() {
  std::lock_guard<std::mutex> lock(g_syslog_mutex);
  if (opened_ && g_syslog_owner == this) {
    closelog();
    g_syslog_owner = nullptr;
  }
}

void EventLogger::LogMessage(const String& message, EventType type, int category, int id) {
  Event event{source_, type, category, id, message};
  EventSink* sink;
  {
    std::lock_guard<std::mutex> lock(g_syslog_mutex);
    sink = g_sink;
  }
  if (!sink) sink = EnvironmentSink();
  if (sink) {
    sink->Write(event);
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
