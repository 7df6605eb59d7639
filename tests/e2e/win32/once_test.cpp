// KavoIntegradorOracle.exe under Wine moves pending rows from the OCI
// stand-in (through oci.dll) into the embedded Firebird (through
// fbclient.dll): one cycle in the foreground (/ONCE), with the very log, ERRO
// and "X" of the Linux run, then a second cycle that finds only the failed row.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "testkit/ib_support.h"
#include "testkit/oracle_standin.h"
// After the layers' headers: its macros (WM_QUIT ...) are names there.
#include <windows.h>

#include "testkit/win32/run_program.h"

namespace kavo::test {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

Strings Lines(const std::string& text) {
  Strings lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

TEST(WindowsOnce, MovesPendingRowsThroughBothBridgesAsOnLinux) {
  StandIn oracle;
  ASSERT_EQ(oracle.Sql("SYSTEM/manager",
                       "create user v9norvelo identified by secret;\n"
                       "create table v9norvelo.\"INTERFACE_ORCL\" (ACAO varchar2(1), CODIGO number, "
                       "DADOS varchar2(500), DT_H_GRAV date, DT_H_PRI_P date, DT_H_ULT_P date, "
                       "ERRO varchar2(255), HORA varchar2(8), ORDEM number, STATUS varchar2(1), "
                       "TABELA varchar2(20), TIPO varchar2(50), VERSAO varchar2(10));\n"),
            0);
  std::string rows;
  for (int codigo = 1; codigo <= 3; ++codigo) {
    std::string n = std::to_string(codigo);
    rows += "insert into interface_orcl (ACAO, CODIGO, DADOS, DT_H_GRAV, HORA, ORDEM, STATUS, "
            "TABELA, TIPO, VERSAO) values ('I', " + n + ", 'dados " + n +
            "', to_date('2026-12-08 09:30:00', 'YYYY-MM-DD HH24:MI:SS'), '" +
            (codigo == 3 ? "25:00:00" : "10:11:12") + "', " + n +
            ", 'A', 'PEDIDOS', 'PEDIDO', '1.0');\n";
  }
  ASSERT_EQ(oracle.Sql("v9norvelo/secret", rows + "commit;\n"), 0);

  DatabaseDir dir;
  const std::string fdb = dir.File("DADOSKAVO.FDB");
  CreateTestDatabase(fdb);
  const fs::path folder = fs::path(dir.path()) / "Kavo Integrador";
  fs::create_directories(folder);
  const fs::path exe = folder / "KavoIntegradorOracle.exe";
  fs::copy_file(KAVO_EXE, exe);
  fs::copy_file(KAVO_FBCLIENT, folder / "fbclient.dll");
  std::ofstream(folder / "KavoIntegradorOracle.ini", std::ios::binary)
      << "[KavoIntegracao]\r\nORACLE=" << oracle.Store()
      << "\r\nUU=v9norvelo\r\nSS=secret\r\nFIREBIRD=" << fdb << "\r\nMINUTOS=1\r\n";

  ProgramRun run = RunProgram(exe, L"/once");
  const std::string& out = run.out;
  ASSERT_EQ(run.exit_code, 0u) << out;
  std::stringstream log_text;
  log_text << std::ifstream(folder / "LogKavoIntegracao.txt", std::ios::binary).rdbuf();
  Strings log = Lines(log_text.str());
  EXPECT_EQ(Lines(out), log) << "standard output carries the very lines of the log";
  // Time stamps as <DT>.
  static const std::regex stamp(R"(\d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d{2}:\d{2}( [AP]M)?$)");
  for (std::string& line : log) line = std::regex_replace(line, stamp, "<DT>");
  EXPECT_EQ(log, (Strings{"Ini = " + (folder / "KavoIntegradorOracle.ini").string(),
                          " Iniciado integracao <DT>", " Oracle Aberto <DT>",
                          " Firebird Aberto <DT>", " Nr de Registros para Importar: 3",
                          "Importando: 1 : <DT>", "Importando: 2 : <DT>", "Importando: 3 : <DT>",
                          " Erro ''25:00:00'' is not a valid time", " Processo Encerrado <DT>"}));

  std::string marks;
  ASSERT_EQ(oracle.Sql("v9norvelo/secret",
                       "select codigo, status, erro from interface_orcl order by codigo;\n", &marks),
            0);
  Strings m = Lines(marks);
  ASSERT_GE(m.size(), 4u) << marks;
  EXPECT_EQ(Strings(m.begin() + 1, m.begin() + 4),
            (Strings{"1|X|", "2|X|", "3|A|''25:00:00'' is not a valid time"}));
  std::vector<CommittedRow> staged = ReadCommitted(
      Utf8ToString(fdb), u"select DADOS, STATUS, STATUS_INTEGRACAO, ERRO_INTEGRACAO "
                         u"from TMP_INTEGRACAO order by NRECNO");
  ASSERT_EQ(staged.size(), 2u);
  for (size_t i = 0; i < staged.size(); ++i) {
    EXPECT_EQ(staged[i][u"DADOS"], Utf8ToString("dados " + std::to_string(i + 1)));
    EXPECT_EQ(staged[i][u"STATUS"], String(u"PROCESSAR"));
    EXPECT_FALSE(staged[i][u"STATUS_INTEGRACAO"].has_value());
    EXPECT_FALSE(staged[i][u"ERRO_INTEGRACAO"].has_value());
  }

  // A second cycle finds only the failed row and copies nothing.
  run = RunProgram(exe, L"/ONCE");
  ASSERT_EQ(run.exit_code, 0u) << run.out;
  EXPECT_NE(run.out.find(" Nr de Registros para Importar: 1\r\n"), std::string::npos) << run.out;
  EXPECT_EQ(ReadCommitted(Utf8ToString(fdb), u"select NRECNO from TMP_INTEGRACAO").size(), 2u);
}

}  // namespace
}  // namespace kavo::test
