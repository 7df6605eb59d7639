#include "service/timer_period.h"

#include <gtest/gtest.h>

#include "rtl/format_settings.h"
#include "service/date_time_text.h"

namespace kavo::test {
namespace {

TEST(Minutos, TextForms) {
  EXPECT_EQ(MinutosFromText(u"0x0A"), 10);
  EXPECT_EQ(MinutosFromText(u"0X0a"), 10);
  EXPECT_EQ(MinutosFromText(u"$A"), 10);
  EXPECT_EQ(MinutosFromText(u"10"), 10);
  EXPECT_EQ(MinutosFromText(u"  +10"), 10);
  EXPECT_EQ(MinutosFromText(u"0"), 0);
  EXPECT_EQ(MinutosFromText(u"-3"), -3);
}

TEST(Minutos, AnythingElseIsFive) {
  EXPECT_EQ(MinutosFromText(u"ten"), 5);
  EXPECT_EQ(MinutosFromText(u""), 5);
  EXPECT_EQ(MinutosFromText(u"10 "), 5);
  EXPECT_EQ(MinutosFromText(u"10min"), 5);
  EXPECT_EQ(MinutosFromText(u"0x"), 5);
  EXPECT_EQ(MinutosFromText(u"2147483648"), 5);
  EXPECT_EQ(MinutosFromText(u"2147483647"), 2147483647);
  EXPECT_EQ(MinutosFromText(u"-2147483648"), -2147483647 - 1);
}

TEST(Minutos, HexadecimalBeyondTheSigned32BitRangeIsFive) {
  EXPECT_EQ(MinutosFromText(u"$7FFFFFFF"), 2147483647);
  EXPECT_EQ(MinutosFromText(u"-$80000000"), -2147483647 - 1);
  EXPECT_EQ(MinutosFromText(u"$80000000"), 5);
  EXPECT_EQ(MinutosFromText(u"0xFFFFFFFF"), 5);  // not -1
  EXPECT_EQ(MinutosFromText(u"xffffffff"), 5);
  EXPECT_EQ(MinutosFromText(u"-$80000001"), 5);
  EXPECT_EQ(MinutosFromText(u" -0X0a"), -10);
}

TEST(Minutos, MillisecondsWrapInSigned32BitArithmetic) {
  EXPECT_EQ(MinutosToMilliseconds(10, 60000), 600000);
  EXPECT_EQ(MinutosToMilliseconds(20, 60000), 1200000);
  EXPECT_EQ(MinutosToMilliseconds(-1, 60000), -60000);
  EXPECT_EQ(MinutosToMilliseconds(35792, 60000), -2147447296);
}

TEST(Minutos, UsablePeriods) {
  EXPECT_TRUE(UsableTimerPeriod(0, 60000));
  EXPECT_TRUE(UsableTimerPeriod(5, 60000));
  EXPECT_TRUE(UsableTimerPeriod(35791, 60000));  // 2147460000 ms
  EXPECT_FALSE(UsableTimerPeriod(35792, 60000));
  EXPECT_FALSE(UsableTimerPeriod(-1, 60000));
  EXPECT_FALSE(UsableTimerPeriod(2147483647, 60000));
  EXPECT_TRUE(UsableTimerPeriod(35792, 100));
}

TEST(Minutos, MinuteIsSixtySecondsOutsideProcessTests) {
  EXPECT_EQ(MinuteMilliseconds(), 60000);  // the test-only variable is not set here
}

TEST(DateTimeText, MidnightIsTheDateAlone) {
  TFormatSettings fs = FormatSettingsFromPatterns("%d/%m/%Y", "%H:%M:%S", "", "", ".", ",");
  EXPECT_EQ(DT(EncodeDate(2026, 12, 8), fs), u"08/12/2026");
  EXPECT_EQ(DT(EncodeDate(2026, 12, 8) + EncodeTime(0, 0, 0, 1), fs), u"08/12/2026 00:00:00");
}

TEST(DateTimeText, TwentyFourHourLocale) {
  TFormatSettings fs = FormatSettingsFromPatterns("%d/%m/%Y", "%H:%M:%S", "", "", ",", ".");
  EXPECT_EQ(DT(EncodeDate(2026, 12, 8) + EncodeTime(14, 5, 9, 0), fs), u"08/12/2026 14:05:09");
  TFormatSettings dots = FormatSettingsFromPatterns("%d.%m.%Y", "%H.%M.%S", "", "", ",", ".");
  EXPECT_EQ(DT(EncodeDate(2026, 1, 2) + EncodeTime(3, 4, 5, 0), dots), u"02.01.2026 03.04.05");
}

TEST(DateTimeText, TwelveHourLocaleWithTheDesignatorAfter) {
  TFormatSettings fs = FormatSettingsFromPatterns("%m/%d/%Y", "%I:%M:%S %p", "AM", "PM", ".", ",");
  EXPECT_EQ(DT(EncodeDate(2026, 12, 8) + EncodeTime(14, 5, 9, 0), fs), u"12/08/2026 02:05:09 PM");
  EXPECT_EQ(DT(EncodeDate(2026, 12, 8) + EncodeTime(0, 30, 0, 0), fs), u"12/08/2026 12:30:00 AM");
}

TEST(DateTimeText, TwelveHourLocaleWithTheDesignatorBefore) {
  TFormatSettings fs =
      FormatSettingsFromPatterns("%Y/%m/%d", "%p %I:%M:%S", "\xE4\xB8\x8A\xE5\x8D\x88",
                                 "\xE4\xB8\x8B\xE5\x8D\x88", ".", ",");
  EXPECT_EQ(DT(EncodeDate(2026, 12, 8) + EncodeTime(14, 5, 9, 0), fs),
            u"2026/12/08 \u4E0B\u5348 02:05:09");
  EXPECT_EQ(DT(EncodeDate(2026, 12, 8) + EncodeTime(9, 5, 9, 0), fs),
            u"2026/12/08 \u4E0A\u5348 09:05:09");
}

}  // namespace
}  // namespace kavo::test
