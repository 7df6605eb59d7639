#include "recordset/field.h"

#include <cstring>
#include <vector>

#include "recordset/database_error.h"
#include "recordset/dataset.h"
#include "rtl/code_page.h"
#include "rtl/format.h"

namespace kavo {

TField::TField(TComponent* owner) : TComponent(owner) {}

TField::~TField() {
  if (dataset_) dataset_->RemoveField(this);
}

void TField::SetFieldName(const String& name) {
  if (dataset_) {
    dataset_->CheckInactive();
    dataset_->name_index_.Invalidate();
  }
  field_name_ = name;
}

void TField::SetSize(int size) {
  if (dataset_) dataset_->CheckInactive();
  CheckTypeSize(size);
  size_ = size;
}

void TField::SetFieldKind(TFieldKind kind) {
  if (dataset_) {
    dataset_->CheckInactive();
    dataset_->has_calc_fields_ = -1;
  }
  field_kind_ = kind;
}

void TField::SetDataSet(TDataSet* dataset) {
  if (dataset == dataset_) return;
  if (dataset_) dataset_->CheckInactive();
  if (dataset) dataset->CheckInactive();
  if (dataset_) dataset_->RemoveField(this);
  if (dataset) dataset->AddField(this);
}

void TField::NoDataSet() const { DatabaseError(Format(SDataSetMissing, {field_name_})); }

bool TField::GetData(void* buffer, bool native) const {
  TDataSet& ds = CheckDataSet();
  if (validating_) {
    if (validating_null_) return false;
    if (buffer) {
      if (native)
        std::memcpy(buffer, validating_, GetDataSize());
      else
        ds.DataConvert(const_cast<TField*>(this), validating_, buffer, false);
    }
    return true;
  }
  return ds.GetFieldData(const_cast<TField*>(this), buffer, native);
}

void TField::SetData(const void* buffer, bool native) {
  CheckDataSet().SetFieldData(this, buffer, native);
}

bool TField::GetIsNull() const { return !GetData(nullptr); }

void TField::Clear() {
  if (field_kind_ == fkData || field_kind_ == fkInternalCalc) SetData(nullptr);
}

void TField::Validate(const void* buffer) {
  if (!OnValidate) return;
  // The pending value must be what the handler reads through the field.
  const void* saved = validating_;
  bool saved_null = validating_null_;
  static const char kNull = 0;
  validating_ = buffer ? buffer : &kNull;
  validating_null_ = buffer == nullptr;
  try {
    OnValidate(*this);
  } catch (...) {
    validating_ = saved;
    validating_null_ = saved_null;
    throw;
  }
  validating_ = saved;
  validating_null_ = saved_null;
}

void TField::Change() {
  if (OnChange) OnChange(*this);
}

void TField::AccessError(StringView type_name) const {
  DatabaseError(Format(SFieldAccessError, {field_name_, String(type_name)}), dataset_);
}

bool TField::GetAsBoolean() const { AccessError(u"Boolean"); }
TDateTime TField::GetAsDateTime() const { AccessError(u"DateTime"); }
double TField::GetAsFloat() const { AccessError(u"Float"); }
int32_t TField::GetAsInteger() const { AccessError(u"Integer"); }
int64_t TField::GetAsLargeInt() const { AccessError(u"Largeint"); }
String TField::GetAsString() const { return GetClassDesc(); }
String TField::GetAsWideString() const { return GetAsString(); }
std::string TField::GetAsAnsiString() const { return StringToAnsi(GetAsString()); }

OraVariant TField::GetAsVariant() const {
  if (IsNull()) return OraVariant::Null();
  switch (data_type_) {
    case ftString: case ftFixedChar: case ftWideString: case ftFixedWideChar:
      return OraVariant(GetAsString());
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
      return OraVariant(GetAsInteger());
    case ftLargeint: {
      int64_t v = GetAsLargeInt();
      if (v >= INT32_MIN && v <= INT32_MAX) return OraVariant(static_cast<int32_t>(v));
      return OraVariant::Decimal(IntToStr(v));
    }
    case ftFloat: case ftCurrency:
      return OraVariant(GetAsFloat());
    case ftDate: case ftTime: case ftDateTime: case ftTimeStamp:
      return OraVariant::Date(GetAsDateTime());
    case ftBoolean:
      return OraVariant(GetAsBoolean());
    default:
      AccessError(u"Variant");
  }
}

void TField::SetAsVariant(const OraVariant& value) {
  switch (value.Kind()) {
    case vkEmpty: case vkNull: Clear(); return;
    case vkBoolean: SetAsBoolean(value.AsBoolean()); return;
    case vkInteger: SetAsInteger(value.AsInteger()); return;
    case vkDouble: SetAsFloat(value.AsDouble()); return;
    case vkDate: SetAsDateTime(value.AsDateTime()); return;
    case vkAnsiString: SetAsAnsiString(value.AnsiBytes()); return;
    case vkString: SetAsString(value.AsString()); return;
    // Every numeric kind reads its text exactly.
    case vkDecimal: SetAsString(value.AsString()); return;
    case vkByteArray: case vkArray: AccessError(u"Variant");
  }
}

OraVariant TField::OldValue() const {
  TDataSet& ds = CheckDataSet();
  ds.CheckActive();
  // Not SetState: Modified and the observers must not see the visit.
  struct StateVisit {
    TDataSet& ds;
    TDataSetState saved;
    ~StateVisit() { ds.state_ = saved; }
  } visit{ds, ds.state_};
  ds.state_ = dsOldValue;
  return GetAsVariant();
}

void TField::SetAsBoolean(bool) { AccessError(u"Boolean"); }
void TField::SetAsDateTime(TDateTime) { AccessError(u"DateTime"); }
void TField::SetAsFloat(double) { AccessError(u"Float"); }
void TField::SetAsInteger(int32_t) { AccessError(u"Integer"); }
void TField::SetAsLargeInt(int64_t) { AccessError(u"Largeint"); }
void TField::SetAsString(const String&) { AccessError(u"String"); }
void TField::SetAsWideString(const String& value) { SetAsString(value); }
void TField::SetAsAnsiString(const std::string& value) { SetAsString(AnsiToString(value)); }

String TField::GetText(bool) const { return GetAsString(); }

String TField::GetClassDesc() const { return u"(" + FieldTypeName(data_type_) + u")"; }

bool TField::GetCanModify() const {
  return !read_only_ && dataset_ && dataset_->CanModify();
}

void TField::Bind(bool) {}

void TField::CheckTypeSize(int size) const {
  if (size != 0) DatabaseError(u"Invalid field size", dataset_);
}

}  // namespace kavo
