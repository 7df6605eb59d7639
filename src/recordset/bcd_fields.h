// The exact decimal field kinds.
//
//   kind            DataType  native form                              bytes
//   TBCDField       ftBCD     int64 ten-thousandths (currency)         8
//   TFMTBCDField    ftFMTBcd  TBcd, the packed decimal (rtl/bcd.h)     34
//
// Size is the number of places, Precision the digits in all. Neither kind
// goes through a double unless a double is read or written: text, integers
// and TBcd values travel digit for digit.
#ifndef KAVO_RECORDSET_BCD_FIELDS_H_
#define KAVO_RECORDSET_BCD_FIELDS_H_

#include <cstdint>

#include "recordset/numeric_fields.h"
#include "rtl/bcd.h"

namespace kavo {

// A scaled number with at most 4 places, kept as currency.
class TBCDField : public TNumericField {
 public:
  explicit TBCDField(TComponent* owner);  // Size 4

  int Precision() const { return precision_; }
  void SetPrecision(int value) { precision_ = value; }
  int GetDataSize() const override { return 8; }

  // Ten-thousandths; NULL reads as 0.
  int64_t AsCurrency() const;
  void SetAsCurrency(int64_t ten_thousandths);
  TBcd GetAsBCD() const;
  // Rounded to 4 places; "BCD overflow" beyond the currency range.
  void SetAsBCD(const TBcd& value);

  double GetAsFloat() const override;
  int32_t GetAsInteger() const override;   // the whole part
  int64_t GetAsLargeInt() const override;  // the whole part
  // Decimal text with the process-wide separator, no trailing zeros; NULL "".
  String GetAsString() const override;
  OraVariant GetAsVariant() const override;  // the exact decimal; NULL is null
  void SetAsFloat(double value) override;
  void SetAsInteger(int32_t value) override { SetAsLargeInt(value); }
  void SetAsLargeInt(int64_t value) override;
  // "" clears; other text must be a number with the locale's separator.
  void SetAsString(const String& value) override;
  void CheckTypeSize(int size) const override;  // 0 to 4

 private:
  int precision_ = 0;
};

// A decimal of up to 64 digits and up to 63 places, kept exactly.
class TFMTBCDField : public TNumericField {
 public:
  explicit TFMTBCDField(TComponent* owner);  // Size 8, Precision 15

  int Precision() const { return precision_; }
  void SetPrecision(int value) { precision_ = value; }
  int GetDataSize() const override { return static_cast<int>(sizeof(TBcd)); }

  // NULL reads as 0.
  TBcd GetAsBCD() const;
  void SetAsBCD(const TBcd& value);
  // Ten-thousandths, rounded; "BCD overflow" beyond them.
  int64_t AsCurrency() const;
  void SetAsCurrency(int64_t ten_thousandths) { SetAsBCD(Int64ToBcd(ten_thousandths, 4)); }

  double GetAsFloat() const override;
  // Rounded; "'%s' is not a valid integer value" beyond the kind.
  int32_t GetAsInteger() const override;
  int64_t GetAsLargeInt() const override;
  // The exact digits with the process-wide separator, no trailing zeros;
  // NULL reads as "".
  String GetAsString() const override;
  OraVariant GetAsVariant() const override;  // the exact decimal; NULL is null
  // The shortest decimal that reads back as the same double.
  void SetAsFloat(double value) override;
  void SetAsInteger(int32_t value) override { SetAsLargeInt(value); }
  void SetAsLargeInt(int64_t value) override { SetAsBCD(Int64ToBcd(value)); }
  // "" clears; other text is read exactly, with the locale's separator.
  void SetAsString(const String& value) override;
  void CheckTypeSize(int size) const override;  // 0 to 63

 private:
  int precision_ = 15;
};

}  // namespace kavo

#endif  // KAVO_RECORDSET_BCD_FIELDS_H_
