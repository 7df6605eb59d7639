// Exactly-once delivery (ENTREGA_UNICA=1) as a process: the service killed
// (SIGKILL, from a debugger stopped at a point of a row's sequence) and
// started again; every row must end in TMP_INTEGRACAO exactly once and
// marked "X". The debugger stops the real program at its own functions: no
// test-only branch in the product.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdio.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "ib/ib_limbo.h"
#include "ib/ib_sql.h"
#include "oracle/oracle_error.h"
#include "oracle/query.h"
#include "oracle/session.h"
#include "testkit/integration_run.h"
#include "testkit/temp_dir.h"

namespace kavo::test {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

struct KillPoint {
  const char* name;
  const char* function;  // where the debugger stops the service
  bool after_return;     // at the function's return rather than its entry
  const char* recovery;  // the recovery's log line after the restart, or ""
  int marked;            // rows "X" when the service dies
  bool server = false;   // the database through the server rather than embedded
};

const KillPoint kPoints[] = {
    {"after the insert", "kavo::TExactlyOnceDelivery::PrepareRow", false, "", 0},
    {"after the prepare", "kavo::TIBTransaction::Prepare", true, " Limbo desfeito ", 0},
    {"after the Oracle commit", "kavo::TExactlyOnceDelivery::CommitRow", false,
     " Limbo confirmado ", 1},
    {"after the Firebird commit", "kavo::TExactlyOnceDelivery::CommitRow", true, "", 1},
    // The server finds the dead client's prepared transaction on its own.
    {"after the prepare through the server", "kavo::TIBTransaction::Prepare", true,
     " Limbo desfeito ", 0, true},
    {"after the Oracle commit through the server", "kavo::TExactlyOnceDelivery::CommitRow", false,
     " Limbo confirmado ", 1, true},
};

// Attaches gdb to `pid` and stops it at `function` (at its return with
// `after_return`). `ready` runs once the breakpoint is set (the test then
// gives the service its rows), `stopped` once the service stands there;
// then gdb kills it, or with `resume` lets it go on. False when gdb never
// reached the point.
bool StopAt(pid_t pid, const std::string& function, bool after_return,
            const std::function<void()>& ready, const std::function<void()>& stopped,
            bool resume) {
  TempDir dir;
  const std::string go = dir.path() + "/go";
  std::string command = "gdb -batch -nx -p " + std::to_string(pid) +
                        " -ex 'set pagination off' -ex 'break " + function +
                        "' -ex 'echo KAVO-READY\\n' -ex continue" +
                        (after_return ? " -ex finish" : "") +
                        " -ex 'echo KAVO-STOPPED\\n' -ex 'shell while [ ! -e " + go +
                        " ]; do sleep 0.05; done'" + (resume ? " -ex delete -ex detach" : " -ex kill") +
                        " 2>&1";
  FILE* gdb = popen(command.c_str(), "r");
  if (gdb == nullptr) return false;
  bool reached = false;
  char line[4096];
  while (fgets(line, sizeof line, gdb) != nullptr) {
    std::string text = line;
    if (text.rfind("KAVO-READY", 0) == 0) ready();
    if (text.rfind("KAVO-STOPPED", 0) == 0) {
      reached = true;
      stopped();
      std::ofstream(go) << "go";
    }
  }
  pclose(gdb);
  return reached;
}

bool KillAt(pid_t pid, const KillPoint& point, const std::function<void()>& ready) {
  return StopAt(pid, point.function, point.after_return, ready, [] {}, false);
}

Strings SortedDados(IntegrationRun& run) {
  Strings dados;
  for (const std::string& row : run.StagedRows()) {
    size_t from = row.find('|') + 1;
    dados.push_back(row.substr(from, row.find('|', from) - from));
  }
  std::sort(dados.begin(), dados.end());
  return dados;
}

// What the service writes for a row, by its ROWID as the admin tool prints it.
String LimboDescriptionFor(const std::string& rowid) {
  return u"KavoIntegradorOracle ROWID=" + Utf8ToString(rowid) + u" CODIGO=2 OWNER=test:1";
}

class ExactlyOnce : public ::testing::TestWithParam<KillPoint> {};

TEST_P(ExactlyOnce, AKilledServiceLeavesEveryRowCopiedOnceAfterItsRestart) {
  const KillPoint& point = GetParam();
  IntegrationRun run(point.server ? IntegrationRun::Firebird::kServer
                                  : IntegrationRun::Firebird::kEmbedded);
  const std::string ini = "ENTREGA_UNICA=1\r\n";
  run.Start(700, ini);
  // The rows come once the debugger waits at its breakpoint, so the stop is
  // at the first row whatever the machine's speed.
  ASSERT_TRUE(KillAt(run.Process().Pid(), point, [&] { run.AddPendingRows(1, 3); }))
      << "the service never reached " << point.function;
  EXPECT_EQ(run.Process().Wait(), -SIGKILL);
  EXPECT_EQ(run.Count("status = 'X'"), point.marked);

  run.Start(700, ini);
  const auto end = std::chrono::steady_clock::now() + 60s;
  while (run.Count("status = 'X'") < 3 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(50ms);
  ASSERT_TRUE(run.WaitForCycles(CountPrefix(run.Process().LogLines(), " Processo Encerrado ") + 1,
                                30s));
  EXPECT_EQ(run.Stop(), 0);

  EXPECT_EQ(run.Count("status = 'X'"), 3);
  EXPECT_EQ(SortedDados(run), (Strings{"dados 1", "dados 2", "dados 3"}));
  const Strings log = run.Log();
  const std::string recovery = point.recovery;
  EXPECT_EQ(CountPrefix(log, " Limbo "), recovery.empty() ? 0 : 1);
  if (!recovery.empty()) {
    EXPECT_EQ(CountPrefix(log, recovery + "<DT> = "), 1);
  }
  Connection check(run.FirebirdName());
  check.db->Open();
  EXPECT_TRUE(LimboTransactions(*check.db).empty());
  check.db->Close();
  EXPECT_TRUE(run.Process().Events().empty());
}

INSTANTIATE_TEST_SUITE_P(Points, ExactlyOnce, ::testing::ValuesIn(kPoints),
                         [](const ::testing::TestParamInfo<KillPoint>& info) {
                           std::string name = info.param.name;
                           std::replace(name.begin(), name.end(), ' ', '_');
                           return name;
                         });

// An "X" that Oracle refuses: the cycle ends with the copy in limbo, and the
// next cycle's recovery, reading the row still pending, rolls it back. While
// another session holds the row the recovery leaves the limbo alone. Once
// Oracle takes the "X" every row is in TMP_INTEGRACAO exactly once.
TEST(ExactlyOnceRecovery, ARefusedMarkAndAHeldRowWaitForTheRecoveryToDecide) {
  IntegrationRun run;
  // The stand-in alters no table: made again with a check that refuses the
  // "X" of a row whose TABELA says so.
  run.OracleSql(
      "drop table interface_orcl;\n"
      "create table interface_orcl (ACAO varchar2(1), CODIGO number, DADOS varchar2(500), "
      "DT_H_GRAV date, DT_H_PRI_P date, DT_H_ULT_P date, ERRO varchar2(255), HORA varchar2(8), "
      "ORDEM number, STATUS varchar2(1), TABELA varchar2(20), TIPO varchar2(50), "
      "VERSAO varchar2(10), constraint SEM_X check (STATUS <> 'X' or TABELA <> 'SEM_X'));\n");
  run.AddPendingRows(1, 2);
  run.OracleSql("update interface_orcl set TABELA = 'SEM_X' where CODIGO = 1;\ncommit;\n");
  run.Start(700, "ENTREGA_UNICA=1\r\n");
  auto wait_for_log = [&](const std::string& prefix, int count) {
    const auto end = std::chrono::steady_clock::now() + 60s;
    while (CountPrefix(run.Log(), prefix) < count) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(20ms);
    }
    return true;
  };
  ASSERT_TRUE(wait_for_log(" Limbo desfeito <DT> = ", 1));

  // Each refused "X" ends its cycle with row 1's copy in limbo again; the
  // service stopped after one lets the store go with the limbo left.
  ASSERT_TRUE(run.WaitForEvents(run.Process().Events().size() + 1, 60s));
  EXPECT_EQ(run.Stop(), 0);
  TOracleSession other(nullptr);
  other.SetLogonDatabase(Utf8ToString(run.OracleStore()));
  other.SetLogonUsername(u"v9norvelo");
  other.SetLogonPassword(u"secret");
  other.SetConnected(true);
  TOracleQuery lock(nullptr);
  lock.SetSession(&other);
  lock.SQL().SetText(u"select * from interface_orcl where codigo = 1 for update");
  lock.Execute();
  run.Start(700, "ENTREGA_UNICA=1\r\n");
  ASSERT_TRUE(wait_for_log(" Limbo mantido <DT> = ", 1));
  other.Rollback();
  // The service holds row 1 from its edit to the next cycle's logoff: the
  // "X" is allowed again once the update finds the store free.
  TOracleQuery lift(nullptr);
  lift.SetSession(&other);
  lift.SQL().SetText(u"update interface_orcl set TABELA = 'PEDIDOS' where CODIGO = 1");
  bool lifted = false;
  for (int attempt = 0; attempt < 20 && !lifted; ++attempt) {
    try {
      lift.Execute();
      other.Commit();
      lifted = true;
    } catch (const EOracleError&) {
      other.Rollback();
    }
  }
  ASSERT_TRUE(lifted);
  const auto end = std::chrono::steady_clock::now() + 60s;
  while (run.Count("status = 'X'") < 2 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(50ms);
  EXPECT_EQ(run.Stop(), 0);

  EXPECT_EQ(run.Count("status = 'X'"), 2);
  EXPECT_EQ(SortedDados(run), (Strings{"dados 1", "dados 2"}));
  const Strings log = run.Log();
  EXPECT_EQ(CountPrefix(log, " Limbo confirmado "), 0);
  for (const std::string& line : log) {
    if (line.rfind(" Limbo mantido ", 0) == 0) {
      EXPECT_NE(line.find("ORA-00054"), std::string::npos) << line;
    }
  }
  // Each refused "X" ended its cycle with an error event.
  EXPECT_FALSE(run.Process().Events().empty());
  Connection check(run.FirebirdName());
  check.db->Open();
  EXPECT_TRUE(LimboTransactions(*check.db).empty());
  check.db->Close();
}

// A process that dies after this cycle's recovery can leave a copy of a row
// the cycle is about to take: the row's own check before its prepare rolls
// that copy back (the row is pending and held by this session), so the
// recovery never commits it beside this cycle's copy once the row is "X".
TEST(ExactlyOnceRecovery, ALimboCopyMadeAfterTheRecoveryIsRolledBackBeforeTheRowsPrepare) {
  IntegrationRun run(IntegrationRun::Firebird::kServer);
  run.Start(700, "ENTREGA_UNICA=1\r\n");
  ASSERT_TRUE(StopAt(
      run.Process().Pid(), "kavo::TExactlyOnceDelivery::PrepareRow", false,
      [&] { run.AddPendingRows(1, 2); },
      [&] {
        // The service stands before row 1's prepare; another owner leaves a
        // copy of row 2 in limbo, as a process killed after its prepare does.
        Connection other(run.FirebirdName());
        other.db->Open();
        other.tr->StartTransaction();
        TIBSQL insert(nullptr);
        insert.SetDatabase(other.db.get());
        insert.SQL().SetText(u"insert into TMP_INTEGRACAO (DADOS) values ('dados 2')");
        insert.ExecQuery();
        other.tr->Prepare(LimboDescriptionFor(run.Column("rowid", 2)));
        other.db->Close();
      },
      true));
  const auto end = std::chrono::steady_clock::now() + 60s;
  while (run.Count("status = 'X'") < 2 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(50ms);
  ASSERT_TRUE(run.WaitForCycles(CountPrefix(run.Process().LogLines(), " Processo Encerrado ") + 1,
                                30s));
  EXPECT_EQ(run.Stop(), 0);
  EXPECT_EQ(run.Count("status = 'X'"), 2);
  EXPECT_EQ(SortedDados(run), (Strings{"dados 1", "dados 2"}));
  EXPECT_EQ(CountPrefix(run.Log(), " Limbo desfeito <DT> = "), 1);
  EXPECT_EQ(CountPrefix(run.Log(), " Limbo confirmado "), 0);
  Connection check(run.FirebirdName());
  check.db->Open();
  EXPECT_TRUE(LimboTransactions(*check.db).empty());
  check.db->Close();
}

}  // namespace
}  // namespace kavo::test
