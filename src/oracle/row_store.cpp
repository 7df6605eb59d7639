#include "oracle/row_store.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "oracle/dataset_messages.h"
#include "rtl/code_page.h"
#include "rtl/exceptions.h"

namespace kavo {

using oracle_engine::RowStore;


RowStore::RowStore(size_t record_size, int read_buffer, String owner_name)
    : record_size_(std::max(record_size, RecInfoSize)),
      // Slots keep every header aligned.
      stride_((record_size_ + alignof(TRecordHeader) - 1) / alignof(TRecordHeader) *
              alignof(TRecordHeader)),
      read_buffer_(read_buffer),
      owner_name_(std::move(owner_name)) {}

RowStore::~RowStore() { FreeRecords(); }

int RowStore::RecordCount() const {
  return filtered_ ? static_cast<int>(filtered_records_.size()) + block_offset_ : Count();
}

void RowStore::AllocateBlock() {
  size_t slots;
  if (unidirectional_ && !blocks_.empty()) {
    slots = static_cast<size_t>(blocks_.front().MaxRecords);
    block_offset_ += static_cast<int>(records_.size());
    extras_.Clear();
    records_.clear();
    filtered_records_.clear();
    FreeBlocks();
    prepared_ = nullptr;
  } else {
    // ReadBuffer may be anything a caller set; a block always has a slot.
    int64_t wanted = static_cast<int64_t>(read_buffer_) + 1;
    slots = std::max<size_t>(records_.size() / 2, wanted > 0 ? static_cast<size_t>(wanted) : 1);
  }
  slots = std::max<size_t>(slots, 1);
  if (slots > static_cast<size_t>(std::numeric_limits<int32_t>::max()) ||
      slots > std::numeric_limits<size_t>::max() / stride_)
    throw EOutOfResources(u"Record store block of " + UIntToStr(slots) + u" records is too large");
  TRecordBlock block;
  block.MaxRecords = static_cast<int32_t>(slots);
  block.Size = slots * stride_;
  // Each slot is cleared when it is handed out (FirstFreeRecord), so the
  // block's pages are touched only as records fill them.
  block.Memory = BlockMemory(block.Size);
  block_bytes_ += block.Size;
  blocks_.push_back(block);
}

uint8_t* RowStore::BlockMemory(size_t size) {
  allocations_.reserve(allocations_.size() + 1);  // no allocation to lose below
  if (size >= kSharedChunk || block_bytes_ < kShareFrom) {
    allocations_.emplace_back(AllocateBlockMemory(size));
    return allocations_.back().get();
  }
  if (chunk_free_ < size) {
    // The rest of the chunk before stays unused: blocks only grow.
    allocations_.emplace_back(AllocateBlockMemory(kSharedChunk));
    chunk_next_ = allocations_.back().get();
    chunk_free_ = kSharedChunk;
  }
  // Sizes are whole strides, so every block keeps its headers aligned.
  uint8_t* memory = chunk_next_;
  chunk_next_ += size;
  chunk_free_ -= size;
  return memory;
}

void RowStore::FreeBlocks() {
  staged_slot_ = nullptr;
  full_records_ = 0;
  packed_runs_.clear();
  last_packed_ = nullptr;
  packed_next_ = nullptr;
  packed_free_ = 0;
  packed_bytes_ = 0;
  blocks_.clear();
  allocations_.clear();
  block_bytes_ = 0;
  chunk_next_ = nullptr;
  chunk_free_ = 0;
}

TRecordBuffer RowStore::FirstFreeRecord(bool clear_data, bool pack) {
  if (blocks_.empty() || blocks_.back().RecordCount >= blocks_.back().MaxRecords) AllocateBlock();
  TRecordBlock& b = blocks_.back();
  TRecordBuffer slot = b.Memory + static_cast<size_t>(b.RecordCount) * stride_;
  staged_slot_ = nullptr;
  if (pack && Packs()) {
    staged_slot_ = slot;
    slot = staging_.data();
  }
  if (clear_data)
    InitRecordBuffer(slot, record_size_);
  else
    InitRecordHeader(slot, record_size_);
  prepared_ = slot;
  return slot;
}

TRecordBuffer RowStore::NewRecord(int position, bool add_to_filtered,
                                         int32_t master_bookmark) {
  // The slot a fetch has just built its record in, else a cleared one.
  bool built = prepared_ != nullptr && !blocks_.empty() &&
               blocks_.back().RecordCount < blocks_.back().MaxRecords &&
               prepared_ == blocks_.back().Memory +
                                static_cast<size_t>(blocks_.back().RecordCount) * stride_;
  TRecordBuffer slot = built ? prepared_ : FirstFreeRecord();
  prepared_ = nullptr;
  staged_slot_ = nullptr;
  ++blocks_.back().RecordCount;
  ++full_records_;
  Header(slot).MasterBookmark = master_bookmark;
  auto insert_at = [&](TRecordList& list, int pos) {
    int local = pos - block_offset_;
    if (pos < 0 || local < 0 || local >= static_cast<int>(list.size()))
      list.push_back(slot);
    else
      list.insert(list.begin() + local, slot);
  };
  if (add_to_filtered) {
    // The position counts in the filtered list: the record goes before the
    // record that stands there now.
    int data_pos = position < 0 ? -1 : DataIndex(position);
    insert_at(records_, data_pos);
    insert_at(filtered_records_, position);
  } else {
    insert_at(records_, position);
  }
  return slot;
}

TRecordBuffer RowStore::AppendPrepared() {
  if (prepared_ == nullptr) return NewRecord(-1, false, -1);
  if (staged_slot_ != nullptr && prepared_ == staging_.data()) return PackPrepared();
  TRecordBuffer slot = prepared_;
  prepared_ = nullptr;
  ++blocks_.back().RecordCount;
  ++full_records_;
  Header(slot).MasterBookmark = -1;
  records_.push_back(slot);
  return slot;
}

namespace {

constexpr size_t kRecordAlign = alignof(TRecordHeader);
size_t Aligned(size_t n) { return (n + kRecordAlign - 1) / kRecordAlign * kRecordAlign; }
// A packed record: its header, the slot reserved for it, the packed data.
constexpr size_t kPackedHead = RecInfoSize + sizeof(TRecordBuffer);
constexpr size_t kFirstRun = size_t{64} << 10;

}  // namespace

TRecordBuffer RowStore::PackPrepared() {
  const size_t most = Aligned(kPackedHead + packing_.MaxPackedSize());
  if (packed_free_ < most) {
    // Small runs first; past kShareFrom, whole huge pages, as for blocks.
    size_t size = std::max(most, packed_bytes_ < kShareFrom ? kFirstRun : kSharedChunk);
    if (size > kSharedChunk) size = (size + kSharedChunk - 1) / kSharedChunk * kSharedChunk;
    packed_runs_.reserve(packed_runs_.size() + 1);
    packed_runs_.emplace_back(AllocateBlockMemory(size));
    packed_next_ = packed_runs_.back().get();
    packed_free_ = size;
  }
  TRecordBuffer record = packed_next_;
  std::memcpy(record, staging_.data(), RecInfoSize);
  std::memcpy(record + RecInfoSize, &staged_slot_, sizeof staged_slot_);
  const size_t n = packing_.Pack(DataArea(staging_.data()), record + kPackedHead);
  const size_t used = Aligned(kPackedHead + n);
  packed_next_ += used;
  packed_free_ -= used;
  packed_bytes_ += used;
  TRecordHeader& h = Header(record);
  h.ArraySize = -1 - static_cast<int32_t>(n);
  h.MasterBookmark = -1;
  prepared_ = nullptr;
  staged_slot_ = nullptr;
  ++blocks_.back().RecordCount;
  records_.push_back(record);
  last_packed_ = record;
  return record;
}

void RowStore::SetRowIdAscii(TRecordBuffer record, const char* rowid, size_t length) {
  const size_t bytes = Aligned((length + 1) * sizeof(Char));
  if (record != last_packed_ || length <= kInlineRowIdLength || packed_free_ < bytes) {
    extras_.SetRowIdAscii(record, rowid, length);
    return;
  }
  // Freed with the run, as the record is; a later SetRowId puts a copy in
  // the extras as for any record.
  auto* copy = reinterpret_cast<Char*>(packed_next_);
  WidenBytes(rowid, length, copy);
  copy[length] = 0;
  TRecordHeader& h = Header(record);
  std::fill(std::begin(h.RowId), std::end(h.RowId), Char(0));
  h.PRowid = copy;
  packed_next_ += bytes;
  packed_free_ -= bytes;
  packed_bytes_ += bytes;
  last_packed_ = nullptr;
}

void RowStore::UnpackInto(const uint8_t* packed, TRecordBuffer out) const {
  std::memcpy(out, packed, RecInfoSize);
  Header(out).ArraySize = static_cast<int32_t>(record_size_ - RecInfoSize);
  packing_.Unpack(packed + kPackedHead, DataArea(out));
}

TRecordBuffer RowStore::Unpacked(TRecordBuffer& entry) const {
  const TRecordBuffer packed = entry;
  TRecordBuffer slot;
  std::memcpy(&slot, packed + RecInfoSize, sizeof slot);
  UnpackInto(packed, slot);
  entry = slot;
  std::replace(filtered_records_.begin(), filtered_records_.end(), packed, slot);
  ++full_records_;
  return slot;
}

void RowStore::SetPacking(const TRecordPacking& packing) {
  packing_ = packing;
  staging_.assign(packing_.Packs() ? record_size_ : 0, 0);
}

const uint8_t* RowStore::View(int index, std::vector<uint8_t>& room) const {
  const uint8_t* record = Visible(index);
  if (record == nullptr || !IsPacked(record)) return record;
  room.resize(record_size_);
  UnpackInto(record, room.data());
  return room.data();
}

bool RowStore::CopyOut(int index, TRecordBuffer buffer) const {
  const uint8_t* record = Visible(index);
  if (record == nullptr) return false;
  if (!IsPacked(record)) {
    CopyToBuffer(record, buffer, record_size_);
    return true;
  }
  UnpackInto(record, buffer);
  // A copy points at nothing, as CopyToBuffer leaves it.
  Header(buffer).PRowid = nullptr;
  Header(buffer).BlobList = nullptr;
  return true;
}

void RowStore::DeleteRecord(int index, bool from_filtered) {
  CheckAccessible(index);
  size_t local = static_cast<size_t>(index - block_offset_);
  if (local >= records_.size()) return;
  TRecordBuffer r = records_[local];
  extras_.Release(r);
  records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(local));
  if (from_filtered)
    filtered_records_.erase(std::remove(filtered_records_.begin(), filtered_records_.end(), r),
                            filtered_records_.end());
}

