// The timer period of the INI value MINUTOS.
#ifndef KAVO_SERVICE_TIMER_PERIOD_H_
#define KAVO_SERVICE_TIMER_PERIOD_H_

#include <cstdint>

#include "rtl/ustring.h"

namespace kavo {

constexpr int32_t kDefaultMinutos = 5;

// The INI text as a number of minutes: "0x"/"0X" at the start of a text of
// at least three characters stands for "$"; then decimal or hexadecimal
// ("$", "x", "0x") with optional blanks and sign before; anything else,
// empty text or a value outside the signed 32-bit range gives 5.
int32_t MinutosFromText(StringView text);

// Milliseconds in a minute: 60000, or the value of the test-only
// environment variable KAVO_TEST_MINUTE_MS (1 to 60000), so that process
// tests need not wait whole minutes.
int32_t MinuteMilliseconds();

// minutos times the minute in signed 32-bit arithmetic, wrapping as the
// stored field does.
int32_t MinutosToMilliseconds(int32_t minutos, int32_t minute_ms);

// Whether the period is one the timer can use: not negative and within the
// signed 32-bit range once multiplied.
bool UsableTimerPeriod(int32_t minutos, int32_t minute_ms);

}  // namespace kavo

#endif  // KAVO_SERVICE_TIMER_PERIOD_H_
