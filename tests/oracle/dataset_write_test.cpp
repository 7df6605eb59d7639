// The Oracle record set writing changes back to the stand-in: the statements
// of one edited row, what is not sent, rows changed, deleted or locked by
// another session, inserts and deletes, the locking modes, and the
// translation of server errors.
#include <gtest/gtest.h>

#include <limits>

#include "oracle/oci_library.h"
#include "oracle/oracle_error.h"
#include "oracle/query.h"
#include "rtl/code_page.h"
#include "rtl/float_text.h"
#include "testkit/env.h"
#include "testkit/message_of.h"
#include "testkit/oracle_dataset_fixture.h"

namespace kavo::test {
namespace {

using Records = std::vector<std::string>;

const char* const kCheck = "select * from V9NORVELO.INTERFACE_ORCL where rowid = :vzo__rowid";
const char* const kLock =
    "select * from V9NORVELO.INTERFACE_ORCL where rowid = :vzo__rowid\\nfor update nowait";

class DataSetWriteTest : public OracleDataSetFixture {
 protected:
  void OpenService(int rows) {
    AddPendingRows(rows);
    AddServiceFields();
    ds_->Open();
    trace_->Clear();
  }

  // Runs a statement on another session of its own.
  void OtherSession(TOracleSession& s, const String& sql) {
    TOracleQuery q(nullptr);
    q.SetSession(&s);
    q.SetSQLText(sql);
    q.Execute();
  }
};

TEST_F(DataSetWriteTest, OneEditedRowSendsCheckSavepointLockUpdateAndCommit) {
  OpenService(2);
  EXPECT_EQ(ds_->GetUpdatingTable(), u"V9NORVELO.INTERFACE_ORCL");
  EXPECT_EQ(ds_->GetUpdatingAlias(), u"A");
  ds_->Edit();
  EXPECT_EQ(trace_->Take(), Records{kCheck});
  ds_->FieldByName(u"STATUS").SetAsAnsiString("X");
  ds_->CommitUpdates();
  EXPECT_TRUE(trace_->Records().empty());
  EXPECT_EQ(ds_->State(), dsEdit);
  ds_->Next();
  EXPECT_EQ(trace_->Take(),
            (Records{"savepoint VZO__LOCKPOINT", kLock,
                     "update V9NORVELO.INTERFACE_ORCL\\nset STATUS = :v10\\nwhere rowid = "
                     ":vzo__rowid\\nreturning rowid into :vzo__rowid",
                     "commit"}));
  EXPECT_EQ(Column("status", 1), "X");
  EXPECT_EQ(ds_->FieldByName(u"CODIGO").AsFloat(), 2);
  // The last row: the move that reaches the end posts and commits it.
  ds_->Edit();
  ds_->FieldByName(u"ERRO").SetAsString(u"falhou");
  ds_->Post();
  ds_->CommitUpdates();
  ds_->Next();
  EXPECT_TRUE(ds_->Eof());
  EXPECT_EQ(Column("erro", 2), "falhou");
  EXPECT_EQ(Column("status", 2), "A");
  // The stored record took the written values.
  ds_->First();
  EXPECT_EQ(ds_->FieldByName(u"STATUS").AsString(), u"X");
}

TEST_F(DataSetWriteTest, UnchangedPostSendsNothingAndEmptyTextWritesNull) {
  OpenService(1);
  ASSERT_EQ(Sql("update interface_orcl set erro = 'antigo';\ncommit;\n"), 0);
  ds_->Refresh();
  trace_->Clear();
  ds_->Edit();
  ds_->FieldByName(u"STATUS").SetAsString(u"A");
  ds_->FieldByName(u"DADOS").SetAsString(u"dados 1   ");
  ds_->FieldByName(u"ERRO").SetAsString(u"antigo");
  ds_->Post();
  EXPECT_EQ(trace_->Take(), Records{kCheck});
  EXPECT_EQ(ds_->State(), dsBrowse);

  ds_->Edit();
  ds_->FieldByName(u"ERRO").SetAsString(u"");
  EXPECT_TRUE(ds_->FieldByName(u"ERRO").IsNull());
  ds_->Post();
  Records r = trace_->Take();
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[3 - 0], "update V9NORVELO.INTERFACE_ORCL\\nset ERRO = null\\nwhere rowid = "
                      ":vzo__rowid\\nreturning rowid into :vzo__rowid");
  EXPECT_EQ(Column("erro", 1), "");
}

TEST_F(DataSetWriteTest, ServerTextLongerThanTheFieldIsComparedOnWhatTheFieldHolds) {
  SetAnsiCodePage("UTF-8");
  std::string e_acute;
  for (int i = 0; i < 254; ++i) e_acute += "\xC3\xA9";
  ASSERT_EQ(Sql("create table wide_erro (codigo number, erro varchar2(1000), status varchar2(1));\n"
                "insert into wide_erro values (1, 'x" + std::string(299, 'y') + "', 'A');\n"
                "insert into wide_erro values (2, 'x" + e_acute + "', 'A');\n"
                "commit;\n"),
            0);
  ds_->SQL().SetText(u"select w.*, w.rowid from wide_erro w order by codigo");
  Add<TFloatField>(u"CODIGO");
  auto* erro = Add<TStringField>(u"ERRO", 255);
  auto* status = Add<TStringField>(u"STATUS", 1);
  ds_->Open();
  // The field cannot show the whole value: reading it says so, never a cut copy.
  EXPECT_NE(MessageOf([&] { erro->AsAnsiString(); }).find(u"does not fit the field's 255"),
            String::npos);
  ds_->Edit();  // the first 255 characters match: no change reported
  status->SetAsString(u"X");
  ds_->Post();
  ds_->Next();
  // 'x' and 127 two-byte characters fit in 255 bytes; the 128th would be
  // split, so the fetch and the comparison both stop before it.
  EXPECT_NE(MessageOf([&] { erro->AsAnsiString(); }).find(u"does not fit"), String::npos);
  ds_->Edit();
  erro->SetAsString(u"novo");
  ds_->Post();
  std::string out;
  ASSERT_EQ(Sql("select status, erro from wide_erro order by codigo;\n", &out), 0);
  EXPECT_NE(out.find("X|x" + std::string(299, 'y')), std::string::npos) << out;
  EXPECT_NE(out.find("A|novo"), std::string::npos) << out;
  SetAnsiCodePage("CP1252");
}

TEST_F(DataSetWriteTest, RowsChangedDeletedOrLockedByAnotherSession) {
  OpenService(3);
  auto other = NewSession();
  // Changed after it was read: Edit refuses.
  OtherSession(*other, u"update interface_orcl set hora = '11:00:00' where codigo = 1");
  other->Commit();
  EXPECT_RAISES(ds_->Edit(), EDatabaseError, "OracleDataSet: Record has been changed by another user");
  EXPECT_EQ(ds_->State(), dsBrowse);
  // Deleted after it was read.
  ds_->Next();
  OtherSession(*other, u"delete from interface_orcl where codigo = 2");
  other->Commit();
  EXPECT_RAISES(ds_->Edit(), EDatabaseError, "OracleDataSet: Record has been deleted by another user");
  // Locked: the check of Edit passes, the locking select of the post fails
  // at once.
  ds_->Next();
  ds_->Edit();
  ds_->FieldByName(u"STATUS").SetAsString(u"X");
  OtherSession(*other, u"select * from interface_orcl where codigo = 3 for update");
  trace_->Clear();
  EXPECT_RAISES(ds_->Post(), EDatabaseError, "OracleDataSet: Record is locked by another user");
  EXPECT_EQ(trace_->Take(), (Records{"savepoint VZO__LOCKPOINT", kLock, "rollback to savepoint VZO__LOCKPOINT"}));
  // The failed post leaves the edit pending with its values, and nothing of
  // it on the server: once the other session lets go, the same post works.
  EXPECT_EQ(ds_->State(), dsEdit);
  EXPECT_EQ(ds_->FieldByName(u"STATUS").AsString(), u"X");
  other->Rollback();
  ds_->Post();
  EXPECT_EQ(Column("status", 3), "X");
}

TEST_F(DataSetWriteTest, EditComparesFloatsAndDatesWithinTheirTolerance) {
  OpenService(1);
  auto other = NewSession();
  auto change = [&](const String& set) {
    OtherSession(*other, u"update interface_orcl set " + set + u" where codigo = 1");
    other->Commit();
  };
  change(u"ordem = 1.5000000000001");  // 1e-13 relative: the same number
  change(u"dt_h_grav = dt_h_grav + 1/86400");  // one second: the same date
  ds_->Edit();
  ds_->Cancel();
  change(u"ordem = 1.5000001");
  EXPECT_RAISES(ds_->Edit(), EDatabaseError, "OracleDataSet: Record has been changed by another user");
  change(u"ordem = 1.5");
  ds_->Edit();
  ds_->Cancel();
  change(u"dt_h_grav = dt_h_grav + 2/86400");
  EXPECT_RAISES(ds_->Edit(), EDatabaseError, "OracleDataSet: Record has been changed by another user");
}

// A text counts as changed when what the field would hold differs beyond
// blanks at its end: case, a character more, a blank text for a non-blank
// one, an accent; a NULL and a blank text are the same. 8-bit and wide
// fields alike.
TEST_F(DataSetWriteTest, EditComparesTextsAsTheFieldHoldsThem) {
  AddPendingRows(1);
  Add<TFloatField>(u"CODIGO");
  Add<TStringField>(u"DADOS", 500);
  Add<TStringField>(u"ERRO", 255);
  Add<TWideStringField>(u"TIPO", 50);
  Add<TStringField>(u"VERSAO", 3);
  ds_->Open();
  auto other = NewSession();
  auto change = [&](const String& set) {
    OtherSession(*other, u"update interface_orcl set " + set + u" where codigo = 1");
    other->Commit();
  };
  auto same = [&]() {
    ds_->Edit();
    ds_->Cancel();
  };
  auto changed = [&]() {
    EXPECT_RAISES(ds_->Edit(), EDatabaseError, "OracleDataSet: Record has been changed by another user");
  };
  change(u"dados = 'dados 1   ', tipo = 'PEDIDO  ', erro = '   '");
  same();
  for (const char16_t* set : {u"dados = 'Dados 1'", u"dados = 'dados 1x'", u"dados = 'dados'",
                              u"dados = ' '", u"dados = 'dados \u00b9'", u"erro = 'e'",
                              u"tipo = 'pedido'", u"tipo = 'PEDIDO X'", u"tipo = '  '",
                              u"tipo = 'PEDID\u00d3'"}) {
    SCOPED_TRACE(StringToUtf8(set));
    change(set);
    changed();
    change(u"dados = 'dados 1', tipo = 'PEDIDO', erro = null");
    same();
  }
  // The field holds three characters of the server's four: those compare.
  change(u"versao = '1.0.'");
  same();
  change(u"versao = '1.1.'");
  changed();
}

// A value no Oracle column can hold is refused when a data field is given
// it, naming the field; the field keeps its value and the post writes what
// the field holds, never NULL or another date.
TEST_F(DataSetWriteTest, ValuesNoColumnCanHoldAreRefusedNamingTheField) {
  OpenService(1);
  TField& ordem = ds_->FieldByName(u"ORDEM");
  TField& grav = ds_->FieldByName(u"DT_H_GRAV");
  const TDateTime read = grav.AsDateTime();
  const double inf = std::numeric_limits<double>::infinity();
  ds_->Edit();
  for (double v : {std::numeric_limits<double>::quiet_NaN(), inf, -inf}) {
    EXPECT_RAISES(ordem.SetAsFloat(v), EDatabaseError,
                  "OracleDataSet: Field 'ORDEM': " + StringToUtf8(FloatToStr(v)) +
                      " is not a finite number and cannot be stored");
    EXPECT_EQ(ordem.AsFloat(), 1.5);
  }
  const struct {
    TDateTime value;
    const char* text;
  } dates[] = {{EncodeDate(9999, 12, 31) + 1.0, "2958466"}, {-693594.0, "-693594"}};
  for (const auto& d : dates) {
    EXPECT_RAISES(grav.SetAsDateTime(d.value), EDatabaseError,
                  std::string("OracleDataSet: Field 'DT_H_GRAV': The date-time ") + d.text +
                      " is outside the range of an Oracle date (years 1 to 9999)");
    EXPECT_EQ(grav.AsDateTime(), read);
  }
  // The last day and the first day of the range are dates.
  grav.SetAsDateTime(EncodeDate(9999, 12, 31) + EncodeTime(23, 59, 59, 0));
  ordem.SetAsFloat(-2.25);
  ds_->Post();
  EXPECT_EQ(Column("to_char(dt_h_grav, 'yyyy-mm-dd hh24:mi:ss')", 1), "9999-12-31 23:59:59");
  EXPECT_EQ(Column("ordem", 1), "-2.25");
  ds_->Edit();
  grav.SetAsDateTime(EncodeDate(1, 1, 1));
  ds_->Post();
  EXPECT_EQ(Column("to_char(dt_h_grav, 'yyyy-mm-dd')", 1), "0001-01-01");
}

// An 8-bit field cannot show text outside the ANSI code page (CJK reads
// "???" in CP1252): the row checks compare what the server held when the
// row was read, so another session's change to such a text is seen, an
// unchanged one passes, and an edit of another column leaves it as it is.
TEST_F(DataSetWriteTest, ChangeToTextTheFieldCannotShowIsSeen) {
  struct Utf8Client {
    TOracleSession& session;
    explicit Utf8Client(TOracleSession& s) : session(s) { Switch("AMERICAN_AMERICA.AL32UTF8"); }
    ~Utf8Client() { Switch(nullptr); }
    void Switch(const char* nls) {
      session.SetConnected(false);
      OCILibrary().DLLExit();
      if (nls != nullptr)
        SetEnvVar("NLS_LANG", nls);
      else
        UnsetEnvVar("NLS_LANG");
      session.SetConnected(true);
    }
  } utf8(*session_);
  const std::string nihongo = "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E";  // three characters
  const std::string chuwen = "\xE4\xB8\xAD\xE6\x96\x87\xE5\xAD\x97";
  AddPendingRows(1);
  ASSERT_EQ(Sql("update interface_orcl set dados = '" + nihongo + "';\ncommit;\n"), 0);
  AddServiceFields();
  ds_->Open();
  TField& dados = ds_->FieldByName(u"DADOS");
  // The field cannot show it: reading it says so instead of handing on "???".
  ASSERT_EQ(MessageOf([&] { dados.AsString(); }),
            u"OracleDataSet: Field 'DADOS': '\u65e5\u672c\u8a9e' cannot be stored in CP1252");
  auto other = NewSession();
  auto change = [&](const std::string& text) {
    OtherSession(*other, u"update interface_orcl set dados = '" + Utf8ToString(text) + u"'");
    other->Commit();
  };
  ds_->Edit();
  ds_->Cancel();
  change(chuwen);
  EXPECT_RAISES(ds_->Edit(), EDatabaseError, "OracleDataSet: Record has been changed by another user");
  // Read again, it is the row as it is now; an edit of another column
  // leaves the text alone.
  ds_->RefreshRecord();
  ds_->Edit();
  ds_->FieldByName(u"ERRO").SetAsString(u"e1");
  ds_->Post();
  EXPECT_EQ(Column("dados", 1), chuwen);
  EXPECT_EQ(Column("erro", 1), "e1");
  // Changed between the edit's check and the post's.
  ds_->Edit();
  ds_->FieldByName(u"ERRO").SetAsString(u"e2");
  change(nihongo);
  EXPECT_RAISES(ds_->Post(), EDatabaseError, "OracleDataSet: Record has been changed by another user");
  ds_->Cancel();
  ds_->Refresh();
  ASSERT_EQ(ds_->RecordCount(), 1);
  // Once the field's own text is written, the server holds what it shows.
  ds_->Edit();
  dados.SetAsString(u"abc");
  ds_->Post();
  EXPECT_EQ(Column("dados", 1), "abc");
  ds_->Edit();
  ds_->Cancel();
  change("abd");
  EXPECT_RAISES(ds_->Edit(), EDatabaseError, "OracleDataSet: Record has been changed by another user");
  // A text the field showed as it was, replaced by one it cannot show.
  ds_->RefreshRecord();
  change(chuwen);
  EXPECT_RAISES(ds_->Edit(), EDatabaseError, "OracleDataSet: Record has been changed by another user");
  // Cached: the logged change is checked against the server's text too.
  ds_->RefreshRecord();
  ds_->SetCachedUpdates(true);
  ds_->Edit();
  ds_->FieldByName(u"ERRO").SetAsString(u"e3");
  ds_->Post();
  change(nihongo);
  EXPECT_RAISES(ds_->ApplyUpdates(), EDatabaseError,
                "OracleDataSet: Record has been changed by another user");
  ds_->CancelUpdates();
  // A logged change of the field itself, shown again by a re-query before
  // it is applied: once applied, the server holds the field's text.
  ds_->Refresh();
  ds_->Edit();
  dados.SetAsString(u"def");
  ds_->Post();
  ds_->Refresh();
  ASSERT_EQ(dados.AsString(), u"def");
  ds_->ApplyUpdates();
  ds_->CommitUpdates();
  session_->Commit();
  EXPECT_EQ(Column("dados", 1), "def");
  ds_->SetCachedUpdates(false);
  ds_->Edit();
  ds_->Cancel();
}

TEST_F(DataSetWriteTest, InsertAndDeleteByRowId) {
  OpenService(1);
  ds_->Insert();
  ds_->FieldByName(u"CODIGO").SetAsFloat(77);
  ds_->FieldByName(u"STATUS").SetAsString(u"A");
  ds_->FieldByName(u"TIPO").SetAsString(u"NOVO");
  ds_->Post();
  EXPECT_EQ(trace_->Take(),
            (Records{"savepoint VZO__LOCKPOINT",
                     "insert into V9NORVELO.INTERFACE_ORCL\\n  (CODIGO, STATUS, TIPO)\\nvalues\\n  "
                     "(:v2, :v10, :v12)\\nreturning rowid into :vzo__rowid",
                     "commit"}));
  EXPECT_EQ(ds_->RecordCount(), 2);
  String rowid = ds_->RowId();
  EXPECT_EQ(rowid.size(), 18u);
  EXPECT_EQ(Column("tipo", 77), "NOVO");
  // The new record is found again by the ROWID the insert returned.
  ds_->Edit();
  ds_->FieldByName(u"STATUS").SetAsString(u"X");
  ds_->Post();
  EXPECT_EQ(Column("status", 77), "X");
  trace_->Clear();
  ds_->Delete();
  EXPECT_EQ(trace_->Take(), (Records{"savepoint VZO__LOCKPOINT", kLock,
                                     "delete from V9NORVELO.INTERFACE_ORCL\\nwhere rowid = :vzo__rowid",
                                     "commit"}));
  EXPECT_EQ(ds_->RecordCount(), 1);
  EXPECT_EQ(Column("tipo", 77), "(0 rows)");
  EXPECT_EQ(ds_->FieldByName(u"CODIGO").AsFloat(), 1);
}

TEST_F(DataSetWriteTest, KeysSequencesHandlersAndRereads) {
  OpenService(2);
  // Rows found by key instead of ROWID: no ROWID is returned.
  ds_->SetUniqueFields(u"CODIGO;TABELA");
  ds_->SetLockingMode(lmNone);
  ds_->Edit();
  ds_->FieldByName(u"STATUS").SetAsString(u"X");
  ds_->Post();
  Records r = trace_->Take();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[1], "update V9NORVELO.INTERFACE_ORCL\\nset STATUS = :v10\\nwhere CODIGO = :vzo__key1\\nand "
                  "TABELA = :vzo__key2");
  EXPECT_EQ(Column("status", 1), "X");
  ds_->SetUniqueFields(u"NO_SUCH_FIELD");
  ds_->Edit();
  ds_->FieldByName(u"STATUS").SetAsString(u"Y");
  EXPECT_RAISES(ds_->Post(), EDatabaseError, "OracleDataSet: No UniqueFields are present in dataset");
  ds_->Cancel();
  ds_->SetUniqueFields(u"");

