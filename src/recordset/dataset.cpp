// The record set core: the field list, the state, calculated fields, field
// value exchange and conversion, record buffers and the event hooks.
#include "recordset/dataset.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "recordset/blob_fields.h"
#include "recordset/data_source.h"
#include "recordset/database_error.h"
#include "recordset/date_time_fields.h"
#include "recordset/field_name.h"
#include "recordset/numeric_fields.h"
#include "recordset/string_fields.h"
#include "rtl/datetime.h"
#include "rtl/format.h"

namespace kavo {

TDataSet::TDataSet(TComponent* owner) : TComponent(owner) {}

TDataSet::~TDataSet() {
  // The record set class closed us in its destructor (DestroyCursor); what
  // is left are fields that outlive the record set.
  DetachBlobStreams();
  for (TField* f : fields_) f->dataset_ = nullptr;
  fields_.clear();
  while (!data_sources_.empty()) data_sources_.back()->SetDataSet(nullptr);
}

// ---- fields ---------------------------------------------------------------------

void TDataSet::AddField(TField* field) {
  has_calc_fields_ = -1;
  name_index_.Invalidate();
  fields_.push_back(field);
  field->dataset_ = this;
  DataEvent(deFieldListChange);
}

void TDataSet::RemoveField(TField* field) {
  has_calc_fields_ = -1;
  name_index_.Invalidate();
  fields_.erase(std::remove(fields_.begin(), fields_.end(), field), fields_.end());
  field->dataset_ = nullptr;
  DataEvent(deFieldListChange);
}

TField* TDataSet::FindField(StringView name) const {
  const size_t i = FieldIndex(name);
  return i < fields_.size() ? fields_[i] : nullptr;
}

void TDataSet::FieldNotFound(StringView name) const {
  DatabaseError(Format(SFieldNotFound, {String(name)}), this);
}

TField* TDataSet::CreateDefaultField(const TFieldDef& def) {
  TField* field = nullptr;
  switch (def.DataType) {
    case ftString: case ftFixedChar: field = new TStringField(this); break;
    case ftWideString: case ftFixedWideChar: field = new TWideStringField(this); break;
    case ftFloat: field = new TFloatField(this); break;
    case ftDateTime: field = new TDateTimeField(this); break;
    case ftDate: field = new TDateField(this); break;
    case ftTime: field = new TTimeField(this); break;
    case ftLargeint: field = new TLargeintField(this); break;
    case ftInteger: field = new TIntegerField(this); break;
    case ftSmallint: field = new TSmallintField(this); break;
    case ftBlob: field = new TBlobField(this); break;
    case ftMemo: field = new TMemoField(this); break;
    case ftWideMemo: field = new TWideMemoField(this); break;
    default: return nullptr;
  }
  if (IsTextFieldType(def.DataType)) field->SetSizeInternal(def.Size);
  return field;
}

void TDataSet::CreateFields() {
  for (int i = 0; i < field_defs_.Count(); ++i) {
    const TFieldDef& def = field_defs_[i];
    TField* field = CreateDefaultField(def);
    if (!field) continue;
    field->field_name_ = def.Name;
    field->required_ = def.Required;
    field->read_only_ = def.ReadOnly;
    if (def.InternalCalcField) field->field_kind_ = fkInternalCalc;
    AddField(field);
  }
}

void TDataSet::DestroyDefaultFields() {
  if (!default_fields_) return;
  std::vector<TField*> doomed;
  doomed.swap(fields_);
  has_calc_fields_ = -1;
  for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {
    (*it)->dataset_ = nullptr;
    delete *it;
  }
  default_fields_ = false;
}

void TDataSet::BindFields(bool binding) {
  for (TField* f : fields_) {
    if (binding && f->FieldKind() == fkData) {
      int index = field_defs_.IndexOf(f->FieldName());
      if (index < 0) DatabaseError(Format(SFieldNotFound, {f->FieldName()}), this);
      const TFieldDef& def = field_defs_[index];
      if (!SameFieldTypeFamily(f->DataType(), def.DataType))
        DatabaseError(Format(SFieldTypeMismatch, {f->FieldName(), FieldTypeName(f->DataType()),
                                                  FieldTypeName(def.DataType)}),
                      this);
      f->field_no_ = def.FieldNo;
      if (IsTextFieldType(f->DataType()) && def.Size < f->size_ && !f->ReadOnly())
        f->size_ = def.Size;
    } else if (!binding) {
      f->field_no_ = 0;
    }
    f->Bind(binding);
  }
}

void TDataSet::FreeFieldBuffers() {
  for (TField* f : fields_) f->FreeBuffers();
}

// ---- state -----------------------------------------------------------------------

void TDataSet::SetState(TDataSetState state) {
  if (state == state_) return;
  state_ = state;
  modified_ = false;
  DataEvent(deUpdateState);
}

void TDataSet::CheckActive() const {
  if (state_ == dsInactive) DatabaseError(SDataSetClosed, this);
}

void TDataSet::CheckInactive() const {
  if (Active()) DatabaseError(SDataSetOpen, this);
}

void TDataSet::CheckCanModify() {
  if (!GetCanModify()) DatabaseError(SDataSetReadOnly, this);
}

// Every field write comes here: the common case, a data field and no
// observers, stays a few instructions; the rest is out of line.
void TDataSet::DataEvent(TDataEvent event, TField* field) {
  if (event == deFieldChange && field &&
      (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc)) {
    modified_ = true;
    if (has_calc_fields_ != 0 || field->OnChange) FieldChanged(field);
  }
  if (!data_sources_.empty()) NotifySources(event, field);
}

void TDataSet::FieldChanged(TField* field) {
  if (auto_calc_fields_ && state_ != dsSetKey && has_record_) CalculateFields(current_);
  field->Change();
}

void TDataSet::NotifySources(TDataEvent event, TField* field) {
  for (TDataSource* source : std::vector<TDataSource*>(data_sources_)) {
    // A handler may detach another source.
    if (std::find(data_sources_.begin(), data_sources_.end(), source) != data_sources_.end())
      source->Notify(event, field);
  }
}

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField* field, TBlobStreamMode) {
  DatabaseError(Format(u"Field '%s' has no blob storage in this dataset",
                       {field ? field->FieldName() : String()}),
                this);
}

