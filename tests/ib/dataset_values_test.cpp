// TIBDataSet keeps every row and every value it was given: characters beyond
// the BMP, computed columns, numbers its field kinds cannot show, exact
// decimals, blobs and memos, values an edit did not touch, and changes that
// reach no row or fail half-way.
#include <gtest/gtest.h>

#include <chrono>

#include "ib/ib_dataset.h"
#include "recordset/bcd_fields.h"
#include "recordset/blob_fields.h"
#include "recordset/database_error.h"
#include "recordset/numeric_fields.h"
#include "testkit/ib_support.h"
#include "testkit/message_of.h"

namespace kavo::test {
namespace {

class DataSetValuesTest : public EmbeddedDatabaseTest {
 protected:
  void SetUp() override {
    EmbeddedDatabaseTest::SetUp();
    ds_ = new TIBDataSet(&owner_);
    ds_->SetName(u"DS");
  }
  TIBDataSet& Open(const String& select, const String& modify = u"") {
    ds_->SetDatabase(&db());
    ds_->SelectSQL().SetText(select);
    ds_->ModifySQL().SetText(modify);
    ds_->Open();
    return *ds_;
  }
  TField& F(const Char* name) { return ds_->FieldByName(name); }
  // The first column of `sql` as another transaction sees it now.
  String Committed(const String& sql) {
    TIBTransaction reader(nullptr);
    reader.SetDefaultDatabase(&db());
    String value = QueryValue(db(), reader, sql);
    reader.Commit();
    return value;
  }
  void Setup(std::initializer_list<const Char*> ddl, std::initializer_list<const Char*> rows) {
    if (!db().Connected()) db().Open();
    ExecuteCommitted(db(), ddl);
    ExecuteCommitted(db(), rows);
  }