  // A key from a sequence: fetched before the insert, or written by the
  // server (the stand-in has no sequences, so both fail, after asking).
  ds_->SequenceField() = {u"CODIGO", u"kavo_seq", amOnPost};
  ds_->Insert();
  ds_->FieldByName(u"STATUS").SetAsString(u"A");
  trace_->Clear();
  EXPECT_THROW(ds_->Post(), EOracleError);
  EXPECT_EQ(trace_->Take(), Records{"select kavo_seq.nextval from dual"});
  ds_->SequenceField().ApplyMoment = amOnServer;
  EXPECT_THROW(ds_->Post(), EDatabaseError);
  r = trace_->Take();
  ASSERT_GE(r.size(), 2u);
  EXPECT_EQ(r[1], "insert into V9NORVELO.INTERFACE_ORCL\\n  (CODIGO, STATUS)\\nvalues\\n  "
                  "(kavo_seq.nextval, :v10)\\nreturning rowid into :vzo__rowid");
  ds_->Cancel();
  ds_->SequenceField() = {};

  // A handler that does the work: nothing is sent, and an insert takes the
  // ROWID it names.
  std::string actions;
  ds_->OnApplyRecord = [&](TOracleDataSet&, Char action, bool& applied, String& rowid) {
    actions += static_cast<char>(action);
    applied = action == u'I';
    rowid = u"AAAR0oAAEAAAAAAAZZ";
  };
  ds_->Insert();
  ds_->FieldByName(u"CODIGO").SetAsFloat(50);
  trace_->Clear();
  ds_->Post();
  EXPECT_EQ(actions, "I");
  EXPECT_EQ(trace_->Take(), (Records{"savepoint VZO__LOCKPOINT", "commit"}));
  EXPECT_EQ(ds_->RowId(), u"AAAR0oAAEAAAAAAAZZ");
  ds_->Cancel();
  ds_->OnApplyRecord = nullptr;

