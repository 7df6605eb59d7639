// Value buffers and conversions: DATE bytes, UTF-8, line ends, variable
// values and their stored form, without a database.
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

class VariableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetAnsiCodePage("CP1252");
    saved_ = FormatSettings();
    FormatSettings() = FormatSettingsFromPatterns("%d/%m/%Y", "%H:%M:%S", "AM", "PM", ",", ".");
  }
  void TearDown() override {
    SetAnsiCodePage("UTF-8");
    FormatSettings() = saved_;
  }
  TFormatSettings saved_;
  TOracleQuery q_{nullptr};
};

TEST_F(VariableTest, DeclarationSizesAndNames) {
  q_.DeclareVariable(u"name", otString);
  q_.DeclareVariable(u":vzo__rowid", otString);
  q_.DeclareVariable(u"n", otInteger);
  q_.DeclareVariable(u"d", otDate);
  EXPECT_EQ(q_.VariableName(0), u":NAME");
  EXPECT_EQ(q_.Variables().Data(0).bufsize, 4001);
  EXPECT_EQ(q_.Variables().Data(1).bufsize, 501);
  EXPECT_EQ(q_.Variables().Data(2).bufsize, 4);
  EXPECT_EQ(q_.Variables().Data(3).bufsize, 7);
  EXPECT_TRUE(q_.GetVariable(u"NAME").IsEmpty()) << "a new variable is NULL";
  // Re-declaring keeps the position.
  q_.DeclareVariable(u"NAME", otFloat);
  EXPECT_EQ(q_.VariableIndex(u":name"), 0);
  EXPECT_EQ(q_.VariableType(0), otFloat);

  EXPECT_EQ(MessageOf([&] { q_.DeclareVariable(u"", otString); }),
            u"You cannot declare a variable with an empty name");
  EXPECT_EQ(MessageOf([&] { q_.DeclareVariable(u"x", 2); }), u"Unsupported variable type");
  EXPECT_EQ(MessageOf([&] { q_.SetVariable(u"nope", 1); }), u"Variable :NOPE not declared");
  EXPECT_EQ(MessageOf([&] { q_.GetVariable(u"nope"); }), u"Unknown variable: :NOPE");
  // Names are found with or without their colon, in any case, accents
  // included; nothing else is the same name.
  q_.DeclareAndSet(u"A\u00e7\u00e3o", otInteger, 7);
  EXPECT_EQ(q_.VariableName(q_.VariableCount() - 1), u":A\u00c7\u00c3O");
  for (const char16_t* name : {u"a\u00e7\u00e3o", u":A\u00c7\u00c3O", u":a\u00c7\u00e3o"})
    EXPECT_EQ(q_.GetVariable(name).AsInteger(), 7) << StringToUtf8(name);
  EXPECT_EQ(MessageOf([&] { q_.GetVariable(u"acao"); }), u"Unknown variable: :ACAO");
  EXPECT_EQ(MessageOf([&] { q_.GetVariable(u"::a\u00e7\u00e3o"); }),
            u"Unknown variable: ::A\u00c7\u00c3O");
  EXPECT_EQ(MessageOf([&] { q_.SetVariable(u"a\u00e7\u00e3", 1); }), u"Variable :A\u00c7\u00c3 not declared");
  EXPECT_EQ(MessageOf([&] { q_.SetVariable(u"", 1); }), u"Variable : not declared");
  EXPECT_EQ(MessageOf([&] { q_.GetVariable(9); }), u"Variable 9 does not exist");
  EXPECT_EQ(MessageOf([&] { q_.SetVariable(u"n", u"abc"); }),
            u"Variant conversion error for variable :N");
  EXPECT_NE(MessageOf([&] { q_.DeclareVariable(u"obj", otObject); }).find(u"not supported"),
            String::npos);
  q_.DeclareVariable(u"lob", otCLOB);
  EXPECT_EQ(MessageOf([&] { q_.SetComplexVariable(u"lob", nullptr); }),
            u"Assign TLOBLocator instance to variable :LOB");
}

