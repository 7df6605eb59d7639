#include "platform/service_control.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <cerrno>

namespace kavo {
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

}  // namespace
}  // namespace kavo
