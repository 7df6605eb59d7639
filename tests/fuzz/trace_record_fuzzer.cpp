// The trace channel as a monitor reads it and prints it, whatever a broken
// or hostile writer left in the record: up to eight chunks in a row, each
// 2 bytes of text length, 24 bytes for the record fields (FBufferSize,
// FTimeStamp, FTraceDataType, FReaderCount, FMonitorCount) and the text
// bytes. The synchronisation bytes are left alone: a writer that may corrupt
// those can stop the machine's monitors, which the channel does not promise
// to survive.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fuzz_input.h"
#include "ib/ib_trace_channel.h"
#include "platform/shared_memory.h"
#include "record_printer.h"

namespace {

struct Channel {
  Channel() {
    setenv("KAVO_SQLMONITOR_SUFFIX", (".kavo-fuzz-" + std::to_string(getpid())).c_str(), 1);
    channel = kavo::TTraceChannel::Open();
    raw = kavo::SharedMemory::Open(channel->Name());
    raw->Map(4096);
    kavo::SharedMemory::Remove(channel->Name());  // both mappings stay
    sink = std::fopen("/dev/null", "w");
  }
  unsigned char* Bytes() const { return static_cast<unsigned char*>(raw->Data()); }

  std::unique_ptr<kavo::TTraceChannel> channel;
  std::unique_ptr<kavo::SharedMemory> raw;
  std::FILE* sink;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Channel c;
  kavo::RecordPrinter blocks(c.sink, false), json(c.sink, true);
  for (int record = 0; record < 8 && size >= 26; ++record) {
    size_t length = (data[0] | data[1] << 8) % (kavo::kTraceTextSize + 1);
    std::memcpy(c.Bytes() + kavo::kTraceBufferSizeOffset, data + 2, 24);
    data += 26;
    size -= 26;
    if (length > size) length = size;
    std::memcpy(c.Bytes(), data, length);
    data += length;
    size -= length;

    kavo::TTraceChunk chunk = c.channel->LoadChunk();
    FUZZ_CHECK(chunk.text.size() <= static_cast<size_t>(kavo::kTraceChunkChars));
    FUZZ_CHECK(std::isfinite(chunk.time_stamp));
    int monitors = c.channel->MonitorCount(), readers = c.channel->ReaderCount();
    FUZZ_CHECK(monitors >= 0 && monitors <= kavo::kTraceMaxMonitors);
    FUZZ_CHECK(readers >= 0 && readers <= kavo::kTraceMaxMonitors);
    c.channel->ReclaimDeadMonitors();
    // Garbage may be printed, but printed it is: no exception, no overrun.
    blocks.Add(chunk.text, chunk.time_stamp, chunk.data_type);
    json.Add(chunk.text, chunk.time_stamp, chunk.data_type);
  }
  blocks.Flush();
  json.Flush();
  return 0;
}
