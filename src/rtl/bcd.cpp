#include "rtl/bcd.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include "rtl/exceptions.h"

namespace kavo {

namespace {

// A decimal as ASCII digits: `places` of them after the point (digits has at
// least that many), no leading zeros before the point.
struct Decimal {
  bool negative = false;
  std::string digits;
  int places = 0;
};

void StripLeadingZeros(Decimal& d) {
  size_t integer = d.digits.size() - static_cast<size_t>(d.places);
  size_t zeros = 0;
  while (zeros < integer && d.digits[zeros] == '0') ++zeros;
  d.digits.erase(0, zeros);
  if (d.digits.empty()) d.digits = "0";
}

bool IsZero(const Decimal& d) { return d.digits.find_first_not_of('0') == std::string::npos; }

bool Unpack(const TBcd& value, Decimal& out) {
  const int precision = value.Precision;
  const int places = BcdPlaces(value);
  if (precision > kMaxBcdDigits) return false;
  out.digits.resize(static_cast<size_t>(precision));
  for (int i = 0; i < precision; ++i) {
    int digit = (value.Fraction[i / 2] >> (i % 2 == 0 ? 4 : 0)) & 0x0F;
    if (digit > 9) return false;
    out.digits[static_cast<size_t>(i)] = static_cast<char>('0' + digit);
  }
  // Fewer digits than places: the zeros after the point are implied.
  if (out.digits.size() < static_cast<size_t>(places))
    out.digits.insert(0, static_cast<size_t>(places) - out.digits.size(), '0');
  out.places = places;
  out.negative = (value.SignSpecialPlaces & 0x80) != 0;
  if (out.digits.empty()) out.digits = "0";
  return true;
}

// Drops places beyond `places`, rounding half away from zero.
void RoundTo(Decimal& d, int places) {
  if (d.places <= places) return;
  const size_t keep = d.digits.size() - static_cast<size_t>(d.places - places);
  const bool up = d.digits[keep] >= '5';
  d.digits.resize(keep);
  d.places = places;
  if (up) {
    size_t i = d.digits.size();
    while (i > 0 && d.digits[i - 1] == '9') d.digits[--i] = '0';
    if (i == 0)
      d.digits.insert(0, 1, '1');
    else
      ++d.digits[i - 1];
  }
  if (d.digits.size() < static_cast<size_t>(d.places))
    d.digits.insert(0, static_cast<size_t>(d.places) - d.digits.size(), '0');
}

void Pad(Decimal& d, int places) {
  if (d.places >= places) return;
  d.digits.append(static_cast<size_t>(places - d.places), '0');
  d.places = places;
}

bool Pack(Decimal d, TBcd& out) {
  RoundTo(d, kMaxBcdPlaces);
  StripLeadingZeros(d);
  if (d.digits.size() > static_cast<size_t>(kMaxBcdDigits)) return false;
  out = TBcd{};
  out.Precision = static_cast<uint8_t>(d.digits.size());
  out.SignSpecialPlaces =
      static_cast<uint8_t>((d.negative && !IsZero(d) ? 0x80 : 0) | (d.places & 0x3F));
  for (size_t i = 0; i < d.digits.size(); ++i)
    out.Fraction[i / 2] |= static_cast<uint8_t>((d.digits[i] - '0') << (i % 2 == 0 ? 4 : 0));
  return true;
}

// The integer of the digits, within int64 by the sign; false beyond.
bool ToInt64(const Decimal& d, int64_t& out) {
  const uint64_t limit =
      static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) + (d.negative ? 1 : 0);
  uint64_t value = 0;
  for (char c : d.digits) {
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (limit - digit) / 10) return false;
    value = value * 10 + digit;
  }
  out = d.negative ? static_cast<int64_t>(0 - value) : static_cast<int64_t>(value);
  return true;
}

std::string Text(const Decimal& d) {
  std::string text = d.negative && !IsZero(d) ? "-" : "";
  const size_t integer = d.digits.size() - static_cast<size_t>(d.places);
  text += integer == 0 ? std::string("0") : d.digits.substr(0, integer);
  std::string fraction = d.digits.substr(integer);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) text += "." + fraction;
  return text;
}

}  // namespace

bool BcdIsZero(const TBcd& value) {
  for (int i = 0; i < value.Precision && i < kMaxBcdDigits; ++i)
    if (((value.Fraction[i / 2] >> (i % 2 == 0 ? 4 : 0)) & 0x0F) != 0) return false;
  return true;
}

