// TIBCustomDataSet: blob and memo values. A blob is read from the server
// when a stream over it is made; a written value waits in the record set
// until Post creates its server blob, so a cancelled edit writes nothing.
#include <cstring>

#include "ib/ib_blob.h"
#include "ib/ib_character_set.h"
#include "ib/ib_dataset.h"
#include "ib/ib_errors.h"
#include "recordset/blob_fields.h"
#include "recordset/database_error.h"
#include "rtl/format.h"

namespace kavo {

namespace {

using L = TIBRecordLayout;

// A memo's stream carries UTF-16 units; a blob's, the server's bytes.
bool CarriesText(const TField* field) {
  return field->DataType() == ftMemo || field->DataType() == ftWideMemo;
}

bool IsBlobSlot(const TIBFieldSlot& slot) { return slot.sql_type == SQL_BLOB; }

}  // namespace

bool TIBCustomDataSet::HasPendingBlob(const TField* field, int column) const {
  if (State() != dsEdit && State() != dsInsert) return false;
  auto it = pending_blobs_.find(column);
  return it != pending_blobs_.end() && it->second.field == field;
}

std::vector<uint8_t> TIBCustomDataSet::StoredBlobValue(const TField* field, uint8_t* record,
                                                       int column) {
  const TIBFieldSlot& slot = L::Slot(record, column);
  if (slot.is_null) return {};
  ISC_QUAD id{};
  std::memcpy(&id, L::Data(record, slot), std::min<size_t>(sizeof id, slot.data_size));
  const std::string bytes = ReadBlob(*Database(), Transaction(), id);
  if (!CarriesText(field)) return std::vector<uint8_t>(bytes.begin(), bytes.end());
  const String text = DecodeText(bytes, Database()->CharacterSetInfo());
  const auto* units = reinterpret_cast<const uint8_t*>(text.data());
  return std::vector<uint8_t>(units, units + text.size() * sizeof(Char));
}

std::unique_ptr<TStream> TIBCustomDataSet::CreateBlobStream(TField* field,
                                                            TBlobStreamMode mode) {
  // A search reads the stored record it looks at, as GetFieldData does.
  const bool searching = search_record_ != nullptr;
  uint8_t* record = searching ? search_record_ : ActiveBuffer();
  // The value before the current change: the row as the server has it.
  if (!searching && record != nullptr && State() == dsOldValue)
    record = store_.BeforeChange(record, cached_updates_);
  const int column = field != nullptr && open_ && record != nullptr ? ColumnOf(field) : -1;
  if (column < 0 || !IsBlobSlot(L::Slot(record, column)))
    return TDataSet::CreateBlobStream(field, mode);
  if (mode != bmRead) {
    if (searching) IBError(ibceNotEditing);
    CheckEditState();
    if (!field->CanModify())
      DatabaseError(Format(u"Field '%s' cannot be modified", {field->FieldName()}), this);
  }
  std::vector<uint8_t> value;
  if (mode != bmWrite)
    value = !searching && HasPendingBlob(field, column) ? pending_blobs_[column].bytes
                                          : StoredBlobValue(field, record, column);
  return std::make_unique<TBlobDataStream>(
      *this, field, mode, std::move(value), [this, field, column](std::vector<uint8_t>&& bytes) {
        // Streams are finished at Post or let go when the edit ends, so one
        // arriving outside an edit has lost its record: say so.
        if (State() != dsEdit && State() != dsInsert) IBError(ibceNotEditing);
        pending_blobs_[column] = PendingBlob{field, std::move(bytes)};
        L::Header(ActiveBuffer()).update_status = State() == dsInsert ? usInserted : usModified;
      });
}

void TIBCustomDataSet::WritePendingBlobs(uint8_t* record) {
  if (pending_blobs_.empty()) return;
  // Every text is checked before any blob is made.
  std::map<int, std::string> encoded;
  for (const auto& [column, pending] : pending_blobs_) {
    std::string& bytes = encoded[column];
    if (CarriesText(pending.field)) {
      StringView text(reinterpret_cast<const Char*>(pending.bytes.data()),
                      pending.bytes.size() / sizeof(Char));
      EncodeValueInto(text, Database()->CharacterSetInfo(), bytes, u"Field",
                      pending.field->FieldName());
    } else {
      bytes.assign(pending.bytes.begin(), pending.bytes.end());
    }
  }
  for (const auto& [column, bytes] : encoded) {
    const ISC_QUAD id = WriteBlob(*Database(), Transaction(), bytes);
    TIBFieldSlot& slot = L::Slot(record, column);
    std::memcpy(L::Data(record, slot), &id, std::min<size_t>(sizeof id, slot.data_size));
    slot.is_null = 0;
    slot.data_length = slot.data_size;
    slot.from_server = 0;
  }
  pending_blobs_.clear();
}

}  // namespace kavo
