// TIBCustomDataSet: the record cache, moving through it, and field values.
#include <cstring>
#include <string_view>

#include "ib/ib_dataset.h"
#include "ib/ib_errors.h"
#include "ib/ib_trace_hook.h"
#include "recordset/database_error.h"
#include "rtl/code_page.h"
#include "rtl/code_points.h"
#include "rtl/datetime.h"
#include "rtl/format.h"

namespace kavo {

namespace {

using L = TIBRecordLayout;

bool IsCalc(const TField* f) {
  return f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup;
}

bool IsWideText(const TField* field) {
  return field->DataType() == ftWideString || field->DataType() == ftFixedWideChar;
}

bool IsEmptyText(const TField* field, const void* buffer) {
  switch (field->DataType()) {
    case ftString: case ftFixedChar: return static_cast<const char*>(buffer)[0] == 0;
    case ftWideString: case ftFixedWideChar: return static_cast<const Char*>(buffer)[0] == 0;
    default: return false;
  }
}

// The UTF-16 units of a text field's native value; 0 for other kinds.
size_t NativeTextUnits(const TField* field, const void* native) {
  const size_t size = static_cast<size_t>(std::max(field->GetDataSize(), 0));
  switch (field->DataType()) {
    case ftString: case ftFixedChar: {
      const char* bytes = static_cast<const char*>(native);
      return AnsiToString(std::string_view(bytes, strnlen(bytes, size))).size();
    }
    case ftWideString: case ftFixedWideChar: {
      const Char* text = static_cast<const Char*>(native);
      size_t n = 0;
      while (n < size / 2 && text[n] != 0) ++n;
      return n;
    }
    default:
      return 0;
  }
}

// A date, time or date-time field's value as milliseconds since 0001-01-01,
// as its native form (TDataSet::DataConvert) would store it; false for
// other kinds.
bool DateTimeMilliseconds(TFieldType type, TDateTime value, double& ms) {
  if (type != ftDate && type != ftTime && type != ftDateTime) return false;
  const TTimeStamp ts = DateTimeToTimeStamp(value);
  constexpr double kPerDay = kMSecsPerDay;
  ms = type == ftDate   ? ts.Date * kPerDay
       : type == ftTime ? kTimeOnlyBase + ts.Time
                        : static_cast<double>(ts.Date) * kPerDay + ts.Time;
  return true;
}

// A client error of its own text, reported like every client error.
[[noreturn]] void ConversionError(const String& text) {
  ReportError(text);
  throw EIBClientError(ibceInvalidDataConversion, text);
}

// Every text its column can hold fits its slot; one that does not has
// characters beyond what the column's character set holds per character.
void CheckTextFits(const TIBFieldSlot& slot, size_t units) {
  const size_t room = slot.data_size / 2;
  if (units > room)
    IBError(ibceStringTooLarge, {static_cast<int64_t>(units), static_cast<int64_t>(room)});
}

}  // namespace

// ---- the cache ---------------------------------------------------------------------

void TIBCustomDataSet::FetchAll() {
  CheckActive();
  CheckBrowseMode();
  while (FetchRow()) {
  }
}

void TIBCustomDataSet::InternalLast() {
  while (FetchRow()) {
  }
  current_record_ = store_.Count();
}

TGetResult TIBCustomDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool) {
  const uint8_t* posted = posted_record_;
  posted_record_ = nullptr;
  if (!open_) return mode == gmNext ? grEOF : mode == gmPrior ? grBOF : grError;
  switch (mode) {
    case gmNext: {
      int next = std::max(current_record_, -1) + 1;
      for (;;) {
        if (next < store_.Count()) {
          if (Visible(next)) break;
          ++next;
        } else if (!FetchRow()) {
          current_record_ = store_.Count();
          return grEOF;
        }
      }
      current_record_ = next;
      break;
    }
    case gmPrior: {
      int prior = std::min(current_record_, store_.Count()) - 1;
      while (prior >= 0 && !Visible(prior)) --prior;
      if (prior < 0) {
        current_record_ = -1;
        return grBOF;
      }
      current_record_ = prior;
      break;
    }
    case gmCurrent:
      if (!Visible(current_record_)) return grError;
      break;
  }
  if (buffer != posted || mode != gmCurrent ||
      L::Header(buffer).record_number != current_record_)
    store_.Layout().CopyRecord(buffer, store_.At(current_record_));
  L::Header(buffer).flags = bfCurrent;
  L::Header(buffer).record_number = current_record_;
  GetCalcFields(buffer);
  return grOK;
}

int TIBCustomDataSet::GetRecordCount() {
  CheckActive();
  return store_.Count() - store_.Deleted();
}

