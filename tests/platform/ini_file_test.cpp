#include "platform/ini_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include "rtl/code_page.h"
#include "testkit/temp_dir.h"

namespace kavo::test {
namespace {

String Read(StringView content, StringView section, StringView key, StringView def = u"-") {
  return IniFile::ReadFromText(content, section, key, def);
}

TEST(IniFileText, SectionAndKeyMatchWithoutRegardToCase) {
  String ini = u"[kavointegracao]\r\noracle=ORCL\r\n";
  EXPECT_EQ(Read(ini, u"KavoIntegracao", u"ORACLE"), u"ORCL");
  EXPECT_EQ(Read(ini, u"KAVOINTEGRACAO", u"Oracle"), u"ORCL");
}

TEST(IniFileText, BlanksAroundNamesAndValueAreRemoved) {
  String ini = u"  [ S ]  \n  key   =   some value  \t\n";
  EXPECT_EQ(Read(ini, u"S", u"key"), u"some value");
}

TEST(IniFileText, OnePairOfEnclosingQuotesIsRemoved) {
  EXPECT_EQ(Read(u"[S]\nk=\"quoted\"\n", u"S", u"k"), u"quoted");
  EXPECT_EQ(Read(u"[S]\nk='single'\n", u"S", u"k"), u"single");
  EXPECT_EQ(Read(u"[S]\nk=\"\"twice\"\"\n", u"S", u"k"), u"\"twice\"");
  EXPECT_EQ(Read(u"[S]\nk=  \" padded \"  \n", u"S", u"k"), u" padded ");
  // Quotes that do not enclose the value stay.
  EXPECT_EQ(Read(u"[S]\nk=\"open\n", u"S", u"k"), u"\"open");
  EXPECT_EQ(Read(u"[S]\nk=\"mixed'\n", u"S", u"k"), u"\"mixed'");
  EXPECT_EQ(Read(u"[S]\nk=\"\n", u"S", u"k"), u"\"");
}

TEST(IniFileText, ValueIsCutTo2047Characters) {
  String ini = u"[S]\nk=" + String(3000, u'x') + u"\n";
  EXPECT_EQ(Read(ini, u"S", u"k").size(), 2047u);
  String exact = u"[S]\nk=" + String(2047, u'y') + u"\n";
  EXPECT_EQ(Read(exact, u"S", u"k"), String(2047, u'y'));
}

TEST(IniFileText, MissingSectionOrKeyGivesTheDefault) {
  String ini = u"[Other]\nk=1\n[S]\nj=2\n";
  EXPECT_EQ(Read(ini, u"Missing", u"k", u"def"), u"def");
  EXPECT_EQ(Read(ini, u"S", u"k", u"def"), u"def");  // k lives in another section
  EXPECT_EQ(Read(u"", u"S", u"k", u""), u"");
  EXPECT_EQ(Read(u"k=outside\n[S]\n", u"S", u"k", u"def"), u"def");
}

TEST(IniFileText, EmptyValueIsNotTheDefault) {
  EXPECT_EQ(Read(u"[S]\nk=\n", u"S", u"k", u"def"), u"");
}

TEST(IniFileText, CommentsDuplicatesAndEqualsSigns) {
  String ini = u"; comment\n[S]\n#k=hidden\n;k=hidden\nk=first\nk=second\nurl=a=b\n[S]\nk=third\n";
  EXPECT_EQ(Read(ini, u"S", u"k"), u"first");
  EXPECT_EQ(Read(ini, u"S", u"url"), u"a=b");
}

TEST(IniFileText, KeyFoundInARepeatedSection) {
  EXPECT_EQ(Read(u"[S]\na=1\n[T]\nb=2\n[s]\nb=3\n", u"S", u"b"), u"3");
}

TEST(IniFileText, LineWithoutEqualsSignIsIgnored) {
  EXPECT_EQ(Read(u"[S]\nk\nk=v\n", u"S", u"k"), u"v");
}

TEST(IniFileText, AnyLineEndEndsALine) {
  for (StringView eol : {u"\r\n", u"\n", u"\r"}) {
    String ini = u"[S]" + String(eol) + u"k=v" + String(eol) + u"j=w" + String(eol);
    EXPECT_EQ(Read(ini, u"S", u"k"), u"v");
    EXPECT_EQ(Read(ini, u"S", u"j"), u"w");
  }
  // Mixed, and a bare CR inside a pair of line ends.
  String mixed = u"[S]\r\na=1\rb=2\nc=3\r\r\nd=4";
  EXPECT_EQ(Read(mixed, u"S", u"b"), u"2");
  EXPECT_EQ(Read(mixed, u"S", u"c"), u"3");
  EXPECT_EQ(Read(mixed, u"S", u"d"), u"4");
}

class IniFileOnDisk : public ::testing::Test {
 protected:
  void Write(const std::string& bytes) { dir_.Write("test.ini", bytes); }

