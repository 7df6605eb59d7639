// The SQL trace channel on Windows: the named kernel objects, read by a
// reader that knows only their names and the record layout, and by
// kavo-sqlmonitor.exe in a process of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "ib/ib_trace_channel.h"
#include "ib/ib_trace_hook.h"
#include "ib/ib_trace_writer.h"
#include "rtl/datetime.h"
#include "testkit/temp_dir.h"

// Last: its WM_ macros would hide the message queue's constants.
#include <windows.h>

namespace kavo::test {
namespace {

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string FileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(TraceObjects, NamesAreTheChannelsWithTheKindInPlaceOfSharedMem) {
  const std::string name = "IB.SQL.MONITOR.SharedMem4_1";
  EXPECT_EQ(TraceObjectName(name, "Mutex"), "IB.SQL.MONITOR.Mutex4_1");
  EXPECT_EQ(TraceObjectName(name, "WriteFinishedEvent"), "IB.SQL.MONITOR.WriteFinishedEvent4_1");
  EXPECT_EQ(TraceObjectName(name + ".t1", "ReadEvent"), "IB.SQL.MONITOR.ReadEvent4_1.t1");
  // Without a suffix the channel is the machine's own.
  const std::string suffix = getenv("KAVO_SQLMONITOR_SUFFIX");
  EXPECT_EQ(TraceChannelName(), name + suffix);
}

// What a monitor of another make does: open the objects by name, count
// itself in, take one chunk by the events and the counters, count itself out.
struct ForeignReader {
  std::string channel;
  std::atomic<bool> counted_in{false};
  std::wstring text;
  int data_type = -1;
  bool got = false;

  void Run() {
    auto event = [&](const char* kind) {
      return OpenEventW(EVENT_ALL_ACCESS, FALSE, Wide(TraceObjectName(channel, kind)).c_str());
    };
    HANDLE mapping = OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, Wide(channel).c_str());
    HANDLE write = event("WriteEvent"), write_finished = event("WriteFinishedEvent"),
           read = event("ReadEvent"), read_finished = event("ReadFinishedEvent");
    if (!mapping || !write || !write_finished || !read || !read_finished) {
      counted_in = true;
      return;
    }
    auto* view = static_cast<unsigned char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
    auto* readers = reinterpret_cast<volatile LONG*>(view + 4084);
    auto* monitors = reinterpret_cast<volatile LONG*>(view + 4088);
    InterlockedIncrement(monitors);
    counted_in = true;
    if (WaitForSingleObject(write_finished, 5000) == WAIT_OBJECT_0) {
      if (InterlockedIncrement(readers) == *monitors) SetEvent(read);
      if (WaitForSingleObject(write, 5000) == WAIT_OBJECT_0) {
        int32_t bytes = 0;
        std::memcpy(&bytes, view + 4068, 4);
        std::memcpy(&data_type, view + 4080, 4);
        text.assign(reinterpret_cast<const wchar_t*>(view), static_cast<size_t>(bytes) / 2);
        got = true;
      }
      if (InterlockedDecrement(readers) == 0) {
        ResetEvent(read);
        SetEvent(read_finished);
      }
    }
    InterlockedDecrement(monitors);
    UnmapViewOfFile(view);
    for (HANDLE h : {mapping, write, write_finished, read, read_finished}) CloseHandle(h);
  }
};

TEST(TraceObjects, AReaderThatKnowsOnlyTheNamesAndTheLayoutGetsTheRecord) {
  auto channel = TTraceChannel::Open();
  ForeignReader reader;
  reader.channel = channel->Name();
  std::thread t([&] { reader.Run(); });
  while (!reader.counted_in) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::atomic<bool> stop{false};
  EXPECT_EQ(WriteTraceRecord(*channel, u"select 1 from RDB$DATABASE", 1, Now(), stop),
            TTraceWriteResult::kWritten);
  t.join();
  ASSERT_TRUE(reader.got);
  EXPECT_EQ(reader.text, L"select 1 from RDB$DATABASE");
  EXPECT_EQ(reader.data_type, 1);
  EXPECT_EQ(channel->MonitorCount(), 0);
}

// kavo-sqlmonitor.exe, started as an operator starts it, shows what this
// program publishes: a record of three chunks, whole.
TEST(TraceObjects, TheMonitorProgramShowsThisProgramsErrors) {
  TempDir dir;
  const std::string out = dir.File("monitor.out"), err = dir.File("monitor.err");
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE out_file = CreateFileA(out.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherit, CREATE_ALWAYS, 0, nullptr);
  HANDLE err_file = CreateFileA(err.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherit, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOA start{};
  start.cb = sizeof start;
  start.dwFlags = STARTF_USESTDHANDLES;
  start.hStdOutput = out_file;
  start.hStdError = err_file;
  PROCESS_INFORMATION process{};
  std::string command = "\"" SQLMONITOR "\"";
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                             &start, &process));
  CloseHandle(out_file);
  CloseHandle(err_file);
  auto await = [](const std::string& file, const std::string& needle) {
    for (int i = 0; i < 1000; ++i) {
      if (FileText(file).find(needle) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  };
  EXPECT_TRUE(await(err, "watching " + TraceChannelName())) << FileText(err);

  std::string text = "kavo trace check ";
  text.resize(1400, 'x');
  text += " end";
  ReportError(Utf8ToString(text));
  EXPECT_TRUE(await(out, "[Error] " + text)) << FileText(out);
  TerminateProcess(process.hProcess, 0);
  WaitForSingleObject(process.hProcess, 5000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace
}  // namespace kavo::test