TEST_F(VariableTest, StringValuesAreCutAndCRsRemoved) {
  q_.DeclareVariable(u"s", otString);
  q_.SetVariable(u"s", String(5000, u'a'));
  EXPECT_EQ(q_.GetVariable(u"s").AsString(), String(4000, u'a'));
  q_.SetVariable(u"s", u"one\r\ntwo");
  const TVariableData& v = q_.Variables().Data(0);
  EXPECT_STREQ(reinterpret_cast<const char*>(v.buf.data()), "one\ntwo");
  EXPECT_EQ(q_.GetVariable(u"s").AsString(), u"one\r\ntwo");
  // A cut never leaves half a UTF-8 character behind.
  q_.DeclareVariableCharSet(u"s", ocfDatabase, ocsAL32UTF8);
  q_.SetVariable(u"s", String(3999, u'b') + u"\u20ac");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(v.buf.data())).size(), 3999u);
  EXPECT_EQ(q_.GetVariable(u"s").AsString(), String(3999, u'b'));
}

TEST_F(VariableTest, DatesNullsAndZeroDate) {
  TOracleSession session(nullptr);
  q_.SetSession(&session);
  q_.DeclareVariable(u"d", otDate);
  q_.SetVariable(u"d", OraVariant::Date(0));
  EXPECT_TRUE(q_.Variables().Data(0).IsNull(0)) << "date 0 is NULL by default";
  session.Preferences().SetZeroDateIsNull(false);
  q_.SetVariable(u"d", OraVariant::Date(0));
  ASSERT_FALSE(q_.Variables().Data(0).IsNull(0));
  EXPECT_DOUBLE_EQ(q_.GetVariable(u"d").AsDateTime(), 0.0);
  // Text is read with the format settings.
  q_.SetVariable(u"d", u"31/12/1999 23:59:58");
  EXPECT_DOUBLE_EQ(q_.GetVariable(u"d").AsDateTime(),
                   EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 58, 0));
  q_.SetVariable(u"d", OraVariant::Null());
  EXPECT_TRUE(q_.GetVariable(u"d").IsEmpty());
  session.SetNullValue(nvNull);
  EXPECT_TRUE(q_.GetVariable(u"d").IsNull());
  q_.SetSession(nullptr);
}

TEST_F(VariableTest, ArraysAndPlsqlTables) {
  q_.DeclareVariable(u"n", otInteger);
  q_.SetVariable(u"n", OraVariant::Array({1, OraVariant(), 3}, 1));
  OraVariant back = q_.GetVariable(u"n");
  ASSERT_TRUE(back.IsArray());
  EXPECT_EQ(back.LowBound(), 1);
  EXPECT_EQ(back, OraVariant::Array({1, OraVariant(), 3}, 1));
  q_.SetVariable(u"n", 7);
  EXPECT_EQ(q_.Variables().Data(0).ArraySize, 1) << "a single value makes it scalar again";

  q_.DeclareVariable(u"t", otString);
  q_.DimPLSQLTable(u"t", 2, 10);
  EXPECT_EQ(q_.Variables().Data(1).bufsize, 11);
  q_.SetVariable(u"t", OraVariant::Array({u"a", u"b"}));
  try {
    q_.SetVariable(u"t", OraVariant::Array({u"a", u"b", u"c"}));
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"Array is larger than PL/SQL Table (3 > 2)");
  }
  try {
    q_.SetVariable(u"t", u"x");
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u":T is a PL/SQL Table, assign a variant array to it");
  }
  q_.DeclareVariable(u"s", otSubst);
  EXPECT_THROW(q_.SetVariable(u"s", OraVariant::Array({1})), Exception);
  try {
    q_.DimPLSQLTable(u"n", 2, 5);
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"You can only specify a string size for a PL/SQL Table of strings");
  }
  q_.DeclareVariable(u"l", otLong);
  EXPECT_THROW(q_.DimPLSQLTable(u"l", 2, 0), Exception);
}

// Each element of a UTF-16 string array has a length of its own, bound and
// read back with it.
TEST_F(VariableTest, Utf16ArraysKeepALengthPerElement) {
  q_.DeclareVariable(u"w", otString);
  q_.DeclareVariableCharSet(u"w", ocfNational, ocsAL16UTF16);
  OraVariant values = OraVariant::Array({u"a", u"longer text", OraVariant(), u"\u20ac\u20ac"});
  q_.SetVariable(u"w", values);
  EXPECT_EQ(q_.GetVariable(u"w"), values);
  EXPECT_EQ(q_.Variables().Data(0).alen, (std::vector<ub2>{2, 22, 0, 4}))
      << "the lengths handed to OCI";
  q_.SetVariable(u"w", u"single");
  EXPECT_EQ(q_.GetVariable(u"w").AsString(), u"single");
}

