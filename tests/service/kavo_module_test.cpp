#include "service/kavo_servico_integrador.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/event_log.h"
#include "rtl/code_page.h"
#include "rtl/exceptions.h"
#include "testkit/temp_dir.h"

namespace kavo::test {
namespace {

class Module : public ::testing::Test {
 protected:
  void SetUp() override {
    SetAnsiCodePage("UTF-8");
    SetEventSink(&events_);
    module_.SetBaseDirectory(AsciiToString(dir_.path() + "/"));
  }
  void TearDown() override { SetEventSink(nullptr); }

  void Ini(const std::string& body) { dir_.Write("KavoIntegradorOracle.ini", body); }
  std::string Log() const { return dir_.Read("LogKavoIntegracao.txt"); }
  std::string IniLine() const { return "Ini = " + dir_.path() + "/KavoIntegradorOracle.ini\r\n"; }
  void Start() {
    bool started = true;
    module_.ServiceStart(&module_, started);
    EXPECT_TRUE(started);
  }

  TempDir dir_;
  MemoryEventSink events_;
  TKavoServicoIntegrador module_{nullptr};
};

TEST_F(Module, StoredSettings) {
  EXPECT_EQ(module_.Name(), u"KavoServicoIntegrador");
  EXPECT_EQ(module_.DisplayName, u"KavoIntegradorOracle");
  EXPECT_TRUE(module_.Interactive());
  EXPECT_EQ(module_.StartType, stAuto);
  EXPECT_EQ(module_.WaitHint, 5000u);
  EXPECT_TRUE(module_.AllowStop);
  EXPECT_TRUE(module_.AllowPause);
  EXPECT_EQ(module_.RegistrationType(), 0x110u);
  ASSERT_NE(module_.Tempo, nullptr);
  EXPECT_EQ(module_.Tempo->Owner(), &module_);
  EXPECT_EQ(module_.Tempo->Interval(), 1200000u);
  EXPECT_TRUE(module_.Tempo->Enabled());
  EXPECT_TRUE(module_.Tempo->Armed());  // from creation on, before any start
  EXPECT_EQ(module_.GetServiceController(), &ServiceController);
}

TEST_F(Module, CarregaINIWithoutAFileLogsThePathAndTakesTheDefaults) {
  module_.CarregaINI();
  EXPECT_EQ(Log(), IniLine());
  EXPECT_EQ(module_.CaminhoOracle(), u"");
  EXPECT_EQ(module_.UsuarioOracle(), u"");
  EXPECT_EQ(module_.SenhaOracle(), u"");
  EXPECT_EQ(module_.CaminhoFirebird(), u"");
  EXPECT_EQ(module_.Minutos(), 300000);
  EXPECT_FALSE(dir_.Exists("KavoIntegradorOracle.ini"));
}

TEST_F(Module, CarregaINIReadsEveryKey) {
  Ini("[kavointegracao]\r\noracle = ORCL \r\nUU=v9norvelo\r\nss=\"s3 cr=t\"\r\n"
      "FIREBIRD=/var/lib/kavo/DADOSKAVO.FDB\r\nMINUTOS=0x0A\r\n");
  module_.CarregaINI();
  EXPECT_EQ(module_.CaminhoOracle(), u"ORCL");
  EXPECT_EQ(module_.UsuarioOracle(), u"v9norvelo");
  EXPECT_EQ(module_.SenhaOracle(), u"s3 cr=t");
  EXPECT_EQ(module_.CaminhoFirebird(), u"/var/lib/kavo/DADOSKAVO.FDB");
  EXPECT_EQ(module_.Minutos(), 600000);
  Ini("[KavoIntegracao]\r\nMINUTOS=ten\r\n");
  module_.CarregaINI();
  EXPECT_EQ(module_.CaminhoOracle(), u"");
  EXPECT_EQ(module_.Minutos(), 300000);
  EXPECT_EQ(Log(), IniLine() + IniLine());
}

TEST_F(Module, StartLogsThenLoadsAndSetsThePeriod) {
  Ini("[KavoIntegracao]\nMINUTOS=10\n");
  Start();
  std::string log = Log();
  ASSERT_EQ(log.rfind(" Iniciado ", 0), 0u) << log;
  EXPECT_NE(log.find("\r\n" + IniLine()), std::string::npos);
  EXPECT_EQ(module_.Tempo->Interval(), 600000u);
  EXPECT_TRUE(module_.Tempo->Armed());
  EXPECT_TRUE(events_.Events().empty());
}

TEST_F(Module, TwentyMinutesKeepTheStoredPeriod) {
  Ini("[KavoIntegracao]\nMINUTOS=20\n");
  Start();
  EXPECT_EQ(module_.Tempo->Interval(), 1200000u);
  EXPECT_TRUE(module_.Tempo->Armed());
}

TEST_F(Module, ZeroMinutesLeaveTheTimerUnarmedWithoutAnEvent) {
  Ini("[KavoIntegracao]\nMINUTOS=0\n");
  Start();
  EXPECT_FALSE(module_.Tempo->Armed());
  EXPECT_TRUE(events_.Events().empty());
}

TEST_F(Module, EntregaUnicaIsOffWithoutTheKeyAndStaysOnForAValueItCannotRead) {
  const struct {
    const char* ini;
    bool on;
    bool event;
  } cases[] = {{"", false, false},
               {"ENTREGA_UNICA=1\n", true, false},
               {"entrega_unica = nao\n", false, false},
               {"ENTREGA_UNICA=talvez\n", true, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ini);
    MemoryEventSink events;
    SetEventSink(&events);
    Ini(std::string("[KavoIntegracao]\n") + c.ini);
    module_.CarregaINI();
    EXPECT_EQ(module_.EntregaUnica(), c.on);
    ASSERT_EQ(events.Events().size(), c.event ? 1u : 0u);
    if (c.event) {
      EXPECT_EQ(events.Events()[0].message,
                u"ENTREGA_UNICA = talvez is neither on (1, S, SIM, TRUE) nor off (0, N, NAO, "
                u"FALSE); exactly-once delivery stays on");
    }
  }
}

TEST_F(Module, UnusablePeriodsLeaveTheTimerUnarmedWithOneEventNamingTheValue) {
  for (const char* value : {"-1", "35792"}) {
    SCOPED_TRACE(value);
    MemoryEventSink events;
    SetEventSink(&events);
    Ini(std::string("[KavoIntegracao]\nMINUTOS=") + value + "\n");
    Start();
    EXPECT_FALSE(module_.Tempo->Armed());
    ASSERT_EQ(events.Events().size(), 1u);
    EXPECT_EQ(events.Events()[0].type, etError);
    EXPECT_EQ(events.Events()[0].source, u"KavoServicoIntegrador");
    EXPECT_NE(events.Events()[0].message.find(u"MINUTOS = " + AsciiToString(value)),
              String::npos);
    module_.Tempo->SetInterval(1200000);
  }
}

TEST_F(Module, StopDisablesTheTimer) {
  bool stopped = true;
  module_.ServiceStop(&module_, stopped);
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(module_.Tempo->Enabled());
  EXPECT_FALSE(module_.Tempo->Armed());
}

TEST_F(Module, TickLoadsTheConfigurationThenRunsACycle) {
  // Without an INI the logon fails; the record count of the closed Oracle
  // record set then ends the cycle.
  EXPECT_THROW(module_.TempoTimer(module_.Tempo), EDatabaseError);
  std::string log = Log();
  ASSERT_EQ(log.rfind(IniLine(), 0), 0u) << log;
  size_t start = log.find(" Iniciado integracao ", IniLine().size());
  EXPECT_EQ(start, IniLine().size()) << log;
  EXPECT_NE(log.find("\r\n Erro ", start), std::string::npos) << log;
}

TEST_F(Module, StartFailsWhenTheLogCannotBeWritten) {
  dir_.Write("LogKavoIntegracao.txt", "");
  chmod(dir_.File("LogKavoIntegracao.txt").c_str(), 0444);
  bool started = true;
  try {
    module_.ServiceStart(&module_, started);
    FAIL() << "started";
  } catch (const EInOutError& e) {
    EXPECT_EQ(e.Message(), u"File access denied");
  }
}

}  // namespace
}  // namespace kavo::test