void RowStore::CheckAccessible(int index) const {
  if (index >= 0 && index < block_offset_)
    throw Exception(owner_name_ + u": Record " + IntToStr(index) + SUnidirectional);
}

const uint8_t* RowStore::Visible(int index) const {
  CheckAccessible(index);
  const TRecordList& list = filtered_ ? filtered_records_ : records_;
  int local = index - block_offset_;
  if (index < 0 || local >= static_cast<int>(list.size())) return nullptr;
  return list[static_cast<size_t>(local)];
}

TRecordBuffer RowStore::PeekAt(int index) const { return const_cast<TRecordBuffer>(Visible(index)); }

TRecordBuffer RowStore::RecordAt(int index) const {
  if (!filtered_) return DataAt(index);
  TRecordBuffer record = PeekAt(index);
  if (record == nullptr || !IsPacked(record)) return record;
  auto it = std::find(records_.begin(), records_.end(), record);
  // A filtered record is always in RecordList too; the copy is only a guard.
  return it != records_.end() ? Unpacked(*it) : Unpacked(record);
}

TRecordBuffer RowStore::DataAt(int index) const {
  CheckAccessible(index);
  int local = index - block_offset_;
  if (index < 0 || local >= static_cast<int>(records_.size())) return nullptr;
  TRecordBuffer& entry = records_[static_cast<size_t>(local)];
  return IsPacked(entry) ? Unpacked(entry) : entry;
}

