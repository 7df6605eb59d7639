// KavoIntegradorOracle.exe under Wine moves pending rows from the OCI
// stand-in (through oci.dll) into the embedded Firebird (through
// fbclient.dll): one cycle in the foreground (/ONCE), with the very log, ERRO
// and "X" of the Linux run, then a second cycle that finds only the failed row.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
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

// Three pending rows (the third with a time of day the service cannot read)
// in the stand-in, an empty staging table, and the program in a folder with a
// blank in its name beside its INI and its Firebird client.
class WindowsCycle : public ::testing::Test {
 protected:
  void SetUp() override {
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
    fdb = dir.File("DADOSKAVO.FDB");
    CreateTestDatabase(fdb);
    folder = fs::path(dir.path()) / "Kavo Integrador";
    fs::create_directories(folder);
    exe = folder / "KavoIntegradorOracle.exe";
    fs::copy_file(KAVO_EXE, exe);
    fs::copy_file(KAVO_FBCLIENT, folder / "fbclient.dll");
    std::ofstream(folder / "KavoIntegradorOracle.ini", std::ios::binary)
        << "[KavoIntegracao]\r\nORACLE=" << oracle.Store()
        << "\r\nUU=v9norvelo\r\nSS=secret\r\nFIREBIRD=" << fdb << "\r\nMINUTOS=1\r\n";
  }
  std::string Log() {
    std::stringstream text;
    text << std::ifstream(folder / "LogKavoIntegracao.txt", std::ios::binary).rdbuf();
    return text.str();
  }
  // Rows 1 and 2 marked "X" and copied once, row 3 pending with its error.
  void ExpectFirstCycleResults() {
    std::string marks;
    ASSERT_EQ(oracle.Sql("v9norvelo/secret",
                         "select codigo, status, erro from interface_orcl order by codigo;\n",
                         &marks),
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
  }

  StandIn oracle;
  DatabaseDir dir;
  std::string fdb;
  fs::path folder, exe;
};

TEST_F(WindowsCycle, OnceMovesPendingRowsThroughBothBridgesAsOnLinux) {
  ProgramRun run = RunProgram(exe, L"/once");
  const std::string& out = run.out;
  ASSERT_EQ(run.exit_code, 0u) << out;
  Strings log = Lines(Log());
  EXPECT_EQ(Lines(out), log) << "standard output carries the very lines of the log";
  // Time stamps as <DT>.
  static const std::regex stamp(R"(\d{1,2}/\d{1,2}/\d{4} \d{1,2}:\d{2}:\d{2}( [AP]M)?$)");
  for (std::string& line : log) line = std::regex_replace(line, stamp, "<DT>");
  EXPECT_EQ(log, (Strings{"Ini = " + (folder / "KavoIntegradorOracle.ini").string(),
                          " Iniciado integracao <DT>", " Oracle Aberto <DT>",
                          " Firebird Aberto <DT>", " Nr de Registros para Importar: 3",
                          "Importando: 1 : <DT>", "Importando: 2 : <DT>", "Importando: 3 : <DT>",
                          " Erro ''25:00:00'' is not a valid time", " Processo Encerrado <DT>"}));

  ExpectFirstCycleResults();

  // A second cycle finds only the failed row and copies nothing.
  run = RunProgram(exe, L"/ONCE");
  ASSERT_EQ(run.exit_code, 0u) << run.out;
  EXPECT_NE(run.out.find(" Nr de Registros para Importar: 1\r\n"), std::string::npos) << run.out;
  EXPECT_EQ(ReadCommitted(Utf8ToString(fdb), u"select NRECNO from TMP_INTEGRACAO").size(), 2u);
}

// The same cycle run by the installed service on its timer: Wine's service
// control manager starts it, its first tick (a minute on) moves the rows, and
// it stops and uninstalls. The service gets none of the test's environment:
// it finds the stand-in's home in the registry, as on a Windows machine.
TEST_F(WindowsCycle, TheInstalledServiceMovesRowsOnItsTimer) {
  wchar_t home[MAX_PATH] = {};
  ASSERT_GT(GetEnvironmentVariableW(L"ORACLE_HOME", home, MAX_PATH), 0u);
  std::wstring dos = home;
  if (!dos.empty() && dos[0] == L'/') dos = L"Z:" + dos;  // the service's drive may be C:
  for (wchar_t& c : dos)
    if (c == L'/') c = L'\\';
  const wchar_t kHomeKey[] = L"SOFTWARE\\ORACLE\\KEY_KavoServiceTest";
  HKEY key;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kHomeKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(key, L"ORACLE_HOME", 0, REG_SZ, reinterpret_cast<const BYTE*>(dos.c_str()),
                 DWORD((dos.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  ASSERT_NE(scm, nullptr);
  SC_HANDLE service = nullptr;
  // Wine's service manager can take tens of seconds on a loaded machine.
  auto settle = [&](DWORD wanted) {
    SERVICE_STATUS st{};
    for (int i = 0; i < 1200 && QueryServiceStatus(service, &st) && st.dwCurrentState != wanted; ++i)
      Sleep(50);
    return st.dwCurrentState;
  };
  // Whatever happens below, nothing of the test stays registered.
  struct Cleanup {
    std::function<void()> run;
    ~Cleanup() { run(); }
  } cleanup{[&] {
    if (service != nullptr) {
      SERVICE_STATUS st;
      ControlService(service, SERVICE_CONTROL_STOP, &st);
      settle(SERVICE_STOPPED);
      DeleteService(service);
      CloseServiceHandle(service);
    }
    CloseServiceHandle(scm);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, kHomeKey);
  }};

  ProgramRun run = RunProgram(exe, L"/INSTALL /SILENT");
  ASSERT_EQ(run.exit_code, 0u) << run.out;
  service = OpenServiceW(scm, L"KavoServicoIntegrador", SERVICE_ALL_ACCESS);
  ASSERT_NE(service, nullptr) << GetLastError();
  ASSERT_TRUE(StartServiceW(service, 0, nullptr)) << GetLastError();
  ASSERT_EQ(settle(SERVICE_RUNNING), DWORD(SERVICE_RUNNING));
  // The first tick comes a minute after the start.
  std::string log;
  for (int waited = 0; waited < 150000 && log.find(" Processo Encerrado") == std::string::npos;
       waited += 500) {
    Sleep(500);
    log = Log();
  }
  ASSERT_NE(log.find(" Processo Encerrado"), std::string::npos) << log;
  SERVICE_STATUS st{};
  ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &st)) << GetLastError();
  ASSERT_EQ(settle(SERVICE_STOPPED), DWORD(SERVICE_STOPPED));
  run = RunProgram(exe, L"/UNINSTALL /SILENT");
  EXPECT_EQ(run.exit_code, 0u) << run.out;
  CloseServiceHandle(service);
  service = nullptr;

  // The cycle's lines as /ONCE writes them, in order, between the service's own.
  size_t at = 0;
  for (const char* line : {" Iniciado integracao ", " Oracle Aberto ", " Firebird Aberto ",
                           " Nr de Registros para Importar: 3\r\n", "Importando: 3 : ",
                           " Erro ''25:00:00'' is not a valid time\r\n", " Processo Encerrado "}) {
    size_t found = log.find(line, at);
    ASSERT_NE(found, std::string::npos) << line << " after offset " << at << " in\n" << log;
    at = found;
  }
  ExpectFirstCycleResults();
}

}  // namespace
}  // namespace kavo::test
