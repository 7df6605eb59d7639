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
  TDataSet* owner = DataSet();
  TIBCustomDataSet* dataset =
      bound_ != nullptr && bound_ == owner ? bound_ : dynamic_cast<TIBCustomDataSet*>(owner);
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
  // What TWideStringField::SetAsString does, one call shorter.
  // Through the record set's own type: its SetFieldData is final, so the
  // call needs no table.
  if (dataset != nullptr)
    dataset->SetFieldData(this, &value, false);
  else if (owner != nullptr)
    owner->SetFieldData(this, &value, false);
  else
    TWideStringField::SetAsString(value);
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
