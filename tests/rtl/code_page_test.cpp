#include "rtl/code_page.h"

#include <gtest/gtest.h>

#include "rtl/exceptions.h"

namespace kavo::test {
namespace {

TEST(CodePage, UnrepresentableCharactersBecomeTheDefaultCharacter) {
  bool lossy = false;
  std::string b = StringToCodePage(u"a\u00E7\u4E2D\U0001F600b", "CP1252", '?', &lossy);
  EXPECT_EQ(b, "a\xE7??b");  // one '?' per character, surrogate pairs included
  EXPECT_TRUE(lossy);
  EXPECT_EQ(StringToCodePage(u"\u20AC", "CP1252", '?', &lossy), "\x80");
  EXPECT_FALSE(lossy);
}

TEST(CodePage, DecodesAndFlagsInvalidBytes) {
  EXPECT_EQ(CodePageToString("\xE7\x80", "CP1252"), u"\u00E7\u20AC");
  bool lossy = false;
  EXPECT_EQ(CodePageToString("a\xFF", "UTF-8", &lossy), u"a\uFFFD");
  EXPECT_TRUE(lossy);
  // A replacement character that the text itself holds is no loss; one
  // beside an invalid byte still is.
  EXPECT_EQ(CodePageToString("a\xEF\xBF\xBD", "UTF-8", &lossy), u"a\uFFFD");
  EXPECT_FALSE(lossy);
  EXPECT_EQ(CodePageToString("\xEF\xBF\xBD\xC0", "UTF-8", &lossy), u"\uFFFD\uFFFD");
  EXPECT_TRUE(lossy);
}

TEST(CodePage, AConverterReusedAfterAFailureStartsClean) {
  // The converters stay open per thread; an interrupted conversion must not
  // leak into the next one.
  EXPECT_EQ(CodePageToString("a\x81", "CP1252"), u"a\uFFFD");  // 0x81 is unassigned
  EXPECT_EQ(CodePageToString("\xE9", "CP1252"), u"\u00E9");
  EXPECT_EQ(StringToCodePage(u"\u4E2D", "CP1252"), "?");
  EXPECT_EQ(StringToCodePage(u"\u00E9", "CP1252"), "\xE9");
}

TEST(CodePage, UnknownCodePageIsAConvertError) {
  EXPECT_THROW(StringToCodePage(u"x", "NO-SUCH-CODEPAGE"), EConvertError);
}

TEST(CodePage, AnsiCodePageCanBePinned) {
  std::string saved = AnsiCodePage();
  SetAnsiCodePage("ISO-8859-1");
  EXPECT_EQ(StringToAnsi(u"\u00E9\u20AC"), "\xE9?");
  EXPECT_EQ(AnsiToString("\xE9"), u"\u00E9");
  SetAnsiCodePage(saved);
}

TEST(CodePage, CharByteLengthNeverSplitsACharacter) {
  std::string s = "a\xC3\xA7\xE2\x82\xAC";
  EXPECT_EQ(CharByteLength(s, 0, "UTF-8"), 1u);
  EXPECT_EQ(CharByteLength(s, 1, "UTF-8"), 2u);
  EXPECT_EQ(CharByteLength(s, 3, "UTF-8"), 3u);
  EXPECT_EQ(CharByteLength(s.substr(0, 4), 3, "UTF-8"), 1u);  // truncated: stop at what is there
  EXPECT_EQ(CharByteLength("\xE7", 0, "CP1252"), 1u);
}

}  // namespace
}  // namespace kavo::test
