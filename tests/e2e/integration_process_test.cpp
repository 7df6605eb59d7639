// The service as a process doing its job: pending rows of the interface
// table in the stand-in store go into TMP_INTEGRACAO (embedded and through
// the server), once each, or stay pending with their error and no copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "ib/ib_sql.h"
#include "oracle/query.h"
#include "oracle/session.h"
#include "testkit/child_process.h"
#include "testkit/integration_run.h"
#include "testkit/trace_channel.h"

namespace kavo::test {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

// A staged row as IntegrationRun::StagedRows shows it, without its NRECNO.
std::string Staged(int codigo, const std::string& hora, const std::string& tipo = "PEDIDO") {
  return "I|dados " + std::to_string(codigo) + "|2026-12-08|" + hora + "|" + tipo +
         "|1.0|PROCESSAR|<null>|<null>|<null>";
}

Strings WithoutRecno(Strings rows) {
  for (std::string& r : rows) r = r.substr(0, r.rfind('|'));
  return rows;
}

TEST(Integration, RowsGoIntoAnEmbeddedDatabaseOnceOrKeepTheirError) {
  IntegrationRun run;
  // The staging table refuses this TIPO: a Firebird refusal of one row.
  run.FirebirdSql({u"alter table TMP_INTEGRACAO add constraint TIPO_ACEITO "
                   u"check (TIPO <> 'RECUSADO')"});
  run.AddPendingRows(1, 1, "08:00:01");
  run.AddPendingRows(2, 1, "25:00:00");
  run.AddPendingRows(3, 1, "08:00:03");
  run.AddPendingRows(4, 1, "08:00:04", "RECUSADO");
  run.AddPendingRows(5, 1, "23:59:59");
  run.Start(1500);
  ASSERT_TRUE(run.WaitForCycles(2, 60s));
  EXPECT_EQ(run.Stop(), 0);

  const std::string refused =
      "Operation violates CHECK constraint TIPO_ACEITO on view or table TMP_INTEGRACAO";
  Strings log = run.Log();
  std::string ini = "Ini = " + run.Process().File("KavoIntegradorOracle.ini");
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(Strings(log.begin(), log.begin() + 5),
            (Strings{" Iniciado <DT>", ini, ini, ini, " Iniciado integracao <DT>"}));
  EXPECT_EQ(Cycle(log, 1),
            (Strings{" Iniciado integracao <DT>", " Oracle Aberto <DT>", " Firebird Aberto <DT>",
                     " Nr de Registros para Importar: 5", "Importando: 1 : <DT>",
                     "Importando: 2 : <DT>", " Erro ''25:00:00'' is not a valid time",
                     "Importando: 3 : <DT>", "Importando: 4 : <DT>", " Erro " + refused,
                     "At trigger 'CHECK_1'", "Importando: 5 : <DT>",
                     " Processo Encerrado <DT>"}));
  // The next cycle takes the two failed rows again, and only them.
  EXPECT_EQ(Cycle(log, 2),
            (Strings{" Iniciado integracao <DT>", " Oracle Aberto <DT>", " Firebird Aberto <DT>",
                     " Nr de Registros para Importar: 2", "Importando: 2 : <DT>",
                     " Erro ''25:00:00'' is not a valid time", "Importando: 4 : <DT>",
                     " Erro " + refused, "At trigger 'CHECK_1'", " Processo Encerrado <DT>"}));

  for (int codigo : {1, 3, 5}) {
    EXPECT_EQ(run.Column("status", codigo), "X") << codigo;
    EXPECT_EQ(run.Column("erro", codigo), "") << codigo;
  }
  EXPECT_EQ(run.Column("status", 2), "A");
  EXPECT_EQ(run.Column("erro", 2), "''25:00:00'' is not a valid time");
  EXPECT_EQ(run.Column("status", 4), "A");
  // The session writes a line break as Oracle keeps it (ConvertCRLF).
  EXPECT_EQ(run.Column("erro", 4), refused + "\nAt trigger 'CHECK_1'");
  EXPECT_EQ(WithoutRecno(run.StagedRows()),
            (Strings{Staged(1, "08:00:01"), Staged(3, "08:00:03"), Staged(5, "23:59:59")}));
  EXPECT_TRUE(run.Process().Events().empty());
}

TEST(Integration, ThroughTheServerARowLockedByAnotherSessionWaitsForTheNextCycle) {
  IntegrationRun run(IntegrationRun::Firebird::kServer);
  run.FirebirdSql({u"create unique index TMP_INTEGRACAO_DADOS on TMP_INTEGRACAO (DADOS)"});
  run.AddPendingRows(1, 3);
  // Another session holds the key of row 2 in a transaction it has not ended.
  Connection other(run.FirebirdName());
  other.db->Open();
  other.tr->StartTransaction();
  TIBSQL hold(nullptr);
  hold.SetDatabase(other.db.get());
  hold.SetTransaction(other.tr.get());
  hold.SQL().SetText(u"insert into TMP_INTEGRACAO (DADOS, STATUS) values ('dados 2', 'OUTRA')");
  hold.ExecQuery();

  run.Start(1000);
  ASSERT_TRUE(run.WaitForCycles(1, 60s));
  EXPECT_EQ(run.Column("status", 1), "X");
  EXPECT_EQ(run.Column("status", 2), "A");
  EXPECT_EQ(run.Column("erro", 2).rfind("attempt to store duplicate value (visible to active "
                                        "transactions) in unique index \"TMP_INTEGRACAO_DADOS\"",
                                        0),
            0u)
      << run.Column("erro", 2);
  EXPECT_EQ(run.Column("status", 3), "X");

  other.tr->Rollback();
  // On a loaded machine more cycles may have met the lock before the
  // rollback, and one may be under way: the second to end from now began
  // after it.
  const Strings before = run.Log();
  const auto ended = std::count_if(before.begin(), before.end(), [](const std::string& l) {
    return l.rfind(" Processo Encerrado ", 0) == 0;
  });
  ASSERT_TRUE(run.WaitForCycles(static_cast<int>(ended) + 2, 60s));
  EXPECT_EQ(run.Stop(), 0);
  EXPECT_EQ(run.Count("status = 'X'"), 3);
  EXPECT_EQ(WithoutRecno(run.StagedRows()),
            (Strings{Staged(1, "10:11:12"), Staged(3, "10:11:12"), Staged(2, "10:11:12")}));
  // The cycle that copied row 2, the last to try it, had it as its only
  // pending row, and no error.
  const Strings log = run.Log();
  Strings copied;
  for (int n = 2; !Cycle(log, n).empty(); ++n) {
    const Strings cycle = Cycle(log, n);
    if (std::find(cycle.begin(), cycle.end(), "Importando: 2 : <DT>") != cycle.end()) copied = cycle;
  }
  ASSERT_GE(copied.size(), 5u);
  EXPECT_EQ(copied[3], " Nr de Registros para Importar: 1");
  EXPECT_EQ(copied[4], "Importando: 2 : <DT>");
  EXPECT_EQ(std::count_if(copied.begin(), copied.end(),
                          [](const std::string& l) { return l.rfind(" Erro", 0) == 0; }),
            0);
  EXPECT_TRUE(run.Process().Events().empty());
}

// A failure the cycle cannot turn into ERRO: the Oracle row is locked by
// another session, so neither its edit nor the handler's gets it. The cycle
// ends with an error event before the row's copy; the row stays pending
// without ERRO and a later cycle copies it, once.
TEST(Integration, AnOracleRowLockedByAnotherSessionEndsTheCycleBeforeItsCopy) {
  IntegrationRun run;
  run.AddPendingRows(1, 2);
  TOracleSession other(nullptr);
  other.SetLogonDatabase(Utf8ToString(run.OracleStore()));
  other.SetLogonUsername(u"v9norvelo");
  other.SetLogonPassword(u"secret");
  other.SetConnected(true);
  TOracleQuery lock(nullptr);
  lock.SetSession(&other);
  lock.SQL().SetText(u"select * from interface_orcl where codigo = 1 for update");
  lock.Execute();

  run.Start(1000);
  ASSERT_TRUE(run.WaitForEvents(1, 60s));
  other.Rollback();
  ASSERT_TRUE(run.WaitForCycles(1, 60s));
  EXPECT_EQ(run.Stop(), 0);

  Strings log = run.Log();
  Strings events = run.Process().Events();
  ASSERT_GE(events.size(), 1u);
  EXPECT_EQ(events[0],
            "error\tKavoIntegradorOracle\t0\t0\tOracleDataSet: Record is locked by another user");
  // The first cycle stopped at row 1's lock, before its copy and before row 2.
  size_t first = std::find(log.begin(), log.end(), "Importando: 1 : <DT>") - log.begin();
  ASSERT_LT(first + 1, log.size());
  EXPECT_EQ(log[first + 1].rfind("Ini = ", 0), 0u) << log[first + 1];
  // The next cycle took both rows, each copied once.
  EXPECT_EQ(run.Count("status = 'X'"), 2);
  EXPECT_EQ(run.Column("erro", 1), "");
  EXPECT_EQ(WithoutRecno(run.StagedRows()),
            (Strings{Staged(1, "10:11:12"), Staged(2, "10:11:12")}));
}

// An operator watches the running service with the monitor program: its
// Firebird errors always, its statements when the run asks for them.
TEST(Integration, TheMonitorShowsTheServicesErrorsAndTheStatementsAskedForTheRun) {
  PrivateTraceChannel channel;  // the service and the monitor inherit it
  DatabaseDir dir;
  Child monitor({SQLMONITOR, "--json"}, dir.path());
  ASSERT_TRUE(monitor.AwaitErr("watching")) << monitor.Err();
  const std::string refused =
      "Operation violates CHECK constraint TIPO_ACEITO on view or table TMP_INTEGRACAO";
  auto run_with = [&](const char* trace_flags, const std::string& wait_for) {
    IntegrationRun run;
    run.FirebirdSql({u"alter table TMP_INTEGRACAO add constraint TIPO_ACEITO "
                     u"check (TIPO <> 'RECUSADO')"});
    run.AddPendingRows(1, 1, "08:00:01", "RECUSADO");
    run.AddPendingRows(2, 1, "08:00:02");
    if (trace_flags) run.Process().AddEnv(std::string("KAVO_TRACE_FLAGS=") + trace_flags);
    run.Start(1000);
    EXPECT_TRUE(run.WaitForCycles(1, 60s));
    EXPECT_TRUE(monitor.AwaitOut(wait_for)) << monitor.Out();
    EXPECT_EQ(run.Stop(), 0);
    EXPECT_EQ(run.Column("status", 2), "X");
  };

  // The stored settings: the refusal, and nothing of the statements.
  run_with(nullptr, refused);
  std::string out = monitor.Out();
  EXPECT_NE(out.find("{\"time\":\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"kind\":\"error\",\"text\":\"\\r\\n[Application: KavoIntegradorOracle]"),
            std::string::npos)
      << out;
  for (const char* kind : {"execute", "prepare", "connect", "transact"})
    EXPECT_EQ(out.find(std::string("\"kind\":\"") + kind + "\""), std::string::npos) << kind;

  const size_t refusals = Count(out, refused);
  EXPECT_GE(refusals, 1u);

  // Asked for: each row's insert with its values, the attach and the commits.
  run_with("execute,connect,transact", "dados 2");
  out = monitor.Out();
  EXPECT_GT(Count(out, refused), refusals) << out;
  for (const char* kind : {"execute", "connect", "transact"})
    EXPECT_NE(out.find(std::string("\"kind\":\"") + kind + "\""), std::string::npos) << kind;
  EXPECT_EQ(Count(out, "[Execute] insert into TMP_INTEGRACAO"), 2u) << out;
  EXPECT_EQ(out.find("\"kind\":\"prepare\""), std::string::npos);

  monitor.Signal(SIGINT);
  EXPECT_EQ(monitor.Wait(), 0);
}

TEST(Integration, TwoThousandFiveHundredRowsTakeThreeCycles) {
  IntegrationRun run;
  run.AddPendingRows(1, 2500);
  run.Start(200);
  ASSERT_TRUE(run.WaitForCycles(3, 240s));
  EXPECT_EQ(run.Stop(), 0);

  Strings log = run.Log();
  Strings counts;
  for (const std::string& line : log)
    if (line.rfind(" Nr de Registros para Importar: ", 0) == 0) counts.push_back(line.substr(32));
  ASSERT_GE(counts.size(), 3u);
  EXPECT_EQ(Strings(counts.begin(), counts.begin() + 3), (Strings{"999", "999", "502"}));
  for (size_t i = 3; i < counts.size(); ++i) EXPECT_EQ(counts[i], "0");
  EXPECT_EQ(CountPrefix(log, "Importando: "), 2500);
  EXPECT_EQ(CountPrefix(log, " Erro"), 0);
  EXPECT_EQ(run.Count("status = 'X'"), 2500);
  // One copy of each row.
  Strings staged = run.StagedRows();
  EXPECT_EQ(staged.size(), 2500u);
  std::set<std::string> dados;
  for (const std::string& row : staged) dados.insert(row.substr(2, row.find('|', 2) - 2));
  EXPECT_EQ(dados.size(), 2500u);
  EXPECT_TRUE(dados.count("dados 1") && dados.count("dados 2500"));
  EXPECT_TRUE(run.Process().Events().empty());
}

}  // namespace
}  // namespace kavo::test
