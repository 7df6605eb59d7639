#include "recordset/dataset.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "recordset/database_error.h"
#include "recordset/date_time_fields.h"
#include "recordset/numeric_fields.h"
#include "recordset/string_fields.h"
#include "rtl/datetime.h"
#include "rtl/format.h"

namespace kavo {

TDataSet::TDataSet(TComponent* owner) : TComponent(owner) {}

TDataSet::~TDataSet() {
  // The record set class closed us in its destructor (DestroyCursor); what
  // is left are fields that outlive the record set.
  for (TField* f : fields_) f->dataset_ = nullptr;
  fields_.clear();
}

// ---- fields ---------------------------------------------------------------------

void TDataSet::AddField(TField* field) {
  fields_.push_back(field);
  field->dataset_ = this;
  DataEvent(deFieldListChange);
}

void TDataSet::RemoveField(TField* field) {
  fields_.erase(std::remove(fields_.begin(), fields_.end(), field), fields_.end());
  field->dataset_ = nullptr;
  DataEvent(deFieldListChange);
}

TField* TDataSet::FindField(StringView name) const {
  for (TField* f : fields_)
    if (SameText(f->FieldName(), name)) return f;
  return nullptr;
}

TField& TDataSet::FieldByName(StringView name) const {
  TField* f = FindField(name);
  if (!f) DatabaseError(Format(SFieldNotFound, {String(name)}), this);
  return *f;
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

void TDataSet::DataEvent(TDataEvent event, TField* field) {
  if (event == deFieldChange && field &&
      (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc)) {
    modified_ = true;
    if (auto_calc_fields_ && state_ != dsSetKey && has_record_) CalculateFields(current_);
    field->Change();
  }
}

bool TDataSet::HasCalcFields() const {
  for (TField* f : fields_)
    if (f->FieldKind() == fkCalculated || f->FieldKind() == fkLookup) return true;
  return false;
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

void TDataSet::GetCalcFields(TRecordBuffer buffer) { CalculateFields(buffer); }

// ---- open and close ----------------------------------------------------------------

void TDataSet::DoSetActive(bool value) {
  if (Loading()) {
    stream_active_ = value;
    return;
  }
  if (value == Active()) return;
  if (value) {
    DoBeforeOpen();
    OpenCursor();
    return;
  }
  // While the container goes, the hooks could reach components already gone.
  bool quiet = destroying_ || Destroying() || (Owner() && Owner()->Destroying());
  if (!quiet) DoBeforeClose();
  SetState(dsInactive);
  CloseCursor();
  if (!quiet) DoAfterClose();
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (stream_active_) {
    stream_active_ = false;
    DoSetActive(true);
  }
}

void TDataSet::OpenCursor() {
  bool complete = false;
  SetState(dsOpening);
  try {
    default_fields_ = fields_.empty();
    InternalOpen();
    complete = true;
    AllocateBuffers();
    ClearWindow();
    if (GetRecord(current_, gmNext, true) == grOK) {
      has_record_ = true;
      cursor_on_current_ = true;
      eof_ = false;
    }
    bof_ = true;
  } catch (...) {
    if (complete) {
      SetState(dsBrowse);
      DoAfterOpen();
    } else {
      SetState(dsInactive);
      CloseCursor();
    }
    throw;
  }
  SetState(dsBrowse);
  DoAfterOpen();
}

void TDataSet::CloseCursor() {
  FreeFieldBuffers();
  ClearWindow();
  FreeBuffers();
  InternalClose();
  BindFields(false);
  DestroyDefaultFields();
}

void TDataSet::DestroyCursor() {
  destroying_ = true;
  if (state_ != dsInactive) {
    SetState(dsInactive);
    CloseCursor();
  }
}

void TDataSet::AllocateBuffers() {
  if (!current_) current_ = AllocRecordBuffer();
  if (!spare_) spare_ = AllocRecordBuffer();
}

void TDataSet::FreeBuffers() {
  if (current_) FreeRecordBuffer(current_);
  if (spare_) FreeRecordBuffer(spare_);
  current_ = spare_ = nullptr;
}

void TDataSet::ClearWindow() {
  has_record_ = false;
  cursor_on_current_ = false;
  bof_ = eof_ = true;
}

// ---- the cursor ---------------------------------------------------------------------

void TDataSet::UpdateCursorPos() {
  if (!has_record_ || cursor_on_current_) return;
  switch (GetBookmarkFlag(current_)) {
    case bfBOF: InternalFirst(); break;
    case bfEOF: InternalLast(); break;
    default: InternalSetToRecord(current_); break;
  }
  cursor_on_current_ = true;
}

void TDataSet::Resync() {
  if (!has_record_) return;
  cursor_on_current_ = false;
  UpdateCursorPos();
  if (GetRecord(current_, gmCurrent, false) == grOK ||
      GetRecord(current_, gmNext, false) == grOK ||
      GetRecord(current_, gmPrior, false) == grOK) {
    cursor_on_current_ = true;
    return;
  }
  ClearWindow();
}

// ---- navigation ---------------------------------------------------------------------

void TDataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  if (IsUniDirectional()) {
    // A one-way cursor cannot rewind: read it again unless it stands at its start.
    if (!bof_) {
      Close();
      Open();
    }
  } else {
    ReadFromEnd(true);
  }
  bof_ = true;
  DataEvent(deDataSetChange);
  DoAfterScroll();
}

void TDataSet::ReadFromEnd(bool start) {
  ClearWindow();
  if (start)
    InternalFirst();
  else
    InternalLast();
  if (GetRecord(current_, start ? gmNext : gmPrior, true) == grOK) {
    has_record_ = cursor_on_current_ = true;
    (start ? eof_ : bof_) = false;
  }
}

void TDataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ReadFromEnd(false);
  eof_ = true;
  DataEvent(deDataSetChange);
  DoAfterScroll();
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  DoBeforeScroll();
  if ((distance > 0 && eof_) || (distance < 0 && bof_) || distance == 0) return 0;
  bof_ = eof_ = false;
  UpdateCursorPos();
  TGetMode mode = distance > 0 ? gmNext : gmPrior;
  int wanted = distance > 0 ? distance : -distance;
  int moved = 0;
  while (moved < wanted) {
    if (GetRecord(spare_, mode, true) != grOK) {
      (mode == gmNext ? eof_ : bof_) = true;
      cursor_on_current_ = false;
      break;
    }
    std::swap(current_, spare_);
    ++moved;
  }
  DataEvent(deDataSetScroll);
  DoAfterScroll();
  return distance > 0 ? moved : -moved;
}

// ---- editing ------------------------------------------------------------------------

void TDataSet::WithErrorEvent(const TDataSetErrorEvent& event,
                              const std::function<void()>& step) {
  for (;;) {
    try {
      step();
      return;
    } catch (Exception& e) {
      TDataAction action = daFail;
      if (event) event(*this, e, action);
      if (action == daFail) throw;
      if (action == daAbort) throw EAbort(e.Message());
    }
  }
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode);
  switch (state_) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (modified_)
        Post();
      else
        Cancel();
      break;
    case dsSetKey:
      Post();
      break;
    default:
      break;
  }
}

