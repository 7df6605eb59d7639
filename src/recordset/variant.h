// OraVariant: the tagged value both record sets exchange with the program
// (variables, column values, search keys): empty, null, integer, double,
// date-time, ANSI string (bytes in the ANSI code page), UTF-16 string, byte
// array, an array of values with a lower bound, or an exact decimal (a
// fixed-point or 64-bit number that a double would round).
#ifndef KAVO_RECORDSET_VARIANT_H_
#define KAVO_RECORDSET_VARIANT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "rtl/datetime.h"
#include "rtl/ustring.h"

namespace kavo {

enum TVarKind {
  vkEmpty,
  vkNull,
  vkBoolean,
  vkInteger,
  vkDouble,
  vkDate,
  vkAnsiString,
  vkString,
  vkByteArray,
  vkArray,
  vkDecimal,
};

class OraVariant {
 public:
  OraVariant() = default;
  OraVariant(int32_t v) : kind_(vkInteger), int_(v) {}          // NOLINT: implicit by design
  OraVariant(double v) : kind_(vkDouble), double_(v) {}         // NOLINT
  OraVariant(bool v) : kind_(vkBoolean), int_(v ? 1 : 0) {}     // NOLINT
  OraVariant(const String& v) : kind_(vkString), wide_(v) {}    // NOLINT
  OraVariant(const Char* v) : kind_(vkString), wide_(v) {}      // NOLINT

  static OraVariant Null();
  static OraVariant Date(TDateTime v);
  static OraVariant Ansi(std::string bytes);
  static OraVariant Bytes(std::vector<uint8_t> bytes);
  static OraVariant Array(std::vector<OraVariant> items, int32_t low_bound = 0);
  // `text`: the digits with '.' before the places, as BcdToStr writes them.
  static OraVariant Decimal(String text);

  TVarKind Kind() const { return kind_; }
  bool IsEmpty() const { return kind_ == vkEmpty; }
  bool IsNull() const { return kind_ == vkNull; }
  bool IsEmptyOrNull() const { return kind_ == vkEmpty || kind_ == vkNull; }
  bool IsArray() const { return kind_ == vkArray; }
  bool IsString() const { return kind_ == vkAnsiString || kind_ == vkString; }

  // Conversions; a value that cannot be converted raises EConvertError.
  // Empty converts to 0 / empty text; null raises.
  int32_t AsInteger() const;
  double AsDouble() const;
  TDateTime AsDateTime() const;  // text is read with the process format settings
  String AsString() const;       // numbers and dates with the process format settings
  std::string AsAnsi() const;    // UTF-16 text converted to the ANSI code page
  bool AsBoolean() const;

  // Byte arrays and arrays.
  const std::vector<uint8_t>& ByteArray() const { return bytes_; }
  const std::vector<OraVariant>& Items() const { return items_; }
  int32_t LowBound() const { return low_bound_; }
  // The raw ANSI bytes of an ANSI string.
  const std::string& AnsiBytes() const { return ansi_; }
  // An exact decimal's digits ('.' before the places).
  const String& DecimalText() const { return wide_; }

  bool operator==(const OraVariant& other) const;

 private:
  TVarKind kind_ = vkEmpty;
  int32_t int_ = 0;
  double double_ = 0;
  std::string ansi_;
  String wide_;
  std::vector<uint8_t> bytes_;
  std::vector<OraVariant> items_;
  int32_t low_bound_ = 0;
};

// Reads a date, optionally followed by a time, in the process format settings'
// short date order and separators. Raises EConvertError when it is not one.
TDateTime StrToDateTime(StringView text);

}  // namespace kavo

#endif  // KAVO_RECORDSET_VARIANT_H_
