#include "number_text.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "errors.h"
#include "lexer.h"

namespace kavo::ocisqlite {

std::string NumberText(int64_t v) { return std::to_string(v); }

std::string NumberText(double v) {
  if (v == 0 || !std::isfinite(v)) return "0";
  if (std::fabs(v) < 9.2e18 && v == std::floor(v)) return std::to_string(static_cast<int64_t>(v));
  // Fifteen significant digits: what a double holds of a decimal NUMBER.
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", std::fabs(v));
  std::string mant;
  for (const char* p = buf; *p && *p != 'e'; ++p)
    if (*p != '.') mant += *p;
  int exp = std::atoi(std::strchr(buf, 'e') + 1);
  while (mant.size() > 1 && mant.back() == '0') mant.pop_back();
  std::string out = v < 0 ? "-" : "";
  if (exp >= 40 || exp <= -40) {
    out += mant.substr(0, 1);
    out += '.';
    out += mant.size() > 1 ? mant.substr(1) : "0";
    char e[8];
    std::snprintf(e, sizeof e, "E%+03d", exp);
    return out + e;
  }
  if (exp < 0) return out + "." + std::string(static_cast<size_t>(-exp - 1), '0') + mant;
  size_t int_len = static_cast<size_t>(exp) + 1;
  if (mant.size() <= int_len) return out + mant + std::string(int_len - mant.size(), '0');
  return out + mant.substr(0, int_len) + "." + mant.substr(int_len);
}

bool ParseNumber(std::string_view text, double* out) {
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  if (b == e) return false;
  std::string s(text.substr(b, e - b));
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (end != s.c_str() + s.size()) return false;
  for (char c : s)
    if (c == 'x' || c == 'X' || c == 'n' || c == 'N' || c == 'i' || c == 'I') return false;
  *out = v;
  return true;
}

namespace {

// sign * 0.digits * 10^point, digits without leading or trailing zeros (none for zero).
struct Decimal {
  bool negative = false;
  std::string digits;
  int point = 0;
};

void Normalize(Decimal* d) {
  size_t lead = d->digits.find_first_not_of('0');
  if (lead == std::string::npos) {
    d->digits.clear();
    return;
  }
  d->digits.erase(0, lead);
  d->point -= static_cast<int>(lead);
  d->digits.erase(d->digits.find_last_not_of('0') + 1);
}

Decimal FromDouble(double v) {
  Decimal d;
  d.negative = v < 0;
  if (v == 0 || !std::isfinite(v)) return d;
  char buf[40];
  // Seventeen significant digits always read back; fewer do for most values.
  for (int prec = 14; prec <= 16; ++prec) {
    std::snprintf(buf, sizeof buf, "%.*e", prec, std::fabs(v));
    if (std::strtod(buf, nullptr) == std::fabs(v)) break;
  }
  const char* e = std::strchr(buf, 'e');
  for (const char* p = buf; p < e; ++p)
    if (*p != '.') d.digits += *p;
  d.point = std::atoi(e + 1) + 1;
  Normalize(&d);
  return d;
}

// Text ParseNumber has accepted: [sign] digits [. digits] [e [sign] digits].
bool FromText(std::string_view t, Decimal* d) {
  size_t i = 0;
  while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) d->negative = t[i++] == '-';
  int before_point = 0;
  bool dot = false;
  for (; i < t.size(); ++i) {
    if (std::isdigit(static_cast<unsigned char>(t[i]))) {
      d->digits += t[i];
      if (!dot) ++before_point;
    } else if (t[i] == '.' && !dot) {
      dot = true;
    } else {
      break;
    }
  }
  if (d->digits.empty()) return false;
  long exp = 0;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    bool neg = i < t.size() && t[i] == '-';
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    if (i == t.size() || !std::isdigit(static_cast<unsigned char>(t[i]))) return false;
    for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i)
      exp = std::min(exp * 10 + (t[i] - '0'), 100000L);
    if (neg) exp = -exp;
  }
  while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
  if (i != t.size()) return false;
  d->point = before_point + static_cast<int>(exp);
  Normalize(d);
  return true;
}

