// The trace channel between processes: the monitor program, a peer process
// that writes or misbehaves, and the test process, which forges what a
// hostile writer would.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include "ib/ib_trace_hook.h"
#include "ib/ib_trace_writer.h"
#include "testkit/child_process.h"
#include "testkit/ib_support.h"
#include "testkit/trace_channel.h"

namespace kavo::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class TraceProcessTest : public ::testing::Test {
 protected:
  DatabaseDir dir_;
  Child Monitor(std::vector<std::string> args = {}) {
    args.insert(args.begin(), SQLMONITOR);
    Child c(args, dir_.path());
    EXPECT_TRUE(c.AwaitErr("watching")) << c.Err();
    return c;
  }
  Child Peer(const std::vector<std::string>& args) {
    std::vector<std::string> all{TRACE_PEER};
    all.insert(all.end(), args.begin(), args.end());
    return Child(all, dir_.path());
  }
  std::unique_ptr<TTraceChannel> Channel() { return TTraceChannel::Open(); }
  // A local user with no rights of ours: nobody, without root's groups.
  Child Nobody(const std::vector<std::string>& args) {
    std::vector<std::string> all{"/usr/bin/setpriv", "--reuid", "nobody", "--regid", "nogroup",
                                 "--clear-groups"};
    all.insert(all.end(), args.begin(), args.end());
    return Child(all, dir_.path());
  }
  // The lines of the event file the peers write to (KAVO_EVENT_LOG_FILE).
  std::vector<std::string> Events() const {
    std::ifstream in(events_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  void SetUp() override {
    if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
      needs_root_ = "needs root and setpriv to act as another user";
  }

  std::string events_ = dir_.path() + "/events.txt";
  std::string needs_root_;

  PrivateTraceChannel channel_;
};

TEST_F(TraceProcessTest, WithoutAMonitorNothingIsWrittenButTheChannelExists) {
  Child peer = Peer({"report", "3", "40"});
  ASSERT_EQ(peer.Wait(), 0) << peer.Err();
  auto ch = Channel();
  EXPECT_FALSE(ch->Created()) << "the peer's first error made it";
  TTraceChunk chunk = ch->LoadChunk();
  EXPECT_EQ(chunk.text, u"");
  EXPECT_EQ(chunk.data_type, 0);
  EXPECT_EQ(ch->MonitorCount(), 0);
}

TEST_F(TraceProcessTest, TheMonitorShowsAnotherProcesssErrorsWholeAndLeavesCleanly) {
  Child monitor = Monitor();
  auto ch = Channel();
  EXPECT_FALSE(ch->Created());
  EXPECT_EQ(ch->MonitorCount(), 1);
  // The writer joins the monitor's channel and keeps its count: it publishes.
  Child peer = Peer({"report", "2", "1500"});
  ASSERT_EQ(peer.Wait(), 0) << peer.Err();
  ASSERT_TRUE(monitor.AwaitOut("[Error] record 1", 1)) << monitor.Out();
  std::string out = monitor.Out();
  // Each record, 1500 characters and more with its prefix, is one block.
  EXPECT_EQ(Count(out, " error\n[Application: trace-peer]\n[Error] record "), 2u) << out;
  size_t first = out.find("[Error] record 0 ");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(out.substr(first, 1509), "[Error] record 0 " + std::string(1500 - 9, 'x') + "\n");
  EXPECT_EQ(ch->MonitorCount(), 1);

  monitor.Signal(SIGINT);
  EXPECT_EQ(monitor.Wait(5s), 0) << monitor.Err();
  EXPECT_EQ(ch->MonitorCount(), 0) << "the monitor unregistered";
  Child again = Monitor();
  again.Signal(SIGTERM);
  EXPECT_EQ(again.Wait(5s), 0);
  EXPECT_EQ(ch->MonitorCount(), 0);
}

TEST_F(TraceProcessTest, EmptyTraceFlagsGiveOnlyErrorsAndKindsFilterTheRest) {
  std::string db = dir_.File("peer.fdb");
  CreateTestDatabase(db);
  Child monitor = Monitor();
  Child json = Monitor({"--kinds", "error,connect", "--json"});
  Child untraced = Peer({"sql", db, "none"});
  ASSERT_EQ(untraced.Wait(), 0) << untraced.Err();
  ASSERT_TRUE(monitor.AwaitOut("NO_SUCH_TABLE")) << monitor.Out();
  std::string out = monitor.Out();
  for (const char* text : {"[Prepare]", "[Execute]", "[Fetch]", "[Connect]", "[Start transaction]",
                           "[Commit", "[Disconnect]"})
    EXPECT_EQ(out.find(text), std::string::npos) << text << " in\n" << out;
  EXPECT_EQ(Count(out, " error\n"), 1u) << out;

  Child traced = Peer({"sql", db, "all"});
  ASSERT_EQ(traced.Wait(), 0) << traced.Err();
  ASSERT_TRUE(monitor.AwaitOut("PeerDB: [Disconnect]")) << monitor.Out();
  out = monitor.Out();
  EXPECT_NE(out.find(" connect\n[Application: trace-peer]\nPeerDB: [Connect]\n"), std::string::npos)
      << out;
  EXPECT_NE(out.find("PeerInsert: [Execute] insert into TMP_INTEGRACAO (ACAO, DADOS) values "
                     "(:ACAO, :DADOS)\n\n  ACAO = I\n  DADOS = <NULL>\n"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("  Plan: PLAN (TMP_INTEGRACAO NATURAL)"), std::string::npos);
  EXPECT_NE(out.find("\n  SEOFReached\n"), std::string::npos);
  EXPECT_NE(out.find("PeerTR: [Commit (Hard commit)]"), std::string::npos);

  ASSERT_TRUE(json.AwaitOut("[Disconnect]")) << json.Out();
  std::istringstream lines(json.Out());
  int errors = 0, connects = 0;
  for (std::string line; std::getline(lines, line);) {
    EXPECT_TRUE(line.starts_with("{\"time\":\"")) << line;
    EXPECT_TRUE(line.ends_with("\"}")) << line;
    EXPECT_EQ(line.find('\r'), std::string::npos) << "escaped";
    if (line.find("\"kind\":\"error\"") != std::string::npos) ++errors;
    else if (line.find("\"kind\":\"connect\"") != std::string::npos) ++connects;
    else ADD_FAILURE() << "filtered out: " << line;
  }
  EXPECT_EQ(errors, 2);
  EXPECT_EQ(connects, 2);
  EXPECT_NE(json.Out().find("\\r\\n[Application: trace-peer]\\r\\nPeerDB: [Connect]"),
            std::string::npos)
      << json.Out();
}

TEST_F(TraceProcessTest, AWriterKilledHoldingTheLockStopsNoOne) {
  Child monitor = Monitor();
  Child holder = Peer({"hold-lock"});
  ASSERT_TRUE(holder.AwaitOut("locked")) << holder.Err();
  holder.Signal(SIGKILL);
  EXPECT_EQ(holder.Wait(), 128 + SIGKILL);
  Child peer = Peer({"report", "1", "10"});
  EXPECT_EQ(peer.Wait(), 0);
  EXPECT_TRUE(monitor.AwaitOut("[Error] record 0", 1, 5s)) << monitor.Out();
}

TEST_F(TraceProcessTest, AMonitorKilledInTheMiddleOfAReadIsTakenOutOfTheCounts) {
  Child live = Monitor();
  Child hanging = Peer({"hang-in-read"});
  ASSERT_TRUE(hanging.AwaitOut("registered")) << hanging.Err();
  auto ch = Channel();
  EXPECT_EQ(ch->MonitorCount(), 2);
  Child first = Peer({"report", "1", "10"});
  ASSERT_TRUE(hanging.AwaitOut("in read")) << hanging.Err();
  hanging.Signal(SIGKILL);
  EXPECT_EQ(hanging.Wait(), 128 + SIGKILL);
  EXPECT_EQ(first.Wait(), 0);
  Child second = Peer({"report", "2", "10"});
  EXPECT_EQ(second.Wait(), 0);
  ASSERT_TRUE(live.AwaitOut("[Error] record 1", 1, 5s)) << live.Out();
  EXPECT_EQ(Count(live.Out(), "[Error] record 0"), 2u) << live.Out();
  EXPECT_EQ(ch->MonitorCount(), 1);
  // The live monitor waits for the next chunk inside a read; the dead one is
  // no longer counted there.
  EXPECT_EQ(ch->ReaderCount(), 1);
}

// Hands the chunk in the text area to the monitors by hand, as a writer
// would, after `forge` has spoilt the record.
void HandOverForged(TTraceChannel& ch, StringView text, TDateTime at,
                    void (*forge)(TTraceChannel&)) {
  RobustMutex lock = ch.WriteLock();
  ASSERT_NE(lock.Lock(5s), RobustMutex::Result::kTimedOut);
  ch.StoreChunk(text, tfError, at);
  forge(ch);
  ASSERT_EQ(ch.ReadEvent().WaitFor(5s), SharedEvent::Wait::kSet);
  ch.WriteFinishedEvent().Reset();
  ch.ReadFinishedEvent().Reset();
  ch.WriteEvent().Set();
  ASSERT_EQ(ch.ReadFinishedEvent().WaitFor(5s), SharedEvent::Wait::kSet);
  ch.WriteEvent().Reset();
  ch.WriteFinishedEvent().Set();
  lock.Unlock();
}

void SetBufferSize(TTraceChannel& ch, int32_t v) {
  std::memcpy(ch.Data() + kTraceBufferSizeOffset, &v, 4);
}

TEST_F(TraceProcessTest, AForgedRecordOrAShortObjectCannotMakeAnyoneOverstep) {
  Child monitor = Monitor();
  auto ch = Channel();
  HandOverForged(*ch, String(506, u'f'), 46000, [](TTraceChannel& c) { SetBufferSize(c, 100000); });
  HandOverForged(*ch, u"odd", 46001, [](TTraceChannel& c) { SetBufferSize(c, 5); });
  HandOverForged(*ch, u"neg", 46002, [](TTraceChannel& c) { SetBufferSize(c, -8); });
  std::atomic<bool> stop{false};
  EXPECT_EQ(WriteTraceRecord(*ch, u"after the forgeries", tfError, 46000, stop),
            TTraceWriteResult::kWritten);
  ASSERT_TRUE(monitor.AwaitOut("after the forgeries")) << monitor.Out();
  std::string out = monitor.Out();
  EXPECT_NE(out.find("error\n" + std::string(506, 'f') + "\n"), std::string::npos) << out;
  EXPECT_NE(out.find("error\nod\n"), std::string::npos) << out;
  monitor.Signal(SIGTERM);
  EXPECT_EQ(monitor.Wait(5s), 0) << monitor.Err();

  ch.reset();
  SharedMemory::Remove(channel_.name());
  ASSERT_TRUE(SharedMemory::Create(channel_.name(), 2048, 0600));
  Child refused(std::vector<std::string>{SQLMONITOR}, dir_.path());
  EXPECT_EQ(refused.Wait(), 2);
  EXPECT_NE(refused.Err().find("is damaged (shorter than 4096 bytes)"), std::string::npos)
      << refused.Err();
  // A writer on the damaged channel goes on as if nothing were traced.
  Child peer = Peer({"report", "1", "10"});
  EXPECT_EQ(peer.Wait(), 0) << peer.Err();
}

TEST_F(TraceProcessTest, AMonitorWithoutPermissionSaysSo) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run the monitor as another user";
  setenv("KAVO_SQLMONITOR_MODE", "0600", 1);
  auto ch = Channel();
  unsetenv("KAVO_SQLMONITOR_MODE");
  ASSERT_TRUE(ch->Created());
  Child refused(std::vector<std::string>{SQLMONITOR}, dir_.path(), 65534);
  int code = refused.Wait();
  if (code == 127 || code == 126) GTEST_SKIP() << "the build tree is not reachable for nobody";
  EXPECT_EQ(code, 2);
  EXPECT_NE(refused.Err().find("no permission on the trace channel " + channel_.path() +
                               " (owner root"),
            std::string::npos)
      << refused.Err();
  EXPECT_NE(refused.Err().find("mode 0600"), std::string::npos);
}

// User and system CPU time a process has used so far.
double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i)
    if (i >= 14) ticks += std::stod(field);
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// One forged write sets the four event words: the monitor must neither burn
// a core over it nor stop hearing SIGTERM.
TEST_F(TraceProcessTest, ForgedEventWordsMakeTheMonitorNeitherSpinNorDeaf) {
  Child monitor = Monitor();
  auto ch = Channel();
  const uint32_t ones[4] = {1, 1, 1, 1};
  std::memcpy(ch->Data() + kTraceEventsOffset, ones, sizeof ones);
  double before = CpuSeconds(monitor.Pid());
  std::this_thread::sleep_for(1s);
  EXPECT_LT(CpuSeconds(monitor.Pid()) - before, 0.3);
  monitor.Signal(SIGTERM);
  EXPECT_EQ(monitor.Wait(5s), 0) << monitor.Err();
  // The next writer's hand-over puts the words right (the forged "every
  // monitor is inside a read" costs its first chunk): the next monitor
  // gets the record after it.
  Child again = Monitor();
  Child peer = Peer({"report", "2", "10"});
  EXPECT_EQ(peer.Wait(), 0) << peer.Err();
  EXPECT_TRUE(again.AwaitOut("[Error] record 1")) << again.Out();
  again.Signal(SIGTERM);
  EXPECT_EQ(again.Wait(5s), 0) << again.Err();
}

// Another local user makes the channel before the service's first error (by
// starting the monitor): the service must not publish into it, and says so
// once in the event log.
TEST_F(TraceProcessTest, AChannelAnotherUserMadeIsNeverFed) {
  if (!needs_root_.empty()) GTEST_SKIP() << needs_root_;
  Child attacker = Nobody({SQLMONITOR});
  if (!attacker.AwaitErr("watching")) GTEST_SKIP() << "nobody cannot run the monitor";
  setenv("KAVO_EVENT_LOG_FILE", events_.c_str(), 1);
  Child peer = Peer({"report", "3", "40"});
  unsetenv("KAVO_EVENT_LOG_FILE");
  ASSERT_EQ(peer.Wait(), 0) << peer.Err();
  EXPECT_FALSE(attacker.AwaitOut("[Error]", 1, 1500ms)) << attacker.Out();
  std::vector<std::string> events = Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_NE(events[0].find("error\tib_trace_peer\t0\t0\tThe SQL trace channel " +
                           channel_.path() + " belongs to user id 65534, not to this program's "
                           "user or root: nothing is published on it."),
            std::string::npos)
      << events[0];
  attacker.Signal(SIGTERM);
  EXPECT_EQ(attacker.Wait(5s), 0) << attacker.Err();
}

// A user who may write the channel (here a wider mode) cuts it short while
// a process publishes: the process goes on, stops publishing and says so.
TEST_F(TraceProcessTest, AChannelCutShortUnderAWriterDoesNotEndIt) {
  if (!needs_root_.empty()) GTEST_SKIP() << needs_root_;
  setenv("KAVO_SQLMONITOR_MODE", "0666", 1);
  auto ch = Channel();
  unsetenv("KAVO_SQLMONITOR_MODE");
  setenv("KAVO_EVENT_LOG_FILE", events_.c_str(), 1);
  Child peer = Peer({"report-until-off"});
  unsetenv("KAVO_EVENT_LOG_FILE");
  ASSERT_TRUE(peer.AwaitOut("publishing")) << peer.Err();
  Child cut = Nobody({"/usr/bin/truncate", "-s", "0", channel_.path()});
  ASSERT_EQ(cut.Wait(), 0) << cut.Err();
  EXPECT_EQ(peer.Wait(), 0) << "128 + 7 is SIGBUS\n" << peer.Err();
  EXPECT_NE(peer.Out().find("off"), std::string::npos);
  std::vector<std::string> events = Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_NE(events[0].find("was cut short by another process: nothing more is published on it."),
            std::string::npos)
      << events[0];
}

}  // namespace
}  // namespace kavo::test
