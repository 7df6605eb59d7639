#include "rtl/string_list.h"

#include <gtest/gtest.h>

namespace kavo::test {
namespace {

TEST(StringList, TextSplitsEveryLineEndAndJoinsWithCrLf) {
  TStringList l;
  l.SetText(u"a\r\nb\nc\rd");
  ASSERT_EQ(l.Count(), 4);
  EXPECT_EQ(l[3], u"d");
  EXPECT_EQ(l.Text(), u"a\r\nb\r\nc\r\nd\r\n");
  l.SetText(u"");
  EXPECT_EQ(l.Count(), 0);
}

TEST(StringList, NameValueLines) {
  TStringList p;
  int changes = 0;
  p.OnChange = [&] { ++changes; };
  p.Add(u"user_name=VAVAVOR");
  p.Add(u"password=kat4ro2");
  EXPECT_EQ(p.Values(u"USER_NAME"), u"VAVAVOR");
  EXPECT_EQ(p.Values(u"missing"), u"");
  p.SetValue(u"Password", u"x");
  EXPECT_EQ(p[1], u"Password=x");
  p.SetValue(u"password", u"");
  EXPECT_EQ(p.Count(), 1);
  EXPECT_EQ(changes, 4);
}

}  // namespace
}  // namespace kavo::test
