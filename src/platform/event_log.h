// The event log: error events that an operator finds in the system log.
//
// EventLogger writes through syslog: openlog(source, LOG_PID, LOG_DAEMON) on
// its first write, one syslog() per event, closelog() when it goes; on
// Windows through the event log (RegisterEventSource at the first write, one
// ReportEvent per event, DeregisterEventSource when it goes). Tests
// replace the destination with an EventSink (same data, no syslog), either
// in-process with SetEventSink or, for process tests, through the test-only
// environment variable KAVO_EVENT_LOG_FILE: when it names a file, every event
// is appended to it as one line instead of going to syslog.
#ifndef KAVO_PLATFORM_EVENT_LOG_H_
#define KAVO_PLATFORM_EVENT_LOG_H_

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "rtl/ustring.h"

namespace kavo {

enum EventType : uint16_t {
  etError = 1,
  etWarning = 2,
  etInformation = 4,
};

struct Event {
  String source;
  EventType type = etError;
  int category = 0;
  int id = 0;
  String message;
};

class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void Write(const Event& event) = 0;
};

// Keeps events in memory, for tests.
class MemoryEventSink : public EventSink {
 public:
  void Write(const Event& event) override;
  std::vector<Event> Events() const;

 private:
  mutable std::mutex mutex_;
  std::vector<Event> events_;
};

// Appends one line per event: "<type>\t<source>\t<category>\t<id>\t<message>",
// the type as "error", "warning" or "information", and in the message "\\",
// CR and LF written as "\\\\", "\\r" and "\\n".
class FileEventSink : public EventSink {
 public:
  explicit FileEventSink(std::string path) : path_(std::move(path)) {}
  void Write(const Event& event) override;

  static std::string FormatLine(const Event& event);

 private:
  std::string path_;
};

// Routes every logger's events to `sink` instead of syslog (null restores the
// default). The sink must outlive its use.
void SetEventSink(EventSink* sink);

class EventLogger {
 public:
  explicit EventLogger(String source) : source_(std::move(source)) {}
  ~EventLogger();
  EventLogger(const EventLogger&) = delete;
  EventLogger& operator=(const EventLogger&) = delete;

  const String& Source() const { return source_; }
  void LogMessage(const String& message, EventType type = etError, int category = 0, int id = 0);

 private:
  String source_;
  // One backend uses each: syslog's openlog keeps a pointer to `ident_`;
  // Windows registers an event source as `handle_`.
  [[maybe_unused]] std::string ident_;
  [[maybe_unused]] void* handle_ = nullptr;
  bool opened_ = false;
};

}  // namespace kavo

#endif  // KAVO_PLATFORM_EVENT_LOG_H_
