#include "rtl/stream.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kavo::test {
namespace {

TEST(MemoryStream, ReadWriteSeekSizeAndCopy) {
  TMemoryStream s;
  s.WriteBuffer("hello world", 11);
  EXPECT_EQ(s.Seek(-5, soFromEnd), 6);
  s.WriteBuffer("WORLD!", 6);  // overwrites and extends
  EXPECT_EQ(s.Size(), 12);
  EXPECT_EQ(s.Seek(-6, soFromCurrent), 6);
  char buf[16] = {};
  EXPECT_EQ(s.Read(buf, 16), 6);  // a short read answers what there was
  EXPECT_EQ(std::string(buf), "WORLD!");
  s.SetSize(5);
  EXPECT_EQ(s.Position(), 5);
  EXPECT_THROW(s.SetSize(-1), EStreamError);

  TMemoryStream copy;
  EXPECT_EQ(copy.CopyFrom(s, 0), 5);  // 0: the whole source from its start
  s.SetPosition(3);
  EXPECT_EQ(copy.CopyFrom(s, 2), 2);
  EXPECT_EQ(std::string(copy.Memory(), copy.Memory() + copy.Size()), "hellolo");
  EXPECT_THROW(copy.CopyFrom(s, 1), EReadError);
}

TEST(MemoryStream, ShortTransfersRaise) {
  TMemoryStream s(std::vector<uint8_t>{1, 2, 3});
  uint8_t buf[4];
  try {
    s.ReadBuffer(buf, 4);
    ADD_FAILURE() << "no error for a read past the end";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), u"Stream read error");
  }
  // Before the start a position may be set, but nothing is read or written.
  EXPECT_EQ(s.Seek(-10, soFromEnd), -7);
  EXPECT_EQ(s.Read(buf, 4), 0);
  EXPECT_THROW(s.ReadBuffer(buf, 1), EReadError);
  s.SetPosition(-1);
  EXPECT_THROW(s.WriteBuffer(buf, 1), EWriteError);
}

}  // namespace
}  // namespace kavo::test
