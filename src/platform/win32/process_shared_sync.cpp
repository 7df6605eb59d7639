#include "platform/process_shared_sync.h"

#include <windows.h>

#include <algorithm>

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

RobustMutex::Result Taken(DWORD wait) {
  switch (wait) {
    case WAIT_OBJECT_0:
      return RobustMutex::Result::kLocked;
    case WAIT_ABANDONED:
      return RobustMutex::Result::kLockedOwnerDied;
    default:
      return RobustMutex::Result::kTimedOut;
  }
}

}  // namespace

void RobustMutex::Initialize(void*) {}

RobustMutex::Result RobustMutex::Lock(std::chrono::milliseconds timeout,
                                      const std::atomic<bool>* stop) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (stop != nullptr && stop->load()) return Result::kStopped;
    DWORD wait = WaitForSingleObject(m_, Slice(deadline, kStopCheck));
    if (wait != WAIT_TIMEOUT) return Taken(wait);
    if (Clock::now() >= deadline) return Result::kTimedOut;
  }
}

RobustMutex::Result RobustMutex::TryLock() {
  DWORD wait = WaitForSingleObject(m_, 0);
  return wait == WAIT_TIMEOUT ? Result::kBusy : Taken(wait);
}

void RobustMutex::Unlock() { ReleaseMutex(m_); }

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
