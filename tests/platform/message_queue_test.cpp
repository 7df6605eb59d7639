#include "platform/message_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace kavo::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class RecordingWindow : public MessageWindow {
 public:
  void HandleMessage(Message& m) override { handled.push_back(m.message); }
  std::vector<uint32_t> handled;
};

int CountTicks(MessageQueue& q) {
  int n = 0;
  Message m;
  while (q.Peek(m, true))
    if (m.message == WM_TIMER) ++n;
  return n;
}

// A window on this thread's queue, emptied of what earlier tests left in it.
class MessageTimers : public ::testing::Test {
 protected:
  void SetUp() override { CountTicks(q); }

  RecordingWindow w;
  MessageQueue& q = *w.Queue();
};

TEST(MessageQueue, PostedMessagesComeInOrderAndGetStopsAtQuit) {
  MessageQueue q;
  q.PostThreadMessage(WM_USER + 1, 7, -1);
  q.PostThreadMessage(WM_USER + 2);
  q.PostQuit();
  Message m;
  ASSERT_TRUE(q.Get(m));
  EXPECT_EQ(m.message, WM_USER + 1u);
  EXPECT_EQ(m.wParam, 7u);
  EXPECT_EQ(m.lParam, -1);
  ASSERT_TRUE(q.Get(m));
  EXPECT_EQ(m.message, WM_USER + 2u);
  EXPECT_FALSE(q.Get(m));
  EXPECT_EQ(m.message, WM_QUIT);
  EXPECT_FALSE(q.Peek(m));
}

TEST(MessageQueue, PeekWithoutRemoveLeavesTheMessage) {
  MessageQueue q;
  Message m;
  EXPECT_FALSE(q.Peek(m, false));
  q.PostThreadMessage(WM_USER);
  ASSERT_TRUE(q.Peek(m, false));
  ASSERT_TRUE(q.Peek(m, true));
  EXPECT_FALSE(q.Peek(m, true));
}

TEST(MessageQueue, GetWakesForAPostFromAnotherThread) {
  MessageQueue q;
  std::thread poster([&] {
    std::this_thread::sleep_for(30ms);
    q.PostThreadMessage(WM_USER + 5);
  });
  Message m;
  ASSERT_TRUE(q.Get(m));
  EXPECT_EQ(m.message, WM_USER + 5u);
  poster.join();
}

TEST(MessageQueue, WaitTimesOutOnAnEmptyQueue) {
  MessageQueue q;
  auto start = Clock::now();
  EXPECT_FALSE(q.Wait(40ms));
  EXPECT_GE(Clock::now() - start, 40ms);
  q.PostThreadMessage(WM_USER);
  EXPECT_TRUE(q.Wait(0ms));
}

TEST_F(MessageTimers, LateTicksMergeIntoOne) {
  ASSERT_TRUE(w.SetTimer(1, 10));
  std::this_thread::sleep_for(120ms);  // about a dozen periods
  EXPECT_EQ(CountTicks(q), 1);
  // The next tick keeps the timer's phase: at most one period away.
  auto start = Clock::now();
  Message m;
  ASSERT_TRUE(q.Get(m));
  EXPECT_EQ(m.message, WM_TIMER);
  EXPECT_EQ(m.window, &w);
  EXPECT_EQ(m.wParam, 1u);
  EXPECT_LT(Clock::now() - start, 100ms);
  w.KillTimer(1);
}

TEST_F(MessageTimers, PostedMessagesComeBeforeADueTick) {
  ASSERT_TRUE(w.SetTimer(1, 5));
  std::this_thread::sleep_for(20ms);
  w.Post(WM_USER + 9);
  Message m;
  ASSERT_TRUE(q.Get(m));
  EXPECT_EQ(m.message, WM_USER + 9u);
  DispatchMessage(m);
  EXPECT_EQ(w.handled, std::vector<uint32_t>{WM_USER + 9});
  ASSERT_TRUE(q.Get(m));
  EXPECT_EQ(m.message, WM_TIMER);
  w.KillTimer(1);
}

TEST_F(MessageTimers, SettingAPeriodReArmsFromThatMoment) {
  ASSERT_TRUE(w.SetTimer(1, 100));
  std::this_thread::sleep_for(80ms);
  auto reset = Clock::now();
  ASSERT_TRUE(w.SetTimer(1, 100));  // without the re-arm it would tick in 20 ms
  Message m;
  ASSERT_TRUE(q.Get(m));
  EXPECT_EQ(m.message, WM_TIMER);
  EXPECT_GE(Clock::now() - reset, 95ms);
  w.KillTimer(1);
}

TEST_F(MessageTimers, KillingStopsTicksAndDropsADueOne) {
  ASSERT_TRUE(w.SetTimer(1, 5));
  std::this_thread::sleep_for(20ms);
  w.KillTimer(1);
  EXPECT_FALSE(q.HasTimer(&w, 1));
  EXPECT_FALSE(q.Wait(30ms));
  EXPECT_EQ(CountTicks(q), 0);
}

TEST_F(MessageTimers, KillFromAnotherThreadWakesNothingLater) {
  ASSERT_TRUE(w.SetTimer(2, 50));
  std::thread other([&] { q.KillTimer(&w, 2); });
  other.join();
  EXPECT_FALSE(q.Wait(80ms));
}

TEST_F(MessageTimers, UnusablePeriodsAreRefused) {
  EXPECT_FALSE(w.SetTimer(1, 0));
  EXPECT_FALSE(w.SetTimer(1, kMaxTimerPeriod + 1u));
  EXPECT_FALSE(w.Queue()->HasTimer(&w, 1));
  EXPECT_TRUE(w.SetTimer(1, kMaxTimerPeriod));
  w.KillTimer(1);
}

TEST_F(MessageTimers, TwoTimersBothTick) {
  ASSERT_TRUE(w.SetTimer(1, 5));
  ASSERT_TRUE(w.SetTimer(2, 5));
  std::this_thread::sleep_for(30ms);
  std::vector<uintptr_t> ids;
  Message m;
  while (q.Peek(m)) ids.push_back(m.wParam);
  EXPECT_EQ(ids.size(), 2u);
  EXPECT_NE(std::find(ids.begin(), ids.end(), 1u), ids.end());
  EXPECT_NE(std::find(ids.begin(), ids.end(), 2u), ids.end());
  w.KillTimer(1);
  w.KillTimer(2);
}

TEST_F(MessageTimers, DestroyedWindowLeavesNoTimerOrMessage) {
  {
    RecordingWindow other;
    ASSERT_TRUE(other.SetTimer(1, 1));
    other.Post(WM_USER);
    std::this_thread::sleep_for(5ms);
  }
  Message m;
  EXPECT_FALSE(q.Peek(m));
}

}  // namespace
}  // namespace kavo::test
