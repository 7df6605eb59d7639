// TBcd: an exact decimal number of up to 64 digits, in the 34-byte packed
// form that record sets keep and exchange:
//
//   byte 0      precision: the digits held
//   byte 1      bit 7 the sign (set: negative), bits 0-5 the places (digits
//               after the decimal point)
//   bytes 2-33  the digits, two to a byte, the first in the high half
//
// Nothing here goes through a double unless a double is asked for, so a
// value read from text or from a scaled integer comes back digit for digit.
#ifndef KAVO_RTL_BCD_H_
#define KAVO_RTL_BCD_H_

#include <cstdint>

#include "rtl/ustring.h"

namespace kavo {

struct TBcd {
  uint8_t Precision = 1;
  uint8_t SignSpecialPlaces = 0;
  uint8_t Fraction[32] = {};
};
static_assert(sizeof(TBcd) == 34, "the packed decimal is 34 bytes");

constexpr int kMaxBcdDigits = 64;
constexpr int kMaxBcdPlaces = 63;

inline int BcdPlaces(const TBcd& value) { return value.SignSpecialPlaces & 0x3F; }
// Zero is never negative.
bool BcdIsZero(const TBcd& value);

// unscaled * 10^-places (places 0 to kMaxBcdPlaces).
TBcd Int64ToBcd(int64_t unscaled, int places = 0);
// The value as unscaled * 10^-places, rounded half away from zero when the
// value has more places; false when that lies beyond 64 bits (or the form
// is damaged), and `unscaled` is then left alone.
bool BcdToScaledInt64(const TBcd& value, int places, int64_t& unscaled);
// The same with the fewest places (at most the value's own) that hold the
// value exactly, so that trailing zeros do not cost range.
bool BcdToExactInt64(const TBcd& value, int64_t& unscaled, int& places);

// An optional sign, digits, and optionally `separator` and more digits;
// blanks around are allowed. False when it is not such a number or has more
// than 64 digits (leading zeros aside).
bool TryStrToBcd(StringView text, TBcd& out, Char separator = u'.');
// As TryStrToBcd; raises EConvertError "'%s' is not a valid BCD value".
TBcd StrToBcd(StringView text, Char separator = u'.');
// The digits as held, without trailing zeros after the separator (and
// without the separator when nothing follows it): "-12.5", "0.00001", "7".
String BcdToStr(const TBcd& value, Char separator = u'.');

// The nearest double.
double BcdToDouble(const TBcd& value);
// The shortest decimal that reads back as the same double; EConvertError
// for NaN, infinities and numbers beyond 64 digits. Places beyond
// kMaxBcdPlaces are rounded away.
TBcd DoubleToBcd(double value);

// -1, 0 or 1 by value (2.50 equals 2.5).
int BcdCompare(const TBcd& a, const TBcd& b);

}  // namespace kavo

#endif  // KAVO_RTL_BCD_H_
