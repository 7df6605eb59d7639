#include "service/service.h"

#include <gtest/gtest.h>

#include <memory>
#include <system_error>
#include <thread>

#include "platform/event_log.h"
#include "testkit/recording_service.h"
#include "rtl/exceptions.h"

namespace kavo::test {
namespace {

const uint32_t kAll = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN;

// A service running on its own entry thread, with the execute handler of the
// module: handle control requests until told to end.
class RunningService : public ::testing::Test {
 protected:
  void SetUp() override {
    TService::ResetCheckpoint();
    SetEventSink(&events_);
    svc_.OnExecute = [](TService* s) {
      while (!s->Terminated()) s->ServiceThread()->ProcessRequests(true);
    };
    svc_.SetOnStop([this](TService*, bool&) { ++stops_; });
  }
  void TearDown() override {
    if (entry_.joinable()) {
      svc_.Controller(SERVICE_CONTROL_STOP);
      entry_.join();
    }
    SetEventSink(nullptr);
  }
  void Start() {
    entry_ = std::thread([this] { svc_.DoStart(); });
    ASSERT_TRUE(WaitFor("csRunning"));
  }
  bool WaitFor(const std::string& state, size_t count = 1) {
    return WaitUntil([&] {
      auto s = svc_.States();
      return static_cast<size_t>(std::count(s.begin(), s.end(), state)) >= count;
    });
  }
  void Finish() { entry_.join(); }
  std::vector<String> EventTexts() const {
    std::vector<String> texts;
    for (const Event& e : events_.Events()) texts.push_back(e.message);
    return texts;
  }

