// Column and variable kinds beyond numbers, dates and text, against the
// stand-in: TIMESTAMP values with their fraction, a record set over a REF
// CURSOR, and the dictionary options that shape default fields.
#include <gtest/gtest.h>

#include "oracle/query.h"
#include "recordset/blob_fields.h"
#include "rtl/datetime.h"
#include "testkit/message_of.h"
#include "testkit/oracle_dataset_fixture.h"

namespace kavo::test {
namespace {

class DataSetTypesTest : public OracleDataSetFixture {
 protected:
  static TDateTime At(int h, int m, int s, int ms) {
    return CombineDateTime(EncodeDate(2024, 3, 5), EncodeTime(h, m, s, ms));
  }
  std::string One(const std::string& select) {
    std::string out;
    EXPECT_EQ(Sql(select + ";\n", &out), 0) << out;
    size_t first = out.find('\n');
    return out.substr(first + 1, out.find('\n', first + 1) - first - 1);
  }
};

TEST_F(DataSetTypesTest, TimestampColumnsAndVariablesKeepTheirMilliseconds) {
  ASSERT_EQ(Sql("create table ts (id number, t timestamp(6));\n"
                "insert into ts values (1, to_timestamp('2024-03-05 08:30:15.123456', "
                "'yyyy-mm-dd hh24:mi:ss.ff'));\n"
                "insert into ts values (2, null);\ncommit;\n"),
            0);
  ds_->SQL().SetText(u"select id, t, rowid from ts order by id");
  ds_->Open();
  ASSERT_EQ(ds_->FieldByName(u"T").DataType(), ftDateTime);
  // Microseconds round to the nearest millisecond.
  EXPECT_EQ(ds_->FieldByName(u"T").AsDateTime(), At(8, 30, 15, 123));
  ds_->Edit();
  ds_->FieldByName(u"T").SetAsDateTime(At(23, 59, 58, 7));
  ds_->Post();
  EXPECT_EQ(One("select t from ts where id = 1"), "05-MAR-24 11.59.58.007000 PM");
  ds_->Next();
  EXPECT_TRUE(ds_->FieldByName(u"T").IsNull());
  ds_->Close();

  // A variable in, and one a block assigns, through date-time descriptors.
  TOracleQuery q(nullptr);
  q.SetSession(session_.get());
  q.SQL().SetText(u"select id from ts where t = :t");
  q.DeclareVariable(u"t", otTimestamp);
  q.SetVariable(u"t", OraVariant::Date(At(23, 59, 58, 7)));
  q.Execute();
  ASSERT_FALSE(q.Eof());
  EXPECT_EQ(q.FieldAsInteger(0), 1);
  // No DATE or TIMESTAMP holds the year 10000.
  EXPECT_RAISES(q.SetVariable(u"t", OraVariant::Date(EncodeDate(9999, 12, 31) + 1)), Exception,
                "Variant conversion error for variable :T");
  q.DeleteVariables();
  q.SQL().SetText(u"begin :o := to_timestamp('2001-02-03 04:05:06.5', "
                  u"'yyyy-mm-dd hh24:mi:ss.ff'); end;");
  q.DeclareVariable(u"o", otTimestamp);
  q.Execute();
  EXPECT_EQ(q.GetVariable(u"o").AsDateTime(),
            CombineDateTime(EncodeDate(2001, 2, 3), EncodeTime(4, 5, 6, 500)));
  // Or, as the session prefers, as the server's text.
  session_->Preferences().SetTimestampAsString(true);
  q.DeleteVariables();
  q.SQL().SetText(u"select t from ts where id = 1");
  q.Execute();
  EXPECT_EQ(q.FieldType(0), otString);
  EXPECT_EQ(q.FieldAsString(0), u"05-MAR-24 11.59.58.007000 PM");
}

TEST_F(DataSetTypesTest, ARecordSetReadsTheCursorItsBlockOpens) {
  AddPendingRows(4);
  ds_->SQL().SetText(u"begin open :c for select codigo, dados, rowid from interface_orcl "
                     u"where codigo >= :low order by codigo; end;");
  ds_->DeclareVariable(u"c", otCursor);
  ds_->DeclareVariable(u"low", otInteger);
  ds_->SetVariable(u"low", 3);
  ds_->Open();
  EXPECT_EQ(ds_->FieldCount(), 2);
  EXPECT_EQ(ds_->RecordCount(), 2);
  EXPECT_EQ(ds_->FieldByName(u"DADOS").AsString(), u"dados 3");
  // Refreshing runs the block again with the binds as they are now.
  ds_->SetVariable(u"low", 2);
  ds_->Refresh();
  EXPECT_EQ(ds_->RecordCount(), 3);
  EXPECT_RAISES(ds_->CountQueryHits(), Exception, "Cannot count query hits for cursor dataset");
  EXPECT_RAISES(ds_->Edit(), Exception, "UpdatingTable property required for cursor dataset");
  // A cursor that brings no rows still describes its columns.
  ds_->Close();
  ds_->SetVariable(u"low", 99);
  ds_->Open();
  EXPECT_EQ(ds_->FieldCount(), 2);
  EXPECT_EQ(ds_->RecordCount(), 0);
  ds_->Close();

  // On the statement alone: the variable names the receiving statement.
  TOracleQuery block(nullptr), cursor(nullptr);
  block.SetSession(session_.get());
  block.SQL().SetText(u"begin open :c for select count(*) from interface_orcl; end;");
  block.DeclareVariable(u"c", otCursor);
  EXPECT_RAISES(block.Execute(), Exception, "Cursor variable :C cannot be nil");
  block.SetComplexVariable(u"c", &cursor);
  block.Execute();
  cursor.Execute();
  EXPECT_EQ(cursor.FieldAsInteger(0), 4);
}

// Text no 8-bit code page holds, a line end and more than the first LONG
// pieces: it must come back character for character.
String LongText(size_t n) {
  String text = u"\u00e7\U0001F600 line\r\n";
  while (text.size() < n) text += text;
  return text;
}

TEST_F(DataSetTypesTest, LongAndLongRawAreMemoAndBlobFieldsReadAndWrittenBack) {
  ASSERT_EQ(Sql("create table longs (id number(9), l long);\n"
                "create table raws (id number(9), r long raw);\n"
                "insert into longs values (1, null);\ninsert into raws values (1, null);\n"
                "commit;\n"),
            0);
  const String text = LongText(40000);
  ds_->SQL().SetText(u"select id, l, rowid from longs");
  ds_->Open();
  auto* l = dynamic_cast<TMemoField*>(ds_->FindField(u"L"));
  ASSERT_NE(l, nullptr);
  EXPECT_TRUE(l->IsNull());
  // Outside an edit a stream reads; writing is refused and changes nothing.
  EXPECT_RAISES(ds_->CreateBlobStream(l, bmWrite), EDatabaseError,
                "OracleDataSet: Dataset not in edit or insert mode");
  ds_->Edit();
  l->SetAsString(text);
  ds_->Post();
  ds_->Close();
  ds_->Open();
  l = dynamic_cast<TMemoField*>(ds_->FindField(u"L"));  // default fields are made anew
  EXPECT_EQ(l->AsString(), text);
  // The stream carries UTF-16 code units; reading past the end is an error.
  std::unique_ptr<TStream> stream = ds_->CreateBlobStream(l, bmRead);
  EXPECT_EQ(stream->Size(), static_cast<int64_t>(text.size() * sizeof(Char)));
  stream->Seek(-2, soFromEnd);
  Char last = 0;
  stream->ReadBuffer(&last, sizeof last);
  EXPECT_EQ(last, u'\n');
  EXPECT_RAISES(stream->ReadBuffer(&last, sizeof last), EReadError, "Stream read error");
  ds_->Edit();
  l->Clear();
  ds_->Post();
  EXPECT_EQ(One("select count(*) from longs where l is null"), "1");
  ds_->Close();
  // A cached change carries its value in the log until it is applied.
  ds_->SetCachedUpdates(true);
  ds_->Open();
  l = dynamic_cast<TMemoField*>(ds_->FindField(u"L"));
  ds_->Edit();
  l->SetAsString(u"cached \U0001F600");
  ds_->Post();
  ds_->Refresh();
  EXPECT_EQ(l->AsString(), u"cached \U0001F600");
  EXPECT_EQ(One("select count(*) from longs where l is null"), "1");
  ds_->ApplyUpdates();
  ds_->CommitUpdates();
  session_->Commit();
  ds_->Close();
  ds_->SetCachedUpdates(false);
  EXPECT_EQ(One("select count(*) from longs where l is null"), "0");

  std::vector<uint8_t> bytes(70000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  ds_->SQL().SetText(u"select id, r, rowid from raws");
  ds_->Open();
  auto* r = dynamic_cast<TBlobField*>(ds_->FindField(u"R"));
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->DataType(), ftBlob);
  ds_->Edit();
  r->SetAsBytes(bytes);
  ds_->Post();
  ds_->Refresh();
  EXPECT_EQ(r->AsBytes(), bytes);
}

TEST_F(DataSetTypesTest, ClobAndBlobColumnsRoundTripLargeValuesAndNulls) {
  ASSERT_EQ(Sql("create table lobs2 (id number(9), c clob, b blob);\n"
                "insert into lobs2 values (1, 'x', null);\ncommit;\n"),
            0);
  ds_->SQL().SetText(u"select id, c, b, rowid from lobs2");
  ds_->Open();
  auto* c = dynamic_cast<TMemoField*>(ds_->FindField(u"C"));
  auto* b = dynamic_cast<TBlobField*>(ds_->FindField(u"B"));
  ASSERT_NE(c, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->DataType(), ftOraBlob);
  EXPECT_EQ(c->AsString(), u"x");
  EXPECT_TRUE(b->IsNull());
  // Ten megabytes of text and of bytes, written through the fields' streams.
  const String text = LongText(5 * 1024 * 1024);
  std::vector<uint8_t> bytes(10 * 1024 * 1024);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i % 251);
  ds_->Edit();
  c->SetAsString(text);
  TMemoryStream source(bytes);
  b->LoadFromStream(source);
  ds_->Post();
  ds_->Close();
  ds_->Open();
  c = dynamic_cast<TMemoField*>(ds_->FindField(u"C"));
  b = dynamic_cast<TBlobField*>(ds_->FindField(u"B"));
  EXPECT_TRUE(c->AsString() == text);
  EXPECT_TRUE(b->AsBytes() == bytes);
  // An empty LOB is NULL, as the server holds it.
  ds_->Edit();
  c->Clear();
  b->SetAsBytes({});
  ds_->Post();
  EXPECT_EQ(One("select count(*) from lobs2 where c is null and b is null"), "1");

