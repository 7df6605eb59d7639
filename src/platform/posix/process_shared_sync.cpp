#include "platform/process_shared_sync.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <pthread.h>

#include "rtl/exceptions.h"

namespace kavo {

namespace {

using Clock = std::chrono::steady_clock;

pthread_mutex_t* Native(void* m) { return static_cast<pthread_mutex_t*>(m); }
std::atomic_ref<uint32_t> State(void* word) {
  return std::atomic_ref<uint32_t>(*static_cast<uint32_t*>(word));
}

timespec ToTimespec(std::chrono::nanoseconds d) {
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(d.count() / 1000000000);
  ts.tv_nsec = static_cast<long>(d.count() % 1000000000);
  return ts;
}

// Shared (not process-private) futex calls: the word may be mapped at other
// addresses in other processes.
long Futex(uint32_t* word, int op, uint32_t value, const timespec* timeout) {
  return syscall(SYS_futex, word, op, value, timeout, nullptr, 0);
}

}  // namespace

void RobustMutex::Initialize(void* memory) {
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
  int rc = pthread_mutex_init(static_cast<pthread_mutex_t*>(memory), &attr);
  pthread_mutexattr_destroy(&attr);
  if (rc != 0) RaiseLastOSError(rc);
}

namespace {

RobustMutex::Result Taken(pthread_mutex_t* m, int rc) {
  using Result = RobustMutex::Result;
  if (rc == 0) return Result::kLocked;
  if (rc == EOWNERDEAD) {
    pthread_mutex_consistent(m);
    return Result::kLockedOwnerDied;
  }
  if (rc == EBUSY) return Result::kBusy;
  if (rc == ETIMEDOUT) return Result::kTimedOut;
  // ENOTRECOVERABLE and the like: a mutex that can never be had again is no
  // different for the caller from one that is never free.
  return Result::kTimedOut;
}

}  // namespace

RobustMutex::Result RobustMutex::Lock(std::chrono::milliseconds timeout,
                                      const std::atomic<bool>* stop) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (stop != nullptr && stop->load()) return Result::kStopped;
    auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
      return Taken(Native(m_), pthread_mutex_trylock(Native(m_)));
    auto slice = std::min<Clock::duration>(left, std::chrono::milliseconds(100));
    timespec at{};
    clock_gettime(CLOCK_MONOTONIC, &at);
    timespec add = ToTimespec(slice);
    at.tv_sec += add.tv_sec;
    at.tv_nsec += add.tv_nsec;
    if (at.tv_nsec >= 1000000000) {
      at.tv_nsec -= 1000000000;
      ++at.tv_sec;
    }
    int rc = pthread_mutex_clocklock(Native(m_), CLOCK_MONOTONIC, &at);
    if (rc != ETIMEDOUT) return Taken(Native(m_), rc);
  }
}

RobustMutex::Result RobustMutex::TryLock() {
  return Taken(Native(m_), pthread_mutex_trylock(Native(m_)));
}

void RobustMutex::Unlock() { pthread_mutex_unlock(Native(m_)); }

void SharedEvent::Set() {
  State(native_).store(1);
  Wake();
}

void SharedEvent::Reset() { State(native_).store(0); }

bool SharedEvent::IsSet() const { return State(native_).load() != 0; }

void SharedEvent::Wake() const {
  Futex(static_cast<uint32_t*>(native_), FUTEX_WAKE, INT_MAX,
        nullptr);
}

SharedEvent::Wait SharedEvent::WaitFor(std::chrono::milliseconds timeout,
                                       const std::atomic<bool>* stop) const {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    // Stop first: a word someone forged to stay set must not keep a waiter
    // from ever seeing it.
    if (stop != nullptr && stop->load()) return Wait::kStopped;
    if (State(native_).load() != 0) return Wait::kSet;
    auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return Wait::kTimedOut;
    timespec rel = ToTimespec(left);
    // Sleeps only while the word is still 0; a Set in between returns at once.
    Futex(static_cast<uint32_t*>(native_), FUTEX_WAIT, 0, &rel);
  }
}

}  // namespace kavo