// A text variable bound with smaller elements than its own goes out as a
// copy with that spacing, each text cut to whole characters; only what OCI
// wrote into the copy comes back.
TEST_F(VariableTest, BoundCopiesKeepTheSpacingAndWholeCharacters) {
  q_.DeclareVariable(u"s", otString);
  q_.DeclareVariableCharSet(u"s", ocfDatabase, ocsAL32UTF8);
  q_.SetVariable(u"s", OraVariant::Array({u"a\u00e9\u20acb", u"xy"}));
  TVariableData& v = q_.Variables().Data(0);
  auto* copy = static_cast<uint8_t*>(v.BindBuffer(5));
  ASSERT_NE(copy, v.buf.data());
  EXPECT_EQ(std::string(reinterpret_cast<char*>(copy), 10),
            std::string("a\xC3\xA9\0\0xy\0\0\0", 10));
  EXPECT_EQ(v.BindLengths(), nullptr);
  auto texts = [&](const String& name) {
    std::vector<String> out;
    OraVariant value = q_.GetVariable(name);
    for (const OraVariant& item : value.Items()) out.push_back(item.AsString());
    return out;
  };
  EXPECT_EQ(texts(u"s"), (std::vector<String>{u"a\u00e9\u20acb", u"xy"}));
  std::memcpy(copy + 5, "zz", 3);
  v.ReturnBindBuffer();
  EXPECT_EQ(texts(u"s"), (std::vector<String>{u"a\u00e9\u20acb", u"zz"}));
  EXPECT_EQ(v.BindBuffer(v.bufsize), v.buf.data()) << "its own buffer when the size allows";

  // UTF-16: whole units, never half a surrogate pair, a length per element.
  q_.DeclareVariable(u"w", otString);
  q_.DeclareVariableCharSet(u"w", ocfNational, ocsUTF16);
  q_.SetVariable(u"w", OraVariant::Array({u"ab\U0001F600", u"c"}));
  TVariableData& w = q_.Variables().Data(1);
  copy = static_cast<uint8_t*>(w.BindBuffer(7));
  ASSERT_NE(w.BindLengths(), nullptr);
  EXPECT_EQ(std::vector<ub2>(w.BindLengths(), w.BindLengths() + 2), (std::vector<ub2>{4, 2}));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(copy), 9), std::string("a\0b\0\0\0\0c\0", 9));
  EXPECT_EQ(texts(u"w"), (std::vector<String>{u"ab\U0001F600", u"c"}));
}

TEST_F(VariableTest, LongRawAndLongTakeExactSizes) {
  q_.DeclareVariable(u"r", otLongRaw);
  q_.SetVariable(u"r", OraVariant::Bytes({1, 2, 3}));
  EXPECT_EQ(q_.Variables().Data(0).len, 3);
  EXPECT_EQ(q_.GetVariable(u"r").ByteArray(), (std::vector<uint8_t>{1, 2, 3}));
  q_.DeclareVariable(u"l", otLong);
  q_.SetVariable(u"l", u"a\r\nb");
  EXPECT_EQ(q_.Variables().Data(1).len, 3);
  EXPECT_EQ(q_.GetVariable(u"l").AsString(), u"a\r\nb");
}

