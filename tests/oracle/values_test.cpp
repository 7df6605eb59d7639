// Value buffers and conversions: DATE bytes, UTF-8, line ends and the
// layer's small pieces, without a database (variables: variables_test.cpp).
#include <gtest/gtest.h>

#include "testkit/message_of.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <future>
#include <limits>
#include <thread>

#include "oracle/critical_section.h"
#include "oracle/field_data.h"
#include "oracle/oracle_date.h"
#include "oracle/oracle_error.h"
#include "oracle/oracle_text.h"
#include "oracle/query.h"
#include "oracle/rowid.h"
#include "oracle/session.h"
#include "oracle/sql_scan.h"
#include "rtl/code_page.h"
#include "rtl/exceptions.h"
#include "rtl/float_text.h"
#include "rtl/format_settings.h"

namespace kavo::test {
namespace {

std::vector<uint8_t> DateBytes(TDateTime t) {
  std::vector<uint8_t> b(7);
  NativeToOracleDate(b.data(), t);
  return b;
}

TEST(OracleDate, BytesBothWays) {
  TDateTime t = EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 58, 0);
  EXPECT_EQ(DateBytes(t), (std::vector<uint8_t>{119, 199, 12, 31, 24, 60, 59}));
  uint8_t b[7] = {119, 199, 12, 31, 24, 60, 59};
  EXPECT_DOUBLE_EQ(OracleToNativeDate(b), t);

  // Milliseconds are dropped.
  EXPECT_EQ(DateBytes(EncodeDate(2024, 2, 29) + EncodeTime(0, 0, 0, 999)),
            (std::vector<uint8_t>{120, 124, 2, 29, 1, 1, 1}));
  // Year 1 and a date before 1899-12-30 round-trip with their time.
  TDateTime early = EncodeDate(1, 1, 1) - EncodeTime(12, 0, 0, 0);  // negative: time subtracted
  std::vector<uint8_t> eb = DateBytes(early);
  EXPECT_EQ(eb, (std::vector<uint8_t>{100, 101, 1, 1, 13, 1, 1}));
  EXPECT_DOUBLE_EQ(OracleToNativeDate(eb.data()), early);

  // The OCI date record: the same date and time both ways, milliseconds dropped.
  OCIDateRecord r{};
  NativeToOCIDate(r, t + EncodeTime(0, 0, 0, 500));
  EXPECT_EQ(r.year, 1999);
  EXPECT_EQ(r.second, 58);
  EXPECT_DOUBLE_EQ(OCIToNativeDate(r), t);
}

TEST(OracleDate, YearZeroAndInvalidDates) {
  uint8_t year0[7] = {100, 100, 1, 1, 1, 1, 1};
  EXPECT_DOUBLE_EQ(OracleToNativeDate(year0), -693594.0);
  // An invalid day keeps its time, subtracted from the before-the-calendar date.
  uint8_t feb30[7] = {120, 124, 2, 30, 13, 1, 1};
  EXPECT_DOUBLE_EQ(OracleToNativeDate(feb30), -693594.0 - 0.5);
  // An invalid time reads as midnight.
  uint8_t bad_time[7] = {120, 124, 2, 29, 25, 1, 1};
  EXPECT_DOUBLE_EQ(OracleToNativeDate(bad_time), EncodeDate(2024, 2, 29));
}

// An Oracle DATE holds the years 1 to 9999 here; a date-time outside them is
// refused, never stored as another date.
TEST(OracleDate, OutsideTheYearsOfADateRaises) {
  EXPECT_EQ(DateBytes(EncodeDate(9999, 12, 31) + EncodeTime(23, 59, 59, 0)),
            (std::vector<uint8_t>{199, 199, 12, 31, 24, 60, 60}));
  EXPECT_EQ(DateBytes(EncodeDate(1, 1, 1)), (std::vector<uint8_t>{100, 101, 1, 1, 1, 1, 1}));
  // The last two lie inside the bounds but round, at the millisecond, onto the
  // day past them.
  const TDateTime outside[] = {EncodeDate(9999, 12, 31) + 1.0, 1e7, 1e300, -693594.0,
                               -693594.5, -1e7, std::numeric_limits<double>::quiet_NaN(),
                               std::nextafter(EncodeDate(9999, 12, 31) + 1.0, 0.0),
                               std::nextafter(-693594.0, 0.0)};
  for (TDateTime t : outside) {
    uint8_t b[7] = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_THROW(NativeToOracleDate(b, t), EConvertError) << t;
    EXPECT_EQ(std::vector<uint8_t>(b, b + 7), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7}));
    OCIDateRecord r{};
    EXPECT_THROW(NativeToOCIDate(r, t), EConvertError) << t;
  }
  // A variable refuses it with its conversion error and stays as it was.
  TOracleQuery q(nullptr);
  q.DeclareVariable(u"d", otDate);
  EXPECT_EQ(MessageOf([&] { q.SetVariable(u"d", OraVariant::Date(1e7)); }),
            u"Variant conversion error for variable :D");
  EXPECT_TRUE(q.GetVariable(u"d").IsEmptyOrNull());
}

