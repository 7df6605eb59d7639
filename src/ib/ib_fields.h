// The field kinds the Firebird record set adds to the model, and the
// settings of a field filled from a server generator.
//
//   kind              DataType     native form                          bytes
//   TIBStringField    ftWideString UTF-16 text, <= Size chars, 0-ended  4*Size + 2
//   TIBBCDField       ftBCD        int64 ten-thousandths (currency)     8
//   TIBBooleanField   ftBoolean    int16, 0 or 1                        2
#ifndef KAVO_IB_IB_FIELDS_H_
#define KAVO_IB_IB_FIELDS_H_

#include <cstdint>

#include "recordset/bcd_fields.h"
#include "recordset/string_fields.h"

namespace kavo {

class TIBCustomDataSet;

// A UTF-16 string field whose Size counts characters (a surrogate pair is
// one, as the server counts them; the native form has room for Size pairs).
// EmptyAsNull (default
// true) stores an empty text as NULL; false stores it as an empty text, and
// Clear() then stores an empty text too. A text longer than Size is refused
// ("Trying to store a string of length %d into a field that can only
// contain %d"), never cut: the row would otherwise lose data silently.
class TIBStringField : public TWideStringField {
 public:
  explicit TIBStringField(TComponent* owner) : TWideStringField(owner) {}

  int GetDataSize() const override { return 4 * Size() + 2; }
  bool EmptyAsNull() const { return empty_as_null_; }
  void SetEmptyAsNull(bool value) { empty_as_null_ = value; }

  void SetAsString(const String& value) override;
  void SetAsWideString(const String& value) override { SetAsString(value); }

 private:
  friend class TIBCustomDataSet;
  bool empty_as_null_ = true;
  // The open record set the field is bound to, so that an assignment finds
  // its character set without a dynamic cast; null while closed.
  TIBCustomDataSet* bound_ = nullptr;
};

// The ftBCD kind of the Firebird record set: currency, at most 4 places.
class TIBBCDField : public TBCDField {
 public:
  using TBCDField::TBCDField;
};

class TIBBooleanField : public TField {
 public:
  explicit TIBBooleanField(TComponent* owner);

  int GetDataSize() const override { return 2; }
  bool GetAsBoolean() const override;  // NULL reads as false
  String GetAsString() const override;  // "True", "False"; NULL ""
  void SetAsBoolean(bool value) override;
  // "" clears; otherwise "True"/"False" without regard to case.
  void SetAsString(const String& value) override;
};

enum TIBGeneratorApplyEvent { gamOnNewRecord, gamOnPost, gamOnServer };

// Which field a generator fills, by how much it steps, and when.
struct TIBGeneratorField {
  String Generator;
  String Field;
  int IncrementBy = 1;
  TIBGeneratorApplyEvent ApplyEvent = gamOnNewRecord;

  bool IsComplete() const { return !Generator.empty() && !Field.empty(); }
};

}  // namespace kavo

#endif  // KAVO_IB_IB_FIELDS_H_
