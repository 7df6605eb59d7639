// TTimer: a component that calls OnTimer every Interval milliseconds on the
// thread that created it, through that thread's message queue.
//
// Enabling it, changing its Interval or attaching OnTimer stops the platform
// timer and, when it is enabled, its Interval is not 0 and OnTimer is
// attached, arms it again from that moment. Setting a value equal to the
// current one changes nothing (the timer keeps its phase). Enabled and
// Interval may be changed from any thread; ticks are handled only on the
// creating thread. An exception escaping OnTimer goes to the application's
// exception handling, and the timer stays armed.
#ifndef KAVO_PLATFORM_TIMER_H_
#define KAVO_PLATFORM_TIMER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/message_queue.h"
#include "rtl/component.h"

namespace kavo {

using TNotifyEvent = std::function<void(TComponent* sender)>;

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner);
  ~TTimer() override;

  bool Enabled() const;
  void SetEnabled(bool value);
  uint32_t Interval() const;
  // Raises EOutOfResources "Not enough timers available" when the platform
  // refuses the period (above kMaxTimerPeriod).
  void SetInterval(uint32_t value);
  void SetOnTimer(TNotifyEvent handler);

  // Whether the platform timer is running (for tests and diagnostics).
  bool Armed() const;

 protected:
  virtual void Timer();

 private:
  class Window : public MessageWindow {
   public:
    explicit Window(TTimer* owner) : owner_(owner) {}
    void HandleMessage(Message& message) override;

   private:
    TTimer* owner_;
  };

  void UpdateTimerLocked();

  mutable std::mutex mutex_;
  bool enabled_ = true;
  uint32_t interval_ = 1000;
  TNotifyEvent on_timer_;
  std::unique_ptr<Window> window_;
};

}  // namespace kavo

#endif  // KAVO_PLATFORM_TIMER_H_
