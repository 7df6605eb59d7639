#include "platform/service_control.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "testkit/temp_dir.h"

namespace kavo::test {
namespace {

TEST(ControlSignals, EachSignalCarriesItsControlCode) {
  EXPECT_EQ(ControlCodeForSignal(SIGTERM), SERVICE_CONTROL_STOP);
  EXPECT_EQ(ControlCodeForSignal(SIGUSR1), SERVICE_CONTROL_PAUSE);
  EXPECT_EQ(ControlCodeForSignal(SIGUSR2), SERVICE_CONTROL_CONTINUE);
  EXPECT_EQ(ControlCodeForSignal(SIGHUP), SERVICE_CONTROL_INTERROGATE);
  EXPECT_EQ(ControlCodeForSignal(SIGPWR), SERVICE_CONTROL_SHUTDOWN);
  EXPECT_EQ(ControlCodeForSignal(SIGRTMIN), 128u);
  EXPECT_EQ(ControlCodeForSignal(SIGRTMIN + 5), 133u);
  EXPECT_EQ(ControlCodeForSignal(SIGRTMAX), 128u + (SIGRTMAX - SIGRTMIN));
  EXPECT_EQ(ControlCodeForSignal(SIGINT), 0u);
  EXPECT_EQ(ControlCodeForSignal(SIGKILL), 0u);
}

ServiceStatus Status(uint32_t state, uint32_t accepted, uint32_t checkpoint) {
  ServiceStatus s;
  s.service_type = 0x110;
  s.current_state = state;
  s.controls_accepted = accepted;
  s.check_point = checkpoint;
  s.wait_hint = 5000;
  return s;
}

TEST(NotifyMessage, StartPendingAcceptsNothingAndExtendsTheTimeout) {
  EXPECT_EQ(NotifyMessage(Status(SERVICE_START_PENDING, 0, 2), "csStartPending", false),
            "STATUS=csStartPending checkpoint=2 accepts=none wait-hint=5000ms\n"
            "EXTEND_TIMEOUT_USEC=5000000");
}

TEST(NotifyMessage, ReadyOnlyWithTheFirstRunningReport) {
  ServiceStatus running = Status(SERVICE_RUNNING, 7, 0);
  EXPECT_EQ(NotifyMessage(running, "csRunning", true),
            "STATUS=csRunning checkpoint=0 accepts=stop,pause-continue,shutdown "
            "wait-hint=5000ms\nREADY=1");
  EXPECT_EQ(NotifyMessage(running, "csRunning", false).find("READY"), std::string::npos);
  // A flag that makes no sense for the state is ignored.
  EXPECT_EQ(NotifyMessage(Status(SERVICE_PAUSED, 7, 0), "csPaused", true).find("READY"),
            std::string::npos);
}

TEST(NotifyMessage, StoppingGoesWithStopPending) {
  std::string text = NotifyMessage(Status(SERVICE_STOP_PENDING, 5, 0), "csStopPending", false);
  EXPECT_EQ(text.rfind("STATUS=csStopPending checkpoint=0 accepts=stop,shutdown", 0), 0u);
  EXPECT_NE(text.find("\nSTOPPING=1"), std::string::npos);
  EXPECT_NE(text.find("\nEXTEND_TIMEOUT_USEC=5000000"), std::string::npos);
  std::string stopped = NotifyMessage(Status(SERVICE_STOPPED, 7, 0), "csStopped", false);
  EXPECT_EQ(stopped.find("STOPPING"), std::string::npos);
  EXPECT_EQ(stopped.find("EXTEND_TIMEOUT"), std::string::npos);
}

TEST(NotifyMessage, ExitCodesAppearOnlyWhenSet) {
  ServiceStatus s = Status(SERVICE_STOPPED, 7, 0);
  EXPECT_EQ(NotifyMessage(s, "csStopped", false).find("exit-code"), std::string::npos);
  s.win32_exit_code = 1066;
  s.service_specific_exit_code = 42;
  EXPECT_NE(NotifyMessage(s, "csStopped", false).find(" exit-code=1066/42"), std::string::npos);
}

TEST(Dispatcher, FailsWithoutANotifySocket) {
  const char* saved = getenv("NOTIFY_SOCKET");
  std::string keep = saved ? saved : "";
  unsetenv("NOTIFY_SOCKET");
  bool ran = false;
  static bool* ran_ptr;
  ran_ptr = &ran;
  std::vector<ServiceTableEntry> table{{u"Svc", [](const std::vector<String>&) { *ran_ptr = true; }}};
  EXPECT_EQ(StartServiceCtrlDispatcher(table), ENOTCONN);
  EXPECT_FALSE(ran);
  if (saved) setenv("NOTIFY_SOCKET", keep.c_str(), 1);
}

TEST(Dispatcher, HandlerRegistrationFailsOutsideTheDispatcher) {
  errno = 0;
  EXPECT_EQ(RegisterServiceCtrlHandler(u"Svc", [](uint32_t) {}), 0u);
  EXPECT_EQ(errno, ESRCH);
  EXPECT_FALSE(SetServiceStatus(1, Status(SERVICE_RUNNING, 7, 0), "csRunning"));
}

// The dispatcher run for real: a notify socket to talk to, a service entry
// whose steps the test drives, and a handler that records what reaches it.
// Signals go to the process, as the service manager sends them.
class RunningDispatcher : public ::testing::Test {
 protected:
  void SetUp() override {
    BlockControlSignals();  // before any thread, so that only signalfd sees them
    socket_path_ = dir_.File("notify");
    socket_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(socket_, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, socket_path_.c_str(), sizeof addr.sun_path - 1);
    ASSERT_EQ(bind(socket_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    setenv("NOTIFY_SOCKET", socket_path_.c_str(), 1);
    self_ = this;
  }
  void TearDown() override {
    if (dispatcher_.joinable()) {
      Step([] { Report(SERVICE_STOPPED, 7); });
      Finish();
    }
    unsetenv("NOTIFY_SOCKET");
    close(socket_);
    self_ = nullptr;
  }

  // Starts the dispatcher; its service entry registers the handler and then
  // runs the steps handed to Step until Finish.
  void Start() {
    dispatcher_ = std::thread([this] {
      std::vector<ServiceTableEntry> table{{u"Svc", &Entry}};
      result_ = StartServiceCtrlDispatcher(table);
    });
    ASSERT_TRUE(WaitFor([&] { return registered_; }));
  }
  // Runs `step` on the service-entry thread and waits for it.
  void Step(std::function<void()> step) {
    std::unique_lock<std::mutex> lock(mutex_);
    step_ = std::move(step);
    changed_.notify_all();
    changed_.wait(lock, [&] { return !step_; });
  }
  void Finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      finish_ = true;
    }
    changed_.notify_all();
    dispatcher_.join();
    EXPECT_EQ(result_, 0);
  }