int RowStore::DataIndex(int filtered_index) const {
  int local = filtered_index - block_offset_;
  if (local < 0) return filtered_index;
  if (local >= static_cast<int>(filtered_records_.size())) return Count();
  auto it = std::find(records_.begin(), records_.end(), filtered_records_[static_cast<size_t>(local)]);
  return static_cast<int>(it - records_.begin()) + block_offset_;
}

int RowStore::FilteredIndex(int data_index) const {
  int local = data_index - block_offset_;
  if (local < 0 || local >= static_cast<int>(records_.size())) return -1;
  auto it = std::find(filtered_records_.begin(), filtered_records_.end(),
                      records_[static_cast<size_t>(local)]);
  if (it == filtered_records_.end()) return -1;
  return static_cast<int>(it - filtered_records_.begin()) + block_offset_;
}

void RowStore::AddToFilteredList(TRecordBuffer record, bool at_end) {
  if (at_end) {
    filtered_records_.push_back(record);
    return;
  }
  // Before the first filtered record that comes after it in record order.
  auto pos = std::find(records_.begin(), records_.end(), record);
  for (auto it = filtered_records_.begin(); it != filtered_records_.end(); ++it) {
    if (std::find(records_.begin(), pos, *it) == pos) {
      filtered_records_.insert(it, record);
      return;
    }
  }
  filtered_records_.push_back(record);
}

void RowStore::FreeRecords() {
  prepared_ = nullptr;
  extras_.Clear();
  records_.clear();
  filtered_records_.clear();
  FreeBlocks();
}

size_t RowStore::AllocatedBytes() const {
  return full_records_ * stride_ + packed_bytes_ + extras_.Bytes();
}

}  // namespace kavo
