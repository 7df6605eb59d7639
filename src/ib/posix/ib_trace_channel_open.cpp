// The POSIX channel: a shm_open object whose creator sets up the
// synchronisation inside it and then marks it ready.
#include <pthread.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "ib/ib_trace_channel.h"
#include "rtl/exceptions.h"

namespace kavo {

namespace {

static_assert(sizeof(pthread_mutex_t) <= 48, "a slot holds its mutex");
static_assert(sizeof(pthread_mutex_t) <= kTraceEventsOffset - kTraceWriteLockOffset);

// How long a joining process waits for the creator to size and set up the
// object before it gives up on it.
constexpr auto kSetUpWait = std::chrono::seconds(2);

TTraceChannelProblem ProblemOf(int os_error) {
  return os_error == EACCES || os_error == EPERM ? TTraceChannelProblem::kPermission
                                                 : TTraceChannelProblem::kSystem;
}

}  // namespace

std::string TraceChannelName() {
  std::string name = "/IB.SQL.MONITOR.SharedMem4_1";
  if (const char* suffix = std::getenv("KAVO_SQLMONITOR_SUFFIX")) name += suffix;
  return name;
}

std::unique_ptr<TTraceChannel> TTraceChannel::Open(const std::string& name, uint32_t mode) {
  std::unique_ptr<SharedMemory> memory;
  // The object may be removed between a failed create and the open: try again.
  for (int attempt = 0; !memory; ++attempt) {
    try {
      memory = SharedMemory::Create(name, kTraceChannelSize, mode);
      if (memory) {
        SetUp(*memory, name);
        return std::unique_ptr<TTraceChannel>(new TTraceChannel(std::move(memory), name, true));
      }
      memory = SharedMemory::Open(name);
    } catch (const EOSError& e) {
      if (e.ErrorCode() == ENOENT && attempt < 3) continue;
      throw ETraceChannelError(ProblemOf(e.ErrorCode()), e.ErrorCode(), name);
    }
  }
  const auto deadline = std::chrono::steady_clock::now() + kSetUpWait;
  try {
    uid_t owner = memory->OwnerId();
    if (!memory->IsRegularFile() || (owner != geteuid() && owner != 0))
      throw ETraceChannelError(TTraceChannelProblem::kForeignOwner, EPERM, name,
                               std::to_string(owner));
    // A creator sizes the object right after creating it: size 0 is that
    // moment, any other short size is a damaged object.
    size_t size = memory->ObjectSize();
    while (size == 0 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      size = memory->ObjectSize();
    }
    if (size < kTraceChannelSize)
      throw ETraceChannelError(TTraceChannelProblem::kTooSmall, EINVAL, name);
    memory->Map(kTraceChannelSize);
  } catch (const EOSError& e) {
    // EINVAL: cut short between the look at its size and the mapping.
    throw ETraceChannelError(
        e.ErrorCode() == EINVAL ? TTraceChannelProblem::kTooSmall : ProblemOf(e.ErrorCode()),
        e.ErrorCode(), name);
  }
  auto* data = static_cast<unsigned char*>(memory->Data());
  std::atomic_ref<uint32_t> mark(*reinterpret_cast<uint32_t*>(data + kTraceReadyMarkOffset));
  uint32_t seen = mark.load(std::memory_order_acquire);
  while (seen == 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    seen = mark.load(std::memory_order_acquire);
  }
  if (seen == 0) throw ETraceChannelError(TTraceChannelProblem::kNotReady, ETIMEDOUT, name);
  if (seen != kTraceReadyMark)
    throw ETraceChannelError(TTraceChannelProblem::kForeignLayout, EPROTO, name);
  std::unique_ptr<TTraceChannel> channel(new TTraceChannel(std::move(memory), name, false));
  channel->ResetNegativeCounters();
  return channel;
}

void TTraceChannel::SetUp(SharedMemory& memory, const std::string& name) {
  auto* data = static_cast<unsigned char*>(memory.Data());
  // The object is new and zero-filled: counters and FBufferSize start at 0.
  RobustMutex::Initialize(data + kTraceWriteLockOffset);
  for (int i = 0; i < kTraceMaxMonitors; ++i)
    RobustMutex::Initialize(data + kTraceSlotsOffset + kTraceSlotSize * i);
  // No hand-over in progress.
  memory.Event(kTraceEventsOffset + 4, TraceObjectName(name, "WriteFinishedEvent"), true).Set();
  std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(data + kTraceReadyMarkOffset))
      .store(kTraceReadyMark, std::memory_order_release);
}

}  // namespace kavo
