// The program run as the service manager runs it, and from a prompt.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "testkit/service_process.h"

namespace kavo::test {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

const char* kIni = "[KavoIntegracao]\r\nORACLE=ORCL\r\nMINUTOS=20\r\n";

TEST(FromAPrompt, EndsAtOnceWithOneEventAndNoLog) {
  ServiceProcess p;
  p.SetIni(kIni);
  EXPECT_EQ(p.Run({}), 0);
  EXPECT_FALSE(p.Exists("LogKavoIntegracao.txt"));
  EXPECT_EQ(p.Events(),
            Strings{"error\tKavoIntegradorOracle\t0\t0\tTransport endpoint is not connected"});
  EXPECT_EQ(p.Stdout(), "");
  EXPECT_EQ(p.Stderr(), "");
}

TEST(UnderTheServiceManager, StartPauseInterrogateContinueCustomStop) {
  ServiceProcess p;
  p.SetIni(kIni);
  p.Start({}, true);
  ASSERT_TRUE(p.WaitForStatus("csRunning checkpoint=0"));
  EXPECT_EQ(p.Statuses(), (Strings{"csStartPending checkpoint=1", "csStartPending checkpoint=2",
                                   "csRunning checkpoint=0"}));
  EXPECT_NE(p.Messages()[2].find("\nREADY=1"), std::string::npos);
  EXPECT_EQ(p.Messages()[0].find("READY"), std::string::npos);

  // Running is reported before the execute handler writes its line.
  Strings log;
  for (int i = 0; i < 400 && (log = p.LogLines()).size() < 3; ++i) std::this_thread::sleep_for(5ms);
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].rfind(" Iniciado ", 0), 0u);
  EXPECT_EQ(log[1], "Ini = " + p.File("KavoIntegradorOracle.ini"));
  EXPECT_EQ(log[2], log[1]);

  p.Signal(SIGUSR1);
  ASSERT_TRUE(p.WaitForStatus("csPaused checkpoint=0"));
  p.Signal(SIGHUP);
  ASSERT_TRUE(p.WaitForStatus("csPaused checkpoint=0"));
  p.Signal(SIGUSR2);
  ASSERT_TRUE(p.WaitForStatus("csRunning checkpoint=0"));
  p.Signal(SIGRTMIN + 2);  // custom 130: carried out, nothing reported
  p.Signal(SIGHUP);
  ASSERT_TRUE(p.WaitForStatus("csRunning checkpoint=0"));
  p.Signal(SIGTERM);
  ASSERT_TRUE(p.WaitForStatus("csStopped checkpoint=0"));
  EXPECT_EQ(p.Wait(), 0);

  EXPECT_EQ(p.Statuses(),
            (Strings{"csStartPending checkpoint=1", "csStartPending checkpoint=2",
                     "csRunning checkpoint=0", "csPausePending checkpoint=0",
                     "csPaused checkpoint=0", "csPaused checkpoint=0",
                     "csContinuePending checkpoint=0", "csRunning checkpoint=0",
                     "csRunning checkpoint=0", "csStopPending checkpoint=0",
                     "csStopped checkpoint=0"}));
  int ready = 0, stopping = 0;
  for (const std::string& m : p.Messages()) {
    ready += m.find("READY=1") != std::string::npos;
    stopping += m.find("STOPPING=1") != std::string::npos;
  }
  EXPECT_EQ(ready, 1);
  EXPECT_EQ(stopping, 1);
  EXPECT_TRUE(p.Events().empty());
}

TEST(UnderTheServiceManager, StopDuringStartIsKeptUntilTheServiceAcceptsIt) {
  ServiceProcess p;
  p.SetIni(kIni);
  p.Start({}, true);
  ASSERT_TRUE(p.WaitForStatus("csStartPending checkpoint=1"));
  p.Signal(SIGTERM);  // start pending accepts no control
  ASSERT_TRUE(p.WaitForStatus("csStopped checkpoint=0"));
  EXPECT_EQ(p.Wait(), 0);
  EXPECT_EQ(p.Statuses(), (Strings{"csStartPending checkpoint=1", "csStartPending checkpoint=2",
                                   "csRunning checkpoint=0", "csStopPending checkpoint=0",
                                   "csStopped checkpoint=0"}));
}