  MemoryEventSink events_;
  RecordingService svc_{nullptr};
  std::thread entry_;
  int stops_ = 0;
};

TEST_F(RunningService, StartReportsTwoCheckpointsThenRunningAndStopEndsIt) {
  Start();
  svc_.Controller(SERVICE_CONTROL_STOP);
  Finish();
  std::vector<Report> expected{{"csStartPending", 1, 0}, {"csStartPending", 2, 0},
                               {"csRunning", 0, kAll},   {"csStopPending", 0, kAll},
                               {"csStopped", 0, kAll}};
  EXPECT_EQ(svc_.Reports(), expected);
  EXPECT_EQ(stops_, 1);
  EXPECT_TRUE(events_.Events().empty());
  EXPECT_EQ(svc_.ServiceThread(), nullptr);
}

TEST_F(RunningService, PauseInterrogateWhilePausedContinue) {
  Start();
  svc_.Controller(SERVICE_CONTROL_PAUSE);
  ASSERT_TRUE(WaitFor("csPaused"));
  ASSERT_TRUE(WaitUntil([&] { return svc_.ServiceThread()->Suspended(); }));
  svc_.Controller(SERVICE_CONTROL_INTERROGATE);
  ASSERT_TRUE(WaitFor("csPaused", 2));
  // Awake again, while the reported state stays paused.
  EXPECT_TRUE(WaitUntil([&] { return !svc_.ServiceThread()->Suspended(); }));
  EXPECT_EQ(svc_.Status(), csPaused);
  svc_.Controller(SERVICE_CONTROL_CONTINUE);
  ASSERT_TRUE(WaitFor("csRunning", 2));
  std::vector<std::string> expected{"csStartPending", "csStartPending", "csRunning",
                                    "csPausePending", "csPaused",       "csPaused",
                                    "csContinuePending", "csRunning"};
  EXPECT_EQ(svc_.States(), expected);
  for (const Report& r : svc_.Reports())
    if (r.state != "csStartPending") {
      EXPECT_EQ(r.checkpoint, 0u) << r;
    }
}

TEST_F(RunningService, StopWakesAPausedService) {
  Start();
  svc_.Controller(SERVICE_CONTROL_PAUSE);
  ASSERT_TRUE(WaitUntil([&] { return svc_.ServiceThread() && svc_.ServiceThread()->Suspended(); }));
  svc_.Controller(SERVICE_CONTROL_STOP);
  Finish();
  EXPECT_EQ(svc_.States().back(), "csStopped");
  EXPECT_EQ(stops_, 1);
}

TEST_F(RunningService, PauseQueuedBehindAStopDoesNotKeepTheServiceFromStopping) {
  Start();
  svc_.Controller(SERVICE_CONTROL_PAUSE);
  ASSERT_TRUE(WaitUntil([&] { return svc_.ServiceThread() && svc_.ServiceThread()->Suspended(); }));
  // Both wait in the queue when the thread wakes: the stop ends the execute
  // handler, and the pause is handled after it, with nothing left to wake it.
  svc_.ServiceThread()->Queue().PostThreadMessage(CM_SERVICE_CONTROL_CODE, SERVICE_CONTROL_STOP);
  svc_.Controller(SERVICE_CONTROL_PAUSE);
  ASSERT_TRUE(WaitFor("csStopped"));
  Finish();
  EXPECT_EQ(stops_, 1);
}

TEST_F(RunningService, ControlsPostedInARowAreAllHandledInOrder) {
  Start();
  svc_.Controller(SERVICE_CONTROL_PAUSE);
  svc_.Controller(SERVICE_CONTROL_CONTINUE);
  svc_.Controller(SERVICE_CONTROL_PAUSE);
  svc_.Controller(SERVICE_CONTROL_CONTINUE);
  ASSERT_TRUE(WaitFor("csRunning", 3));
  auto s = svc_.States();
  EXPECT_EQ(std::count(s.begin(), s.end(), "csPaused"), 2);
  EXPECT_EQ(s.back(), "csRunning");
}

TEST_F(RunningService, ShutdownEndsWithoutTheStopHandlerEvenWhenItsHandlerRaises) {
  svc_.OnShutdown = [](TService*) { throw EInvalidOperation(u"cannot"); };
  Start();
  svc_.Controller(SERVICE_CONTROL_SHUTDOWN);
  Finish();
  std::vector<std::string> expected{"csStartPending", "csStartPending", "csRunning",
                                    "csStopPending", "csStopped"};
  EXPECT_EQ(svc_.States(), expected);  // the state is not set back for shutdown
  EXPECT_EQ(stops_, 0);
  EXPECT_EQ(EventTexts(), std::vector<String>{u"Service failed on shutdown: cannot"});
  EXPECT_EQ(events_.Events()[0].source, u"Svc");
}

TEST_F(RunningService, RaisingStopHandlerRestoresTheStateAndKeepsRunning) {
  svc_.SetOnStop([](TService*, bool&) { throw EInOutError(5); });
  Start();
  svc_.Controller(SERVICE_CONTROL_STOP);
  ASSERT_TRUE(WaitFor("csRunning", 2));
  EXPECT_EQ(EventTexts(), std::vector<String>{u"Service failed on stop: File access denied"});
  EXPECT_FALSE(svc_.Terminated());
  svc_.SetOnStop([](TService*, bool&) {});
  svc_.Controller(SERVICE_CONTROL_STOP);
  Finish();
  EXPECT_EQ(svc_.States().back(), "csStopped");
}

TEST_F(RunningService, RefusedStopOrPauseRestoresTheState) {
  svc_.SetOnStop([](TService*, bool& stopped) { stopped = false; });
  svc_.SetOnPause([](TService*, bool& paused) { paused = false; });
  Start();
  svc_.Controller(SERVICE_CONTROL_STOP);
  svc_.Controller(SERVICE_CONTROL_PAUSE);
  ASSERT_TRUE(WaitFor("csRunning", 3));
  std::vector<std::string> expected{"csStartPending", "csStartPending", "csRunning",
                                    "csStopPending",  "csRunning",      "csPausePending",
                                    "csRunning"};
  EXPECT_EQ(svc_.States(), expected);
  EXPECT_TRUE(events_.Events().empty());
  svc_.SetOnStop([](TService*, bool&) {});
}

TEST_F(RunningService, RefusedContinueStaysPaused) {
  auto asked = std::make_shared<int>(0);
  svc_.AllowPause = false;
  svc_.SetOnContinue([asked](TService*, bool& go) {
    ++*asked;
    go = false;
  });
  EXPECT_TRUE(svc_.AllowPause);
  Start();
  svc_.Controller(SERVICE_CONTROL_PAUSE);
  ASSERT_TRUE(WaitFor("csPaused"));
  svc_.Controller(SERVICE_CONTROL_CONTINUE);
  ASSERT_TRUE(WaitFor("csPaused", 2));
  EXPECT_EQ(*asked, 1);
  EXPECT_EQ(svc_.States().back(), "csPaused");
  EXPECT_EQ(svc_.States()[svc_.States().size() - 2], "csContinuePending");
  svc_.Controller(SERVICE_CONTROL_STOP);
  Finish();
  EXPECT_EQ(svc_.States().back(), "csStopped");
}

class CustomService : public RecordingService {
 public:
  using RecordingService::RecordingService;
  bool DoCustomControl(uint32_t code) override {
    codes.push_back(code);
    if (code == 200) throw EConvertError(u"bad");
    return true;
  }
  std::vector<uint32_t> codes;
};

TEST(ServiceControl, CustomCodesAndTheirFailure) {
  TService::ResetCheckpoint();
  MemoryEventSink events;
  SetEventSink(&events);
  CustomService svc(nullptr);
  svc.OnExecute = [](TService* s) {
    while (!s->Terminated()) s->ServiceThread()->ProcessRequests(true);
  };
  std::thread entry([&] { svc.DoStart(); });
  ASSERT_TRUE(WaitUntil([&] { return svc.Status() == csRunning; }));
  svc.Controller(131);
  svc.Controller(200);
  svc.Controller(SERVICE_CONTROL_STOP);
  entry.join();
  SetEventSink(nullptr);
  EXPECT_EQ(svc.codes, (std::vector<uint32_t>{131, 200}));
  ASSERT_EQ(events.Events().size(), 1u);
  EXPECT_EQ(events.Events()[0].message, u"Service failed in custom message(200): bad");
  // The failed custom code set its state back: running reported once more.
  auto s = svc.States();
  EXPECT_EQ(std::count(s.begin(), s.end(), "csRunning"), 2);
}

TEST(ServiceStartFailure, RaisingStartHandlerReportsStoppedAndAnEvent) {
  TService::ResetCheckpoint();
  MemoryEventSink events;
  SetEventSink(&events);
  RecordingService svc(nullptr);
  bool executed = false;
  svc.OnStart = [](TService*, bool&) { throw EInOutError(5); };
  svc.OnExecute = [&](TService*) { executed = true; };
  svc.DoStart();
  SetEventSink(nullptr);
  EXPECT_FALSE(executed);
  std::vector<Report> expected{{"csStartPending", 1, 0}, {"csStartPending", 2, 0},
                               {"csStopped", 0, kAll}};
  EXPECT_EQ(svc.Reports(), expected);
  ASSERT_EQ(events.Events().size(), 1u);
  EXPECT_EQ(events.Events()[0].message, u"Service failed on start: File access denied");
}

// Fails its first report with a standard exception, as the platform's own
// calls (thread creation, allocation) fail.
class FailingReportService : public RecordingService {
 public:
  using RecordingService::RecordingService;

