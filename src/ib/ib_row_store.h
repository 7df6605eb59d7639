// RowStore: the records a Firebird record set holds, and the only place
// that allocates and frees them. Records are laid out by TIBRecordLayout
// (ib_record_buffer.h) and kept in chunks that never move, so a pointer to
// a record stays valid until the store is reset or cleared. Under cached
// updates the store also keeps each changed record's original, for the
// OLD_ parameters and for taking the change back.
#ifndef KAVO_IB_IB_ROW_STORE_H_
#define KAVO_IB_IB_ROW_STORE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "ib/ib_record_buffer.h"
#include "ib/ib_record_cache.h"

namespace kavo {

class TComponent;

namespace ib_engine {

class RowStore {
 public:
  // `owner` is named by "Record buffer too large".
  explicit RowStore(TComponent* owner) : owner_(owner) {}

  // Lays records out for `columns` (see TIBRecordLayout::Build) and holds
  // none; a one-way store keeps only its last `chunk` records.
  void Reset(TIBXSQLDA& columns, const std::vector<int>& calc_sizes, int db_key_column,
             int chunk, bool one_way, bool keep_originals);
  // Frees every record.
  void Clear();

  const TIBRecordLayout& Layout() const { return layout_; }
  size_t RecordSize() const { return layout_.BufferSize(); }
  int Count() const { return count_; }
  int Deleted() const { return deleted_; }
  void CountDeleted(int change) { deleted_ += change; }
  // Inline: asked for every record read.
  bool Visible(int position, bool one_way) const {
    if (position < 0 || position >= count_) return false;
    if (one_way && position < count_ - 2) return false;
    const TIBRecordHeader& h = TIBRecordLayout::Header(records_.At(position));
    return h.update_status != usDeleted && h.cached_update_status != cusDeleted &&
           h.cached_update_status != cusUninserted;
  }

  // A record with every column NULL.
  void Blank(uint8_t* buffer) const;
  // A blank record to insert, numbered as none of the store's; its data
  // area is left as it was.
  void InitRecord(uint8_t* buffer) const;
  uint8_t* At(int position) const { return records_.At(position); }
  // Whether `position` names a record the store has room for.
  bool Holds(int position) const {
    return position >= 0 && !records_.Empty() && position < records_.Capacity();
  }
  // The room for the next record, as it was left; it counts once Added
  // says so (a row that fails half-way is never counted).
  uint8_t* Next();
  void Added() { ++count_; }

  // Cached updates: keeps the record at `position` as it is, before its
  // first change; the original, and putting it back.
  void KeepOriginal(int position);
  uint8_t* Original(int position) const { return originals_.At(position); }
  void RestoreOriginal(int position);
  // The row as the server has it: the original of a changed record under
  // cached updates, else the stored record; `record` itself when the store
  // does not hold it.
  uint8_t* BeforeChange(uint8_t* record, bool cached_updates) const;

 private:
  void Reserve(TIBRecordCache& cache, int position);

  TComponent* owner_;
  TIBRecordLayout layout_;
  std::vector<uint8_t> model_;
  TIBRecordCache records_;
  TIBRecordCache originals_;
  int count_ = 0;
  int deleted_ = 0;
};

}  // namespace ib_engine

}  // namespace kavo

#endif  // KAVO_IB_IB_ROW_STORE_H_
