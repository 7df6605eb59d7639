#include "testkit/integration_run.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <regex>
#include <thread>

#include "ib/ib_sql.h"
#include "rtl/code_page.h"

namespace kavo::test {

IntegrationRun::IntegrationRun(Firebird firebird)
    : firebird_path_(firebird_dir_.File("DADOSKAVO.FDB")) {
  firebird_name_ = Utf8ToString(firebird == Firebird::kServer ? "127.0.0.1:" + firebird_path_
                                                               : firebird_path_);
  if (firebird == Firebird::kServer && !EnsureServer())
    throw std::runtime_error("the Firebird server could not be started");
  CreateTestDatabase(firebird_path_);
  {
    // Commits need not wait for the disk here: the cycle commits every row,
    // and a test database survives no crash anyway.
    Connection owner(Utf8ToString(firebird_path_));
    owner.db->Params().Add(u"force_write=0");
    owner.db->Open();
    owner.db->Close();
  }
  std::string ddl =
      "create user v9norvelo identified by secret;\n"
      "create table v9norvelo.\"INTERFACE_ORCL\" (ACAO varchar2(1), CODIGO number, "
      "DADOS varchar2(500), DT_H_GRAV date, DT_H_PRI_P date, DT_H_ULT_P date, "
      "ERRO varchar2(255), HORA varchar2(8), ORDEM number, STATUS varchar2(1), "
      "TABELA varchar2(20), TIPO varchar2(50), VERSAO varchar2(10));\n";
  if (oracle_.Sql("SYSTEM/manager", ddl) != 0)
    throw std::runtime_error("could not create the interface table");

  process_.AddEnv(std::string("ORACLE_HOME=") + getenv("ORACLE_HOME"));
  process_.AddEnv("KAVO_ORATAB=" + process_.File("no-oratab"));
  // The embedded engine keeps ICU's converters to the end, and unloads its
  // plugins (with their thread-local storage) while the process runs; as for
  // the Firebird tests, neither is the program's leak.
  process_.WriteFile("lsan.supp", "leak:libicuuc.so\nleak:libicui18n.so\nleak:_dlerror_run\n");
  process_.AddEnv("LSAN_OPTIONS=use_tls=0:suppressions=" + process_.File("lsan.supp"));
  // Log time stamps as 12/09/26 10:11:12, time of day read with ':'.
  process_.AddEnv("LC_ALL=C.UTF-8");
}

void IntegrationRun::OracleSql(const std::string& script) {
  std::string output;
  ASSERT_EQ(oracle_.Sql("v9norvelo/secret", script, &output), 0) << output;
}

void IntegrationRun::AddPendingRows(int first, int count, const std::string& hora,
                                    const std::string& tipo) {
  std::string script;
  for (int codigo = first; codigo < first + count; ++codigo) {
    std::string n = std::to_string(codigo);
    script += "insert into interface_orcl (ACAO, CODIGO, DADOS, DT_H_GRAV, HORA, ORDEM, STATUS, "
              "TABELA, TIPO, VERSAO) values ('I', " + n + ", 'dados " + n +
              "', to_date('2026-12-08 09:30:00', 'YYYY-MM-DD HH24:MI:SS'), '" + hora + "', " + n +
              ", 'A', 'PEDIDOS', '" + tipo + "', '1.0');\n";
  }
  OracleSql(script + "commit;\n");
}

std::string IntegrationRun::Column(const std::string& column, int codigo) {
  return Value("select " + column + " from interface_orcl where codigo = " +
               std::to_string(codigo));
}

int IntegrationRun::Count(const std::string& where) {
  return std::stoi(Value("select count(*) from interface_orcl where " + where));
}

std::string IntegrationRun::Value(const std::string& select) {
  std::string out;
  EXPECT_EQ(oracle_.Sql("v9norvelo/secret", select + ";\n", &out), 0) << out;
  // A header line, the value (maybe of several lines), the row count last.
  size_t first = out.find('\n');
  size_t last = out.rfind("\n(");
  if (first == std::string::npos || last == std::string::npos || last <= first) return "<none>";
  return out.substr(first + 1, last - first - 1);
}

void IntegrationRun::FirebirdSql(std::initializer_list<const Char*> sql) {
  Connection c(firebird_name_);
  c.db->Open();
  ExecuteCommitted(*c.db, sql);
  c.db->Close();
}

std::vector<std::string> IntegrationRun::StagedRows() {
  Connection c(firebird_name_);
  c.db->Open();
  c.tr->StartTransaction();
  TIBSQL q(nullptr);
  q.SetDatabase(c.db.get());
  q.SetTransaction(c.tr.get());
  q.SQL().SetText(
      u"select coalesce(ACAO, '<null>') || '|' || coalesce(DADOS, '<null>') || '|' || "
      u"coalesce(cast(DATA as varchar(10)), '<null>') || '|' || "
      u"coalesce(substring(cast(HORA as varchar(13)) from 1 for 8), '<null>') || '|' || "
      u"coalesce(TIPO, '<null>') || '|' || coalesce(VERSAO, '<null>') || '|' || "
      u"coalesce(STATUS, '<null>') || '|' || coalesce(ERRO, '<null>') || '|' || "
      u"coalesce(STATUS_INTEGRACAO, '<null>') || '|' || coalesce(ERRO_INTEGRACAO, '<null>') "
      u"|| '|' || coalesce(cast(NRECNO as varchar(20)), '<null>') "
      u"from TMP_INTEGRACAO order by NRECNO");
  std::vector<std::string> rows;
  for (q.ExecQuery(); !q.Eof(); q.Next()) rows.push_back(StringToUtf8(q.Fields(0).AsString()));
  q.Close();
  c.tr->Commit();
  c.db->Close();
  return rows;
}

void IntegrationRun::WriteIni(const std::string& extra_ini) {
  process_.SetIni("[KavoIntegracao]\r\nORACLE=" + oracle_.Store() +
                  "\r\nUU=v9norvelo\r\nSS=secret\r\nFIREBIRD=" + StringToUtf8(firebird_name_) +
                  "\r\nMINUTOS=1\r\n" + extra_ini);
}

void IntegrationRun::Start(int minute_ms, const std::string& extra_ini) {
  WriteIni(extra_ini);
  process_.AddEnv("KAVO_TEST_MINUTE_MS=" + std::to_string(minute_ms));
  process_.Start({}, true);
  if (!process_.WaitForStatus("csRunning")) ADD_FAILURE() << "the service did not start";
}

bool IntegrationRun::WaitForCycles(int cycles, std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (CountPrefix(process_.LogLines(), " Processo Encerrado ") < cycles) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

bool IntegrationRun::WaitForEvents(size_t events, std::chrono::milliseconds timeout) {
  auto end = std::chrono::steady_clock::now() + timeout;
  while (process_.Events().size() < events) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

int IntegrationRun::Stop() {
  process_.Signal(SIGTERM);
  if (!process_.WaitForStatus("csStopped", std::chrono::seconds(60)))
    ADD_FAILURE() << "the service did not report stopped";
  return process_.Wait(std::chrono::seconds(60));
}

std::vector<std::string> IntegrationRun::Log() const {
  static const std::regex dt(R"(\d\d/\d\d/\d\d( \d\d:\d\d:\d\d)?)");
  std::vector<std::string> lines = process_.LogLines();
  for (std::string& line : lines) line = std::regex_replace(line, dt, "<DT>");
  return lines;
}

std::vector<std::string> Cycle(const std::vector<std::string>& log, int n) {
  int seen = 0;
  for (size_t i = 0; i < log.size(); ++i) {
    if (log[i].rfind(" Iniciado integracao ", 0) != 0 || ++seen < n) continue;
    for (size_t j = i; j < log.size(); ++j)
      if (log[j].rfind(" Processo Encerrado ", 0) == 0)
        return std::vector<std::string>(log.begin() + i, log.begin() + j + 1);
    break;
  }
  return {};
}

}  // namespace kavo::test