bool TDataSet::HasCalcFields() const {
  if (has_calc_fields_ < 0) {
    has_calc_fields_ = 0;
    for (TField* f : fields_)
      if (f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup) has_calc_fields_ = 1;
  }
  return has_calc_fields_ == 1;
}

void TDataSet::CalculateFields(TRecordBuffer buffer) {
  if (!HasCalcFields()) return;
  // A temporary state: Modified and the observers are left alone.
  TDataSetState saved_state = state_;
  TRecordBuffer saved_buffer = calc_buffer_;
  state_ = dsCalcFields;
  calc_buffer_ = buffer;
  try {
    ClearCalcFields(buffer);
    DoOnCalcFields();
  } catch (...) {
    state_ = saved_state;
    calc_buffer_ = saved_buffer;
    throw;
  }
  state_ = saved_state;
  calc_buffer_ = saved_buffer;
}

void TDataSet::GetCalcFields(TRecordBuffer buffer) {
  // Asked per record read: known to have none, nothing to call.
  if (has_calc_fields_ != 0) CalculateFields(buffer);
}

// ---- field values ----------------------------------------------------------------------

bool TDataSet::GetFieldData(TField* field, void* buffer, bool native) {
  if (native || !buffer) return GetFieldData(field, buffer);
  std::vector<uint8_t> temp(static_cast<size_t>(field->GetDataSize()) + 2, 0);
  if (!GetFieldData(field, temp.data())) return false;
  DataConvert(field, temp.data(), buffer, false);
  return true;
}

void TDataSet::SetFieldData(TField* field, const void* buffer, bool native) {
  if (native || !buffer) {
    SetFieldData(field, buffer);
    return;
  }
  const size_t size = static_cast<size_t>(std::max(field->GetDataSize(), 0)) + 2;
  // Dates, times and numbers fit on the stack: no allocation per value.
  alignas(8) uint8_t small[64] = {};
  std::vector<uint8_t> large;
  uint8_t* temp = small;
  if (size > sizeof small) {
    large.assign(size, 0);
    temp = large.data();
  }
  DataConvert(field, buffer, temp, true);
  SetFieldData(field, temp);
}

