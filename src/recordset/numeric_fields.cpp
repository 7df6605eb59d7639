#include "recordset/numeric_fields.h"

#include <cmath>
#include <cstdint>

#include "rtl/exceptions.h"
#include "rtl/float_text.h"
#include "rtl/format.h"
#include "rtl/int64_text.h"

namespace kavo {

namespace {

int64_t RoundToInt64(double value) {
  if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0))
    throw EConvertError(Format(u"'%s' is not a valid integer value", {FloatToStr(value)}));
  return std::llround(value);
}

int32_t NarrowToInt32(int64_t value) {
  if (value < INT32_MIN || value > INT32_MAX)
    throw EConvertError(Format(u"'%s' is not a valid integer value", {IntToStr(value)}));
  return static_cast<int32_t>(value);
}

}  // namespace

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

void TLargeintField::SetAsString(const String& value) {
  if (value.empty()) {
    Clear();
    return;
  }
  SetAsLargeInt(StrToInt64(value));
}

}  // namespace kavo
