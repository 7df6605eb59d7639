#include "ib/ib_row_store.h"

#include <algorithm>
#include <cstring>

#include "ib/ib_xsqlda.h"
#include "recordset/database_error.h"

namespace kavo {

using ib_engine::RowStore;

using L = TIBRecordLayout;

void RowStore::Reset(TIBXSQLDA& columns, const std::vector<int>& calc_sizes, int db_key_column,
                     int chunk, bool one_way, bool keep_originals) {
  Clear();
  // More than 4 places stay a packed decimal also under a float field: a
  // double cannot hold 18 digits, and an edit of another column would write
  // the rounded number back.
  const std::vector<bool> as_float(static_cast<size_t>(std::max(columns.Count(), 0)), false);
  if (!layout_.Build(columns, as_float, calc_sizes, db_key_column))
    DatabaseError(u"Record buffer too large", owner_);
  model_.assign(layout_.BufferSize(), 0);
  layout_.InitModel(model_.data());
  records_.Reset(layout_.BufferSize(), chunk, one_way);
  Reserve(records_, 0);
  originals_.Reset(layout_.BufferSize(), chunk, one_way);
  if (keep_originals) Reserve(originals_, 0);
}

void RowStore::Clear() {
  records_.Clear();
  originals_.Clear();
  model_.clear();
  count_ = 0;
  deleted_ = 0;
}

void RowStore::Reserve(TIBRecordCache& cache, int position) {
  if (!cache.Reserve(position)) DatabaseError(u"Record buffer too large", owner_);
}


void RowStore::Blank(uint8_t* buffer) const {
  if (model_.empty()) return;
  // Every slot of the model is NULL: its header, slots and calculated
  // fields are all there is to copy.
  layout_.CopyRecord(buffer, model_.data());
}

void RowStore::InitRecord(uint8_t* buffer) const {
  // Header and slots only: a NULL slot's data is never read, and a value
  // written later sets what it uses. The data area is most of a record.
  std::memcpy(buffer, model_.data(), std::min(model_.size(), layout_.HeadSize()));
  TIBRecordHeader& h = L::Header(buffer);
  h.update_status = usInserted;
  h.cached_update_status = cusUnmodified;
  h.record_number = -1;
}

uint8_t* RowStore::Next() {
  if (!Holds(count_)) Reserve(records_, count_);
  return records_.At(count_);
}

void RowStore::KeepOriginal(int position) {
  Reserve(originals_, position);
  layout_.CopyRecord(originals_.At(position), records_.At(position));
}

void RowStore::RestoreOriginal(int position) {
  layout_.CopyRecord(records_.At(position), originals_.At(position));
  L::Header(records_.At(position)).record_number = position;
}

uint8_t* RowStore::BeforeChange(uint8_t* record, bool cached_updates) const {
  const int position = L::Header(record).record_number;
  if (!Holds(position)) return record;
  uint8_t* stored = records_.At(position);
  const uint8_t status = L::Header(stored).cached_update_status;
  if (cached_updates && (status == cusModified || status == cusDeleted) &&
      position < originals_.Capacity())
    return originals_.At(position);
  return stored;
}

}  // namespace kavo
