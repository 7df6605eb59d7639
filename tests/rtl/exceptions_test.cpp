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
#ifdef _WIN32  // the system's own text for ERROR_FILE_NOT_FOUND, without its line break
  ASSERT_FALSE(SysErrorMessage(2).empty());
  EXPECT_EQ(SysErrorMessage(2).find_first_of(u"\r\n"), String::npos);
  EXPECT_EQ(e.Message(), u"System Error.  Code: 2.\r\n" + SysErrorMessage(2));
#else
  EXPECT_EQ(e.Message(), u"System Error.  Code: 2.\r\nNo such file or directory");
#endif
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