  // Re-read after an update: a value the server changed comes back.
  ds_->Locate(u"CODIGO", {OraVariant(2.0)}, 0);
  ds_->SetRefreshOptions(roAfterUpdate);
  ds_->SetLockingMode(lmCheckImmediate);
  int refreshed = 0;
  ds_->AfterRefreshRecord = [&](TOracleDataSet&) { ++refreshed; };
  ds_->Edit();
  ds_->FieldByName(u"HORA").SetAsString(u"23:59:59");
  ds_->Post();
  EXPECT_EQ(refreshed, 1);
  EXPECT_EQ(ds_->FieldByName(u"HORA").AsString(), u"23:59:59");
  EXPECT_EQ(Column("hora", 2), "23:59:59");
}

// A re-read of all fields runs the record set's own select for the row, and
// takes the variables it names from the record set; the statements naming
// only the table need none of them.
TEST_F(DataSetWriteTest, RereadOfAllFieldsTakesTheVariablesOfTheSelect) {
  AddPendingRows(3);
  ds_->SQL().SetText(u"select t.*, t.rowid from interface_orcl t\nwhere codigo >= :Cod");
  ds_->DeclareVariable(u"cod", otInteger);
  ds_->SetVariable(u"cod", 2);
  AddServiceFields();
  ds_->SetRefreshOptions(roBeforeEdit | roAllFields);
  ds_->SetLockingMode(lmNone);
  ds_->Open();
  ASSERT_EQ(ds_->FieldByName(u"CODIGO").AsInteger(), 2);
  auto other = NewSession();
  OtherSession(*other, u"update interface_orcl set erro = 'outro' where codigo = 2");
  other->Commit();
  trace_->Clear();
  ds_->Edit();
  EXPECT_EQ(ds_->FieldByName(u"ERRO").AsString(), u"outro");
  Records sent = trace_->Take();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_NE(sent[0].find(":Cod"), std::string::npos) << sent[0];
  EXPECT_NE(sent[0].find(":vzo__rowid"), std::string::npos) << sent[0];
  ds_->FieldByName(u"STATUS").SetAsString(u"X");
  ds_->SetLockingMode(lmLockImmediate);
  ds_->Post();
  EXPECT_EQ(Column("status", 2), "X");
  EXPECT_EQ(Column("erro", 2), "outro");
}

