#include "rtl/ustring.h"

#include <gtest/gtest.h>

namespace kavo::test {
namespace {

TEST(Utf8, RoundTripsAllPlanes) {
  String s = u"a\u00E7\u20AC\U0001F600z";
  std::string u8 = StringToUtf8(s);
  EXPECT_EQ(u8, "a\xC3\xA7\xE2\x82\xAC\xF0\x9F\x98\x80z");
  EXPECT_EQ(Utf8ToString(u8), s);
}

TEST(Utf8, BadInputBecomesReplacementCharacters) {
  // Truncated sequence, stray continuation byte, overlong form, lone surrogate.
  EXPECT_EQ(Utf8ToString("a\xC3"), u"a\uFFFD");
  EXPECT_EQ(Utf8ToString("\x80x"), u"\uFFFDx");
  EXPECT_EQ(Utf8ToString("\xC0\xAF"), u"\uFFFD\uFFFD");
  EXPECT_EQ(StringToUtf8(String(1, static_cast<Char>(0xD800))), "\xEF\xBF\xBD");
}

TEST(StrToInt, AcceptsDecimalAndEveryHexMark) {
  int32_t v = 0;
  EXPECT_TRUE(TryStrToInt(u"10", v)); EXPECT_EQ(v, 10);
  EXPECT_TRUE(TryStrToInt(u"  -7", v)); EXPECT_EQ(v, -7);
  EXPECT_TRUE(TryStrToInt(u"+$A", v)); EXPECT_EQ(v, 10);
  EXPECT_TRUE(TryStrToInt(u"x1f", v)); EXPECT_EQ(v, 31);
  EXPECT_TRUE(TryStrToInt(u"0X10", v)); EXPECT_EQ(v, 16);
  EXPECT_TRUE(TryStrToInt(u"-2147483648", v)); EXPECT_EQ(v, INT32_MIN);
}

TEST(StrToInt, RejectsEverythingElse) {
  int32_t v = 0;
  for (const Char* bad : {u"", u" ", u"ten", u"10 ", u"1.5", u"2147483648", u"-2147483649",
                          u"$", u"0x", u"$1G", u"$100000000"})
    EXPECT_FALSE(TryStrToInt(bad, v)) << StringToUtf8(bad);
  EXPECT_EQ(StrToIntDef(u"ten", 5), 5);
}

TEST(Text, CaseAndTrimHelpers) {
  EXPECT_TRUE(SameText(u"KavoIntegracao", u"KAVOINTEGRACAO"));
  EXPECT_FALSE(SameText(u"abc", u"abcd"));
  EXPECT_EQ(UpperCase(u"a\u00E7b"), u"A\u00C7B");
  EXPECT_EQ(Trim(u" \t x y \r\n"), u"x y");
  EXPECT_EQ(ReplaceAll(u"a--b--", u"--", u"+"), u"a+b+");
  EXPECT_EQ(IntToHex(255, 4), u"00FF");
}

}  // namespace
}  // namespace kavo::test
