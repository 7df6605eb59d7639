// Statements against the OCI stand-in: variables, describe, batches, typed
// readers, errors with their position, array DML.
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

namespace kavo::test {
namespace {

class QueryTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    standin_ = new StandIn();
    std::string script =
        "create user kavo identified by secret;\n"
        "create table kavo.nums (n9 number(9), n10 number(10), n number, n92 number(9,2), "
        "s500 varchar2(500), d date);\n"
        "create table kavo.rows60 (id number(9));\n"
        "create table kavo.keyed (id number(9) primary key, txt varchar2(20));\n"
        "create table kavo.longs (id number(9), l long);\n"
        "create table kavo.raws (id number(9), r long raw);\n";
    ASSERT_EQ(standin_->Sql("SYSTEM/manager", script), 0);
    std::string fill;
    for (int i = 1; i <= 60; ++i) fill += "insert into rows60 values (" + std::to_string(i) + ");\n";
    fill += "insert into keyed values (4, 'taken');\ncommit;\n";
    ASSERT_EQ(standin_->Sql("kavo/secret", fill), 0);
  }
  static void TearDownTestSuite() {
    delete standin_;
    standin_ = nullptr;
  }
  void SetUp() override {
    saved_ = FormatSettings();
    FormatSettings() = FormatSettingsFromPatterns("%d/%m/%Y", "%H:%M:%S", "AM", "PM", ".", ",");
    session_ = std::make_unique<TOracleSession>(nullptr);
    session_->SetLogonDatabase(Utf8ToString(standin_->Store()));
    session_->SetLogonUsername(u"kavo/secret");
    session_->SetConnected(true);
    q_ = std::make_unique<TOracleQuery>(nullptr);
    q_->SetSession(session_.get());
  }
  void TearDown() override {
    q_.reset();
    session_.reset();
    FormatSettings() = saved_;
  }

  static StandIn* standin_;
  TFormatSettings saved_;
  std::unique_ptr<TOracleSession> session_;
  std::unique_ptr<TOracleQuery> q_;
};
StandIn* QueryTest::standin_ = nullptr;

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

