// TIBSQLMonitor: receives the trace records of every process on the machine
// that publishes on the trace channel, this one included.
//
// Create it on a thread that runs a message loop (MessageQueue): records are
// delivered to OnSQLEvent on that thread, through the monitor's own message
// window, filtered by the monitor's TraceFlags. Creating one registers it
// with the trace hook (the process then counts as a monitor on the channel);
// disabling or destroying it unregisters it. Release() has the hook's writer
// thread post it a request to destroy itself, taken on its own thread.
//
//   TIBSQLMonitor monitor;
//   monitor.OnSQLEvent = [](const String& text, TDateTime at, TTraceFlag kind) { ... };
//   while (queue->Get(msg)) DispatchMessage(msg);
#ifndef KAVO_IB_IB_SQL_MONITOR_H_
#define KAVO_IB_IB_SQL_MONITOR_H_

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "ib/ib_trace_channel.h"
#include "ib/ib_trace_hook.h"
#include "platform/message_queue.h"
#include "rtl/component.h"

namespace kavo {

// Posted to a monitor's window: a trace record is waiting for it.
constexpr uint32_t WM_IBSQL_SQL_EVENT = 1025;
// Posted by the writer thread after Release: destroy the monitor.
constexpr uint32_t WM_IBSQL_RELEASE = 45089;

class TIBCustomSQLMonitor : public TComponent {
 public:
  using TSQLEvent = std::function<void(const String& text, TDateTime time_stamp, TTraceFlag kind)>;

  // Raises ETraceChannelError when the channel cannot be opened.
  explicit TIBCustomSQLMonitor(TComponent* owner = nullptr);
  ~TIBCustomSQLMonitor() override;

  TTraceFlags TraceFlags() const { return trace_flags_; }
  void SetTraceFlags(TTraceFlags flags) { trace_flags_ = flags; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  TSQLEvent OnSQLEvent;

  // Asks the hook to have this monitor destroyed (it must have been created
  // with new and not be owned).
  void Release();

  // For the hook's reader thread: queues `chunk` and posts the window.
  void Deliver(const TTraceChunk& chunk);
  // For the hook's writer thread.
  void PostRelease();

 private:
  class Window : public MessageWindow {
   public:
    explicit Window(TIBCustomSQLMonitor& owner) : owner_(owner) {}
    void HandleMessage(Message& message) override;

   private:
    TIBCustomSQLMonitor& owner_;
  };

  void TakeOne();

  TTraceFlags trace_flags_ = kAllTraceFlags;
  bool enabled_ = true;
  std::unique_ptr<Window> window_;
  std::mutex inbox_mutex_;
  std::deque<TTraceChunk> inbox_;
  IIBSQLMonitorHook* registered_with_ = nullptr;
};

class TIBSQLMonitor : public TIBCustomSQLMonitor {
 public:
  using TIBCustomSQLMonitor::TIBCustomSQLMonitor;
};

}  // namespace kavo

#endif  // KAVO_IB_IB_SQL_MONITOR_H_
