// The Windows channel: a named file mapping with the named mutex and events
// beside it. A new mapping is zero-filled and its events start in their
// initial states, so a channel is ready the moment it exists, whoever made it
// (this program or any monitor that follows the same layout).
#include <windows.h>

#include <cstdlib>

#include "ib/ib_trace_channel.h"
#include "rtl/exceptions.h"

namespace kavo {

std::string TraceChannelName() {
  std::string name = "IB.SQL.MONITOR.SharedMem4_1";
  if (const char* suffix = std::getenv("KAVO_SQLMONITOR_SUFFIX")) name += suffix;
  return name;
}

std::unique_ptr<TTraceChannel> TTraceChannel::Open(const std::string& name, uint32_t mode) {
  try {
    std::unique_ptr<SharedMemory> memory = SharedMemory::Create(name, kTraceChannelRequest, mode);
    const bool created = memory != nullptr;
    if (!created) memory = SharedMemory::Open(name);
    if (memory->ObjectSize() < kTraceChannelSize)
      throw ETraceChannelError(TTraceChannelProblem::kTooSmall, ERROR_INVALID_PARAMETER, name);
    memory->Map(kTraceChannelSize);
    std::unique_ptr<TTraceChannel> channel(new TTraceChannel(std::move(memory), name, created));
    channel->OpenObjects();
    channel->ResetNegativeCounters();
    return channel;
  } catch (const EOSError& e) {
    throw ETraceChannelError(e.ErrorCode() == ERROR_ACCESS_DENIED
                                 ? TTraceChannelProblem::kPermission
                                 : TTraceChannelProblem::kSystem,
                             e.ErrorCode(), name);
  }
}

}  // namespace kavo
