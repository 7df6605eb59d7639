#include "rtl/code_page.h"

#include <gtest/gtest.h>

#include <string>

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

// A lone surrogate half is no character in any set: it is flagged, never
// written silently; and a refusal names what could not be stored.
TEST(CodePage, LoneSurrogatesAreLossyEverywhereAndRefusalsSayWhy) {
  const String lone = String(u"a") + Char(0xDC00) + u"b";
  for (const char* cp : {"UTF-8", "CP1252", "ISO-8859-1"}) {
    bool lossy = false;
    StringToCodePage(lone, cp, '?', &lossy);
    EXPECT_TRUE(lossy) << cp;
    StringToCodePage(u"\u00e7", cp, '?', &lossy);
    EXPECT_FALSE(lossy) << cp;
  }
  EXPECT_TRUE(HasLoneSurrogate(String(1, Char(0xD83D))));
  EXPECT_FALSE(HasLoneSurrogate(u"x\U0001F600"));
  EXPECT_EQ(CannotStoreMessage(u"Field 'DADOS'", u"ok \U0001F600 ok", u"ISO8859_1"),
            u"Field 'DADOS': 'ok \U0001F600 ok' cannot be stored in ISO8859_1");
  EXPECT_NE(CannotStoreMessage(u"Field 'X'", u"\u00e7", u"ANSI_X3.4-1968").find(u"LANG=C.UTF-8"),
            String::npos);
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
  // glibc's CP949 consumes an invalid pair at the very end before it reports
  // it: one replacement, and nothing read past the bytes. Windows refuses
  // the pair, then the lead byte left alone at the end.
#ifdef _WIN32
  EXPECT_EQ(CodePageToString("a\xA2\xE8", "CP949", &lossy), u"a\uFFFD\uFFFD");
#else
  EXPECT_EQ(CodePageToString("a\xA2\xE8", "CP949", &lossy), u"a\uFFFD");
#endif
  EXPECT_TRUE(lossy);
  EXPECT_EQ(CharByteLength("\xA2\xE8\x87", 0, "CP949"), 1u);
}

TEST(CodePage, AConverterReusedAfterAFailureStartsClean) {
  // The converters stay open per thread; an interrupted conversion must not
  // leak into the next one.
#ifdef _WIN32
  // Windows reads CP1252's unassigned bytes as the C1 controls: a bad
  // CP949 pair fails there instead.
  EXPECT_EQ(CodePageToString("a\xA2\xE8", "CP949"), u"a\uFFFD\uFFFD");
  EXPECT_EQ(CodePageToString("\xB0\xA1", "CP949"), u"\uAC00");
#else
  EXPECT_EQ(CodePageToString("a\x81", "CP1252"), u"a\uFFFD");  // 0x81 is unassigned
#endif
  EXPECT_EQ(CodePageToString("\xE9", "CP1252"), u"\u00E9");
  EXPECT_EQ(StringToCodePage(u"\u4E2D", "CP1252"), "?");
  EXPECT_EQ(StringToCodePage(u"\u00E9", "CP1252"), "\xE9");
}

// Long texts are narrowed and widened many characters at a time: one
// character that needs the converter, wherever it stands (in a block, at a
// block's edge, in the tail), must send the whole text through it.
TEST(CodePage, LongTextsConvertWholeWhereverTheirFirstForeignCharacterIs) {
  for (size_t length : {1u, 8u, 9u, 15u, 16u, 17u, 24u, 25u, 31u, 32u, 33u, 47u, 64u}) {
    for (size_t at = 0; at < length; ++at) {
      SCOPED_TRACE("length " + std::to_string(length) + ", at " + std::to_string(at));
      String text(length, u'a');
      std::string bytes(length, 'a');
      // Beyond ISO-8859-1: the default character, and a loss.
      text[at] = u'\u0100';
      bool lossy = false;
      std::string narrowed = StringToCodePage(text, "ISO-8859-1", '?', &lossy);
      EXPECT_TRUE(lossy);
      bytes[at] = '?';
      EXPECT_EQ(narrowed, bytes);
      // Within ISO-8859-1 but above ASCII: CP1252 has its own byte for it,
      // and its 0x80 is the euro sign, not U+0080.
      text[at] = u'\u20AC';
      bytes[at] = '\x80';
      EXPECT_EQ(StringToCodePage(text, "CP1252"), bytes);
      text[at] = u'\u00E9';
      bytes[at] = '\xE9';
      EXPECT_EQ(StringToCodePage(text, "ISO-8859-1"), bytes);
      EXPECT_EQ(CodePageToString(bytes, "ISO-8859-1"), text);
      bytes[at] = '\x80';
      text[at] = u'\u20AC';
      EXPECT_EQ(CodePageToString(bytes, "CP1252"), text);
      text[at] = u'\u0080';
      EXPECT_EQ(CodePageToString(bytes, "ISO-8859-1"), text);
    }
  }
}

