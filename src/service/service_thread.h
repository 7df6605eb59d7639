// TServiceThread: the thread that runs a service's handlers and its control
// requests. It is created suspended (Start runs it); its message queue exists
// from construction, so control codes posted before the body runs are kept.
#ifndef KAVO_SERVICE_SERVICE_THREAD_H_
#define KAVO_SERVICE_SERVICE_THREAD_H_

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/message_queue.h"

namespace kavo {

class TService;

class TServiceThread {
 public:
  explicit TServiceThread(TService* service);
  ~TServiceThread();  // waits for the thread to end
  TServiceThread(const TServiceThread&) = delete;
  TServiceThread& operator=(const TServiceThread&) = delete;

  void Start();
  void WaitFor();

  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }

  // Suspends the calling thread (the service thread itself) until Resume.
  // Returns at once when a message is already waiting, so that a code posted
  // just before is never slept through, or when the thread has been told to
  // end, since nothing would wake it then.
  void SuspendSelf();
  void Resume();
  bool Suspended() const;

  // The message loop: takes messages and runs the control requests among
  // them. With `wait`, blocks for messages and returns once the thread is
  // told to end (or on WM_QUIT); without, returns when the queue is empty.
  void ProcessRequests(bool wait);

  MessageQueue& Queue() { return *queue_; }

 private:
  void Execute();
  void HandleControl(uint32_t code);

  TService* service_;
  std::shared_ptr<MessageQueue> queue_;
  std::thread thread_;
  std::atomic<bool> terminated_{false};
  mutable std::mutex suspend_mutex_;
  std::condition_variable resumed_;
  bool suspended_ = false;
};

}  // namespace kavo

#endif  // KAVO_SERVICE_SERVICE_THREAD_H_
