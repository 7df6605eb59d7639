// Parameter and column values: every type the layer converts, NULL, and the
// edge cases of text lengths, empty texts and times with milliseconds.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "ib/ib_character_set.h"
#include "testkit/ib_support.h"
#include "rtl/bcd.h"
#include "rtl/datetime.h"
#include "rtl/format_settings.h"

namespace kavo::test {
namespace {

class ValuesTest : public EmbeddedDatabaseTest {
 protected:
  void SetUp() override {
    EmbeddedDatabaseTest::SetUp();
    TFormatSettings& fs = FormatSettings();
    saved_ = fs;
    fs.ShortDateFormat = u"dd/mm/yyyy";
    fs.LongTimeFormat = u"hh:nn:ss";
    fs.DateSeparator = u'/';
    fs.TimeSeparator = u':';
    fs.DecimalSeparator = u'.';
    db().Open();
    ExecuteCommitted(db(), {u"create table V (I integer, S smallint, B bigint, "
                            u"N numeric(15,2), N6 numeric(18,6), D double precision, F float, "
                            u"TS timestamp, DT date, TM time, C char(5), VC varchar(10), "
                            u"BL blob sub_type text, BO boolean, NN integer not null)"});
    tr().StartTransaction();
  }
  void TearDown() override { FormatSettings() = saved_; }

  // Inserts one row through `setter` on the parameters and reads it back.
  TIBSQL& Roundtrip(const String& columns, const std::function<void(TIBSQL&)>& setter) {
    ins_ = std::make_unique<TIBSQL>(nullptr);
    ins_->SetDatabase(&db());
    String values;
    for (Char c : columns) values += c == u',' ? String(u", :") : String(1, c);
    ins_->SQL().SetText(u"insert into V (NN, " + columns + u") values (0, :" + values + u")");
    setter(*ins_);
    ins_->ExecQuery();
    sel_ = std::make_unique<TIBSQL>(nullptr);
    sel_->SetDatabase(&db());
    sel_->SQL().SetText(u"select " + columns + u" from V");
    sel_->ExecQuery();
    EXPECT_FALSE(sel_->Eof());
    return *sel_;
  }

