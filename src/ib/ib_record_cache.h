// TIBRecordCache: the rows a record set holds, as record buffers of one
// size, grown a chunk of records at a time. Records never move once placed,
// so a pointer to one stays valid until Clear.
#ifndef KAVO_IB_IB_RECORD_CACHE_H_
#define KAVO_IB_IB_RECORD_CACHE_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kavo {

class TIBRecordCache {
 public:
  // Records of `record_size` bytes, `chunk` (at least 1) per growth step. A
  // ring cache has room for `chunk` records only and reuses them in turn
  // (a one-way record set keeps its last records).
  void Reset(size_t record_size, int chunk, bool ring);
  void Clear();
  bool Empty() const { return chunks_.empty(); }

  // Makes room up to `position`; false when the size overflows or the
  // memory cannot be had.
  bool Reserve(int position);
  // The record at `position`, which must be reserved. Inline: asked for
  // every record read or written.
  uint8_t* At(int position) const {
    size_t index = static_cast<size_t>(position);
    if (ring_) index %= static_cast<size_t>(chunk_);
    const size_t chunk = ring_ ? 0 : index / static_cast<size_t>(chunk_);
    const size_t slot = ring_ ? index : index % static_cast<size_t>(chunk_);
    return chunks_.at(chunk).get() + slot * (record_size_ == 0 ? 1 : record_size_);
  }
  int Capacity() const;

 private:
  size_t record_size_ = 0;
  size_t chunk_bytes_ = 0;
  int chunk_ = 1;
  bool ring_ = false;
  std::vector<std::unique_ptr<uint8_t[]>> chunks_;
};

}  // namespace kavo

#endif  // KAVO_IB_IB_RECORD_CACHE_H_
