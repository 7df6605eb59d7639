// The trace channel: one named shared memory object through which trace
// records travel from the processes that write them to every monitor on the
// machine.
//
// The object is 4096 bytes (Windows: a mapping of 2048 bytes requested,
// whose page the system maps whole). The record sits at the offsets every
// writer and reader agrees on. On Windows the write lock and the four events
// are the named kernel objects beside the mapping (IB.SQL.MONITOR.Mutex4_1,
// ...WriteEvent4_1, ...WriteFinishedEvent4_1, ...ReadEvent4_1,
// ...ReadFinishedEvent4_1); on POSIX they live in the bytes the record leaves
// unused, as does the creator's ready mark:
//
//   offset  width  field
//      0    1012   text area: one chunk of a trace text, UTF-16
//   1012       4   POSIX: ready mark (written last by the creator)
//   1024      64   POSIX: write lock, a robust process-shared mutex
//   1088      16   POSIX: events (futex words): write, write finished, read,
//                  read finished
//   1152  16 x 64  monitor slots: a robust mutex the monitoring thread holds
//                  while it lives (Windows: the named mutex
//                  IB.SQL.MONITOR.Monitor4_1.<n>), "registered", "inside a
//                  read", its pid
//   4068       4   FBufferSize: bytes of text in this chunk
//   4072       8   FTimeStamp: the record's date-time
//   4080       4   FTraceDataType: the record's trace flag ordinal
//   4084       4   FReaderCount: readers currently inside a read
//   4088       4   FMonitorCount: registered monitors (one per process)
//
// Everything read from the object is distrusted: sizes and counters are
// clamped to what the layout allows, so a corrupt or hostile channel can
// garble texts but never make anyone read or write out of bounds.
#ifndef KAVO_IB_IB_TRACE_CHANNEL_H_
#define KAVO_IB_IB_TRACE_CHANNEL_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "ib/ib_errors.h"
#include "platform/process_shared_sync.h"
#include "platform/shared_memory.h"
#include "rtl/datetime.h"
#include "rtl/ustring.h"

namespace kavo {

constexpr size_t kTraceChannelSize = 4096;
// What a Windows channel asks the system for.
constexpr size_t kTraceChannelRequest = 2048;
constexpr size_t kTraceTextSize = 1012;
constexpr int kTraceChunkChars = static_cast<int>(kTraceTextSize / 2);
constexpr size_t kTraceReadyMarkOffset = 1012;
constexpr size_t kTraceWriteLockOffset = 1024;
constexpr size_t kTraceEventsOffset = 1088;
constexpr size_t kTraceSlotsOffset = 1152;
constexpr size_t kTraceSlotSize = 64;
constexpr int kTraceMaxMonitors = 16;
constexpr size_t kTraceBufferSizeOffset = 4068;
constexpr size_t kTraceTimeStampOffset = 4072;
constexpr size_t kTraceDataTypeOffset = 4080;
constexpr size_t kTraceReaderCountOffset = 4084;
constexpr size_t kTraceMonitorCountOffset = 4088;
// Marks a channel whose creator has finished setting it up, in this layout.
constexpr uint32_t kTraceReadyMark = 0x4B565431;  // "KVT1"

// "/IB.SQL.MONITOR.SharedMem4_1" (Windows: without the slash), followed by
// KAVO_SQLMONITOR_SUFFIX when that is set (test runs keep to channels of
// their own with it).
std::string TraceChannelName();
// The name of the channel's kernel object of the given kind ("Mutex",
// "WriteEvent", ...): the channel's name with "SharedMem" replaced by it.
std::string TraceObjectName(const std::string& channel_name, const std::string& kind);
// The permission bits a new POSIX channel gets: 0660 (SQL texts and
// parameter values are private data), or the octal KAVO_SQLMONITOR_MODE.
uint32_t TraceChannelMode();

// One chunk as it was copied out of the channel.
struct TTraceChunk {
  String text;
  TDateTime time_stamp = 0;
  int data_type = 0;
};

enum class TTraceChannelProblem {
  kSystem,         // the OS refused (os_error says why)
  kPermission,     // EACCES/EPERM: not the owner nor in the group
  kTooSmall,       // an existing object shorter than the layout
  kNotReady,       // its creator never finished setting it up
  kForeignLayout,  // set up by something else
  kForeignOwner,   // belongs to another user than this process's or root
};

// ibceCannotCreateSharedResource with what went wrong.
class ETraceChannelError : public EIBClientError {
 public:
  ETraceChannelError(TTraceChannelProblem problem, int os_error, std::string name,
                     std::string owner = "?");
  String ClassName() const override { return u"ETraceChannelError"; }
  TTraceChannelProblem Problem() const { return problem_; }
  int OSError() const { return os_error_; }
  const std::string& ChannelName() const { return name_; }
  // kForeignOwner: the user id the channel belongs to.
  const std::string& Owner() const { return owner_; }

