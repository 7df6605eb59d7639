// TBcd keeps a decimal digit for digit; rounding happens only where asked.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "rtl/bcd.h"
#include "rtl/exceptions.h"

namespace kavo {
namespace {

TEST(BcdTest, TextAndScaledIntegersRoundTripExactlyAtTheExtremes) {
  const int64_t min = std::numeric_limits<int64_t>::min();
  int64_t raw = 0;
  EXPECT_EQ(BcdToStr(Int64ToBcd(min, 8)), u"-92233720368.54775808");
  ASSERT_TRUE(BcdToScaledInt64(StrToBcd(u"-92233720368.54775808"), 8, raw));
  EXPECT_EQ(raw, min);
  EXPECT_FALSE(BcdToScaledInt64(StrToBcd(u"92233720368.54775808"), 8, raw));
  EXPECT_EQ(BcdToStr(Int64ToBcd(-1, 8)), u"-0.00000001");
  EXPECT_EQ(BcdToStr(StrToBcd(u" +000.50 "), u','), u"0,5");
  EXPECT_EQ(BcdToStr(StrToBcd(u"-0.000")), u"0");  // no negative zero
  const String digits64(64, u'9');
  EXPECT_EQ(BcdToStr(StrToBcd(digits64)), digits64);
  TBcd out;
  for (const Char* bad : {u"", u"-", u"1.2.3", u"1e5", u"12a", u"1,5"})
    EXPECT_FALSE(TryStrToBcd(bad, out)) << StringToUtf8(bad);
  EXPECT_FALSE(TryStrToBcd(digits64 + u"9", out));
  EXPECT_THROW(StrToBcd(u"x"), EConvertError);

  int places = 0;
  ASSERT_TRUE(BcdToExactInt64(StrToBcd(u"-12.3400"), raw, places));
  EXPECT_EQ(raw, -1234);
  EXPECT_EQ(places, 2);
}

// A scaled integer packs to the very bytes its decimal text parses to:
// precision, sign, places and every digit nibble.
TEST(BcdTest, ScaledIntegersPackAsTheirDecimalText) {
  const int64_t values[] = {0, 1, -1, 5, -1000, 123456789, std::numeric_limits<int64_t>::max(),
                            std::numeric_limits<int64_t>::min()};
  for (int64_t v : values) {
    for (int places : {0, 1, 3, 8, 18, 19, 25, 63}) {
      const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
      std::string digits = std::to_string(magnitude);
      if (digits.size() <= static_cast<size_t>(places))
        digits.insert(0, static_cast<size_t>(places) + 1 - digits.size(), '0');
      if (places > 0) digits.insert(digits.size() - static_cast<size_t>(places), 1, '.');
      const std::string text = (v < 0 ? "-" : "") + digits;
      TBcd parsed;
      ASSERT_TRUE(TryStrToBcd(AsciiToString(text), parsed)) << text;
      const TBcd packed = Int64ToBcd(v, places);
      EXPECT_EQ(std::memcmp(&packed, &parsed, sizeof packed), 0) << text;
    }
  }
  // Places beyond the form are cut to its most; none is none.
  EXPECT_EQ(BcdPlaces(Int64ToBcd(7, 70)), kMaxBcdPlaces);
  EXPECT_EQ(BcdToStr(Int64ToBcd(-42, -2)), u"-42");
}

TEST(BcdTest, RoundingIsHalfAwayFromZeroWithItsCarries) {
  int64_t raw = 0;
  ASSERT_TRUE(BcdToScaledInt64(StrToBcd(u"-9.99995"), 4, raw));
  EXPECT_EQ(raw, -100000);
  ASSERT_TRUE(BcdToScaledInt64(StrToBcd(u"0.00004999"), 4, raw));
  EXPECT_EQ(raw, 0);
  ASSERT_TRUE(BcdToScaledInt64(StrToBcd(u"2.5"), 0, raw));
  EXPECT_EQ(raw, 3);
  ASSERT_TRUE(BcdToScaledInt64(StrToBcd(u"7"), 6, raw));  // places added
  EXPECT_EQ(raw, 7000000);
}

TEST(BcdTest, DoublesGoThroughTheirShortestDecimal) {
  EXPECT_EQ(BcdToStr(DoubleToBcd(0.1)), u"0.1");
  EXPECT_EQ(BcdToStr(DoubleToBcd(-123456789.000001)), u"-123456789.000001");
  EXPECT_EQ(BcdToDouble(StrToBcd(u"0.3")), 0.3);
  EXPECT_THROW(DoubleToBcd(1e300), EConvertError);
  EXPECT_THROW(DoubleToBcd(std::numeric_limits<double>::quiet_NaN()), EConvertError);
  EXPECT_EQ(BcdCompare(StrToBcd(u"2.50"), StrToBcd(u"2.5")), 0);
  EXPECT_EQ(BcdCompare(StrToBcd(u"-3"), StrToBcd(u"-2.9")), -1);
  EXPECT_EQ(BcdCompare(StrToBcd(u"10"), StrToBcd(u"9.99")), 1);
}

}  // namespace
}  // namespace kavo
