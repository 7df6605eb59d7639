// Time-of-day text under the process-wide settings.
#include "testkit/pinned_locale.h"

#include "rtl/exceptions.h"
#include "rtl/str_to_time.h"

namespace kavo::test {
namespace {

using TimeTextTest = PinnedLocale;

int32_t Ms(TDateTime t) { return DateTimeToTimeStamp(t).Time; }
int32_t Ms(int h, int m, int s, int ms = 0) { return ((h * 60 + m) * 60 + s) * 1000 + ms; }

TEST_F(TimeTextTest, ReadsTwentyFourHourAndDesignatorForms) {
  EXPECT_EQ(Ms(StrToTime(u"14:05:09")), Ms(14, 5, 9));
  EXPECT_EQ(Ms(StrToTime(u"2:05 PM")), Ms(14, 5, 0));
  EXPECT_EQ(Ms(StrToTime(u"12:30 AM")), Ms(0, 30, 0));
  EXPECT_EQ(Ms(StrToTime(u"12:30 pm")), Ms(12, 30, 0));
  EXPECT_EQ(Ms(StrToTime(u"PM 3")), Ms(15, 0, 0));
  EXPECT_EQ(Ms(StrToTime(u"7")), Ms(7, 0, 0));
  EXPECT_EQ(Ms(StrToTime(u"14:05:09,250")), Ms(14, 5, 9, 250));  // ',' is the decimal separator
  EXPECT_EQ(StrToTime(u"14:05:09") < 1, true);  // time of day on 1899-12-30
  EXPECT_GE(StrToTime(u"00:00"), 0);
}

TEST_F(TimeTextTest, BlanksAreSkippedBeforeElementsAndAtTheEnd) {
  EXPECT_EQ(Ms(StrToTime(u"14:05:09   ")), Ms(14, 5, 9));
  EXPECT_EQ(Ms(StrToTime(u"  14 : 05")), Ms(14, 5, 0));
}

TEST_F(TimeTextTest, RejectsWhatIsNotATime) {
  EXPECT_RAISES(StrToTime(u"14.05.09"), EConvertError, "''14.05.09'' is not a valid time");
  EXPECT_RAISES(StrToTime(u"24:00"), EConvertError, "''24:00'' is not a valid time");
  EXPECT_RAISES(StrToTime(u""), EConvertError, "'''' is not a valid time");
  EXPECT_RAISES(StrToTime(u"   "), EConvertError, "''   '' is not a valid time");
  for (const Char* bad : {u"14:60", u"14:05:60", u"13:00 PM", u"0 AM", u"14:", u"14:05:", u"x",
                          u"14:05:09\t", u"12345", u"14:05 PM PM", u"AM", u"1:2:3,1000"})
    EXPECT_THROW(StrToTime(bad), EConvertError) << StringToUtf8(bad);
}

TEST_F(TimeTextTest, UsesTheLocalesSeparatorAndDesignators) {
  TFormatSettings dotted = FormatSettings();
  dotted.TimeSeparator = u'.';
  dotted.TimeAMString = u"vorm.";
  dotted.TimePMString = u"nachm.";
  EXPECT_THROW(StrToTime(u"14:05:09", dotted), EConvertError);
  EXPECT_EQ(Ms(StrToTime(u"14.05.09", dotted)), Ms(14, 5, 9));
  EXPECT_EQ(Ms(StrToTime(u"2.05 NACHM.", dotted)), Ms(14, 5, 0));
  EXPECT_EQ(Ms(StrToTime(u"2.05 pm", dotted)), Ms(14, 5, 0));  // "PM" always counts
  FormatSettings() = dotted;
  EXPECT_RAISES(StrToTime(u"14:05:09"), EConvertError, "''14:05:09'' is not a valid time");
}

TEST_F(TimeTextTest, EmptyDesignatorNeverMatches) {
  TFormatSettings fs = FormatSettings();
  fs.TimeAMString.clear();
  fs.TimePMString.clear();
  EXPECT_EQ(Ms(StrToTime(u"11 am", fs)), Ms(11, 0, 0));
  EXPECT_THROW(StrToTime(u"11 x", fs), EConvertError);
}

}  // namespace
}  // namespace kavo::test
