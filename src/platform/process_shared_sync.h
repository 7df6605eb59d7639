// Synchronisation between processes: a robust mutex and a manual-reset
// event. Both are views; SharedMemory::Mutex and SharedMemory::Event give
// them out, and the shared memory object keeps what they refer to.
//
// POSIX: the mutex is a process-shared robust pthread mutex in the mapping's
// bytes; the event is one 32-bit word there (0 not set, 1 set) waited on with
// a futex, so a waiter that dies leaves no trace behind and a setter never
// waits for anyone. Windows: both are named kernel objects (a mutex and a
// manual-reset event), and the view holds the handle.
//
// Either way, when the mutex's owner dies (even killed) the next locker gets
// it, told that the owner died, so it can repair what was left half-done.
#ifndef KAVO_PLATFORM_PROCESS_SHARED_SYNC_H_
#define KAVO_PLATFORM_PROCESS_SHARED_SYNC_H_

#include <atomic>
#include <chrono>

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

  // `native`: the mutex's bytes (POSIX) or its handle (Windows).
  explicit RobustMutex(void* native) : m_(native) {}

  // POSIX: makes the bytes a fresh, unlocked mutex. Only the creator of the
  // shared memory calls this, before anyone else can see it. (A Windows mutex
  // is fresh when it is created.)
  static void Initialize(void* memory);

  // Waits at most `timeout`, checking `stop` (if given) every 100 ms. A mutex
  // left by a dead owner is made consistent before kLockedOwnerDied returns.
  Result Lock(std::chrono::milliseconds timeout, const std::atomic<bool>* stop = nullptr);
  Result TryLock();
  void Unlock();

 private:
  void* m_;
};

class SharedEvent {
 public:
  enum class Wait { kSet, kTimedOut, kStopped };

  // `native`: the event's word (POSIX) or its handle (Windows).
  explicit SharedEvent(void* native) : native_(native) {}

  // Sets the event and wakes every waiter of every process.
  void Set();
  void Reset();
  bool IsSet() const;
  // Waits until the event is set or `timeout` passes. Returns kStopped when
  // `stop` (if given) is raised and the waiter is woken (see Wake), also when
  // the event is set.
  Wait WaitFor(std::chrono::milliseconds timeout, const std::atomic<bool>* stop = nullptr) const;
  // Wakes the waiters without setting the event, so they look at their stop
  // flags; the others go back to waiting. (Windows waiters look at them at
  // least every 50 ms and need no waking.)
  void Wake() const;

 private:
  void* native_;
};

}  // namespace kavo

#endif  // KAVO_PLATFORM_PROCESS_SHARED_SYNC_H_
