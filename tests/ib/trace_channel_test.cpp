// The trace channel inside one process: its layout, opening and joining,
// damaged objects, chunking, and the hand-over between writers and readers
// on threads.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>

#include "ib/ib_trace_hook.h"
#include "ib/ib_trace_reader.h"
#include "ib/ib_trace_writer.h"
#include "testkit/trace_channel.h"

namespace kavo::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int32_t RawInt(const TTraceChannel& ch, size_t offset) {
  int32_t v;
  std::memcpy(&v, ch.Data() + offset, 4);
  return v;
}
void SetRawInt(TTraceChannel& ch, size_t offset, int32_t v) {
  std::memcpy(ch.Data() + offset, &v, 4);
}

// A monitor on a thread of its own, collecting chunks until stopped.
class ReaderThread {
 public:
  explicit ReaderThread(TTraceChannel& ch, void (*before_copy)() = nullptr) : ch_(ch) {
    std::promise<void> registered;
    auto done = registered.get_future();
    thread_ = std::thread([this, before_copy, &registered] {
      TTraceReader reader(ch_);
      reader.before_copy = before_copy;
      registered.set_value();
      TTraceChunk chunk;
      while (reader.Read(chunk, stop_)) {
        std::lock_guard lock(mutex_);
        chunks_.push_back(chunk);
      }
    });
    done.wait();
  }
  ~ReaderThread() { Stop(); }
  void Stop() {
    if (!thread_.joinable()) return;
    stop_ = true;
    TTraceReader::Wake(ch_);
    thread_.join();
  }
  std::vector<TTraceChunk> Chunks() {
    std::lock_guard lock(mutex_);
    return chunks_;
  }
  bool WaitForChunks(size_t n, std::chrono::milliseconds timeout = 5s) {
    auto until = Clock::now() + timeout;
    while (Clock::now() < until) {
      if (Chunks().size() >= n) return true;
      std::this_thread::sleep_for(5ms);
    }
    return false;
  }

 private:
  TTraceChannel& ch_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<TTraceChunk> chunks_;
  std::thread thread_;
};

TTraceWriteResult Write(TTraceChannel& ch, StringView text, int type = tfMisc) {
  std::atomic<bool> stop{false};
  return WriteTraceRecord(ch, text, type, 46000.25, stop);
}

class TraceChannelTest : public ::testing::Test {
 protected:
  PrivateTraceChannel private_;
};

// What the POSIX object is made of (its file, permission bits, ready mark).
#ifndef _WIN32
TEST_F(TraceChannelTest, RecordSitsAtTheAgreedOffsetsInAPrivateObject) {
  mode_t old_umask = umask(077);
  auto ch = TTraceChannel::Open();
  umask(old_umask);
  EXPECT_TRUE(ch->Created());
  EXPECT_EQ(ch->Name(), "/IB.SQL.MONITOR.SharedMem4_1" + std::string(getenv("KAVO_SQLMONITOR_SUFFIX")));
  struct stat st {};
  ASSERT_EQ(stat(private_.path().c_str(), &st), 0);
  EXPECT_EQ(st.st_size, 4096);
  EXPECT_EQ(st.st_mode & 0777, 0660u) << "the umask must not narrow it, nor anything widen it";

  ch->StoreChunk(u"AB", tfError, 45000.5);
  const unsigned char* d = ch->Data();
  EXPECT_EQ(std::memcmp(d, "A\0B\0\0\0", 6), 0);
  EXPECT_EQ(RawInt(*ch, 4068), 4);
  double ts;
  std::memcpy(&ts, d + 4072, 8);
  EXPECT_EQ(ts, 45000.5);
  EXPECT_EQ(RawInt(*ch, 4080), tfError);
  EXPECT_EQ(RawInt(*ch, 4084), 0);
  EXPECT_EQ(RawInt(*ch, 4088), 0);
  // A shorter chunk leaves nothing of the longer one behind it.
  ch->StoreChunk(u"C", tfMisc, 1);
  EXPECT_EQ(std::memcmp(d, "C\0\0\0\0\0", 6), 0);

  auto again = TTraceChannel::Open();
  EXPECT_FALSE(again->Created());
}

