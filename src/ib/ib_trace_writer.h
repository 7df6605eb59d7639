// Writing one trace record into the channel: under one hold of the write
// lock, chunk after chunk, each handed over to every registered monitor.
//
// The hand-over per chunk: wait until every monitor is inside a read (the read
// event), open the chunk to them (write event), wait until the last of them
// has copied it (read-finished event), close it (write-finished event). Each
// wait is 500 ms at a time; after a timeout the writer takes monitors whose
// process died out of the counts, and after kTraceMaxTimeouts it gives the
// record up. A hand-over given up after the chunk was opened is finished by
// the next writer before it touches the text area, so a monitor that was
// only slow still reads the chunk it was promised.
#ifndef KAVO_IB_IB_TRACE_WRITER_H_
#define KAVO_IB_IB_TRACE_WRITER_H_

#include <atomic>
#include <chrono>
#include <vector>

#include "ib/ib_trace_channel.h"

namespace kavo {

constexpr std::chrono::milliseconds kTraceHandOverWait{500};
constexpr int kTraceMaxTimeouts = 4;
// How long a writer waits for the write lock before it gives the record up.
constexpr std::chrono::milliseconds kTraceLockWait{5000};

// Consecutive chunks of at most kTraceChunkChars characters, never ending
// between the two halves of a surrogate pair; an empty text is one empty
// chunk.
std::vector<StringView> SplitTraceText(StringView text);

enum class TTraceWriteResult {
  kWritten,    // every chunk reached every monitor there was
  kNoMonitor,  // none registered (left before or during the record)
  kGaveUp,     // the lock or a monitor did not come in time
  kStopped,    // `stop` was raised
};

TTraceWriteResult WriteTraceRecord(TTraceChannel& channel, StringView text, int data_type,
                                   TDateTime time_stamp, const std::atomic<bool>& stop);

}  // namespace kavo

#endif  // KAVO_IB_IB_TRACE_WRITER_H_