TEST_F(DataSetWriteTest, ColumnsThatAreNotPlainNamesAreQuoted) {
  ASSERT_EQ(Sql("create table quoted (id number(9), \"Mixed\" varchar2(10));\n"
                "insert into quoted values (1, 'old');\ncommit;\n"),
            0);
  ds_->SQL().SetText(u"select q.*, q.rowid from quoted q");
  ds_->Open();
  ds_->Edit();
  ds_->FieldByName(u"Mixed").SetAsString(u"new");
  trace_->Clear();
  ds_->Post();
  Records r = trace_->Take();
  ASSERT_EQ(r.size(), 4u);
  EXPECT_EQ(r[2], "update QUOTED\\nset \"Mixed\" = :v2\\nwhere rowid = :vzo__rowid\\nreturning rowid into :vzo__rowid");
  std::string out;
  ASSERT_EQ(Sql("select \"Mixed\" from quoted;\n", &out), 0);
  EXPECT_NE(out.find("\nnew\n"), std::string::npos) << out;
}

// A double-quoted alias holding a quote, comment marks or a colon leaves the
// updating table, the count, the variables and the re-read of the row as
// they are.
TEST_F(DataSetWriteTest, QuotedAliasesHoldingQuotesOrCommentMarks) {
  ASSERT_EQ(Sql("create table upd1 (id number(9), s varchar2(10));\n"
                "insert into upd1 values (1, 'a');\ninsert into upd1 values (2, 'b');\n"
                "insert into upd1 values (3, 'c');\ncommit;\n"),
            0);
  ds_->SetCountAllRecords(true);
  ds_->SetQueryAllRecords(false);
  ds_->SetReadBuffer(1);
  auto second_row = [&] {
    std::string out;
    EXPECT_EQ(Sql("select s from upd1 where id = 2;\n", &out), 0);
    return out.substr(out.find('\n') + 1, out.find('\n', out.find('\n') + 1) - out.find('\n') - 1);
  };
  int id = 0;
  for (const char16_t* sql :
       {u"select t.*, 1 \"it's\", t.rowid from upd1 t where t.id >= :low",
        u"select t.*, 'x' \"a--b\", t.rowid from upd1 t where t.id >= :low",
        u"select t.*, 2 \"a:b /*\", t.rowid from upd1 t\nwhere t.id >= :low order by t.id"}) {
    SCOPED_TRACE(StringToUtf8(sql));
    ds_->Close();
    ds_->SQL().SetText(sql);
    ds_->DeclareVariable(u"low", otInteger);
    ds_->SetVariable(u"low", 2);
    ds_->SetRefreshOptions(0);
    ds_->SetLockingMode(lmCheckImmediate);
    ds_->Open();
    EXPECT_EQ(ds_->GetUpdatingTable(), u"UPD1");
    EXPECT_EQ(ds_->GetUpdatingAlias(), u"t");
    EXPECT_EQ(ds_->RecordCount(), 2);
    ds_->Edit();
    ds_->FieldByName(u"S").SetAsString(u"e" + IntToStr(++id));
    ds_->Post();
    EXPECT_EQ(second_row(), "e" + std::to_string(id));
    // The re-read of the whole select, locked, restricted to the row.
    ds_->SetRefreshOptions(roBeforeEdit | roAllFields);
    ds_->SetLockingMode(lmLockImmediate);
    ds_->Edit();
    ds_->FieldByName(u"S").SetAsString(u"f" + IntToStr(id));
    ds_->Post();
    EXPECT_EQ(second_row(), "f" + std::to_string(id));
  }
}