TBcd Int64ToBcd(int64_t unscaled, int places) {
  // Packed straight from the integer: a fetched NUMERIC(18,6) comes here on
  // every row, and the digits never need a text form.
  const int p = places < 0 ? 0 : places > kMaxBcdPlaces ? kMaxBcdPlaces : places;
  uint64_t magnitude =
      unscaled < 0 ? 0 - static_cast<uint64_t>(unscaled) : static_cast<uint64_t>(unscaled);
  const bool negative = magnitude != 0 && unscaled < 0;
  uint8_t reversed[20];
  int n = 0;
  do {
    reversed[n++] = static_cast<uint8_t>(magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  // Zeros before the digits when there are fewer digits than places.
  const int precision = n > p ? n : p;
  TBcd out;
  out.Precision = static_cast<uint8_t>(precision);
  out.SignSpecialPlaces = static_cast<uint8_t>((negative ? 0x80 : 0) | (p & 0x3F));
  for (int i = 0; i < precision; ++i) {
    const int from_right = precision - 1 - i;
    const uint8_t digit = from_right < n ? reversed[from_right] : 0;
    out.Fraction[i / 2] |= static_cast<uint8_t>(digit << (i % 2 == 0 ? 4 : 0));
  }
  return out;
}

bool BcdToScaledInt64(const TBcd& value, int places, int64_t& unscaled) {
  Decimal d;
  if (!Unpack(value, d) || places < 0) return false;
  RoundTo(d, places);
  Pad(d, places);
  return ToInt64(d, unscaled);
}

bool BcdToExactInt64(const TBcd& value, int64_t& unscaled, int& places) {
  Decimal d;
  if (!Unpack(value, d)) return false;
  while (d.places > 0 && d.digits.back() == '0') {
    d.digits.pop_back();
    --d.places;
  }
  StripLeadingZeros(d);
  if (!ToInt64(d, unscaled)) return false;
  places = d.places;
  return true;
}

bool TryStrToBcd(StringView text, TBcd& out, Char separator) {
  size_t i = 0, end = text.size();
  while (i < end && text[i] <= u' ') ++i;
  while (end > i && text[end - 1] <= u' ') --end;
  Decimal d;
  if (i < end && (text[i] == u'-' || text[i] == u'+')) d.negative = text[i++] == u'-';
  bool seen_separator = false, seen_digit = false;
  for (; i < end; ++i) {
    const Char c = text[i];
    if (c >= u'0' && c <= u'9') {
      d.digits += static_cast<char>(c);
      if (seen_separator) ++d.places;
      seen_digit = true;
    } else if (c == separator && !seen_separator) {
      seen_separator = true;
    } else {
      return false;
    }
  }
  if (!seen_digit) return false;
  if (d.places > kMaxBcdPlaces) return false;
  return Pack(d, out);
}

TBcd StrToBcd(StringView text, Char separator) {
  TBcd out;
  if (!TryStrToBcd(text, out, separator))
    throw EConvertError(u"'" + String(text) + u"' is not a valid BCD value");
  return out;
}

String BcdToStr(const TBcd& value, Char separator) {
  Decimal d;
  if (!Unpack(value, d)) return u"0";
  String text = AsciiToString(Text(d));
  if (separator != u'.')
    for (Char& c : text)
      if (c == u'.') c = separator;
  return text;
}

double BcdToDouble(const TBcd& value) {
  Decimal d;
  if (!Unpack(value, d)) return 0;
  const std::string text = Text(d);
  double out = 0;
  std::from_chars(text.data(), text.data() + text.size(), out);
  return out;
}

TBcd DoubleToBcd(double value) {
  if (!std::isfinite(value)) throw EConvertError(u"Invalid BCD value: not a finite number");
  char buffer[400];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
  Decimal d;
  if (ec == std::errc()) {
    for (char* p = buffer; p < end; ++p) {
      if (*p == '-') d.negative = true;
      else if (*p == '.') d.places = static_cast<int>(end - p - 1);
      else d.digits += *p;
    }
  }
  TBcd out;
  if (ec != std::errc() || !Pack(d, out))
    throw EConvertError(u"BCD overflow: the number has more than 64 digits");
  return out;
}

int BcdCompare(const TBcd& a, const TBcd& b) {
  Decimal x, y;
  Unpack(a, x);
  Unpack(b, y);
  const bool xn = x.negative && !IsZero(x), yn = y.negative && !IsZero(y);
  if (xn != yn) return xn ? -1 : 1;
  const int places = std::max(x.places, y.places);
  Pad(x, places);
  Pad(y, places);
  StripLeadingZeros(x);
  StripLeadingZeros(y);
  int magnitude = x.digits.size() != y.digits.size()
                      ? (x.digits.size() < y.digits.size() ? -1 : 1)
                      : x.digits.compare(y.digits) < 0 ? -1 : x.digits == y.digits ? 0 : 1;
  return xn ? -magnitude : magnitude;
}

}  // namespace kavo
