#include "platform/unit_installer.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "rtl/exceptions.h"
#include "rtl/os_text.h"
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
            "[Service]\nType=notify\nExecStart=/opt/kavo/KavoIntegradorOracle\n"
            "Environment=LANG=C.UTF-8\nEnvironment=NLS_LANG=AMERICAN_AMERICA.AL32UTF8\n"
            "Restart=no\n\n"
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
  // systemd expands variables only in the arguments: a "$$" in the program's
  // path would stay two dollars.
  EXPECT_NE(UnitFileText(Kavo(u"/opt/100%/a$b")).find("ExecStart=/opt/100%%/a$b\n"),
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
  // A program systemd can start, in a folder of the given name (bytes).
  std::string Program(const std::string& folder) {
    std::string dir = temp_.File(folder);
    std::filesystem::create_directory(dir);
    std::filesystem::copy_file("/bin/true", dir + "/KavoIntegradorOracle",
                               std::filesystem::copy_options::overwrite_existing);
    return dir + "/KavoIntegradorOracle";
  }
  bool Installed() const { return temp_.Exists("KavoServicoIntegrador.service"); }
  // What systemd itself says of the unit: true when it takes it, or when
  // it is not there to ask.
  bool SystemdTakes() const {
    if (std::system("command -v systemd-analyze >/dev/null 2>&1") != 0) return true;
    std::string command = "systemd-analyze verify '" + temp_.File("KavoServicoIntegrador.service") +
                          "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
  }

  TempDir temp_;
  std::string dir_ = temp_.path();
};

TEST_F(UnitDirectoryTest, InstallTwiceAndUninstallTwice) {
  UnitInstaller installer(AsciiToString(dir_));
  const UnitDescription kavo = Kavo(OsTextToString(Program("bin")));
  installer.Install(kavo);
  EXPECT_EQ(temp_.Read("KavoServicoIntegrador.service"), UnitFileText(kavo));

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

// Folder names the unit can carry: the unit is written, and systemd takes it
// and would start the program where it is.
TEST_F(UnitDirectoryTest, FolderNamesAUnitCanCarryGiveAUnitSystemdTakes) {
  struct Case {
    std::string folder, exec_start;  // ExecStart's value, "<dir>" for the folder's parent
  } cases[] = {
      {"a$HOME", "<dir>/a$HOME/KavoIntegradorOracle"},
      {"100%", "<dir>/100%%/KavoIntegradorOracle"},
      {"with space", "\"<dir>/with space/KavoIntegradorOracle\""},
      {"Integra\xc3\xa7\xc3\xa3o;x(1)", "<dir>/Integra\xc3\xa7\xc3\xa3o;x(1)/KavoIntegradorOracle"},
  };
  UnitInstaller installer(AsciiToString(dir_));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    installer.Install(Kavo(OsTextToString(Program(c.folder))));
    std::string line = c.exec_start;
    line.replace(line.find("<dir>"), 5, dir_);
    EXPECT_NE(temp_.Read("KavoServicoIntegrador.service").find("\nExecStart=" + line + "\n"),
              std::string::npos)
        << temp_.Read("KavoServicoIntegrador.service");
    EXPECT_TRUE(SystemdTakes());
    installer.Uninstall(u"KavoServicoIntegrador");
  }
}

// What no unit can carry is refused with the reason, and nothing is written:
// a line break would let a folder's name add settings of its own.
TEST_F(UnitDirectoryTest, FolderNamesAUnitCannotCarryAreRefusedAndNothingIsWritten) {
  struct Case {
    std::string folder, why;
  } cases[] = {
      {"x\nEnvironment=INJECTED=1\nExecStartPre=/bin/sh -c id",
       "it holds a line break or another control character"},
      {"tab\there", "it holds a line break or another control character"},
      {"latin\xe7", "it is not valid UTF-8"},
      {"quo\"te", "systemd takes no quote or backslash in a program's name"},
      {"single'quote", "systemd takes no quote or backslash in a program's name"},
      {"back\\slash", "systemd takes no quote or backslash in a program's name"},
  };
  UnitInstaller installer(AsciiToString(dir_));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    try {
      installer.Install(Kavo(OsTextToString(dir_ + "/" + c.folder + "/KavoIntegradorOracle")));
      ADD_FAILURE() << "installed";
    } catch (const Exception& e) {
      EXPECT_EQ(e.Message().find(u"The program path \"" + OsTextToString(dir_) + u"/"), 0u)
          << StringToUtf8(e.Message());
      EXPECT_NE(e.Message().find(u"\" cannot be written into a systemd unit: " +
                                 OsTextToString(c.why) + u"."),
                String::npos)
          << StringToUtf8(e.Message());
    }
    EXPECT_FALSE(Installed());
  }
}

// A unit systemd refuses (here: its program does not exist) is not left
// behind as installed.
TEST_F(UnitDirectoryTest, AUnitSystemdRefusesIsRemovedAndTheInstallFails) {
  if (std::system("command -v systemd-analyze >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "no systemd-analyze to ask";
  UnitInstaller installer(AsciiToString(dir_));
  try {
    installer.Install(Kavo(OsTextToString(dir_ + "/missing/KavoIntegradorOracle")));
    ADD_FAILURE() << "installed";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message().find(u"systemd would not use the unit, so it was removed again: "), 0u);
    EXPECT_NE(e.Message().find(u"/missing/KavoIntegradorOracle is not executable"), String::npos)
        << StringToUtf8(e.Message());
  }
  EXPECT_FALSE(Installed());
}

}  // namespace
}  // namespace kavo::test