// NaN and the infinities have no Oracle number: a float variable refuses
// them (the server would store NaN as NULL), a scalar or an array element,
// and keeps the value it had.
TEST(OracleVariables, NonFiniteFloatsAreRefused) {
  TOracleQuery q(nullptr);
  q.DeclareVariable(u"f", otFloat);
  q.SetVariable(u"f", 2.5);
  q.DeclareVariable(u"a", otFloat);
  const double inf = std::numeric_limits<double>::infinity();
  for (double v : {std::numeric_limits<double>::quiet_NaN(), inf, -inf}) {
    EXPECT_EQ(MessageOf([&] { q.SetVariable(u"f", v); }),
              u"Variant conversion error for variable :F") << v;
    EXPECT_EQ(q.GetVariable(u"f").AsDouble(), 2.5);
    OraVariant array = OraVariant::Array({OraVariant(1.0), OraVariant(v)}, 0);
    EXPECT_EQ(MessageOf([&] { q.SetVariable(u"a", array); }),
              u"Variant conversion error for variable :A") << v;
  }
}

// A Leave from a thread that does not hold the section changes nothing: the
// owner still holds it, and once the owner leaves, a third thread gets in.
TEST(OracleCriticalSection, LeaveFromAnotherThreadChangesNothing) {
  // Never destroyed: after a failure a thread may still wait on it.
  static auto* section = new TOracleCriticalSection();
  section->Enter();
  std::thread([] { section->Leave(); }).join();
  EXPECT_EQ(section->Entered(), 1);
  section->Leave();
  EXPECT_EQ(section->Entered(), 0);
  std::promise<void> entered;
  std::future<void> done = entered.get_future();
  std::thread([&entered] {
    section->Enter();
    section->Leave();
    entered.set_value();
  }).detach();
  EXPECT_EQ(done.wait_for(std::chrono::seconds(5)), std::future_status::ready)
      << "a third thread cannot enter: the section was stranded";
}

// OCI writes each piece's length; one longer than the piece's buffer is
// bounded by the buffer.
TEST(FieldData, LongPieceLengthsStayWithinTheirBuffers) {
  TFieldData f;
  for (const char* text : {"abcd", "efgh"}) {
    TLongPiece& p = f.LongPieces.emplace_back();
    p.AllocatedSize = 4;
    p.PieceBuf.assign(text, text + 4);
    p.ActualSize = 4;
  }
  f.LongPieces.back().ActualSize = 60000;
  EXPECT_EQ(f.LongSize(), 8);
  EXPECT_EQ(f.LongValue(), "abcdefgh");
}

class Utf8Test : public ::testing::Test {
 protected:
  void SetUp() override {
    SetAnsiCodePage("CP1252");
    UTF8DecodeError = UTF8EncodeError = false;
  }
  void TearDown() override { SetAnsiCodePage("UTF-8"); }
};

// UTF-8 is read and written as AL32UTF8 has it, four-byte characters
// included; malformed input never sends the whole value through another
// code page (CP1252 here would turn "Ação" into "AÃ§Ã£o").
TEST_F(Utf8Test, FourByteCharactersAndMalformedInputWithoutFallBack) {
  bool bad = true;
  EXPECT_EQ(Utf8Decode("A\xC3\xA7\xC3\xA3o \xF0\x9F\x98\x80 ok", &bad), u"A\u00e7\u00e3o \U0001F600 ok");
  EXPECT_FALSE(bad);
  EXPECT_EQ(Utf8Decode("\xE2\x82\xAC"), u"\u20ac");
  EXPECT_FALSE(UTF8DecodeError);
  // Each malformed sequence is one U+FFFD; what is well formed stays.
  EXPECT_EQ(Utf8Decode("caf\xE9s \xC3\xA9", &bad), u"caf\uFFFDs \u00e9");
  EXPECT_TRUE(bad);
  EXPECT_TRUE(UTF8DecodeError);
  for (const char* malformed : {"ab\xE2\x82", "\xED\xA0\xBD", "\xC0\xAF", "\xF4\x90\x80\x80"}) {
    Utf8Decode(malformed, &bad);
    EXPECT_TRUE(bad) << malformed;
  }
  Char units[4];
  EXPECT_EQ(Utf8ToUnicode(units, 4, "\xF0\x9F\x98\x80", 4), 3);
  EXPECT_EQ(Utf8ToUnicode(units, 1, "\xF0\x9F\x98\x80", 4), -1);
}

