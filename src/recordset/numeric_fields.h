// The numeric field kinds.
//
//   kind             DataType     native form                    bytes
//   TFloatField      ftFloat      64-bit IEEE floating point     8
//   TLargeintField   ftLargeint   64-bit signed integer          8
//   TIntegerField    ftInteger    32-bit signed integer          4
//   TSmallintField   ftSmallint   16-bit signed integer          2
#ifndef KAVO_RECORDSET_NUMERIC_FIELDS_H_
#define KAVO_RECORDSET_NUMERIC_FIELDS_H_

#include "recordset/field.h"

namespace kavo {

class TNumericField : public TField {
 public:
  explicit TNumericField(TComponent* owner) : TField(owner) {}
  // "" clears; other text must be a decimal integer.
  void SetAsString(const String& value) override;
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
};

class TIntegerField : public TNumericField {
 public:
  explicit TIntegerField(TComponent* owner);

  int GetDataSize() const override { return 4; }
  int32_t GetAsInteger() const override;   // NULL reads as 0
  int64_t GetAsLargeInt() const override { return GetAsInteger(); }
  double GetAsFloat() const override { return GetAsInteger(); }
  String GetAsString() const override;     // decimal; NULL reads as ""
  // Values outside the kind's range raise "'%s' is not a valid integer value".
  void SetAsInteger(int32_t value) override;
  void SetAsLargeInt(int64_t value) override;
  void SetAsFloat(double value) override;  // rounded

 protected:
  int32_t min_ = INT32_MIN;
  int32_t max_ = INT32_MAX;
};

class TSmallintField : public TIntegerField {
 public:
  explicit TSmallintField(TComponent* owner);
  int GetDataSize() const override { return 2; }
};

}  // namespace kavo

#endif  // KAVO_RECORDSET_NUMERIC_FIELDS_H_
