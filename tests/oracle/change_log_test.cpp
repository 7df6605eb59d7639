// The change log on its own: entries with private record copies, merging
// changes of one record, and the positions of logged inserts.
#include <gtest/gtest.h>

#include <vector>

#include "oracle/change_log.h"

namespace kavo::test {
namespace {

constexpr size_t kSize = RecInfoSize + 8;

// A stored record with a bookmark, a ROWID and one data byte.
struct Record {
  explicit Record(int32_t bookmark, const char16_t* rowid = u"", uint8_t value = 0)
      : bytes(kSize) {
    InitRecordBuffer(bytes.data(), kSize);
    Header(bytes.data()).Bookmark = bookmark;
    extras.SetRowId(bytes.data(), rowid);
    DataArea(bytes.data())[0] = value;
  }
  uint8_t* data() { return bytes.data(); }
  std::vector<uint8_t> bytes;
  TRecordExtras extras;
};

uint8_t Value(const TRecordCopy& copy) { return DataArea(copy.Data())[0]; }

TEST(ChangeLogTest, EntriesKeepPrivateCopiesAndMergeChangesOfOneRecord) {
  TChangeLog log(nullptr);
  // An 18-character ROWID is held apart: the copy must own its own.
  Record before(3, u"AAAAAAAAAAAAAAAAAB", 1), after(3, u"AAAAAAAAAAAAAAAAAB", 2);
  TBlobList blobs;
  blobs.BlobByField(nullptr).Bytes = "long value";
  log.Log(u'U', 3, 2, before.data(), &blobs, after.data(), nullptr, kSize, false);
  before.extras.SetRowId(before.data(), u"changed");
  DataArea(after.data())[0] = 9;
  ASSERT_EQ(log.Count(), 1);
  TChangeLogItem& u = log.Item(0);
  EXPECT_EQ(u.Action, u'U');
  EXPECT_EQ(u.Bookmark(), 3);
  EXPECT_EQ(u.RowId(), u"AAAAAAAAAAAAAAAAAB");
  EXPECT_EQ(Value(u.BeforeData), 1);
  EXPECT_EQ(Value(u.AfterData), 2);
  EXPECT_EQ(Header(u.BeforeData.Data()).BlobList->Items().at(0).Bytes, "long value");
  EXPECT_EQ(log.FindByRowId(u"AAAAAAAAAAAAAAAAAB"), &u);

  // An update after an update replaces the after-image only.
  log.Log(u'U', 3, 2, before.data(), nullptr, after.data(), nullptr, kSize, false);
  EXPECT_EQ(log.Count(), 1);
  EXPECT_EQ(Value(u.BeforeData), 1);
  EXPECT_EQ(Value(u.AfterData), 9);
  // A delete after an update keeps the first before-image.
  log.Log(u'D', 3, 2, before.data(), nullptr, nullptr, nullptr, kSize, false);
  EXPECT_EQ(u.Action, u'D');
  EXPECT_TRUE(u.AfterData.Empty());
  EXPECT_EQ(Value(u.BeforeData), 1);
  EXPECT_EQ(log.NetInserts(), -1);
  // An insert after a delete (the same bookmark) changes nothing.
  log.Log(u'I', 3, 2, nullptr, nullptr, after.data(), nullptr, kSize, false);
  EXPECT_EQ(log.Count(), 1);
  EXPECT_EQ(u.Action, u'D');
}

TEST(ChangeLogTest, AnInsertThenDeletedLeavesNothingAndInsertsKeepTheirPositions) {
  TChangeLog log(nullptr);
  Record a(10), b(11), c(12), d(5, u"AAAB");
  log.Log(u'I', 10, 2, nullptr, nullptr, a.data(), nullptr, kSize, true);
  log.Log(u'I', 11, 4, nullptr, nullptr, b.data(), nullptr, kSize, true);
  EXPECT_TRUE(log.Item(0).Applied);
  EXPECT_TRUE(log.Item(0).BeforeData.Empty());
  // A new insert at 2 moves those at or after it up.
  log.Log(u'I', 12, 2, nullptr, nullptr, c.data(), nullptr, kSize, true);
  EXPECT_EQ(log.Item(0).RecordIndex, 3);
  EXPECT_EQ(log.Item(1).RecordIndex, 5);
  EXPECT_EQ(log.Item(2).RecordIndex, 2);
  // A delete at 1 moves those after it down.
  log.Log(u'D', 5, 1, d.data(), nullptr, nullptr, nullptr, kSize, true);
  EXPECT_EQ(log.Item(0).RecordIndex, 2);
  EXPECT_EQ(log.Item(1).RecordIndex, 4);
  EXPECT_EQ(log.Item(2).RecordIndex, 1);
  EXPECT_EQ(log.NetInserts(), 2);
  // Deleting an inserted record removes its entry.
  log.Log(u'D', 12, 1, c.data(), nullptr, nullptr, nullptr, kSize, true);
  EXPECT_EQ(log.Count(), 3);
  EXPECT_EQ(log.FindByBookmark(12), nullptr);
  EXPECT_EQ(log.Item(0).RecordIndex, 1);
  EXPECT_EQ(log.NetInserts(), 1);
  log.Item(0).SetBookmark(40);
  EXPECT_EQ(log.FindByBookmark(40), &log.Item(0));
  log.Clear();
  EXPECT_TRUE(log.Empty());
}

}  // namespace
}  // namespace kavo::test
