#include "ora_number.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "errors.h"

namespace kavo::ocisqlite {

namespace {

// Parses [-]digits[.digits][e[+-]n] into sign, digits without leading or
// trailing zeros and the position of the point among them.
bool Parse(std::string_view s, bool* negative, std::string* digits, long* point) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  *negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) *negative = s[i++] == '-';
  digits->clear();
  *point = 0;
  bool seen_point = false, any = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      any = true;
      if (digits->empty() && c == '0') {
        if (seen_point) --*point;
        continue;
      }
      *digits += c;
      if (!seen_point) ++*point;
    } else if (c == '.' && !seen_point) {
      seen_point = true;
    } else {
      break;
    }
  }
  if (!any) return false;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    char* end = nullptr;
    std::string rest(s.substr(i + 1));
    long e = std::strtol(rest.c_str(), &end, 10);
    if (end == rest.c_str()) return false;
    i += 1 + static_cast<size_t>(end - rest.c_str());
    *point += e;
  }
  while (i < s.size() && s[i] == ' ') ++i;
  if (i != s.size()) return false;
  while (!digits->empty() && digits->back() == '0') digits->pop_back();
  return true;
}

}  // namespace

size_t EncodeOraNumber(std::string_view text, unsigned char out[21]) {
  bool negative;
  std::string digits;
  long point;
  if (!Parse(text, &negative, &digits, &point)) return 0;
  if (digits.empty()) {
    out[0] = 0x80;
    return 1;
  }
  // Base-100 digits aligned on the point.
  if (point % 2 != 0) digits.insert(0, 1, '0'), ++point;
  if (digits.size() % 2) digits += '0';
  std::string pairs;  // values 0..99
  for (size_t k = 0; k < digits.size(); k += 2)
    pairs += static_cast<char>((digits[k] - '0') * 10 + (digits[k + 1] - '0'));
  long exponent = point / 2 - 1;
  if (pairs.size() > 20) {
    bool up = static_cast<unsigned char>(pairs[20]) >= 50;
    pairs.resize(20);
    for (size_t k = 20; up && k-- > 0;) {
      if (++pairs[k] < 100) up = false;
      else pairs[k] = 0;
    }
    if (up) pairs.insert(0, 1, 1), pairs.resize(20), ++exponent;
  }
  while (!pairs.empty() && pairs.back() == 0) pairs.pop_back();
  if (exponent > 62) throw MakeError(1426);
  if (exponent < -65) {  // below Oracle's smallest magnitude: zero
    out[0] = 0x80;
    return 1;
  }
  size_t n = 0;
  if (!negative) {
    out[n++] = static_cast<unsigned char>(exponent + 193);
    for (char p : pairs) out[n++] = static_cast<unsigned char>(p + 1);
  } else {
    out[n++] = static_cast<unsigned char>(62 - exponent);
    for (char p : pairs) out[n++] = static_cast<unsigned char>(101 - p);
    if (pairs.size() < 20) out[n++] = 102;
  }
  return n;
}

size_t EncodeOraNumber(double v, unsigned char out[21]) {
  if (!std::isfinite(v)) throw MakeError(1426);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  return EncodeOraNumber(std::string_view(buf), out);
}

size_t EncodeOraNumber(int64_t v, unsigned char out[21]) {
  return EncodeOraNumber(std::string_view(std::to_string(v)), out);
}

bool DecodeOraNumber(const unsigned char* in, size_t n, std::string* text) {
  if (n == 0 || n > 21) return false;
  const unsigned char e = in[0];
  if (e == 0x80 && n == 1) {
    *text = "0";
    return true;
  }
  const bool negative = e < 0x80;
  size_t digits_end = n;
  if (negative && in[n - 1] == 102) --digits_end;
  if (digits_end < 2) return false;
  long exponent = negative ? 62 - static_cast<long>(e) : static_cast<long>(e) - 193;
  std::string digits;
  for (size_t k = 1; k < digits_end; ++k) {
    int p = negative ? 101 - in[k] : in[k] - 1;
    if (p < 0 || p > 99) return false;
    digits += static_cast<char>('0' + p / 10);
    digits += static_cast<char>('0' + p % 10);
  }
  long point = (exponent + 1) * 2;  // digits before the point
  size_t lead = digits.find_first_not_of('0');
  if (lead == std::string::npos) {
    *text = "0";
    return true;
  }
  digits.erase(0, lead);
  point -= static_cast<long>(lead);
  digits.erase(digits.find_last_not_of('0') + 1);
  std::string out = negative ? "-" : "";
  const long len = static_cast<long>(digits.size());
  if (point <= 0) out += "0." + std::string(static_cast<size_t>(-point), '0') + digits;
  else if (point >= len) out += digits + std::string(static_cast<size_t>(point - len), '0');
  else out += digits.substr(0, static_cast<size_t>(point)) + "." + digits.substr(static_cast<size_t>(point));
  *text = out;
  return true;
}

}  // namespace kavo::ocisqlite