 protected:
  bool SendStatus(const ServiceStatus& status, std::string_view name) override {
    if (!failed_) {
      failed_ = true;
      throw std::system_error(EAGAIN, std::generic_category(), "cannot start");
    }
    return RecordingService::SendStatus(status, name);
  }

 private:
  bool failed_ = false;
};

TEST(ServiceStartFailure, StandardExceptionInStartBecomesAnEventAndStopped) {
  TService::ResetCheckpoint();
  MemoryEventSink events;
  SetEventSink(&events);
  FailingReportService svc(nullptr);
  EXPECT_NO_THROW(svc.DoStart());
  SetEventSink(nullptr);
  EXPECT_EQ(svc.States(), std::vector<std::string>{"csStopped"});
  ASSERT_EQ(events.Events().size(), 1u);
  EXPECT_EQ(events.Events()[0].message.rfind(u"Service failed on execute: cannot start", 0), 0u);
}

TEST(ServiceStartFailure, StartHandlerMayRefuseQuietly) {
  TService::ResetCheckpoint();
  MemoryEventSink events;
  SetEventSink(&events);
  RecordingService svc(nullptr);
  svc.OnStart = [](TService*, bool& started) { started = false; };
  svc.DoStart();
  SetEventSink(nullptr);
  EXPECT_EQ(svc.States(), (std::vector<std::string>{"csStartPending", "csStartPending", "csStopped"}));
  EXPECT_TRUE(events.Events().empty());
}

TEST(ServiceStartFailure, RaisingExecuteHandlerReportsStoppedAndAnEvent) {
  TService::ResetCheckpoint();
  MemoryEventSink events;
  SetEventSink(&events);
  RecordingService svc(nullptr);
  svc.OnExecute = [](TService*) { throw EInOutError(32); };
  svc.DoStart();
  SetEventSink(nullptr);
  EXPECT_EQ(svc.States(), (std::vector<std::string>{"csStartPending", "csStartPending",
                                                    "csRunning", "csStopped"}));
  ASSERT_EQ(events.Events().size(), 1u);
  EXPECT_EQ(events.Events()[0].message, u"Service failed on execute: I/O error 32");
}

TEST(ServiceStartFailure, WithoutExecuteHandlerTheThreadHandlesRequests) {
  TService::ResetCheckpoint();
  RecordingService svc(nullptr);
  std::thread entry([&] { svc.DoStart(); });
  ASSERT_TRUE(WaitUntil([&] { return svc.Status() == csRunning; }));
  svc.Controller(SERVICE_CONTROL_STOP);
  entry.join();
  EXPECT_EQ(svc.States().back(), "csStopped");
}

TEST(ServiceControl, ControlWithoutAServiceThreadIsDropped) {
  RecordingService svc(nullptr);
  svc.Controller(SERVICE_CONTROL_STOP);
  svc.Controller(SERVICE_CONTROL_PAUSE);
  EXPECT_TRUE(svc.Reports().empty());
  EXPECT_FALSE(svc.Terminated());
}

TEST(ServiceStatus, CheckpointCountsRepeatedPendingReportsOnly) {
  TService::ResetCheckpoint();
  RecordingService a(nullptr, u"A"), b(nullptr, u"B");
  a.SetStatus(csStartPending);
  a.SetStatus(csStartPending);
  b.SetStatus(csStartPending);  // the counter is shared by the process
  a.SetStatus(csRunning);
  a.SetStatus(csRunning);
  a.SetStatus(csStopPending);
  a.SetStatus(csStopPending);
  a.SetStatus(csPausePending);
  auto ra = a.Reports();
  std::vector<uint32_t> cps;
  for (const Report& r : ra) cps.push_back(r.checkpoint);
  EXPECT_EQ(cps, (std::vector<uint32_t>{1, 2, 0, 0, 0, 1, 0}));
  EXPECT_EQ(b.Reports()[0].checkpoint, 3u);
}

TEST(ServiceStatus, RecordFields) {
  TComponent owner(nullptr);
  RecordingService svc(&owner);
  svc.SetStatus(csStartPending);
  EXPECT_EQ(svc.StatusRecord().controls_accepted, 0u);
  svc.SetStatus(csRunning);
  ServiceStatus st = svc.StatusRecord();
  EXPECT_EQ(st.current_state, 4u);
  EXPECT_EQ(st.controls_accepted, 7u);
  EXPECT_EQ(st.wait_hint, 5000u);
  EXPECT_EQ(st.win32_exit_code, 0u);
  EXPECT_EQ(st.service_type, 0x10u);
  svc.SetInteractive(true);
  EXPECT_EQ(svc.StatusRecord().service_type, 0x110u);
  svc.AllowPause = false;
  EXPECT_EQ(svc.StatusRecord().controls_accepted, 5u);
  svc.AllowStop = false;
  EXPECT_EQ(svc.StatusRecord().controls_accepted, 4u);
  svc.SetOnPause([](TService*, bool&) {});
  svc.SetOnStop([](TService*, bool&) {});
  EXPECT_EQ(svc.StatusRecord().controls_accepted, 7u);
  svc.ErrCode = 42;
  svc.Win32ErrorCode = 5;
  EXPECT_EQ(svc.StatusRecord().win32_exit_code, 1066u);
  EXPECT_EQ(svc.StatusRecord().service_specific_exit_code, 42u);
  svc.ErrCode = 0;
  EXPECT_EQ(svc.StatusRecord().win32_exit_code, 5u);
  RecordingService second(&owner, u"Second");
  EXPECT_EQ(svc.RegistrationType(), 0x120u);  // shared process
  svc.ServiceType = stDevice;
  EXPECT_EQ(svc.RegistrationType(), 0x1u);
}

TEST(ServiceProperties, InteractiveAndAccountExcludeEachOther) {
  RecordingService svc(nullptr);
  svc.SetServiceStartName(u"kavo");
  svc.SetPassword(u"secret");
  svc.SetInteractive(true);
  EXPECT_TRUE(svc.Interactive());
  EXPECT_EQ(svc.Password(), u"");
  EXPECT_EQ(svc.ServiceStartName(), u"");
  svc.SetPassword(u"x");
  EXPECT_FALSE(svc.Interactive());
  svc.SetInteractive(true);
  svc.SetServiceStartName(u"y");
  EXPECT_FALSE(svc.Interactive());
  svc.SetInteractive(true);
  svc.SetPassword(u"");  // empty leaves it
  EXPECT_TRUE(svc.Interactive());
}

}  // namespace
}  // namespace kavo::test
