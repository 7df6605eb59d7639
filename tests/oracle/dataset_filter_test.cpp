// Filters on the Oracle record set against the stand-in: the visible records,
// switching Filtered, changing the text, the filter event, and inserting and
// deleting while filtered.
#include <gtest/gtest.h>

#include "testkit/message_of.h"
#include "testkit/oracle_dataset_fixture.h"

namespace kavo::test {
namespace {

class DataSetFilterTest : public OracleDataSetFixture {
 protected:
  void SetUp() override {
    OracleDataSetFixture::SetUp();
    AddPendingRows(6);
    AddServiceFields();
  }
  // The CODIGOs of the visible records, in order, and the record count.
  std::string Visible() {
    std::string out;
    for (ds_->First(); !ds_->Eof(); ds_->Next())
      out += (out.empty() ? "" : ",") + std::to_string(ds_->FieldByName(u"CODIGO").AsInteger());
    return out + " (" + std::to_string(ds_->RecordCount()) + ")";
  }
};

TEST_F(DataSetFilterTest, FilteredShowsOnlyAcceptedRecordsAndSwitchesBack) {
  ds_->SetFilter(u"(CODIGO > 2) AND (TRUNC(CODIGO) MOD 2 = 0)");
  ds_->SetFiltered(true);
  ds_->Open();
  EXPECT_EQ(Visible(), "4,6 (2)");
  ds_->SetCountAllRecords(true);  // no count query while filtered
  EXPECT_EQ(ds_->RecordCount(), 2);
  ds_->SetCountAllRecords(false);
  ds_->SetFiltered(false);
  EXPECT_EQ(Visible(), "1,2,3,4,5,6 (6)");
  ds_->SetFilter(u"DADOS = '*5'");  // not filtered: the text alone hides nothing
  EXPECT_EQ(Visible(), "1,2,3,4,5,6 (6)");
  ds_->SetFiltered(true);
  EXPECT_EQ(Visible(), "5 (1)");
  ds_->SetFilterOptions(foNoPartialCompare);
  EXPECT_EQ(Visible(), " (0)");
  ds_->SetFilterOptions(foCaseInsensitive);
  ds_->SetFilter(u"dados = 'DADOS 3'");
  EXPECT_EQ(Visible(), "3 (1)");
}

TEST_F(DataSetFilterTest, AnInvalidFilterStopsTheOpenOrLeavesNoFilter) {
  ds_->SetFilter(u"CODIGO = = 1");
  ds_->SetFiltered(true);
  EXPECT_EQ(MessageOf([&] { ds_->Open(); }), u"Syntax error");
  EXPECT_FALSE(ds_->Active());
  ds_->SetFilter(u"NOSUCH = 1");
  ds_->SetFiltered(false);
  ds_->Open();
  // A missing field shows when the filter is first read.
  EXPECT_EQ(MessageOf([&] { ds_->SetFiltered(true); }),
            u"OracleDataSet: Field 'NOSUCH' not found");
  EXPECT_EQ(MessageOf([&] { ds_->SetFilter(u"CODIGO +"); }), u"Unexpected end of factor");
  ds_->SetFiltered(false);
  ds_->SetFiltered(true);  // no tree: every record passes
  EXPECT_EQ(Visible(), "1,2,3,4,5,6 (6)");
}

TEST_F(DataSetFilterTest, TheEventDecidesFirstAndFetchingSeesTheVerdict) {
  std::string verdicts;
  ds_->OnFilterRecord = [](TOracleDataSet& ds, bool& accept) {
    accept = ds.FieldByName(u"CODIGO").AsInteger() != 2;
  };
  ds_->AfterFetchRecord = [&](TOracleDataSet&, bool accepted, TAfterFetchRecordAction&) {
    verdicts += accepted ? "y" : "n";
  };
  ds_->SetFilter(u"CODIGO < 5");
  ds_->SetFiltered(true);
  ds_->Open();
  EXPECT_EQ(verdicts, "ynyynn");
  EXPECT_EQ(Visible(), "1,3,4 (3)");
}

TEST_F(DataSetFilterTest, InsertingAndDeletingWhileFilteredKeepBothLists) {
  ds_->SetFilter(u"CODIGO >= 3");
  ds_->SetFiltered(true);
  ds_->Open();
  ds_->First();
  ds_->Next();  // CODIGO 4
  ds_->Delete();
  EXPECT_EQ(Visible(), "3,5,6 (3)");
  EXPECT_EQ(Column("codigo", 4), "(0 rows)");
  ds_->Last();
  ds_->Insert();
  ds_->FieldByName(u"CODIGO").SetAsFloat(10);
  ds_->FieldByName(u"STATUS").SetAsString(u"A");
  ds_->Post();
  EXPECT_EQ(Visible(), "3,5,10,6 (4)");
  ds_->SetFiltered(false);
  EXPECT_EQ(Visible(), "1,2,3,5,10,6 (6)");
  EXPECT_EQ(ds_->Store()->Count(), 6);
}

}  // namespace
}  // namespace kavo::test
