// Master and detail Oracle record sets against the stand-in, Append and old values.
#include <gtest/gtest.h>

#include "testkit/message_of.h"
#include "testkit/oracle_dataset_fixture.h"

namespace kavo::test {
namespace {

class DataSetMasterTest : public OracleDataSetFixture {
 protected:
  void SetUp() override {
    OracleDataSetFixture::SetUp();
    AddPendingRows(3);
    ds_->Open();
    detail_ = new TOracleDataSet(&owner_);
    detail_->SetName(u"Detail");
    detail_->SetSession(session_.get());
    detail_->SQL().Add(u"select A.*, A.ROWID from interface_orcl A where A.CODIGO = :CODIGO");
    detail_->DeclareVariable(u"CODIGO", otFloat);
    detail_->SetMaster(ds_);
    detail_->SetMasterFields(u"CODIGO");
  }
  // "CODIGO:DADOS" of the detail's records.
  std::string Details() {
    std::string out;
    for (detail_->First(); !detail_->Eof(); detail_->Next())
      out += (out.empty() ? "" : " ") + std::to_string(Int(detail_, u"CODIGO")) + ":" +
             StringToUtf8(detail_->FieldByName(u"DADOS").AsString());
    return out;
  }
  static int Int(TDataSet* ds, const char16_t* name) { return ds->FieldByName(name).AsInteger(); }

  TOracleDataSet* detail_ = nullptr;
};

TEST_F(DataSetMasterTest, DetailFollowsTheMasterRowAndAppendsAtTheEnd) {
  detail_->SetDetailFields(u"CODIGO");
  detail_->Open();
  EXPECT_EQ(Details(), "1:dados 1");
  ds_->Next();
  EXPECT_EQ(Details(), "2:dados 2");
  detail_->First();
  detail_->Append();
  detail_->FieldByName(u"DADOS").SetAsString(u"novo");
  detail_->Post();
  EXPECT_EQ(detail_->FieldByName(u"DADOS").AsString(), u"novo");
  EXPECT_EQ(detail_->RecNo(), 2);
  EXPECT_EQ(Column("count(*)", 2), "2");  // the master's value went into CODIGO

  ds_->Insert();  // no master record: no detail records
  EXPECT_TRUE(detail_->Bof() && detail_->Eof());
  ds_->Cancel();
  EXPECT_EQ(Details(), "2:dados 2 2:novo");

  // Append on the master: at the end whatever record was current.
  ds_->First();
  ds_->Append();
  ds_->FieldByName(u"CODIGO").SetAsInteger(9);
  ds_->FieldByName(u"STATUS").SetAsString(u"A");
  ds_->Post();
  EXPECT_EQ(ds_->RecNo(), 4);
  EXPECT_EQ(Details(), "9:");  // the new master row itself
  ds_->Prior();
  EXPECT_EQ(Int(ds_, u"CODIGO"), 3);

  EXPECT_EQ(MessageOf([&] { detail_->SetMasterFields(u"CODIGO;NOPE"); }),
            u"OracleDataSet: Field 'NOPE' not found");
}

TEST_F(DataSetMasterTest, OldValuesAndTheRefreshOfALooseDetailWithCachedUpdates) {
  ds_->Edit();
  ds_->FieldByName(u"DADOS").SetAsString(u"x");
  EXPECT_EQ(ds_->FieldByName(u"DADOS").OldValue().AsString(), u"dados 1");
  ds_->Post();
  EXPECT_EQ(ds_->FieldByName(u"DADOS").OldValue().AsString(), u"x");

  detail_->SetCachedUpdates(true);
  detail_->Open();
  detail_->Edit();
  detail_->FieldByName(u"DADOS").SetAsString(u"a");
  detail_->Post();
  detail_->Edit();
  detail_->FieldByName(u"DADOS").SetAsString(u"b");
  // The server's value, not the one the log already holds.
  EXPECT_EQ(detail_->FieldByName(u"DADOS").OldValue().AsString(), u"x");
  EXPECT_EQ(MessageOf([&] { ds_->Refresh(); }),
            u"Refresh not allowed: detail records have cached updates.\r\n"
            u"You have to apply the updates first");
  detail_->Cancel();
  detail_->SetDetailFields(u"CODIGO");
  ds_->Refresh();
  EXPECT_EQ(Int(ds_, u"CODIGO"), 1);
}

}  // namespace
}  // namespace kavo::test
