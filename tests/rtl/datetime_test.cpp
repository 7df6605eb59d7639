#include "rtl/datetime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

#include "rtl/exceptions.h"

namespace kavo::test {
namespace {

TEST(DateTime, DayNumbersAndSplit) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(2000, 3, 1), 36586.0);
  TTimeStamp ts = DateTimeToTimeStamp(EncodeDate(1, 1, 1));
  EXPECT_EQ(ts.Date, 1);
  ts = DateTimeToTimeStamp(EncodeDate(2026, 12, 8) + EncodeTime(14, 5, 9, 123));
  EXPECT_EQ(ts.Time, ((14 * 60 + 5) * 60 + 9) * 1000 + 123);
  EXPECT_EQ(TimeStampToDateTime(ts), EncodeDate(2026, 12, 8) + EncodeTime(14, 5, 9, 123));
  // Before 1899-12-30 the time still counts forward within the day.
  TDateTime before = -1.25;  // 1899-12-29 06:00
  ts = DateTimeToTimeStamp(before);
  EXPECT_EQ(ts.Date, kDateDelta - 1);
  EXPECT_EQ(ts.Time, 6 * 3600000);
  EXPECT_EQ(TimeStampToDateTime(ts), before);
  // Milliseconds round half away from zero, as llround does, on both sides
  // of 1899-12-30 and far from it.
  for (double day : {0.0, 45000.0, -45000.0, 2.0e6, -2.0e6}) {
    for (double ms : {0.5, 1.5, 2.4999999, 86399999.5, -0.5, -1.5, -0.4999999, -86399999.5}) {
      const double value = day + ms / kMSecsPerDay;
      const int64_t expected = std::llround(value * kMSecsPerDay);
      ts = DateTimeToTimeStamp(value);
      EXPECT_EQ(static_cast<int64_t>(ts.Date - kDateDelta) * kMSecsPerDay +
                    (expected < 0 ? -ts.Time : ts.Time),
                expected)
          << day << " " << ms;
    }
  }
}

// Values without a day number in 32 bits are refused instead of splitting
// into an undefined millisecond count; the largest accepted still splits.
TEST(DateTime, ValuesBeyondTheDayRangeAreConvertErrors) {
  TFormatSettings fs;
  for (double bad : {1e300, -1e300, kMaxDateTimeMagnitude, -kMaxDateTimeMagnitude,
                     std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_THROW(DateTimeToTimeStamp(bad), EConvertError) << bad;
    EXPECT_THROW(DateTimeToStr(bad, fs), EConvertError) << bad;
    int y, m, d;
    EXPECT_THROW(DecodeDate(bad, y, m, d), EConvertError) << bad;
  }
  TTimeStamp ts = DateTimeToTimeStamp(kMaxDateTimeMagnitude - 1);
  EXPECT_EQ(ts.Date, 2147483646);
  ts = DateTimeToTimeStamp(-(kMaxDateTimeMagnitude - 1));
  EXPECT_EQ(ts.Date, 2 * kDateDelta - 2147483646);
}

TEST(DateTime, DecodeRoundTripsAcrossCalendarEdges) {
  const int dates[][3] = {{1, 1, 1}, {1600, 2, 29}, {1899, 12, 30}, {1900, 2, 28}, {2000, 2, 29},
                          {2024, 12, 31}, {9999, 12, 31}};
  for (const auto& d : dates) {
    int y, m, day;
    DecodeDate(EncodeDate(d[0], d[1], d[2]), y, m, day);
    EXPECT_EQ(y * 10000 + m * 100 + day, d[0] * 10000 + d[1] * 100 + d[2]);
  }
  EXPECT_THROW(EncodeDate(1900, 2, 29), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
}

// Consecutive days are consecutive numbers across every month and leap rule
// of four centuries and the calendar's ends, and each decodes to itself.
TEST(DateTime, EveryDayFollowsThePreviousOne) {
  for (auto [first, last] : {std::pair{1, 3}, std::pair{1896, 2304}, std::pair{9997, 9999}}) {
    TDateTime previous = EncodeDate(first, 1, 1) - 1;
    for (int y = first; y <= last; ++y)
      for (int m = 1; m <= 12; ++m)
        for (int d = 1; d <= DaysInMonth(y, m); ++d) {
          const TDateTime value = EncodeDate(y, m, d);
          ASSERT_EQ(value, previous + 1) << y << "-" << m << "-" << d;
          int yy, mm, dd;
          DecodeDate(value, yy, mm, dd);
          ASSERT_EQ(yy * 10000 + mm * 100 + dd, y * 10000 + m * 100 + d);
          previous = value;
        }
  }
  TDateTime unused;
  EXPECT_FALSE(TryEncodeDate(2100, 2, 29, unused));
  EXPECT_TRUE(TryEncodeDate(2000, 2, 29, unused));
  EXPECT_FALSE(TryEncodeDate(2024, 13, 1, unused));
}

TEST(DateTimeText, MidnightIsTheDateAlone) {
  TFormatSettings fs = FormatSettingsFromPatterns("%d/%m/%Y", "%H:%M:%S", "", "", ",", ".");
  EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 12, 8), fs), u"08/12/2026");
  EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 12, 8) + EncodeTime(14, 5, 9, 0), fs),
            u"08/12/2026 14:05:09");
  // One millisecond after midnight is not midnight.
  EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 12, 8) + EncodeTime(0, 0, 0, 1), fs),
            u"08/12/2026 00:00:00");
}