void TDataSet::DataConvert(TField* field, const void* source, void* dest, bool to_native) {
  switch (field->DataType()) {
    case ftDate:
    case ftTime:
    case ftDateTime: {
      if (to_native) {
        TTimeStamp ts = DateTimeToTimeStamp(*static_cast<const TDateTime*>(source));
        if (field->DataType() == ftDate) {
          std::memcpy(dest, &ts.Date, 4);
        } else if (field->DataType() == ftTime) {
          std::memcpy(dest, &ts.Time, 4);
        } else {
          double ms = static_cast<double>(ts.Date) * kMSecsPerDay + ts.Time;
          std::memcpy(dest, &ms, 8);
        }
      } else {
        TTimeStamp ts{0, kDateDelta};
        if (field->DataType() == ftDate) {
          std::memcpy(&ts.Date, source, 4);
        } else if (field->DataType() == ftTime) {
          std::memcpy(&ts.Time, source, 4);
        } else {
          double ms;
          std::memcpy(&ms, source, 8);
          double days = std::trunc(ms / kMSecsPerDay);
          ts.Date = static_cast<int32_t>(days);
          ts.Time = static_cast<int32_t>(std::fabs(ms - days * kMSecsPerDay));
        }
        *static_cast<TDateTime*>(dest) = TimeStampToDateTime(ts);
      }
      return;
    }
    case ftWideString:
    case ftFixedWideChar: {
      // The native form's room in UTF-16 units (a kind may keep two per
      // character), less the ending zero.
      size_t size = static_cast<size_t>(std::max(field->GetDataSize(), 2)) / 2 - 1;
      if (to_native) {
        const String& text = *static_cast<const String*>(source);
        size_t n = std::min(text.size(), size);
        if (n < text.size() && n > 0 && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) --n;
        std::memcpy(dest, text.data(), n * sizeof(Char));
        static const Char kZero = 0;
        std::memcpy(static_cast<uint8_t*>(dest) + n * sizeof(Char), &kZero, sizeof(Char));
      } else {
        const Char* p = static_cast<const Char*>(source);
        size_t n = 0;
        while (n < size && p[n] != 0) ++n;
        static_cast<String*>(dest)->assign(p, n);
      }
      return;
    }
    default:
      std::memcpy(dest, source, static_cast<size_t>(field->GetDataSize()));
      return;
  }
}

std::string TDataSet::Translate(const std::string& text, bool) { return text; }

TUpdateStatus TDataSet::UpdateStatus() {
  if (state_ == dsInsert) return usInserted;
  if (state_ == dsEdit && modified_) return usModified;
  return usUnmodified;
}

bool TDataSet::GetFieldData(TField*, void*) { return false; }
bool TDataSet::GetFieldData(int, void*) { return false; }
void TDataSet::SetFieldData(TField*, const void*) {}

// ---- buffers and bookmarks ---------------------------------------------------------------

TRecordBuffer TDataSet::AllocRecordBuffer() {
  int size = std::max(GetRecordSize(), 1);
  TRecordBuffer buffer = new uint8_t[static_cast<size_t>(size)];
  std::memset(buffer, 0, static_cast<size_t>(size));
  return buffer;
}

void TDataSet::FreeRecordBuffer(TRecordBuffer& buffer) {
  delete[] buffer;
  buffer = nullptr;
}

void TDataSet::GetBookmarkData(TRecordBuffer, void*) {}
void TDataSet::SetBookmarkData(TRecordBuffer, const void*) {}
TBookmarkFlag TDataSet::GetBookmarkFlag(TRecordBuffer) { return bfCurrent; }
void TDataSet::SetBookmarkFlag(TRecordBuffer, TBookmarkFlag) {}
void TDataSet::InternalGotoBookmark(const void*) {}

void TDataSet::InternalSetToRecord(TRecordBuffer buffer) {
  BookmarkRoom bookmark(bookmark_size_);
  GetBookmarkData(buffer, bookmark.Data());
  InternalGotoBookmark(bookmark.Data());
}

// ---- hooks -------------------------------------------------------------------------------

#define KAVO_HOOK(Name, Event) \
  void TDataSet::Name() {      \
    if (Event) Event(*this);   \
  }
KAVO_HOOK(DoBeforeOpen, BeforeOpen)
KAVO_HOOK(DoAfterOpen, AfterOpen)
KAVO_HOOK(DoBeforeClose, BeforeClose)
KAVO_HOOK(DoAfterClose, AfterClose)
KAVO_HOOK(DoBeforeInsert, BeforeInsert)
KAVO_HOOK(DoAfterInsert, AfterInsert)
KAVO_HOOK(DoBeforeEdit, BeforeEdit)
KAVO_HOOK(DoAfterEdit, AfterEdit)
KAVO_HOOK(DoBeforePost, BeforePost)
KAVO_HOOK(DoAfterPost, AfterPost)
KAVO_HOOK(DoBeforeCancel, BeforeCancel)
KAVO_HOOK(DoAfterCancel, AfterCancel)
KAVO_HOOK(DoBeforeScroll, BeforeScroll)
KAVO_HOOK(DoAfterScroll, AfterScroll)
KAVO_HOOK(DoOnNewRecord, OnNewRecord)
KAVO_HOOK(DoOnCalcFields, OnCalcFields)
KAVO_HOOK(DoBeforeDelete, BeforeDelete)
KAVO_HOOK(DoAfterDelete, AfterDelete)
#undef KAVO_HOOK

}  // namespace kavo