// Callers that keep a page's identity limit narrow text themselves: a limit
// too high would write CP1252's euro sign as U+0080, one for EBCDIC would
// write letters as ASCII.
TEST(CodePage, IdentityLimitIsWhereAPageStopsWritingCharactersAsThemselves) {
  EXPECT_EQ(CodePageIdentityLimit("ISO-8859-1"), 0x100);
  EXPECT_EQ(CodePageIdentityLimit("CP1252"), 0x80);
  EXPECT_EQ(CodePageIdentityLimit("UTF-8"), 0x80);
  EXPECT_EQ(CodePageIdentityLimit("IBM037"), 0);
  EXPECT_EQ(CodePageIdentityLimit("NO-SUCH-CODEPAGE"), 0);
  std::string bytes;
  String text;
  EXPECT_TRUE(NarrowTextBelow(u"caf\u00e9 ol\u00e1 ma\u00e7\u00e3", 0x100, bytes));
  EXPECT_EQ(bytes, "caf\xe9 ol\xe1 ma\xe7\xe3");
  EXPECT_FALSE(NarrowTextBelow(u"caf\u00e9 ol\u00e1 ma\u00e7\u00e3", 0x80, bytes));
  EXPECT_FALSE(NarrowTextBelow(u"abc", 0, bytes));
  // The same answer without the bytes, for a character before, in and after
  // the first eight.
  for (const String& t : {String(u"\u00e9abc"), String(u"abcdefg\u00e9"),
                          String(u"abcdefghijklmnopq\u00e9r"), String(u"abcdefghijklmnopqr")}) {
    EXPECT_EQ(TextBelow(t, 0x80), NarrowTextBelow(t, 0x80, bytes)) << StringToUtf8(t);
    EXPECT_TRUE(TextBelow(t, 0x100));
  }
  EXPECT_FALSE(TextBelow(u"\u0100", 0x100));
  EXPECT_FALSE(TextBelow(u"abc", 0));
  EXPECT_TRUE(WidenBytesBelow("caf\xe9", 0x100, text));
  EXPECT_EQ(text, u"caf\u00e9");
  EXPECT_FALSE(WidenBytesBelow("caf\xe9", 0x80, text));
}