TEST(DateTimeText, TwelveHourLocalesPlaceTheDesignator) {
  TDateTime t = EncodeDate(2026, 1, 2) + EncodeTime(14, 5, 9, 0);
  TFormatSettings after = FormatSettingsFromPatterns("%m/%d/%Y", "%I:%M:%S %p", "AM", "PM", ".", ",");
  EXPECT_EQ(after.LongTimeFormat, u"hh:nn:ss AMPM");
  EXPECT_EQ(DateTimeToStr(t, after), u"01/02/2026 02:05:09 PM");
  TFormatSettings before = FormatSettingsFromPatterns("%Y-%m-%d", "%p %l:%M:%S", "AM", "PM", ".", ",");
  EXPECT_EQ(before.LongTimeFormat, u"AMPM h:nn:ss");
  EXPECT_EQ(DateTimeToStr(t, before), u"2026-01-02 PM 2:05:09");
  EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 1, 2) + EncodeTime(0, 30, 0, 0), before),
            u"2026-01-02 AM 12:30:00");
}

TEST(DateTimeText, LocaleSeparators) {
  TFormatSettings fs = FormatSettingsFromPatterns("%d.%m.%y", "%H.%M.%S", "", "", ",", ".");
  EXPECT_EQ(fs.DateSeparator, u'.');
  EXPECT_EQ(fs.TimeSeparator, u'.');
  EXPECT_EQ(fs.DecimalSeparator, u',');
  EXPECT_EQ(DateTimeToStr(EncodeDate(2026, 3, 4) + EncodeTime(5, 6, 7, 0), fs), u"04.03.26 05.06.07");
  // The C locale reads as a 24-hour US-style date (Windows: the invariant
  // locale, with four-digit years).
  TFormatSettings c = FormatSettingsFromLocale("C");
#ifdef _WIN32
  EXPECT_EQ(c.ShortDateFormat, u"mm/dd/yyyy");
  // The system's pictures ("M/d/yyyy", "h:mm:ss tt"; "dd/MM/yyyy", "HH:mm:ss").
  TFormatSettings us = FormatSettingsFromLocale("en-US");
  EXPECT_EQ(us.ShortDateFormat, u"m/d/yyyy");
  EXPECT_EQ(us.LongTimeFormat, u"h:nn:ss AMPM");
  EXPECT_EQ(us.TimeAMString, u"AM");
  TFormatSettings br = FormatSettingsFromLocale("pt-BR");
  EXPECT_EQ(br.ShortDateFormat, u"dd/mm/yyyy");
  EXPECT_EQ(br.LongTimeFormat, u"hh:nn:ss");
  EXPECT_EQ(br.DecimalSeparator, u',');
  // Padding differs between systems' data; order and separator do not.
  TFormatSettings de = FormatSettingsFromLocale("de-DE");
  EXPECT_EQ(de.ShortDateFormat.substr(0, 1), u"d");
  EXPECT_EQ(de.ShortDateFormat.substr(de.ShortDateFormat.size() - 5), u"/yyyy");
  EXPECT_EQ(de.DateSeparator, u'.');
#else
  EXPECT_EQ(c.ShortDateFormat, u"mm/dd/yy");
#endif
  EXPECT_EQ(c.LongTimeFormat, u"hh:nn:ss");
}

}  // namespace
}  // namespace kavo::test
