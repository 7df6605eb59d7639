#include "oracle/oracle_date.h"

namespace kavo {

namespace {

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

void NativeToOCIDate(OCIDateRecord& r, TDateTime value) {
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
