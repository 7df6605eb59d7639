// The Oracle record set's dictionary options against the stand-in: rows
// identified by UniqueFields, the client-side constraint check and column
// defaults.
#include <gtest/gtest.h>

#include "oracle/query.h"
#include "testkit/message_of.h"
#include "testkit/oracle_dataset_fixture.h"

namespace kavo::test {
namespace {

class DataSetDictionaryTest : public OracleDataSetFixture {
 protected:
  static void SetUpTestSuite() {
    OracleDataSetFixture::SetUpTestSuite();
    ASSERT_EQ(standin_->Sql("v9norvelo/secret",
                            "create table items (id number(9), code varchar2(10) default 'NEW',\n"
                            "  qty number(9) default 3 + 4, constraint items_pk primary key (id),\n"
                            "  constraint items_qty_ck check (qty > 0));\n"),
              0);
  }
  void SetUp() override {
    OracleDataSetFixture::SetUp();
    ASSERT_EQ(Sql("delete from items;\ninsert into items values (1, 'a', 1);\ncommit;\n"), 0);
    ds_->SQL().Clear();
    ds_->SQL().Add(u"select id, code, qty, rowid from items");
  }
  String RowIdOf(int id) {
    TOracleQuery q(nullptr);
    q.SetSession(session_.get());
    q.SetSQLText(u"select rowid from items where id = " + IntToStr(id));
    q.Execute();
    return q.FieldAsString(0);
  }
};

TEST_F(DataSetDictionaryTest, UniqueFieldsIdentifyRowsAndFindTheRowIdOfAnInsert) {
  ds_->SetUniqueFields(u"ID");
  ds_->Open();
  ds_->Insert();
  ds_->FieldByName(u"ID").SetAsInteger(5);
  ds_->FieldByName(u"QTY").SetAsInteger(2);
  ds_->FieldByName(u"CODE").SetAsString(u"e");  // else the server's default differs
  trace_->Clear();
  ds_->Post();
  EXPECT_EQ(ds_->RowId(), RowIdOf(5));
  bool looked_up = false;
  for (const std::string& r : trace_->Records())
    looked_up = looked_up || r == "select rowid from ITEMS where\\nID = :ID";
  EXPECT_TRUE(looked_up);
  // The record, identified by its key, can be changed again.
  ds_->Edit();
  ds_->FieldByName(u"CODE").SetAsString(u"five");
  ds_->Post();
  EXPECT_EQ(Sql("select code from items where id = 5;\n"), 0);

  ds_->Close();
  ds_->SetUniqueFields(u"NOSUCH");
  EXPECT_EQ(MessageOf([&] { ds_->Open(); }),
            u"OracleDataSet: Primary or Unique key columns must be included");
}

TEST_F(DataSetDictionaryTest, EnforcedConstraintsRefuseAChangedFieldAtOnce) {
  ds_->OracleDictionary().EnforceConstraints = true;
  ds_->Open();
  ds_->Edit();
  EXPECT_EQ(MessageOf([&] { ds_->FieldByName(u"QTY").SetAsInteger(0); }),
            u"OracleDataSet: ORA-02290: check constraint (V9NORVELO.ITEMS_QTY_CK) violated");
  ds_->FieldByName(u"QTY").SetAsInteger(3);  // a valid value is taken
  ds_->Post();
  ds_->Insert();
  EXPECT_EQ(MessageOf([&] { ds_->FieldByName(u"ID").SetAsInteger(1); }),
            u"OracleDataSet: ORA-00001: unique constraint (V9NORVELO.ITEMS_PK) violated");
  ds_->Cancel();
  // Disabled constraints are not checked; the server still has the last word.
  ds_->OracleDictionary().DisabledConstraints = {u"ITEMS_QTY_CK"};
  ds_->First();
  ds_->Edit();
  ds_->FieldByName(u"QTY").SetAsInteger(0);
  EXPECT_NE(MessageOf([&] { ds_->Post(); }).find(u"ORA-02290"), String::npos);
  ds_->Cancel();
}

TEST_F(DataSetDictionaryTest, CachedPostsAreCheckedWhole) {
  ds_->OracleDictionary().EnforceConstraints = true;
  ds_->SetCachedUpdates(true);
  ds_->Open();
  ds_->OracleDictionary().EnforceConstraints = false;  // let the field through
  ds_->Edit();
  ds_->FieldByName(u"QTY").SetAsInteger(-5);
  ds_->OracleDictionary().EnforceConstraints = true;
  EXPECT_EQ(MessageOf([&] { ds_->Post(); }),
            u"OracleDataSet: ORA-02290: check constraint (V9NORVELO.ITEMS_QTY_CK) violated");
  EXPECT_EQ(ds_->State(), dsEdit);
  EXPECT_EQ(ds_->ChangeLog().Count(), 0);
  ds_->Cancel();
}

TEST_F(DataSetDictionaryTest, AppliedInsertsAreReadBackWithTheRefreshOption) {
  ds_->SetCachedUpdates(true);
  ds_->SetRefreshOptions(roAfterInsert);
  ds_->Open();
  ds_->Insert();
  ds_->FieldByName(u"ID").SetAsInteger(6);
  ds_->FieldByName(u"QTY").SetAsInteger(2);
  ds_->Post();
  ds_->Insert();
  ds_->FieldByName(u"ID").SetAsInteger(1);  // taken: this insert fails
  ds_->FieldByName(u"QTY").SetAsInteger(2);
  ds_->Post();
  EXPECT_NE(MessageOf([&] { ds_->ApplyUpdates(); }).find(u"ORA-00001"), String::npos);
  // The failing record is current; remove it and its entry.
  EXPECT_EQ(ds_->FieldByName(u"ID").AsInteger(), 1);
  EXPECT_EQ(ds_->UpdateStatus(), usInserted);
  ds_->Delete();
  ds_->Locate(u"ID", {OraVariant(6)}, 0);
  EXPECT_TRUE(ds_->FieldByName(u"CODE").IsNull());  // nothing read back from a failed apply
  ds_->ApplyUpdates();
  ds_->Locate(u"ID", {OraVariant(6)}, 0);
  EXPECT_EQ(ds_->FieldByName(u"CODE").AsString(), u"NEW");  // the server's default
}

TEST_F(DataSetDictionaryTest, NewRecordsTakeTheColumnDefaults) {
  ds_->OracleDictionary().DefaultValues = true;
  ds_->Open();
  ds_->Insert();
  EXPECT_EQ(ds_->FieldByName(u"CODE").AsString(), u"NEW");
  EXPECT_EQ(ds_->FieldByName(u"QTY").AsInteger(), 7);
  EXPECT_TRUE(ds_->FieldByName(u"ID").IsNull());
  ds_->FieldByName(u"ID").SetAsInteger(9);
  ds_->Post();
  std::string out;
  EXPECT_EQ(Sql("select code, qty from items where id = 9;\n", &out), 0);
  EXPECT_NE(out.find("NEW|7"), std::string::npos) << out;
  // Evaluated once per table and session, unless dynamic.
  auto blocks = [&] {
    int n = 0;
    for (const std::string& r : trace_->Take()) n += r.rfind("begin\\n  :CODE := 'NEW';", 0) == 0;
    return n;
  };
  blocks();
  for (int i = 0; i < 2; ++i) {
    ds_->Insert();
    ds_->Cancel();
  }
  EXPECT_EQ(blocks(), 0);
  ds_->OracleDictionary().DynamicDefaults = true;
  for (int i = 0; i < 2; ++i) {
    ds_->Insert();
    EXPECT_EQ(ds_->FieldByName(u"QTY").AsInteger(), 7);
    ds_->Cancel();
  }
  EXPECT_EQ(blocks(), 2);
}

// The options are read where they act, not when the record set opened: a
// record set opened with none of them takes each one switched on later.
TEST_F(DataSetDictionaryTest, OptionsSwitchedWhileOpenActAtTheNextStep) {
  ds_->OracleDictionary().RequiredFields = false;
  ds_->Open();
  ds_->OracleDictionary().DefaultValues = true;
  ds_->Insert();
  EXPECT_EQ(ds_->FieldByName(u"CODE").AsString(), u"NEW");
  ds_->OracleDictionary().DefaultValues = false;
  ds_->Cancel();
  ds_->Insert();
  EXPECT_TRUE(ds_->FieldByName(u"CODE").IsNull());
  ds_->OracleDictionary().EnforceConstraints = true;
  EXPECT_EQ(MessageOf([&] { ds_->FieldByName(u"ID").SetAsInteger(1); }),
            u"OracleDataSet: ORA-00001: unique constraint (V9NORVELO.ITEMS_PK) violated");
  ds_->Cancel();
}

}  // namespace
}  // namespace kavo::test