TEST_F(TraceChannelTest, ModeSettingWidensOnlyWithAValidValue) {
  setenv("KAVO_SQLMONITOR_MODE", "0666", 1);
  EXPECT_EQ(TraceChannelMode(), 0666u);
  auto ch = TTraceChannel::Open();
  struct stat st {};
  ASSERT_EQ(stat(private_.path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u);
  for (const char* bad : {"99", "1777", "rw", ""}) {
    setenv("KAVO_SQLMONITOR_MODE", bad, 1);
    EXPECT_EQ(TraceChannelMode(), 0660u) << bad;
  }
  unsetenv("KAVO_SQLMONITOR_MODE");
}

#endif

TEST_F(TraceChannelTest, JoiningKeepsTheCountersAndResetsNegativeOnes) {
  auto first = TTraceChannel::Open();
  SetRawInt(*first, kTraceMonitorCountOffset, 3);
  SetRawInt(*first, kTraceReaderCountOffset, -5);
  auto second = TTraceChannel::Open();
  EXPECT_FALSE(second->Created());
  EXPECT_EQ(second->MonitorCount(), 3);
  EXPECT_EQ(RawInt(*second, kTraceReaderCountOffset), 0);
  // Out of range values are never believed.
  SetRawInt(*first, kTraceMonitorCountOffset, 1 << 30);
  EXPECT_EQ(first->MonitorCount(), kTraceMaxMonitors);
}

#ifndef _WIN32
TEST_F(TraceChannelTest, AJoinerWaitsForTheCreatorAndRefusesDamagedObjects) {
  // Set up late: the joiner waits for the ready mark.
  {
    auto raw = SharedMemory::Create(private_.name(), kTraceChannelSize, 0600);
    ASSERT_TRUE(raw);
    auto* mark = reinterpret_cast<uint32_t*>(static_cast<unsigned char*>(raw->Data()) +
                                             kTraceReadyMarkOffset);
    std::thread creator([mark] {
      std::this_thread::sleep_for(200ms);
      std::atomic_ref<uint32_t>(*mark).store(kTraceReadyMark);
    });
    auto ch = TTraceChannel::Open();
    creator.join();
    EXPECT_FALSE(ch->Created());
    SharedMemory::Remove(private_.name());
  }
  auto problem = [&](size_t size, uint32_t mark) {
    auto raw = SharedMemory::Create(private_.name(), size, 0600);
    if (size >= kTraceReadyMarkOffset + 4)
      std::memcpy(static_cast<unsigned char*>(raw->Data()) + kTraceReadyMarkOffset, &mark, 4);
    auto start = Clock::now();
    try {
      TTraceChannel::Open();
      ADD_FAILURE() << "opened";
    } catch (const ETraceChannelError& e) {
      SharedMemory::Remove(private_.name());
      EXPECT_EQ(e.SQLCode(), ibceCannotCreateSharedResource);
      EXPECT_EQ(e.Message(), u"Cannot create shared resource. (Windows error " +
                                 IntToStr(e.OSError()) + u")");
      EXPECT_LT(Clock::now() - start, 3s);
      return std::make_pair(e.Problem(), Clock::now() - start);
    }
    SharedMemory::Remove(private_.name());
    return std::make_pair(TTraceChannelProblem::kSystem, Clock::duration());
  };
  auto shortened = problem(2048, kTraceReadyMark);
  EXPECT_EQ(shortened.first, TTraceChannelProblem::kTooSmall);
  EXPECT_LT(shortened.second, 500ms) << "a short object is not a creator at work";
  EXPECT_EQ(problem(kTraceChannelSize, 0x12345678).first, TTraceChannelProblem::kForeignLayout);
  auto never = problem(kTraceChannelSize, 0);
  EXPECT_EQ(never.first, TTraceChannelProblem::kNotReady);
  EXPECT_GE(never.second, 1900ms);
}
#endif

TEST(TraceTextTest, ChunksAre506CharactersAndNeverSplitASurrogatePair) {
  String text(1500, u'a');
  auto chunks = SplitTraceText(text);
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].size(), 506u);
  EXPECT_EQ(chunks[1].size(), 506u);
  EXPECT_EQ(chunks[2].size(), 488u);
  EXPECT_EQ(chunks[1].data(), text.data() + 506);
  EXPECT_EQ(chunks[2].data(), text.data() + 1012);

  EXPECT_EQ(SplitTraceText(String(506, u'a')).size(), 1u);
  EXPECT_EQ(SplitTraceText(String(1012, u'a')).size(), 2u);
  auto empty = SplitTraceText(u"");
  ASSERT_EQ(empty.size(), 1u);
  EXPECT_TRUE(empty[0].empty());

  String pair = String(505, u'a') + u"\U0001F600" + u"b";  // the pair at 505 and 506
  auto cut = SplitTraceText(pair);
  ASSERT_EQ(cut.size(), 2u);
  EXPECT_EQ(cut[0].size(), 505u);
  EXPECT_EQ(cut[1], u"\U0001F600b");
}

