#include "rtl/format.h"

#include <gtest/gtest.h>

#include "rtl/exceptions.h"

namespace kavo::test {
namespace {

TEST(Format, SystemTexts) {
  EXPECT_EQ(Format(u"Service failed on %s: %s", {u"start", String(u"File access denied")}),
            u"Service failed on start: File access denied");
  EXPECT_EQ(Format(u"I/O error %d", {32}), u"I/O error 32");
  EXPECT_EQ(Format(u"100%% of %5d|%-3s|%.2f|%x", {7, u"a", 2.5, 255}), u"100% of     7|a  |2.50|FF");
}

TEST(Format, MismatchIsAConvertError) {
  EXPECT_THROW(Format(u"%d", {u"x"}), EConvertError);
  EXPECT_THROW(Format(u"%s %s", {u"x"}), EConvertError);
  EXPECT_THROW(Format(u"%q", {1}), EConvertError);
}

// Results longer than any fixed buffer come out whole; widths past the limit,
// however many digits, and stray characters in a conversion are bad formats,
// never another exception or a read past a buffer.
TEST(Format, WidthsAndPrecisionsAreBoundedAndWhole) {
  EXPECT_EQ(Format(u"%600d", {7}), String(599, u' ') + u"7");
  EXPECT_EQ(Format(u"%-600x|", {255}), u"FF" + String(598, u' ') + u"|");
  EXPECT_EQ(Format(u"%.520f", {0.5}).size(), 522u);
  EXPECT_EQ(Format(u"%05d|%.s|%-4.1s|", {42, u"abc", u"xyz"}), u"00042||x   |");
  EXPECT_EQ(Format(u"%65535s", {u"a"}).size(), 65535u);
  for (const char16_t* bad : {u"%65536s", u"%99999999999d", u"%.99999999999f", u"%5-3d", u"%-", u"%1.2.3f"})
    EXPECT_THROW(Format(bad, {1}), EConvertError) << StringToUtf8(bad);
}

}  // namespace
}  // namespace kavo::test
