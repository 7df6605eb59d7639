#include "oracle/oracle_date.h"

#include "rtl/exceptions.h"
#include "rtl/float_text.h"

namespace kavo {

namespace {

// The years both a DATE and this date-time type hold: 0001-01-01 00:00:00
// up to 9999-12-31 23:59:59. Dates before 1899-12-30 count down with the time
// subtracted, so the first instant of year 1 is just above -693594.
constexpr TDateTime kFirstInvalidAfter = 2958466.0;  // 10000-01-01

void CheckDateRange(TDateTime value) {
  // Checked again after rounding to the millisecond: a value a hair below a
  // bound rounds onto the day past it.
  if (value > -kDateDelta && value < kFirstInvalidAfter) {
    int32_t day = DateTimeToTimeStamp(value).Date;
    if (day >= 1 && day <= kLastCalendarDay) return;
  }
  throw EConvertError(u"The date-time " + FloatToStr(value) +
                      u" is outside the range of an Oracle date (years 1 to 9999)");
}

// The before-the-calendar value every invalid date reads as: 0001-01-01 minus one.
constexpr TDateTime kNoDate = -kDateDelta;

TDateTime Combine(int year, int month, int day, int hour, int minute, int second) {
  TDateTime date = kNoDate;
  if (year <= 0 || !TryEncodeDate(year, month, day, date)) date = kNoDate;
  TDateTime time = 0;
  if (!TryEncodeTime(hour, minute, second, 0, time)) time = 0;
  return CombineDateTime(date, time);
}

}  // namespace

void CheckOracleDate(TDateTime value) { CheckDateRange(value); }

void NativeToOracleDate(uint8_t* buffer, TDateTime value) {
  OCIDateRecord r;
  NativeToOCIDate(r, value);
  buffer[0] = static_cast<uint8_t>(r.year / 100 + 100);
  buffer[1] = static_cast<uint8_t>(r.year % 100 + 100);
  buffer[2] = r.month;
  buffer[3] = r.day;
  buffer[4] = static_cast<uint8_t>(r.hour + 1);
  buffer[5] = static_cast<uint8_t>(r.minute + 1);
  buffer[6] = static_cast<uint8_t>(r.second + 1);
}

TDateTime OracleToNativeDate(const uint8_t* b) {
  int year = b[0] * 100 + b[1] - 10100;
  return Combine(year, b[2], b[3], b[4] - 1, b[5] - 1, b[6] - 1);
}

bool OracleDateToTimeStamp(const uint8_t* b, TTimeStamp& ts) {
  const int year = b[0] * 100 + b[1] - 10100, month = b[2], day = b[3];
  const int hour = b[4] - 1, minute = b[5] - 1, second = b[6] - 1;
  if (hour < 0 || hour >= 24 || minute < 0 || minute >= 60 || second < 0 || second >= 60 ||
      !TryDayNumber(year, month, day, ts.Date))
    return false;
  ts.Time = ((hour * 60 + minute) * 60 + second) * 1000;
  return true;
}

void NativeToOCIDate(OCIDateRecord& r, TDateTime value) {
  CheckDateRange(value);
  int y, m, d, h, n, s, ms;
  DecodeDate(value, y, m, d);
  DecodeTime(value, h, n, s, ms);
  r.year = static_cast<int16_t>(y);
  r.month = static_cast<uint8_t>(m);
  r.day = static_cast<uint8_t>(d);
  r.hour = static_cast<uint8_t>(h);
  r.minute = static_cast<uint8_t>(n);
  r.second = static_cast<uint8_t>(s);
}

TDateTime OCIToNativeDate(const OCIDateRecord& r) {
  return Combine(r.year, r.month, r.day, r.hour, r.minute, r.second);
}

}  // namespace kavo