// Single-byte pages are read through a table of what each byte decodes to:
// the same text as iconv gives, invalid bytes flagged; a page whose decoder
// composes a letter with its accent is still read by iconv.
TEST(CodePage, SingleBytePagesDecodeAsIconvDecodes) {
  bool lossy = false;
  EXPECT_EQ(CodePageToString("Jo\xe3o \x80 5", "CP1252", &lossy), u"Jo\u00e3o \u20AC 5");
  EXPECT_FALSE(lossy);
#ifndef _WIN32  // Windows reads the unassigned bytes as the C1 controls
  EXPECT_EQ(CodePageToString("\x81\xe7", "CP1252", &lossy), u"\uFFFD\u00e7");
  EXPECT_TRUE(lossy);
#endif
  EXPECT_EQ(CodePageToString("\xc1\xe2", "koi8-r", &lossy), u"\u0430\u0411");
  EXPECT_FALSE(lossy);
  EXPECT_EQ(CodePageToString("\xa4", "ISO-8859-15"), u"\u20AC");
  // And back through the same table, one character iconv cannot write
  // leaving the whole text to iconv.
  EXPECT_EQ(StringToCodePage(u"\u0430\u0411 x", "KOI8-R", '?', &lossy), "\xc1\xe2 x");
  EXPECT_FALSE(lossy);
  EXPECT_EQ(StringToCodePage(u"\u20AC\u00e7\u4E2D\u0160", "CP1252", '?', &lossy), "\x80\xe7?\x8a");
  EXPECT_TRUE(lossy);
#ifdef _WIN32  // Windows leaves the accent apart
  EXPECT_EQ(CodePageToString("a\xec", "CP1258"), u"a\u0301");
#else
  EXPECT_EQ(CodePageToString("a\xec", "CP1258"), u"\u00e1");
#endif
  // Such a decoder keeps the last character back for an accent that might
  // follow, and a stateful encoding shifts back at the end: neither is lost.
  EXPECT_EQ(CodePageToString("\xe0\xd4", "CP1255"), u"\u05d0\u05f0");
  EXPECT_EQ(CodePageToString("caf\xe9", "CP1258"), u"caf\u00e9");
#ifdef _WIN32
  // A system may lack the page (Wine does): said, not failed.
  try {
    EXPECT_EQ(StringToCodePage(u"\u65E5", "ISO-2022-JP"), "\x1b$BF|\x1b(B");
  } catch (const EConvertError& e) {
    GTEST_SKIP() << StringToUtf8(e.Message());
  }
#else
  EXPECT_EQ(StringToCodePage(u"\u65E5", "ISO-2022-JP"), "\x1b$BF|\x1b(B");
#endif
}

// A buffer converted into again holds the new text alone, whatever it held.
TEST(CodePage, ConvertingIntoABufferReplacesItsText) {
  std::string buffer;
  StringToCodePageInto(String(40, u'x'), "CP1252", buffer);
  EXPECT_EQ(buffer, std::string(40, 'x'));
  StringToCodePageInto(u"\u00e9t\u00e9", "CP1252", buffer);
  EXPECT_EQ(buffer, "\xe9t\xe9");
  bool lossy = false;
  StringToCodePageInto(u"a\u4E2D", "CP1252", buffer, '#', &lossy);
  EXPECT_EQ(buffer, "a#");
  EXPECT_TRUE(lossy);
  StringToCodePageInto(u"", "UTF-8", buffer);
  EXPECT_EQ(buffer, "");
}

TEST(CodePage, UnknownCodePageIsAConvertError) {
  EXPECT_THROW(StringToCodePage(u"x", "NO-SUCH-CODEPAGE"), EConvertError);
}

TEST(CodePage, AnsiCodePageCanBePinned) {
  std::string saved = AnsiCodePage();
  SetAnsiCodePage("ISO-8859-1");
  const std::string& pinned = AnsiCodePage();
  EXPECT_EQ(StringToAnsi(u"\u00E9\u20AC"), "\xE9?");
  EXPECT_EQ(AnsiToString("\xE9"), u"\u00E9");
  // A name handed out stays what it was when the code page changes again.
  SetAnsiCodePage("CP1252");
  EXPECT_EQ(StringToAnsi(u"\u20AC"), "\x80");
  EXPECT_EQ(StringToAnsi(u"\u00E9\u0080"), "\xE9?");
  EXPECT_EQ(AnsiToString("\xE9\x80"), u"\u00E9\u20AC");
  EXPECT_EQ(pinned, "ISO-8859-1");
  // Not even ASCII is itself in EBCDIC.
  SetAnsiCodePage("IBM037");
  EXPECT_EQ(StringToAnsi(u"A"), "\xC1");
  EXPECT_EQ(AnsiToString("\xC1"), u"A");
  SetAnsiCodePage(saved);
  EXPECT_EQ(AnsiCodePage(), saved);
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
