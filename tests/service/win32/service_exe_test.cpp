// KavoIntegradorOracle.exe itself under the system's service control manager
// (Wine's): /INSTALL, /UNINSTALL and /SILENT with their texts and exit codes,
// and the installed service's lifecycle driven with ControlService, each
// status read back. The program runs from a folder with a blank in its name,
// beside its INI and its Firebird client.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "testkit/temp_dir.h"
#include "testkit/win32/run_program.h"

namespace kavo::test {
namespace {

namespace fs = std::filesystem;

const wchar_t kName[] = L"KavoServicoIntegrador";

// The run with CR LF as LF.
ProgramRun RunLf(const fs::path& exe, const std::wstring& args) {
  ProgramRun run = RunProgram(exe, args);
  std::string lf;
  for (char c : run.out)
    if (c != '\r') lf += c;
  run.out = lf;
  return run;
}

class ServiceExe : public ::testing::Test {
 protected:
  void SetUp() override {
    scm_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(scm_, nullptr) << GetLastError();
    RemoveLeftover();
    folder_ = fs::path(dir_.path()) / "Kavo Integrador";
    fs::create_directories(folder_);
    exe_ = folder_ / "KavoIntegradorOracle.exe";
    fs::copy_file(KAVO_EXE, exe_);
    fs::copy_file(KAVO_FBCLIENT, folder_ / "fbclient.dll");
    // An hour between cycles: the lifecycle alone is under test.
    std::ofstream(folder_ / "KavoIntegradorOracle.ini")
        << "[KavoIntegracao]\r\nMINUTOS=60\r\nORACLE=nowhere\r\nUU=u\r\nSS=s\r\n"
           "FIREBIRD=C:\\nowhere.fdb\r\n";
  }
  void TearDown() override {
    RemoveLeftover();
    if (scm_) CloseServiceHandle(scm_);
  }
  void RemoveLeftover() {
    if (SC_HANDLE old = OpenServiceW(scm_, kName, SERVICE_ALL_ACCESS)) {
      SERVICE_STATUS s;
      ControlService(old, SERVICE_CONTROL_STOP, &s);
      for (int i = 0; i < 100 && QueryServiceStatus(old, &s) &&
                      s.dwCurrentState != SERVICE_STOPPED;
           ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      DeleteService(old);
      CloseServiceHandle(old);
    }
  }
  // The status once no longer pending (or after ten seconds).
  SERVICE_STATUS Settled(SC_HANDLE service) {
    SERVICE_STATUS s{};
    for (int i = 0; i < 200; ++i) {
      if (!QueryServiceStatus(service, &s)) break;
      if (s.dwCurrentState != SERVICE_START_PENDING && s.dwCurrentState != SERVICE_STOP_PENDING &&
          s.dwCurrentState != SERVICE_PAUSE_PENDING && s.dwCurrentState != SERVICE_CONTINUE_PENDING)
        break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return s;
  }
  DWORD Control(SC_HANDLE service, DWORD code) {
    SERVICE_STATUS s{};
    EXPECT_TRUE(ControlService(service, code, &s)) << "control " << code << ": " << GetLastError();
    return Settled(service).dwCurrentState;
  }
  std::string Log() {
    std::stringstream s;
    s << std::ifstream(folder_ / "LogKavoIntegracao.txt", std::ios::binary).rdbuf();
    return s.str();
  }

  SC_HANDLE scm_ = nullptr;
  TempDir dir_;
  fs::path folder_, exe_;
};

TEST_F(ServiceExe, InstallsRunsEveryControlAndUninstalls) {
  // Both switches: it installs.
  ProgramRun r = RunLf(exe_, L"-install /UNINSTALL");
  EXPECT_EQ(r.exit_code, 0u);
  EXPECT_EQ(r.out, "Service installed successfully\n");

  SC_HANDLE service = OpenServiceW(scm_, kName, SERVICE_ALL_ACCESS);
  ASSERT_NE(service, nullptr) << GetLastError();
  alignas(QUERY_SERVICE_CONFIGW) BYTE buf[8192];
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buf);
  DWORD needed;
  ASSERT_TRUE(QueryServiceConfigW(service, config, sizeof buf, &needed));
  EXPECT_EQ(config->dwServiceType, 0x110u);
  EXPECT_EQ(config->dwStartType, 2u);
  EXPECT_EQ(config->dwErrorControl, 1u);
  EXPECT_EQ(fs::path(config->lpBinaryPathName), exe_) << "the path as it is, blank and all";
  EXPECT_STREQ(config->lpDisplayName, L"KavoIntegradorOracle");

  // Once more: the system's own error, still exit code 0.
  r = RunLf(exe_, L"/INSTALL");
  EXPECT_EQ(r.exit_code, 0u);
  EXPECT_EQ(r.out.rfind("Service \"KavoIntegradorOracle\" failed to install with error: "
                        "\"System Error.  Code: 1073.\n",
                        0),
            0u)
      << r.out;

  ASSERT_TRUE(StartServiceW(service, 0, nullptr)) << GetLastError();
  SERVICE_STATUS s = Settled(service);
  ASSERT_EQ(s.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING)) << Log();
  EXPECT_EQ(s.dwServiceType, 0x110u);
  EXPECT_EQ(s.dwControlsAccepted, 7u) << "stop, pause and continue, shutdown";
  EXPECT_EQ(s.dwCheckPoint, 0u);
  EXPECT_EQ(s.dwWaitHint, 5000u);
  EXPECT_EQ(Control(service, SERVICE_CONTROL_PAUSE), static_cast<DWORD>(SERVICE_PAUSED));
  EXPECT_EQ(Control(service, SERVICE_CONTROL_INTERROGATE), static_cast<DWORD>(SERVICE_PAUSED));
  EXPECT_EQ(Control(service, SERVICE_CONTROL_CONTINUE), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(Control(service, SERVICE_CONTROL_INTERROGATE), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(Control(service, 200), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(Control(service, SERVICE_CONTROL_STOP), static_cast<DWORD>(SERVICE_STOPPED));
  s = Settled(service);
  EXPECT_EQ(s.dwWin32ExitCode, 0u);
  CloseServiceHandle(service);

  // The start handler's lines, beside the program.
  std::string log = Log();
  EXPECT_EQ(log.rfind(" Iniciado ", 0), 0u) << log;
  EXPECT_NE(log.find("\r\nIni = " + (folder_ / "KavoIntegradorOracle.ini").string() + "\r\n"),
            std::string::npos)
      << log;

  r = RunLf(exe_, L"/uninstall /silent");
  EXPECT_EQ(r.exit_code, 0u);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(OpenServiceW(scm_, kName, SERVICE_QUERY_STATUS), nullptr);
  // Not installed: the failure is shown even when silent.
  r = RunLf(exe_, L"/UNINSTALL /SILENT");
  EXPECT_EQ(r.exit_code, 0u);
  EXPECT_EQ(r.out.rfind("Service \"KavoIntegradorOracle\" failed to uninstall with error: "
                        "\"System Error.  Code: 1060.\n",
                        0),
            0u)
      << r.out;
}

}  // namespace
}  // namespace kavo::test
