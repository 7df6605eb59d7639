// The server's own forms of dates and times, computed here rather than by
// the client's encoders: a parameter's date and time are set on every row,
// and the encoders would need the value broken into a calendar date first.
#ifndef KAVO_IB_SERVER_DATES_H_
#define KAVO_IB_SERVER_DATES_H_

#include "ib/ib_header.h"
#include "rtl/datetime.h"

namespace kavo {

// The day of 1858-11-17, where the server starts counting, as a TTimeStamp day.
constexpr int32_t kServerDayZero = 678576;

// The server's day for `ts`; false when the day has no calendar date
// (before 0001-01-01 or after 9999-12-31), where the client's encoder must
// decide what the broken-down value makes.
inline bool ServerDate(const TTimeStamp& ts, ISC_DATE& date) {
  if (ts.Date < 1 || ts.Date > kLastCalendarDay) return false;
  date = ts.Date - kServerDayZero;
  return true;
}

// Ten-thousandths of a second since midnight, whole seconds only: the
// client's encoder takes hours, minutes and seconds and drops milliseconds.
inline ISC_TIME ServerTime(const TTimeStamp& ts) {
  return static_cast<ISC_TIME>(ts.Time / 1000) * ISC_TIME_SECONDS_PRECISION;
}

}  // namespace kavo

#endif  // KAVO_IB_SERVER_DATES_H_
