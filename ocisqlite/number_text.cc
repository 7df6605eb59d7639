#include "number_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

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

}  // namespace kavo::ocisqlite