  TComponent owner_{nullptr};
  TIBDataSet* ds_ = nullptr;
};

// A UTF8 database and connection: a character beyond the BMP counts as one.
class DataSetUtf8Test : public DataSetValuesTest {
 protected:
  void SetUp() override {
    DataSetValuesTest::SetUp();
    std::string path = dir_.path() + "/utf8.fdb";
    TIBDatabase create(nullptr);
    create.SetServerType(u"IBEmbedded");
    create.SetLoginPrompt(false);
    create.SetDatabaseName(Utf8ToString(path));
    create.Params().SetText(u"USER 'VAVAVOR' PASSWORD 'kat4ro2' DEFAULT CHARACTER SET UTF8");
    create.CreateDatabase();
    create.Close();
    db().SetDatabaseName(Utf8ToString(path));
    db().Params().SetValue(u"lc_ctype", u"UTF8");
  }
  // A text blob M and a binary blob B, with `rows`.
  TIBDataSet& OpenBlobs(std::initializer_list<const Char*> rows) {
    Setup({u"create table T_B (ID integer, M blob sub_type 1, B blob)"}, rows);
    ds_->InsertSQL().SetText(u"insert into T_B values (:ID, :M, :B)");
    return Open(u"select * from T_B order by ID",
                u"update T_B set M = :M, B = :B where ID = :OLD_ID");
  }
};

TEST_F(DataSetUtf8Test, CharactersBeyondTheBmpFitTheirColumnAndSurviveAnUnrelatedEdit) {
  Setup({u"create table T_U (ID integer, S varchar(2), C char(2), N varchar(3))"},
        {u"insert into T_U values (1, '\U0001F600\U0001F600', '\U0001F600\U0001F600', 'x')",
         u"insert into T_U values (2, 'a\U0001F600', 'b', 'y')"});
  TIBDataSet& ds = Open(u"select * from T_U order by ID",
                        u"update T_U set S = :S, C = :C, N = :N where ID = :OLD_ID");
  EXPECT_EQ(F(u"S").Size(), 2);
  EXPECT_EQ(F(u"S").AsString(), u"\U0001F600\U0001F600");
  EXPECT_EQ(F(u"C").AsString(), u"\U0001F600\U0001F600");
  ds.Edit();
  F(u"N").SetAsString(u"z");
  ds.Post();
  ds.Next();
  EXPECT_EQ(F(u"S").AsString(), u"a\U0001F600");
  EXPECT_EQ(F(u"C").AsString(), u"b ");
  ds.Edit();
  F(u"S").SetAsString(u"\U0001F601\U0001F602");  // two characters: they fit
  F(u"C").SetAsString(u"\U0001F603");
  EIBClientError e = ClientError([&] { F(u"S").SetAsString(u"\U0001F601\U0001F602!"); });
  EXPECT_EQ(e.Message(),
            u"Trying to store a string of length 3 into a field that can only contain 2");
  EXPECT_EQ(F(u"S").AsString(), u"\U0001F601\U0001F602");
  // Half a pair is no character of any set: refused, never sent as U+FFFD.
  const String half = String(u"a") + Char(0xD83D);
  EXPECT_EQ(MessageOf([&] { F(u"N").SetAsString(half); }),
            u"Field 'N': '" + half + u"' cannot be stored in UTF8");
  ds.Post();
  ds.Transaction().CommitRetaining();
  EXPECT_EQ(Committed(u"select S || C || N from T_U where ID = 1"),
            u"\U0001F600\U0001F600\U0001F600\U0001F600z");
  EXPECT_EQ(Committed(u"select S || '|' || C from T_U where ID = 2"),
            u"\U0001F601\U0001F602|\U0001F603 ");
}

TEST_F(DataSetValuesTest, ATextTooLongForASingleByteColumnIsRefusedNotCut) {
  // Six characters for a VARCHAR(10) of ISO8859_1, but twelve UTF-16 units:
  // the column cannot hold them, and the record keeps what it had.
  Setup({u"create table T_S (ID integer, S varchar(10))"}, {u"insert into T_S values (1, 'a')"});
  TIBDataSet& ds = Open(u"select * from T_S", u"update T_S set S = :S where ID = :OLD_ID");
  const String six(6, u'x');
  String astral;
  for (int i = 0; i < 6; ++i) astral += u"\U0001F600";
  for (bool validated : {false, true}) {
    SCOPED_TRACE(validated);
    if (validated) F(u"S").OnValidate = [](TField&) {};  // the value goes through its native form
    ds.Edit();
    F(u"S").SetAsString(six);
    // ISO8859_1 cannot hold them either, which is said first.
    EXPECT_EQ(MessageOf([&] { F(u"S").SetAsString(astral); }),
              u"Field 'S': '" + astral + u"' cannot be stored in ISO8859_1");
    EXPECT_EQ(F(u"S").AsString(), six);
    ds.Cancel();
  }
}

TEST_F(DataSetValuesTest, ComputedColumnsReadTheirValueAlsoAfterTheRefreshOfAPost) {
  Setup({u"create table T_C (ID integer, QTY integer, PRICE numeric(9,2), "
         u"TOTAL computed by (QTY * PRICE))"},
        {u"insert into T_C (ID, QTY, PRICE) values (1, 3, 1)"});
  ds_->InsertSQL().SetText(u"insert into T_C (ID, QTY, PRICE) values (:ID, :QTY, :PRICE)");
  ds_->RefreshSQL().SetText(u"select TOTAL from T_C where ID = :ID");
  TIBDataSet& ds = Open(u"select * from T_C");
  EXPECT_TRUE(ds.NeedsRefresh());
  EXPECT_TRUE(F(u"TOTAL").ReadOnly());
  EXPECT_EQ(F(u"TOTAL").AsString(), u"3");
  ds.Insert();
  F(u"ID").SetAsInteger(2);
  F(u"QTY").SetAsInteger(4);
  F(u"PRICE").SetAsString(u"2.5");
  ds.Post();
  EXPECT_EQ(F(u"TOTAL").AsString(), u"10");
  ds.First();
  EXPECT_EQ(F(u"TOTAL").AsFloat(), 3.0);
}

TEST_F(DataSetValuesTest, AnOpenWhoseFirstFetchFailsLeavesTheRecordSetClosed) {
  Setup({u"create table T_Z (A integer)"}, {u"insert into T_Z values (0)"});
  ds_->SetDatabase(&db());
  ds_->SelectSQL().SetText(u"select 1 / A as Q from T_Z");
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_THROW(ds_->Open(), EIBInterBaseError) << attempt;
    EXPECT_FALSE(ds_->Active()) << attempt;
  }
}

TEST_F(DataSetValuesTest, ANumberBeyondItsFieldKindNamesTheColumnAndNoRowIsLost) {
  Setup({u"create table T_N (ID integer, N numeric(18,2), S varchar(5))"},
        {u"insert into T_N values (1, 1.5, 'a')",
         u"insert into T_N values (2, 9999999999999999.99, 'b')",
         u"insert into T_N values (3, -9999999999999999.99, 'c')",
         u"insert into T_N values (4, 2, 'd')"});
  TIBDataSet& ds = Open(u"select * from T_N order by ID",
                        u"update T_N set N = :N, S = :S where ID = :OLD_ID");
  String ids;
  for (; !ds.Eof(); ds.Next()) {
    ids += F(u"ID").AsString();
    if (F(u"ID").AsInteger() == 2 || F(u"ID").AsInteger() == 3) {
      EIBClientError e = ClientError([&] { F(u"N").AsString(); });
      EXPECT_EQ(e.SQLCode(), ibceInvalidDataConversion);
      EXPECT_NE(e.Message().find(u"\"N\""), String::npos) << StringToUtf8(e.Message());
      EXPECT_FALSE(F(u"N").IsNull());
    }
  }
  EXPECT_EQ(ids, u"1234");
  EXPECT_EQ(ds.RecordCount(), 4);
  // An edit of another column writes the number back as it was.
  ds.First();
  ds.Next();
  ds.Edit();
  F(u"S").SetAsString(u"B");
  ds.Post();
  ds.Transaction().CommitRetaining();
  EXPECT_EQ(Committed(u"select N || S from T_N where ID = 2"), u"9999999999999999.99B");
}

TEST_F(DataSetValuesTest, AnUnchangedNumberKeptAsAFloatFieldIsWrittenBackExactly) {
  Setup({u"create table T_F (ID integer, N6 numeric(18,6), S varchar(5))"},
        {u"insert into T_F values (1, 123456789012.123457, 'a')"});
  auto add = [&](TField* f, const Char* name) {
    f->SetFieldName(name);
    f->SetDataSet(ds_);
  };
  add(new TIntegerField(&owner_), u"ID");
  add(new TFloatField(&owner_), u"N6");
  auto* s = new TIBStringField(&owner_);
  s->SetSize(5);
  add(s, u"S");
  TIBDataSet& ds = Open(u"select * from T_F", u"update T_F set N6 = :N6, S = :S where ID = :OLD_ID");
  EXPECT_NEAR(F(u"N6").AsFloat(), 123456789012.123457, 1e-3);
  ds.Edit();
  F(u"S").SetAsString(u"b");
  ds.Post();
  ds.Transaction().CommitRetaining();
  EXPECT_EQ(Committed(u"select N6 || S from T_F"), u"123456789012.123457b");
}

TEST_F(DataSetValuesTest, DecimalsBeyondFourPlacesAreReadAndWrittenDigitForDigit) {
  Setup({u"create table T_X (ID integer, N5 numeric(18,5), N6 numeric(18,6), "
         u"N8 decimal(18,8), N7 numeric(9,7))"},
        {u"insert into T_X values (1, 92233720368547.75807, 123456789012.123457, "
         u"-0.00000001, 99.9999999)",
         u"insert into T_X values (2, -92233720368547.75808, null, 0, -99.9999999)"});
  TIBDataSet& ds = Open(u"select * from T_X order by ID",
                        u"update T_X set N5 = :N5, N6 = :N6, N8 = :N8, N7 = :N7 where ID = :OLD_ID");
  auto& n5 = dynamic_cast<TFMTBCDField&>(F(u"N5"));
  EXPECT_EQ(n5.Size(), 5);
  EXPECT_EQ(n5.Precision(), 18);
  EXPECT_EQ(dynamic_cast<TFMTBCDField&>(F(u"N7")).Precision(), 9);
  EXPECT_EQ(n5.AsString(), u"92233720368547.75807");
  EXPECT_EQ(F(u"N6").AsString(), u"123456789012.123457");
  EXPECT_EQ(F(u"N8").AsString(), u"-0.00000001");
  EXPECT_EQ(F(u"N7").AsString(), u"99.9999999");
  {  // A variant's decimal keeps its point under any separator.
    const Char separator = FormatSettings().DecimalSeparator;
    FormatSettings().DecimalSeparator = u',';
    EXPECT_EQ(F(u"N8").AsString(), u"-0,00000001");
    EXPECT_EQ(F(u"N8").AsVariant().DecimalText(), u"-0.00000001");
    EXPECT_EQ(n5.AsVariant().DecimalText(), u"92233720368547.75807");
    FormatSettings().DecimalSeparator = separator;
  }
  ds.Next();
  EXPECT_EQ(n5.AsString(), u"-92233720368547.75808");
  EXPECT_TRUE(F(u"N6").IsNull());
  EXPECT_EQ(F(u"N8").AsString(), u"0");

  // Written back: text and TBcd values exactly, more places rounded half
  // away from zero as the server rounds them.
  ds.Edit();
  n5.SetAsBCD(StrToBcd(u"-12345678901234.56789"));
  F(u"N6").SetAsString(u"0.0000005");
  F(u"N8").SetAsString(u"-1.123456785");
  dynamic_cast<TFMTBCDField&>(F(u"N7")).SetAsCurrency(-12345);  // -1.2345
  ds.Post();
  // A number beyond its column is refused and leaves the row as it was.
  ds.First();
  ds.Edit();
  EXPECT_THROW(F(u"N7").SetAsString(u"300"), Exception);  // beyond its 32-bit integer
  EXPECT_THROW(F(u"N5").SetAsString(u"92233720368547.75808"), Exception);
  EXPECT_EQ(F(u"N7").AsString(), u"99.9999999");
  ds.Cancel();
  ds.Transaction().CommitRetaining();
  EXPECT_EQ(Committed(u"select N5 || ' ' || N6 || ' ' || N8 || ' ' || N7 from T_X where ID = 2"),
            u"-12345678901234.56789 0.000001 -1.12345679 -1.2345000");
  EXPECT_EQ(Committed(u"select N5 || ' ' || N6 || ' ' || N8 || ' ' || N7 from T_X where ID = 1"),
            u"92233720368547.75807 123456789012.123457 -0.00000001 99.9999999");
}

TEST_F(DataSetValuesTest, UnchangedTimesKeepTheirFractionsThroughAnEditOfAnotherColumn) {
  Setup({u"create table T_T (ID integer, TS timestamp, T time, S varchar(5))"},
        {u"insert into T_T values (1, '2026-01-02 10:11:12.3456', '10:11:12.3456', 'a')"});
  TIBDataSet& ds = Open(u"select * from T_T",
                        u"update T_T set TS = :TS, T = :T, S = :S where ID = :OLD_ID");
  ds.Edit();
  F(u"S").SetAsString(u"b");
  ds.Post();
  ds.Transaction().CommitRetaining();
  EXPECT_EQ(Committed(u"select TS || ' ' || T || S from T_T"),
            u"2026-01-02 10:11:12.3456 10:11:12.3456b");
}

TEST_F(DataSetValuesTest, AChangeThatReachesNoRowIsAnErrorNotASuccess) {
  Setup({u"create table T_D (ID integer, S varchar(5))"},
        {u"insert into T_D values (1, 'a')", u"insert into T_D values (2, 'b')"});
  ds_->DeleteSQL().SetText(u"delete from T_D where ID = :OLD_ID");
  TIBDataSet& ds = Open(u"select * from T_D order by ID",
                        u"update T_D set S = :S where ID = :OLD_ID");
  ds.Last();
  ds.First();
  ExecuteCommitted(db(), {u"delete from T_D"});  // another transaction
  ds.Edit();
  F(u"S").SetAsString(u"A");
  EIBClientError e = ClientError([&] { ds.Post(); });
  EXPECT_EQ(e.SQLCode(), ibceNoRecordsAffected);
  EXPECT_EQ(e.Message(), u"No Records Affected");
  EXPECT_EQ(ds.State(), dsEdit);  // the edit is kept
  ds.Cancel();
  ds.Next();
  EXPECT_EQ(ClientError([&] { ds.Delete(); }).SQLCode(), ibceNoRecordsAffected);
  EXPECT_EQ(ds.RecordCount(), 2);
  EXPECT_EQ(F(u"S").AsString(), u"b");
}

TEST_F(DataSetValuesTest, CachedUpdatesApplyAllOrNothingAndARetryWritesEachChangeOnce) {
  Setup({u"create table T_CU (ID integer not null, S varchar(5) not null)",
         u"create table T_LOG (ID integer)",
         u"create trigger T_CU_AU for T_CU after update or delete as "
         u"begin insert into T_LOG values (old.ID); end"},
        {u"insert into T_CU values (1, 'a')", u"insert into T_CU values (2, 'b')",
         u"insert into T_CU values (3, 'c')"});
  ds_->DeleteSQL().SetText(u"delete from T_CU where ID = :OLD_ID");
  ds_->SetCachedUpdates(true);
  TIBDataSet& ds = Open(u"select * from T_CU order by ID",
                        u"update T_CU set S = :S where ID = :OLD_ID");
  auto break_second_row = [&] {
    ds.First();
    ds.Edit();
    F(u"S").SetAsString(u"A");
    ds.Post();
    ds.Next();
    ds.Edit();
    F(u"S").Clear();
    ds.Post();
    ds.Next();
    ds.Delete();
  };
  break_second_row();
  EXPECT_THROW(ds.ApplyUpdates(), EIBInterBaseError);
  EXPECT_TRUE(ds.UpdatesPending());
  EXPECT_EQ(QueryValue(db(), tr(), u"select S from T_CU where ID = 1"), u"a");  // undone
  ds.Transaction().RollbackRetaining();
  ds.First();
  ds.Next();
  ds.Edit();
  F(u"S").SetAsString(u"B");
  ds.Post();
  ds.ApplyUpdates();
  EXPECT_FALSE(ds.UpdatesPending());
  ds.Transaction().CommitRetaining();
  EXPECT_EQ(Committed(u"select list(ID || S, ',') from (select * from T_CU order by ID)"),
            u"1A,2B");
  EXPECT_EQ(Committed(u"select list(ID, ',') from (select * from T_LOG order by ID)"),
            u"1,2,3");

  // Without a rollback between, a failed run leaves nothing written either.
  ExecuteCommitted(db(), {u"delete from T_LOG", u"insert into T_CU values (3, 'c')"});
  ds.Close();
  ds.Open();
  break_second_row();
  EXPECT_THROW(ds.ApplyUpdates(), EIBInterBaseError);
  ds.First();
  ds.Next();
  ds.Edit();
  F(u"S").SetAsString(u"b2");
  ds.Post();
  ds.ApplyUpdates();
  ds.Transaction().CommitRetaining();
  EXPECT_EQ(Committed(u"select list(ID || S, ',') from (select * from T_CU order by ID)"),
            u"1A,2b2");
  EXPECT_EQ(Committed(u"select list(ID, ',') from (select * from T_LOG order by ID)"),
            u"1,2,3");
}

// Records move between the store and the record set's buffers by the bytes
// each value uses: a shorter text, a NULL and a taken-back change must come
// back as they are, with nothing of an earlier, longer value.
TEST_F(DataSetValuesTest, ValuesComeBackAsTheyAreAfterShorterTextsNullsAndTakenBackChanges) {
  Setup({u"create table T_CP (ID integer not null, S varchar(40), N integer, D date)"},
        {u"insert into T_CP values (1, 'forty characters of text, all of them..', 5, "
         u"'2026-12-11')",
         u"insert into T_CP values (2, null, null, null)"});
  ds_->InsertSQL().SetText(u"insert into T_CP values (:ID, :S, :N, :D)");
  TIBDataSet& ds = Open(u"select * from T_CP order by ID",
                        u"update T_CP set S = :S, N = :N, D = :D where ID = :OLD_ID");
  auto row = [&] {
    return F(u"ID").AsString() + u"|" + (F(u"S").IsNull() ? u"~" : F(u"S").AsString()) + u"|" +
           (F(u"N").IsNull() ? u"~" : F(u"N").AsString()) + u"|" +
           (F(u"D").IsNull() ? u"~" : F(u"D").AsString());
  };
  ds.Edit();
  F(u"S").SetAsString(u"short");
  ds.Post();
  ds.Next();
  ds.Edit();
  F(u"N").SetAsInteger(7);
  ds.Post();
  ds.First();
  EXPECT_EQ(row(), u"1|short|5|" + F(u"D").AsString());
  EXPECT_FALSE(F(u"D").IsNull());
  ds.Edit();
  F(u"S").Clear();
  F(u"D").Clear();
  ds.Post();
  ds.Edit();
  F(u"S").SetAsString(u"a text that is taken back");
  ds.Cancel();
  ds.Next();
  EXPECT_EQ(row(), u"2|~|7|~");
  ds.Append();
  F(u"ID").SetAsInteger(3);
  F(u"S").SetAsString(u"new");
  ds.Post();
  ds.First();
  EXPECT_EQ(row(), u"1|~|5|~");
  ds.Last();
  EXPECT_EQ(row(), u"3|new|~|~");
  ds.Transaction().CommitRetaining();
  EXPECT_EQ(Committed(u"select list(ID || ':' || coalesce(S, '~') || ':' || coalesce(N, '~'), ',') "
                      u"from (select * from T_CP order by ID)"),
            u"1:~:5,2:~:7,3:new:~");

  // Under cached updates the original comes back whole when a change is
  // taken back, longer than the change.
  ds.Close();
  ExecuteCommitted(db(), {u"update T_CP set S = 'forty characters of text, all of them..' "
                          u"where ID = 1"});
  ds.SetCachedUpdates(true);
  ds.Open();
  ds.Edit();
  F(u"S").SetAsString(u"x");
  ds.Post();
  EXPECT_EQ(F(u"S").AsString(), u"x");
  ds.CancelUpdates();
  ds.First();
  EXPECT_EQ(F(u"S").AsString(), u"forty characters of text, all of them..");
}

TEST_F(DataSetValuesTest, RecordsOfEverySizeAreAlignedInTheCache) {
  // Records ending on a boolean or a packed decimal are not a multiple of 8.
  const Char* const tables[] = {
      u"create table T_A1 (ID integer, B boolean)",
      u"create table T_A2 (ID integer, N numeric(18,6))",
      u"create table T_A3 (ID integer, N numeric(18,6), B boolean, C char(3))"};
  for (const Char* ddl : tables) {
    SCOPED_TRACE(StringToUtf8(ddl));
    const String table = String(ddl).substr(13, 4);
    db().Connected() ? void() : db().Open();
    ExecuteCommitted(db(), {ddl});
    for (int id = 1; id <= 3; ++id)
      ExecuteCommitted(
          db(), {(u"insert into " + table + u" (ID) values (" + IntToStr(id) + u")").c_str()});
    TIBDataSet ds(nullptr);
    ds.SetDatabase(&db());
    ds.SelectSQL().SetText(u"select * from " + table + u" order by ID");
    ds.Open();
    int sum = 0;
    for (; !ds.Eof(); ds.Next()) sum += ds.FieldByName(u"ID").AsInteger();
    EXPECT_EQ(sum, 6);
    ds.First();
    EXPECT_EQ(ds.FieldByName(u"ID").AsInteger(), 1);
  }
}

TEST_F(DataSetUtf8Test, BlobsAndMemosKeepNullEmptyAndTenMegabytes) {
  TIBDataSet& ds = OpenBlobs({u"insert into T_B values (1, null, null)",
                         u"insert into T_B values (2, '', '')",
                         u"insert into T_B values (3, 'ção \U0001F600', x'00FF')"});
  auto& memo = dynamic_cast<TWideMemoField&>(F(u"M"));
  auto& blob = dynamic_cast<TBlobField&>(F(u"B"));
  EXPECT_EQ(blob.DataType(), ftBlob);
  EXPECT_TRUE(memo.IsNull());
  EXPECT_TRUE(blob.IsNull());
  ds.Next();
  EXPECT_FALSE(memo.IsNull());
  EXPECT_FALSE(blob.IsNull());
  EXPECT_EQ(memo.AsString(), u"");
  EXPECT_EQ(blob.BlobSize(), 0);
  ds.Next();
  EXPECT_EQ(memo.AsString(), u"ção \U0001F600");
  EXPECT_EQ(blob.AsBytes(), (std::vector<uint8_t>{0x00, 0xFF}));

  // Ten megabytes each way, in well under the time a quadratic copy takes.
  String text;
  for (int i = 0; text.size() < 10u << 20; ++i) text += i % 2 ? u"ção" : u"\U0001F600x";
  std::vector<uint8_t> bytes(10u << 20);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  const auto start = std::chrono::steady_clock::now();
  ds.First();
  ds.Edit();
  memo.SetAsString(text);
  blob.SetAsBytes(bytes);
  EXPECT_EQ(memo.AsString().size(), text.size());  // the written value, before Post
  ds.Post();
  ds.Transaction().CommitRetaining();
  ds.Close();
  ds.Open();  // new default fields
  EXPECT_EQ(F(u"M").AsString(), text);
  EXPECT_EQ(dynamic_cast<TBlobField&>(F(u"B")).AsBytes(), bytes);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));

  // NULL and empty are written as such; a cancelled edit writes nothing.
  ds.Last();
  ds.Edit();
  F(u"M").Clear();
  dynamic_cast<TBlobField&>(F(u"B")).SetAsBytes({});
  ds.Post();
  ds.Edit();
  F(u"M").SetAsString(u"gone");
  ds.Cancel();
  EXPECT_TRUE(F(u"M").IsNull());
  ds.Transaction().CommitRetaining();
  EXPECT_EQ(Committed(u"select coalesce(M, 'null') || octet_length(B) from T_B where ID = 3"),
            u"null0");
  EXPECT_EQ(Committed(u"select octet_length(M) from T_B where ID = 1"),
            IntToStr(static_cast<int64_t>(StringToUtf8(text).size())));
  ds.Insert();
  F(u"ID").SetAsInteger(4);
  F(u"M").SetAsString(u"\U0001F600");
  ds.Post();
  ds.Transaction().CommitRetaining();
  EXPECT_EQ(Committed(u"select M || coalesce(B, '-') from T_B where ID = 4"), u"\U0001F600-");
}

