// Registration through the service control manager: the values it keeps, and
// the platform errors of a service that exists already or does not exist.
#include <gtest/gtest.h>
#include <windows.h>

#include "platform/unit_installer.h"
#include "rtl/exceptions.h"

namespace kavo::test {
namespace {

TEST(ServiceInstaller, RegistersTheGivenValuesAndFailsWithTheSystemsErrors) {
  UnitInstaller manager;
  UnitDescription unit;
  unit.name = u"KavoInstallerTest";
  unit.description = u"Kavo installer test";
  unit.executable = u"C:\\Program Files\\Kavo Test\\KavoIntegradorOracle.exe";
  unit.service_type = 0x110;
  unit.start_type = 3;
  unit.error_control = 1;
  try {
    manager.Uninstall(unit.name);  // a run that died
  } catch (const EOSError&) {
  }
  manager.Install(unit);

  SC_HANDLE scm = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE s = OpenServiceW(scm, L"KavoInstallerTest", SERVICE_QUERY_CONFIG);
  ASSERT_NE(s, nullptr);
  alignas(QUERY_SERVICE_CONFIGW) BYTE buf[8192];
  DWORD needed = 0;
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buf);
  ASSERT_TRUE(QueryServiceConfigW(s, config, sizeof buf, &needed)) << GetLastError();
  EXPECT_EQ(config->dwServiceType, 0x110u);
  EXPECT_EQ(config->dwStartType, 3u);
  EXPECT_EQ(config->dwErrorControl, 1u);
  EXPECT_STREQ(config->lpBinaryPathName,
               L"C:\\Program Files\\Kavo Test\\KavoIntegradorOracle.exe") << "not quoted";
  EXPECT_STREQ(config->lpDisplayName, L"Kavo installer test");
  CloseServiceHandle(s);
  CloseServiceHandle(scm);

  try {
    manager.Install(unit);
    ADD_FAILURE() << "a second install succeeded";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), ERROR_SERVICE_EXISTS);
    EXPECT_EQ(e.Message().rfind(u"System Error.  Code: 1073.\r\n", 0), 0u);
  }
  manager.Uninstall(unit.name);
  try {
    manager.Uninstall(unit.name);
    ADD_FAILURE() << "a second uninstall succeeded";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), ERROR_SERVICE_DOES_NOT_EXIST);
  }
}

}  // namespace
}  // namespace kavo::test
