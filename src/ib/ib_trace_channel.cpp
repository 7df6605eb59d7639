#include "ib/ib_trace_channel.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "rtl/format.h"

namespace kavo {

namespace {

constexpr size_t kSlotStateOffset = 48;
constexpr size_t kSlotInReadOffset = 52;
constexpr size_t kSlotPidOffset = 56;
constexpr uint32_t kSlotFree = 0;
constexpr uint32_t kSlotRegistered = 1;

static_assert(kTraceSlotsOffset + kTraceMaxMonitors * kTraceSlotSize <= kTraceBufferSizeOffset);
static_assert(kTraceMonitorCountOffset + 4 <= kTraceChannelSize);
static_assert(kTraceTimeStampOffset % 8 == 0);

// Decrements unless the value is already 0 or below; returns the new value.
int32_t DecrementNotBelowZero(std::atomic_ref<int32_t> counter) {
  int32_t v = counter.load();
  while (v > 0 && !counter.compare_exchange_weak(v, v - 1)) {
  }
  return v > 0 ? v - 1 : 0;
}

void LowerTo(std::atomic_ref<int32_t> counter, int32_t limit) {
  int32_t v = counter.load();
  while ((v > limit || v < 0) && !counter.compare_exchange_weak(v, std::clamp(v, 0, limit))) {
  }
}

}  // namespace

std::string TraceObjectName(const std::string& channel_name, const std::string& kind) {
  std::string name = channel_name;
  size_t at = name.find("SharedMem");
  if (at == std::string::npos) return name + "." + kind;
  return name.replace(at, 9, kind);
}

uint32_t TraceChannelMode() {
  const char* text = std::getenv("KAVO_SQLMONITOR_MODE");
  if (text == nullptr || *text == '\0') return 0660;
  char* end = nullptr;
  long mode = std::strtol(text, &end, 8);
  if (*end != '\0' || mode < 0 || mode > 0777) return 0660;
  return static_cast<uint32_t>(mode);
}

ETraceChannelError::ETraceChannelError(TTraceChannelProblem problem, int os_error,
                                       std::string name, std::string owner)
    : EIBClientError(ibceCannotCreateSharedResource,
                     Format(IBErrorMessage(ibceCannotCreateSharedResource), {os_error})),
      problem_(problem),
      os_error_(os_error),
      name_(std::move(name)),
      owner_(std::move(owner)) {}

TTraceChannel::TTraceChannel(std::unique_ptr<SharedMemory> memory, std::string name, bool created)
    : memory_(std::move(memory)), name_(std::move(name)), created_(created) {}

SharedEvent TTraceChannel::Event(int index) const {
  static const char* const kinds[] = {"WriteEvent", "WriteFinishedEvent", "ReadEvent",
                                      "ReadFinishedEvent"};
  // No hand-over in progress: "write finished" starts set.
  return memory_->Event(kTraceEventsOffset + 4 * static_cast<size_t>(index),
                        TraceObjectName(name_, kinds[index]), index == 1);
}

RobustMutex TTraceChannel::SlotLock(int index) const {
  return memory_->Mutex(kTraceSlotsOffset + kTraceSlotSize * static_cast<size_t>(index),
                        TraceObjectName(name_, "Monitor") + "." + std::to_string(index));
}

void TTraceChannel::OpenObjects() const {
  WriteLock();
  for (int i = 0; i < 4; ++i) Event(i);
}

void TTraceChannel::ResetNegativeCounters() {
  LowerTo(Counter(kTraceMonitorCountOffset), INT32_MAX);
  LowerTo(Counter(kTraceReaderCountOffset), INT32_MAX);
}

int TTraceChannel::MonitorCount() const {
  return std::clamp<int32_t>(Counter(kTraceMonitorCountOffset).load(), 0, kTraceMaxMonitors);
}

int TTraceChannel::ReaderCount() const {
  return std::clamp<int32_t>(Counter(kTraceReaderCountOffset).load(), 0, kTraceMaxMonitors);
}

void TTraceChannel::ForgetSlot(int index) {
  if (SlotWord(index, kSlotInReadOffset).exchange(0) != 0)
    DecrementNotBelowZero(Counter(kTraceReaderCountOffset));
  if (SlotWord(index, kSlotStateOffset).exchange(kSlotFree) != kSlotFree)
    DecrementNotBelowZero(Counter(kTraceMonitorCountOffset));
  SlotWord(index, kSlotPidOffset).store(0);
}

void TTraceChannel::ReclaimDeadMonitors() {
  int registered = 0;
  int reading = 0;
  for (int i = 0; i < kTraceMaxMonitors; ++i) {
    if (SlotWord(i, kSlotStateOffset).load() == kSlotFree) continue;
    RobustMutex owner = SlotLock(i);
    switch (owner.TryLock()) {
      case RobustMutex::Result::kBusy:
        // Held: its monitor lives.
        ++registered;
        if (SlotWord(i, kSlotInReadOffset).load() != 0) ++reading;
        break;
      case RobustMutex::Result::kLocked:
      case RobustMutex::Result::kLockedOwnerDied:
        // Nobody holds a registered slot: its monitor is gone.
        ForgetSlot(i);
        owner.Unlock();
        break;
      default:
        break;
    }
  }
  // A live monitor counts itself only after taking its slot, and marks a read
  // before counting it: the slots bound the counters from above.
  LowerTo(Counter(kTraceMonitorCountOffset), registered);
  LowerTo(Counter(kTraceReaderCountOffset), reading);
}

void TTraceChannel::StoreChunk(StringView chunk, int data_type, TDateTime time_stamp) {
  size_t bytes = std::min(chunk.size() * 2, kTraceTextSize);
  std::memset(Data(), 0, kTraceTextSize);
  std::memcpy(Data() + kTraceTimeStampOffset, &time_stamp, sizeof time_stamp);
  Counter(kTraceDataTypeOffset).store(data_type);
  Counter(kTraceBufferSizeOffset).store(static_cast<int32_t>(bytes));
  std::memcpy(Data(), chunk.data(), bytes);
}

TTraceChunk TTraceChannel::LoadChunk() const {
  TTraceChunk chunk;
  int32_t bytes = std::clamp<int32_t>(Counter(kTraceBufferSizeOffset).load(), 0,
                                      static_cast<int32_t>(kTraceTextSize));
  bytes &= ~1;
  chunk.text.resize(static_cast<size_t>(bytes) / 2);
  std::memcpy(chunk.text.data(), Data(), static_cast<size_t>(bytes));
  double ts = 0;
  std::memcpy(&ts, Data() + kTraceTimeStampOffset, sizeof ts);
  // Years 1 to 9999; anything else (NaN included) is no date.
  chunk.time_stamp = std::isfinite(ts) && ts > -693594.0 && ts < 2958466.0 ? ts : 0;
  chunk.data_type = Counter(kTraceDataTypeOffset).load();
  return chunk;
}

int TTraceChannel::RegisterMonitor() {
  for (int i = 0; i < kTraceMaxMonitors; ++i) {
    RobustMutex owner = SlotLock(i);
    RobustMutex::Result r = owner.TryLock();
    if (r == RobustMutex::Result::kBusy || r == RobustMutex::Result::kTimedOut) continue;
    // Ours now; what a dead holder left behind leaves the counters first.
    ForgetSlot(i);
    SlotWord(i, kSlotPidOffset).store(static_cast<uint32_t>(getpid()));
    SlotWord(i, kSlotStateOffset).store(kSlotRegistered);
    Counter(kTraceMonitorCountOffset).fetch_add(1);
    // The read event may say "all present" for the monitors before this one:
    // writers must now wait for this one too.
    ReadEvent().Reset();
    if (ReaderCount() >= MonitorCount()) ReadEvent().Set();
    return i;
  }
  return -1;
}

void TTraceChannel::UnregisterMonitor(int slot) {
  if (slot < 0 || slot >= kTraceMaxMonitors) return;
  if (SlotWord(slot, kSlotInReadOffset).load() != 0) LeaveRead(slot);
  DecrementNotBelowZero(Counter(kTraceMonitorCountOffset));
  SlotWord(slot, kSlotStateOffset).store(kSlotFree);
  SlotWord(slot, kSlotPidOffset).store(0);
  SlotLock(slot).Unlock();
  // A writer may be waiting for this monitor to arrive: the rest are there.
  int monitors = MonitorCount();
  if (monitors > 0 && ReaderCount() >= monitors) ReadEvent().Set();
}

int TTraceChannel::EnterRead(int slot) {
  SlotWord(slot, kSlotInReadOffset).store(1);
  return Counter(kTraceReaderCountOffset).fetch_add(1) + 1;
}

int TTraceChannel::LeaveRead(int slot) {
  int left = DecrementNotBelowZero(Counter(kTraceReaderCountOffset));
  SlotWord(slot, kSlotInReadOffset).store(0);
  if (left == 0) {
    ReadEvent().Reset();
    ReadFinishedEvent().Set();
  }
  return left;
}

}  // namespace kavo