TEST(UnderTheServiceManager, PauseThenStop) {
  ServiceProcess p;
  p.SetIni(kIni);
  p.Start({}, true);
  ASSERT_TRUE(p.WaitForStatus("csRunning"));
  p.Signal(SIGUSR1);
  ASSERT_TRUE(p.WaitForStatus("csPaused"));
  p.Signal(SIGTERM);
  ASSERT_TRUE(p.WaitForStatus("csStopPending checkpoint=0"));
  ASSERT_TRUE(p.WaitForStatus("csStopped checkpoint=0"));
  EXPECT_EQ(p.Wait(), 0);
}

TEST(UnderTheServiceManager, Shutdown) {
  ServiceProcess p;
  p.SetIni(kIni);
  p.Start({}, true);
  ASSERT_TRUE(p.WaitForStatus("csRunning"));
  p.Signal(SIGPWR);
  ASSERT_TRUE(p.WaitForStatus("csStopPending checkpoint=0"));
  EXPECT_NE(p.Messages().back().find("\nSTOPPING=1"), std::string::npos);
  ASSERT_TRUE(p.WaitForStatus("csStopped checkpoint=0"));
  EXPECT_EQ(p.Wait(), 0);
  EXPECT_TRUE(p.Events().empty());
}

TEST(UnderTheServiceManager, TicksRunCyclesAlsoWhilePausedAndStopEndsThem) {
  ServiceProcess p;
  p.SetIni("[KavoIntegracao]\r\nMINUTOS=1\r\n");
  p.AddEnv("KAVO_TEST_MINUTE_MS=100");
  p.Start({}, true);
  ASSERT_TRUE(p.WaitForStatus("csRunning"));
  std::this_thread::sleep_for(450ms);
  int running = CountPrefix(p.LogLines(), " Iniciado integracao ");
  EXPECT_GE(running, 2);
  p.Signal(SIGUSR1);
  ASSERT_TRUE(p.WaitForStatus("csPaused"));
  std::this_thread::sleep_for(350ms);
  int paused = CountPrefix(p.LogLines(), " Iniciado integracao ");
  EXPECT_GE(paused, running + 2);
  p.Signal(SIGTERM);
  ASSERT_TRUE(p.WaitForStatus("csStopped"));
  EXPECT_EQ(p.Wait(), 0);
  Strings log = p.LogLines();
  // Every cycle follows its own "Ini = " line.
  for (size_t i = 0; i < log.size(); ++i)
    if (log[i].rfind(" Iniciado integracao ", 0) == 0) {
      ASSERT_GT(i, 0u);
      EXPECT_EQ(log[i - 1].rfind("Ini = ", 0), 0u);
    }
}

TEST(UnderTheServiceManager, ReadOnlyLogStopsTheStartWithAnEvent) {
  ServiceProcess p;
  p.SetIni(kIni);
  p.WriteFile("LogKavoIntegracao.txt", "");
  chmod(p.File("LogKavoIntegracao.txt").c_str(), 0444);
  p.Start({}, true);
  ASSERT_TRUE(p.WaitForStatus("csStopped"));
  EXPECT_EQ(p.Wait(), 0);
  EXPECT_EQ(p.Statuses(), (Strings{"csStartPending checkpoint=1", "csStartPending checkpoint=2",
                                   "csStopped checkpoint=0"}));
  EXPECT_EQ(p.Events(), Strings{"error\tKavoServicoIntegrador\t0\t0\t"
                                "Service failed on start: File access denied"});
  EXPECT_EQ(p.Log(), "");
}

// A FIFO at the INI's name reads as no file: the service starts on the
// defaults (5 "minutes"), its cycles go on, and a stop ends it at once.
TEST(UnderTheServiceManager, AnIniThatIsNoFileStallsNeitherTheCyclesNorTheStop) {
  ServiceProcess p;
  ASSERT_EQ(mkfifo(p.File("KavoIntegradorOracle.ini").c_str(), 0644), 0);
  p.AddEnv("KAVO_TEST_MINUTE_MS=100");
  p.Start({}, true);
  ASSERT_TRUE(p.WaitForStatus("csRunning"));
  std::this_thread::sleep_for(1300ms);
  EXPECT_GE(CountPrefix(p.LogLines(), " Iniciado integracao "), 2);
  p.Signal(SIGTERM);
  ASSERT_TRUE(p.WaitForStatus("csStopped", 5s));
  EXPECT_EQ(p.Wait(5s), 0);
}