int TIBCustomDataSet::GetRecNo() {
  TRecordBuffer rec = ActiveBuffer();
  if (rec == nullptr || State() == dsInsert) return -1;
  return L::Header(rec).record_number + 1;
}

// ---- bookmarks ---------------------------------------------------------------------

void TIBCustomDataSet::GetBookmarkData(TRecordBuffer buffer, void* data) {
  std::memcpy(data, &L::Header(buffer).record_number, sizeof(int32_t));
}

void TIBCustomDataSet::SetBookmarkData(TRecordBuffer buffer, const void* data) {
  std::memcpy(&L::Header(buffer).record_number, data, sizeof(int32_t));
}

TBookmarkFlag TIBCustomDataSet::GetBookmarkFlag(TRecordBuffer buffer) {
  return static_cast<TBookmarkFlag>(L::Header(buffer).flags);
}

void TIBCustomDataSet::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
  L::Header(buffer).flags = static_cast<uint8_t>(flag);
}

void TIBCustomDataSet::InternalGotoBookmark(const void* bookmark) {
  std::memcpy(&current_record_, bookmark, sizeof(int32_t));
}

void TIBCustomDataSet::InternalSetToRecord(TRecordBuffer buffer) {
  current_record_ = L::Header(buffer).record_number;
}

bool TIBCustomDataSet::BookmarkValid(const TBookmark& bookmark) {
  if (!open_ || bookmark.size() != sizeof(int32_t)) return false;
  int32_t position;
  std::memcpy(&position, bookmark.data(), sizeof position);
  return Visible(position);
}

int TIBCustomDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  if (a.size() != sizeof(int32_t) || b.size() != sizeof(int32_t))
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
  int32_t x, y;
  std::memcpy(&x, a.data(), sizeof x);
  std::memcpy(&y, b.data(), sizeof y);
  return x < y ? -1 : x > y ? 1 : 0;
}

// ---- records -------------------------------------------------------------------------

void TIBCustomDataSet::InternalInitRecord(TRecordBuffer buffer) {
  if (!pending_blobs_.empty()) pending_blobs_.clear();
  store_.InitRecord(buffer);
}

void TIBCustomDataSet::ClearCalcFields(TRecordBuffer buffer) {
  const TIBRecordLayout& layout = store_.Layout();
  for (size_t i = 0; i < calc_fields_.size(); ++i) *layout.Calc(buffer, static_cast<int>(i)) = 0;
}

int TIBCustomDataSet::ColumnOf(const TField* field) const {
  int column = field->FieldNo() - 1;
  if (field->FieldKind() == fkInternalCalc)
    for (const auto& [f, c] : internal_calc_columns_)
      if (f == field) column = c;
  if (column < 0 || column >= store_.Layout().ColumnCount() || column == db_key_column_) return -1;
  return column;
}

int TIBCustomDataSet::CalcIndexOf(const TField* field) const {
  for (size_t i = 0; i < calc_fields_.size(); ++i)
    if (calc_fields_[i] == field) return static_cast<int>(i);
  return -1;
}

TUpdateStatus TIBCustomDataSet::UpdateStatus() {
  TRecordBuffer rec = ActiveBuffer();
  if (!cached_updates_ || rec == nullptr) return TDataSet::UpdateStatus();
  switch (L::Header(rec).cached_update_status) {
    case cusModified: return usModified;
    case cusInserted: return usInserted;
    case cusDeleted: return usDeleted;
    default: return State() == dsInsert ? usInserted : usUnmodified;
  }
}

// ---- field values --------------------------------------------------------------------

bool TIBCustomDataSet::GetFieldData(TField* field, void* buffer) {
  TRecordBuffer rec = search_record_ != nullptr ? search_record_ : ActiveBuffer();
  if (rec == nullptr || !open_) return false;
  // The value before the edit: the record's saved copy.
  if (State() == dsOldValue) rec = store_.BeforeChange(rec, cached_updates_);
  if (IsCalc(field)) {
    int index = CalcIndexOf(field);
    if (index < 0) return false;
    const uint8_t* calc = store_.Layout().Calc(rec, index);
    if (calc[0] == 0) return false;
    if (buffer != nullptr) std::memcpy(buffer, calc + 1, static_cast<size_t>(field->GetDataSize()));
    return true;
  }
  int column = ColumnOf(field);
  if (column < 0) return false;
  // A blob written in this edit waits beside the record until Post.
  if (search_record_ == nullptr && field->IsBlob() && HasPendingBlob(field, column)) return true;
  const TIBFieldSlot& slot = L::Slot(rec, column);
  if (slot.is_null) return false;
  // The value stays whole in the record; only this field cannot show it.
  if (buffer != nullptr && !SlotToNative(rec, slot, *field, buffer))
    ConversionError(
        Format(u"Invalid data conversion: column \"%s\" holds %s, beyond what its field can hold",
               {field->FieldName(), SlotValueText(rec, slot)}));
  return true;
}

