#include "ib/ib_idle_timer.h"

#include "ib/ib_errors.h"

namespace kavo {

void TIBIdleTimer::SetInterval(int milliseconds) {
  if (milliseconds < 0) IBError(ibceTimeoutNegative);
  interval_ = milliseconds;
  if (milliseconds == 0) {
    timer_.reset();
    return;
  }
  if (!timer_) {
    timer_ = std::make_unique<TIBTimer>(nullptr);
    timer_->SetOnTimer([this](TComponent*) { on_tick_(); });
  }
  timer_->SetInterval(static_cast<uint32_t>(milliseconds));
  timer_->SetEnabled(true);
}

}  // namespace kavo