  TempDir dir_;
  std::string path_ = dir_.File("test.ini");
};

TEST_F(IniFileOnDisk, MissingFileGivesTheDefaultAndOpeningNeverFails) {
  IniFile ini(AsciiToString(path_));
  EXPECT_EQ(ini.ReadString(u"S", u"k", u"def"), u"def");
}

TEST_F(IniFileOnDisk, EachReadSeesTheFileAsItIsNow) {
  IniFile ini(AsciiToString(path_));
  Write("[S]\r\nk=1\r\n");
  EXPECT_EQ(ini.ReadString(u"S", u"k", u""), u"1");
  Write("[S]\r\nk=2\r\n");
  EXPECT_EQ(ini.ReadString(u"S", u"k", u""), u"2");
}

TEST_F(IniFileOnDisk, AnsiAndUtf8WithByteOrderMark) {
  SetAnsiCodePage("CP1252");
  Write("[S]\r\nk=S\xE3o Paulo\r\n");
  EXPECT_EQ(IniFile(AsciiToString(path_)).ReadString(u"S", u"k", u""), u"S\u00E3o Paulo");
  Write("\xEF\xBB\xBF[S]\r\nk=S\xC3\xA3o Paulo\r\n");
  EXPECT_EQ(IniFile(AsciiToString(path_)).ReadString(u"S", u"k", u""), u"S\u00E3o Paulo");
}

// What a Windows editor saves as "Unicode": UTF-16 with its byte-order mark.
TEST_F(IniFileOnDisk, Utf16WithByteOrderMark) {
  SetAnsiCodePage("CP1252");
  std::u16string text = u"[S]\r\nk=S\u00E3o Paulo \U0001F600\rj=\u4E2D\r\n";
  std::string le = "\xFF\xFE", be = "\xFE\xFF";
  for (Char c : text) {
    le += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    be += {static_cast<char>(c >> 8), static_cast<char>(c & 0xFF)};
  }
  for (const std::string& bytes : {le, be}) {
    Write(bytes);
    IniFile ini(AsciiToString(path_));
    EXPECT_EQ(ini.ReadString(u"S", u"k", u""), u"S\u00E3o Paulo \U0001F600");
    EXPECT_EQ(ini.ReadString(u"S", u"j", u""), u"\u4E2D");
  }
  // A last odd byte belongs to no character.
  Write(le + "x");
  EXPECT_EQ(IniFile(AsciiToString(path_)).ReadString(u"S", u"j", u""), u"\u4E2D");
}

// Nothing at the INI's name may stall the reader or fill its memory: each of
// these reads as no file, at once. The service reads its INI before every
// cycle, and a stop waits for that read.
TEST_F(IniFileOnDisk, AnythingButABoundedRegularFileGivesTheDefaults) {
  const std::string over_limit =
      "[S]\nk=found\n" + std::string(IniFile::kMaxFileSize, ';');
  struct Case {
    const char* what;
    std::function<void()> make;
  } cases[] = {
      {"directory", [&] { ASSERT_TRUE(std::filesystem::create_directory(path_)); }},
      {"larger than the limit", [&] { Write(over_limit); }},
#ifndef _WIN32
      {"link to /dev/zero", [&] { ASSERT_EQ(symlink("/dev/zero", path_.c_str()), 0); }},
      {"fifo without a writer", [&] { ASSERT_EQ(mkfifo(path_.c_str(), 0644), 0); }},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(path_);
    c.make();
    IniFile ini(AsciiToString(path_));
    ini.Load();
    EXPECT_EQ(ini.ReadString(u"S", u"k", u"def"), u"def");
  }
  std::filesystem::remove_all(path_);
  Write(over_limit.substr(0, IniFile::kMaxFileSize));  // at the limit: read
  EXPECT_EQ(IniFile(AsciiToString(path_)).ReadString(u"S", u"k", u"def"), u"found");
}

TEST_F(IniFileOnDisk, ALoadedFileIsReadOnceForAllItsKeys) {
  Write("[S]\r\nk=1\r\nj=2\r\n");
  IniFile ini(AsciiToString(path_));
  ini.Load();
  Write("[S]\r\nk=changed\r\n");
  EXPECT_EQ(ini.ReadString(u"S", u"k", u""), u"1");
  EXPECT_EQ(ini.ReadString(u"S", u"j", u""), u"2");
}

}  // namespace
}  // namespace kavo::test
