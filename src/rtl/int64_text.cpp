#include "rtl/int64_text.h"

#include "rtl/exceptions.h"
#include "rtl/format.h"

namespace kavo {

bool TryStrToInt64(StringView text, int64_t& value) {
  String t = Trim(text);
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) negative = t[i++] == u'-';
  const uint64_t limit = negative ? 9223372036854775808ull : 9223372036854775807ull;
  uint64_t v = 0;
  if (i == t.size()) return false;
  for (; i < t.size(); ++i) {
    if (t[i] < u'0' || t[i] > u'9') return false;
    uint64_t digit = static_cast<uint64_t>(t[i] - u'0');
    if (v > (limit - digit) / 10) return false;
    v = v * 10 + digit;
  }
  value = negative ? static_cast<int64_t>(0 - v) : static_cast<int64_t>(v);
  return true;
}

int64_t StrToInt64(StringView text) {
  int64_t value;
  if (!TryStrToInt64(text, value))
    throw EConvertError(Format(u"'%s' is not a valid integer value", {String(text)}));
  return value;
}

}  // namespace kavo