TEST_F(DataSetUtf8Test, AMemoThroughASingleByteConnectionKeepsItsCharactersOrIsRefused) {
  db().Params().SetValue(u"lc_ctype", u"ISO8859_1");
  TIBDataSet& ds = OpenBlobs({u"insert into T_B values (1, 'ção', null)"});
  TField& memo = F(u"M");
  EXPECT_EQ(memo.AsString(), u"ção");
  ds.Edit();
  memo.SetAsString(u"ok \U0001F600");
  EXPECT_EQ(memo.OldValue().AsString(), u"ção");
  EXPECT_THROW(ds.Post(), EConvertError);
  EXPECT_EQ(ds.State(), dsEdit);
  memo.SetAsString(u"àé");
  ds.Post();
  ds.Transaction().CommitRetaining();
  EXPECT_EQ(Committed(u"select M from T_B"), u"àé");
  EXPECT_TRUE(ds.Locate(u"M", {OraVariant(u"ÀÉ")}, loCaseInsensitive));

  // Writes outside an edit, and to a record set that cannot edit, are refused.
  EIBClientError e = ClientError([&] { memo.SetAsString(u"x"); });
  EXPECT_EQ(e.Message(), u"Not in edit mode");
  std::unique_ptr<TStream> reader = ds.CreateBlobStream(&memo, bmRead);
  EXPECT_EQ(reader->Seek(0, soFromEnd), 4);  // two UTF-16 units
  char byte = 0;
  EXPECT_EQ(reader->Read(&byte, 1), 0);
  EXPECT_THROW(reader->ReadBuffer(&byte, 1), EReadError);

  // Under cached updates the blob is made at Post and sent by ApplyUpdates.
  ds.Close();
  ds.SetCachedUpdates(true);
  ds.Open();
  ds.Edit();
  F(u"M").SetAsString(u"ü");
  ds.Post();
  EXPECT_EQ(Committed(u"select M from T_B"), u"àé");
  ds.ApplyUpdates();
  ds.Transaction().CommitRetaining();
  EXPECT_EQ(Committed(u"select M from T_B"), u"ü");

  ds.Close();
  ds.ModifySQL().SetText(u"");
  ds.Open();
  EXPECT_THROW(ds.Edit(), EDatabaseError);  // "Cannot modify a read-only dataset"
}

}  // namespace
}  // namespace kavo::test
