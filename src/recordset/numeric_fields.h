// The numeric field kinds.
//
//   kind             DataType     native form                    bytes
//   TFloatField      ftFloat      64-bit IEEE floating point     8
//   TLargeintField   ftLargeint   64-bit signed integer          8
#ifndef KAVO_RECORDSET_NUMERIC_FIELDS_H_
#define KAVO_RECORDSET_NUMERIC_FIELDS_H_

#include "recordset/field.h"

namespace kavo {

class TNumericField : public TField {
 public:
  explicit TNumericField(TComponent* owner) : TField(owner) {}
};

class TFloatField : public TNumericField {
 public:
  explicit TFloatField(TComponent* owner);  // Precision 15

  int Precision() const { return precision_; }
  void SetPrecision(int value) { precision_ = value < 2 ? 2 : value > 17 ? 17 : value; }

  int GetDataSize() const override { return 8; }
  double GetAsFloat() const override;        // NULL reads as 0
  int32_t GetAsInteger() const override;     // rounded
  int64_t GetAsLargeInt() const override;    // rounded
  // General format, Precision significant digits, the process-wide decimal
  // separator; NULL reads as "".
  String GetAsString() const override;
  void SetAsFloat(double value) override;
  void SetAsInteger(int32_t value) override { SetAsFloat(value); }
  void SetAsLargeInt(int64_t value) override { SetAsFloat(static_cast<double>(value)); }
  // "" clears; other text must be a number with the locale's separator.
  void SetAsString(const String& value) override;

 private:
  int precision_ = 15;
};

class TLargeintField : public TNumericField {
 public:
  explicit TLargeintField(TComponent* owner);

  int GetDataSize() const override { return 8; }
  int64_t GetAsLargeInt() const override;  // NULL reads as 0
  int32_t GetAsInteger() const override;   // "'%s' is not a valid integer value" outside 32 bits
  double GetAsFloat() const override;
  String GetAsString() const override;     // decimal; NULL reads as ""
  void SetAsLargeInt(int64_t value) override;
  void SetAsInteger(int32_t value) override { SetAsLargeInt(value); }
  void SetAsFloat(double value) override;  // rounded
  void SetAsString(const String& value) override;  // "" clears
};

}  // namespace kavo

#endif  // KAVO_RECORDSET_NUMERIC_FIELDS_H_
