#include "recordset/locate_keys.h"

#include <cmath>

#include "rtl/bcd.h"
#include "rtl/format_settings.h"

namespace kavo {

std::vector<String> SplitFieldNames(const String& list) {
  std::vector<String> names;
  size_t start = 0;
  String text = list + u";";
  for (size_t semi; (semi = text.find(u';', start)) != String::npos; start = semi + 1) {
    String name = Trim(text.substr(start, semi - start));
    if (!name.empty()) names.push_back(name);
  }
  return names;
}

namespace {

// A key as an exact decimal, when it is a number (or a number's text).
bool AsBcd(const OraVariant& v, TBcd& out) {
  switch (v.Kind()) {
    case vkDecimal: return TryStrToBcd(v.DecimalText(), out);
    case vkInteger: case vkBoolean: out = Int64ToBcd(v.AsInteger()); return true;
    case vkDouble:
      if (!std::isfinite(v.AsDouble())) return false;
      out = DoubleToBcd(v.AsDouble());
      return true;
    case vkString: case vkAnsiString:
      return TryStrToBcd(Trim(v.AsString()), out, FormatSettings().DecimalSeparator);
    default: return false;
  }
}

}  // namespace

bool KeyValueMatches(const OraVariant& have, const OraVariant& wanted, bool ignore_case,
                     bool partial) {
  if (wanted.IsEmptyOrNull() || have.IsEmptyOrNull())
    return wanted.IsEmptyOrNull() == have.IsEmptyOrNull();
  // An exact decimal is compared digit for digit, never through a double.
  TBcd a, b;
  if ((have.Kind() == vkDecimal || wanted.Kind() == vkDecimal) && !partial &&
      AsBcd(have, a) && AsBcd(wanted, b))
    return BcdCompare(a, b) == 0;
  if (have.IsString() || wanted.IsString()) {
    String a = have.AsString(), b = wanted.AsString();
    if (ignore_case) {
      a = UpperCase(a);
      b = UpperCase(b);
    }
    return partial ? a.compare(0, b.size(), b) == 0 : a == b;
  }
  if (have.Kind() == vkDate || wanted.Kind() == vkDate)
    return std::fabs(have.AsDateTime() - wanted.AsDateTime()) <= 1e-9;
  return have.AsDouble() == wanted.AsDouble();
}

}  // namespace kavo
