#include "rtl/exceptions.h"

#include <gtest/gtest.h>

namespace kavo::test {
namespace {

TEST(InOutError, MessageFollowsTheCode) {
  EXPECT_EQ(EInOutError(2).Message(), u"The specified file was not found");
  EXPECT_EQ(EInOutError(3, u"/x/y").Message(), u"Invalid file name - /x/y");
  EXPECT_EQ(EInOutError(5).Message(), u"File access denied");
  EXPECT_EQ(EInOutError(101).Message(), u"Disk full");
  EXPECT_EQ(EInOutError(106).Message(), u"Invalid numeric input");
  EXPECT_EQ(EInOutError(32).Message(), u"I/O error 32");
  EXPECT_EQ(EInOutError(32).ErrorCode(), 32);
}

TEST(OSError, CarriesCodeAndSystemText) {
  EOSError e(2);
  EXPECT_EQ(e.Message(), u"System Error.  Code: 2.\r\nNo such file or directory");
  EXPECT_EQ(EOSError(0).Message(), u"A call to an OS function failed");
  EXPECT_THROW(RaiseLastOSError(13), EOSError);
}

TEST(Exception, ClassNamesAndWhat) {
  EInOutError io(5);
  const Exception& base = io;
  EXPECT_EQ(base.ClassName(), u"EInOutError");
  EXPECT_EQ(EDatabaseError(u"x").ClassName(), u"EDatabaseError");
  EXPECT_STREQ(EConvertError(u"\u00E7").what(), "\xC3\xA7");
}

}  // namespace
}  // namespace kavo::test