 private:
  TTraceChannelProblem problem_;
  int os_error_;
  std::string name_;
  std::string owner_;
};

class TTraceChannel {
 public:
  // Opens the channel, creating and setting it up when it does not exist.
  // A channel that exists is joined as it is (its counters are kept; only
  // negative ones are reset to 0); one its creator is still setting up is
  // waited for, a bounded time. One that belongs to another user than this
  // process's (or root) is refused before it is looked at: whoever made it
  // could read every record published and pull the object away (POSIX; a
  // Windows channel is everyone's by design). Raises ETraceChannelError.
  static std::unique_ptr<TTraceChannel> Open(const std::string& name = TraceChannelName(),
                                             uint32_t mode = TraceChannelMode());

  const std::string& Name() const { return name_; }
  bool Created() const { return created_; }

  // Another process cut the object short: this process's view of it is a
  // private copy now, and nothing written reaches anyone.
  bool Lost() const { return memory_->Lost(); }

  // The counters, clamped to 0..kTraceMaxMonitors.
  int MonitorCount() const;
  int ReaderCount() const;

  // Finds monitors whose thread or process is gone (their slot mutex is left
  // by a dead owner), takes them out of both counters, and lowers counters
  // that exceed what the slots allow.
  void ReclaimDeadMonitors();

  // --- the record (writers hold the write lock) ---
  void StoreChunk(StringView chunk, int data_type, TDateTime time_stamp);
  TTraceChunk LoadChunk() const;

  // --- synchronisation ---
  RobustMutex WriteLock() const {
    return memory_->Mutex(kTraceWriteLockOffset, TraceObjectName(name_, "Mutex"));
  }
  SharedEvent WriteEvent() const { return Event(0); }
  SharedEvent WriteFinishedEvent() const { return Event(1); }
  SharedEvent ReadEvent() const { return Event(2); }
  SharedEvent ReadFinishedEvent() const { return Event(3); }

  // --- monitor slots (used by TTraceReader) ---
  // Takes a free slot for the calling thread and counts the monitor; -1 when
  // all are taken.
  int RegisterMonitor();
  void UnregisterMonitor(int slot);
  // Enters and leaves a read: the slot's mark and FReaderCount. Entering
  // returns the new reader count.
  int EnterRead(int slot);
  int LeaveRead(int slot);

  // The raw bytes, for tests that forge a channel.
  unsigned char* Data() const { return static_cast<unsigned char*>(memory_->Data()); }

 private:
  TTraceChannel(std::unique_ptr<SharedMemory> memory, std::string name, bool created);
  // Opens the objects of the channel, so that they all exist once it is open.
  void OpenObjects() const;
  // Counters below 0 (damaged) become 0.
  void ResetNegativeCounters();
  static void SetUp(SharedMemory& memory, const std::string& name);
  void* At(size_t offset) const { return Data() + offset; }
  SharedEvent Event(int index) const;
  RobustMutex SlotLock(int index) const;
  unsigned char* Slot(int index) const {
    return Data() + kTraceSlotsOffset + kTraceSlotSize * static_cast<size_t>(index);
  }
  std::atomic_ref<int32_t> Counter(size_t offset) const {
    return std::atomic_ref<int32_t>(*reinterpret_cast<int32_t*>(At(offset)));
  }
  std::atomic_ref<uint32_t> SlotWord(int index, size_t offset) const {
    return std::atomic_ref<uint32_t>(*reinterpret_cast<uint32_t*>(Slot(index) + offset));
  }
  // Takes a dead monitor's slot out of the counters (the caller holds its mutex).
  void ForgetSlot(int index);

  std::unique_ptr<SharedMemory> memory_;
  std::string name_;
  bool created_;
};

}  // namespace kavo

#endif  // KAVO_IB_IB_TRACE_CHANNEL_H_