void TDataSet::UpdateRecord() {
  if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey)
    DatabaseError(SNotEditing, this);
  DataEvent(deUpdateRecord);
}

void TDataSet::Refresh() {
  CheckBrowseMode();
  UpdateCursorPos();
  auto show = [this] {
    if (has_record_) {
      Resync();
      return;
    }
    // Nothing was current: the re-read rows may have brought a first one.
    ReadFromEnd(true);
  };
  try {
    InternalRefresh();
  } catch (...) {
    show();
    throw;
  }
  show();
  DataEvent(deDataSetChange);
}

TBookmark TDataSet::GetBookmark() {
  TBookmark bookmark;
  if (!has_record_ || bookmark_size_ <= 0 || GetBookmarkFlag(current_) != bfCurrent)
    return bookmark;
  bookmark.resize(static_cast<size_t>(bookmark_size_));
  GetBookmarkData(current_, bookmark.data());
  return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  DoBeforeScroll();
  InternalGotoBookmark(bookmark.data());
  if (GetRecord(spare_, gmCurrent, false) != grOK) {
    cursor_on_current_ = false;
    DatabaseError(SRecordNotFound, this);
  }
  std::swap(current_, spare_);
  has_record_ = true;
  cursor_on_current_ = true;
  bof_ = eof_ = false;
  DataEvent(deDataSetChange);
  DoAfterScroll();
}

