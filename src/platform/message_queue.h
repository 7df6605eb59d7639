// Per-thread message queues and the timers whose ticks arrive through them.
//
// Each thread may have one queue (created by its first ForCurrentThread()).
// Any thread may post to a queue; only its owner takes messages out, with Get
// (waits), Peek (does not) or Wait. A MessageWindow is a message target that
// belongs to the queue of the thread that created it; messages addressed to
// it reach its HandleMessage through DispatchMessage.
//
// Timers belong to a window and so to its thread, but any thread may set or
// kill them. A tick is not queued: when the owner looks for a message and a
// timer is due, it gets one WM_TIMER (wParam = timer id), however many periods
// have passed, and the timer's next tick keeps its phase. So ticks that fall
// due while the owner is busy merge into one. Posted messages come first, then
// ticks. Setting a timer that exists re-arms it from that moment.
#ifndef KAVO_PLATFORM_MESSAGE_QUEUE_H_
#define KAVO_PLATFORM_MESSAGE_QUEUE_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace kavo {

constexpr uint32_t WM_QUIT = 0x0012;
constexpr uint32_t WM_TIMER = 0x0113;
constexpr uint32_t WM_USER = 0x0400;

// The longest period a timer takes, in milliseconds.
constexpr uint32_t kMaxTimerPeriod = 0x7FFFFFFF;

class MessageWindow;

struct Message {
  MessageWindow* window = nullptr;  // null for a thread message
  uint32_t message = 0;
  uintptr_t wParam = 0;
  intptr_t lParam = 0;
};

class MessageQueue {
 public:
  using Clock = std::chrono::steady_clock;

  MessageQueue() = default;
  MessageQueue(const MessageQueue&) = delete;
  MessageQueue& operator=(const MessageQueue&) = delete;

  // The calling thread's queue, created on the first call.
  static std::shared_ptr<MessageQueue> ForCurrentThread();

  void Post(const Message& message);
  void PostThreadMessage(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) {
    Post(Message{nullptr, message, wParam, lParam});
  }
  void PostQuit() { PostThreadMessage(WM_QUIT); }

  // Waits for the next message. Returns false when it is WM_QUIT.
  bool Get(Message& message);
  // Takes (or, without `remove`, only looks at) the next message, if any.
  bool Peek(Message& message, bool remove = true);
  // Waits at most `timeout` for a message to be there; true when one is.
  bool Wait(std::chrono::milliseconds timeout);

  // Arms (or re-arms from now) timer `id` of `window`. A period of 0 or above
  // kMaxTimerPeriod is refused (false).
  bool SetTimer(MessageWindow* window, uintptr_t id, uint32_t period_ms);
  // Stops the timer; a tick not yet taken is dropped. Unknown timers: no-op.
  void KillTimer(MessageWindow* window, uintptr_t id);
  bool HasTimer(MessageWindow* window, uintptr_t id) const;
  // Drops the window's timers and the messages still addressed to it.
  void RemoveWindow(MessageWindow* window);

 private:
  struct Timer {
    MessageWindow* window;
    uintptr_t id;
    std::chrono::milliseconds period;
    Clock::time_point due;
  };

  bool TakeLocked(Message& message, bool remove);
  bool ReadyLocked() const;
  Clock::time_point NextDueLocked() const;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Message> posted_;
  std::vector<Timer> timers_;
};

// Hands a window message to its window; thread messages are left alone.
void DispatchMessage(Message& message);

// A message target (the hidden window of the platform this stands in for).
class MessageWindow {
 public:
  MessageWindow() : queue_(MessageQueue::ForCurrentThread()) {}
  virtual ~MessageWindow() { queue_->RemoveWindow(this); }
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  const std::shared_ptr<MessageQueue>& Queue() const { return queue_; }
  void Post(uint32_t message, uintptr_t wParam = 0, intptr_t lParam = 0) {
    queue_->Post(Message{this, message, wParam, lParam});
  }
  bool SetTimer(uintptr_t id, uint32_t period_ms) { return queue_->SetTimer(this, id, period_ms); }
  void KillTimer(uintptr_t id) { queue_->KillTimer(this, id); }

  virtual void HandleMessage(Message& message) = 0;

 private:
  std::shared_ptr<MessageQueue> queue_;
};

}  // namespace kavo

#endif  // KAVO_PLATFORM_MESSAGE_QUEUE_H_
