// The trace hook inside one process: which events become which texts under
// which flags, delivery to monitors on their own thread, and what the hook
// does when nobody watches or the channel is damaged.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "ib/ib_sql_monitor.h"
#include "ib/ib_sql_monitor_hook.h"
#include "platform/application_title.h"
#include "testkit/ib_support.h"
#include "testkit/trace_channel.h"

namespace kavo::test {
namespace {

using namespace std::chrono_literals;

constexpr Char kPrefix[] = u"\r\n[Application: hook-test]\r\n";

struct Record {
  String text;
  TTraceFlag kind;
  std::thread::id thread;
};

// A monitor that keeps what it is told.
struct Watcher {
  explicit Watcher(TTraceFlags flags = kAllTraceFlags) {
    monitor.SetTraceFlags(flags);
    monitor.OnSQLEvent = [this](const String& text, TDateTime, TTraceFlag kind) {
      records.push_back({text, kind, std::this_thread::get_id()});
    };
  }
  // Pumps until a record contains `needle` (true), or 5 s pass.
  bool Await(StringView needle) {
    return PumpMessagesUntil(
        [&] {
          for (const Record& r : records)
            if (r.text.find(needle) != String::npos) return true;
          return false;
        },
        5000);
  }
  std::vector<String> Texts() const {
    std::vector<String> out;
    for (const Record& r : records) out.push_back(r.text.substr(String(kPrefix).size()));
    return out;
  }
  TIBSQLMonitor monitor;
  std::vector<Record> records;
};

class TraceHookTest : public EmbeddedDatabaseTest {
 protected:
  void SetUp() override {
    EmbeddedDatabaseTest::SetUp();
    SetApplicationTitle(u"hook-test");
    SetMonitorHook(&hook_);
  }
  void TearDown() override {
    SetMonitorHook(nullptr);
    SetApplicationTitle(u"");
  }

  // A connection's whole life: insert with parameters, a query read to its
  // end, a statement the server refuses.
  void RunStatements() {
    db().SetName(u"DB");
    tr().SetName(u"TR");
    db().Open();
    tr().StartTransaction();
    TIBSQL insert(nullptr);
    insert.SetName(u"INS");
    insert.SetDatabase(&db());
    insert.SQL().SetText(u"insert into TMP_INTEGRACAO (ACAO, DADOS) values (:ACAO, :DADOS)");
    insert.ParamByName(u"ACAO").SetAsString(u"I");
    insert.ParamByName(u"DADOS").Clear();
    insert.ExecQuery();
    TIBSQL select(nullptr);
    select.SetName(u"SEL");
    select.SetDatabase(&db());
    select.SQL().SetText(u"select ACAO from TMP_INTEGRACAO");
    select.ExecQuery();
    while (select.Next() != nullptr) {
    }
    select.Close();
    TIBSQL broken(nullptr);
    broken.SetDatabase(&db());
    broken.SQL().SetText(u"select * from NO_SUCH_TABLE");
    EXPECT_THROW(broken.ExecQuery(), EIBInterBaseError);
    tr().CommitRetaining();
    tr().Commit();
    db().Close();
  }