  TFormatSettings saved_;
  std::unique_ptr<TIBSQL> ins_, sel_;
};

TEST_F(ValuesTest, TextLongerThanTheParameterIsRefused) {
  TIBSQL q(nullptr);
  q.SetDatabase(&db());
  q.SQL().SetText(u"insert into V (NN, VC, C) values (0, :VC, :C)");
  q.Prepare();
  EXPECT_EQ(q.ParamByName(u"VC").MaxLen(), 10);
  EIBClientError e = ClientError([&] { q.ParamByName(u"VC").SetAsString(u"123456789012"); });
  EXPECT_EQ(e.Message(),
            u"Trying to store a string of length 12 into a field that can only contain 10");
  EXPECT_FALSE(q.ParamByName(u"VC").Modified());
  // Counted in bytes of the connection's code page: ten characters fit.
  q.ParamByName(u"VC").SetAsString(u"ççççççççça");
  EXPECT_THROW(q.ParamByName(u"C").SetAsString(u"abcdef"), EIBClientError);
  q.ParamByName(u"C").SetAsString(u"abcde");
  q.ExecQuery();
}

TEST_F(ValuesTest, TextParameterReusedRowAfterRowKeepsOnlyItsLastValue) {
  TIBSQL q(nullptr);
  q.SetDatabase(&db());
  q.SQL().SetText(u"insert into V (NN, VC) values (:NN, :VC)");
  q.Prepare();
  const std::vector<String> texts = {u"abcdefghij", u"xy", u"\u00e7a", u""};
  for (size_t i = 0; i < texts.size(); ++i) {
    q.ParamByName(u"NN").SetAsInteger(static_cast<int32_t>(i));
    q.ParamByName(u"VC").SetAsString(texts[i]);
    // A refused text leaves the one before it in place, also when the
    // character the set cannot hold comes after eight it can.
    EXPECT_THROW(q.ParamByName(u"VC").SetAsString(u"12345678901"), EIBClientError);
    try {
      q.ParamByName(u"VC").SetAsString(u"abcdefgh\u20ac");
      ADD_FAILURE() << "a character ISO8859_1 cannot hold was taken";
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message(), u"Parameter 'VC': 'abcdefgh\u20ac' cannot be stored in ISO8859_1");
    }
    q.ExecQuery();
  }
  TIBSQL sel(nullptr);
  sel.SetDatabase(&db());
  sel.SQL().SetText(u"select VC from V order by NN");
  sel.ExecQuery();
  for (const String& text : texts) {
    ASSERT_FALSE(sel.Eof());
    EXPECT_EQ(sel.FieldByName(u"VC").AsString(), text);
    sel.Next();
  }
}

TEST_F(ValuesTest, EmptyTextIsNullForNumbersAndEmptyForText) {
  TIBSQL& r = Roundtrip(u"I,VC", [](TIBSQL& q) {
    q.ParamByName(u"I").SetAsString(u"");
    q.ParamByName(u"VC").SetAsString(u"");
  });
  EXPECT_TRUE(r.FieldByName(u"I").IsNull());
  EXPECT_FALSE(r.FieldByName(u"VC").IsNull());
  EXPECT_EQ(r.FieldByName(u"VC").AsString(), u"");
}

TEST_F(ValuesTest, UnassignedParametersAreZeroNotNull) {
  TIBSQL& r = Roundtrip(u"I,VC,D", [](TIBSQL&) {});
  EXPECT_FALSE(r.FieldByName(u"I").IsNull());
  EXPECT_EQ(r.FieldByName(u"I").AsInteger(), 0);
  EXPECT_FALSE(r.FieldByName(u"VC").IsNull());
  EXPECT_EQ(r.FieldByName(u"VC").AsString(), u"");
  EXPECT_EQ(r.FieldByName(u"D").AsDouble(), 0.0);
}

TEST_F(ValuesTest, MillisecondsAreDropped) {
  TDateTime when = EncodeDate(2023, 7, 1) + EncodeTime(10, 15, 30, 750);
  TIBSQL& r = Roundtrip(u"TM,TS", [&](TIBSQL& q) {
    q.ParamByName(u"TM").SetAsTime(EncodeTime(10, 15, 30, 750));
    q.ParamByName(u"TS").SetAsDateTime(when);
  });
  EXPECT_EQ(r.FieldByName(u"TM").AsDateTime(), EncodeTime(10, 15, 30, 0));
  EXPECT_EQ(r.FieldByName(u"TM").AsString(), u"10:15:30");
  EXPECT_EQ(r.FieldByName(u"TS").AsDateTime(), EncodeDate(2023, 7, 1) + EncodeTime(10, 15, 30, 0));
  EXPECT_EQ(r.FieldByName(u"TS").AsString(), u"01/07/2023 10:15:30");
}

TEST_F(ValuesTest, DatesBeforeTheCalendarOriginAndDateTexts) {
  TIBSQL& r = Roundtrip(u"TS,DT", [](TIBSQL& q) {
    q.ParamByName(u"TS").SetAsDateTime(EncodeDate(1850, 6, 15) - 0.5);
    q.ParamByName(u"DT").SetAsString(u"29/02/2024");
  });
  EXPECT_EQ(r.FieldByName(u"TS").AsDateTime(), EncodeDate(1850, 6, 15) - 0.5);
  EXPECT_EQ(r.FieldByName(u"DT").AsDateTime(), EncodeDate(2024, 2, 29));
  EXPECT_EQ(r.FieldByName(u"DT").AsString(), u"29/02/2024");
  EXPECT_EQ(ClientError([&] { r.FieldByName(u"DT").AsInteger(); }).Message(),
            u"Invalid data conversion");
}

TEST_F(ValuesTest, IntegersAndScaledNumbers) {
  const int64_t big = 9007199254740993LL;  // not representable as a double
  TIBSQL& r = Roundtrip(u"I,S,B,N,N6", [&](TIBSQL& q) {
    q.ParamByName(u"I").SetAsInteger(-2147483647 - 1);
    q.ParamByName(u"S").SetAsShort(-32768);
    q.ParamByName(u"B").SetAsInt64(big);
    q.ParamByName(u"N").SetAsCurrency(-125000);  // -12.5
    q.ParamByName(u"N6").SetAsString(u"1.234567");
  });
  EXPECT_EQ(r.FieldByName(u"I").AsInteger(), -2147483647 - 1);
  EXPECT_EQ(r.FieldByName(u"S").AsShort(), -32768);
  EXPECT_EQ(r.FieldByName(u"B").AsInt64(), big);
  EXPECT_EQ(r.FieldByName(u"B").AsString(), u"9007199254740993");
  TIBXSQLVAR& n = r.FieldByName(u"N");
  EXPECT_EQ(n.SQLScale(), -2);
  EXPECT_EQ(n.AsString(), u"-12.5");
  EXPECT_EQ(n.AsCurrency(), -125000);
  EXPECT_DOUBLE_EQ(n.AsDouble(), -12.5);
  EXPECT_EQ(n.AsInteger(), -12);
  EXPECT_EQ(n.SQLPrecision(), 18);  // derived: a version-1 entry has no precision
  EXPECT_EQ(r.FieldByName(u"N6").AsString(), u"1.234567");
  EXPECT_EQ(r.FieldByName(u"N6").AsCurrency(), 12346);
}

// A scale of -n divides by ten to the n: multiplying by the inexact 10^-n
// misses the nearest double of the decimal value.
TEST_F(ValuesTest, ScaledNumbersReadAsTheNearestDouble) {
  TIBSQL& r = Roundtrip(u"N,N6", [](TIBSQL& q) {
    q.ParamByName(u"N").SetAsString(u"0.35");
    q.ParamByName(u"N6").SetAsString(u"-0.299974");
  });
  EXPECT_EQ(r.FieldByName(u"N").AsDouble(), 0.35);
  EXPECT_EQ(r.FieldByName(u"N6").AsDouble(), -0.299974);
  EXPECT_EQ(r.FieldByName(u"N6").AsFloat(), -0.299974f);
}

// Eighteen digits with two decimals do not fit the currency form's range:
// the text must still be the stored value, digit for digit.
TEST_F(ValuesTest, LargeScaledNumbersReadAsTheirExactText) {
  ExecuteCommitted(db(), {u"alter table V add N18 numeric(18,2)"});
  TIBSQL& r = Roundtrip(u"N18", [](TIBSQL& q) {
    q.ParamByName(u"N18").SetAsString(u"-9999999999999999.99");
  });
  EXPECT_EQ(r.FieldByName(u"N18").AsString(), u"-9999999999999999.99");
  EXPECT_EQ(r.FieldByName(u"N18").AsInt64(), -9999999999999999LL);
  EXPECT_EQ(ClientError([&] { r.FieldByName(u"N18").AsCurrency(); }).Message(),
            u"Invalid data conversion");
}

TEST_F(ValuesTest, DecimalsAndVariantsTakeTheirOwnNativeForms) {
  TIBSQL& r = Roundtrip(u"N6,B,I,D,VC,TS,BO,BL", [](TIBSQL& q) {
    TIBXSQLVAR& n6 = q.ParamByName(u"N6");
    n6.SetAsBCD(StrToBcd(u"-123456789012.123456"));
    EXPECT_EQ(n6.SQLType(), SQL_INT64);
    EXPECT_EQ(n6.SQLScale(), -6);
    // Trailing zeros go only when the digits would not fit otherwise.
    TIBXSQLVAR& b = q.ParamByName(u"B");
    b.SetAsBCD(StrToBcd(u"9223372036854775807.0"));
    EXPECT_EQ(b.SQLScale(), 0);
    EXPECT_EQ(ClientError([&] { b.SetAsBCD(StrToBcd(u"9223372036854775808")); }).Message(),
              u"Invalid data conversion");
    TIBXSQLVAR& i = q.ParamByName(u"I");
    EXPECT_EQ(ClientError([&] { i.SetAsVariant(OraVariant::Array({OraVariant(1)})); }).Message(),
              u"Unsupported feature");
    EXPECT_FALSE(i.Modified());
    i.SetAsVariant(OraVariant(-7));
    q.ParamByName(u"D").SetAsVariant(OraVariant(0.5));
    q.ParamByName(u"VC").SetAsVariant(OraVariant::Ansi("abc"));
    q.ParamByName(u"TS").SetAsVariant(OraVariant::Date(EncodeDate(2026, 12, 10)));
    q.ParamByName(u"BO").SetAsVariant(OraVariant(true));
    q.ParamByName(u"BL").SetAsVariant(OraVariant::Bytes({0, 1, 0xFF}));
  });
  EXPECT_EQ(r.FieldByName(u"B").AsInt64(), INT64_MAX);
  EXPECT_EQ(r.FieldByName(u"I").AsInteger(), -7);
  EXPECT_EQ(r.FieldByName(u"D").AsDouble(), 0.5);
  EXPECT_EQ(r.FieldByName(u"VC").AsString(), u"abc");
  EXPECT_EQ(r.FieldByName(u"TS").AsDateTime(), EncodeDate(2026, 12, 10));
  EXPECT_TRUE(r.FieldByName(u"BO").AsBoolean());
  EXPECT_EQ(r.FieldByName(u"BL").AsBytes(), std::string("\0\1\xFF", 3));
  EXPECT_EQ(QueryValue(db(), tr(), u"select N6 || '' from V"), u"-123456789012.123456");
  // NULL through an empty and a null variant alike.
  TIBSQL q(nullptr);
  q.SetDatabase(&db());
  q.SQL().SetText(u"update V set I = :I, D = :D");
  q.ParamByName(u"I").SetAsVariant(OraVariant());
  q.ParamByName(u"D").SetAsVariant(OraVariant::Null());
  q.ExecQuery();
  EXPECT_EQ(QueryValue(db(), tr(), u"select coalesce(I, D, 'both null') from V"), u"both null");
}

TEST_F(ValuesTest, FloatsTextsBlobsAndBooleans) {
  String long_text(70000, u'x');
  long_text += u"ção";
  TIBSQL& r = Roundtrip(u"D,F,C,BL,BO", [&](TIBSQL& q) {
    q.ParamByName(u"D").SetAsDouble(0.1);
    q.ParamByName(u"F").SetAsFloat(2.5f);
    q.ParamByName(u"C").SetAsString(u"ab");
    q.ParamByName(u"BL").SetAsString(long_text);
    q.ParamByName(u"BO").SetAsBoolean(true);
  });
  EXPECT_DOUBLE_EQ(r.FieldByName(u"D").AsDouble(), 0.1);
  EXPECT_EQ(r.FieldByName(u"D").AsString(), u"0.1");
  EXPECT_FLOAT_EQ(r.FieldByName(u"F").AsFloat(), 2.5f);
  EXPECT_EQ(r.FieldByName(u"C").AsString(), u"ab   ");
  EXPECT_EQ(r.FieldByName(u"BL").AsString(), long_text);
  EXPECT_TRUE(r.FieldByName(u"BO").AsBoolean());
  EXPECT_EQ(r.FieldByName(u"BO").AsString(), u"True");
}

TEST_F(ValuesTest, NullParametersAndColumns) {
  TIBSQL& r = Roundtrip(u"I,VC,BL,TS", [](TIBSQL& q) {
    q.ParamByName(u"I").SetAsInteger(5);
    q.ParamByName(u"I").Clear();
    q.ParamByName(u"VC").SetIsNull(true);
    q.ParamByName(u"BL").Clear();
    q.ParamByName(u"TS").Clear();
  });
  for (const Char* c : {u"I", u"VC", u"BL", u"TS"}) {
    EXPECT_TRUE(r.FieldByName(c).IsNull()) << StringToUtf8(c);
    EXPECT_EQ(r.FieldByName(c).AsString(), u"");
  }
  EXPECT_EQ(r.FieldByName(u"I").AsInteger(), 0);
  EXPECT_EQ(r.FieldByName(u"TS").AsDateTime(), 0.0);
  // Assigning a value clears the NULL again.
  TIBXSQLVAR& p = ins_->ParamByName(u"I");
  p.SetIsNull(true);
  EXPECT_TRUE(p.IsNull());
  p.SetAsInteger(3);
  EXPECT_FALSE(p.IsNull());
}

TEST_F(ValuesTest, NullOnANotNullableEntryMakesItNullable) {
  TIBSQL q(nullptr);
  q.SetDatabase(&db());
  q.SQL().SetText(u"select NN from V");
  q.Prepare();
  TIBXSQLVAR& column = q.FieldByName(u"NN");
  EXPECT_FALSE(column.IsNullable());
  column.SetIsNull(true);
  EXPECT_TRUE(column.IsNullable());
  EXPECT_TRUE(column.IsNull());
}

TEST_F(ValuesTest, TextForOtherTypesIsConvertedByTheServer) {
  TIBSQL& r = Roundtrip(u"I,D", [](TIBSQL& q) {
    q.ParamByName(u"I").SetAsString(u"123");
    q.ParamByName(u"D").SetAsString(u"2.25");
  });
  EXPECT_EQ(r.FieldByName(u"I").AsInteger(), 123);
  EXPECT_DOUBLE_EQ(r.FieldByName(u"D").AsDouble(), 2.25);
  TIBSQL bad(nullptr);
  bad.SetDatabase(&db());
  bad.SQL().SetText(u"insert into V (NN, I) values (0, :I)");
  bad.ParamByName(u"I").SetAsString(u"twelve");
  try {
    bad.ExecQuery();
    FAIL();
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.SQLCode(), -303);
    EXPECT_NE(e.Message().find(u"conversion error from string \"twelve\""), String::npos)
        << StringToUtf8(e.Message());
  }
}