TEST(UnderTheServiceManager, UnusableMinutosLeavesTheTimerUnarmedAndSaysSo) {
  ServiceProcess p;
  p.SetIni("[KavoIntegracao]\r\nMINUTOS=-1\r\n");
  p.AddEnv("KAVO_TEST_MINUTE_MS=60");  // the stored 20 minutes would tick after 1200 ms
  p.Start({}, true);
  ASSERT_TRUE(p.WaitForStatus("csRunning"));
  std::this_thread::sleep_for(1400ms);
  p.Signal(SIGTERM);
  ASSERT_TRUE(p.WaitForStatus("csStopped"));
  EXPECT_EQ(p.Wait(), 0);
  EXPECT_EQ(CountPrefix(p.LogLines(), " Iniciado integracao "), 0);
  Strings events = p.Events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].rfind("error\tKavoServicoIntegrador\t0\t0\tMINUTOS = -1 ", 0), 0u);
}

TEST(UnderTheServiceManager, StoredPeriodTicksWhenTheIniKeepsTwentyMinutes) {
  ServiceProcess p;
  p.SetIni("[KavoIntegracao]\r\nMINUTOS=20\r\n");
  p.AddEnv("KAVO_TEST_MINUTE_MS=20");  // 20 minutes are 400 ms here
  auto spawned = std::chrono::steady_clock::now();
  p.Start({}, true);
  ASSERT_TRUE(p.WaitForStatus("csRunning"));
  std::this_thread::sleep_for(900ms);
  p.Signal(SIGTERM);
  auto alive = std::chrono::steady_clock::now() - spawned;
  ASSERT_TRUE(p.WaitForStatus("csStopped"));
  EXPECT_EQ(p.Wait(), 0);
  int cycles = CountPrefix(p.LogLines(), " Iniciado integracao ");
  EXPECT_GE(cycles, 2);
  EXPECT_LE(cycles, alive / 400ms);
}

TEST(UnderTheServiceManager, FailingTickBecomesAnApplicationEventAndTicksGoOn) {
  ServiceProcess p;
  p.SetIni("[KavoIntegracao]\r\nMINUTOS=1\r\n");
  p.AddEnv("KAVO_TEST_MINUTE_MS=100");
  p.Start({}, true);
  ASSERT_TRUE(p.WaitForStatus("csRunning"));
  for (int i = 0; i < 400 && p.LogLines().size() < 3; ++i) std::this_thread::sleep_for(5ms);
  chmod(p.File("LogKavoIntegracao.txt").c_str(), 0444);
  std::this_thread::sleep_for(450ms);
  p.Signal(SIGTERM);
  ASSERT_TRUE(p.WaitForStatus("csStopped"));
  EXPECT_EQ(p.Wait(), 0);
  Strings events = p.Events();
  EXPECT_GE(events.size(), 2u);
  for (const std::string& e : events)
    EXPECT_EQ(e, "error\tKavoIntegradorOracle\t0\t0\tFile access denied");
}

TEST(UnderTheServiceManager, StatusThatCannotBeSentIsAnEventAndStopStillEnds) {
  ServiceProcess p;
  p.SetIni(kIni);
  p.Start({}, true);
  ASSERT_TRUE(p.WaitForStatus("csRunning"));
  unlink(p.File("notify").c_str());
  p.Signal(SIGTERM);
  EXPECT_EQ(p.Wait(), 0);
  Strings events = p.Events();
  ASSERT_EQ(events.size(), 2u);  // stop pending and stopped
  for (const std::string& e : events)
    EXPECT_EQ(e, "error\tKavoServicoIntegrador\t0\t0\tNo such file or directory");
}

// A control signal that comes before the program's own code has run (here:
// raised while its libraries are initialised) must wait for the dispatcher
// instead of killing the process.
class EarlySignal : public ::testing::TestWithParam<int> {};

