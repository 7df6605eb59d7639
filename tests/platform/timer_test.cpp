#include "platform/timer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/application.h"
#include "rtl/exceptions.h"

namespace kavo::test {
namespace {

using namespace std::chrono_literals;

// Runs the calling thread's messages for `span`.
void Pump(std::chrono::milliseconds span) {
  auto q = MessageQueue::ForCurrentThread();
  auto end = std::chrono::steady_clock::now() + span;
  Message m;
  while (std::chrono::steady_clock::now() < end) {
    if (q->Wait(5ms) && q->Peek(m)) DispatchMessage(m);
  }
}

TEST(Timer, DefaultsAndArming) {
  TTimer t(nullptr);
  EXPECT_TRUE(t.Enabled());
  EXPECT_EQ(t.Interval(), 1000u);
  EXPECT_FALSE(t.Armed());  // no handler yet
  t.SetOnTimer([](TComponent*) {});
  EXPECT_TRUE(t.Armed());
  t.SetInterval(0);
  EXPECT_FALSE(t.Armed());
  t.SetInterval(50);
  EXPECT_TRUE(t.Armed());
  t.SetEnabled(false);
  EXPECT_FALSE(t.Armed());
  t.SetEnabled(true);
  EXPECT_TRUE(t.Armed());
}

TEST(Timer, TicksCallTheHandlerWithTheTimerAsSender) {
  TTimer t(nullptr);
  int ticks = 0;
  TComponent* sender = nullptr;
  t.SetInterval(10);
  t.SetOnTimer([&](TComponent* s) {
    ++ticks;
    sender = s;
  });
  Pump(60ms);
  EXPECT_GE(ticks, 2);
  EXPECT_EQ(sender, &t);
}

TEST(Timer, DisablingStopsTicks) {
  TTimer t(nullptr);
  int ticks = 0;
  t.SetInterval(5);
  t.SetOnTimer([&](TComponent*) { ++ticks; });
  Pump(30ms);
  ASSERT_GT(ticks, 0);
  t.SetEnabled(false);
  int before = ticks;
  Pump(30ms);
  EXPECT_EQ(ticks, before);
}

TEST(Timer, DisablingFromAnotherThreadStopsTicks) {
  TTimer t(nullptr);
  int ticks = 0;
  t.SetInterval(5);
  t.SetOnTimer([&](TComponent*) { ++ticks; });
  std::thread other([&] { t.SetEnabled(false); });
  other.join();
  Pump(30ms);
  EXPECT_EQ(ticks, 0);
}

TEST(Timer, SameIntervalKeepsThePhaseAndANewOneReArms) {
  TTimer t(nullptr);
  int ticks = 0;
  t.SetInterval(200);
  t.SetOnTimer([&](TComponent*) { ++ticks; });
  std::this_thread::sleep_for(140ms);
  t.SetInterval(200);  // unchanged: still due 60 ms from now
  t.SetEnabled(true);  // already enabled: nothing changes
  Pump(100ms);
  EXPECT_EQ(ticks, 1);

  std::this_thread::sleep_for(140ms);
  t.SetInterval(201);  // changed: counted from now
  Pump(100ms);
  EXPECT_EQ(ticks, 1);
}

TEST(Timer, RefusedPeriodRaisesOutOfResources) {
  TTimer t(nullptr);
  t.SetOnTimer([](TComponent*) {});
  try {
    t.SetInterval(kMaxTimerPeriod + 1u);
    FAIL() << "no exception";
  } catch (const EOutOfResources& e) {
    EXPECT_EQ(e.Message(), u"Not enough timers available");
  }
}

TEST(Timer, HandlerExceptionGoesToTheApplicationAndTheTimerStaysArmed) {
  TApplication app;
  std::vector<String> seen;
  app.OnException = [&](TComponent*, const Exception& e) { seen.push_back(e.Message()); };
  TTimer t(nullptr);
  int ticks = 0;
  t.SetInterval(10);
  t.SetOnTimer([&](TComponent*) {
    ++ticks;
    if (ticks == 1) throw EInOutError(5);
    if (ticks == 2) throw EAbort(u"silent");
  });
  Pump(80ms);
  EXPECT_GE(ticks, 3);
  ASSERT_EQ(seen.size(), 1u);  // EAbort is not reported
  EXPECT_EQ(seen[0], u"File access denied");
  EXPECT_TRUE(t.Armed());
}

TEST(Application, QuitPostedToItsWindowEndsTheLoop) {
  TApplication app;
  int handled = 0;
  TTimer t(nullptr);
  t.SetInterval(5);
  t.SetOnTimer([&](TComponent*) {
    if (++handled == 3) app.Window().Post(WM_QUIT);
  });
  while (!app.Terminated()) app.HandleMessage();
  EXPECT_EQ(handled, 3);
}

}  // namespace
}  // namespace kavo::test
