// The other process of the trace channel tests: a writer, a SQL client or a
// monitor that misbehaves on request. It uses the channel named by
// KAVO_SQLMONITOR_SUFFIX, like everything the tests start.
//
//   trace_peer report N LEN          N error reports of LEN characters each
//   trace_peer create DBPATH         a database with the staging table
//   trace_peer sql DBPATH all|none   a connection's life with those TraceFlags
//   trace_peer hold-lock             takes the write lock and waits to be killed
//   trace_peer hang-in-read          registers as a monitor and stops inside a read
//   trace_peer report-until-off      reports errors until the hook turns itself off
//                                    (exit 0) or for 10 s (exit 3)
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "ib/ib_sql.h"
#include "ib/ib_trace_channel.h"
#include "ib/ib_trace_hook.h"
#include "ib/ib_trace_reader.h"
#include "platform/application_title.h"
#include "testkit/ib_support.h"

namespace kavo::test {
namespace {

void Say(const char* what) {
  std::printf("%s\n", what);
  std::fflush(stdout);
}

int Report(int count, int length) {
  for (int i = 0; i < count; ++i) {
    std::string text = "record " + std::to_string(i) + " ";
    text.resize(static_cast<size_t>(std::max<int>(length, static_cast<int>(text.size()))), 'x');
    ReportError(Utf8ToString(text));
  }
  return 0;
}

int Sql(const std::string& path, bool traced) {
  Connection conn(Utf8ToString(path));
  conn.db->SetName(u"PeerDB");
  conn.tr->SetName(u"PeerTR");
  if (traced) conn.db->SetTraceFlags(kAllTraceFlags);
  conn.db->Open();
  conn.tr->StartTransaction();
  {
    TIBSQL insert(nullptr);
    insert.SetName(u"PeerInsert");
    insert.SetDatabase(conn.db.get());
    insert.SQL().SetText(u"insert into TMP_INTEGRACAO (ACAO, DADOS) values (:ACAO, :DADOS)");
    insert.ParamByName(u"ACAO").SetAsString(u"I");
    insert.ParamByName(u"DADOS").Clear();
    insert.ExecQuery();
    TIBSQL select(nullptr);
    select.SetName(u"PeerSelect");
    select.SetDatabase(conn.db.get());
    select.SQL().SetText(u"select ACAO from TMP_INTEGRACAO");
    select.ExecQuery();
    while (select.Next() != nullptr) {
    }
    select.Close();
    TIBSQL broken(nullptr);
    broken.SetDatabase(conn.db.get());
    broken.SQL().SetText(u"select * from NO_SUCH_TABLE");
    try {
      broken.ExecQuery();
    } catch (const EIBError&) {
    }
  }
  conn.tr->Commit();
  conn.db->Close();
  return 0;
}

int HoldLock() {
  auto channel = TTraceChannel::Open();
  RobustMutex lock = channel->WriteLock();
  if (lock.Lock(std::chrono::seconds(10)) == RobustMutex::Result::kTimedOut) return 1;
  Say("locked");
  for (;;) pause();
}

int HangInRead() {
  auto channel = TTraceChannel::Open();
  TTraceReader reader(*channel);
  reader.before_copy = [] {
    Say("in read");
    for (;;) pause();
  };
  Say("registered");
  std::atomic<bool> stop{false};
  TTraceChunk chunk;
  reader.Read(chunk, stop);
  return 1;
}

int ReportUntilOff() {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (int i = 0; std::chrono::steady_clock::now() < until; ++i) {
    ReportError(u"record " + IntToStr(i));
    if (!MonitorHook()->GetEnabled()) {
      Say("off");
      return 0;
    }
    if (i == 0) Say("publishing");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return 3;
}

}  // namespace
}  // namespace kavo::test

int main(int argc, char** argv) {
  using namespace kavo::test;
  kavo::SetApplicationTitle(u"trace-peer");
  std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "report" && argc == 4) return Report(std::atoi(argv[2]), std::atoi(argv[3]));
  if (mode == "create" && argc == 3) {
    CreateTestDatabase(argv[2]);
    return 0;
  }
  if (mode == "sql" && argc == 4) return Sql(argv[2], std::strcmp(argv[3], "all") == 0);
  if (mode == "hold-lock") return HoldLock();
  if (mode == "hang-in-read") return HangInRead();
  if (mode == "report-until-off") return ReportUntilOff();
  std::fprintf(stderr,
               "usage: trace_peer report N LEN | create DBPATH | sql DBPATH all|none | "
               "hold-lock | hang-in-read\n");
  return 64;
}
