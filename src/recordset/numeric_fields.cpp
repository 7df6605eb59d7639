#include "recordset/numeric_fields.h"

#include <cmath>
#include <cstdint>

#include "rtl/exceptions.h"
#include "rtl/float_text.h"
#include "rtl/format.h"
#include "rtl/int64_text.h"

namespace kavo {

namespace {

[[noreturn]] void NotAnInteger(const String& text) {
  throw EConvertError(Format(u"'%s' is not a valid integer value", {text}));
}

int64_t RoundToInt64(double value) {
  if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0))
    NotAnInteger(FloatToStr(value));
  return std::llround(value);
}

int32_t NarrowToInt32(int64_t value) {
  if (value < INT32_MIN || value > INT32_MAX) NotAnInteger(IntToStr(value));
  return static_cast<int32_t>(value);
}

}  // namespace

// ---- TNumericField -------------------------------------------------------------

void TNumericField::SetAsString(const String& value) {
  if (value.empty()) {
    Clear();
    return;
  }
  SetAsLargeInt(StrToInt64(value));
}

// ---- TFloatField -------------------------------------------------------------

TFloatField::TFloatField(TComponent* owner) : TNumericField(owner) {
  SetDataTypeInternal(ftFloat);
}

double TFloatField::GetAsFloat() const {
  double value = 0;
  return GetData(&value) ? value : 0;
}

int32_t TFloatField::GetAsInteger() const { return NarrowToInt32(GetAsLargeInt()); }
int64_t TFloatField::GetAsLargeInt() const { return RoundToInt64(GetAsFloat()); }

String TFloatField::GetAsString() const {
  double value = 0;
  if (!GetData(&value)) return {};
  return FloatToStr(value, FormatSettings(), precision_);
}

void TFloatField::SetAsFloat(double value) { SetData(&value); }

void TFloatField::SetAsString(const String& value) {
  if (value.empty()) {
    Clear();
    return;
  }
  SetAsFloat(StrToFloat(value, FormatSettings()));
}

// ---- TLargeintField ------------------------------------------------------------

TLargeintField::TLargeintField(TComponent* owner) : TNumericField(owner) {
  SetDataTypeInternal(ftLargeint);
}

int64_t TLargeintField::GetAsLargeInt() const {
  int64_t value = 0;
  return GetData(&value) ? value : 0;
}

int32_t TLargeintField::GetAsInteger() const { return NarrowToInt32(GetAsLargeInt()); }

double TLargeintField::GetAsFloat() const { return static_cast<double>(GetAsLargeInt()); }

String TLargeintField::GetAsString() const {
  int64_t value = 0;
  if (!GetData(&value)) return {};
  return IntToStr(value);
}

void TLargeintField::SetAsLargeInt(int64_t value) { SetData(&value); }

void TLargeintField::SetAsFloat(double value) { SetAsLargeInt(RoundToInt64(value)); }


// ---- TIntegerField, TSmallintField ------------------------------------------------

TIntegerField::TIntegerField(TComponent* owner) : TNumericField(owner) {
  SetDataTypeInternal(ftInteger);
}

int32_t TIntegerField::GetAsInteger() const {
  // Both widths share this code; the native value is as wide as the kind.
  if (GetDataSize() == 2) {
    int16_t narrow = 0;
    return GetData(&narrow) ? narrow : 0;
  }
  int32_t value = 0;
  return GetData(&value) ? value : 0;
}

String TIntegerField::GetAsString() const {
  if (IsNull()) return {};
  return IntToStr(GetAsInteger());
}

void TIntegerField::SetAsInteger(int32_t value) {
  if (value < min_ || value > max_) NotAnInteger(IntToStr(value));
  if (GetDataSize() == 2) {
    int16_t narrow = static_cast<int16_t>(value);
    SetData(&narrow);
  } else {
    SetData(&value);
  }
}

void TIntegerField::SetAsLargeInt(int64_t value) { SetAsInteger(NarrowToInt32(value)); }

void TIntegerField::SetAsFloat(double value) { SetAsLargeInt(RoundToInt64(value)); }


TSmallintField::TSmallintField(TComponent* owner) : TIntegerField(owner) {
  SetDataTypeInternal(ftSmallint);
  min_ = INT16_MIN;
  max_ = INT16_MAX;
}

}  // namespace kavo