TEST_F(TraceChannelTest, ReadingDistrustsWhatTheMemoryHolds) {
  auto ch = TTraceChannel::Open();
  ch->StoreChunk(String(506, u'z'), tfError, 45000);
  SetRawInt(*ch, kTraceBufferSizeOffset, 5000);
  EXPECT_EQ(ch->LoadChunk().text.size(), 506u);
  SetRawInt(*ch, kTraceBufferSizeOffset, 7);
  EXPECT_EQ(ch->LoadChunk().text, u"zzz");
  SetRawInt(*ch, kTraceBufferSizeOffset, -4);
  EXPECT_EQ(ch->LoadChunk().text, u"");
  for (double forged : {std::nan(""), 1e300, -1e9}) {
    std::memcpy(ch->Data() + kTraceTimeStampOffset, &forged, 8);
    EXPECT_EQ(ch->LoadChunk().time_stamp, 0) << forged;
  }
}

TEST_F(TraceChannelTest, RecordsReachEveryMonitorWholeAndInOrder) {
  auto ch = TTraceChannel::Open();
  EXPECT_EQ(Write(*ch, u"nobody"), TTraceWriteResult::kNoMonitor);
  ReaderThread a(*ch), b(*ch);
  EXPECT_EQ(ch->MonitorCount(), 2);
  // Two writers at once: each record's chunks go out under one hold.
  std::thread w1([&] { EXPECT_EQ(Write(*ch, String(1500, u'1')), TTraceWriteResult::kWritten); });
  std::thread w2([&] { EXPECT_EQ(Write(*ch, String(1500, u'2')), TTraceWriteResult::kWritten); });
  w1.join();
  w2.join();
  ASSERT_TRUE(a.WaitForChunks(6));
  ASSERT_TRUE(b.WaitForChunks(6));
  for (ReaderThread* r : {&a, &b}) {
    auto chunks = r->Chunks();
    ASSERT_EQ(chunks.size(), 6u);
    for (int rec = 0; rec < 2; ++rec) {
      Char letter = chunks[rec * 3].text[0];
      EXPECT_EQ(chunks[rec * 3].text, String(506, letter));
      EXPECT_EQ(chunks[rec * 3 + 1].text, String(506, letter));
      EXPECT_EQ(chunks[rec * 3 + 2].text, String(488, letter));
      EXPECT_EQ(chunks[rec * 3 + 2].data_type, tfMisc);
      EXPECT_EQ(chunks[rec * 3 + 2].time_stamp, 46000.25);
    }
    EXPECT_NE(chunks[0].text[0], chunks[3].text[0]);
  }
  a.Stop();
  EXPECT_EQ(ch->MonitorCount(), 1);
  b.Stop();
  EXPECT_EQ(ch->MonitorCount(), 0);
  EXPECT_EQ(ch->ReaderCount(), 0);
}