  // What a block assigns to LOB variables comes back.
  ds_->Edit();
  c->SetAsString(u"caf\u00e9");
  b->SetAsBytes({0, 0xff});
  ds_->Post();
  TOracleQuery q(nullptr);
  q.SetSession(session_.get());
  q.SQL().SetText(u"begin select c, b into :c, :b from lobs2; end;");
  q.DeclareVariable(u"c", otCLOB);
  q.DeclareVariable(u"b", otBLOB);
  q.SetVariable(u"c", u"sent");
  q.Execute();
  EXPECT_EQ(q.GetVariable(u"c").AsString(), u"caf\u00e9");
  EXPECT_EQ(q.GetVariable(u"b").ByteArray(), (std::vector<uint8_t>{0, 0xff}));

  // A BLOB read through the decompression is written through the compression.
  ds_->Close();
  ASSERT_EQ(Sql("update lobs2 set b = null;\ncommit;\n"), 0);
  ds_->SetCompressBLOBs(true);
  ds_->OnCompressBLOB = [](TOracleDataSet&, std::string& bytes) { bytes.insert(0, "z"); };
  ds_->OnDecompressBLOB = [](TOracleDataSet&, std::string& bytes) {
    if (!bytes.empty()) bytes = bytes.starts_with("z") ? bytes.substr(1) : "not packed";
  };
  ds_->Open();
  ds_->Edit();
  ds_->FieldByName(u"B").SetAsString(u"ab");
  ds_->Post();
  ds_->Close();
  ds_->Open();
  EXPECT_EQ(ds_->FieldByName(u"B").AsString(), u"ab");
  ds_->Edit();
  ds_->FieldByName(u"B").SetReadOnly(true);
  EXPECT_THROW(ds_->CreateBlobStream(&ds_->FieldByName(u"B"), bmWrite), EDatabaseError);
}

}  // namespace
}  // namespace kavo::test
