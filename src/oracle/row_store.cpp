#include "oracle/row_store.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "oracle/dataset_messages.h"
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
    allocated_ += size;
    return allocations_.back().get();
  }
  if (chunk_free_ < size) {
    // The rest of the chunk before stays unused: blocks only grow.
    allocations_.emplace_back(AllocateBlockMemory(kSharedChunk));
    allocated_ += kSharedChunk;
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
  blocks_.clear();
  allocations_.clear();
  allocated_ = 0;
  block_bytes_ = 0;
  chunk_next_ = nullptr;
  chunk_free_ = 0;
}

TRecordBuffer RowStore::FirstFreeRecord(bool clear_data) {
  if (blocks_.empty() || blocks_.back().RecordCount >= blocks_.back().MaxRecords) AllocateBlock();
  TRecordBlock& b = blocks_.back();
  TRecordBuffer slot = b.Memory + static_cast<size_t>(b.RecordCount) * stride_;
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
  ++blocks_.back().RecordCount;
  Header(slot).MasterBookmark = master_bookmark;
  auto insert_at = [&](std::vector<TRecordBuffer>& list, int pos) {
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
  TRecordBuffer slot = prepared_;
  prepared_ = nullptr;
  ++blocks_.back().RecordCount;
  Header(slot).MasterBookmark = -1;
  records_.push_back(slot);
  return slot;
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

TRecordBuffer RowStore::RecordAt(int index) const {
  if (!filtered_) return DataAt(index);
  CheckAccessible(index);
  int local = index - block_offset_;
  if (index < 0 || local >= static_cast<int>(filtered_records_.size())) return nullptr;
  return filtered_records_[static_cast<size_t>(local)];
}

TRecordBuffer RowStore::DataAt(int index) const {
  CheckAccessible(index);
  int local = index - block_offset_;
  if (index < 0 || local >= static_cast<int>(records_.size())) return nullptr;
  return records_[static_cast<size_t>(local)];
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

void RowStore::CopyData(const uint8_t* source, TRecordBuffer dest) const {
  std::memcpy(dest, source, record_size_);
}

void RowStore::FreeRecords() {
  prepared_ = nullptr;
  extras_.Clear();
  records_.clear();
  filtered_records_.clear();
  FreeBlocks();
}

size_t RowStore::AllocatedBytes() const {
  return allocated_ + extras_.Bytes();
}

}  // namespace kavo