TEST_F(TraceChannelTest, MonitorsWhoseThreadEndedAreTakenOutOfTheCounts) {
  auto ch = TTraceChannel::Open();
  // A monitor that vanished while waiting, and one that vanished inside a read.
  std::thread([&] {
    ch->RegisterMonitor();
    ch->EnterRead(ch->RegisterMonitor());
  }).join();
  EXPECT_EQ(ch->MonitorCount(), 2);
  EXPECT_EQ(ch->ReaderCount(), 1);
  auto start = Clock::now();
  EXPECT_EQ(Write(*ch, u"to the dead"), TTraceWriteResult::kNoMonitor);
  EXPECT_LT(Clock::now() - start, 1500ms);
  EXPECT_EQ(ch->MonitorCount(), 0);
  EXPECT_EQ(ch->ReaderCount(), 0);
  // Their slots are free again, and a live monitor gets the next record.
  ReaderThread live(*ch);
  EXPECT_EQ(Write(*ch, u"to the living"), TTraceWriteResult::kWritten);
  ASSERT_TRUE(live.WaitForChunks(1));
  EXPECT_EQ(live.Chunks()[0].text, u"to the living");
}

TEST_F(TraceChannelTest, AWriterThatEndedHoldingTheLockStopsNoOne) {
  auto ch = TTraceChannel::Open();
  std::thread([&] {
    RobustMutex lock = ch->WriteLock();
    ASSERT_EQ(lock.Lock(1s), RobustMutex::Result::kLocked);
    // Ends holding it, in the middle of a hand-over.
    ch->WriteFinishedEvent().Reset();
  }).join();
  ReaderThread live(*ch);
  auto start = Clock::now();
  EXPECT_EQ(Write(*ch, u"after"), TTraceWriteResult::kWritten);
  EXPECT_LT(Clock::now() - start, 2s);
  ASSERT_TRUE(live.WaitForChunks(1));
  EXPECT_EQ(live.Chunks()[0].text, u"after");
}

std::promise<void>* g_frozen_reached = nullptr;
std::shared_future<void>* g_thaw = nullptr;

TEST_F(TraceChannelTest, AFrozenMonitorCostsABoundedWaitAndStillGetsItsChunk) {
  auto ch = TTraceChannel::Open();
  std::promise<void> reached, thaw;
  std::shared_future<void> thawed = thaw.get_future().share();
  g_frozen_reached = &reached;
  g_thaw = &thawed;
  ReaderThread frozen(*ch, [] {
    static bool once = false;
    if (once) return;
    once = true;
    g_frozen_reached->set_value();
    g_thaw->wait();
  });
  auto start = Clock::now();
  EXPECT_EQ(Write(*ch, u"first"), TTraceWriteResult::kGaveUp);
  auto waited = Clock::now() - start;
  EXPECT_GE(waited, kTraceHandOverWait * kTraceMaxTimeouts - 100ms);
  EXPECT_LT(waited, kTraceHandOverWait * kTraceMaxTimeouts + 1s);
  reached.get_future().wait();
  thaw.set_value();
  // The next writer finishes the open hand-over first: the frozen monitor
  // reads what it was promised, then the new record.
  EXPECT_EQ(Write(*ch, u"second"), TTraceWriteResult::kWritten);
  ASSERT_TRUE(frozen.WaitForChunks(2));
  EXPECT_EQ(frozen.Chunks()[0].text, u"first");
  EXPECT_EQ(frozen.Chunks()[1].text, u"second");
}

TEST_F(TraceChannelTest, AWriterWaitingForMonitorsHonoursStop) {
  auto ch = TTraceChannel::Open();
  int slot = ch->RegisterMonitor();  // registered here, never reading
  ASSERT_GE(slot, 0);
  std::atomic<bool> stop{false};
  auto result = std::async(std::launch::async, [&] {
    return WriteTraceRecord(*ch, u"x", tfMisc, 0, stop);
  });
  std::this_thread::sleep_for(100ms);
  auto start = Clock::now();
  stop = true;
  ch->ReadEvent().Wake();
  EXPECT_EQ(result.get(), TTraceWriteResult::kStopped);
  EXPECT_LT(Clock::now() - start, 1100ms) << "well before the writer would give up on its own";
  ch->UnregisterMonitor(slot);
  EXPECT_EQ(ch->MonitorCount(), 0);
}

}  // namespace
}  // namespace kavo::test