void TDataSet::Edit() {
  if (state_ == dsEdit || state_ == dsInsert) return;
  if (!has_record_) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeEdit();
  UpdateCursorPos();
  WithErrorEvent(OnEditError, [this] { InternalEdit(); });
  GetCalcFields(current_);
  SetState(dsEdit);
  DataEvent(deRecordChange);
  DoAfterEdit();
}

void TDataSet::Insert() {
  CheckBrowseMode();
  CheckCanModify();
  DoBeforeInsert();
  UpdateCursorPos();
  DoBeforeScroll();
  bool had_record = has_record_;
  bool old_bof = bof_, old_eof = eof_;
  std::vector<uint8_t> identity(static_cast<size_t>(bookmark_size_));
  if (had_record && bookmark_size_ > 0) GetBookmarkData(current_, identity.data());
  // The old current record stays readable from the record set; the new one
  // takes the spare buffer, which the next fetch would overwrite anyway.
  std::swap(current_, spare_);
  InitRecord(current_);
  if (had_record) {
    if (bookmark_size_ > 0) SetBookmarkData(current_, identity.data());
  } else {
    SetBookmarkFlag(current_, bfBOF);
  }
  has_record_ = true;
  cursor_on_current_ = true;
  bof_ = eof_ = false;
  auto give_up = [&] {
    std::swap(current_, spare_);
    has_record_ = had_record;
    bof_ = old_bof;
    eof_ = old_eof;
    cursor_on_current_ = false;
  };
  try {
    InternalInsert();
  } catch (...) {
    give_up();
    Resync();
    throw;
  }
  SetState(dsInsert);
  try {
    DoOnNewRecord();
  } catch (...) {
    give_up();
    SetState(dsBrowse);
    Resync();
    throw;
  }
  modified_ = false;
  DataEvent(deDataSetChange);
  DoAfterInsert();
  DoAfterScroll();
}

void TDataSet::Post() {
  UpdateRecord();
  if (state_ != dsEdit && state_ != dsInsert) return;
  DataEvent(deCheckBrowseMode);
  DoBeforePost();
  WithErrorEvent(OnPostError, [this] { InternalPost(); });
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync();
  DoAfterPost();
}

void TDataSet::Cancel() {
  if (state_ != dsEdit && state_ != dsInsert) return;
  DataEvent(deCheckBrowseMode);
  DoBeforeCancel();
  bool was_insert = state_ == dsInsert;
  if (was_insert) DoBeforeScroll();
  UpdateCursorPos();
  InternalCancel();
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync();
  DoAfterCancel();
  if (was_insert) DoAfterScroll();
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == dsInsert || state_ == dsSetKey) {
    Cancel();
    return;
  }
  if (!has_record_) DatabaseError(SDataSetEmpty, this);
  DataEvent(deCheckBrowseMode);
  DoBeforeDelete();
  DoBeforeScroll();
  UpdateCursorPos();
  InternalDelete();
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync();
  DataEvent(deDataSetChange);
  DoAfterDelete();
  DoAfterScroll();
}

void TDataSet::InitRecord(TRecordBuffer buffer) {
  InternalInitRecord(buffer);
  ClearCalcFields(buffer);
  SetBookmarkFlag(buffer, bfInserted);
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
  std::vector<uint8_t> temp(static_cast<size_t>(field->GetDataSize()) + 2, 0);
  DataConvert(field, buffer, temp.data(), true);
  SetFieldData(field, temp.data());
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
      size_t size = static_cast<size_t>(std::max(field->Size(), 0));
      if (to_native) {
        const String& text = *static_cast<const String*>(source);
        size_t n = std::min(text.size(), size);
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

void TDataSet::BeginFieldWrite(TField* field, const void* buffer) {
  if (state_ == dsEdit || state_ == dsInsert) field->Validate(buffer);
}

void TDataSet::EndFieldWrite(TField* field) {
  if (state_ != dsCalcFields && state_ != dsFilter && state_ != dsNewValue)
    DataEvent(deFieldChange, field);
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
  std::vector<uint8_t> bookmark(static_cast<size_t>(bookmark_size_));
  GetBookmarkData(buffer, bookmark.data());
  InternalGotoBookmark(bookmark.data());
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
