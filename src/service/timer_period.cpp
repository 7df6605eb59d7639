#include "service/timer_period.h"

#include <cstdlib>
#include <limits>

namespace kavo {
namespace {

// The runtime reads a hexadecimal text as a 32-bit pattern ("$FFFFFFFF" is
// -1); as a number of minutes such a value lies beyond the signed range, as
// its decimal form would. Called only for a text that converted.
bool HexBeyondInt32(StringView s) {
  size_t i = 0;
  while (i < s.size() && s[i] == u' ') ++i;
  bool negative = i < s.size() && s[i] == u'-';
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) ++i;
  if (i < s.size() && (s[i] == u'$' || s[i] == u'x' || s[i] == u'X'))
    ++i;
  else if (i + 1 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X'))
    i += 2;
  else
    return false;  // decimal, range-checked by the conversion
  uint64_t magnitude = 0;
  for (; i < s.size(); ++i) {
    Char c = s[i];
    magnitude = magnitude * 16 + (c <= u'9' ? c - u'0' : (c | 0x20) - u'a' + 10);
  }
  return magnitude > (negative ? 0x80000000ull : 0x7FFFFFFFull);
}

}  // namespace

int32_t MinutosFromText(StringView text) {
  int32_t minutos;
  if (!TryStrToInt(text, minutos) || HexBeyondInt32(text)) return kDefaultMinutos;
  return minutos;
}

int32_t MinuteMilliseconds() {
  static const int32_t minute = [] {
    const char* v = std::getenv("KAVO_TEST_MINUTE_MS");
    if (!v || !*v) return 60000;
    char* end = nullptr;
    long ms = std::strtol(v, &end, 10);
    return (*end == '\0' && ms >= 1 && ms <= 60000) ? static_cast<int32_t>(ms) : 60000;
  }();
  return minute;
}

int32_t MinutosToMilliseconds(int32_t minutos, int32_t minute_ms) {
  uint32_t product = static_cast<uint32_t>(minutos) * static_cast<uint32_t>(minute_ms);
  return static_cast<int32_t>(product);
}

bool UsableTimerPeriod(int32_t minutos, int32_t minute_ms) {
  return minutos >= 0 &&
         int64_t{minutos} * minute_ms <= std::numeric_limits<int32_t>::max();
}

}  // namespace kavo
