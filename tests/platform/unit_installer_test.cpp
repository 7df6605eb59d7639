#include "platform/unit_installer.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "rtl/exceptions.h"
#include "testkit/temp_dir.h"

namespace kavo::test {
namespace {

UnitDescription Kavo(String exe = u"/opt/kavo/KavoIntegradorOracle") {
  UnitDescription u;
  u.name = u"KavoServicoIntegrador";
  u.description = u"KavoIntegradorOracle";
  u.executable = std::move(exe);
  return u;
}

TEST(UnitFile, TextForAnAutomaticService) {
  EXPECT_EQ(UnitFileText(Kavo()),
            "[Unit]\nDescription=KavoIntegradorOracle\n\n"
            "[Service]\nType=notify\nExecStart=/opt/kavo/KavoIntegradorOracle\nRestart=no\n\n"
            "[Install]\nWantedBy=multi-user.target\n");
}

TEST(UnitFile, ManualServiceHasNoInstallSection) {
  UnitDescription u = Kavo();
  u.auto_start = false;
  EXPECT_EQ(UnitFileText(u).find("[Install]"), std::string::npos);
}

TEST(UnitFile, PathsSurviveSystemdSplittingAndExpansion) {
  EXPECT_NE(UnitFileText(Kavo(u"/opt/Kavo Dir/Kavo")).find("ExecStart=\"/opt/Kavo Dir/Kavo\"\n"),
            std::string::npos);
  EXPECT_NE(UnitFileText(Kavo(u"/opt/100%/a$b")).find("ExecStart=/opt/100%%/a$$b\n"),
            std::string::npos);
}

TEST(UnitFile, DependenciesAndAccount) {
  UnitDescription u = Kavo();
  u.dependencies = {u"firebird3.0", u"+SomeGroup"};
  u.user = u"kavo";
  std::string text = UnitFileText(u);
  EXPECT_NE(text.find("Requires=firebird3.0.service\nAfter=firebird3.0.service\n"),
            std::string::npos);
  EXPECT_EQ(text.find("SomeGroup"), std::string::npos);
  EXPECT_NE(text.find("User=kavo\n"), std::string::npos);
}

class UnitDirectoryTest : public ::testing::Test {
 protected:
  TempDir temp_;
  std::string dir_ = temp_.path();
};

TEST_F(UnitDirectoryTest, InstallTwiceAndUninstallTwice) {
  UnitInstaller installer(AsciiToString(dir_));
  installer.Install(Kavo());
  EXPECT_EQ(temp_.Read("KavoServicoIntegrador.service"), UnitFileText(Kavo()));

  try {
    installer.Install(Kavo(u"/elsewhere"));
    FAIL() << "installed twice";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), EEXIST);
    EXPECT_EQ(e.Message(), u"System Error.  Code: 17.\r\nFile exists");
  }
  installer.Uninstall(u"KavoServicoIntegrador");
  EXPECT_NE(access((dir_ + "/KavoServicoIntegrador.service").c_str(), F_OK), 0);
  try {
    installer.Uninstall(u"KavoServicoIntegrador");
    FAIL() << "uninstalled twice";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), ENOENT);
  }
}

TEST_F(UnitDirectoryTest, EnvironmentNamesTheDirectory) {
  setenv("KAVO_UNIT_DIR", dir_.c_str(), 1);
  EXPECT_EQ(UnitDirectory(), AsciiToString(dir_));
  UnitInstaller installer;
  EXPECT_EQ(installer.UnitPath(u"X"), AsciiToString(dir_ + "/X.service"));
  unsetenv("KAVO_UNIT_DIR");
  EXPECT_EQ(UnitDirectory(), u"/etc/systemd/system");
}

TEST_F(UnitDirectoryTest, MissingDirectoryFailsWhenOpened) {
  try {
    UnitInstaller installer(AsciiToString(dir_ + "/missing"));
    FAIL() << "opened a missing directory";
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode(), ENOENT);
  }
}

TEST_F(UnitDirectoryTest, NamesWithASlashAreRefused) {
  UnitInstaller installer(AsciiToString(dir_));
  UnitDescription u = Kavo();
  u.name = u"../escape";
  EXPECT_THROW(installer.Install(u), EOSError);
  EXPECT_THROW(installer.Uninstall(u"../escape"), EOSError);
}

}  // namespace
}  // namespace kavo::test
