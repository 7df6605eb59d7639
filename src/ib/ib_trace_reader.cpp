#include "ib/ib_trace_reader.h"

#include <cerrno>
#include <thread>

namespace kavo {

namespace {

using Wait = SharedEvent::Wait;
// Waits are long: a raised stop is seen through Wake, not by polling.
constexpr std::chrono::milliseconds kReaderWait{1000};
constexpr std::chrono::milliseconds kDamagedPause{50};

bool WaitUntilSet(const SharedEvent& event, const std::atomic<bool>& stop) {
  for (;;) {
    Wait w = event.WaitFor(kReaderWait, &stop);
    if (w == Wait::kSet) return true;
    if (w == Wait::kStopped) return false;
  }
}

}  // namespace

TTraceReader::TTraceReader(TTraceChannel& channel)
    : channel_(channel), slot_(channel.RegisterMonitor()) {
  if (slot_ < 0) {
    channel.ReclaimDeadMonitors();
    slot_ = channel.RegisterMonitor();
  }
  if (slot_ < 0)
    throw ETraceChannelError(TTraceChannelProblem::kSystem, EBUSY, channel.Name());
}

TTraceReader::~TTraceReader() { channel_.UnregisterMonitor(slot_); }

bool TTraceReader::Read(TTraceChunk& chunk, const std::atomic<bool>& stop) {
  // Join only between hand-overs, never in the middle of one.
  for (;;) {
    if (!WaitUntilSet(channel_.WriteFinishedEvent(), stop)) return false;
    if (!channel_.WriteEvent().IsSet()) break;
    // Finished and open at once: the words were forged or damaged (or a
    // hand-over began between the two looks). Reading on would copy the
    // same chunk in a loop; the next writer puts them right: wait, unhurried.
    std::this_thread::sleep_for(kDamagedPause);
  }
  if (channel_.EnterRead(slot_) >= channel_.MonitorCount()) channel_.ReadEvent().Set();
  if (!WaitUntilSet(channel_.WriteEvent(), stop)) {
    channel_.LeaveRead(slot_);
    return false;
  }
  if (before_copy != nullptr) before_copy();
  chunk = channel_.LoadChunk();
  channel_.LeaveRead(slot_);
  return true;
}

void TTraceReader::Wake(TTraceChannel& channel) {
  channel.WriteFinishedEvent().Wake();
  channel.WriteEvent().Wake();
}

}  // namespace kavo