TEST_F(DataSetWriteTest, LockingModes) {
  OpenService(2);
  ds_->SetLockingMode(lmLockImmediate);
  ds_->Edit();
  EXPECT_EQ(trace_->Take(), (Records{"savepoint VZO__LOCKPOINT", kLock}));
  ds_->Cancel();
  EXPECT_EQ(trace_->Take(), Records{"rollback"});
  ds_->Edit();
  ds_->Post();  // unchanged: commits the lock away
  EXPECT_EQ(trace_->Take(), (Records{"savepoint VZO__LOCKPOINT", kLock, "commit"}));

  ds_->SetLockingMode(lmNone);
  ds_->Edit();
  ds_->FieldByName(u"HORA").SetAsString(u"12:00:00");
  ds_->Post();
  Records r = trace_->Take();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0], "savepoint VZO__LOCKPOINT");
  EXPECT_EQ(r[2], "commit");

  // Re-read before the edit: the edit starts from the server's row.
  ds_->SetRefreshOptions(roBeforeEdit);
  auto other = NewSession();
  OtherSession(*other, u"update interface_orcl set hora = '13:00:00' where codigo = 1");
  other->Commit();
  ds_->Edit();
  EXPECT_EQ(ds_->FieldByName(u"HORA").AsString(), u"13:00:00");
  ds_->Cancel();
  EXPECT_EQ(ds_->FieldByName(u"HORA").AsString(), u"13:00:00");
}

