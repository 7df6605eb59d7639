#include "ib/ib_record_cache.h"

#include <climits>
#include <new>

#include "ib/ib_record_buffer.h"

namespace kavo {

void TIBRecordCache::Reset(size_t record_size, int chunk, bool ring) {
  Clear();
  record_size_ = record_size;
  chunk_ = chunk < 1 ? 1 : chunk;
  ring_ = ring;
}

void TIBRecordCache::Clear() {
  chunks_.clear();
  chunk_bytes_ = 0;
}

int TIBRecordCache::Capacity() const {
  if (ring_) return chunks_.empty() ? 0 : INT_MAX;
  int64_t capacity = static_cast<int64_t>(chunks_.size()) * chunk_;
  return capacity > INT_MAX ? INT_MAX : static_cast<int>(capacity);
}

bool TIBRecordCache::Reserve(int position) {
  // The usual case, a record set adding rows inside its last chunk.
  if (position < 0 || (!ring_ && static_cast<size_t>(position) <
                                     chunks_.size() * static_cast<size_t>(chunk_)))
    return true;
  if (chunk_bytes_ == 0 && !CheckedMul(record_size_ == 0 ? 1 : record_size_,
                                       static_cast<size_t>(chunk_), chunk_bytes_))
    return false;
  try {
    while (position >= Capacity())
      chunks_.push_back(std::make_unique_for_overwrite<uint8_t[]>(chunk_bytes_));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}


}  // namespace kavo
