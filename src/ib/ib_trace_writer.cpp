#include "ib/ib_trace_writer.h"

namespace kavo {

namespace {

bool IsHighSurrogate(Char c) { return c >= 0xD800 && c <= 0xDBFF; }

using Wait = SharedEvent::Wait;

// Steps 3 and 4: wait until the readers have copied the open chunk, then
// close it. False leaves the hand-over open for the next writer.
TTraceWriteResult FinishHandOver(TTraceChannel& ch, const std::atomic<bool>& stop) {
  SharedEvent read_finished = ch.ReadFinishedEvent();
  for (int timeouts = 0;;) {
    Wait w = read_finished.WaitFor(kTraceHandOverWait, &stop);
    if (w == Wait::kSet) break;
    if (w == Wait::kStopped) return TTraceWriteResult::kStopped;
    ch.ReclaimDeadMonitors();
    if (ch.ReaderCount() == 0) {
      ch.ReadEvent().Reset();
      read_finished.Set();
      break;
    }
    if (++timeouts >= kTraceMaxTimeouts) return TTraceWriteResult::kGaveUp;
  }
  ch.WriteEvent().Reset();
  ch.WriteFinishedEvent().Set();
  return TTraceWriteResult::kWritten;
}

// Steps 1 and 2: wait until every monitor is inside a read, then open the
// chunk.
TTraceWriteResult OpenChunk(TTraceChannel& ch, const std::atomic<bool>& stop) {
  SharedEvent read = ch.ReadEvent();
  for (int timeouts = 0;;) {
    Wait w = read.WaitFor(kTraceHandOverWait, &stop);
    if (w == Wait::kSet) break;
    if (w == Wait::kStopped) return TTraceWriteResult::kStopped;
    ch.ReclaimDeadMonitors();
    int monitors = ch.MonitorCount();
    if (monitors == 0) return TTraceWriteResult::kNoMonitor;
    if (ch.ReaderCount() >= monitors) {
      read.Set();
      break;
    }
    if (++timeouts >= kTraceMaxTimeouts) return TTraceWriteResult::kGaveUp;
  }
  ch.WriteFinishedEvent().Reset();
  ch.ReadFinishedEvent().Reset();
  ch.WriteEvent().Set();
  return TTraceWriteResult::kWritten;
}

}  // namespace

std::vector<StringView> SplitTraceText(StringView text) {
  std::vector<StringView> chunks;
  size_t pos = 0;
  do {
    size_t n = std::min(text.size() - pos, static_cast<size_t>(kTraceChunkChars));
    if (n > 1 && pos + n < text.size() && IsHighSurrogate(text[pos + n - 1])) --n;
    chunks.push_back(text.substr(pos, n));
    pos += n;
  } while (pos < text.size());
  return chunks;
}

TTraceWriteResult WriteTraceRecord(TTraceChannel& channel, StringView text, int data_type,
                                   TDateTime time_stamp, const std::atomic<bool>& stop) {
  RobustMutex lock = channel.WriteLock();
  switch (lock.Lock(kTraceLockWait, &stop)) {
    case RobustMutex::Result::kLocked:
    case RobustMutex::Result::kLockedOwnerDied:
      // A writer that died holding the lock may have left a chunk open: the
      // hand-over below finishes it like one given up.
      break;
    case RobustMutex::Result::kStopped:
      return TTraceWriteResult::kStopped;
    default:
      return TTraceWriteResult::kGaveUp;
  }
  struct Unlock {
    RobustMutex& m;
    ~Unlock() { m.Unlock(); }
  } unlock{lock};

  // Finished and open at once is no state a writer leaves behind (the words
  // were forged or damaged); holding the lock, this writer knows none is
  // open, and readers wait for it to say so.
  if (channel.WriteFinishedEvent().IsSet() && channel.WriteEvent().IsSet())
    channel.WriteEvent().Reset();
  if (!channel.WriteFinishedEvent().IsSet()) {
    TTraceWriteResult r = FinishHandOver(channel, stop);
    if (r != TTraceWriteResult::kWritten) return r;
  }
  for (StringView chunk : SplitTraceText(text)) {
    if (channel.MonitorCount() == 0) return TTraceWriteResult::kNoMonitor;
    channel.StoreChunk(chunk, data_type, time_stamp);
    TTraceWriteResult r = OpenChunk(channel, stop);
    if (r == TTraceWriteResult::kWritten) r = FinishHandOver(channel, stop);
    if (r != TTraceWriteResult::kWritten) return r;
  }
  return TTraceWriteResult::kWritten;
}

}  // namespace kavo
