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

}  // namespace
}  // namespace kavo::test
