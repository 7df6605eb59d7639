// The Oracle record set reading the service's interface table and other
// queries from the stand-in: field definitions, fetched values, the record
// store behind navigation, bookmarks, counting, refreshing and closing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "oracle/dataset_messages.h"
#include "rtl/code_page.h"
#include "rtl/datetime.h"
#include "testkit/message_of.h"
#include "testkit/oracle_dataset_fixture.h"

namespace kavo::test {
namespace {

// A long-text field kind of the program's own (not the model's memo field):
// its value lives in the record's blob list all the same.
class LongTextField : public TField {
 public:
  explicit LongTextField(TComponent* owner) : TField(owner) { SetDataTypeInternal(ftMemo); }
  bool IsBlob() const override { return true; }
};

class DataSetReadTest : public OracleDataSetFixture {
 protected:
  int CountRecords(const std::string& prefix) {
    auto r = trace_->Records();
    return static_cast<int>(std::count_if(r.begin(), r.end(), [&](const std::string& s) {
      return s.rfind(prefix, 0) == 0;
    }));
  }
};

TEST_F(DataSetReadTest, ServiceQueryOpensEveryPendingRowWithItsRowId) {
  AddPendingRows(3);
  ASSERT_EQ(Sql("update interface_orcl set status = 'X' where codigo = 2;\ncommit;\n"), 0);
  AddServiceFields();
  trace_->Clear();
  ds_->Open();
  EXPECT_EQ(trace_->Records(),
            std::vector<std::string>{"SELECT A.*, A.ROWID FROM \\nv9norvelo.\"INTERFACE_ORCL\" "
                                     "A \\nWHERE \\nA.STATUS='A' \\nand  ROWNUM < 1000"});
  EXPECT_EQ(ds_->RecordCount(), 2);
  EXPECT_TRUE(ds_->HasRowIdColumn());
  EXPECT_EQ(ds_->FindField(u"ROWID"), nullptr);
  EXPECT_EQ(ds_->FieldDefs().IndexOf(u"ROWID"), -1);
  EXPECT_TRUE(ds_->CanModify());
  EXPECT_EQ(ds_->FieldByName(u"CODIGO").AsFloat(), 1);
  EXPECT_EQ(ds_->FieldByName(u"DADOS").AsString(), u"dados 1");
  EXPECT_EQ(ds_->FieldByName(u"HORA").AsString(), u"10:00:00");
  EXPECT_EQ(ds_->FieldByName(u"ORDEM").AsFloat(), 1.5);
  EXPECT_EQ(ds_->FieldByName(u"DT_H_GRAV").AsDateTime(),
            CombineDateTime(EncodeDate(2024, 3, 5), EncodeTime(8, 30, 15, 0)));
  EXPECT_TRUE(ds_->FieldByName(u"DT_H_PRI_P").IsNull());
  EXPECT_TRUE(ds_->FieldByName(u"ERRO").IsNull());
  String first = ds_->RowId();
  EXPECT_EQ(first.size(), 18u);
  ds_->Next();
  EXPECT_EQ(ds_->FieldByName(u"CODIGO").AsFloat(), 3);
  EXPECT_NE(ds_->RowId(), first);
  EXPECT_EQ(ds_->RowId().size(), 18u);
  // The record store keeps the row identifiers: reading one back needs no
  // server.
  trace_->Clear();
  ds_->First();
  EXPECT_EQ(ds_->RowId(), first);
  EXPECT_TRUE(trace_->Records().empty());
}

TEST_F(DataSetReadTest, EmptyResultAndQueriesWithoutRowIdColumn) {
  ds_->Open();
  EXPECT_TRUE(ds_->Eof());
  EXPECT_TRUE(ds_->Bof());
  EXPECT_EQ(ds_->RecordCount(), 0);
  // Default fields: every column but the ROWID.
  EXPECT_EQ(ds_->FieldCount(), 13);
  EXPECT_EQ(ds_->RowId(), u"");
  ds_->Close();
  EXPECT_RAISES(ds_->RecordCount(), EDatabaseError,
                "OracleDataSet: Cannot perform this operation on a closed dataset");

  AddPendingRows(1);
  ds_->SQL().SetText(u"select codigo, status from v9norvelo.interface_orcl");
  ds_->Open();
  EXPECT_FALSE(ds_->HasRowIdColumn());
  EXPECT_FALSE(ds_->CanModify());
  EXPECT_RAISES(ds_->Edit(), EDatabaseError, "OracleDataSet: Cannot modify a read-only dataset");
  ds_->Close();
  ds_->OnApplyRecord = [](TOracleDataSet&, Char, bool&, String&) {};
  ds_->Open();
  EXPECT_TRUE(ds_->CanModify());
  ds_->Close();
  ds_->OnApplyRecord = nullptr;
  ds_->SetCachedUpdates(true);
  EXPECT_RAISES(ds_->Open(), Exception, "CachedUpdates requires a rowid!");
  EXPECT_FALSE(ds_->Active());
  // Found by type when it is not named ROWID.
  ds_->SQL().SetText(u"select codigo, rowid as rid from v9norvelo.interface_orcl");
  ds_->SetCachedUpdates(false);
  ds_->Open();
  EXPECT_TRUE(ds_->HasRowIdColumn());
  EXPECT_EQ(ds_->FindField(u"RID"), nullptr);
  EXPECT_EQ(ds_->RowId().size(), 18u);
}

TEST_F(DataSetReadTest, FieldKindsAndNamesFromTheSelectList) {
  ASSERT_EQ(Sql("create table kinds (n3 number(3), n5 number(5), n number, n102 number(10,2), "
                "d date, s varchar2(30) not null, name varchar2(5), l long);\n"
                "insert into kinds values (1, 2, 3.25, 4.5, sysdate, 'x', 'y', 'long text');\n"
                "commit;\n"),
            0);
  ds_->SQL().SetText(u"select n3, n5, n, n102, d, s, l, name, name, name as name_1 from kinds");
  ds_->Open();
  const TFieldDefs& defs = ds_->FieldDefs();
  auto type = [&](const char16_t* name) { return defs.Find(name) ? defs.Find(name)->DataType : ftUnknown; };
  EXPECT_EQ(type(u"N3"), ftInteger);  // SmallIntPrecision -1: every integer column
  EXPECT_EQ(type(u"N5"), ftInteger);
  EXPECT_EQ(type(u"N"), ftFloat);
  EXPECT_EQ(type(u"N102"), ftFloat);
  EXPECT_EQ(type(u"D"), ftDateTime);
  EXPECT_EQ(type(u"S"), ftWideString);  // the store's text is UTF-8: wide
  EXPECT_EQ(defs.Find(u"S")->Size, 30);
  EXPECT_EQ(type(u"L"), ftWideMemo);
  EXPECT_TRUE(defs.Find(u"S")->Required);
  EXPECT_FALSE(defs.Find(u"N")->Required);
  // A repeated name counts on until it is unique.
  EXPECT_EQ(defs[7].Name, u"NAME");
  EXPECT_EQ(defs[8].Name, u"NAME_2");
  EXPECT_EQ(defs[9].Name, u"NAME_1");
  // Field numbers are the column descriptions' items (item 0 is none).
  EXPECT_EQ(defs[0].FieldNo, 1);
  EXPECT_EQ(ds_->FieldInfos()[1].ColumnName, u"N3");
  EXPECT_EQ(ds_->FieldByName(u"N102").AsFloat(), 4.5);
  EXPECT_EQ(ds_->FieldByName(u"S").AsString(), u"x");
  ds_->Close();

  session_->Preferences().SetSmallIntPrecision(0);  // 0 means 4
  ds_->OracleDictionary().RequiredFields = false;
  ds_->SQL().SetText(u"select n3, n5, s, name, name from kinds");
  ds_->Open();
  EXPECT_EQ(ds_->FieldDefs()[0].DataType, ftSmallint);
  EXPECT_EQ(ds_->FieldDefs()[1].DataType, ftInteger);
  EXPECT_FALSE(ds_->FieldDefs()[2].Required);
  EXPECT_EQ(ds_->FieldDefs()[4].Name, u"NAME_1");
  EXPECT_EQ(ds_->FieldByName(u"N3").AsInteger(), 1);
}

TEST_F(DataSetReadTest, FetchedTextIsTrimmedAndCutByWholeCharacters) {
  SetAnsiCodePage("UTF-8");
  ASSERT_EQ(Sql("create table texts (id number(9), t varchar2(20));\n"
                "insert into texts values (1, 'abc    ');\n"
                "insert into texts values (2, 'a\xC3\xA9\xC3\xA9');\n"
                "insert into texts values (3, '\xC3\xA9\xC3\xA9\xC3\xA9');\n"
                "commit;\n"),
            0);
  ds_->SQL().SetText(u"select id, t from texts order by id");
  auto* id = Add<TIntegerField>(u"ID");
  auto* t = Add<TStringField>(u"T", 4);
  ds_->Open();
  EXPECT_EQ(t->AsAnsiString(), "abc");
  ds_->Next();
  // Five bytes do not fit four: the value is never cut silently, reading it
  // says why, and the row can still be browsed and its other fields read.
  EXPECT_EQ(MessageOf([&] { t->AsAnsiString(); }),
            u"OracleDataSet: Field 'T': a value of 5 bytes does not fit the field's 4");
  EXPECT_FALSE(t->IsNull());
  EXPECT_EQ(id->AsInteger(), 2);
  ds_->Close();
  session_->Preferences().SetTrimStringFields(false);
  ds_->Open();
  // Only blanks are beyond the field: nothing of the value is lost.
  EXPECT_EQ(t->AsAnsiString(), "abc ");
  ds_->Close();
  session_->Preferences().SetTrimStringFields(true);

  // Default fields: a wide field of a UTF-8 column keeps UTF-8 bytes, cut to
  // its size by whole characters.
  delete id;
  delete t;
  ds_->SQL().SetText(u"select id, cast(t as varchar2(4)) t from texts where id = 3");
  ASSERT_EQ(Sql("create table short (id number(9), t varchar2(4));\n"
                "insert into short values (3, '\xC3\xA9\xC3\xA9');\ncommit;\n"),
            0);
  ds_->SQL().SetText(u"select id, t from short");
  ds_->Open();
  ASSERT_EQ(ds_->FieldByName(u"T").DataType(), ftWideString);
  EXPECT_EQ(ds_->FieldByName(u"T").AsString(), u"\u00e9\u00e9");
  // Writing: a text that does not fit is shortened by whole characters.
  ds_->OnApplyRecord = [](TOracleDataSet&, Char, bool& applied, String&) { applied = true; };
  ds_->Edit();
  ds_->FieldByName(u"T").SetAsString(u"a\u00e9\u00e9");
  EXPECT_EQ(ds_->FieldByName(u"T").AsString(), u"a\u00e9");
  ds_->FieldByName(u"T").SetAsString(u"");
  EXPECT_TRUE(ds_->FieldByName(u"T").IsNull());
  ds_->Cancel();
  SetAnsiCodePage("CP1252");
}

// A value an 8-bit field cannot show (a character its code page lacks, a
// line end widened past its size, a NUL) is kept apart: reading it raises,
// naming the field and why, where it used to read as '?' or cut.
TEST_F(DataSetReadTest, TextAnEightBitFieldCannotHoldRaisesInsteadOfReadingLossy) {
  SetAnsiCodePage("CP1252");
  ASSERT_EQ(Sql("create table lossy (id number(9), t varchar2(8));\n"
                "insert into lossy values (1, 'A\xC3\xA7\xC3\xA3o');\n"
                "insert into lossy values (2, '\xE4\xB8\xAD\xE6\x96\x87');\n"
                "insert into lossy values (3, 'a'||chr(10)||'b'||chr(10)||'cd');\n"
                "insert into lossy values (4, 'a'||chr(0)||'b');\n"
                "insert into lossy values (5, 'ok \xF0\x9F\x98\x80');\n"
                "commit;\n"),
            0);
  ds_->SQL().SetText(u"select id, t, rowid from lossy order by id");
  Add<TIntegerField>(u"ID");
  auto* t = Add<TStringField>(u"T", 6);
  ds_->Open();
  EXPECT_EQ(t->AsString(), u"A\u00e7\u00e3o");
  const String expected[] = {
      u"OracleDataSet: Field 'T': '\u4e2d\u6587' cannot be stored in CP1252",
      u"OracleDataSet: Field 'T': a value of 8 bytes does not fit the field's 6 once its line "
      u"ends are CR LF",
      u"OracleDataSet: Field 'T': the value holds a NUL character, which no text field can carry",
      u"OracleDataSet: Field 'T': 'ok \U0001F600' cannot be stored in CP1252"};
  for (const String& message : expected) {
    ds_->Next();
    EXPECT_EQ(MessageOf([&] { t->AsAnsiString(); }), message);
    EXPECT_EQ(MessageOf([&] { t->AsString(); }), message);
  }
  // Another column of such a row is written; the unread value stays as the server has it.
  ds_->First();
  ds_->Next();
  ds_->Edit();
  ds_->FieldByName(u"ID").SetAsInteger(20);
  ds_->Post();
  std::string out;
  ASSERT_EQ(Sql("select t from lossy where id = 20;\n", &out), 0);
  EXPECT_NE(out.find("\xE4\xB8\xAD\xE6\x96\x87"), std::string::npos) << out;
  // A value assigned in its place reads as assigned.
  ds_->Edit();
  t->SetAsString(u"novo");
  EXPECT_EQ(t->AsString(), u"novo");
  ds_->Cancel();
}

// Whatever the length of a value and wherever in it a blank, a line end or a
// character beyond ASCII falls (before, on or after its sixteenth byte, or a
// value that fills its column), it reads the same.
TEST_F(DataSetReadTest, TextsReadAlikeWhereverTheirBlanksLineEndsAndWideCharactersFall) {
  SetAnsiCodePage("CP1252");
  ASSERT_EQ(Sql("create table spans (id number(9), t varchar2(40));\n"
                "insert into spans values (1, 'xxxxxxxxxxxxxxx    y            ');\n"
                "insert into spans values (2, 'aaaaaaaaaaaaaaaaa\xC3\xB1');\n"
                "insert into spans values (3, 'aaaaaaaaaaaaaaaaaa'||chr(10)||'b');\n"
                "insert into spans values (4, '0123456789abcdef');\n"
                "insert into spans values (5, '0123456789012345678901234567890123456789');\n"
                "insert into spans values (6, '   ');\n"
                "commit;\n"),
            0);
  ds_->SQL().SetText(u"select id, t from spans order by id");
  Add<TIntegerField>(u"ID");
  auto* t = Add<TStringField>(u"T", 40);
  ds_->Open();
  const String expected[] = {u"xxxxxxxxxxxxxxx    y", u"aaaaaaaaaaaaaaaaa\u00f1",
                             u"aaaaaaaaaaaaaaaaaa\r\nb", u"0123456789abcdef",
                             u"0123456789012345678901234567890123456789", u""};
  for (const String& value : expected) {
    EXPECT_EQ(t->AsString(), value);
    ds_->Next();
  }
  EXPECT_TRUE(ds_->Eof());
  ds_->Close();
  session_->Preferences().SetTrimStringFields(false);
  ds_->Open();
  EXPECT_EQ(t->AsString(), u"xxxxxxxxxxxxxxx    y            ");
  ds_->Close();
  session_->Preferences().SetTrimStringFields(true);
}

// Short columns are read 16 bytes at a time across the batch's elements: a
// value must never take its neighbour's bytes, in a full batch or at its end;
// dates on either side of 1899-12-30 keep their day and time.
TEST_F(DataSetReadTest, ShortTextsAndDatesOfAFullBatchReadAsStored) {
  SetAnsiCodePage("CP1252");
  const char* const threes[] = {"ab ", "xyz", "q\nr", "\xC3\xB1o", "7"};
  const String expected3[] = {u"ab", u"xyz", u"q\r\nr", u"\u00f1o", u"7"};
  std::string script = "create table shorts (id number(9), c1 varchar2(1), c3 varchar2(4), d date);\n";
  const int rows = 31;  // a batch of 25 and a part of one
  for (int i = 0; i < rows; ++i) {
    const char* date = i % 2 == 0 ? "1850-01-15 06:30:00" : "2024-02-29 23:59:59";
    script += "insert into shorts values (" + std::to_string(i) + ", '" +
              std::string(1, static_cast<char>('a' + i % 26)) + "', '" + threes[i % 5] +
              "', to_date('" + date + "', 'yyyy-mm-dd hh24:mi:ss'));\n";
  }
  ASSERT_EQ(Sql(script + "commit;\n"), 0);
  ds_->SQL().SetText(u"select id, c1, c3, d from shorts order by id");
  Add<TIntegerField>(u"ID");
  auto* c1 = Add<TStringField>(u"C1", 1);
  auto* c3 = Add<TStringField>(u"C3", 4);
  auto* d = Add<TDateTimeField>(u"D");
  ds_->Open();
  const TDateTime dates[] = {CombineDateTime(EncodeDate(1850, 1, 15), EncodeTime(6, 30, 0, 0)),
                             CombineDateTime(EncodeDate(2024, 2, 29), EncodeTime(23, 59, 59, 0))};
  for (int i = 0; i < rows; ++i, ds_->Next()) {
    SCOPED_TRACE(i);
    EXPECT_EQ(c1->AsString(), String(1, static_cast<Char>(u'a' + i % 26)));
    EXPECT_EQ(c3->AsString(), expected3[i % 5]);
    EXPECT_EQ(d->AsDateTime(), dates[i % 2]);
  }
  EXPECT_TRUE(ds_->Eof());
}

TEST_F(DataSetReadTest, NavigationRecNoAndBookmarksWorkOnTheStore) {
  AddPendingRows(5);
  AddServiceFields();
  ds_->Open();
  EXPECT_EQ(ds_->RecNo(), 1);
  ds_->First();
  EXPECT_EQ(ds_->RecNo(), 1);
  ds_->Next();
  ds_->Next();
  EXPECT_EQ(ds_->RecNo(), 3);
  TBookmark third = ds_->GetBookmark();
  ds_->Last();
  EXPECT_EQ(ds_->RecNo(), 5);
  EXPECT_TRUE(ds_->Eof());
  EXPECT_EQ(ds_->FieldByName(u"CODIGO").AsFloat(), 5);
  ds_->Prior();
  EXPECT_EQ(ds_->FieldByName(u"CODIGO").AsFloat(), 4);
  ds_->GotoBookmark(third);
  EXPECT_EQ(ds_->FieldByName(u"CODIGO").AsFloat(), 3);
  EXPECT_TRUE(ds_->BookmarkValid(third));
  ds_->SetRecNo(2);
  EXPECT_EQ(ds_->FieldByName(u"CODIGO").AsFloat(), 2);
  TBookmark second = ds_->GetBookmark();
  EXPECT_EQ(ds_->CompareBookmarks(second, third), -1);
  EXPECT_EQ(ds_->CompareBookmarks(third, second), 1);
  EXPECT_EQ(ds_->CompareBookmarks({}, third), -1);
  EXPECT_EQ(ds_->CompareBookmarks({}, {}), 0);
  // A caller's bookmark is range-checked before it is looked up.
  for (int32_t b : {0, -7, 6, 2000000000}) {
    TBookmark bad(4);
    std::memcpy(bad.data(), &b, 4);
    EXPECT_FALSE(ds_->BookmarkValid(bad));
    EXPECT_RAISES(ds_->GotoBookmark(bad), EDatabaseError,
                  "OracleDataSet: Bookmark not found (" + std::to_string(b) + ")");
  }
  EXPECT_FALSE(ds_->BookmarkValid(TBookmark(2)));
  // Reopening numbers the records from 1 again.
  ds_->Close();
  ASSERT_EQ(Sql("delete from interface_orcl where codigo = 1;\ncommit;\n"), 0);
  ds_->Open();
  ds_->GotoBookmark(third);
  EXPECT_EQ(ds_->FieldByName(u"CODIGO").AsFloat(), 4);
}

TEST_F(DataSetReadTest, CountingFetchedRowsOrByCountQuery) {
  AddPendingRows(60);
  AddServiceFields();
  ds_->SetQueryAllRecords(false);
  ds_->Open();
  // Only what filled the record window so far.
  EXPECT_EQ(ds_->RecordCount(), 1);
  ds_->MoveBy(9);
  EXPECT_EQ(ds_->RecordCount(), 10);
  ds_->Last();
  EXPECT_EQ(ds_->RecordCount(), 60);
  ds_->Close();

  ds_->SetQueryAllRecords(true);
  ds_->SetCountAllRecords(true);
  ds_->Open();
  trace_->Clear();
  EXPECT_EQ(ds_->RecordCount(), 60);
  EXPECT_EQ(ds_->RecordCount(), 60);
  EXPECT_EQ(trace_->Records(),
            std::vector<std::string>{"select count(*) from (\\nSELECT A.*, A.ROWID FROM \\nv9norvelo."
                                     "\"INTERFACE_ORCL\" A\\nwhere A.STATUS='A' \\nand  ROWNUM < 1000)"});
  ASSERT_EQ(Sql("update interface_orcl set status = 'X' where codigo > 50;\ncommit;\n"), 0);
  ds_->Refresh();
  EXPECT_EQ(ds_->RecordCount(), 50);
  EXPECT_EQ(CountRecords("select count(*)"), 2);
  EXPECT_EQ(ds_->RecNo(), 1);
  EXPECT_EQ(ds_->FieldByName(u"CODIGO").AsFloat(), 1);
}

TEST_F(DataSetReadTest, RecordStoreGrowsByBlocksAndUnidirectionalModeHoldsOneBlock) {
  AddPendingRows(100);
  AddServiceFields();
  ds_->Open();
  std::vector<int> sizes;
  for (const TRecordBlock& b : ds_->Store()->Blocks()) sizes.push_back(b.MaxRecords);
  EXPECT_EQ(sizes, (std::vector<int>{26, 26, 26, 39}));
  ds_->Close();

  EXPECT_NO_THROW(ds_->SetUnidirectional(true));
  ds_->Open();
  EXPECT_RAISES(ds_->SetUnidirectional(false), EDatabaseError,
                "OracleDataSet: Cannot perform this operation on an open dataset");
  TBookmark first = ds_->GetBookmark();
  int walked = 1;
  size_t most_held = 0;
  while (true) {
    most_held = std::max(most_held, static_cast<size_t>(ds_->Store()->Count() - ds_->Store()->BlockOffset()));
    EXPECT_EQ(ds_->FieldByName(u"CODIGO").AsFloat(), walked);
    ds_->Next();
    if (ds_->Eof()) break;
    ++walked;
  }
  EXPECT_EQ(walked, 100);
  EXPECT_EQ(most_held, 26u);
  EXPECT_GT(ds_->Store()->BlockOffset(), 0);
  EXPECT_RAISES(ds_->GotoBookmark(first), EDatabaseError, "OracleDataSet: Bookmark not found (1)");
  // The record itself is no longer held.
  EXPECT_RAISES(ds_->Store()->RecordAt(0), Exception,
                "OracleDataSet: Record 0 not accessible in Unidirectional mode");
}

TEST_F(DataSetReadTest, StoredActiveOpensOnceLoadingEnds) {
  AddPendingRows(1);
  owner_.BeginLoading();
  ds_->SetActive(true);
  EXPECT_FALSE(ds_->Active());
  owner_.EndLoading();
  EXPECT_TRUE(ds_->Active());
  ds_->Close();
  // Ignored with DesignActivation, and without a connected session.
  ds_->SetDesignActivation(true);
  owner_.BeginLoading();
  ds_->SetActive(true);
  owner_.EndLoading();
  EXPECT_FALSE(ds_->Active());
  ds_->SetDesignActivation(false);
  session_->SetConnected(false);
  owner_.BeginLoading();
  ds_->SetActive(true);
  owner_.EndLoading();
  EXPECT_FALSE(ds_->Active());
}

TEST_F(DataSetReadTest, SessionLogoffClosesUnlessDetachable) {
  AddPendingRows(2);
  ds_->Open();
  session_->SetConnected(false);
  EXPECT_FALSE(ds_->Active());

  session_->SetConnected(true);
  ds_->SetDetachable(true);
  ds_->Open();
  session_->SetConnected(false);
  ASSERT_TRUE(ds_->Active());
  EXPECT_TRUE(ds_->Detached());
  EXPECT_FALSE(ds_->CanModify());
  EXPECT_EQ(ds_->RecordCount(), 2);
  ds_->Next();
  EXPECT_EQ(ds_->FieldByName(u"CODIGO").AsFloat(), 2);
  // A re-query while detached yields no rows.
  ds_->Refresh();
  EXPECT_EQ(ds_->RecordCount(), 0);
  // A session that goes away leaves a detachable record set open.
  session_.reset();
  EXPECT_TRUE(ds_->Active());
  EXPECT_EQ(ds_->Session(), nullptr);
}

TEST_F(DataSetReadTest, FetchEventsAndWhatIsNotBuiltIsRefused) {
  AddPendingRows(6);
  AddServiceFields();
  int before = 0, after = 0;
  std::vector<double> seen;
  ds_->BeforeQuery = [&](TOracleDataSet&) { ++before; };
  ds_->AfterQuery = [&](TOracleDataSet&) { ++after; };
  ds_->AfterFetchRecord = [&](TOracleDataSet& ds, bool, TAfterFetchRecordAction& action) {
    seen.push_back(ds.FieldByName(u"CODIGO").AsFloat());
    if (seen.size() == 3) action = afStop;
  };
  ds_->Open();
  EXPECT_EQ(before, 1);
  EXPECT_EQ(after, 1);
  EXPECT_EQ(seen, (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(ds_->RecordCount(), 3);
  ds_->Close();

  // An error in the handler cancels: no rows, and it is reported, not raised.
  std::vector<String> shown;
  TOracleDataSet::ShowMessageHook() = [&](const Exception& e) { shown.push_back(e.Message()); };
  ds_->AfterFetchRecord = [&](TOracleDataSet&, bool, TAfterFetchRecordAction&) {
    throw Exception(u"handler failed");
  };
  ds_->Open();
  EXPECT_EQ(ds_->RecordCount(), 0);
  EXPECT_EQ(shown, std::vector<String>{u"handler failed"});
  TOracleDataSet::ShowMessageHook() = nullptr;
  ds_->Close();
  ds_->AfterFetchRecord = nullptr;

  EXPECT_RAISES(ds_->SetQBEMode(true), Exception, "QBE mode is not supported by this TOracleDataSet");
  ds_->SetFiltered(true);  // filters are built (dataset_filter_test.cpp)
  EXPECT_TRUE(ds_->Filtered());
  ds_->SetFiltered(false);
  ds_->OracleDictionary().FieldKinds = true;  // DefaultValues is built (dataset_dictionary_test.cpp)
  // Only default fields would take the option: persistent fields open.
  ds_->Open();
  EXPECT_EQ(ds_->RecordCount(), 6);
  ds_->Close();
  TOracleDataSet bare(nullptr);
  bare.SetSession(session_.get());
  bare.SQL().SetText(u"select codigo from interface_orcl");
  bare.OracleDictionary().CharacterSize = true;
  EXPECT_RAISES(bare.Open(), Exception,
                "OracleDictionary.CharacterSize is not supported by this TOracleDataSet");
  EXPECT_FALSE(bare.Active());
}

TEST_F(DataSetReadTest, SearchingTheRecordsFetchesFurtherRowsAsNeeded) {
  AddPendingRows(40);
  AddServiceFields();
  ds_->SetQueryAllRecords(false);
  ds_->Open();
  auto codigo = [&] { return ds_->FieldByName(u"CODIGO").AsFloat(); };
  EXPECT_TRUE(ds_->Locate(u"CODIGO", {OraVariant(30.0)}, 0));
  EXPECT_EQ(codigo(), 30);
  EXPECT_EQ(ds_->RecNo(), 30);
  EXPECT_TRUE(ds_->Locate(u"TIPO;CODIGO", {OraVariant(u"pedido"), OraVariant(5.0)}, loCaseInsensitive));
  EXPECT_EQ(codigo(), 5);
  EXPECT_FALSE(ds_->Locate(u"TIPO;CODIGO", {OraVariant(u"pedido"), OraVariant(5.0)}, 0));
  EXPECT_EQ(codigo(), 5);  // not found: stays
  EXPECT_TRUE(ds_->Locate(u"DADOS", {OraVariant(u"dados 1")}, loPartialKey));
  EXPECT_EQ(codigo(), 1);
  EXPECT_TRUE(ds_->SearchRecord(u"DADOS", {OraVariant(u"DADOS 1")}, srBackward | srPartialMatch | srIgnoreCase));
  EXPECT_EQ(codigo(), 19);
  EXPECT_TRUE(ds_->SearchRecord(u"DADOS", {OraVariant(u"dados 1")}, srBackward | srFromCurrent | srPartialMatch));
  EXPECT_EQ(codigo(), 18);
  EXPECT_TRUE(ds_->SearchRecord(u"ERRO;STATUS", {OraVariant(), OraVariant(u"A")}, srFromCurrent));
  EXPECT_EQ(codigo(), 19);
  ds_->First();
  ds_->Next();
  String second = ds_->RowId();
  ds_->Last();
  EXPECT_TRUE(ds_->Locate(u"ROWID", {OraVariant(second)}, 0));
  EXPECT_EQ(codigo(), 2);
  OraVariant found = ds_->Lookup(u"CODIGO", {OraVariant(7.0)}, u"DADOS;ROWID");
  ASSERT_TRUE(found.IsArray());
  EXPECT_EQ(found.Items()[0].AsString(), u"dados 7");
  EXPECT_EQ(found.Items()[1].AsString().size(), 18u);
  EXPECT_EQ(codigo(), 2);  // Lookup does not move
  EXPECT_TRUE(ds_->Lookup(u"CODIGO", {OraVariant(77.0)}, u"DADOS").IsEmpty());

  EXPECT_RAISES(ds_->Locate(u"CODIGO;DADOS", {OraVariant(1.0)}, 0), Exception,
                "OracleDataSet.SearchRecord: number of fields and values do not match");
  EXPECT_RAISES(ds_->SearchRecord(u"CODIGO", {OraVariant(1.0)}, srForward | srBackward), Exception,
                "OracleDataSet.SearchRecord options invalid");
  EXPECT_RAISES(ds_->SearchRecord(u"CODIGO", {OraVariant(1.0)}, srFromCurrent | srFromEnd), Exception,
                "OracleDataSet.SearchRecord options invalid");
  ds_->Close();
  for (int i = ds_->FieldCount() - 1; i >= 0; --i) delete ds_->Fields(i);
  ds_->SQL().SetText(u"select codigo from v9norvelo.interface_orcl");
  ds_->Open();
  EXPECT_RAISES(ds_->Locate(u"ROWID", {OraVariant(second)}, 0), Exception,
                "You cannot search a rowid if it is not included in the select list");
}

// Fetched rows are kept at their used size; searching reads them where they
// are, and an edit widens its own row only, leaving its neighbours' values.
TEST_F(DataSetReadTest, FetchedRowsStayCompactUntilOneIsEdited) {
  AddPendingRows(3);
  AddServiceFields();
  ds_->Open();
  const size_t compact = ds_->Store()->AllocatedBytes();
  EXPECT_LT(compact, 3 * ds_->Store()->RecordSize() / 2);
  EXPECT_TRUE(ds_->Locate(u"DADOS;ERRO", {OraVariant(u"dados 3"), OraVariant()}, 0));
  EXPECT_EQ(ds_->Lookup(u"CODIGO", {OraVariant(2.0)}, u"DADOS").AsString(), u"dados 2");
  EXPECT_EQ(ds_->Store()->AllocatedBytes(), compact);
  const String erro(255, u'e');
  ASSERT_TRUE(ds_->Locate(u"CODIGO", {OraVariant(2.0)}, 0));
  ds_->Edit();
  ds_->FieldByName(u"ERRO").SetAsString(erro);
  ds_->Post();
  EXPECT_GT(ds_->Store()->AllocatedBytes(), compact);
  ds_->First();
  for (int i = 1; i <= 3; ++i, ds_->Next()) {
    EXPECT_EQ(ds_->FieldByName(u"CODIGO").AsFloat(), i);
    EXPECT_EQ(ds_->FieldByName(u"DADOS").AsString(), u"dados " + IntToStr(i));
    EXPECT_EQ(ds_->FieldByName(u"ERRO").AsString(), i == 2 ? erro : String());
    EXPECT_EQ(ds_->RowId().size(), 18u);
  }
  ds_->Close();
  ds_->Open();
  ASSERT_TRUE(ds_->Locate(u"CODIGO", {OraVariant(2.0)}, 0));
  EXPECT_EQ(ds_->FieldByName(u"ERRO").AsString(), erro);
}

TEST_F(DataSetReadTest, CalculatedTextAndLongValuesHaveTheirOwnAreas) {
  AddPendingRows(2);
  ASSERT_EQ(Sql("create table longs (id number(9), l long);\n"
                "insert into longs values (1, 'a long text');\n"
                "insert into longs values (2, null);\ncommit;\n"),
            0);
  ds_->SQL().SetText(u"select g.*, g.rowid from longs g order by id");
  auto* id = Add<TIntegerField>(u"ID");
  auto* l = Add<LongTextField>(u"L");
  // Two calculated wide texts: the first, filled to its size, must not reach
  // into the second, which stays null.
  auto* c1 = Add<TWideStringField>(u"C1", 10);
  auto* c2 = Add<TWideStringField>(u"C2", 3);
  c1->SetFieldKind(fkCalculated);
  c2->SetFieldKind(fkCalculated);
  ds_->OnCalcFields = [&](TDataSet&) { c1->SetAsString(u"0123456789" + IntToStr(id->AsInteger())); };
  ds_->Open();
  EXPECT_EQ(c1->AsString(), u"0123456789");
  EXPECT_TRUE(c2->IsNull());
  // The long value is held with the record, and stays with it through an
  // update of another column; closing frees it once.
  EXPECT_FALSE(l->IsNull());
  ds_->Next();
  EXPECT_TRUE(l->IsNull());
  ds_->First();
  EXPECT_FALSE(l->IsNull());
  ds_->Edit();
  id->SetAsInteger(10);
  ds_->Post();
  EXPECT_FALSE(l->IsNull());
  EXPECT_EQ(id->AsInteger(), 10);
  ds_->Close();
}

}  // namespace
}  // namespace kavo::test
