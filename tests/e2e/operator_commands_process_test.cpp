// /CHECK and /ONCE as an operator runs them, against the stand-in store and
// an embedded Firebird database: one line per step, the exit code, and
// nothing changed by a check or by a cycle that could not start.
#include <gtest/gtest.h>

#include <sstream>

#include "testkit/integration_run.h"

namespace kavo::test {
namespace {

using Strings = std::vector<std::string>;

Strings Lines(const std::string& text) {
  Strings lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The program's own lines of standard error, without the sanitizers' reports.
Strings ErrorLines(const ServiceProcess& process) {
  Strings lines;
  for (std::string& line : Lines(process.Stderr()))
    if (line.rfind("FAIL ", 0) == 0 || line.rfind("SKIP ", 0) == 0 || line.rfind("OK   ", 0) == 0)
      lines.push_back(std::move(line));
  return lines;
}

bool StartsWith(const std::string& text, const std::string& prefix) {
  return text.rfind(prefix, 0) == 0;
}

// Nothing moved: every row still pending without ERRO, no copy, no log.
void ExpectUntouched(IntegrationRun& run, int rows) {
  EXPECT_EQ(run.Count("status = 'A' and erro is null"), rows);
  EXPECT_TRUE(run.StagedRows().empty());
  EXPECT_FALSE(run.Process().Exists("LogKavoIntegracao.txt"));
}

std::string IniWith(IntegrationRun& run, const std::string& key, const std::string& value) {
  std::string ini = run.Process().ReadFile("KavoIntegradorOracle.ini");
  size_t at = ini.find("\n" + key + "=") + 1;
  return ini.replace(at, ini.find('\r', at) - at, key + "=" + value);
}

TEST(Check, AGoodConfigurationPassesEveryStepAndChangesNothing) {
  IntegrationRun run;
  run.AddPendingRows(1, 3);
  run.WriteIni();
  EXPECT_EQ(run.Process().Run({"/check"}), 0) << run.Process().Stderr();
  EXPECT_EQ(Lines(run.Process().Stdout()),
            (Strings{"OK   configuration: " + run.Process().File("KavoIntegradorOracle.ini"),
                     "OK   Oracle logon: v9norvelo@" + run.OracleStore(),
                     "OK   Oracle table: v9norvelo.\"INTERFACE_ORCL\": 3 pending rows",
                     "OK   Firebird attach: " + StringToUtf8(run.FirebirdName()),
                     "OK   Firebird table: the insert into TMP_INTEGRACAO prepares"}));
  ExpectUntouched(run, 3);
}

TEST(Check, EachBadInputFailsItsStepWithWhatToDo) {
  IntegrationRun run;
  run.AddPendingRows(1, 2);
  const std::string ini_path = run.Process().File("KavoIntegradorOracle.ini");

  // No INI: nothing else can be tried.
  EXPECT_EQ(run.Process().Run({"-CHECK"}), 1);
  EXPECT_EQ(Lines(run.Process().Stdout()),
            (Strings{"FAIL configuration: " + ini_path +
                         ": no such file. Write it beside the executable: section "
                         "[KavoIntegracao] with ORACLE, UU, SS, FIREBIRD and MINUTOS.",
                     "SKIP Oracle logon: needs the configuration",
                     "SKIP Oracle table: needs the configuration",
                     "SKIP Firebird attach: needs the configuration",
                     "SKIP Firebird table: needs the configuration"}));

  run.WriteIni();
  const std::string good = run.Process().ReadFile("KavoIntegradorOracle.ini");
  struct Case {
    std::string key, value, failed, advice, skipped;
  };
  for (const Case& c : {
           Case{"SS", "wrong", "FAIL Oracle logon: v9norvelo@" + run.OracleStore() + ": ",
                "Check ORACLE, UU and SS in the INI", "SKIP Oracle table: needs the Oracle logon"},
           Case{"ORACLE", "/nonexistent/oracle.db", "FAIL Oracle logon: v9norvelo@/nonexistent",
                "Check ORACLE, UU and SS in the INI", "SKIP Oracle table: needs the Oracle logon"},
           Case{"FIREBIRD", "/nonexistent/DADOSKAVO.FDB",
                "FAIL Firebird attach: /nonexistent/DADOSKAVO.FDB: ", "Check FIREBIRD in the INI",
                "SKIP Firebird table: needs the Firebird attach"},
           Case{"FIREBIRD", "127.0.0.1/1:/x.fdb", "FAIL Firebird attach: 127.0.0.1/1:/x.fdb: ",
                "that the server runs", "SKIP Firebird table: needs the Firebird attach"},
       }) {
    SCOPED_TRACE(c.key + "=" + c.value);
    run.Process().SetIni(IniWith(run, c.key, c.value));
    EXPECT_EQ(run.Process().Run({"/CHECK"}), 1);
    Strings out = Lines(run.Process().Stdout());
    ASSERT_EQ(out.size(), 5u) << run.Process().Stdout();
    int failed = 0;
    for (const std::string& line : out) {
      if (StartsWith(line, "FAIL ")) {
        ++failed;
        EXPECT_TRUE(StartsWith(line, c.failed)) << line;
        EXPECT_NE(line.find(c.advice), std::string::npos) << line;
      }
    }
    EXPECT_EQ(failed, 1);
    EXPECT_NE(std::find(out.begin(), out.end(), c.skipped), out.end());
    run.Process().SetIni(good);
  }

  // A key left out is named.
  run.Process().SetIni("[KavoIntegracao]\r\nORACLE=" + run.OracleStore() + "\r\nUU=v9norvelo\r\n");
  EXPECT_EQ(run.Process().Run({"/CHECK"}), 1);
  EXPECT_EQ(Lines(run.Process().Stdout()).at(0),
            "FAIL configuration: " + ini_path +
                ": no value for SS, FIREBIRD in section [KavoIntegracao]. Set them.");

  ExpectUntouched(run, 2);
  // The staging table without a column the stored insert names.
  run.Process().SetIni(good);
  run.FirebirdSql({u"alter table TMP_INTEGRACAO drop VERSAO"});
  EXPECT_EQ(run.Process().Run({"/CHECK"}), 1);
  Strings out = Lines(run.Process().Stdout());
  ASSERT_EQ(out.size(), 5u);
  EXPECT_TRUE(StartsWith(out[4], "FAIL Firebird table: TMP_INTEGRACAO: ")) << out[4];
  EXPECT_NE(out[4].find("VERSAO"), std::string::npos) << out[4];
  EXPECT_EQ(out[4].find('\r'), std::string::npos);
  EXPECT_EQ(run.Count("status = 'A' and erro is null"), 2);
  EXPECT_FALSE(run.Process().Exists("LogKavoIntegracao.txt"));
}

TEST(Check, AnInterfaceTableWithoutAnExpectedColumnFails) {
  IntegrationRun run;
  run.OracleSql(
      "drop table interface_orcl;\n"
      "create table interface_orcl (ACAO varchar2(1), CODIGO number, DADOS varchar2(500), "
      "DT_H_GRAV date, DT_H_PRI_P date, DT_H_ULT_P date, ERRO varchar2(255), ORDEM number, "
      "STATUS varchar2(1), TABELA varchar2(20), TIPO varchar2(50), VERSAO varchar2(10));\n");
  run.WriteIni();
  EXPECT_EQ(run.Process().Run({"/CHECK"}), 1);
  Strings out = Lines(run.Process().Stdout());
  ASSERT_EQ(out.size(), 5u);
  EXPECT_TRUE(StartsWith(out[1], "OK   Oracle logon: ")) << out[1];
  EXPECT_TRUE(StartsWith(out[2], "FAIL Oracle table: v9norvelo.\"INTERFACE_ORCL\": ")) << out[2];
  EXPECT_NE(out[2].find("HORA"), std::string::npos) << out[2];
  EXPECT_FALSE(run.Process().Exists("LogKavoIntegracao.txt"));
}

TEST(Once, RunsOneCycleEchoingItsLogAndEndsWithIt) {
  IntegrationRun run;
  run.AddPendingRows(1, 2);
  run.AddPendingRows(3, 1, "25:00:00");
  run.WriteIni();
  EXPECT_EQ(run.Process().Run({"/once"}), 0) << run.Process().Stderr();
  const std::string ini = "Ini = " + run.Process().File("KavoIntegradorOracle.ini");
  EXPECT_EQ(run.Log(), (Strings{ini, " Iniciado integracao <DT>", " Oracle Aberto <DT>",
                                " Firebird Aberto <DT>", " Nr de Registros para Importar: 3",
                                "Importando: 1 : <DT>", "Importando: 2 : <DT>",
                                "Importando: 3 : <DT>", " Erro ''25:00:00'' is not a valid time",
                                " Processo Encerrado <DT>"}));
  // Standard output carries the very lines of the log.
  Strings log = run.Process().LogLines();
  EXPECT_EQ(Lines(run.Process().Stdout()), log);
  EXPECT_EQ(ErrorLines(run.Process()), Strings{});
  EXPECT_EQ(run.Count("status = 'X'"), 2);
  EXPECT_EQ(run.Column("erro", 3), "''25:00:00'' is not a valid time");
  EXPECT_EQ(run.StagedRows().size(), 2u);

  // A second run appends one more cycle, which finds only the failed row.
  EXPECT_EQ(run.Process().Run({"/ONCE"}), 0);
  EXPECT_EQ(Cycle(run.Log(), 2).at(3), " Nr de Registros para Importar: 1");
  EXPECT_EQ(run.StagedRows().size(), 2u);
}

TEST(Once, ACycleThatCannotStartChangesNothing) {
  IntegrationRun run;
  run.AddPendingRows(1, 2);
  // No INI.
  EXPECT_EQ(run.Process().Run({"/ONCE"}), 1);
  Strings err = ErrorLines(run.Process());
  ASSERT_FALSE(err.empty());
  EXPECT_TRUE(StartsWith(err.at(0), "FAIL configuration: ")) << err.at(0);
  EXPECT_EQ(err.back(), "FAIL cycle: not started; nothing was copied, marked or logged");
  EXPECT_EQ(run.Process().Stdout(), "");
  ExpectUntouched(run, 2);

  run.WriteIni();
  // An unreachable Firebird: the cycle as the timer runs it would write the
  // closed table's error into every row.
  run.Process().SetIni(IniWith(run, "FIREBIRD", "/nonexistent/DADOSKAVO.FDB"));
  EXPECT_EQ(run.Process().Run({"/ONCE"}), 1);
  err = ErrorLines(run.Process());
  EXPECT_NE(std::find_if(err.begin(), err.end(),
                         [](const std::string& l) { return StartsWith(l, "FAIL Firebird attach"); }),
            err.end())
      << run.Process().Stderr();
  ExpectUntouched(run, 2);

  run.WriteIni();
  run.Process().SetIni(IniWith(run, "SS", "wrong"));
  EXPECT_EQ(run.Process().Run({"/ONCE"}), 1);
  EXPECT_TRUE(StartsWith(ErrorLines(run.Process()).at(1), "FAIL Oracle logon: "))
      << run.Process().Stderr();
  ExpectUntouched(run, 2);
}

}  // namespace
}  // namespace kavo::test