// A fixed-length text reads back as many characters as it was declared
// with, whatever character set the column has and the connection asks for.
TEST_F(ValuesTest, FixedTextReadsItsDeclaredCharacters) {
  ExecuteCommitted(db(), {u"create table W (A char(10) character set WIN1256, "
                          u"K char(10) character set KOI8U, U char(10) character set UTF8, "
                          u"F char(10) character set UNICODE_FSS, "
                          u"S char(4) character set SJIS_0208)"});
  ExecuteCommitted(db(), {u"insert into W values ('abc', 'def', '\u00e7\u00e3o', 'ghi', 'jk')"});
  auto padded = [](const String& text, size_t n) { return text + String(n - text.size(), u' '); };
  struct Case {
    const Char* lc_ctype;
    const Char* columns;
  };
  // The Arabic and Cyrillic sets cannot hold the UTF8 column's letters.
  const Case cases[] = {{u"NONE", u"A,K,U,F,S"},     {u"UTF8", u"A,K,U,F,S"},
                        {u"ISO8859_1", u"A,K,U,F,S"}, {u"WIN1256", u"A,K,F,S"},
                        {u"KOI8U", u"A,K,F,S"},       {u"UNICODE_FSS", u"A,K,U,F,S"}};
  const std::map<String, String> expected = {
      {u"A", padded(u"abc", 10)}, {u"K", padded(u"def", 10)},
      {u"U", padded(u"\u00e7\u00e3o", 10)}, {u"F", padded(u"ghi", 10)}, {u"S", padded(u"jk", 4)}};
  for (const Case& c : cases) {
    Connection other(Name());
    other.db->Params().SetStrings(2, String(u"lc_ctype=") + c.lc_ctype);
    other.db->Open();
    other.tr->StartTransaction();
    TIBSQL q(nullptr);
    q.SetDatabase(other.db.get());
    q.SQL().SetText(String(u"select ") + c.columns + u" from W");
    q.ExecQuery();
    ASSERT_FALSE(q.Eof());
    for (int i = 0; i < q.Current().Count(); ++i) {
      TIBXSQLVAR& column = q.Fields(i);
      EXPECT_EQ(column.AsString(), expected.at(column.Name()))
          << StringToUtf8(c.lc_ctype) << " " << StringToUtf8(column.Name());
    }
    // System relations are no exception: their names are 31 characters.
    if (String(c.lc_ctype) == u"NONE") {
      EXPECT_EQ(QueryValue(*other.db, *other.tr,
                           u"select RDB$RELATION_NAME from RDB$RELATIONS "
                           u"where RDB$RELATION_NAME = 'W'"),
                padded(u"W", 31));
    }
    other.tr->Commit();
    other.db->Close();
  }
}