double RoundDecimal(Decimal d, int scale) {
  if (d.digits.empty()) return 0;
  long keep = static_cast<long>(d.point) + scale;
  if (keep < 0) return 0;
  if (static_cast<size_t>(keep) < d.digits.size()) {
    bool up = d.digits[static_cast<size_t>(keep)] >= '5';
    d.digits.resize(static_cast<size_t>(keep));
    if (up) {
      size_t i = d.digits.size();
      while (i > 0 && d.digits[i - 1] == '9') d.digits[--i] = '0';
      if (i == 0) d.digits.insert(d.digits.begin(), '1'), ++d.point;
      else ++d.digits[i - 1];
    }
    Normalize(&d);
    if (d.digits.empty()) return 0;
  }
  std::string text = (d.negative ? "-0." : "0.") + d.digits + "e" + std::to_string(d.point);
  return std::strtod(text.c_str(), nullptr);
}

}  // namespace

double RoundNumber(double v, int scale) {
  if (!std::isfinite(v)) return v;
  return RoundDecimal(FromDouble(v), scale);
}

bool RoundNumber(std::string_view text, int scale, double* out) {
  double v;
  if (!ParseNumber(text, &v)) return false;
  Decimal d;
  *out = FromText(text, &d) ? RoundDecimal(d, scale) : RoundNumber(v, scale);
  return true;
}

std::string FormatNumber(double v, std::string_view format) {
  std::string f = AsciiUpper(format);
  bool fm = f.rfind("FM", 0) == 0;
  if (fm) f.erase(0, 2);
  size_t dot = std::string::npos;
  for (size_t i = 0; i < f.size(); ++i) {
    char c = f[i];
    if (c == '.' || c == 'D') {
      if (dot != std::string::npos) throw MakeError(1481);
      dot = i;
    } else if ((c == ',' || c == 'G') && dot == std::string::npos && i > 0) {
      continue;
    } else if (c != '9' && c != '0') {
      throw MakeError(1481);
    }
  }
  if (f.empty()) throw MakeError(1481);
  std::string ipart = f.substr(0, dot), fpart = dot == std::string::npos ? "" : f.substr(dot + 1);
  int dp = static_cast<int>(fpart.size());
  size_t ip = 0;
  for (char c : ipart) ip += c == '9' || c == '0';
  double r = RoundNumber(std::fabs(v), dp);
  std::string digits(static_cast<size_t>(std::snprintf(nullptr, 0, "%.*f", dp, r)), '\0');
  std::snprintf(digits.data(), digits.size() + 1, "%.*f", dp, r);
  size_t p = digits.find('.');
  std::string idig = digits.substr(0, p), fdig = p == std::string::npos ? "" : digits.substr(p + 1);
  if (idig == "0") idig.clear();
  size_t first_zero = ipart.find('0');
  // A zero with no decimals and no zero padding still shows its one digit.
  if (idig.empty() && dp == 0 && first_zero == std::string::npos) idig = "0";
  if (idig.size() > ip) return std::string(f.size() + 1, '#');
  // Integer positions from the right: digits, then zero padding from the leftmost 0, else blanks.
  std::string rev;
  long di = static_cast<long>(idig.size()) - 1;
  for (size_t i = ipart.size(); i-- > 0;) {
    bool padded = first_zero != std::string::npos && i >= first_zero;
    if (ipart[i] == '9' || ipart[i] == '0') rev += di >= 0 ? idig[static_cast<size_t>(di--)] : padded ? '0' : ' ';
    else rev += di >= 0 || (first_zero != std::string::npos && i > first_zero) ? ',' : ' ';
  }
  std::string out(rev.rbegin(), rev.rend());
  if (dot != std::string::npos) {
    if (fm)  // FM drops the trailing zeros that stand in 9 positions
      while (!fdig.empty() && fdig.back() == '0' && fpart[fdig.size() - 1] == '9') fdig.pop_back();
    out += "." + fdig;
  }
  size_t at = out.find_first_not_of(' ');
  if (at == std::string::npos) at = out.size();
  out.insert(at, 1, v < 0 && r != 0 ? '-' : ' ');
  if (fm) out.erase(0, out.find_first_not_of(' '));
  return out;
}

}  // namespace kavo::ocisqlite
