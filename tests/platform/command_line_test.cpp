#include "platform/command_line.h"

#include <gtest/gtest.h>

namespace kavo::test {
namespace {

bool Has(std::vector<String> args, StringView name) {
  args.insert(args.begin(), u"/opt/kavo/KavoIntegradorOracle");
  return FindCmdLineSwitch(args, name);
}

TEST(CommandLineSwitch, DashOrSlashAndAnyCase) {
  EXPECT_TRUE(Has({u"/install"}, u"INSTALL"));
  EXPECT_TRUE(Has({u"-INSTALL"}, u"INSTALL"));
  EXPECT_TRUE(Has({u"/Install"}, u"INSTALL"));
  EXPECT_TRUE(Has({u"x", u"-silent"}, u"SILENT"));
}

TEST(CommandLineSwitch, WholeArgumentMustMatch) {
  EXPECT_FALSE(Has({u"/install:x"}, u"INSTALL"));
  EXPECT_FALSE(Has({u"install"}, u"INSTALL"));
  EXPECT_FALSE(Has({u"/installer"}, u"INSTALL"));
  EXPECT_FALSE(Has({u"/uninstall"}, u"INSTALL"));
  EXPECT_FALSE(Has({u"--install"}, u"INSTALL"));
  EXPECT_FALSE(Has({u"/"}, u"INSTALL"));
  EXPECT_FALSE(Has({u""}, u"INSTALL"));
}

TEST(CommandLineSwitch, TheProgramItselfIsNotAnArgument) {
  EXPECT_FALSE(FindCmdLineSwitch(std::vector<String>{u"/install"}, u"INSTALL"));
}

TEST(CommandLine, StoredArguments) {
  const char* argv[] = {"prog", "-UNINSTALL", "/silent"};
  SetCommandLine(3, argv);
  EXPECT_EQ(ParamCount(), 2);
  EXPECT_EQ(ParamStr(1), u"-UNINSTALL");
  EXPECT_EQ(ParamStr(5), u"");
  EXPECT_TRUE(FindCmdLineSwitch(u"uninstall"));
  EXPECT_TRUE(FindCmdLineSwitch(u"SILENT"));
  EXPECT_FALSE(FindCmdLineSwitch(u"INSTALL"));
  SetCommandLine({});
  EXPECT_EQ(ParamCount(), 0);
}

}  // namespace
}  // namespace kavo::test
