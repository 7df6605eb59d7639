// The cost of the SQL trace hook: what a report costs the reporting thread
// while no monitor watches (the service's everyday case), and how many
// records per second reach one monitor, straight through the channel and
// through the hook's queue and writer thread.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#include "ib/ib_sql_monitor_hook.h"
#include "ib/ib_trace_reader.h"
#include "ib/ib_trace_writer.h"
#include "platform/shared_memory.h"

namespace kavo {
namespace {

const String kErrorText =
    u"-204 335544569 Dynamic SQL Error\r\nSQL error code = -204\r\nTable unknown\r\nNO_SUCH_TABLE";

// A monitor on its own thread that counts what reaches it.
class CountingMonitor {
 public:
  explicit CountingMonitor(TTraceChannel& ch) : ch_(ch) {
    std::promise<void> ready;
    auto registered = ready.get_future();
    thread_ = std::thread([this, &ready] {
      TTraceReader reader(ch_);
      ready.set_value();
      TTraceChunk chunk;
      while (reader.Read(chunk, stop_)) ++count_;
    });
    registered.wait();
  }
  ~CountingMonitor() {
    stop_ = true;
    TTraceReader::Wake(ch_);
    thread_.join();
  }
  int64_t Count() const { return count_; }

 private:
  TTraceChannel& ch_;
  std::atomic<bool> stop_{false};
  std::atomic<int64_t> count_{0};
  std::thread thread_;
};

void BM_ReportErrorUnmonitored(benchmark::State& state) {
  TIBSQLMonitorHook hook;
  SetMonitorHook(&hook);
  ReportError(kErrorText);  // opens the channel once
  for (auto _ : state) ReportError(kErrorText);
  SetMonitorHook(nullptr);
}
BENCHMARK(BM_ReportErrorUnmonitored);

void BM_ChannelRecordsToOneMonitor(benchmark::State& state) {
  auto ch = TTraceChannel::Open();
  CountingMonitor monitor(*ch);
  std::atomic<bool> stop{false};
  const String text = u"\r\n[Application: trace_bench]\r\n[Error] " + kErrorText;
  for (auto _ : state) WriteTraceRecord(*ch, text, tfError, 46000, stop);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ChannelRecordsToOneMonitor)->UseRealTime();

void BM_HookRecordsToOneMonitor(benchmark::State& state) {
  auto ch = TTraceChannel::Open();
  CountingMonitor monitor(*ch);
  int64_t sent = 0;
  {
    TIBSQLMonitorHook hook;
    for (auto _ : state) {
      // A batch, then until the monitor has it all: records per second
      // through the queue, the writer thread and the channel.
      for (int i = 0; i < 100; ++i) hook.SendError(kErrorText);
      sent += 100;
      while (monitor.Count() < sent) std::this_thread::yield();
    }
  }
  state.SetItemsProcessed(sent);
}
BENCHMARK(BM_HookRecordsToOneMonitor)->UseRealTime();

}  // namespace
}  // namespace kavo

int main(int argc, char** argv) {
  // A channel of this run's own.
  std::string suffix = ".kavo-bench-" + std::to_string(getpid());
  setenv("KAVO_SQLMONITOR_SUFFIX", suffix.c_str(), 1);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  kavo::SharedMemory::Remove(kavo::TraceChannelName());
  return 0;
}
