// Float text conversion, independent of the C library's numeric locale.
#include "testkit/pinned_locale.h"

#include <clocale>
#include <cmath>
#include <limits>

#include "rtl/exceptions.h"
#include "rtl/float_text.h"
#include "rtl/int64_text.h"

namespace kavo::test {
namespace {

TEST(FloatTextTest, GeneralFormatWithFifteenDigits) {
  TFormatSettings fs;
  fs.DecimalSeparator = u',';
  EXPECT_EQ(FloatToStr(2.5, fs), u"2,5");
  EXPECT_EQ(FloatToStr(-0.0, fs), u"0");
  EXPECT_EQ(FloatToStr(1e15, fs), u"1E15");
  EXPECT_EQ(FloatToStr(999999999999999.0, fs), u"999999999999999");
  EXPECT_EQ(FloatToStr(0.0001, fs), u"0,0001");
  EXPECT_EQ(FloatToStr(0.00001234, fs), u"1,234E-5");
  EXPECT_EQ(FloatToStr(1.0 / 3, fs, 4), u"0,3333");
  EXPECT_EQ(FloatToStr(std::numeric_limits<double>::infinity(), fs), u"INF");
  EXPECT_EQ(FloatToStr(std::nan(""), fs), u"NAN");
}

TEST(FloatTextTest, ParsingAcceptsOnlyTheSettingsSeparator) {
  TFormatSettings fs;
  fs.DecimalSeparator = u',';
  double v = 0;
  EXPECT_TRUE(TryStrToFloat(u" -1,5e2 ", v, fs));
  EXPECT_EQ(v, -150);
  EXPECT_TRUE(TryStrToFloat(u"+3", v, fs));
  EXPECT_EQ(v, 3);
  for (const Char* bad : {u"", u"1.5", u"1,5,0", u"abc", u"1e", u"+-1", u"--1", u"1 2"})
    EXPECT_FALSE(TryStrToFloat(bad, v, fs)) << StringToUtf8(bad);
  EXPECT_RAISES(StrToFloat(u"x", fs), EConvertError, "'x' is not a valid floating point value");
}

TEST(FloatTextTest, NotSwayedByTheCNumericLocale) {
  // A process locale with a decimal comma must not change the text.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 not installed";
  TFormatSettings fs;
  EXPECT_EQ(FloatToStr(2.5, fs), u"2.5");
  double v = 0;
  EXPECT_TRUE(TryStrToFloat(u"2.5", v, fs));
  EXPECT_EQ(v, 2.5);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(Int64TextTest, FullRangeAndNothingBeyond) {
  int64_t v = 0;
  EXPECT_TRUE(TryStrToInt64(u"9223372036854775807", v));
  EXPECT_EQ(v, INT64_MAX);
  EXPECT_TRUE(TryStrToInt64(u" -9223372036854775808 ", v));
  EXPECT_EQ(v, INT64_MIN);
  EXPECT_FALSE(TryStrToInt64(u"9223372036854775808", v));
  EXPECT_FALSE(TryStrToInt64(u"-9223372036854775809", v));
  EXPECT_FALSE(TryStrToInt64(u"", v));
  EXPECT_FALSE(TryStrToInt64(u"-", v));
  EXPECT_FALSE(TryStrToInt64(u"1x", v));
}

}  // namespace
}  // namespace kavo::test