// A declared text variable is an empty text whatever its memory held
// before: nothing of a former value is sent, kept, stored or read back. A
// fixed-width one is sent whole, so all of it is zero.
TEST_F(VariableTest, ANewTextVariableHoldsNothingOfFormerMemory) {
  for (int type : {otString, otPLSQLString, otChar}) {
    SCOPED_TRACE(type);
    q_.DeleteVariables();
    q_.DeclareAndSet(u"old", type, String(4000, u'x'));
    q_.DeleteVariables();
    q_.DeclareVariable(u"s", type);
    TVariableData& v = q_.Variables().Data(0);
    EXPECT_TRUE(q_.GetVariable(u"s").IsEmpty());
    auto* copy = static_cast<uint8_t*>(v.BindBuffer(10));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(copy), 10), std::string(10, '\0'))
        << "a NULL text goes out as an empty one";
    if (type == otChar) {
      EXPECT_EQ(std::count(v.buf.begin(), v.buf.end(), 0), v.bufsize);
    }
    // What a PL/SQL block or RETURNING writes into the copy comes back whole.
    std::memcpy(copy, "ret", 4);
    v.indp[0] = 0;
    v.ReturnBindBuffer();
    EXPECT_EQ(q_.GetVariable(u"s").AsString(), u"ret");
    q_.SetVariable(u"s", u"ab");
    EXPECT_EQ(q_.GetVariable(u"s").AsString(), u"ab");
  }
  // A variable declared after the statement is cleared starts as new, nothing
  // of the variables before it kept: no table, character set, array, value.
  q_.DeleteVariables();
  q_.DeclareVariable(u"t", otString);
  q_.DimPLSQLTable(u"t", 5, 20);
  q_.SetVariable(u"t", OraVariant::Array({u"a", u"b"}));
  q_.DeclareVariable(u"w", otString);
  q_.DeclareVariableCharSet(u"w", ocfNational, ocsUTF16);
  q_.SetVariable(u"w", u"wide");
  q_.DeclareAndSet(u"n", otInteger, 5);
  q_.Clear();
  for (const char16_t* name : {u"n", u"w", u"t"}) {
    SCOPED_TRACE(StringToUtf8(name));
    q_.DeclareVariable(name, otString);
    const TVariableData& v = q_.Variables().Data(q_.VariableCount() - 1);
    EXPECT_FALSE(v.IsPLSQLTable);
    EXPECT_EQ(v.ArraySize, 1);
    EXPECT_EQ(v.CharSetID, 0);
    EXPECT_EQ(v.bufsize, 4001);
    EXPECT_TRUE(q_.GetVariable(name).IsEmpty());
    q_.SetVariable(name, u"z");
    EXPECT_EQ(q_.GetVariable(name).AsString(), u"z");
  }
  // Declared again under its own name, a variable starts as new too.
  q_.DeclareVariable(u"t", otInteger);
  EXPECT_TRUE(q_.GetVariable(u"t").IsEmpty());
  EXPECT_EQ(q_.VariableCount(), 3);

  // A stored text need not carry its terminator.
  auto le = [](std::initializer_list<int32_t> ints) {
    std::string s;
    for (int32_t v : ints)
      for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return s;
  };
  q_.DeleteVariables();
  q_.DeclareAndSet(u"old", otString, String(4000, u'y'));
  q_.DeleteVariables();
  q_.Variables().Load(le({3, 1, 2}) + ":T" + le({otString, 3}) + "abc" + le({0}));
  EXPECT_EQ(q_.GetVariable(u"t").AsString(), u"abc");
  EXPECT_EQ(q_.Variables().Save(), le({4, 1, 4}) + std::string(":\0T\0", 4) +
                                       le({otString, 4}) + std::string("abc\0", 4) + le({0}));
}

// A statement text set for the layer's own use reads, as lines and as text,
// as the same text set as lines does; the list, once asked for, is the
// statement again, and a list that reports changes reports this one too.
TEST_F(VariableTest, StatementTextReadsAsTheSameTextSetAsLines) {
  for (const char16_t* text : {u"", u"x", u"\r\n", u"\n\r", u"a\n\r", u"a\r\r\nb", u"a\rb\nc\r\n",
                               u"select 1\r\nfrom dual\r\n", u"\r\n\r\nz", u"  \n"}) {
    SCOPED_TRACE(StringToUtf8(text));
    TOracleQuery as_lines(nullptr), as_text(nullptr);
    as_lines.SetSQLText(text);
    as_text.SetStatementText(text);
    EXPECT_EQ(as_text.SubstitutedSQL(), as_lines.SubstitutedSQL());
    EXPECT_EQ(as_text.SQL().Items(), as_lines.SQL().Items());
    EXPECT_EQ(as_text.SubstitutedSQL(), as_lines.SubstitutedSQL());
  }
  TOracleQuery q(nullptr);
  q.SetStatementText(u"select 1\nfrom dual");
  q.SQL().Add(u"where 1 = 1");
  EXPECT_EQ(q.SubstitutedSQL(), u"select 1\r\nfrom dual\r\nwhere 1 = 1\r\n");
  q.SetStatementText(u"select 2 from dual");
  EXPECT_EQ(q.SubstitutedSQL(), u"select 2 from dual\r\n");
  q.SetSQLText(u"select 3 from dual");
  EXPECT_EQ(q.SubstitutedSQL(), u"select 3 from dual\r\n");
  q.SetStatementText(u"select 4 from dual");
  q.Clear();
  EXPECT_EQ(q.SubstitutedSQL(), u"");
  EXPECT_EQ(q.SQL().Count(), 0);

  int changes = 0;
  q.SQL().OnChange = [&] { ++changes; };
  q.SetStatementText(u"select 5\rfrom dual");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(q.SQL().Items(), (std::vector<String>{u"select 5", u"from dual"}));
}