TEST_F(DataSetWriteTest, ServerErrorsReachTheCallerTranslated) {
  OpenService(1);
  // An application error keeps its first line only.
  ds_->OnApplyRecord = [&](TOracleDataSet&, Char action, bool&, String&) {
    if (action == u'U')
      throw EOracleError(session_.get(), nullptr, 20001,
                         u"ORA-20001: Invalid state\nORA-06512: at \"V9NORVELO.CHECKS\", line 5");
  };
  ds_->Edit();
  ds_->FieldByName(u"STATUS").SetAsString(u"X");
  trace_->Clear();
  EXPECT_RAISES(ds_->Post(), EDatabaseError, "OracleDataSet: ORA-20001: Invalid state");
  EXPECT_EQ(trace_->Take(), (Records{"savepoint VZO__LOCKPOINT", kLock, "rollback to savepoint VZO__LOCKPOINT"}));
  ds_->Cancel();
  ds_->OnApplyRecord = nullptr;

  // A constraint's message from the session's message table.
  ASSERT_EQ(Sql("create table coded (id number(9), txt varchar2(20), "
                "constraint coded_pk primary key (id));\n"
                "create table msgs (constraint_name varchar2(30), actions varchar2(10), "
                "parent_child varchar2(1), error_message varchar2(100));\n"
                "insert into coded values (1, 'one');\n"
                "insert into msgs values ('CODED_PK', 'I', '*', 'This code is taken');\n"
                "insert into msgs values ('CODED_PK', '*', '*', 'Code conflict');\n"
                "commit;\n"),
            0);
  ds_->Close();
  for (int i = ds_->FieldCount() - 1; i >= 0; --i) delete ds_->Fields(i);
  ds_->SQL().SetText(u"select c.*, c.rowid from coded c");
  session_->SetMessageTable(u"msgs");
  ds_->Open();
  ds_->Insert();
  ds_->FieldByName(u"ID").SetAsInteger(1);
  EXPECT_RAISES(ds_->Post(), EDatabaseError,
                "OracleDataSet: ORA-00001: unique constraint (V9NORVELO.CODED_PK) violated\n");
  ds_->OracleDictionary().UseMessageTable = true;
  EXPECT_RAISES(ds_->Post(), EDatabaseError, "OracleDataSet: This code is taken");
  ds_->Cancel();
  ds_->Edit();
  ds_->FieldByName(u"ID").SetAsInteger(1);
  ds_->FieldByName(u"TXT").SetAsString(u"changed");
  ds_->Post();
  ds_->Insert();
  ds_->FieldByName(u"ID").SetAsInteger(2);
  ds_->Post();
  ds_->Edit();
  ds_->FieldByName(u"ID").SetAsInteger(1);
  String seen;
  ds_->OnTranslateMessage = [&](TOracleDataSet&, int code, const String& constraint, Char action,
                                String& message) {
    seen = IntToStr(code) + u" " + constraint + u" " + String(1, action) + u" " + message;
  };
  EXPECT_RAISES(ds_->Post(), EDatabaseError, "OracleDataSet: Code conflict");
  EXPECT_EQ(seen, u"1 CODED_PK U Code conflict");
}

TEST_F(DataSetWriteTest, NineHundredNinetyNineRowsMarkedOneByOne) {
  AddPendingRows(1000);
  AddServiceFields();
  ds_->Open();
  EXPECT_EQ(ds_->RecordCount(), 999);
  int marked = 0;
  while (!ds_->Eof()) {
    ds_->Edit();
    ds_->FieldByName(u"STATUS").SetAsAnsiString("X");
    ds_->CommitUpdates();
    ds_->Next();
    ++marked;
  }
  EXPECT_EQ(marked, 999);
  std::string out;
  ASSERT_EQ(Sql("select status, count(*) from interface_orcl group by status order by status;\n", &out), 0);
  EXPECT_NE(out.find("A|1\nX|999"), std::string::npos) << out;
  ds_->Close();
}

}  // namespace
}  // namespace kavo::test
