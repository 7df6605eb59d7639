#include "service/timer_period.h"

#include <cstdlib>
#include <limits>

namespace kavo {

int32_t MinutosFromText(StringView text) {
  String s(text);
  if (s.size() >= 3 && s[0] == u'0' && (s[1] == u'x' || s[1] == u'X')) s = u"$" + s.substr(2);
  return StrToIntDef(s, kDefaultMinutos);
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
