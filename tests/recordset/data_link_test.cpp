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
  EXPECT_EQ(ds->State(), dsInsert);
  ds->Cancel();
  EXPECT_EQ(Name(), u"cid");  // the record next to the end
  ds->Next();
  ds->Append();
  name->SetAsString(u"dan");
  ds->Post();
  ASSERT_EQ(ds->Rows().size(), 4u);
  EXPECT_EQ(*ds->At(3, u"NAME"), "dan");
  EXPECT_EQ(Name(), u"dan");
  EXPECT_EQ(ds->RecNo(), 4);
  ds->Prior();
  EXPECT_EQ(Name(), u"cid");

  ds->Rows().clear();
  ds->RowIds().clear();
  ds->Close();
  ds->Open();
  ds->Append();
  name->SetAsString(u"eve");
  ds->Post();
  EXPECT_EQ(*ds->At(0, u"NAME"), "eve");
  EXPECT_EQ(ds->RecordCount(), 1);
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
  ds->Last();
  EXPECT_EQ(Take(), (Log{"check", "change"}));

  source->SetEnabled(false);
  EXPECT_EQ(Take(), (Log{"inactive"}));
  ds->First();
  EXPECT_TRUE(Take().empty());
  source->SetEnabled(true);
  ds->Close();
  EXPECT_EQ(Take(), (Log{"active", "inactive"}));
}

TEST_F(LinkTest, EitherSideMayGoFirst) {
  int changes = 0;
  source->OnDataChange = [&](TDataSource&, TField*) { ++changes; };
  ds->Open();
  ds->Next();
  EXPECT_EQ(changes, 1);
  {
    Recorder second;
    second.SetDataSource(source);
    EXPECT_TRUE(second.Active());
  }
  delete ds;  // the source and the link see the record set gone
  ds = nullptr;
  EXPECT_EQ(source->DataSet(), nullptr);
  EXPECT_FALSE(link.Active());
  delete source;
  EXPECT_EQ(link.DataSource(), nullptr);
}

}  // namespace
}  // namespace kavo::test