  static void Report(uint32_t state, uint32_t accepted, bool sent = true) {
    ServiceStatus s;
    s.current_state = state;
    s.controls_accepted = accepted;
    s.wait_hint = 5000;
    ASSERT_EQ(SetServiceStatus(self_->handle_, s, "state"), sent);
  }
  // Reports while NOTIFY_SOCKET names a socket nobody listens on.
  void ReportUnheard(uint32_t state, uint32_t accepted) {
    setenv("NOTIFY_SOCKET", dir_.File("nobody").c_str(), 1);
    Step([=] {
      errno = 0;
      Report(state, accepted, false);
      EXPECT_EQ(errno, ENOENT);
    });
    setenv("NOTIFY_SOCKET", socket_path_.c_str(), 1);
  }

  // Sends `signal_number` and waits until the dispatcher has taken it; then
  // an interrogate, which always reaches the handler, marks that the first
  // signal has been dealt with, whether it was delivered or dropped.
  void SendAndSettle(int signal_number) {
    ASSERT_EQ(kill(getpid(), signal_number), 0);
    ASSERT_TRUE(WaitFor([&] {
      sigset_t pending;
      sigpending(&pending);
      return !sigismember(&pending, signal_number);
    }));
    size_t before = Codes().size();
    ASSERT_EQ(kill(getpid(), SIGHUP), 0);
    ASSERT_TRUE(WaitFor([&] {
      auto c = Codes();
      return c.size() > before && c.back() == SERVICE_CONTROL_INTERROGATE;
    }));
  }

  std::vector<uint32_t> Codes() {
    std::lock_guard<std::mutex> lock(mutex_);
    return codes_;
  }
  std::vector<uint32_t> WithoutInterrogates() {
    std::vector<uint32_t> codes;
    for (uint32_t c : Codes())
      if (c != SERVICE_CONTROL_INTERROGATE) codes.push_back(c);
    return codes;
  }

