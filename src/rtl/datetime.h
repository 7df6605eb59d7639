// The date-time value: a double whose whole part counts days from 1899-12-30
// and whose fraction is the time of day.
#ifndef KAVO_RTL_DATETIME_H_
#define KAVO_RTL_DATETIME_H_

#include <cstdint>

#include "rtl/format_settings.h"
#include "rtl/ustring.h"

namespace kavo {

using TDateTime = double;

constexpr int32_t kMSecsPerDay = 86400000;
// Day number of 1899-12-30 when 0001-01-01 is day 1.
constexpr int32_t kDateDelta = 693594;
// Day number of 9999-12-31, the last day with a calendar date.
constexpr int32_t kLastCalendarDay = 3652059;

// A date-time split into a day number (0001-01-01 is 1) and milliseconds of
// the day: the value times 86400000 rounded to a whole millisecond count,
// divided by 86400000 (plus kDateDelta) and the remainder.
struct TTimeStamp {
  int32_t Time;
  int32_t Date;
};

// The largest magnitude whose day number fits TTimeStamp::Date.
constexpr double kMaxDateTimeMagnitude = 2147483647.0 - kDateDelta;

// Raises EConvertError "Invalid date-time value <value %g>" for NaN, the
// infinities and values of kMaxDateTimeMagnitude and beyond; so do the
// decoders and formatters below, which split the value with it.
TTimeStamp DateTimeToTimeStamp(TDateTime value);
TDateTime TimeStampToDateTime(const TTimeStamp& ts);

inline bool IsLeapYear(int year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}
int DaysInMonth(int year, int month);

// Days of the year before the first of each month (a 13th entry: the whole
// year), not counting a leap day.
inline constexpr int kDaysBeforeMonth[] = {0,   31,  59,  90,  120, 151, 181,
                                           212, 243, 273, 304, 334, 365};

// The day number of a calendar date (0001-01-01 is 1, as TTimeStamp::Date);
// false when there is no such date between 0001-01-01 and 9999-12-31.
// Inline: the Oracle reader asks it for every fetched date.
inline bool TryDayNumber(int year, int month, int day, int32_t& number) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  const int leap = month > 1 && IsLeapYear(year) ? 1 : 0;
  const int in_month = kDaysBeforeMonth[month] - kDaysBeforeMonth[month - 1];
  if (day > in_month + (month == 2 ? leap : 0)) return false;
  const int py = year - 1;
  number = py * 365 + py / 4 - py / 100 + py / 400 + kDaysBeforeMonth[month - 1] +
           (month > 2 ? leap : 0) + day;
  return true;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out);
// Throw EConvertError "Invalid argument to date encode" / "... time encode".
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);

// A date and a time of day into one value. Before 1899-12-30 the whole part
// is negative and the fraction still counts forward within the day, so there
// the time is subtracted.
inline TDateTime CombineDateTime(TDateTime date, TDateTime time) {
  return date >= 0 ? date + time : date - time;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec);

// Current local date and time from the system clock, to the millisecond.
TDateTime Now();

// Patterns: d dd (day), m mm (month), yy yyyy (year), h hh (hour), n nn
// (minute; "m"/"mm" right after an hour also mean minutes), s ss (second),
// z zzz (millisecond), "AMPM" (the settings' designator, and a 12-hour clock
// for h/hh), "am/pm"; "/" and ":" write the settings' date and time
// separators; text in single or double quotes is copied.
String FormatDateTime(StringView pattern, TDateTime value, const TFormatSettings& fs);

// Short date, then, unless the time of day is exactly midnight, one blank and
// the long time.
String DateTimeToStr(TDateTime value, const TFormatSettings& fs);

}  // namespace kavo

#endif  // KAVO_RTL_DATETIME_H_
