// The record store on its own: block growth, ROWIDs inline and as separate
// copies, what frees what, unidirectional discarding, the filtered list.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>

#include "oracle/row_store.h"
#include "rtl/exceptions.h"

namespace kavo::test {
namespace {

constexpr size_t kRecordSize = RecInfoSize + 16;

// Appends a record whose data area starts with `n`.
TRecordBuffer Append(TRecordDataList& store, int32_t n) {
  TRecordBuffer r = store.FirstFreeRecord();
  std::memcpy(DataArea(r), &n, sizeof n);
  TRecordBuffer kept = store.NewRecord(-1, false, -1);
  EXPECT_EQ(kept, r) << "the record is built where the fetch put it";
  Header(r).Bookmark = n;
  return r;
}

int32_t Value(const uint8_t* r) {
  int32_t n;
  std::memcpy(&n, DataArea(r), sizeof n);
  return n;
}

std::vector<int> BlockSizes(const TRecordDataList& store) {
  std::vector<int> sizes;
  for (const TRecordBlock& b : store.Blocks()) sizes.push_back(b.MaxRecords);
  return sizes;
}

TEST(RecordStore, GrowsByHalfItsSizeAndNeverByLessThanReadBufferPlusOne) {
  TRecordDataList store(kRecordSize, 25, u"DS");
  for (int i = 1; i <= 27; ++i) Append(store, i);
  EXPECT_EQ(BlockSizes(store), (std::vector<int>{26, 26}));
  for (int i = 28; i <= 53; ++i) Append(store, i);
  EXPECT_EQ(BlockSizes(store), (std::vector<int>{26, 26, 26}));
  for (int i = 54; i <= 79; ++i) Append(store, i);
  EXPECT_EQ(BlockSizes(store), (std::vector<int>{26, 26, 26, 39}));
  for (int i = 80; i <= 117; ++i) Append(store, i);
  EXPECT_EQ(BlockSizes(store).size(), 4u);
  Append(store, 118);
  EXPECT_EQ(BlockSizes(store), (std::vector<int>{26, 26, 26, 39, 58}));
  EXPECT_EQ(store.Count(), 118);
  for (int i = 0; i < 118; ++i) EXPECT_EQ(Value(store.RecordAt(i)), i + 1);
  // Every slot's header is aligned, whatever the record size.
  TRecordDataList odd(RecInfoSize + 3, 2, u"DS");
  for (int i = 0; i < 7; ++i)
    EXPECT_EQ(reinterpret_cast<uintptr_t>(Append(odd, i)) % alignof(TRecordHeader), 0u);
}

TEST(RecordStore, BlocksOfALargeStoreShareChunksAndKeepTheirRecords) {
  TRecordDataList store(kRecordSize, 25, u"DS");
  const int n = 40000;
  for (int i = 1; i <= n; ++i) Append(store, i);
  const auto& blocks = store.Blocks();
  size_t first_shared = 0, below = 0, shared = 0;
  for (size_t k = 0; k < blocks.size(); ++k) {
    if (below < TRecordDataList::kShareFrom) {
      below += blocks[k].Size;
      first_shared = k + 1;
    } else if (blocks[k].Size < TRecordDataList::kSharedChunk) {
      ++shared;
    }
  }
  ASSERT_GE(shared, 3u) << "the test must reach shared chunks";
  // A block cut from a shared chunk follows the block before it, unless that
  // chunk had no room left for it.
  size_t adjacent = 0;
  for (size_t k = first_shared + 1; k < first_shared + shared; ++k)
    if (blocks[k].Memory == blocks[k - 1].Memory + blocks[k - 1].Size) ++adjacent;
  EXPECT_GE(adjacent, 1u);
  for (int i = 0; i < n; ++i) ASSERT_EQ(Value(store.RecordAt(i)), i + 1);
  size_t block_bytes = 0;
  for (const TRecordBlock& b : blocks) block_bytes += b.Size;
  EXPECT_GE(store.AllocatedBytes(), block_bytes);
  EXPECT_LE(store.AllocatedBytes(), block_bytes + 2 * TRecordDataList::kSharedChunk);
  store.FreeRecords();
  EXPECT_EQ(store.AllocatedBytes(), 0u);
  for (int i = 1; i <= 30; ++i) Append(store, i);  // starts again without sharing
  EXPECT_EQ(store.AllocatedBytes(), store.Blocks()[0].Size + store.Blocks()[1].Size);
}

TEST(RecordStore, OddReadBuffersAndHugeRecordsAreSafe) {
  for (int read_buffer : {0, -1, std::numeric_limits<int>::min(), std::numeric_limits<int>::max() - 1}) {
    if (read_buffer > 1000) continue;  // a block that large is refused below
    TRecordDataList store(kRecordSize, read_buffer, u"DS");
    Append(store, 1);
    Append(store, 2);
    EXPECT_GE(store.Blocks().front().MaxRecords, 1);
    EXPECT_EQ(store.Count(), 2);
  }
  TRecordDataList huge(kRecordSize, std::numeric_limits<int>::max(), u"DS");
  EXPECT_THROW(huge.FirstFreeRecord(), EOutOfResources);
  TRecordDataList wide(std::numeric_limits<size_t>::max() / 4, 25, u"DS");
  EXPECT_THROW(wide.FirstFreeRecord(), EOutOfResources);
}

TEST(RecordStore, RowIdsInlineOrAsCopiesHeldByTheStoreOnly) {
  TRecordDataList store(kRecordSize, 25, u"DS");
  TRecordBuffer shortid = Append(store, 1);
  TRecordBuffer longid = Append(store, 2);
  store.SetRowId(shortid, u"AAAAAAAAAAAAAAAAA");   // 17: inline
  store.SetRowId(longid, u"AAAR0oAAEAAAAAAAAB");   // 18: a separate copy
  EXPECT_EQ(Header(shortid).PRowid, nullptr);
  EXPECT_NE(Header(longid).PRowid, nullptr);
  EXPECT_EQ(RecordRowId(shortid), u"AAAAAAAAAAAAAAAAA");
  EXPECT_EQ(RecordRowId(longid), u"AAAR0oAAEAAAAAAAAB");
  store.SetRowId(longid, u"AAAR0oAAEAAAAAAAACXYZ");  // replaced
  EXPECT_EQ(RecordRowId(longid), u"AAAR0oAAEAAAAAAAACXYZ");
  store.Blobs(longid).BlobByField(nullptr).Bytes = "long value";
  EXPECT_EQ(&store.Blobs(longid), Header(longid).BlobList);

  // A copy owns neither; writing a copy back keeps the record's own.
  std::vector<uint8_t> copy(kRecordSize);
  CopyToBuffer(longid, copy.data(), kRecordSize);
  EXPECT_EQ(Header(copy.data()).PRowid, nullptr);
  EXPECT_EQ(Header(copy.data()).BlobList, nullptr);
  EXPECT_EQ(Header(copy.data()).Bookmark, 2);
  int32_t changed = 99;
  std::memcpy(DataArea(copy.data()), &changed, sizeof changed);
  Char* own = Header(longid).PRowid;
  CopyIntoRecord(copy.data(), longid, kRecordSize);
  EXPECT_EQ(Value(longid), 99);
  EXPECT_EQ(Header(longid).PRowid, own);
  EXPECT_EQ(RecordRowId(longid), u"AAAR0oAAEAAAAAAAACXYZ");
  EXPECT_EQ(Header(longid).BlobList->FindBlob(nullptr)->Bytes, "long value");
  // Deleting frees the record's copies (leaks or double frees show under
  // ASan); FreeRecords frees the rest.
  store.DeleteRecord(1, false);
  EXPECT_EQ(store.Count(), 1);
  store.SetRowId(Append(store, 3), u"AAAR0oAAEAAAAAAAADDD");
  store.FreeRecords();
  EXPECT_EQ(store.Count(), 0);
  EXPECT_TRUE(store.Blocks().empty());
}

TEST(RecordStore, RowIdCopiesSpanChunksAndStayPutAsRecordsGrow) {
  TRecordDataList store(kRecordSize, 25, u"DS");
  std::vector<TRecordBuffer> records;
  for (int i = 0; i < 600; ++i) {  // 600 copies of 21 characters: past one chunk
    records.push_back(Append(store, i));
    store.SetRowId(records.back(), u"AAAR0oAAEAAAAAA" + IntToStr(100000 + i));
  }
  for (int i = 0; i < 600; ++i)
    ASSERT_EQ(RecordRowId(records[static_cast<size_t>(i)]), u"AAAR0oAAEAAAAAA" + IntToStr(100000 + i));
  EXPECT_GE(store.AllocatedBytes(), 600u * 22 * sizeof(Char));
}

TEST(RecordStore, UnidirectionalModeHoldsOneBlockAndNumbersOnAbsolutely) {
  TRecordDataList store(kRecordSize, 4, u"OracleDataSet");
  store.SetUnidirectional(true);
  for (int i = 1; i <= 12; ++i) {
    store.SetRowId(Append(store, i), u"AAAR0oAAEAAAAAAAA" + IntToStr(i));
    EXPECT_LE(store.Count() - store.BlockOffset(), 5);
  }
  EXPECT_EQ(store.Count(), 12);
  EXPECT_EQ(store.BlockOffset(), 10);
  EXPECT_EQ(BlockSizes(store), std::vector<int>{5});
  EXPECT_EQ(Value(store.RecordAt(11)), 12);
  EXPECT_EQ(RecordRowId(store.RecordAt(10)), u"AAAR0oAAEAAAAAAAA11");
  try {
    store.RecordAt(9);
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"OracleDataSet: Record 9 not accessible in Unidirectional mode");
  }
  EXPECT_EQ(store.RecordAt(12), nullptr);
}

TEST(RecordStore, InsertingAndTheFilteredList) {
  TRecordDataList store(kRecordSize, 25, u"DS");
  TRecordBuffer a = Append(store, 1);
  TRecordBuffer c = Append(store, 3);
  TRecordBuffer b = store.FirstFreeRecord();
  std::memcpy(DataArea(b), &(const int32_t&)2, 4);
  EXPECT_EQ(store.NewRecord(1, false, 7), b);
  EXPECT_EQ(Header(b).MasterBookmark, 7);
  EXPECT_EQ(Value(store.DataAt(1)), 2);
  store.AddToFilteredList(c, true);
  store.AddToFilteredList(a, false);  // goes before c, which follows it
  store.SetFiltered(true);
  EXPECT_EQ(store.RecordCount(), 2);
  EXPECT_EQ(store.RecordAt(0), a);
  EXPECT_EQ(store.RecordAt(1), c);
  EXPECT_EQ(store.DataIndex(1), 2);
  EXPECT_EQ(store.DataIndex(5), 3);  // past the end: Count
  EXPECT_EQ(store.FilteredIndex(1), -1);
  EXPECT_EQ(store.FilteredIndex(2), 1);
  store.DeleteRecord(2, true);
  EXPECT_EQ(store.RecordCount(), 1);
  EXPECT_EQ(store.Count(), 2);
}

}  // namespace
}  // namespace kavo::test
