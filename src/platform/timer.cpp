#include "platform/timer.h"

#include "platform/application.h"
#include "rtl/exceptions.h"

namespace kavo {
namespace {
constexpr uintptr_t kTimerId = 1;
}  // namespace

TTimer::TTimer(TComponent* owner) : TComponent(owner), window_(std::make_unique<Window>(this)) {}

TTimer::~TTimer() {
  std::lock_guard<std::mutex> lock(mutex_);
  enabled_ = false;
  window_->KillTimer(kTimerId);
}

bool TTimer::Enabled() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return enabled_;
}

uint32_t TTimer::Interval() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return interval_;
}

bool TTimer::Armed() const { return window_->Queue()->HasTimer(window_.get(), kTimerId); }

void TTimer::SetEnabled(bool value) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (value == enabled_) return;
  enabled_ = value;
  UpdateTimerLocked();
}

void TTimer::SetInterval(uint32_t value) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (value == interval_) return;
  interval_ = value;
  UpdateTimerLocked();
}

void TTimer::SetOnTimer(TNotifyEvent handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  on_timer_ = std::move(handler);
  UpdateTimerLocked();
}

void TTimer::UpdateTimerLocked() {
  window_->KillTimer(kTimerId);
  if (enabled_ && interval_ != 0 && on_timer_ && !window_->SetTimer(kTimerId, interval_))
    throw EOutOfResources(u"Not enough timers available");
}

void TTimer::Timer() {
  TNotifyEvent handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!enabled_) return;
    handler = on_timer_;
  }
  if (handler) handler(this);
}

void TTimer::Window::HandleMessage(Message& message) {
  if (message.message != WM_TIMER) return;
  try {
    owner_->Timer();
  } catch (...) {
    HandleApplicationException(owner_);
  }
}

}  // namespace kavo
