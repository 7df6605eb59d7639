// Installing and removing the service from the command line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "testkit/service_process.h"

namespace kavo::test {
namespace {

const std::string kInstalled = "Service installed successfully\n";
const std::string kUnit = "units/KavoServicoIntegrador.service";

class Install : public ::testing::Test {
 protected:
  void SetUp() override { mkdir(p_.File("units").c_str(), 0755); }
  ServiceProcess p_;
};

TEST_F(Install, InstallTwice) {
  EXPECT_EQ(p_.Run({"/INSTALL"}), 0);
  EXPECT_EQ(p_.Stdout(), kInstalled);
  std::string unit = p_.ReadFile(kUnit);
  EXPECT_NE(unit.find("Description=KavoIntegradorOracle\n"), std::string::npos);
  EXPECT_NE(unit.find("Type=notify\n"), std::string::npos);
  EXPECT_NE(unit.find("ExecStart=" + p_.File("KavoIntegradorOracle") + "\n"), std::string::npos);
  EXPECT_NE(unit.find("WantedBy=multi-user.target\n"), std::string::npos);

  EXPECT_EQ(p_.Run({"-install"}), 0);
  EXPECT_EQ(p_.Stdout(),
            "Service \"KavoIntegradorOracle\" failed to install with error: "
            "\"System Error.  Code: 17.\r\nFile exists\"\n");
  EXPECT_EQ(p_.ReadFile(kUnit), unit);
  EXPECT_FALSE(p_.Exists("LogKavoIntegracao.txt"));
}

TEST_F(Install, InstallAndUninstallTogetherInstalls) {
  EXPECT_EQ(p_.Run({"/UNINSTALL", "/INSTALL"}), 0);
  EXPECT_EQ(p_.Stdout(), kInstalled);
  EXPECT_TRUE(p_.Exists(kUnit));
}

TEST_F(Install, SilentUninstallOfAnInstalledService) {
  ASSERT_EQ(p_.Run({"/install", "/silent"}), 0);
  EXPECT_EQ(p_.Stdout(), "");
  ASSERT_TRUE(p_.Exists(kUnit));
  EXPECT_EQ(p_.Run({"/uninstall", "/silent"}), 0);
  EXPECT_EQ(p_.Stdout(), "");
  EXPECT_FALSE(p_.Exists(kUnit));
}

TEST_F(Install, SilentUninstallOfAMissingServiceStillShowsTheFailure) {
  EXPECT_EQ(p_.Run({"/UNINSTALL", "/SILENT"}), 0);
  EXPECT_EQ(p_.Stdout(),
            "Service \"KavoIntegradorOracle\" failed to uninstall with error: "
            "\"System Error.  Code: 2.\r\nNo such file or directory\"\n");
  EXPECT_EQ(p_.Stderr(), "");
}

TEST_F(Install, SwitchesThatDoNotMatchRunTheService) {
  // Neither is INSTALL, so the program tries to run as a service.
  EXPECT_EQ(p_.Run({"/install:x", "install"}), 0);
  EXPECT_FALSE(p_.Exists(kUnit));
  EXPECT_EQ(p_.Events().size(), 1u);
}

TEST_F(Install, UnitDirectoryThatCannotBeOpenedIsAnUnhandledError) {
  p_.AddEnv("KAVO_UNIT_DIR=" + p_.File("missing"));
  EXPECT_EQ(p_.Run({"/INSTALL"}), 1);
  EXPECT_EQ(p_.Stdout(), "");
  EXPECT_EQ(p_.Stderr(),
            "Exception EOSError in module KavoIntegradorOracle at 0000000000000000.\r\n"
            "System Error.  Code: 2.\r\nNo such file or directory.\r\n");
}

// systemd must find the program where it is, whatever the installing
// locale makes of the folder's name.
TEST(InstallFrom, AFolderWithANonAsciiNameUnderTheCLocale) {
  ServiceProcess p("Integra\xc3\xa7\xc3\xa3o");
  mkdir(p.File("units").c_str(), 0755);
  p.AddEnv("LC_ALL=C");
  EXPECT_EQ(p.Run({"/INSTALL"}), 0);
  EXPECT_EQ(p.Stdout(), kInstalled);
  EXPECT_NE(p.ReadFile(kUnit).find("\nExecStart=" + p.File("KavoIntegradorOracle") + "\n"),
            std::string::npos);
}

// A folder's name cannot add lines to the unit: the install is refused, says
// why, and writes nothing.
TEST(InstallFrom, AFolderWhoseNameHoldsALineBreakIsRefused) {
  ServiceProcess p("x\nEnvironment=INJECTED=1\nExecStartPre=/bin/id");
  mkdir(p.File("units").c_str(), 0755);
  EXPECT_EQ(p.Run({"/INSTALL"}), 0);
  EXPECT_EQ(p.Stdout().find("Service \"KavoIntegradorOracle\" failed to install with error: "
                            "\"The program path \""),
            0u)
      << p.Stdout();
  EXPECT_NE(p.Stdout().find("x\\x0AEnvironment=INJECTED=1\\x0AExecStartPre=/bin/id/"
                            "KavoIntegradorOracle\" cannot be written into a systemd unit: it holds "
                            "a line break or another control character.\"\n"),
            std::string::npos)
      << p.Stdout();
  EXPECT_FALSE(p.Exists(kUnit));
}

const std::string kUnknownCodePage =
    "Exception EConvertError in module KavoIntegradorOracle at 0000000000000000.\r\n"
    "Unknown code page \"NO-SUCH-CP\" (KAVO_ANSI_CODEPAGE).\r\n";

TEST_F(Install, UnknownAnsiCodePageIsAnUnhandledErrorAndInstallsNothing) {
  p_.AddEnv("KAVO_ANSI_CODEPAGE=NO-SUCH-CP");
  EXPECT_EQ(p_.Run({"/INSTALL"}), 1);
  EXPECT_EQ(p_.Stdout(), "");
  EXPECT_EQ(p_.Stderr(), kUnknownCodePage);
  EXPECT_FALSE(p_.Exists(kUnit));

  // Nor does it run the service: no report, no log line, no event.
  EXPECT_EQ(p_.Run({}, true), 1);
  EXPECT_EQ(p_.Stderr(), kUnknownCodePage);
  p_.Drain(std::chrono::milliseconds(100));
  EXPECT_TRUE(p_.Messages().empty());
  EXPECT_FALSE(p_.Exists("LogKavoIntegracao.txt"));
  EXPECT_TRUE(p_.Events().empty());
}

}  // namespace
}  // namespace kavo::test
