#include "rtl/os_text.h"

#include <gtest/gtest.h>

#include <random>

#include "rtl/code_page.h"

namespace kavo::test {
namespace {

TEST(OsText, ValidUtf8IsReadAsTextWhateverTheLocale) {
  EXPECT_EQ(OsTextToString("/opt/Integra\xc3\xa7\xc3\xa3o/"), u"/opt/Integra\u00e7\u00e3o/");
  EXPECT_EQ(OsTextToString("\xf0\x9f\x98\x80"), u"\U0001F600");
  EXPECT_EQ(StringToOsText(u"/opt/Integra\u00e7\u00e3o/\U0001F600"),
            "/opt/Integra\xc3\xa7\xc3\xa3o/\xf0\x9f\x98\x80");
}

TEST(OsText, BytesThatAreNotUtf8ComeBackAsTheyWere) {
  // Latin-1, a cut sequence, an overlong '/', an encoded surrogate, a code
  // point past U+10FFFF, and a stray continuation byte.
  using B = std::string;
  for (const B& bytes : {B("Integra\xe7\xe3o"), B("ab\xc3"), B("\xc0\xaf"), B("\xed\xb2\x80"),
                         B("\xf4\x90\x80\x80"), B("\x80x")}) {
    String s = OsTextToString(bytes);
    EXPECT_EQ(StringToOsText(s), bytes);
    EXPECT_EQ(s.find(u'\uFFFD'), String::npos);
  }
  EXPECT_EQ(OsTextToString("a\xe7" "b"), u"a\xdce7" u"b");
}

TEST(OsText, AnyBytesRoundTrip) {
  std::mt19937 random(20261209);
  for (int i = 0; i < 2000; ++i) {
    std::string bytes(random() % 12, '\0');
    // Mostly high bytes, so that valid and invalid sequences both occur.
    for (char& b : bytes) b = static_cast<char>(random() % 6 ? 0x80 | random() : random() % 0x80);
    ASSERT_EQ(StringToOsText(OsTextToString(bytes)), bytes) << i;
  }
}

TEST(OsText, ForeignLoneSurrogatesAndEscapesInACodePage) {
  EXPECT_EQ(StringToOsText(u"a\xd800" u"b\xdc10"), "a\xef\xbf\xbd" "b\xef\xbf\xbd");
  // An escaped byte is no character: a code page shows the default one.
  EXPECT_EQ(StringToCodePage(OsTextToString("Integra\xe7\xe3o"), "ASCII"), "Integra??o");
  EXPECT_EQ(StringToCodePage(OsTextToString("Integra\xc3\xa7\xc3\xa3o"), "ASCII"), "Integra??o");
}

}  // namespace
}  // namespace kavo::test
