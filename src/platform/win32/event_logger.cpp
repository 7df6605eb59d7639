#include <windows.h>

#include <mutex>

#include "platform/event_log.h"
#include "platform/event_log_sink.h"

namespace kavo {
namespace {

std::mutex g_source_mutex;

}  // namespace

EventLogger::~EventLogger() {
  std::lock_guard<std::mutex> lock(g_source_mutex);
  if (handle_) DeregisterEventSource(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

void EventLogger::LogMessage(const String& message, EventType type, int category, int id) {
  if (EventSink* sink = ActiveEventSink()) {
    sink->Write(Event{source_, type, category, id, message});
    return;
  }
  std::lock_guard<std::mutex> lock(g_source_mutex);
  // Registered at the first event and kept for the logger's life.
  if (!opened_) {
    opened_ = true;
    handle_ = RegisterEventSourceW(nullptr, reinterpret_cast<LPCWSTR>(source_.c_str()));
  }
  if (!handle_) return;
  LPCWSTR strings[1] = {reinterpret_cast<LPCWSTR>(message.c_str())};
  ReportEventW(static_cast<HANDLE>(handle_), static_cast<WORD>(type), static_cast<WORD>(category),
               static_cast<DWORD>(id), nullptr, 1, 0, strings, nullptr);
}

}  // namespace kavo
