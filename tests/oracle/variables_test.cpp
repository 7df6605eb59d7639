// Variables of a statement, without a database: declaration, values and
// their bound form, arrays and PL/SQL tables, the stored form and the
// statement text they belong to.
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
