#include "platform/message_queue.h"

#include <algorithm>

namespace kavo {

std::shared_ptr<MessageQueue> MessageQueue::ForCurrentThread() {
  thread_local std::shared_ptr<MessageQueue> queue = std::make_shared<MessageQueue>();
  return queue;
}

void MessageQueue::Post(const Message& message) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    posted_.push_back(message);
  }
  changed_.notify_all();
}

bool MessageQueue::ReadyLocked() const {
  if (!posted_.empty()) return true;
  auto now = Clock::now();
  return std::any_of(timers_.begin(), timers_.end(), [&](const Timer& t) { return t.due <= now; });
}

MessageQueue::Clock::time_point MessageQueue::NextDueLocked() const {
  auto next = Clock::time_point::max();
  for (const Timer& t : timers_) next = std::min(next, t.due);
  return next;
}

bool MessageQueue::TakeLocked(Message& message, bool remove) {
  if (!posted_.empty()) {
    message = posted_.front();
    if (remove) posted_.pop_front();
    return true;
  }
  auto now = Clock::now();
  // The most overdue timer first, so that no timer starves another.
  Timer* due = nullptr;
  for (Timer& t : timers_)
    if (t.due <= now && (!due || t.due < due->due)) due = &t;
  if (!due) return false;
  message = Message{due->window, WM_TIMER, due->id, 0};
  if (remove) {
    // Every period that has passed merges into this one tick.
    auto late = now - due->due;
    due->due += due->period * (late / due->period + 1);
  }
  return true;
}

bool MessageQueue::Get(Message& message) {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!TakeLocked(message, true)) {
    auto next = NextDueLocked();
    if (next == Clock::time_point::max())
      changed_.wait(lock);
    else
      changed_.wait_until(lock, next);
  }
  return message.message != WM_QUIT;
}

bool MessageQueue::Peek(Message& message, bool remove) {
  std::lock_guard<std::mutex> lock(mutex_);
  return TakeLocked(message, remove);
}

bool MessageQueue::Wait(std::chrono::milliseconds timeout) {
  auto limit = Clock::now() + timeout;
  std::unique_lock<std::mutex> lock(mutex_);
  while (!ReadyLocked()) {
    auto until = std::min(limit, NextDueLocked());
    if (Clock::now() >= limit) return false;
    changed_.wait_until(lock, until);
  }
  return true;
}

bool MessageQueue::SetTimer(MessageWindow* window, uintptr_t id, uint32_t period_ms) {
  if (period_ms == 0 || period_ms > kMaxTimerPeriod) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::chrono::milliseconds period(period_ms);
    auto due = Clock::now() + period;
    auto it = std::find_if(timers_.begin(), timers_.end(),
                           [&](const Timer& t) { return t.window == window && t.id == id; });
    if (it != timers_.end()) {
      it->period = period;
      it->due = due;
    } else {
      timers_.push_back(Timer{window, id, period, due});
    }
  }
  changed_.notify_all();
  return true;
}

void MessageQueue::KillTimer(MessageWindow* window, uintptr_t id) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(timers_, [&](const Timer& t) { return t.window == window && t.id == id; });
  }
  changed_.notify_all();
}

bool MessageQueue::HasTimer(MessageWindow* window, uintptr_t id) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::any_of(timers_.begin(), timers_.end(),
                     [&](const Timer& t) { return t.window == window && t.id == id; });
}

void MessageQueue::RemoveWindow(MessageWindow* window) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::erase_if(timers_, [&](const Timer& t) { return t.window == window; });
  std::erase_if(posted_, [&](const Message& m) { return m.window == window; });
}

void DispatchMessage(Message& message) {
  if (message.window) message.window->HandleMessage(message);
}

}  // namespace kavo