  static bool WaitFor(const std::function<bool()>& done) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!done()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
  }

 private:
  static void Entry(const std::vector<String>&) {
    RunningDispatcher* t = self_;
    t->handle_ = RegisterServiceCtrlHandler(u"Svc", &Handler);
    {
      std::lock_guard<std::mutex> lock(t->mutex_);
      t->registered_ = t->handle_ != 0;
    }
    std::unique_lock<std::mutex> lock(t->mutex_);
    for (;;) {
      t->changed_.wait(lock, [&] { return t->step_ || t->finish_; });
      if (!t->step_) return;
      auto step = std::move(t->step_);
      lock.unlock();
      step();
      lock.lock();
      t->step_ = nullptr;
      t->changed_.notify_all();
    }
  }
  static void Handler(uint32_t code) {
    std::lock_guard<std::mutex> lock(self_->mutex_);
    self_->codes_.push_back(code);
  }

  static inline RunningDispatcher* self_ = nullptr;
  TempDir dir_;
  std::string socket_path_;
  int socket_ = -1;
  std::thread dispatcher_;
  int result_ = -1;
  ServiceStatusHandle handle_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> step_;
  bool finish_ = false;
  bool registered_ = false;
  std::vector<uint32_t> codes_;
};

TEST_F(RunningDispatcher, AcceptedControlsReachTheHandler) {
  Start();
  Step([] { Report(SERVICE_RUNNING, 7); });
  SendAndSettle(SIGUSR1);
  SendAndSettle(SIGRTMIN + 3);
  EXPECT_EQ(WithoutInterrogates(), (std::vector<uint32_t>{SERVICE_CONTROL_PAUSE, 131}));
}

TEST_F(RunningDispatcher, StopBeforeTheFirstReportIsKeptUntilAccepted) {
  Start();  // the handler is registered; nothing has been reported yet
  SendAndSettle(SIGTERM);
  EXPECT_TRUE(WithoutInterrogates().empty());
  Step([] { Report(SERVICE_START_PENDING, 0); });
  Step([] { Report(SERVICE_RUNNING, 7); });
  EXPECT_TRUE(WaitFor([&] { return !WithoutInterrogates().empty(); }));
  EXPECT_EQ(WithoutInterrogates(), std::vector<uint32_t>{SERVICE_CONTROL_STOP});
}

TEST_F(RunningDispatcher, StartPendingTakesNoCustomCode) {
  Start();
  Step([] { Report(SERVICE_START_PENDING, 0); });
  SendAndSettle(SIGRTMIN + 1);
  SendAndSettle(SIGUSR1);
  EXPECT_TRUE(WithoutInterrogates().empty());
}

// The manager may not have heard the reports, but the service is in the
// state it reported: its controls must still reach it.
TEST_F(RunningDispatcher, ReportsThatCannotBeSentStillDecideWhatIsAccepted) {
  Start();
  ReportUnheard(SERVICE_START_PENDING, 0);
  ReportUnheard(SERVICE_RUNNING, 7);
  SendAndSettle(SIGUSR1);
  ReportUnheard(SERVICE_PAUSED, 7);
  SendAndSettle(SIGUSR2);
  ReportUnheard(SERVICE_RUNNING, 7);
  SendAndSettle(SIGTERM);
  EXPECT_EQ(WithoutInterrogates(), (std::vector<uint32_t>{SERVICE_CONTROL_PAUSE,
                                                          SERVICE_CONTROL_CONTINUE,
                                                          SERVICE_CONTROL_STOP}));
  ReportUnheard(SERVICE_STOP_PENDING, 5);
  SendAndSettle(SIGUSR1);  // stopping: no pause any more
  EXPECT_EQ(WithoutInterrogates().size(), 3u);
}

TEST_F(RunningDispatcher, StopPendingTakesNoFurtherControl) {
  Start();
  Step([] { Report(SERVICE_RUNNING, 7); });
  Step([] { Report(SERVICE_STOP_PENDING, 7); });
  // A pause now would put a stopping service to sleep.
  SendAndSettle(SIGUSR1);
  SendAndSettle(SIGTERM);
  SendAndSettle(SIGRTMIN + 1);
  EXPECT_TRUE(WithoutInterrogates().empty());
}

}  // namespace
}  // namespace kavo::test
