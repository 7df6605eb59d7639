#include "platform/process_shared_sync.h"

#include <windows.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace kavo {

namespace {

using Clock = std::chrono::steady_clock;
// A waiter looks at its stop flag this often (Windows cannot wake a waiter
// without setting what it waits for).
constexpr auto kStopCheck = std::chrono::milliseconds(50);

DWORD Slice(Clock::time_point deadline, Clock::duration most) {
  auto left = std::clamp<Clock::duration>(deadline - Clock::now(), Clock::duration::zero(), most);
  return static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
}

// The mutexes this thread holds. A Windows mutex lets its owner take it
// again; a robust pthread mutex does not, and its users count on that (a
// slot a thread holds is a live monitor, also to that thread).
thread_local std::vector<void*> t_held;

bool HeldHere(void* m) { return std::find(t_held.begin(), t_held.end(), m) != t_held.end(); }

RobustMutex::Result Taken(void* m, DWORD wait) {
  switch (wait) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:
      t_held.push_back(m);
      return wait == WAIT_OBJECT_0 ? RobustMutex::Result::kLocked
                                   : RobustMutex::Result::kLockedOwnerDied;
    default:
      return RobustMutex::Result::kTimedOut;
  }
}

}  // namespace

void RobustMutex::Initialize(void*) {}

RobustMutex::Result RobustMutex::Lock(std::chrono::milliseconds timeout,
                                      const std::atomic<bool>* stop) {
  if (HeldHere(m_)) {
    // Never free for this thread: wait out the time as a pthread mutex would.
    std::this_thread::sleep_for(timeout);
    return Result::kTimedOut;
  }
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (stop != nullptr && stop->load()) return Result::kStopped;
    DWORD wait = WaitForSingleObject(m_, Slice(deadline, kStopCheck));
    if (wait != WAIT_TIMEOUT) return Taken(m_, wait);
    if (Clock::now() >= deadline) return Result::kTimedOut;
  }
}

RobustMutex::Result RobustMutex::TryLock() {
  if (HeldHere(m_)) return Result::kBusy;
  DWORD wait = WaitForSingleObject(m_, 0);
  return wait == WAIT_TIMEOUT ? Result::kBusy : Taken(m_, wait);
}

void RobustMutex::Unlock() {
  auto it = std::find(t_held.begin(), t_held.end(), m_);
  if (it == t_held.end()) return;  // not this thread's
  t_held.erase(it);
  ReleaseMutex(m_);
}

void SharedEvent::Set() { SetEvent(native_); }

void SharedEvent::Reset() { ResetEvent(native_); }

bool SharedEvent::IsSet() const { return WaitForSingleObject(native_, 0) == WAIT_OBJECT_0; }

void SharedEvent::Wake() const {}

SharedEvent::Wait SharedEvent::WaitFor(std::chrono::milliseconds timeout,
                                       const std::atomic<bool>* stop) const {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (stop != nullptr && stop->load()) return Wait::kStopped;
    DWORD wait = WaitForSingleObject(native_, Slice(deadline, kStopCheck));
    if (wait == WAIT_OBJECT_0) return Wait::kSet;
    if (wait != WAIT_TIMEOUT || Clock::now() >= deadline) return Wait::kTimedOut;
  }
}

}  // namespace kavo