TEST_F(VariableTest, StoredFormRoundTripAndVersions) {
  q_.DeclareAndSet(u"name", otString, u"x\u00e9");
  q_.DeclareAndSet(u"n", otInteger, 42);
  q_.DeclareVariable(u"empty", otDate);
  std::string stored = q_.Variables().Save();
  TOracleQuery other(nullptr);
  other.Variables().Load(stored);
  ASSERT_EQ(other.VariableCount(), 3);
  EXPECT_EQ(other.GetVariable(u"name").AsString(), u"x\u00e9");
  EXPECT_EQ(other.GetVariable(u"n").AsInteger(), 42);
  EXPECT_TRUE(other.GetVariable(u"empty").IsEmpty());

  auto le = [](std::initializer_list<int32_t> ints) {
    std::string s;
    for (int32_t v : ints)
      for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return s;
  };
  // Version 1: ANSI names, no values.
  other.Variables().Load(le({1, 1, 2}) + ":A" + le({otInteger}));
  EXPECT_EQ(other.VariableName(0), u":A");
  EXPECT_TRUE(other.GetVariable(u"a").IsEmpty());
  // Version 3: ANSI names, values and a PL/SQL table flag.
  other.Variables().Load(le({3, 1, 2}) + ":B" + le({otInteger, 4, 7, 0}));
  EXPECT_EQ(other.GetVariable(u"b").AsInteger(), 7);
  // Version 5 is refused.
  try {
    other.Variables().Load(le({5, 0}));
    ADD_FAILURE();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"Invalid version of Query variables");
  }
  // Copying between statements.
  q_.Variables().AssignTo(other.Variables());
  EXPECT_EQ(other.GetVariable(u"name").AsString(), u"x\u00e9");
}

TEST_F(VariableTest, ExchangeWithAParameterList) {
  q_.Variables().Assign({{u"id", 5}, {u"price", 2.5}, {u"name", u"x"},
                         {u"when", OraVariant::Date(EncodeDate(2020, 1, 2))}, {u"flag", true}});
  ASSERT_EQ(q_.VariableCount(), 5);
  EXPECT_EQ(q_.VariableType(0), otInteger);
  EXPECT_EQ(q_.VariableType(1), otFloat);
  EXPECT_EQ(q_.VariableType(2), otString);
  EXPECT_EQ(q_.VariableType(3), otDate);
  EXPECT_EQ(q_.GetVariable(u"flag").AsInteger(), 1);
  q_.SetVariable(u"name", OraVariant::Null());
  std::vector<TParamValue> back;
  q_.Variables().AssignTo(back);
  ASSERT_EQ(back.size(), 5u);
  EXPECT_EQ(back[0].name, u"ID");
  EXPECT_EQ(back[0].value.AsInteger(), 5);
  EXPECT_TRUE(back[2].value.IsEmpty());
  EXPECT_DOUBLE_EQ(back[3].value.AsDateTime(), EncodeDate(2020, 1, 2));
  EXPECT_THROW(q_.Variables().Assign({{u"raw", OraVariant::Bytes({1})}}), Exception);
}

TEST_F(VariableTest, SubstitutionReplacesOnlySubstVariables) {
  q_.SetSQLText(u"select :cols from t where a = :a -- :cols");
  q_.DeclareAndSet(u"cols", otSubst, u"x, y");
  q_.DeclareAndSet(u"a", otInteger, 1);
  EXPECT_EQ(q_.SubstitutedSQL(), u"select x, y from t where a = :a -- :cols\r\n");
}

