// Append, and the observers of a record set's notices.
#include "recordset/data_source.h"
#include "testkit/people_dataset.h"

namespace kavo::test {
namespace {

class Recorder : public TDataLink {
 public:
  std::vector<std::string> log;
  std::function<void()> on_update;

 protected:
  void ActiveChanged() override { log.push_back(Active() ? "active" : "inactive"); }
  void EditingChanged() override { log.push_back(Editing() ? "editing" : "browsing"); }
  void RecordChanged(TField* f) override {
    log.push_back(f ? "field " + StringToUtf8(f->FieldName()) : "record");
  }
  void DataSetChanged() override { log.push_back("change"); }
  void DataSetScrolled() override { log.push_back("scroll"); }
  void UpdateData() override {
    log.push_back("update");
    if (on_update) on_update();
  }
  void CheckBrowseMode() override { log.push_back("check"); }
};

using Log = std::vector<std::string>;

class LinkTest : public PeopleTest {
 protected:
  void SetUp() override {
    PeopleTest::SetUp();
    source = new TDataSource(&owner);
    source->SetDataSet(ds);
    link.SetDataSource(source);
  }
  Log Take() { return std::exchange(link.log, {}); }

  TDataSource* source = nullptr;
  Recorder link;
};

TEST_F(LinkTest, AppendAddsAtTheEndAndLeavesTheNewRecordCurrent) {
  ds->Open();
  ds->Append();
  ds->Cancel();
  EXPECT_EQ(Name(), u"cid");  // the record next to the end
  ds->Append();
  name->SetAsString(u"dan");
  ds->Post();
  EXPECT_EQ(*ds->At(3, u"NAME"), "dan");
  EXPECT_EQ(ds->RecNo(), 4);
}

TEST_F(LinkTest, LinksReceiveTheNoticesInOrder) {
  ds->Open();
  EXPECT_EQ(Take(), (Log{"active"}));
  ds->Next();
  EXPECT_EQ(Take(), (Log{"check", "scroll"}));
  ds->Edit();
  EXPECT_EQ(Take(), (Log{"check", "editing", "record"}));
  // The editor writes its pending input back before the post.
  link.on_update = [&] { name->SetAsString(u"typed"); };
  ds->Post();
  EXPECT_EQ(Take(), (Log{"update", "field NAME", "check", "browsing", "change"}));
  EXPECT_EQ(*ds->At(1, u"NAME"), "typed");
  link.on_update = nullptr;
  ds->Insert();
  EXPECT_EQ(Take(), (Log{"check", "editing", "change"}));
  ds->Cancel();
  EXPECT_EQ(Take(), (Log{"check", "browsing", "change"}));
  ds->Delete();
  EXPECT_EQ(Take(), (Log{"check", "change"}));

  source->SetEnabled(false);
  EXPECT_EQ(Take(), (Log{"inactive"}));
  ds->First();
  EXPECT_TRUE(Take().empty());
  source->SetEnabled(true);
  ds->Close();
  EXPECT_EQ(Take(), (Log{"active", "inactive"}));
}

TEST_F(LinkTest, AMasterLinkFollowsTheNamedFieldsValues) {
  MemoryDataSet detail(nullptr);
  TMasterDataLink master(&detail);
  master.SetFieldNames(u"NAME; SCORE");
  std::vector<std::vector<OraVariant>> seen;
  master.OnMasterChange = [&] { seen.push_back(master.Values()); };
  int disabled = 0;
  master.OnMasterDisable = [&] { ++disabled; };
  master.SetDataSource(source);
  ds->Open();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], (std::vector<OraVariant>{u"ann", 1.5}));
  EXPECT_EQ(master.Fields(), (std::vector<TField*>{name, score}));
  EXPECT_EQ(ds->DetailDataSets(), std::vector<TDataSet*>{&detail});
  ds->Edit();  // a record notice with the same values
  score->SetAsFloat(2);
  EXPECT_EQ(seen.size(), 2u);
  ds->Post();
  ds->Next();
  ds->Insert();
  EXPECT_TRUE(master.Waiting());
  ds->Cancel();
  ASSERT_EQ(seen.size(), 5u);
  EXPECT_EQ(seen[2][0].AsString(), u"bob");
  EXPECT_TRUE(seen[3].empty());
  EXPECT_EQ(seen[4][0].AsString(), u"bob");
  ds->Close();
  EXPECT_EQ(disabled, 1);
  master.SetFieldNames(u"NAME;NOPE");
  EXPECT_RAISES(ds->Open(), EDatabaseError, "People: Field 'NOPE' not found");
  delete ds;  // the link sees the record set gone
  ds = nullptr;
  EXPECT_FALSE(master.Active());
}

}  // namespace
}  // namespace kavo::test