// Texts the server quotes in its messages (data, names) come in the
// connection's character set, whatever the process's code page.
TEST_F(ValuesTest, ServerMessagesQuoteTextInTheConnectionsCharacterSet) {
  for (const Char* cs : {u"ISO8859_1", u"WIN1252", u"UTF8", u"NONE"}) {
    Connection c(Name());
    c.db->Params().SetStrings(2, String(u"lc_ctype=") + cs);
    c.db->Open();
    c.tr->StartTransaction();
    auto message_of = [&](const String& sql, const std::function<void(TIBSQL&)>& assign) {
      TIBSQL q(nullptr);
      q.SetDatabase(c.db.get());
      q.SQL().SetText(sql);
      try {
        assign(q);
        q.ExecQuery();
      } catch (const EIBInterBaseError& e) {
        return e.Message();
      }
      ADD_FAILURE() << "no server error";
      return String();
    };
    String m = message_of(u"insert into V (NN, I) values (0, :I)",
                          [](TIBSQL& q) { q.ParamByName(u"I").SetAsString(u"a\u00e7\u00e3o"); });
    EXPECT_NE(m.find(u"conversion error from string \"a\u00e7\u00e3o\""), String::npos)
        << StringToUtf8(cs) << ": " << StringToUtf8(m);
    m = message_of(u"select * from \"TABELA\u00c7\u00c3O\"", [](TIBSQL&) {});
    EXPECT_NE(m.find(u"\r\nTABELA\u00c7\u00c3O\r\n"), String::npos)
        << StringToUtf8(cs) << ": " << StringToUtf8(m);
  }
}

// The widths used for Firebird are the server's own.
TEST_F(ValuesTest, CharacterSetWidthsAgreeWithTheServer) {
  TIBSQL q(nullptr);
  q.SetDatabase(&db());
  q.SQL().SetText(u"select RDB$CHARACTER_SET_ID, RDB$BYTES_PER_CHARACTER, RDB$CHARACTER_SET_NAME "
                  u"from RDB$CHARACTER_SETS");
  int sets = 0;
  for (q.ExecQuery(); !q.Eof(); q.Next(), ++sets)
    EXPECT_EQ(FirebirdBytesPerCharacter(q.Fields(0).AsInteger()), q.Fields(1).AsInteger())
        << StringToUtf8(q.Fields(2).AsString());
  EXPECT_GT(sets, 50);
}

}  // namespace
}  // namespace kavo::test
