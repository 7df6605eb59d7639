#include "rtl/str_to_date_time.h"

#include <gtest/gtest.h>

#include "rtl/exceptions.h"

namespace kavo::test {
namespace {

TFormatSettings DayFirst() {
  return FormatSettingsFromPatterns("%d.%m.%Y", "%H:%M:%S", "AM", "PM", ",", ".");
}

TEST(CombineDateTime, TimeCountsForwardWithinTheDayEvenBefore1899) {
  EXPECT_EQ(CombineDateTime(EncodeDate(2026, 12, 8), 0.25), EncodeDate(2026, 12, 8) + 0.25);
  EXPECT_EQ(CombineDateTime(0, 0.75), 0.75);
  TDateTime before = CombineDateTime(EncodeDate(1899, 12, 29), 0.25);
  EXPECT_EQ(before, -1.25);
  int h, n, s, ms;
  DecodeTime(before, h, n, s, ms);
  EXPECT_EQ(h, 6);
  EXPECT_EQ(n, 0);
}

TEST(StrToDateTime, FieldsFollowTheShortDatePattern) {
  TDateTime v = 0;
  ASSERT_TRUE(TryStrToDateTime(u"12/08/2026", v, TFormatSettings()));
  EXPECT_EQ(v, EncodeDate(2026, 12, 8));
  ASSERT_TRUE(TryStrToDateTime(u"08.12.2026", v, DayFirst()));
  EXPECT_EQ(v, EncodeDate(2026, 12, 8));
  TFormatSettings iso = FormatSettingsFromPatterns("%Y-%m-%d", "%H:%M:%S", "", "", ".", ",");
  ASSERT_TRUE(TryStrToDateTime(u"2026-12-08", v, iso));
  EXPECT_EQ(v, EncodeDate(2026, 12, 8));
  // A pattern without all three fields falls back to month, day, year.
  TFormatSettings odd;
  odd.ShortDateFormat = u"dd";
  ASSERT_TRUE(TryStrToDateTime(u"12/08/2026", v, odd));
  EXPECT_EQ(v, EncodeDate(2026, 12, 8));
}

TEST(StrToDateTime, TwoDigitYearsPivotAtFifty) {
  TDateTime v = 0;
  ASSERT_TRUE(TryStrToDateTime(u"01.02.49", v, DayFirst()));
  EXPECT_EQ(v, EncodeDate(2049, 2, 1));
  ASSERT_TRUE(TryStrToDateTime(u"01.02.50", v, DayFirst()));
  EXPECT_EQ(v, EncodeDate(1950, 2, 1));
  ASSERT_TRUE(TryStrToDateTime(u"01.02.0100", v, DayFirst()));
  EXPECT_EQ(v, EncodeDate(100, 2, 1));
}

TEST(StrToDateTime, DateWithTimeAndTimeAlone) {
  const TFormatSettings fs = DayFirst();
  TDateTime v = 0;
  ASSERT_TRUE(TryStrToDateTime(u"  08.12.2026   14:05:09,250 ", v, fs));
  EXPECT_EQ(v, EncodeDate(2026, 12, 8) + EncodeTime(14, 5, 9, 250));
  ASSERT_TRUE(TryStrToDateTime(u"08.12.2026 2:05 pm", v, fs));
  EXPECT_EQ(v, EncodeDate(2026, 12, 8) + EncodeTime(14, 5, 0, 0));
  ASSERT_TRUE(TryStrToDateTime(u"15.06.1850 12:00", v, fs));
  EXPECT_EQ(v, EncodeDate(1850, 6, 15) - 0.5);
  ASSERT_TRUE(TryStrToDateTime(u"14:05", v, fs));
  EXPECT_EQ(v, EncodeTime(14, 5, 0, 0));
  ASSERT_TRUE(TryStrToDateTime(u"2:30 PM", v, fs));
  EXPECT_EQ(v, EncodeTime(14, 30, 0, 0));
}

TEST(StrToDateTime, RejectsWhatIsNeitherDateNorTime) {
  const TFormatSettings fs = DayFirst();
  TDateTime v = 42;
  for (const char16_t* text :
       {u"", u"   ", u"31.02.2026", u"08.12", u"08..2026", u"08/12/2026", u"08.12.2026x",
        u"08.12.2026 25:00", u"08.12.2026 14:05 xx", u"2 PM", u"13:00 PM", u"08.12.2026.1"}) {
    EXPECT_FALSE(TryStrToDateTime(text, v, fs)) << StringToUtf8(text);
  }
  EXPECT_EQ(v, 42);
  try {
    StrToDateTime(u"soon", fs);
    ADD_FAILURE() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), u"'soon' is not a valid date and time");
  }
  EXPECT_EQ(StrToDateTime(u"08.12.2026", fs), EncodeDate(2026, 12, 8));
}

}  // namespace
}  // namespace kavo::test
