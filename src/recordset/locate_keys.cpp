#include "recordset/locate_keys.h"

#include <cmath>

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

bool KeyValueMatches(const OraVariant& have, const OraVariant& wanted, bool ignore_case,
                     bool partial) {
  if (wanted.IsEmptyOrNull() || have.IsEmptyOrNull())
    return wanted.IsEmptyOrNull() == have.IsEmptyOrNull();
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
