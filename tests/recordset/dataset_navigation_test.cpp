// First/Next/MoveBy with Bof and Eof, and the automatic post before moves.
#include "testkit/people_dataset.h"

namespace kavo::test {
namespace {

using NavigationTest = PeopleTest;

TEST_F(NavigationTest, NextWalksToTheEndAndStaysOnTheLastRecord) {
  ds->Open();
  ds->Next();
  EXPECT_EQ(Name(), u"bob");
  EXPECT_FALSE(ds->Bof());
  ds->Next();
  EXPECT_EQ(Name(), u"cid");
  EXPECT_FALSE(ds->Eof());
  EXPECT_EQ(ds->MoveBy(1), 0);
  EXPECT_TRUE(ds->Eof());
  EXPECT_EQ(Name(), u"cid");
  EXPECT_EQ(ds->MoveBy(1), 0);
  EXPECT_TRUE(ds->Eof());
  EXPECT_EQ(Name(), u"cid");
}

TEST_F(NavigationTest, MoveByCountsRecordsActuallyMoved) {
  ds->Open();
  EXPECT_EQ(ds->MoveBy(5), 2);
  EXPECT_TRUE(ds->Eof());
  EXPECT_EQ(Name(), u"cid");
  EXPECT_EQ(ds->MoveBy(-1), -1);
  EXPECT_EQ(Name(), u"bob");
  EXPECT_FALSE(ds->Eof());
  EXPECT_EQ(ds->MoveBy(-5), -1);
  EXPECT_TRUE(ds->Bof());
  EXPECT_EQ(Name(), u"ann");
  EXPECT_EQ(ds->MoveBy(-1), 0);
}

TEST_F(NavigationTest, FirstReturnsToTheStartFromTheEnd) {
  ds->Open();
  ds->MoveBy(10);
  ds->First();
  EXPECT_TRUE(ds->Bof());
  EXPECT_FALSE(ds->Eof());
  EXPECT_EQ(Name(), u"ann");
}

TEST_F(NavigationTest, NextAtEofStillPostsThePendingChange) {
  ds->Open();
  ds->MoveBy(10);
  ASSERT_TRUE(ds->Eof());
  ds->Edit();
  name->SetAsString(u"cyd");
  EXPECT_EQ(ds->MoveBy(1), 0);
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(*ds->At(2, u"NAME"), "cyd");
  EXPECT_EQ(Name(), u"cyd");
}

TEST_F(NavigationTest, ScrollHooksRunAroundMoves) {
  int before = 0, after = 0;
  ds->BeforeScroll = [&](TDataSet&) { ++before; };
  ds->AfterScroll = [&](TDataSet&) { ++after; };
  ds->Open();
  ds->Next();
  ds->First();
  EXPECT_EQ(before, 2);
  EXPECT_EQ(after, 2);
}

TEST_F(NavigationTest, EditAfterEofPostsTheRightRow) {
  // At Eof the record set's cursor has run past the last row; the edit must
  // still land on the current record.
  ds->Open();
  ds->MoveBy(10);
  ds->MoveBy(-1);
  ds->Edit();
  name->SetAsString(u"rob");
  ds->Post();
  EXPECT_EQ(*ds->At(1, u"NAME"), "rob");
  EXPECT_EQ(*ds->At(2, u"NAME"), "cid");
}

TEST_F(NavigationTest, LastShowsTheLastRecordAtEof) {
  ds->Open();
  ds->Last();
  EXPECT_EQ(Name(), u"cid");
  EXPECT_TRUE(ds->Eof());
  EXPECT_FALSE(ds->Bof());
  EXPECT_EQ(ds->MoveBy(-1), -1);
  EXPECT_EQ(Name(), u"bob");
}

TEST_F(NavigationTest, DeleteShowsTheNextElseThePriorRecord) {
  ds->Open();
  ds->Next();
  ds->Delete();
  EXPECT_EQ(Name(), u"cid");
  EXPECT_EQ(ds->Rows().size(), 2u);
  ds->Delete();
  EXPECT_EQ(Name(), u"ann");
  ds->Delete();
  EXPECT_TRUE(ds->Eof());
  EXPECT_TRUE(ds->Bof());
  EXPECT_TRUE(name->IsNull());
  EXPECT_RAISES(ds->Delete(), EDatabaseError,
                "People: Cannot perform this operation on an empty dataset");
}

TEST_F(NavigationTest, DeleteWhileInsertingCancelsTheInsert) {
  ds->Open();
  ds->Insert();
  name->SetAsString(u"new");
  ds->Delete();
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(ds->Rows().size(), 3u);
  EXPECT_EQ(Name(), u"ann");
}

TEST_F(NavigationTest, BookmarksLeadBackToTheirRecord) {
  ds->Open();
  ds->Next();
  TBookmark bob = ds->GetBookmark();
  ASSERT_EQ(bob.size(), 4u);
  EXPECT_TRUE(ds->BookmarkValid(bob));
  ds->MoveBy(10);
  EXPECT_LT(ds->CompareBookmarks(bob, ds->GetBookmark()), 0);
  ds->GotoBookmark(bob);
  EXPECT_EQ(Name(), u"bob");
  EXPECT_FALSE(ds->Eof());
  EXPECT_EQ(ds->RecNo(), 2);
  ds->Next();  // the cursor follows the record that was gone to
  EXPECT_EQ(Name(), u"cid");
}

TEST_F(NavigationTest, BookmarkOfAVanishedRecordIsNotFound) {
  ds->Open();
  ds->Next();
  TBookmark bob = ds->GetBookmark();
  ds->First();
  ds->Rows().erase(ds->Rows().begin() + 1);
  ds->RowIds().erase(ds->RowIds().begin() + 1);
  EXPECT_FALSE(ds->BookmarkValid(bob));
  EXPECT_RAISES(ds->GotoBookmark(bob), EDatabaseError, "People: Record not found");
  EXPECT_EQ(Name(), u"ann");
  ds->Next();
  EXPECT_EQ(Name(), u"cid");
}

TEST_F(NavigationTest, RefreshShowsTheServersCurrentValues) {
  ds->Open();
  ds->Next();
  ds->Rows()[1][0] = Text("rob");
  EXPECT_EQ(Name(), u"bob");
  ds->Refresh();
  EXPECT_EQ(Name(), u"rob");
  // A record that went away gives way to the next one.
  ds->Rows().erase(ds->Rows().begin() + 1);
  ds->RowIds().erase(ds->RowIds().begin() + 1);
  ds->Refresh();
  EXPECT_EQ(Name(), u"cid");
}

TEST_F(NavigationTest, RefreshOfAnEmptyRecordSetFindsNewRows) {
  ds->Rows().clear();
  ds->RowIds().clear();
  ds->Open();
  ASSERT_TRUE(ds->Eof());
  ds->AddRow({Text("dan"), std::nullopt, std::nullopt});
  ds->Refresh();
  EXPECT_FALSE(ds->Eof());
  EXPECT_EQ(Name(), u"dan");
}

}  // namespace
}  // namespace kavo::test