// Numbers as text follow the program's one rule (the settings' decimal comma
// here), so values read through this layer and through fields agree.
TEST_F(VariableTest, NumbersAsTextUseTheProgramsFloatText) {
  EXPECT_EQ(OraVariant(2.5).AsString(), u"2,5");
  EXPECT_EQ(OraVariant(1e20).AsString(), u"1E20");
  EXPECT_EQ(OraVariant(0.1).AsString(), FloatToStr(0.1, FormatSettings(), 15));
  EXPECT_DOUBLE_EQ(OraVariant(u" 2,5 ").AsDouble(), 2.5);
  EXPECT_THROW(OraVariant(u"2.5").AsDouble(), EConvertError);
  EXPECT_THROW(OraVariant(u"0x10").AsDouble(), EConvertError);
}

TEST(SqlScan, VariablesOutsideLiteralsAndComments) {
  auto names = [](const String& sql, bool dups) {
    String joined;
    for (const auto& f : FindVariables(sql, dups)) joined += f.name + u"@" + IntToStr(f.position) + u" ";
    return joined;
  };
  String sql = u"select :a, ':b' /* :c */ , :a -- :d\nfrom t";
  EXPECT_EQ(names(sql, false), u"A@8 ");
  EXPECT_EQ(names(sql, true), u"A@8 A@28 ");
  EXPECT_EQ(names(u"begin :x := 1; end;", false), u"X@7 ");
  EXPECT_EQ(names(u"a := b::c", false), u"");
  EXPECT_EQ(names(u"where x = :1 and y = :\u00e9t\u00e9", false), u"1@11 \u00c9T\u00c9@22 ");
  // A line comment runs to CR LF.
  EXPECT_EQ(names(u"-- :a\r\n:b", false), u"B@8 ");
}

TEST(SqlScan, CommentRemovalKeepsHintsWhenAsked) {
  // Each comment leaves one blank.
  EXPECT_EQ(RemoveSQLComment(u"select /* c */ a -- x\r\nfrom t", false), u"select   a  from t");
  EXPECT_EQ(RemoveSQLComment(u"select '--x' from t", false), u"select '--x' from t");
  EXPECT_EQ(RemoveSQLComment(u"select /*+ index(t) */ a from t", true),
            u"select /*+ index(t) */ a from t");
  EXPECT_EQ(RemoveSQLComment(u"select /*+ index(t) */ a from t", false), u"select   a from t");
}

TEST(RowIdText, ExtendedAndRestrictedForms) {
  EXPECT_EQ(RowIdFromParts(73181, 4, 172, 0), u"AAAR3dAAEAAAACsAAA");
  EXPECT_EQ(RowIdFromParts(0, 2, 0x1234, 5), u"00001234.0005.0002");
}

TEST(SessionUsername, CombinedUserNameIsSplit) {
  TOracleSession s(nullptr);
  s.SetLogonUsername(u"scott/tiger@orcl as sysdba");
  s.DecodeUsername();
  EXPECT_EQ(s.LogonUsername(), u"scott");
  EXPECT_EQ(s.LogonPassword(), u"tiger");
  EXPECT_EQ(s.LogonDatabase(), u"orcl");
  EXPECT_EQ(s.ConnectAs(), caSYSDBA);

  s.SetLogonUsername(u"\"we/ird@user\"/\"p@ss\"@host/svc\tAS\tSysOper");
  s.DecodeUsername();
  EXPECT_EQ(s.LogonUsername(), u"\"we/ird@user\"");
  EXPECT_EQ(s.LogonPassword(), u"\"p@ss\"");
  EXPECT_EQ(s.LogonDatabase(), u"host/svc");
  EXPECT_EQ(s.ConnectAs(), caSYSOPER);

  s.SetLogonUsername(u"plain");
  s.SetLogonPassword(u"kept");
  s.DecodeUsername();
  EXPECT_EQ(s.LogonUsername(), u"plain");
  EXPECT_EQ(s.LogonPassword(), u"kept");

  s.SetLogonUsername(u"/");
  s.DecodeUsername();
  EXPECT_EQ(s.LogonUsername(), u"");
  EXPECT_EQ(s.LogonPassword(), u"");
}

}  // namespace
}  // namespace kavo::test
