// The record store on its own: block growth, ROWIDs inline and as separate
// copies, what frees what, unidirectional discarding, the filtered list.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

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
  store.FreeRecords();
  EXPECT_EQ(store.AllocatedBytes(), 0u);
}

// A record laid out as: a 100-byte text, a double, a 40-character UTF-16
// text, a 2-byte text.
struct PackedLayout {
  static constexpr size_t kData = (1 + 101) + (1 + 8) + (1 + 82) + (1 + 3);
  std::vector<RecordSlot> slots;
  TRecordPacking packing;
  PackedLayout() {
    auto add = [&](SlotForm form, size_t offset, size_t width) {
      RecordSlot s;
      s.form = form;
      s.offset = offset;
      s.width = width;
      slots.push_back(s);
    };
    add(SlotForm::kAnsi, 0, 101);
    add(SlotForm::kFixed, 102, 8);
    add(SlotForm::kUtf16, 111, 82);
    add(SlotForm::kAnsi, 194, 3);
    packing.Build(slots, kData);
  }
  // A record as a fetch builds it, over whatever the buffer held before.
  static void Fill(uint8_t* data, int i) {
    std::memset(data, 0x5A, kData);  // what an earlier row left
    const std::string text(static_cast<size_t>(i % 101), static_cast<char>('a' + i % 26));
    data[0] = i % 7 == 0 ? 1 : 0;  // some nulls
    if (data[0] == 0) std::memcpy(data + 1, text.c_str(), text.size() + 1);
    data[102] = 0;
    const double d = i * 1.5;
    std::memcpy(data + 103, &d, sizeof d);
    data[111] = i % 5 == 0 ? 1 : 0;
    const std::u16string wide(static_cast<size_t>(i % 41), u'\u00e7');
    if (data[111] == 0) std::memcpy(data + 112, wide.c_str(), (wide.size() + 1) * sizeof(Char));
    data[194] = 0;
    std::memcpy(data + 195, "ok", 3);
  }
  // The same record as a full-width store holds it: what follows a text's end
  // and a null's value are zeros.
  static std::vector<uint8_t> Expected(int i) {
    std::vector<uint8_t> data(kData, 0x5A);
    Fill(data.data(), i);
    auto clear = [&](size_t value, size_t width, size_t used) {
      std::fill(data.begin() + static_cast<std::ptrdiff_t>(value + used),
                data.begin() + static_cast<std::ptrdiff_t>(value + width), 0);
    };
    clear(1, 101, data[0] == 1 ? 0 : static_cast<size_t>(i % 101));
    clear(112, 82, data[111] == 1 ? 0 : static_cast<size_t>(i % 41) * sizeof(Char));
    return data;
  }
};

TEST(RecordStore, FetchedRecordsAreKeptPackedAndUnpackedForGoodWhenReadInPlace) {
  PackedLayout layout;
  ASSERT_TRUE(layout.packing.Packs());
  const size_t size = RecInfoSize + PackedLayout::kData;
  TRecordDataList store(size, 25, u"DS");
  store.SetPacking(layout.packing);
  const int n = 300;
  for (int i = 0; i < n; ++i) {
    TRecordBuffer staged = store.FirstFreeRecord(false, true);
    PackedLayout::Fill(DataArea(staged), i);
    TRecordBuffer kept = store.AppendPrepared();
    ASSERT_TRUE(TRecordDataList::IsPacked(kept));
    Header(kept).Bookmark = i + 1;
    // A copy the store holds: beside a packed record, or among the extras.
    const std::string rowid = "AAAR0oAAEAAAAAA" + std::to_string(1000 + i);
    if (i % 2 == 0)
      store.SetRowIdAscii(kept, rowid.c_str(), rowid.size());
    else
      store.SetRowId(kept, AsciiToString(rowid));
  }
  EXPECT_EQ(store.Count(), n);
  EXPECT_LT(store.AllocatedBytes(), static_cast<size_t>(n) * size);  // ROWID copies included
  std::vector<uint8_t> buffer(size), room;
  for (int i = 0; i < n; ++i) {
    ASSERT_TRUE(store.CopyOut(i, buffer.data()));
    ASSERT_EQ(std::vector<uint8_t>(DataArea(buffer.data()), buffer.data() + size), PackedLayout::Expected(i)) << i;
    EXPECT_EQ(Header(buffer.data()).Bookmark, i + 1);
    EXPECT_EQ(Header(buffer.data()).PRowid, nullptr);  // a copy owns nothing
    const uint8_t* view = store.View(i, room);
    ASSERT_EQ(std::vector<uint8_t>(DataArea(view), view + size), PackedLayout::Expected(i));
    EXPECT_EQ(RecordRowId(view), u"AAAR0oAAEAAAAAA" + IntToStr(1000 + i));
  }
  EXPECT_FALSE(store.CopyOut(n, buffer.data()));

  // Read in place, a record is unpacked into its slot once and stays there,
  // in the filtered list too; the others stay packed.
  TRecordBuffer packed = store.PeekAt(7);
  store.AddToFilteredList(packed, true);
  store.AddToFilteredList(store.PeekAt(8), true);
  TRecordBuffer full = store.DataAt(7);
  EXPECT_NE(full, packed);
  EXPECT_FALSE(TRecordDataList::IsPacked(full));
  EXPECT_EQ(store.DataAt(7), full);
  EXPECT_EQ(std::vector<uint8_t>(DataArea(full), full + size), PackedLayout::Expected(7));
  EXPECT_EQ(Header(full).Bookmark, 8);
  EXPECT_EQ(RecordRowId(full), u"AAAR0oAAEAAAAAA1007");
  EXPECT_EQ(RecordRowId(store.DataAt(6)), u"AAAR0oAAEAAAAAA1006");
  store.SetRowId(store.PeekAt(10), u"AAAR0oAAEAAAAAAXYZ");  // replaced later
  EXPECT_EQ(RecordRowId(store.PeekAt(10)), u"AAAR0oAAEAAAAAAXYZ");
  EXPECT_TRUE(TRecordDataList::IsPacked(store.PeekAt(8)));
  store.SetFiltered(true);
  EXPECT_EQ(store.RecordAt(0), full);
  TRecordBuffer eighth = store.RecordAt(1);
  EXPECT_FALSE(TRecordDataList::IsPacked(eighth));
  EXPECT_EQ(store.DataAt(8), eighth);
  store.SetFiltered(false);
  // Deleting a packed record frees its ROWID copy like any other (ASan).
  store.DeleteRecord(9, false);
  EXPECT_EQ(store.Count(), n - 1);
  // A unidirectional store never packs: it holds a block's worth at most.
  TRecordDataList one_way(size, 25, u"DS");
  one_way.SetPacking(layout.packing);
  one_way.SetUnidirectional(true);
  EXPECT_FALSE(one_way.Packs());
  TRecordBuffer in_place = one_way.FirstFreeRecord(false, true);
  EXPECT_EQ(one_way.AppendPrepared(), in_place);
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