TEST_P(EarlySignal, WaitsForTheDispatcher) {
  ServiceProcess p;
  p.SetIni(kIni);
  p.AddEnv(std::string("LD_PRELOAD=") + KAVO_EARLY_SIGNAL_PROBE);
  p.AddEnv("KAVO_TEST_EARLY_SIGNAL=" + std::to_string(GetParam()));
  // The probe comes before the sanitizer runtime in the library list.
  const char* asan = getenv("ASAN_OPTIONS");
  p.AddEnv(std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0");
  p.Start({}, true);
  ASSERT_TRUE(p.WaitForStatus("csRunning checkpoint=0"));
  if (GetParam() != SIGTERM && GetParam() != SIGPWR) p.Signal(SIGTERM);  // else it stops itself
  ASSERT_TRUE(p.WaitForStatus("csStopped checkpoint=0"));
  EXPECT_EQ(p.Wait(), 0);
  Strings statuses = p.Statuses();
  // An interrogate read before the control handler exists is dropped; read
  // after it, it is answered once the service runs. Either is right.
  if (GetParam() == SIGHUP && statuses.size() == 6 && statuses[3] == "csRunning checkpoint=0")
    statuses.erase(statuses.begin() + 3);
  EXPECT_EQ(statuses, (Strings{"csStartPending checkpoint=1", "csStartPending checkpoint=2",
                               "csRunning checkpoint=0", "csStopPending checkpoint=0",
                               "csStopped checkpoint=0"}));
  EXPECT_TRUE(p.Events().empty());
}

INSTANTIATE_TEST_SUITE_P(UnderTheServiceManager, EarlySignal,
                         ::testing::Values(SIGTERM, SIGHUP, SIGUSR1, SIGPWR));

// The folder's name is bytes; the program must find its INI file and log in
// it whatever the locale makes of those bytes. MINUTOS=-1 proves the INI was
// read: it costs one event.
TEST(UnderTheServiceManager, FindsItsFilesInAFolderWithAnyName) {
  struct Case {
    std::string folder, locale, shown;
  } cases[] = {
      {"Integra\xc3\xa7\xc3\xa3o", "C", "Integra??o"},  // UTF-8 name, ASCII locale
      {"Integra\xe7\xe3o", "C.UTF-8", "Integra\xef\xbf\xbd\xef\xbf\xbdo"},  // Latin-1 name
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.locale);
    ServiceProcess p(c.folder);
    p.SetIni("[KavoIntegracao]\r\nMINUTOS=-1\r\n");
    p.AddEnv("LC_ALL=" + c.locale);
    p.AddEnv("LANG=" + c.locale);
    p.Start({}, true);
    ASSERT_TRUE(p.WaitForStatus("csRunning"));
    for (int i = 0; i < 400 && p.LogLines().size() < 3; ++i) std::this_thread::sleep_for(5ms);
    p.Signal(SIGTERM);
    ASSERT_TRUE(p.WaitForStatus("csStopped"));
    EXPECT_EQ(p.Wait(), 0);
    Strings log = p.LogLines();
    ASSERT_EQ(log.size(), 3u);
    std::string dir = p.Dir().substr(0, p.Dir().size() - c.folder.size()) + c.shown;
    EXPECT_EQ(log[1], "Ini = " + dir + "/KavoIntegradorOracle.ini");
    Strings events = p.Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].rfind("error\tKavoServicoIntegrador\t0\t0\tMINUTOS = -1 ", 0), 0u);
  }
}

// A socket file whose listener has gone: every report fails, as when the
// service manager cannot be reached.
std::string DeadSocket(const ServiceProcess& p) {
  std::string path = p.File("dead-notify");
  int fd = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  close(fd);
  return path;
}

// Waits until the event file holds `n` lines.
bool WaitForEvents(const ServiceProcess& p, size_t n) {
  for (int i = 0; i < 1000; ++i) {
    if (p.Events().size() >= n) return true;
    std::this_thread::sleep_for(5ms);
  }
  return false;
}

TEST(UnderTheServiceManager, UnheardReportsAreEventsAndControlsStillWork) {
  ServiceProcess p;
  p.SetIni(kIni);
  p.AddEnv("NOTIFY_SOCKET=" + DeadSocket(p));
  p.Start({}, false);
  // start pending twice, running: three reports, three events
  ASSERT_TRUE(WaitForEvents(p, 3));
  for (int i = 0; i < 400 && p.LogLines().size() < 3; ++i) std::this_thread::sleep_for(5ms);
  p.Signal(SIGUSR1);  // pause pending, paused
  ASSERT_TRUE(WaitForEvents(p, 5));
  p.Signal(SIGUSR2);  // continue pending, running
  ASSERT_TRUE(WaitForEvents(p, 7));
  p.Signal(SIGTERM);  // stop pending, stopped
  EXPECT_EQ(p.Wait(), 0);
  Strings events = p.Events();
  EXPECT_EQ(events.size(), 9u);
  for (const std::string& e : events)
    EXPECT_EQ(e, "error\tKavoServicoIntegrador\t0\t0\tConnection refused");
  EXPECT_EQ(p.LogLines().size(), 3u);
}

}  // namespace
}  // namespace kavo::test
