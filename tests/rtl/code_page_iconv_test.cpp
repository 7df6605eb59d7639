// The Linux build's code pages against iconv itself.
#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <string>

#include "rtl/code_page.h"
#include "rtl/exceptions.h"

namespace kavo::test {
namespace {

// Text of the first 256 characters, in code pages where ASCII is itself
// (ISO-8859-1 all 256 of them; CP1252 and DOS pages but for their own upper
// halves; Cyrillic and Chinese pages) and where it is not (Shift-JIS's yen
// sign and overline, UTF-7 with its '+', ISO-2022-JP with its escapes,
// UTF-16, EBCDIC): each conversion that iconv makes without a failure comes
// out as iconv makes it for the whole text.
TEST(CodePage, TextOfTheFirst256CharactersConvertsAsIconvConvertsIt) {
  auto iconv_of = [](const std::string& to, const std::string& from,
                     std::string_view in) -> std::optional<std::string> {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1)) << from << " -> " << to;
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(in.size() * 8 + 16, '\0');
    char* i = const_cast<char*>(in.data());
    char* o = out.data();
    size_t ileft = in.size(), oleft = out.size();
    const bool ok = iconv(cd, &i, &ileft, &o, &oleft) != static_cast<size_t>(-1) &&
                    iconv(cd, nullptr, nullptr, &o, &oleft) != static_cast<size_t>(-1);
    iconv_close(cd);
    if (!ok) return std::nullopt;
    out.resize(out.size() - oleft);
    return out;
  };
  std::string all, c1, latin;
  for (int c = 1; c < 0x80; ++c) all.push_back(static_cast<char>(c));
  for (int c = 0x80; c < 0xA0; ++c) c1.push_back(static_cast<char>(c));
  for (int c = 0xA0; c < 0x100; ++c) latin.push_back(static_cast<char>(c));
  const std::string texts[] = {all,  "plain text", "a+b-c", "C:\\dir~1", "\x1b$B", "", "\r\n",
                               latin, c1,          "Jo\xe3o Concei\xe7\xe3o"};
  int compared = 0;
  for (const char* cp : {"CP1252", "ISO-8859-1", "CP437", "KOI8-R", "SHIFT_JIS", "GB2312",
                         "UTF-7", "ISO-2022-JP", "UTF-16LE", "IBM037"}) {
    for (const std::string& text : texts) {
      SCOPED_TRACE(std::string(cp) + " \"" + text + "\"");
      String wide;
      for (unsigned char c : text) wide.push_back(c);
      const std::string utf16(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
      if (auto bytes = iconv_of(cp, "UTF-16LE", utf16)) {
        bool lossy = true;
        EXPECT_EQ(StringToCodePage(wide, cp, '?', &lossy), *bytes);
        EXPECT_FALSE(lossy);
        ++compared;
      }
      if (auto read = iconv_of("UTF-16LE", cp, text)) {
        EXPECT_EQ(CodePageToString(text, cp),
                  String(reinterpret_cast<const Char*>(read->data()), read->size() / 2));
        ++compared;
      }
    }
  }
  EXPECT_GE(compared, 150);
  // A Shift-JIS backslash is a yen sign, an EBCDIC 'A' is 0xC1, UTF-7 spells '+' as "+-".
  EXPECT_EQ(CodePageToString("\\", "SHIFT_JIS"), u"\u00A5");
  EXPECT_EQ(StringToCodePage(u"A", "IBM037"), "\xC1");
  EXPECT_EQ(StringToCodePage(u"+", "UTF-7"), "+-");
  EXPECT_EQ(StringToCodePage(u"\u00e3\u20ac", "ISO-8859-1"), "\xe3?");
  EXPECT_EQ(StringToCodePage(u"\u00e3\u20ac", "CP1252"), "\xe3\x80");
  EXPECT_EQ(CodePageToString("\xe3\x80", "CP1252"), u"\u00e3\u20ac");
  EXPECT_THROW(StringToCodePage(u"ascii", "NO-SUCH-CODEPAGE"), EConvertError);
  EXPECT_THROW(CodePageToString("ascii", "NO-SUCH-CODEPAGE"), EConvertError);
  EXPECT_THROW(StringToCodePage(u"", "NO-SUCH-CODEPAGE"), EConvertError);
  EXPECT_THROW(CodePageToString("", "NO-SUCH-CODEPAGE"), EConvertError);
}

}  // namespace
}  // namespace kavo::test
