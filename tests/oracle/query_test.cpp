// Statements against the OCI stand-in: variables, batches, typed readers,
// errors with their position, array DML, LONG pieces (describe and
// re-execution: query_describe_test.cpp).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "oracle/oci_library.h"
#include "oracle/oracle_error.h"
#include "oracle/query.h"
#include "oracle/session.h"
#include "rtl/code_page.h"
#include "rtl/format_settings.h"
#include "testkit/message_of.h"
#include "testkit/env.h"
#include "testkit/oracle_standin.h"
#include "query_fixture.h"

namespace kavo::test {
namespace {

TEST_F(QueryTest, MissingTableRaises942WithTheStatementAsInstance) {
  q_->SetSQLText(u"select * from no_such_table");
  try {
    q_->Execute();
    FAIL();
  } catch (const EOracleError& e) {
    EXPECT_EQ(e.ErrorCode(), 942);
    EXPECT_EQ(e.Instance(), q_.get());
    EXPECT_EQ(e.Session(), session_.get());
    EXPECT_EQ(e.Message().rfind(u"ORA-00942: table or view does not exist", 0), 0u)
        << StringToUtf8(e.Message());
  }
  EXPECT_TRUE(q_->Eof());
  EXPECT_EQ(q_->State(), qsIdle);
  // A number on the warning list raises the warning type instead.
  OracleWarningList = {942};
  EXPECT_THROW(q_->Execute(), EOracleWarning);
  OracleWarningList.clear();
}

TEST_F(QueryTest, ErrorLineAndPositionCountBytesWithoutCRs) {
  q_->SetSQLText(u"select 1,\r\n  2,\r\n    no_such_column\r\nfrom dual");
  try {
    q_->Execute();
    FAIL();
  } catch (const EOracleError& e) {
    EXPECT_EQ(e.ErrorCode(), 904) << StringToUtf8(e.Message());
  }
  EXPECT_EQ(q_->ErrorLine(), 3);
  EXPECT_EQ(q_->ErrorPosition(), 5);
  // A failure at the very start is line 1, position 1.
  q_->SetSQLText(u"bogus statement");
  EXPECT_THROW(q_->Execute(), EOracleError);
  EXPECT_EQ(q_->ErrorLine(), 1);
  EXPECT_EQ(q_->ErrorPosition(), 1);
}

TEST_F(QueryTest, RowsArriveInBatchesOfReadBuffer) {
  q_->SetSQLText(u"select id from rows60 order by id");
  q_->Execute();
  int rows = 0;
  for (; !q_->Eof(); q_->Next()) {
    ++rows;
    EXPECT_EQ(q_->FieldAsInteger(0), rows);
    EXPECT_EQ(q_->RowCount(), rows);
  }
  EXPECT_EQ(rows, 60);
  EXPECT_EQ(q_->FetchCalls(), 3) << "25, 25 and 10 rows; the short batch ends the result";
  EXPECT_EQ(q_->RowsProcessed(), 60);
  EXPECT_EQ(q_->ReturnCode(), 1403) << "the end of the rows is no error";

  TOracleQuery fifty(nullptr);
  fifty.SetSession(session_.get());
  fifty.SetSQLText(u"select id from rows60 where id <= 50");
  fifty.Execute();
  rows = 0;
  for (; !fifty.Eof(); fifty.Next()) ++rows;
  EXPECT_EQ(rows, 50);
  EXPECT_EQ(fifty.FetchCalls(), 3) << "25, 25 and an empty one";

  TOracleQuery single(nullptr);
  single.SetSession(session_.get());
  single.SetReadBuffer(0);
  EXPECT_EQ(single.ReadBuffer(), 1);
  single.SetSQLText(u"select id from rows60 where id <= 3");
  single.Execute();
  for (rows = 0; !single.Eof(); single.Next()) ++rows;
  EXPECT_EQ(rows, 3);
  EXPECT_EQ(single.FetchCalls(), 4);
}

// Every typed reader gives what the value read through the variant gives,
// whatever the text holds: plain ASCII, UTF-8, text that is not UTF-8 (read
// in the ANSI code page), and each kind of line end at the edges of the
// eight-byte words the readers scan; with the line-end conversion on and off.
TEST_F(QueryTest, TypedReadersReadWhatTheVariantReads) {
  ASSERT_EQ(standin_->Sql("kavo/secret",
                          "create table mixed (id number(9), n number(12,2), t varchar2(40), "
                          "d date);\n"
                          "insert into mixed values (20, 2.75, 'caf\xc3\xa9 \xe2\x82\xac', "
                          "to_date('2024-03-01 10:20:30', 'yyyy-mm-dd hh24:mi:ss'));\n"
                          "commit;\n"),
            0);
  const std::string saved_ansi = AnsiCodePage();
  SetAnsiCodePage("CP1252");
  session_->Preferences().SetConvertCRLF(false);  // the line ends go in as they are
  const std::vector<std::pair<String, String>> texts = {
      // as stored, as read with the conversion on
      {u"plain", u"plain"},
      {u"a\rb", u"a\r\nb"},
      {u"a\nb", u"a\r\nb"},
      {u"a\r\nb", u"a\r\nb"},
      {u"\n", u"\r\n"},
      {u"\r", u"\r\n"},
      {u"1234567\n", u"1234567\r\n"},
      {u"12345678\r", u"12345678\r\n"},
      {u"ABCDEFGHIJKLMNOP\n\n", u"ABCDEFGHIJKLMNOP\r\n\r\n"},
      {u"\u00e9t\u00e9 \u00e0 Paris", u"\u00e9t\u00e9 \u00e0 Paris"},  // CP1252 bytes
      {u"\u00e9t\u00e9\n", u"\u00e9t\u00e9\r\n"},
  };
  q_->SetSQLText(u"insert into mixed values (:id, :n, :t, sysdate)");
  for (size_t i = 0; i < texts.size(); ++i) {
    q_->DeclareAndSet(u"id", otInteger, static_cast<int32_t>(i + 1));
    q_->DeclareAndSet(u"n", otFloat, (i + 1) * 1.25);
    q_->DeclareAndSet(u"t", otString, texts[i].first);
    q_->Execute();
  }
  q_->DeclareAndSet(u"id", otInteger, 21);
  q_->DeclareAndSet(u"n", otFloat, OraVariant::Null());
  q_->DeclareAndSet(u"t", otString, OraVariant::Null());
  q_->Execute();
  session_->Commit();

  for (bool convert : {true, false}) {
    session_->Preferences().SetConvertCRLF(convert);
    TOracleQuery r(nullptr);
    r.SetSession(session_.get());
    r.SetReadBuffer(4);
    r.SetSQLText(u"select id, n, t, d from mixed order by id");
    r.Execute();
    int rows = 0;
    for (; !r.Eof(); r.Next()) {
      ++rows;
      SCOPED_TRACE("row " + std::to_string(rows) + (convert ? ", converting" : ""));
      // Within a batch the statement's results stay those of its fetch.
      EXPECT_EQ(r.RowsProcessed(), std::min(((rows - 1) / 4 + 1) * 4, 13));
      EXPECT_EQ(r.RowCount(), rows);
      const int id = r.FieldAsInteger(0);
      EXPECT_EQ(id, r.Field(0).AsInteger());
      EXPECT_EQ(r.FieldAsFloat(0), id);
      EXPECT_EQ(r.FieldAsString(2), r.Field(2).AsString());
      EXPECT_EQ(r.FieldAsString(1), r.Field(1).AsString());
      EXPECT_EQ(r.FieldAsFloat(1), r.Field(1).IsEmptyOrNull() ? 0.0 : r.Field(1).AsDouble());
      EXPECT_EQ(r.FieldAsDate(3), r.Field(3).AsDouble());
      if (id <= static_cast<int>(texts.size())) {
        EXPECT_EQ(r.FieldAsFloat(1), id * 1.25);
        EXPECT_EQ(r.FieldAsString(2), convert ? texts[id - 1].second : texts[id - 1].first);
      } else if (id == 20) {
        EXPECT_EQ(r.FieldAsString(2), u"caf\u00e9 \u20ac");
        EXPECT_EQ(r.FieldAsInteger(1), 3) << "a float read as an integer is rounded";
        EXPECT_DOUBLE_EQ(r.FieldAsDate(3), EncodeDate(2024, 3, 1) + EncodeTime(10, 20, 30, 0));
      } else {
        EXPECT_TRUE(r.FieldIsNull(2));
        EXPECT_EQ(r.FieldAsString(2), u"");
        EXPECT_EQ(r.FieldAsFloat(1), 0.0);
      }
    }
    EXPECT_EQ(rows, 13);
    EXPECT_EQ(r.RowsProcessed(), 13);
  }
  session_->Preferences().SetConvertCRLF(true);
  SetAnsiCodePage(saved_ansi);
}

TEST_F(QueryTest, DescribeChoosesBufferTypes) {
  // The table is empty: an executed select would be closed at once, so describe only.
  q_->SetSQLText(u"select n9, n10, n, n92, s500, d from nums");
  q_->Describe();
  ASSERT_EQ(q_->FieldCount(), 6);
  EXPECT_EQ(q_->FieldType(0), otInteger);
  EXPECT_EQ(q_->FieldType(1), otFloat);
  EXPECT_EQ(q_->FieldType(2), otFloat);
  EXPECT_EQ(q_->FieldType(3), otFloat);
  EXPECT_EQ(q_->FieldScale(2), 0) << "NUMBER without precision reports scale 0";
  EXPECT_EQ(q_->FieldType(4), otString);
  EXPECT_EQ(q_->FieldSize(4), 500);
  EXPECT_EQ(q_->FieldDataRecord(4).bufsize, 501);
  EXPECT_EQ(q_->FieldType(5), otDate);
  EXPECT_EQ(q_->FieldDBType(0), otNumber);
  EXPECT_EQ(q_->FieldName(4), u"S500");
  EXPECT_EQ(q_->FieldIndex(u"s500"), 4);
  EXPECT_EQ(q_->FieldIndex(u"nothing"), -1);
  EXPECT_TRUE(q_->Eof());
  q_->Execute();
  EXPECT_EQ(q_->FieldCount(), 0) << "an empty result closes the statement at once";

  TOracleQuery strings(nullptr);
  strings.SetSession(session_.get());
  strings.SetStringFieldsOnly(true);
  strings.SetSQLText(u"select n9, d from nums");
  strings.Describe();
  EXPECT_EQ(strings.FieldType(0), otString);
  EXPECT_EQ(strings.FieldType(1), otString);
}

TEST_F(QueryTest, VariablesBindAndTypedReaders) {
  q_->SetSQLText(u"insert into nums (n9, n10, n, n92, s500, d) values (:a, :b, :c, :d, :e, :f)");
  q_->DeclareAndSet(u"a", otInteger, 123456789);
  q_->DeclareAndSet(u"b", otFloat, 1234567890.0);
  q_->DeclareAndSet(u"c", otFloat, 0.5);
  q_->DeclareAndSet(u"d", otFloat, 12.25);
  q_->DeclareAndSet(u"e", otString, String(u"line1\r\nline2"));
  q_->DeclareAndSet(u"f", otDate, OraVariant::Date(EncodeDate(2024, 3, 1)));
  q_->Execute();
  EXPECT_EQ(q_->RowsProcessed(), 1);
  EXPECT_EQ(q_->FunctionType(), 3);
  EXPECT_EQ(q_->RowId().size(), 18u) << StringToUtf8(q_->RowId());

  TOracleQuery r(nullptr);
  r.SetSession(session_.get());
  r.SetSQLText(u"select n9, n10, n, n92, s500, d, rowid from nums where n9 = :a");
  r.DeclareAndSet(u"a", otInteger, 123456789);
  r.Execute();
  ASSERT_FALSE(r.Eof());
  EXPECT_EQ(r.FieldAsInteger(0), 123456789);
  EXPECT_DOUBLE_EQ(r.FieldAsFloat(1), 1234567890.0);
  EXPECT_EQ(r.FieldAsString(2), u"0.5");
  EXPECT_DOUBLE_EQ(r.Field(3).AsDouble(), 12.25);
  EXPECT_EQ(r.FieldAsString(4), u"line1\r\nline2") << "LF on the server, CR LF read back";
  EXPECT_EQ(r.FieldAsString(5), u"01/03/2024") << "a date at midnight is the date alone";
  EXPECT_DOUBLE_EQ(r.FieldAsDate(5), EncodeDate(2024, 3, 1));
  EXPECT_EQ(r.FieldAsString(6).size(), 18u);
  EXPECT_EQ(r.FieldAsString(u"S500"), u"line1\r\nline2");
  EXPECT_THROW(r.Field(u"missing"), Exception);
  r.Next();
  EXPECT_TRUE(r.Eof());
  EXPECT_EQ(r.FieldCount(), 0) << "closed after its last row";
  try {
    r.FieldAsString(0);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"Field 0 does not exist");
  }
  session_->Rollback();
}

TEST_F(QueryTest, NullsReadAsEmptyOrNullByPreference) {
  q_->SetSQLText(u"select null, to_date('2024-01-02 03:04:05', 'yyyy-mm-dd hh24:mi:ss') from dual");
  q_->Execute();
  EXPECT_TRUE(q_->FieldIsNull(0));
  EXPECT_TRUE(q_->Field(0).IsEmpty());
  EXPECT_EQ(q_->FieldAsString(0), u"");
  EXPECT_EQ(q_->FieldAsInteger(0), 0);
  EXPECT_EQ(q_->FieldAsString(1), u"02/01/2024 03:04:05");
  session_->SetNullValue(nvNull);
  EXPECT_TRUE(q_->Field(0).IsNull());
}

TEST_F(QueryTest, PlsqlBlockAssignsOutVariables) {
  q_->SetSQLText(u"begin :x := 'out ' || :y; :n := 7; end;");
  q_->DeclareVariable(u"x", otString);
  q_->DeclareAndSet(u"y", otString, u"value");
  q_->DeclareVariable(u"n", otInteger);
  q_->Execute();
  EXPECT_EQ(q_->GetVariable(u"x").AsString(), u"out value");
  EXPECT_EQ(q_->GetVariable(u"n").AsInteger(), 7);
  EXPECT_EQ(q_->FunctionType(), 34);
}

// The element count of a PL/SQL table is what OCI reports after the call.
TEST_F(QueryTest, PlsqlTableElementCountComesBackFromTheCall) {
  q_->DeclareVariable(u"t", otString);
  q_->DimPLSQLTable(u"t", 5, 20);
  q_->DeclareVariable(u"n", otInteger);
  q_->SetVariable(u"t", OraVariant::Array({u"a", u"b", u"c"}));
  q_->SetSQLText(u"begin :n := 1; if :n = 2 then :t := 'x'; end if; end;");
  q_->Execute();
  EXPECT_EQ(q_->GetVariable(u"t").Items().size(), 3u) << "an untouched table keeps its elements";
  q_->SetVariable(u"t", OraVariant());
  q_->SetSQLText(u"begin :t := 'out'; :n := 2; end;");
  q_->Execute();
  OraVariant t = q_->GetVariable(u"t");
  ASSERT_TRUE(t.IsArray());
  ASSERT_EQ(t.Items().size(), 1u) << "the call filled one element";
  EXPECT_EQ(t.Items()[0].AsString(), u"out");
}

TEST_F(QueryTest, UpdateOfNoRowIsNoError) {
  q_->SetSQLText(u"update keyed set txt = 'x' where id = -1");
  q_->Execute();
  EXPECT_EQ(q_->RowsProcessed(), 0);
  EXPECT_EQ(q_->FunctionType(), 5);
}

// Only OCI's no-data status is tolerated after a non-select: a block that
// fails with ORA-01403 (a select into that found nothing) is an error.
TEST_F(QueryTest, PlsqlNoDataFoundRaises) {
  q_->SetSQLText(u"begin select txt into :t from keyed where id = -1; end;");
  q_->DeclareVariable(u"t", otString);
  try {
    q_->Execute();
    FAIL() << "the block failed on the server";
  } catch (const EOracleError& e) {
    EXPECT_EQ(e.ErrorCode(), 1403);
    EXPECT_EQ(e.Instance(), q_.get());
  }
  EXPECT_EQ(q_->State(), qsIdle);
  // The same block with a row to find runs.
  q_->SetSQLText(u"begin select txt into :t from keyed where id = 4; end;");
  q_->Execute();
  EXPECT_EQ(q_->GetVariable(u"t").AsString(), u"taken");
}

// A scalar string is sent as at most the bind limit: 4000 bytes on a
// single-byte database, 2000 on a two-byte one.
TEST_F(QueryTest, StringValuesAreCutToTheBindLimit) {
  ASSERT_EQ(standin_->Sql("kavo/secret", "create table wide (v varchar2(4000));\n"), 0);
  String text(5000, u'x');
  auto stored_length = [&] {
    TOracleQuery r(nullptr);
    r.SetSession(session_.get());
    r.SetSQLText(u"select length(v) from wide");
    r.Execute();
    int n = r.FieldAsInteger(0);
    r.Close();
    session_->Rollback();
    return n;
  };
  q_->SetSQLText(u"insert into wide values (:v)");
  q_->DeclareAndSet(u"v", otString, text);
  q_->Execute();
  EXPECT_EQ(stored_length(), 4000);

  session_->SetConnected(false);
  session_->SetBytesPerCharacter(bc2Bytes);
  session_->SetConnected(true);
  ASSERT_EQ(session_->MaxVarchar(), 2000);
  q_->DeclareAndSet(u"v", otString, text);
  q_->Execute();
  EXPECT_EQ(stored_length(), 2000);
  // Assigned again to the same variable, without re-declaring it.
  q_->SetVariable(u"v", String(2500, u'y'));
  q_->Execute();
  EXPECT_EQ(stored_length(), 2000);
}

// Values assigned on a single-byte session and bound on a two-byte one: OCI
// is told the spacing of the buffer it reads, and the variables keep what the
// program gave them, also across executions.
TEST_F(QueryTest, TwoByteSessionBindsElementsApartAndKeepsTheValues) {
  ASSERT_EQ(standin_->Sql("kavo/secret", "create table texts (id number(9), v varchar2(4000));\n"),
            0);
  auto stored = [&] {
    TOracleQuery r(nullptr);
    r.SetSession(session_.get());
    r.SetSQLText(u"select id, v from texts order by id");
    r.Execute();
    std::vector<String> rows;
    for (; !r.Eof(); r.Next()) {
      String v = r.FieldAsString(1);
      rows.push_back(IntToStr(r.FieldAsInteger(0)) + u" " +
                     IntToStr(static_cast<int>(v.size())) + u" " + v.substr(0, 6));
    }
    return rows;
  };
  q_->SetSQLText(u"insert into texts values (:id, :v)");
  q_->DeclareAndSet(u"id", otInteger, OraVariant::Array({1, 2, 3}));
  q_->DeclareAndSet(u"v", otString, OraVariant::Array({u"first", u"second", u"third"}));
  ASSERT_EQ(q_->Variables().Data(1).bufsize, 4001);
  session_->SetConnected(false);
  session_->SetBytesPerCharacter(bc2Bytes);
  session_->SetConnected(true);
  q_->Execute();
  EXPECT_EQ(stored(), (std::vector<String>{u"1 5 first", u"2 6 second", u"3 5 third"}));
  session_->Rollback();

  // An over-long scalar goes out cut to the limit and stays whole.
  String text = String(2995, u'x') + u"tail!";
  q_->DeleteVariables();
  q_->SetSQLText(u"insert into texts values (9, :v)");
  q_->DeclareAndSet(u"v", otString, text);
  auto kept = [&] {
    String value = q_->GetVariable(u"v").AsString();
    return IntToStr(static_cast<int>(value.size())) + u" " + value.substr(value.size() - 5);
  };
  q_->Execute();
  EXPECT_EQ(kept(), u"3000 tail!");
  q_->Execute();
  EXPECT_EQ(kept(), u"3000 tail!");
  EXPECT_EQ(stored(), (std::vector<String>{u"9 2000 xxxxxx", u"9 2000 xxxxxx"}));
  session_->Rollback();

  // What a block assigns comes back, into a scalar and into a PL/SQL table
  // whose string size is above the limit.
  q_->SetSQLText(u"begin :v := 'out'; end;");
  q_->Execute();
  EXPECT_EQ(q_->GetVariable(u"v").AsString(), u"out");
  q_->DeleteVariables();
  q_->DeclareVariable(u"t", otString);
  q_->DimPLSQLTable(u"t", 3, 5000);
  q_->SetSQLText(u"begin :t := 'in the table'; end;");
  q_->Execute();
  OraVariant t = q_->GetVariable(u"t");
  ASSERT_TRUE(t.IsArray());
  ASSERT_EQ(t.Items().size(), 1u);
  EXPECT_EQ(t.Items()[0].AsString(), u"in the table");
}

// ExecuteArray(Index, Count) runs elements Index ... Index + Count - 1, which
// must lie within the arrays.
TEST_F(QueryTest, ExecuteArrayStaysWithinTheArrays) {
  q_->SetSQLText(u"insert into keyed (id, txt) values (:id, :txt)");
  q_->DeclareAndSet(u"id", otInteger, OraVariant::Array({11, 12, 13}));
  q_->DeclareAndSet(u"txt", otString, OraVariant::Array({u"a", u"b", u"c"}));
  EXPECT_EQ(q_->ExecuteArray(1, 2), 2);
  const std::pair<int, int> outside[] = {{2, 2}, {0, 4}, {-1, 2}, {3, 1}, {1, -1}, {-2, 2}};
  for (auto [index, count] : outside) {
    EXPECT_EQ(MessageOf([&] { q_->ExecuteArray(index, count); }),
              u"ExecuteArray(" + IntToStr(index) + u", " + IntToStr(count) +
                  u") is outside the array of 3 elements");
    EXPECT_EQ(q_->State(), qsIdle);
  }
  TOracleQuery c(nullptr);
  c.SetSession(session_.get());
  c.SetSQLText(u"select count(*), sum(id) from keyed where id > 10");
  c.Execute();
  EXPECT_EQ(c.FieldAsInteger(0), 2);
  EXPECT_EQ(c.FieldAsInteger(1), 25);
  session_->Rollback();
}

TEST_F(QueryTest, ArrayInsertContinuesPastAFailingRow) {
  q_->SetSQLText(u"insert into keyed (id, txt) values (:id, :txt)");
  std::vector<OraVariant> ids, texts;
  for (int i = 1; i <= 10; ++i) {
    ids.push_back(OraVariant(i));
    texts.push_back(OraVariant(u"row " + IntToStr(i)));
  }
  q_->DeclareAndSet(u"id", otInteger, OraVariant::Array(ids));
  q_->DeclareAndSet(u"txt", otString, OraVariant::Array(texts));
  std::vector<int> failed;
  int code = 0;
  q_->OnArrayError = [&](TOracleQuery*, int index, int error_code, const String&, bool& go_on) {
    failed.push_back(index);
    code = error_code;
    go_on = true;
  };
  int done = q_->ExecuteArray(-1, -1);
  EXPECT_EQ(done, 9);
  EXPECT_EQ(failed, std::vector<int>{3});
  EXPECT_EQ(code, 1) << "unique constraint violated";

  TOracleQuery c(nullptr);
  c.SetSession(session_.get());
  c.SetSQLText(u"select count(*), sum(id) from keyed");
  c.Execute();
  EXPECT_EQ(c.FieldAsInteger(0), 10) << "nine new rows beside the one already there";
  EXPECT_EQ(c.FieldAsInteger(1), 55);

  // Without a handler the whole-array call raises.
  session_->Rollback();
  q_->OnArrayError = nullptr;
  EXPECT_THROW(q_->Execute(), EOracleError);
  session_->Rollback();
  try {
    q_->SetVariable(u"txt", OraVariant::Array({u"a"}));
    q_->Execute();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"All arrays must be of equal size for Array DML");
  }
}

