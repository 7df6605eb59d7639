#include "ib/ib_fields.h"

#include <cmath>

#include "ib/ib_character_set.h"
#include "ib/ib_database.h"
#include "ib/ib_dataset.h"
#include "ib/ib_errors.h"
#include "recordset/database_error.h"
#include "recordset/dataset.h"
#include "rtl/code_points.h"
#include "rtl/float_text.h"
#include "rtl/format_settings.h"

namespace kavo {

// ---- TIBStringField ----------------------------------------------------------------

void TIBStringField::SetAsString(const String& value) {
  const TDataSet* owner = DataSet();
  const TIBCustomDataSet* dataset = bound_ != nullptr && bound_ == owner
                                        ? bound_
                                        : dynamic_cast<const TIBCustomDataSet*>(owner);
  // Refused here, naming the field, rather than when the post encodes it.
  if (dataset != nullptr)
    if (TIBDatabase* db = dataset->Database())
      CheckValueFits(value, db->CharacterSetInfo(), u"Field", FieldName());
  // No text has more characters than UTF-16 units.
  if (static_cast<int64_t>(value.size()) > Size()) {
    const size_t characters = CharacterCount(value);
    if (static_cast<int64_t>(characters) > Size())
      IBError(ibceStringTooLarge, {static_cast<int64_t>(characters), Size()});
  }
  TWideStringField::SetAsString(value);
}

// ---- TIBBCDField -------------------------------------------------------------------

TIBBCDField::TIBBCDField(TComponent* owner) : TField(owner) {
  SetDataTypeInternal(ftBCD);
  SetSizeInternal(4);
}

void TIBBCDField::CheckTypeSize(int size) const {
  if (size < 0 || size > 4) DatabaseError(u"Invalid field size", DataSet());
}

int64_t TIBBCDField::AsCurrency() const {
  int64_t value = 0;
  return GetData(&value) ? value : 0;
}

void TIBBCDField::SetAsCurrency(int64_t ten_thousandths) { SetData(&ten_thousandths); }

double TIBBCDField::GetAsFloat() const { return static_cast<double>(AsCurrency()) / 10000.0; }
int32_t TIBBCDField::GetAsInteger() const { return static_cast<int32_t>(AsCurrency() / 10000); }
int64_t TIBBCDField::GetAsLargeInt() const { return AsCurrency() / 10000; }

String TIBBCDField::GetAsString() const {
  int64_t value = 0;
  if (!GetData(&value)) return {};
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  String text = UIntToStr(magnitude / 10000);
  String frac = UIntToStr(magnitude % 10000);
  frac = String(4 - frac.size(), u'0') + frac;
  while (!frac.empty() && frac.back() == u'0') frac.pop_back();
  if (!frac.empty()) text += FormatSettings().DecimalSeparator + frac;
  return value < 0 ? u"-" + text : text;
}

void TIBBCDField::SetAsFloat(double value) {
  double scaled = std::round(value * 10000.0);
  if (!(scaled >= -9.2e18 && scaled <= 9.2e18))
    throw EConvertError(FloatToStr(value) + u" is not a valid BCD value");
  SetAsCurrency(static_cast<int64_t>(scaled));
}

void TIBBCDField::SetAsLargeInt(int64_t value) {
  int64_t scaled = 0;
  if (__builtin_mul_overflow(value, int64_t{10000}, &scaled))
    throw EConvertError(IntToStr(value) + u" is not a valid BCD value");
  SetAsCurrency(scaled);
}

void TIBBCDField::SetAsString(const String& value) {
  if (value.empty()) {
    Clear();
    return;
  }
  double number = 0;
  if (!TryStrToFloat(value, number, FormatSettings()))
    throw EConvertError(u"'" + value + u"' is not a valid floating point value");
  SetAsFloat(number);
}

// ---- TIBBooleanField ---------------------------------------------------------------

TIBBooleanField::TIBBooleanField(TComponent* owner) : TField(owner) {
  SetDataTypeInternal(ftBoolean);
}

bool TIBBooleanField::GetAsBoolean() const {
  int16_t value = 0;
  return GetData(&value) && value != 0;
}

String TIBBooleanField::GetAsString() const {
  if (IsNull()) return {};
  return GetAsBoolean() ? u"True" : u"False";
}

void TIBBooleanField::SetAsBoolean(bool value) {
  int16_t word = value ? 1 : 0;
  SetData(&word);
}

void TIBBooleanField::SetAsString(const String& value) {
  if (value.empty())
    Clear();
  else if (SameText(value, u"True"))
    SetAsBoolean(true);
  else if (SameText(value, u"False"))
    SetAsBoolean(false);
  else
    throw EConvertError(u"'" + value + u"' is not a valid boolean value");
}

}  // namespace kavo
