// Column and variable kinds beyond numbers, dates and text, against the
// stand-in: TIMESTAMP values with their fraction, a record set over a REF
// CURSOR, and the dictionary options that shape default fields.
#include <gtest/gtest.h>

#include "oracle/query.h"
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

TEST_F(DataSetTypesTest, LobColumnsAndVariablesCarryTextAndBytesExactly) {
  ASSERT_EQ(Sql("create table lobs (id number, c clob, b blob);\ncommit;\n"), 0);
  const String text = u"a\U0001F600\r\nb\u00e7";
  const std::vector<uint8_t> bytes{0, 1, 255, 0};
  TOracleQuery q(nullptr);
  q.SetSession(session_.get());
  q.SQL().SetText(u"insert into lobs values (:id, :c, :b)");
  q.DeclareVariable(u"id", otInteger);
  q.DeclareVariable(u"c", otCLOB);
  q.DeclareVariable(u"b", otBLOB);
  q.SetVariable(u"id", 1);
  q.SetVariable(u"c", text);
  q.SetVariable(u"b", OraVariant::Bytes(bytes));
  q.Execute();
  q.SetVariable(u"id", 2);
  q.SetVariable(u"c", OraVariant());
  q.SetVariable(u"b", OraVariant());
  q.Execute();
  q.DeleteVariables();
  q.SQL().SetText(u"select c, b from lobs order by id");
  q.Execute();
  EXPECT_EQ(q.FieldType(0), otCLOB);
  EXPECT_EQ(q.Field(0).AsString(), text);
  EXPECT_EQ(q.Field(1).ByteArray(), bytes);
  q.Next();
  EXPECT_TRUE(q.FieldIsNull(0));
  EXPECT_TRUE(q.FieldIsNull(1));
}

}  // namespace
}  // namespace kavo::test
