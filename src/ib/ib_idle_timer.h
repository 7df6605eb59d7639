// The idle timer of a connection or a transaction, on the platform's timers
// of the thread that sets it (the main thread in the service).
#ifndef KAVO_IB_IB_IDLE_TIMER_H_
#define KAVO_IB_IB_IDLE_TIMER_H_

#include <functional>
#include <memory>

#include "platform/timer.h"

namespace kavo {

using TIBTimer = TTimer;

class TIBIdleTimer {
 public:
  explicit TIBIdleTimer(std::function<void()> on_tick) : on_tick_(std::move(on_tick)) {}

  int Interval() const { return interval_; }
  // Below 0 raises ibceTimeoutNegative; 0 removes the timer; above 0 creates
  // it when needed and arms it with that many milliseconds.
  void SetInterval(int milliseconds);
  void Stop() { timer_.reset(); }

 private:
  std::function<void()> on_tick_;
  std::unique_ptr<TIBTimer> timer_;
  int interval_ = 0;
};

}  // namespace kavo

#endif  // KAVO_IB_IB_IDLE_TIMER_H_
