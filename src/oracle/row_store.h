// RowStore (TRecordDataList): the record store of the Oracle record set.
// Every record has a slot in a pre-allocated block; a full-width record is
// built in place there and never moves (a packed one, below, moves there
// once when it is read in place). RecordList orders them. The store
// also holds what its records' headers point at (ROWID copies, blob lists):
// records are only ever given those through it. Record numbers are absolute, counted
// from 0.
//
// Growth: a new block has room for the larger of half the records held and
// ReadBuffer + 1 (26, 26, 26, 39, 58 ... for a ReadBuffer of 25), at least
// one. In unidirectional mode a new block first discards every record held:
// BlockOffset grows by their number and the new block has the first block's
// size, so at most ReadBuffer + 1 records are held at any time.
//
// Memory: a store past kShareFrom bytes cuts its blocks under kSharedChunk
// from shared chunks of that size, which the system gives in huge pages:
// where each block had its own allocation, filling a large store cost a
// page fault per 4 KB of its first megabytes, the dearest part of an open.
// Small stores keep one plain allocation a block.
//
// Packed records: given a packing (SetPacking), a fetch may append its
// record packed (TRecordPacking) into a separate run of memory, and the
// record's slot in its block stays reserved and untouched, so the block's
// pages are never filled. Record numbering and block growth are the same
// either way. A packed record is read whole by CopyOut; RecordAt and DataAt,
// whose callers read and write a record in place, first unpack it into its
// slot for good (its pointer changes once, in both lists). PeekAt gives the
// record as it is, for its header alone.
#ifndef KAVO_ORACLE_ROW_STORE_H_
#define KAVO_ORACLE_ROW_STORE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "oracle/record_data.h"
#include "oracle/record_packing.h"
#include "rtl/ustring.h"

namespace kavo {

// The memory of a block, from the system's backend (posix/, win32/): on Linux
// large ones are asked for in huge pages, so that filling them costs a few
// page faults instead of one per 4 KB.
uint8_t* AllocateBlockMemory(size_t size);
struct TBlockMemoryDeleter {
  void operator()(uint8_t* p) const;
};

// A store's memory past kHugeFrom bytes comes in whole huge pages.
inline constexpr size_t kHugePage = size_t{2} << 20;
inline constexpr size_t kHugeFrom = size_t{256} << 10;

// The record lists' memory: from kHugeFrom on in whole huge pages, as the
// blocks, so that the list of a large store does not fault 4 KB at a time
// each time it grows.
template <class T>
struct TRecordListAllocator {
  using value_type = T;
  TRecordListAllocator() = default;
  template <class U>
  TRecordListAllocator(const TRecordListAllocator<U>&) {}
  T* allocate(size_t n) {
    const size_t bytes = n * sizeof(T);
    if (bytes < kHugeFrom) return static_cast<T*>(::operator new(bytes));
    return reinterpret_cast<T*>(AllocateBlockMemory((bytes + kHugePage - 1) / kHugePage * kHugePage));
  }
  void deallocate(T* p, size_t n) {
    if (n * sizeof(T) < kHugeFrom)
      ::operator delete(p);
    else
      TBlockMemoryDeleter()(reinterpret_cast<uint8_t*>(p));
  }
  friend bool operator==(const TRecordListAllocator&, const TRecordListAllocator&) { return true; }
};
using TRecordList = std::vector<TRecordBuffer, TRecordListAllocator<TRecordBuffer>>;

struct TRecordBlock {
  int32_t MaxRecords = 0;   // slots
  int32_t RecordCount = 0;  // slots handed out
  size_t Size = 0;          // bytes of the block; a slot is zeroed when handed out
  uint8_t* Memory = nullptr;  // in an allocation the store holds
};

namespace oracle_engine {

class RowStore {
 public:
  // `record_size` includes the header; `owner_name` prefixes the
  // unidirectional error.
  RowStore(size_t record_size, int read_buffer, String owner_name);
  ~RowStore();
  RowStore(const RowStore&) = delete;
  RowStore& operator=(const RowStore&) = delete;

  size_t RecordSize() const { return record_size_; }
  bool Unidirectional() const { return unidirectional_; }
  void SetUnidirectional(bool v) { unidirectional_ = v; }
  int BlockOffset() const { return block_offset_; }
  // While filtered, RecordAt and RecordCount use the filtered list.
  bool Filtered() const { return filtered_; }
  void SetFiltered(bool v) { filtered_ = v; }

  // Records held plus BlockOffset.
  int Count() const { return static_cast<int>(records_.size()) + block_offset_; }
  // The filtered list's length while filtered, else Count.
  int RecordCount() const;