TEST_F(Utf8Test, EncodingWritesPairsAsOneCharacterAndRefusesLoneHalves) {
  bool lossy = true;
  EXPECT_EQ(Utf8Encode(u"\u20ac", &lossy), "\xE2\x82\xAC");
  EXPECT_FALSE(lossy);
  EXPECT_EQ(Utf8Encode(u"a\u00e9"), "a\xC3\xA9");
  // U+1F600 as four bytes, never as CESU-8 halves.
  EXPECT_EQ(Utf8Encode(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8Encode(u""), "");
  EXPECT_FALSE(UTF8EncodeError);
  EXPECT_EQ(Utf8Encode(String(u"a") + Char(0xD83D) + u"b", &lossy), "a\xEF\xBF\xBD" "b");
  EXPECT_TRUE(lossy);
  EXPECT_TRUE(UTF8EncodeError);
}

TEST(OracleText, LineEndsBothWaysFollowConvertCRLF) {
  EXPECT_EQ(RemoveCR("a\r\nb\rc", nullptr), "a\nbc");
  EXPECT_EQ(AddCR("a\nb\rc\r\nd\n\n", nullptr), "a\r\nb\r\nc\r\nd\r\n\r\n");
  EXPECT_EQ(AddCRW(u"x\ny\r", nullptr), u"x\r\ny\r\n");
  EXPECT_EQ(RemoveCRW(u"x\r\ny", nullptr), u"x\ny");
  TOracleSession session(nullptr);
  session.Preferences().SetConvertCRLF(false);
  EXPECT_EQ(RemoveCR("a\r\nb", &session), "a\r\nb");
  EXPECT_EQ(AddCRW(u"a\nb", &session), u"a\nb");
}

TEST(OracleText, LineEndsAtTheEdgesAndTextWithoutThem) {
  EXPECT_EQ(AddCRW(u"", nullptr), u"");
  EXPECT_EQ(AddCRW(u"no breaks at all", nullptr), u"no breaks at all");
  EXPECT_EQ(AddCRW(u"\nx", nullptr), u"\r\nx");
  EXPECT_EQ(AddCRW(u"x\r", nullptr), u"x\r\n");
  EXPECT_EQ(AddCRW(u"\r\r\n\n", nullptr), u"\r\n\r\n\r\n");
  EXPECT_EQ(AddCR("\n", nullptr), "\r\n");
  EXPECT_EQ(AddCR(std::string("a\0b\n", 4), nullptr), std::string("a\0b\r\n", 5));
  EXPECT_EQ(RemoveCR("\r", nullptr), "");
  EXPECT_EQ(RemoveCR("no CR", nullptr), "no CR");
  EXPECT_EQ(RemoveCRW(u"\r\nx\r", nullptr), u"\nx");
}

// The word-at-a-time scan against the plain definition, for every length up
// to three words and every position of a byte that must or must not count.
TEST(OracleText, PlainAsciiLineMatchesItsDefinition) {
  const unsigned char probes[] = {'\r', '\n', 0x80, 0xFF, 0x8A, 0x8D,
                                  0x09, 0x0B, 0x0C, 0x0E, 0x00, 0x7F};
  for (size_t length = 0; length <= 24; ++length) {
    std::string text(length, 'a');
    EXPECT_TRUE(IsPlainAsciiLine(text)) << length;
    for (size_t pos = 0; pos < length; ++pos) {
      for (unsigned char probe : probes) {
        std::string t = text;
        t[pos] = static_cast<char>(probe);
        const bool plain = probe < 0x80 && probe != '\r' && probe != '\n';
        EXPECT_EQ(IsPlainAsciiLine(t), plain)
            << "length " << length << ", byte " << int(probe) << " at " << pos;
      }
    }
  }
}

// Narrowing against its definition, for every length up to three words and
// every position of one or two units that must or must not count.
TEST(OracleText, NarrowAsciiMatchesItsDefinition) {
  const Char probes[] = {u'\r', u'\n', 0x7F, 0x80, 0xFF, 0x100, 0x180, 0x20AC,
                         0xD800, 0x0D0D, 0x8D, 0x0E, 0x0C, 0xFF0D};
  auto expected = [](const String& t, bool drop_cr, std::string& out) {
    out.clear();
    for (Char c : t) {
      if (c >= 0x80) return false;
      if (!(drop_cr && c == u'\r')) out += static_cast<char>(c);
    }
    return true;
  };
  for (size_t length = 0; length <= 24; ++length) {
    String text;
    for (size_t i = 0; i < length; ++i) text += static_cast<Char>(u'a' + i % 26);
    for (size_t pos = 0; pos <= length; ++pos) {
      for (Char probe : probes) {
        for (bool second : {false, true}) {
          String t = text;
          if (pos < length) t[pos] = probe;
          if (second && length > 0) t[length - 1 - pos % length] = u'\r';
          for (bool drop_cr : {false, true}) {
            std::string want, got = "junk";
            const bool ascii = expected(t, drop_cr, want);
            EXPECT_EQ(NarrowAscii(t, got, drop_cr), ascii)
                << "length " << length << ", unit " << int(probe) << " at " << pos;
            if (ascii) {
              EXPECT_EQ(got, want) << "length " << length << " at " << pos;
            }
          }
        }
      }
    }
  }
}

TEST(OracleText, WideStringsOfSet2000AreSwapped) {
  String s = u"\u0041\u20ac";
  SwapWideString(s, ocsUTF16);
  EXPECT_EQ(s, u"\u0041\u20ac");
  SwapWideString(s, ocsAL16UTF16);
  EXPECT_EQ(s, (String{0x4100, 0xac20}));
  // A set 2000 column buffer holds big-endian units.
  uint8_t be[] = {0x00, 0x41, 0x20, 0xac};
  EXPECT_EQ(OracleToNativeData(be, otString, ocsAL16UTF16, nullptr, 4).AsString(), u"A\u20ac");
  uint8_t le[] = {0x41, 0x00, 0xac, 0x20};
  EXPECT_EQ(OracleToNativeData(le, otString, ocsUTF16, nullptr, 4).AsString(), u"A\u20ac");
}

TEST(OracleText, ColumnBufferConversionsByType) {
  uint8_t text[] = {'a', '\n', 'b', 0, 'x'};
  OraVariant v = OracleToNativeData(text, otString, 0, nullptr, sizeof text);
  EXPECT_EQ(v.Kind(), vkAnsiString);
  EXPECT_EQ(v.AnsiBytes(), "a\r\nb");
  // LONG: exactly Length bytes, no line-end change.
  EXPECT_EQ(OracleToNativeData(text, otLong, 0, nullptr, 3).AnsiBytes(), "a\nb");
  int32_t n = -42;
  EXPECT_EQ(OracleToNativeData(reinterpret_cast<uint8_t*>(&n), otInteger, 0, nullptr, 4).AsInteger(), -42);
  EXPECT_EQ(OracleToNativeData(text, otLongRaw, 0, nullptr, 2).ByteArray(),
            (std::vector<uint8_t>{'a', '\n'}));
  EXPECT_TRUE(OracleToNativeData(text, 999, 0, nullptr, 1).IsEmpty());
  // Either text form is a string; only UTF-16 text is a wide one.
  EXPECT_TRUE(VarIsString(v));
  EXPECT_FALSE(VarIsWideString(v));
  EXPECT_TRUE(VarIsString(OraVariant(String(u"x"))) && VarIsWideString(OraVariant(String(u"x"))));
  EXPECT_FALSE(VarIsString(OraVariant(int32_t{1})));
}

TEST(OracleError, MessageCutKeepsWholeCharacters) {
  std::string s(1022, 'x');
  s += "\xC3\xA9tail";  // a two-byte character across the 1023-byte line
  EXPECT_EQ(CutWholeCharacters(s, 1023, "UTF-8"), std::string(1022, 'x'));
  EXPECT_EQ(CutWholeCharacters(std::string(2000, 'y'), 1023, "UTF-8").size(), 1023u);
  EXPECT_EQ(CutWholeCharacters(s, 1023, "CP1252").size(), 1023u);
  EXPECT_EQ(CutWholeCharacters("short", 1023, "UTF-8"), "short");
}

}  // namespace
}  // namespace kavo::test