bool TIBCustomDataSet::GetFieldData(int field_no, void* buffer) {
  for (int i = 0; i < FieldCount(); ++i)
    if (Fields(i)->FieldNo() == field_no) return GetFieldData(Fields(i), buffer);
  return false;
}

void TIBCustomDataSet::CheckEditState() {
  switch (State()) {
    case dsEdit:
      if (!CanEdit()) IBError(ibceCannotUpdate);
      break;
    case dsInsert:
      if (!CanInsert()) IBError(ibceCannotInsert);
      break;
    default:
      IBError(ibceNotEditing);
  }
}

void TIBCustomDataSet::SetFieldData(TField* field, const void* buffer) {
  PutFieldValue(field, buffer, nullptr);
}

void TIBCustomDataSet::SetFieldData(TField* field, const void* buffer, bool native) {
  // NULL has one form: straight to the store.
  if (buffer == nullptr) {
    PutFieldValue(field, nullptr, nullptr);
    return;
  }
  if (native || field->OnValidate || IsCalc(field)) {
    TDataSet::SetFieldData(field, buffer, native);
    return;
  }
  // A text or a date in its outside form goes straight into the slot: with
  // no validation to show it to, it needs no native copy first.
  if (IsWideText(field)) {
    PutFieldValue(field, nullptr, static_cast<const String*>(buffer));
    return;
  }
  double ms;
  if (!DateTimeMilliseconds(field->DataType(), *static_cast<const TDateTime*>(buffer), ms)) {
    TDataSet::SetFieldData(field, buffer, native);
    return;
  }
  PutFieldValue(field, nullptr, nullptr, &ms);
}

void TIBCustomDataSet::PutFieldValue(TField* field, const void* native, const String* text,
                                     const double* milliseconds) {
  posted_record_ = nullptr;
  TRecordBuffer rec = ActiveBuffer();
  const bool calc = IsCalc(field);
  // Every field write of every row: the usual answers without the calls.
  const bool writable = (State() == dsInsert && (live_mode_ & lmInsert) != 0) ||
                        (State() == dsEdit && (live_mode_ & lmModify) != 0);
  if (!writable && !(calc && State() == dsCalcFields)) CheckEditState();
  if (rec == nullptr || !open_) return;
  if (calc) {
    int index = CalcIndexOf(field);
    if (index < 0) return;
    BeginFieldWrite(field, native);
    uint8_t* area = store_.Layout().Calc(rec, index);
    area[0] = native != nullptr ? 1 : 0;
    if (native != nullptr) std::memcpy(area + 1, native, static_cast<size_t>(field->GetDataSize()));
    EndFieldWrite(field);
    return;
  }
  // A field of no select column has nowhere to go.
  int column = field->FieldNo() - 1;
  if (field->FieldKind() != fkData || column < 0 || column >= store_.Layout().ColumnCount() ||
      column == db_key_column_)
    column = ColumnOf(field);
  if (column < 0) return;
  if (!pending_blobs_.empty()) pending_blobs_.erase(column);
  BeginFieldWrite(field, native);
  TIBFieldSlot& slot = L::Slot(rec, column);
  const bool empty = text != nullptr         ? text->empty()
                     : milliseconds != nullptr ? false
                                               : native == nullptr || IsEmptyText(field, native);
  if (empty) {
    auto* text_field =
        IsWideText(field) ? dynamic_cast<TIBStringField*>(field) : nullptr;
    slot.is_null = text_field != nullptr && !text_field->EmptyAsNull() ? 0 : 1;
    slot.data_length = 0;
    slot.from_server = 0;
  } else if (text != nullptr) {
    // At most Size characters, as the native form would hold (no text has
    // more characters than units).
    const size_t limit = static_cast<size_t>(std::max(field->Size(), 0));
    const size_t units = text->size() <= limit ? text->size() : UnitsOfCharacters(*text, limit);
    CheckTextFits(slot, units);
    StoreSlotText(rec, slot, text->data(), units);
  } else {
    // Checked first: a text is never cut into the slot.
    if (native != nullptr && SlotKind(slot) == TSlotKind::Text)
      CheckTextFits(slot, NativeTextUnits(field, native));
    if (milliseconds != nullptr ? !SetSlotMilliseconds(rec, slot, *milliseconds)
                                : !NativeToSlot(rec, slot, *field, native))
      ConversionError(Format(u"Invalid data conversion: the value does not fit column \"%s\"",
                             {field->FieldName()}));
  }
  L::Header(rec).update_status = State() == dsInsert ? usInserted : usModified;
  EndFieldWrite(field);
}

}  // namespace kavo