TEST_F(QueryTest, LongValuesArriveInPieces) {
  String text;
  for (int i = 0; i < 30000; ++i) text += u"0123456789"[i % 10];
  text += u"\r\nend";
  q_->SetSQLText(u"insert into longs values (1, :l)");
  q_->DeclareAndSet(u"l", otLong, text);
  q_->Execute();
  TOracleQuery r(nullptr);
  r.SetSession(session_.get());
  r.SetSQLText(u"select id, l from longs");
  r.Execute();
  ASSERT_FALSE(r.Eof());
  EXPECT_EQ(r.FieldType(1), otLong);
  // The server holds LF line ends; a LONG column is read as it is stored.
  EXPECT_EQ(r.FieldAsString(1), ReplaceAll(text, u"\r\n", u"\n"));
  // 30004 bytes: pieces of 4 KB doubling up to 32 KB.
  std::vector<ub4> sizes;
  for (const TLongPiece& p : r.FieldDataRecord(1).LongPieces) sizes.push_back(p.AllocatedSize);
  EXPECT_EQ(sizes, (std::vector<ub4>{4096, 8192, 16384, 32768}));
  EXPECT_EQ(r.FieldLength(1), 30004) << "the line end is one LF on the server";
  char buf[5] = {0};
  EXPECT_EQ(r.GetLongField(1, buf, 4, 10), 4);
  EXPECT_STREQ(buf, "0123");
  EXPECT_THROW(r.GetLongField(0, buf, 4, 0), Exception);
  session_->Rollback();
}