  PrivateTraceChannel channel_;
  TIBSQLMonitorHook hook_;
};

TEST_F(TraceHookTest, WithoutTraceFlagsOnlyErrorsAreReported) {
  Watcher w;
  EXPECT_EQ(hook_.GetMonitorCount(), 1);
  RunStatements();
  ASSERT_TRUE(w.Await(u"NO_SUCH_TABLE"));
  hook_.SendMisc(u"end");
  ASSERT_TRUE(w.Await(u"[Misc] end"));
  ASSERT_EQ(w.records.size(), 2u);
  EXPECT_EQ(w.records[0].kind, tfError);
  EXPECT_TRUE(w.Texts()[0].starts_with(u"[Error] -204 335544569 Dynamic SQL Error\r\n"))
      << StringToUtf8(w.Texts()[0]);
  EXPECT_EQ(w.records[1].kind, tfMisc);
}

TEST_F(TraceHookTest, TracedConnectionReportsEveryEventInItsText) {
  db().SetTraceFlags(kAllTraceFlags);
  Watcher w;
  Watcher errors_only(TraceFlag(tfError));
  RunStatements();
  ASSERT_TRUE(w.Await(u"DB: [Disconnect]"));
  const String ins = u"insert into TMP_INTEGRACAO (ACAO, DADOS) values (:ACAO, :DADOS)\r\n";
  const String sel = u"select ACAO from TMP_INTEGRACAO\r\n";
  std::vector<String> texts = w.Texts();
  ASSERT_EQ(texts.size(), 12u);
  EXPECT_EQ(texts[0], u"DB: [Connect]");
  EXPECT_EQ(texts[1], u"TR: [Start transaction]");
  EXPECT_EQ(texts[2], u"INS: [Prepare] " + ins + u"\r\n  Plan: ");
  EXPECT_EQ(texts[3], u"INS: [Execute] " + ins + u"\r\n  ACAO = I\r\n  DADOS = <NULL>");
  EXPECT_EQ(texts[4], u"SEL: [Prepare] " + sel + u"\r\n  Plan: PLAN (TMP_INTEGRACAO NATURAL)");
  EXPECT_EQ(texts[5], u"SEL: [Execute] " + sel);
  EXPECT_EQ(texts[6], u"SEL: [Fetch] " + sel);
  EXPECT_EQ(texts[7], u"SEL: [Fetch] " + sel + u"\r\n  SEOFReached");
  EXPECT_TRUE(texts[8].starts_with(u"[Error] -204 ")) << StringToUtf8(texts[8]);
  EXPECT_EQ(texts[9], u"TR: [Commit retaining (Soft commit)]");
  EXPECT_EQ(texts[10], u"TR: [Commit (Hard commit)]");
  EXPECT_EQ(texts[11], u"DB: [Disconnect]");
  EXPECT_EQ(w.records[0].text, String(kPrefix) + u"DB: [Connect]");
  const TTraceFlag kinds[] = {tfConnect, tfTransact, tfQPrepare, tfQExecute, tfQPrepare,
                              tfQExecute, tfQFetch, tfQFetch, tfError, tfTransact,
                              tfTransact, tfConnect};
  for (size_t i = 0; i < std::size(kinds); ++i) EXPECT_EQ(w.records[i].kind, kinds[i]) << i;
  // Delivered on the thread that owns the monitor.
  for (const Record& r : w.records) EXPECT_EQ(r.thread, std::this_thread::get_id());
  // A monitor's own flags filter what it is given.
  ASSERT_GE(errors_only.records.size(), 1u);
  for (const Record& r : errors_only.records) EXPECT_EQ(r.kind, tfError);
}

TEST_F(TraceHookTest, TheHooksOwnFlagsAndSwitchDecideFirst) {
  db().SetTraceFlags(kAllTraceFlags);
  Watcher w;
  // Statement texts need their flag or tfStmt in both sets.
  hook_.SetTraceFlags(kAllTraceFlags & ~(TraceFlag(tfQPrepare) | TraceFlag(tfStmt) |
                                         TraceFlag(tfError)));
  RunStatements();
  hook_.SendMisc(u"flags");
  ASSERT_TRUE(w.Await(u"[Misc] flags"));
  for (const Record& r : w.records) {
    EXPECT_NE(r.kind, tfQPrepare);
    EXPECT_NE(r.kind, tfError);
  }
  EXPECT_GE(w.records.size(), 10u);
  hook_.SetTraceFlags(kAllTraceFlags);

  hook_.SetEnabled(false);
  hook_.SendError(u"while disabled");
  hook_.SetEnabled(true);
  hook_.SendError(u"enabled again");
  ASSERT_TRUE(w.Await(u"enabled again"));
  for (const Record& r : w.records) EXPECT_EQ(r.text.find(u"while disabled"), String::npos);
}

TEST_F(TraceHookTest, NobodyWatchingMeansNoWriteButTheChannelExists) {
  EXPECT_FALSE(hook_.EventsCreated());
  hook_.SendError(u"unwatched");
  EXPECT_TRUE(hook_.EventsCreated());
  EXPECT_EQ(hook_.QueuedCount(), 0u);
  auto ch = TTraceChannel::Open();
  EXPECT_FALSE(ch->Created());
  EXPECT_EQ(ch->LoadChunk().text, u"");
  EXPECT_EQ(ch->MonitorCount(), 0);
}

// A short POSIX object (on Windows 2048 bytes is the channel's own size: the
// system maps its page whole).
#ifndef _WIN32
TEST_F(TraceHookTest, ADamagedChannelDisablesTheHookSilently) {
  auto damaged = SharedMemory::Create(channel_.name(), 2048, 0600);
  ASSERT_TRUE(damaged);
  hook_.SendError(u"lost");  // never raises into the reporting operation
  EXPECT_FALSE(hook_.GetEnabled());
  EXPECT_FALSE(hook_.EventsCreated());
  try {
    TIBSQLMonitor monitor;
    ADD_FAILURE() << "registered on a damaged channel";
  } catch (const ETraceChannelError& e) {
    EXPECT_EQ(e.Problem(), TTraceChannelProblem::kTooSmall);
  }
}
#endif

class ReleasedMonitor : public TIBSQLMonitor {
 public:
  explicit ReleasedMonitor(bool* gone) : gone_(gone) {}
  ~ReleasedMonitor() override { *gone_ = true; }

 private:
  bool* gone_;
};

TEST_F(TraceHookTest, ReleaseHasTheMonitorDestroyedOnItsOwnThread) {
  bool gone = false;
  auto* monitor = new ReleasedMonitor(&gone);
  EXPECT_EQ(hook_.GetMonitorCount(), 1);
  monitor->Release();
  EXPECT_FALSE(gone);
  EXPECT_TRUE(PumpMessagesUntil([&] { return gone; }, 5000));
  EXPECT_EQ(hook_.GetMonitorCount(), 0);
}

TEST_F(TraceHookTest, AStuckMonitorBoundsTheQueueAndShutdown) {
  auto hook = std::make_unique<TIBSQLMonitorHook>();
  auto ch = TTraceChannel::Open();
  int slot = ch->RegisterMonitor();  // registered and alive, never reading
  for (size_t i = 0; i < TIBSQLMonitorHook::kMaxQueued + 50; ++i)
    hook->SendMisc(u"m" + IntToStr(static_cast<int64_t>(i)));
  EXPECT_LE(hook->QueuedCount(), TIBSQLMonitorHook::kMaxQueued);
  EXPECT_GE(hook->QueuedCount(), TIBSQLMonitorHook::kMaxQueued - 1);
  auto start = std::chrono::steady_clock::now();
  hook.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - start,
            TIBSQLMonitorHook::kShutdownDrain + 1500ms);
  ch->UnregisterMonitor(slot);
}

}  // namespace
}  // namespace kavo::test
