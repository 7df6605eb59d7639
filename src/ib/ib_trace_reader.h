// One monitor's side of the trace channel: it registers in a slot (counting
// itself in FMonitorCount) and then copies chunk after chunk as writers hand
// them over.
//
// Create, use and destroy a reader on one thread: its slot is held by that
// thread's lock, which is how writers tell a live monitor from a dead one.
#ifndef KAVO_IB_IB_TRACE_READER_H_
#define KAVO_IB_IB_TRACE_READER_H_

#include <atomic>

#include "ib/ib_trace_channel.h"

namespace kavo {

class TTraceReader {
 public:
  // Raises ETraceChannelError when every monitor slot is taken.
  explicit TTraceReader(TTraceChannel& channel);
  ~TTraceReader();
  TTraceReader(const TTraceReader&) = delete;
  TTraceReader& operator=(const TTraceReader&) = delete;

  // Waits for the next chunk and copies it. False when `stop` was raised
  // (then the reader has left any read it was inside).
  bool Read(TTraceChunk& chunk, const std::atomic<bool>& stop);

  // Wakes this and every other waiter on the channel, so a raised `stop` is
  // seen at once; the others go back to waiting.
  static void Wake(TTraceChannel& channel);

  // Test seam: called inside a read, after the chunk is open and before it
  // is copied.
  void (*before_copy)() = nullptr;

 private:
  TTraceChannel& channel_;
  int slot_;
};

}  // namespace kavo

#endif  // KAVO_IB_IB_TRACE_READER_H_