TEST_F(QueryTest, LongRawRoundTripAndDebugText) {
  std::vector<uint8_t> bytes;
  for (int i = 0; i < 10000; ++i) bytes.push_back(static_cast<uint8_t>(i * 7));
  String shown;
  TOracleQuery::DebugHook() = [&](TOracleQuery*, const String& text) { shown = text; };
  q_->SetDebug(true);
  q_->SetSQLText(u"insert into raws values (:id, :r)");
  q_->DeclareAndSet(u"id", otInteger, 1);
  q_->DeclareAndSet(u"r", otLongRaw, OraVariant::Bytes(bytes));
  q_->Execute();
  TOracleQuery::DebugHook() = nullptr;
  EXPECT_EQ(shown, u"insert into raws values (:id, :r)\r\n\r:ID = 1\r:R = (Long Raw)");
  TOracleQuery r(nullptr);
  r.SetSession(session_.get());
  r.SetSQLText(u"select r from raws where id = 1");
  r.Execute();
  ASSERT_FALSE(r.Eof());
  EXPECT_EQ(r.FieldType(0), otLongRaw);
  EXPECT_EQ(r.Field(0).ByteArray(), bytes);
  EXPECT_EQ(r.FieldLength(0), 10000);
  session_->Rollback();
}

TEST_F(QueryTest, SubstitutionAndRefusals) {
  q_->SetSQLText(u"select count(*) from :tab");
  q_->DeclareAndSet(u"tab", otSubst, u"rows60");
  q_->Execute();
  EXPECT_EQ(q_->FieldAsInteger(0), 60);
  EXPECT_THROW(q_->SetThreaded(true), Exception);
  EXPECT_THROW(q_->SetScrollable(true), Exception);
  TOracleQuery lonely(nullptr);
  lonely.SetSQLText(u"select 1 from dual");
  try {
    lonely.Execute();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"Session undefined");
  }
}

}  // namespace
}  // namespace kavo::test