  // The next free slot, cleared, without handing it out: a fetch builds its
  // record there and calls NewRecord only when it keeps it.
  // With `clear_data` false only the header is set up: the caller writes
  // every field of the data area.
  // With `pack` (and a packing that packs, outside unidirectional mode) the
  // record is built in a staging buffer instead, and AppendPrepared keeps it
  // packed.
  TRecordBuffer FirstFreeRecord(bool clear_data = true, bool pack = false);
  // Hands out the free slot (as FirstFreeRecord left it, else cleared) as a
  // record inserted at `position` (appended
  // when negative or not below Count); with `add_to_filtered` the position
  // counts in the filtered list and the record joins it.
  TRecordBuffer NewRecord(int position, bool add_to_filtered, int32_t master_bookmark);
  // The fetch's NewRecord(-1, false, -1): the slot FirstFreeRecord has just
  // prepared becomes the last record.
  TRecordBuffer AppendPrepared();
  // Frees the record's ROWID copy and blob list and removes it from the
  // lists; its slot is not reused.
  void DeleteRecord(int index, bool from_filtered);

  // The index-th visible record (filtered list while filtered) and the
  // index-th record of RecordList. Below BlockOffset raises
  // "<owner>: Record <n> not accessible in Unidirectional mode"; past the end
  // gives null.
  // Unpacking changes where a record is kept, not what it holds: both are
  // const.
  TRecordBuffer RecordAt(int index) const;
  TRecordBuffer DataAt(int index) const;
  // RecordAt without unpacking: only the header may be read or set.
  TRecordBuffer PeekAt(int index) const;
  // The index-th visible record copied into `buffer` as CopyToBuffer copies
  // it; false past the end.
  bool CopyOut(int index, TRecordBuffer buffer) const;
  // The index-th visible record to read in place: itself, or a packed one
  // unpacked into `room` with its header as it is (its ROWID copy and blob
  // list still the store's). Valid until `room` is used again.
  const uint8_t* View(int index, std::vector<uint8_t>& room) const;
  // The packing for fetched records; before the first record.
  void SetPacking(const TRecordPacking& packing);
  bool Packs() const { return packing_.Packs() && !unidirectional_; }
  static bool IsPacked(const uint8_t* record) { return Header(record).ArraySize < 0; }
  // Between the two numberings; a filtered index at or past the end maps to
  // Count.
  int DataIndex(int filtered_index) const;
  int FilteredIndex(int data_index) const;
  void AddToFilteredList(TRecordBuffer record, bool at_end);
  // Empties the filtered list (the records stay).
  void ClearFilteredList() { filtered_records_.clear(); }

  // A stored record's ROWID (inline or a copy the store holds) and blob
  // list (created when missing).
  void SetRowId(TRecordBuffer record, StringView rowid) { extras_.SetRowId(record, rowid); }
  // A fetch's ROWID for the record it has just packed goes beside the record.
  void SetRowIdAscii(TRecordBuffer record, const char* rowid, size_t length);
  TBlobList& Blobs(TRecordBuffer record) { return extras_.Blobs(record); }

  // Frees every record's extras, both lists and every block.
  void FreeRecords();

  // For tests and the store's memory account.
  const std::vector<TRecordBlock>& Blocks() const { return blocks_; }
  // Bytes the records take (a full-width record its slot, a packed one its
  // packed bytes), their ROWID copies and blob values.
  size_t AllocatedBytes() const;

  static constexpr size_t kSharedChunk = kHugePage;
  static constexpr size_t kShareFrom = kHugeFrom;

 private:
  void AllocateBlock();
  uint8_t* BlockMemory(size_t size);
  void FreeBlocks();
  void CheckAccessible(int index) const;
  TRecordBuffer PackPrepared();
  TRecordBuffer Unpacked(TRecordBuffer& entry) const;
  // The packed record's header as it is and its data area unpacked.
  void UnpackInto(const uint8_t* packed, TRecordBuffer out) const;
  const uint8_t* Visible(int index) const;

  size_t record_size_;
  size_t stride_;
  int read_buffer_;
  String owner_name_;
  bool unidirectional_ = false;
  bool filtered_ = false;
  int block_offset_ = 0;
  std::vector<TRecordBlock> blocks_;
  std::vector<std::unique_ptr<uint8_t[], TBlockMemoryDeleter>> allocations_;
  size_t block_bytes_ = 0;  // bytes of blocks_
  uint8_t* chunk_next_ = nullptr;  // the free rest of the last shared chunk
  size_t chunk_free_ = 0;
  mutable size_t full_records_ = 0;  // records kept at full width in their slots
  TRecordPacking packing_;
  std::vector<uint8_t> staging_;  // where a record to be packed is built
  TRecordBuffer staged_slot_ = nullptr;  // the reserved slot of the staged record
  std::vector<std::unique_ptr<uint8_t[], TBlockMemoryDeleter>> packed_runs_;
  TRecordBuffer last_packed_ = nullptr;
  uint8_t* packed_next_ = nullptr;
  size_t packed_free_ = 0;
  size_t packed_bytes_ = 0;
  mutable TRecordList records_;
  mutable TRecordList filtered_records_;
  TRecordBuffer prepared_ = nullptr;  // handed out by FirstFreeRecord, not yet a record
  TRecordExtras extras_;
};

}  // namespace oracle_engine

using TRecordDataList = oracle_engine::RowStore;

}  // namespace kavo

#endif  // KAVO_ORACLE_ROW_STORE_H_
