#include "rtl/stream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace kavo::test {
namespace {

TEST(MemoryStream, ReadWriteSeekAndSize) {
  TMemoryStream s;
  s.WriteBuffer("hello world", 11);
  EXPECT_EQ(s.Size(), 11);
  EXPECT_EQ(s.Position(), 11);
  EXPECT_EQ(s.Seek(-5, soFromEnd), 6);
  s.WriteBuffer("WORLD!", 6);  // overwrites and extends
  EXPECT_EQ(s.Size(), 12);
  EXPECT_EQ(s.Seek(-6, soFromCurrent), 6);
  char buf[16] = {};
  EXPECT_EQ(s.Read(buf, 16), 6);  // a short read answers what there was
  EXPECT_EQ(std::string(buf), "WORLD!");
  EXPECT_EQ(s.Read(buf, 4), 0);
  s.SetSize(5);
  EXPECT_EQ(s.Position(), 5);
  s.SetPosition(0);
  EXPECT_EQ(s.Read(buf, 16), 5);
  EXPECT_EQ(std::string(buf, 5), "hello");
  EXPECT_THROW(s.SetSize(-1), EStreamError);
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
  s.SetPosition(-1);
  EXPECT_THROW(s.WriteBuffer(buf, 1), EWriteError);
}

TEST(MemoryStream, TenMegabytesCopyPiecewiseAndWhole) {
  std::vector<uint8_t> big(10 * 1024 * 1024);
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i * 31 + 7);
  auto start = std::chrono::steady_clock::now();
  TMemoryStream built;
  // Small appends: growth must not copy the whole contents each time.
  for (size_t i = 0; i < big.size(); i += 4096) built.WriteBuffer(&big[i], 4096);
  TMemoryStream copy;
  built.SetPosition(123);
  EXPECT_EQ(copy.CopyFrom(built, 0), static_cast<int64_t>(big.size()));  // 0: from the start
  TMemoryStream tail;
  copy.SetPosition(static_cast<int64_t>(big.size()) - 10);
  EXPECT_EQ(tail.CopyFrom(copy, 10), 10);
  EXPECT_THROW(tail.CopyFrom(copy, 1), EReadError);
  auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(copy.Bytes(), big);
  EXPECT_EQ(std::vector<uint8_t>(tail.Bytes()), std::vector<uint8_t>(big.end() - 10, big.end()));
  EXPECT_LT(seconds, 5.0);
}

}  // namespace
}  // namespace kavo::test
