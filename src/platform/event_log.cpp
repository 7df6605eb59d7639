#include "platform/event_log.h"

#include <cstdlib>
#include <fstream>

#include "platform/event_log_sink.h"
#include "rtl/code_page.h"

namespace kavo {
namespace {

std::mutex g_sink_mutex;
EventSink* g_sink = nullptr;

EventSink* EnvironmentSink() {
  static FileEventSink* sink = [] () -> FileEventSink* {
    const char* path = std::getenv("KAVO_EVENT_LOG_FILE");
    return path && *path ? new FileEventSink(path) : nullptr;
  }();
  return sink;
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
  std::lock_guard<std::mutex> lock(g_sink_mutex);
  std::ofstream out(path_, std::ios::app | std::ios::binary);
  out << FormatLine(event);
}

void SetEventSink(EventSink* sink) {
  std::lock_guard<std::mutex> lock(g_sink_mutex);
  g_sink = sink;
}

EventSink* ActiveEventSink() {
  EventSink* sink;
  {
    std::lock_guard<std::mutex> lock(g_sink_mutex);
    sink = g_sink;
  }
  return sink ? sink : EnvironmentSink();
}

}  // namespace kavo