namespace kavo::test {
namespace {

// With the layer-wide switch off, an unchanged select keeps its prepared
// statement and buffers, and the execute call itself brings the first batch.
TEST_F(QueryTest, OptimizedReexecutionFetchesInTheExecuteCall) {
  NoQueryOptimize = false;
  q_->SetSQLText(u"select id from rows60 where id <= :n order by id");
  q_->DeclareAndSet(u"n", otInteger, 30);
  for (int run = 0; run < 2; ++run) {
    q_->Execute();
    int rows = 0;
    for (; !q_->Eof(); q_->Next()) EXPECT_EQ(q_->FieldAsInteger(0), ++rows);
    EXPECT_EQ(rows, 30) << "run " << run;
    EXPECT_EQ(q_->FieldCount(), 1) << "kept open for the next execution";
  }
  // Two round trips per run either way: the re-execution's first batch comes
  // with the execute call into the buffers kept from the first run.
  EXPECT_EQ(q_->FetchCalls(), 4);
  NoQueryOptimize = true;
}

// Every parse describes the select list again into column records the
// statement had before: each select reads its own columns, NULLs and LONG
// pieces, whatever the statement described earlier.
TEST_F(QueryTest, SelectsDescribedOneAfterAnotherReadOnlyTheirOwnColumns) {
  ASSERT_EQ(standin_->Sql("kavo/secret",
                          "create table wide (id number(9), s varchar2(3000), n number(9,2), d date);\n"
                          "insert into wide values (1, 'first', 1.5, to_date('2024-01-02', 'yyyy-mm-dd'));\n"
                          "insert into wide values (2, null, null, null);\n"
                          "commit;\n"),
            0);
  String long_text(9000, u'x');
  q_->SetSQLText(u"insert into longs values (7, :l)");
  q_->DeclareAndSet(u"l", otLong, long_text);
  q_->Execute();
  q_->DeleteVariables();
  auto read_long = [&] {
    q_->SetSQLText(u"select l, id from longs where id = 7");
    q_->Execute();
    EXPECT_FALSE(q_->Eof());
    EXPECT_EQ(q_->FieldCount(), 2);
    EXPECT_EQ(q_->FieldType(0), otLong);
    EXPECT_EQ(q_->FieldAsString(0), long_text);
    std::vector<ub4> sizes;
    for (const TLongPiece& p : q_->FieldDataRecord(0).LongPieces) sizes.push_back(p.AllocatedSize);
    EXPECT_EQ(sizes, (std::vector<ub4>{4096, 8192})) << "the pieces of this value only";
    EXPECT_EQ(q_->FieldAsInteger(1), 7);
  };
  read_long();
  // Far more bytes per column than before, and in a batch of many rows.
  q_->SetReadBuffer(40);
  q_->SetSQLText(u"select s, n, d, id from wide order by id");
  q_->Execute();
  ASSERT_EQ(q_->FieldCount(), 4);
  EXPECT_EQ(q_->FieldName(0), u"S");
  EXPECT_EQ(q_->FieldType(0), otString);
  EXPECT_EQ(q_->FieldDataRecord(0).bufsize, 3001);
  EXPECT_EQ(q_->FieldDataRecord(0).cache, 40);
  EXPECT_EQ(q_->FieldDataRecord(0).buf.size(), 3001u * 40);
  EXPECT_TRUE(q_->FieldDataRecord(0).LongPieces.empty());
  EXPECT_EQ(q_->FieldType(1), otFloat);
  EXPECT_EQ(q_->FieldType(2), otDate);
  EXPECT_EQ(q_->FieldAsString(0), u"first");
  EXPECT_DOUBLE_EQ(q_->FieldAsFloat(1), 1.5);
  EXPECT_FALSE(q_->FieldIsNull(2));
  q_->Next();
  ASSERT_FALSE(q_->Eof());
  EXPECT_EQ(q_->FieldAsInteger(3), 2);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(q_->FieldIsNull(i)) << i;
  q_->Next();
  EXPECT_TRUE(q_->Eof());
  EXPECT_EQ(q_->FieldCount(), 0) << "closed at the end of the rows";
  // Fewer columns, a smaller batch, then the LONG column again.
  q_->SetReadBuffer(2);
  q_->SetSQLText(u"select id from wide where id = 2");
  q_->Execute();
  ASSERT_EQ(q_->FieldCount(), 1);
  EXPECT_EQ(q_->FieldDataRecord(0).cache, 2);
  EXPECT_EQ(q_->FieldDataRecord(0).buf.size(), 8u) << "two 4-byte integers";
  EXPECT_EQ(q_->FieldAsInteger(0), 2);
  read_long();
  // Described only, nothing fetched: the columns hold nothing of the LONG read.
  q_->SetSQLText(u"select id, s from wide");
  q_->Describe();
  ASSERT_EQ(q_->FieldCount(), 2);
  for (int i = 0; i < 2; ++i) {
    const TFieldData& f = q_->FieldDataRecord(i);
    EXPECT_TRUE(f.LongPieces.empty()) << i;
    EXPECT_EQ(f.LongSize(), 0) << i;
    EXPECT_EQ(f.ind, std::vector<int16_t>(2, -1)) << i;
    EXPECT_EQ(f.rlen, std::vector<uint16_t>(2, 0)) << i;
  }
  EXPECT_EQ(q_->FieldType(0), otInteger);
  EXPECT_EQ(q_->FieldName(1), u"S");
  q_->Close();
  read_long();
  session_->Rollback();
}

// Column names are found without regard to case, also beyond ASCII, and only
// as whole names.
TEST_F(QueryTest, ColumnNamesAreFoundWithoutRegardToCase) {
  const std::string saved_ansi = AnsiCodePage();
  SetAnsiCodePage("CP1252");
  q_->SetSQLText(
      u"select 1 \"A\u00e7\u00e3o\", 2 id, 3 \"Id\", 4 \"\u00c9T\u00c9\", 5 \"A@\" from dual");
  q_->Execute();
  ASSERT_EQ(q_->FieldCount(), 5);
  EXPECT_EQ(q_->FieldName(0), u"A\u00e7\u00e3o");
  EXPECT_EQ(q_->FieldIndex(u"A\u00e7\u00e3o"), 0);
  EXPECT_EQ(q_->FieldIndex(u"A\u00c7\u00c3O"), 0);
  EXPECT_EQ(q_->FieldIndex(u"a\u00e7\u00e3O"), 0);
  EXPECT_EQ(q_->FieldIndex(u"ACAO"), -1) << "accents are letters of their own";
  EXPECT_EQ(q_->FieldIndex(u"id"), 1) << "the first of two names equal but for case";
  EXPECT_EQ(q_->FieldIndex(u"Id"), 1);
  EXPECT_EQ(q_->FieldIndex(u"\u00e9t\u00e9"), 3);
  EXPECT_EQ(q_->FieldIndex(u"ID "), -1);
  EXPECT_EQ(q_->FieldIndex(u"I"), -1);
  EXPECT_EQ(q_->FieldIndex(u""), -1);
  EXPECT_EQ(q_->FieldIndex(u"a@"), 4);
  EXPECT_EQ(q_->FieldIndex(u"a`"), -1) << "'@' and '`' are 32 apart but no letters";
  EXPECT_EQ(q_->FieldIndex(u"\u0131d"), SameText(u"ID", u"\u0131d") ? 1 : -1)
      << "dotless i: as the case rules of the text functions have it";
  EXPECT_EQ(q_->FieldAsInteger(u"\u00c9t\u00e9"), 4);
  // Another select of as many columns: its names, whatever was found before.
  q_->SetSQLText(u"select 1 x, 2 y, 3 z, 4 \"Id\", 5 w from dual");
  q_->Execute();
  EXPECT_EQ(q_->FieldIndex(u"ID"), 3);
  EXPECT_EQ(q_->FieldIndex(u"x"), 0);
  EXPECT_EQ(q_->FieldIndex(u"A@"), -1);

  // A client asked for AL32UTF8 names a column the same whatever the ANSI
  // code page, and the name is found without regard to case.
  ASSERT_EQ(standin_->Sql("kavo/secret",
                          "create table named (\"A\xc3\xa7\xc3\xa3o\" number(9));\n"
                          "insert into named values (1);\ncommit;\n"),
            0);
  q_->SetSQLText(u"select * from named");
  for (const char* cp : {"ISO-8859-7", "CP1252"}) {
    SetAnsiCodePage(cp);
    q_->Execute();
    EXPECT_EQ(q_->FieldName(0), u"A\u00e7\u00e3o") << cp;
    EXPECT_EQ(q_->FieldIndex(u"a\u00c7\u00c3O"), 0) << cp;
  }
  SetAnsiCodePage(saved_ansi);
}

// NLS_LANG naming UTF-8: statement text and values travel as UTF-8.
TEST_F(QueryTest, Utf8ClientRoundTrip) {
  session_->SetConnected(false);
  OCILibrary().DLLExit();
  SetEnvVar("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8");
  session_->SetConnected(true);
  ASSERT_TRUE(OCILibrary().UTF8Client());
  q_->SetSQLText(u"insert into keyed values (100, :t)");
  q_->DeclareAndSet(u"t", otString, u"caf\u00e9 \u20ac");
  q_->Execute();
  TOracleQuery r(nullptr);
  r.SetSession(session_.get());
  r.SetSQLText(u"select txt, 'na\u00efve' from keyed where id = 100");
  r.Execute();
  EXPECT_TRUE(r.FieldIsUTF8(0));
  EXPECT_EQ(r.FieldAsString(0), u"caf\u00e9 \u20ac");
  EXPECT_EQ(r.FieldAsString(1), u"na\u00efve");
  session_->Rollback();
  session_->SetConnected(false);
  UnsetEnvVar("NLS_LANG");
  OCILibrary().DLLExit();
}

}  // namespace
}  // namespace kavo::test

