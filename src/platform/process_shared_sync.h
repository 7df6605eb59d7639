// Synchronisation that lives inside shared memory and so works between
// processes: a robust mutex and a manual-reset event. Both are views over
// bytes the caller places in a shared mapping; nothing is allocated.
//
// The mutex is a process-shared robust pthread mutex: when its owner dies
// (even by SIGKILL) the next locker gets it, told that the owner died, so it
// can repair what the owner left half-done. The event is one 32-bit word
// (0 not set, 1 set) waited on with a futex, so a waiter that dies leaves no
// trace behind and a setter never waits for anyone.
#ifndef KAVO_PLATFORM_PROCESS_SHARED_SYNC_H_
#define KAVO_PLATFORM_PROCESS_SHARED_SYNC_H_

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cstdint>

namespace kavo {

class RobustMutex {
 public:
  enum class Result {
    kLocked,
    kLockedOwnerDied,  // locked; the previous owner died holding it
    kBusy,             // TryLock only
    kTimedOut,
    kStopped,          // `stop` was raised while waiting
  };

  explicit RobustMutex(void* memory) : m_(static_cast<pthread_mutex_t*>(memory)) {}

  // Makes the bytes a fresh, unlocked mutex. Only the creator of the shared
  // memory calls this, before anyone else can see it.
  static void Initialize(void* memory);

  // Waits at most `timeout`, checking `stop` (if given) every 100 ms. A mutex
  // left by a dead owner is made consistent before kLockedOwnerDied returns.
  Result Lock(std::chrono::milliseconds timeout, const std::atomic<bool>* stop = nullptr);
  Result TryLock();
  void Unlock();

 private:
  Result Taken(int rc);
  pthread_mutex_t* m_;
};

class SharedEvent {
 public:
  enum class Wait { kSet, kTimedOut, kStopped };

  explicit SharedEvent(void* word) : word_(static_cast<uint32_t*>(word)) {}

  // Sets the event and wakes every waiter of every process.
  void Set();
  void Reset();
  bool IsSet() const;
  // Waits until the event is set or `timeout` passes. Returns kStopped when
  // `stop` (if given) is raised and the waiter is woken (see Wake), also when
  // the event is set.
  Wait WaitFor(std::chrono::milliseconds timeout, const std::atomic<bool>* stop = nullptr) const;
  // Wakes the waiters without setting the event, so they look at their stop
  // flags; the others go back to waiting.
  void Wake() const;

 private:
  std::atomic_ref<uint32_t> State() const { return std::atomic_ref<uint32_t>(*word_); }
  uint32_t* word_;
};

}  // namespace kavo

#endif  // KAVO_PLATFORM_PROCESS_SHARED_SYNC_H_
