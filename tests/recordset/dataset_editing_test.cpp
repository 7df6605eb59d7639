// Edit/Insert/Post/Cancel, the automatic post and its failures.
#include "testkit/people_dataset.h"

namespace kavo::test {
namespace {

class EditingTest : public PeopleTest {
 protected:
  void SetUp() override {
    PeopleTest::SetUp();
    ds->on_post = FailingPost(fail);
    ds->Open();
  }
  bool fail = false;
};

TEST_F(EditingTest, NextPostsAnEditAndModifiedFollowsTheState) {
  ds->Edit();
  EXPECT_EQ(ds->State(), dsEdit);
  EXPECT_FALSE(ds->Modified());
  name->SetAsString(u"anne");
  EXPECT_TRUE(ds->Modified());
  ds->Next();
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_FALSE(ds->Modified());
  EXPECT_EQ(*ds->At(0, u"NAME"), "anne");
  EXPECT_EQ(Name(), u"bob");
}

TEST_F(EditingTest, FailedAutomaticPostKeepsEditStateValuesAndPosition) {
  ds->Edit();
  name->SetAsString(u"anne");
  fail = true;
  EXPECT_RAISES(ds->Next(), Exception, "server refused");
  EXPECT_EQ(ds->State(), dsEdit);
  EXPECT_TRUE(ds->Modified());
  EXPECT_EQ(Name(), u"anne");
  EXPECT_EQ(*ds->At(0, u"NAME"), "ann");
  fail = false;
  ds->Next();
  EXPECT_EQ(*ds->At(0, u"NAME"), "anne");
  EXPECT_EQ(Name(), u"bob");
}

TEST_F(EditingTest, UnchangedEditIsCancelledNotPosted) {
  ds->Edit();
  ds->Next();
  EXPECT_EQ(ds->posts, 0);
  EXPECT_EQ(ds->cancels, 1);
}

TEST_F(EditingTest, EditWhileEditingOrInsertingDoesNothing) {
  ds->Edit();
  name->SetAsString(u"anne");
  ds->Edit();
  EXPECT_EQ(ds->State(), dsEdit);
  EXPECT_TRUE(ds->Modified());
  EXPECT_EQ(ds->posts, 0);
  ds->Cancel();
  ds->Insert();
  ds->Edit();
  EXPECT_EQ(ds->State(), dsInsert);
}

TEST_F(EditingTest, CancelRestoresTheStoredValues) {
  ds->Edit();
  name->SetAsString(u"zed");
  ds->Cancel();
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(Name(), u"ann");
  EXPECT_EQ(ds->posts, 0);
}

TEST_F(EditingTest, InsertStartsAnAllNullRecord) {
  ds->Next();
  ds->Insert();
  EXPECT_EQ(ds->State(), dsInsert);
  EXPECT_FALSE(ds->Modified());
  EXPECT_TRUE(name->IsNull());
  EXPECT_TRUE(score->IsNull());
  name->SetAsString(u"new");
  ds->Post();
  EXPECT_EQ(ds->State(), dsBrowse);
  ASSERT_EQ(ds->Rows().size(), 4u);
  EXPECT_EQ(*ds->At(1, u"NAME"), "new");  // before the record it was started on
  EXPECT_FALSE(ds->At(1, u"SCORE").has_value());
  EXPECT_EQ(Name(), u"new");
}

TEST_F(EditingTest, InsertPostsThePendingInsertFirst) {
  ds->Insert();
  name->SetAsString(u"one");
  ds->Insert();
  EXPECT_EQ(ds->posts, 1);
  EXPECT_EQ(ds->State(), dsInsert);
  EXPECT_TRUE(name->IsNull());
  name->SetAsString(u"two");
  ds->Post();
  EXPECT_EQ(ds->Rows().size(), 5u);
}

TEST_F(EditingTest, FailedPostOfPendingInsertKeepsItAndStartsNoNewOne) {
  ds->Insert();
  name->SetAsString(u"one");
  fail = true;
  EXPECT_RAISES(ds->Insert(), Exception, "server refused");
  EXPECT_EQ(ds->State(), dsInsert);
  EXPECT_TRUE(ds->Modified());
  EXPECT_EQ(Name(), u"one");
  EXPECT_EQ(ds->Rows().size(), 3u);
  // And so it goes on: every later Insert fails on the same record.
  EXPECT_RAISES(ds->Insert(), Exception, "server refused");
  EXPECT_EQ(Name(), u"one");
}

TEST_F(EditingTest, InsertWithoutChangesIsDroppedByTheNextInsert) {
  ds->Insert();
  ds->Insert();
  EXPECT_EQ(ds->posts, 0);
  EXPECT_EQ(ds->cancels, 1);
  EXPECT_EQ(ds->State(), dsInsert);
}

TEST_F(EditingTest, CloseDropsAPendingInsert) {
  ds->Insert();
  name->SetAsString(u"lost");
  ds->Close();
  EXPECT_EQ(ds->State(), dsInactive);
  EXPECT_FALSE(ds->Modified());
  EXPECT_EQ(ds->posts, 0);
  EXPECT_EQ(ds->Rows().size(), 3u);
}

TEST_F(EditingTest, CancelOfInsertReturnsToTheRecordItStartedOn) {
  ds->Next();
  ds->Insert();
  name->SetAsString(u"gone");
  ds->Cancel();
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(Name(), u"bob");
  EXPECT_EQ(ds->Rows().size(), 3u);
}

TEST_F(EditingTest, EditOnEmptyRecordSetInserts) {
  ds->Close();
  ds->Rows().clear();
  ds->RowIds().clear();
  ds->Open();
  ds->Edit();
  EXPECT_EQ(ds->State(), dsInsert);
  name->SetAsString(u"first");
  ds->Post();
  EXPECT_FALSE(ds->Eof());
  EXPECT_EQ(Name(), u"first");
  ds->Insert();
  ds->Cancel();
  EXPECT_EQ(Name(), u"first");
}

TEST_F(EditingTest, CancelOfInsertIntoEmptySetLeavesItEmpty) {
  ds->Close();
  ds->Rows().clear();
  ds->RowIds().clear();
  ds->Open();
  ds->Insert();
  ds->Cancel();
  EXPECT_TRUE(ds->Eof());
  EXPECT_TRUE(ds->Bof());
  EXPECT_TRUE(name->IsNull());
}

TEST_F(EditingTest, ReadOnlyRecordSetRefusesChanges) {
  ds->can_modify = false;
  EXPECT_RAISES(ds->Edit(), EDatabaseError, "People: Cannot modify a read-only dataset");
  EXPECT_RAISES(ds->Insert(), EDatabaseError, "People: Cannot modify a read-only dataset");
  EXPECT_EQ(ds->State(), dsBrowse);
}

TEST_F(EditingTest, PostOutsideEditingIsRefused) {
  EXPECT_RAISES(ds->Post(), EDatabaseError, "People: Dataset not in edit or insert mode");
  EXPECT_RAISES(name->SetAsString(u"x"), EDatabaseError,
                "People: Dataset not in edit or insert mode");
}

TEST_F(EditingTest, FailedEditStartLeavesBrowseState) {
  ds->on_edit = [] { throw Exception(u"Record has been changed by another user"); };
  EXPECT_RAISES(ds->Edit(), Exception, "Record has been changed by another user");
  EXPECT_EQ(ds->State(), dsBrowse);
}

TEST_F(EditingTest, ErrorEventCanRetryOrAbortThePost) {
  int failures = 2;
  ds->on_post = [&](const Row&, bool) {
    if (failures-- > 0) throw Exception(u"busy");
  };
  ds->OnPostError = [](TDataSet&, Exception&, TDataAction& a) { a = daRetry; };
  ds->Edit();
  name->SetAsString(u"anna");
  ds->Post();
  EXPECT_EQ(*ds->At(0, u"NAME"), "anna");
  failures = 1;
  ds->OnPostError = [](TDataSet&, Exception&, TDataAction& a) { a = daAbort; };
  ds->Edit();
  name->SetAsString(u"anya");
  EXPECT_THROW(ds->Post(), EAbort);
  EXPECT_EQ(ds->State(), dsEdit);
}

TEST_F(EditingTest, NewRecordHookFailureGivesUpTheInsert) {
  ds->OnNewRecord = [](TDataSet&) { throw Exception(u"no defaults"); };
  EXPECT_RAISES(ds->Insert(), Exception, "no defaults");
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(Name(), u"ann");
}

TEST_F(EditingTest, NewRecordHookMayFillFieldsWithoutMarkingModified) {
  ds->OnNewRecord = [this](TDataSet&) { name->SetAsString(u"dflt"); };
  ds->Insert();
  EXPECT_EQ(Name(), u"dflt");
  EXPECT_FALSE(ds->Modified());
  ds->Next();  // unchanged since the hook: dropped
  EXPECT_EQ(ds->Rows().size(), 3u);
}

TEST_F(EditingTest, ValidationSeesThePendingValueAndCanRefuseIt) {
  String seen;
  name->OnValidate = [&](TField& f) {
    seen = f.AsString();
    if (seen == u"bad") throw Exception(u"refused");
  };
  ds->Edit();
  name->SetAsString(u"good");
  EXPECT_EQ(seen, u"good");
  EXPECT_RAISES(name->SetAsString(u"bad"), Exception, "refused");
  EXPECT_EQ(Name(), u"good");
  int changes = 0;
  name->OnChange = [&](TField&) { ++changes; };
  name->SetAsString(u"fine");
  EXPECT_EQ(changes, 1);
}

}  // namespace
}  // namespace kavo::test
