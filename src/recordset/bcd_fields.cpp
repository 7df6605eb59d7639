#include "recordset/bcd_fields.h"

#include <cmath>

#include "recordset/database_error.h"
#include "recordset/dataset.h"
#include "rtl/exceptions.h"
#include "rtl/float_text.h"
#include "rtl/format.h"
#include "rtl/format_settings.h"

namespace kavo {

namespace {

[[noreturn]] void Overflow(const TBcd& value) {
  throw EConvertError(u"BCD overflow: " + BcdToStr(value) + u" does not fit the field");
}

// Text of either kind: exact when it is a plain decimal, else through the
// float reader (exponents), which only the currency kind's places make exact.
template <typename Field>
void AssignText(Field& field, const String& text) {
  if (text.empty()) {
    field.Clear();
    return;
  }
  TBcd value;
  if (!TryStrToBcd(text, value, FormatSettings().DecimalSeparator)) {
    double number = 0;
    if (!TryStrToFloat(text, number, FormatSettings()))
      throw EConvertError(u"'" + text + u"' is not a valid floating point value");
    value = DoubleToBcd(number);
  }
  field.SetAsBCD(value);
}

}  // namespace

// ---- TBCDField ----------------------------------------------------------------------

TBCDField::TBCDField(TComponent* owner) : TNumericField(owner) {
  SetDataTypeInternal(ftBCD);
  SetSizeInternal(4);
}

void TBCDField::CheckTypeSize(int size) const {
  if (size < 0 || size > 4) DatabaseError(u"Invalid field size", DataSet());
}

int64_t TBCDField::AsCurrency() const {
  int64_t value = 0;
  return GetData(&value) ? value : 0;
}

void TBCDField::SetAsCurrency(int64_t ten_thousandths) { SetData(&ten_thousandths); }

TBcd TBCDField::GetAsBCD() const { return Int64ToBcd(AsCurrency(), 4); }

void TBCDField::SetAsBCD(const TBcd& value) {
  int64_t ten_thousandths = 0;
  if (!BcdToScaledInt64(value, 4, ten_thousandths)) Overflow(value);
  SetAsCurrency(ten_thousandths);
}

double TBCDField::GetAsFloat() const { return static_cast<double>(AsCurrency()) / 10000.0; }
int32_t TBCDField::GetAsInteger() const { return static_cast<int32_t>(AsCurrency() / 10000); }
int64_t TBCDField::GetAsLargeInt() const { return AsCurrency() / 10000; }

String TBCDField::GetAsString() const {
  int64_t value = 0;
  if (!GetData(&value)) return {};
  return BcdToStr(Int64ToBcd(value, 4), FormatSettings().DecimalSeparator);
}

// The digits as they are, with a point whatever the locale's separator:
// a variant's decimal is read back without a locale.
OraVariant TBCDField::GetAsVariant() const {
  if (IsNull()) return OraVariant::Null();
  return OraVariant::Decimal(BcdToStr(GetAsBCD(), u'.'));
}

void TBCDField::SetAsFloat(double value) {
  double scaled = std::round(value * 10000.0);
  if (!(scaled >= -9.2e18 && scaled <= 9.2e18))
    throw EConvertError(FloatToStr(value) + u" is not a valid BCD value");
  SetAsCurrency(static_cast<int64_t>(scaled));
}

void TBCDField::SetAsLargeInt(int64_t value) {
  int64_t scaled = 0;
  if (__builtin_mul_overflow(value, int64_t{10000}, &scaled))
    throw EConvertError(IntToStr(value) + u" is not a valid BCD value");
  SetAsCurrency(scaled);
}

void TBCDField::SetAsString(const String& value) { AssignText(*this, value); }

// ---- TFMTBCDField -------------------------------------------------------------------

TFMTBCDField::TFMTBCDField(TComponent* owner) : TNumericField(owner) {
  SetDataTypeInternal(ftFMTBcd);
  SetSizeInternal(8);
}

void TFMTBCDField::CheckTypeSize(int size) const {
  if (size < 0 || size > kMaxBcdPlaces) DatabaseError(u"Invalid field size", DataSet());
}

TBcd TFMTBCDField::GetAsBCD() const {
  TBcd value;
  return GetData(&value) ? value : TBcd{};
}

void TFMTBCDField::SetAsBCD(const TBcd& value) { SetData(&value); }

int64_t TFMTBCDField::AsCurrency() const {
  const TBcd value = GetAsBCD();
  int64_t ten_thousandths = 0;
  if (!BcdToScaledInt64(value, 4, ten_thousandths)) Overflow(value);
  return ten_thousandths;
}

double TFMTBCDField::GetAsFloat() const { return BcdToDouble(GetAsBCD()); }

int64_t TFMTBCDField::GetAsLargeInt() const {
  const TBcd value = GetAsBCD();
  int64_t whole = 0;
  if (!BcdToScaledInt64(value, 0, whole))
    throw EConvertError(Format(u"'%s' is not a valid integer value", {BcdToStr(value)}));
  return whole;
}

int32_t TFMTBCDField::GetAsInteger() const {
  const int64_t whole = GetAsLargeInt();
  if (whole < INT32_MIN || whole > INT32_MAX)
    throw EConvertError(Format(u"'%s' is not a valid integer value", {IntToStr(whole)}));
  return static_cast<int32_t>(whole);
}

String TFMTBCDField::GetAsString() const {
  TBcd value;
  if (!GetData(&value)) return {};
  return BcdToStr(value, FormatSettings().DecimalSeparator);
}

OraVariant TFMTBCDField::GetAsVariant() const {
  if (IsNull()) return OraVariant::Null();
  return OraVariant::Decimal(BcdToStr(GetAsBCD(), u'.'));
}

void TFMTBCDField::SetAsFloat(double value) { SetAsBCD(DoubleToBcd(value)); }

void TFMTBCDField::SetAsString(const String& value) { AssignText(*this, value); }

}  // namespace kavo
