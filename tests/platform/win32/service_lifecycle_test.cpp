// The service control manager drives a service built on the platform layer:
// install, start, pause, continue, interrogate, a custom code, stop,
// uninstall, with the status read back after each step.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "testkit/temp_dir.h"

namespace kavo::test {
namespace {

const wchar_t kName[] = L"KavoTestService";

std::wstring HostPath() {
  wchar_t self[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
  return (std::filesystem::path(std::wstring(self, n)).parent_path() /
          L"platform_service_host.exe").wstring();
}

class ServiceLifecycle : public ::testing::Test {
 protected:
  void SetUp() override {
    scm_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    ASSERT_NE(scm_, nullptr) << GetLastError();
    if (SC_HANDLE old = OpenServiceW(scm_, kName, SERVICE_ALL_ACCESS)) {  // a run that died
      SERVICE_STATUS s;
      ControlService(old, SERVICE_CONTROL_STOP, &s);
      DeleteService(old);
      CloseServiceHandle(old);
    }
  }
  void TearDown() override {
    if (service_) {
      SERVICE_STATUS s;
      if (QueryServiceStatus(service_, &s) && s.dwCurrentState != SERVICE_STOPPED)
        ControlService(service_, SERVICE_CONTROL_STOP, &s);
      DeleteService(service_);
      CloseServiceHandle(service_);
    }
    if (scm_) CloseServiceHandle(scm_);
  }

  // The state once it is no longer pending (or after five seconds).
  DWORD Settled() {
    SERVICE_STATUS s{};
    for (int i = 0; i < 100; ++i) {
      if (!QueryServiceStatus(service_, &s)) return 0;
      if (s.dwCurrentState != SERVICE_START_PENDING && s.dwCurrentState != SERVICE_STOP_PENDING &&
          s.dwCurrentState != SERVICE_PAUSE_PENDING && s.dwCurrentState != SERVICE_CONTINUE_PENDING)
        break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return s.dwCurrentState;
  }

  DWORD Control(DWORD code) {
    SERVICE_STATUS s{};
    EXPECT_TRUE(ControlService(service_, code, &s)) << "control " << code << ": " << GetLastError();
    return Settled();
  }

  SC_HANDLE scm_ = nullptr;
  SC_HANDLE service_ = nullptr;
};

TEST_F(ServiceLifecycle, EveryControlReachesTheServiceAndItsStatusComesBack) {
  TempDir dir;
  const std::wstring log = std::filesystem::path(dir.File("controls.txt")).wstring();
  service_ = CreateServiceW(scm_, kName, L"Kavo test service", SERVICE_ALL_ACCESS,
                            SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                            SERVICE_ERROR_NORMAL, HostPath().c_str(), nullptr, nullptr, nullptr,
                            nullptr, nullptr);
  ASSERT_NE(service_, nullptr) << GetLastError();

  const wchar_t* args[] = {log.c_str()};
  ASSERT_TRUE(StartServiceW(service_, 1, args)) << GetLastError();
  ASSERT_EQ(Settled(), static_cast<DWORD>(SERVICE_RUNNING));
  SERVICE_STATUS s{};
  ASSERT_TRUE(QueryServiceStatus(service_, &s));
  EXPECT_EQ(s.dwControlsAccepted,
            static_cast<DWORD>(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE));

  EXPECT_EQ(Control(SERVICE_CONTROL_PAUSE), static_cast<DWORD>(SERVICE_PAUSED));
  EXPECT_EQ(Control(SERVICE_CONTROL_CONTINUE), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(Control(SERVICE_CONTROL_INTERROGATE), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(Control(130), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(Control(SERVICE_CONTROL_STOP), static_cast<DWORD>(SERVICE_STOPPED));

  std::stringstream seen;
  seen << std::ifstream(dir.File("controls.txt")).rdbuf();
  EXPECT_EQ(seen.str(),
            "started KavoTestService\ncontrol 2\ncontrol 3\ncontrol 4\ncontrol 130\n"
            "control 1\nstopped\n");

  ASSERT_TRUE(DeleteService(service_)) << GetLastError();
  CloseServiceHandle(service_);
  service_ = nullptr;
  EXPECT_EQ(OpenServiceW(scm_, kName, SERVICE_QUERY_STATUS), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
}

// Run by hand, not by the service control manager: the dispatcher fails at
// once and says so.
TEST(ServiceDispatcher, FailsOutsideTheServiceControlManager) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + HostPath() + L"\"";
  ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &si, &pi));
  ASSERT_EQ(WaitForSingleObject(pi.hProcess, 10000), static_cast<DWORD>(WAIT_OBJECT_0));
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(code, 2u);
}

}  // namespace
}  // namespace kavo::test