namespace kavo::test {
namespace {

// The service's own select and its write-back by row identifier.
TEST_F(QueryTest, InterfaceTableSelectAndUpdateByRowId) {
  ASSERT_EQ(standin_->Sql("SYSTEM/manager",
                          "create user v9norvelo identified by x;\n"
                          "create table v9norvelo.\"INTERFACE_ORCL\" (ACAO varchar2(1), "
                          "CODIGO number, DADOS varchar2(500), DT_H_GRAV date, DT_H_PRI_P date, "
                          "DT_H_ULT_P date, ERRO varchar2(255), HORA varchar2(8), ORDEM number, "
                          "STATUS varchar2(1), TABELA varchar2(20), TIPO varchar2(50), "
                          "VERSAO varchar2(10));\n"
                          "insert into v9norvelo.\"INTERFACE_ORCL\" values ('I', 1, 'dados', "
                          "sysdate, null, null, null, '10:00:00', 1, 'A', 'T', 'TIPO', '1');\n"
                          "insert into v9norvelo.\"INTERFACE_ORCL\" values ('I', 2, 'feito', "
                          "sysdate, null, null, null, '10:00:00', 2, 'X', 'T', 'TIPO', '1');\n"
                          "commit;\n"),
            0);
  session_->SetLogonUsername(u"SYSTEM/manager");
  session_->LogOn();
  q_->SetSQLText(u"SELECT A.*, A.ROWID FROM \r\nv9norvelo.\"INTERFACE_ORCL\" A \r\nWHERE \r\n"
                 u"A.STATUS='A' \r\nand  ROWNUM < 1000");
  q_->Execute();
  ASSERT_EQ(q_->FieldCount(), 14);
  EXPECT_EQ(q_->FieldType(1), otFloat) << "CODIGO: NUMBER without precision";
  EXPECT_EQ(q_->FieldType(3), otDate);
  EXPECT_EQ(q_->FieldSize(2), 500);
  EXPECT_EQ(q_->FieldName(13), u"ROWID");
  ASSERT_FALSE(q_->Eof());
  String rowid = q_->FieldAsString(13);
  EXPECT_EQ(rowid.size(), 18u);
  q_->Next();
  EXPECT_TRUE(q_->Eof()) << "only the pending row";

  TOracleQuery update(nullptr);
  update.SetSession(session_.get());
  update.SetSQLText(u"update v9norvelo.\"INTERFACE_ORCL\" set ERRO = :ERRO where ROWID = :vzo__rowid");
  update.DeclareAndSet(u"ERRO", otString, u"falhou");
  update.DeclareAndSet(u"vzo__rowid", otString, rowid);
  update.Execute();
  EXPECT_EQ(update.RowsProcessed(), 1);
  session_->Commit();

  TOracleQuery check(nullptr);
  check.SetSession(session_.get());
  check.SetSQLText(u"select ERRO from v9norvelo.\"INTERFACE_ORCL\" where CODIGO = 1");
  check.Execute();
  EXPECT_EQ(check.FieldAsString(0), u"falhou");
}

}  // namespace
}  // namespace kavo::test
