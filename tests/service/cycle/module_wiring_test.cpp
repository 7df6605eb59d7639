// The service module's tick runs the cycle over the components attached to it.
#include <gtest/gtest.h>

#include <algorithm>

#include "testkit/memory_roles.h"
#include "platform/event_log.h"
#include "rtl/code_page.h"
#include "rtl/format_settings.h"
#include "service/kavo_servico_integrador.h"
#include "recordset/database_error.h"
#include "testkit/oracle_standin.h"
#include "testkit/temp_dir.h"

namespace kavo::test {
namespace {

class ModuleWiring : public ::testing::Test, protected MemoryComponents {
 protected:
  void SetUp() override {
    saved_ = FormatSettings();
    FormatSettings() = FormatSettingsFromPatterns("%d/%m/%Y", "%H:%M:%S", "", "", ",", ".");
    SetAnsiCodePage("CP1252");
    SetEventSink(&events_);
    module_.SetBaseDirectory(AsciiToString(dir_.path() + "/"));
  }
  void TearDown() override {
    SetEventSink(nullptr);
    FormatSettings() = saved_;
  }
  void Attach() { module_.SetCycleComponents({session, *ora, db, *fb}); }
  std::vector<std::string> LogLines() const {
    std::vector<std::string> lines;
    std::string all = dir_.Read("LogKavoIntegracao.txt");
    for (size_t p = 0, e; (e = all.find("\r\n", p)) != std::string::npos; p = e + 2)
      lines.push_back(all.substr(p, e - p));
    return lines;
  }

  TempDir dir_;
  MemoryEventSink events_;
  TKavoServicoIntegrador module_{nullptr};
  TFormatSettings saved_;
};

TEST_F(ModuleWiring, TickCopiesWithTheIniValuesOfThatTick) {
  dir_.Write("KavoIntegradorOracle.ini",
             "[KavoIntegracao]\r\nORACLE=ORCL\r\nUU=kavo\r\nSS=secret\r\nFIREBIRD=/data/kavo.fdb\r\n");
  int row = table.AddPending(42, "08:15:00");
  Attach();
  module_.TempoTimer(&module_);

  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "Ini = " + dir_.path() + "/KavoIntegradorOracle.ini");
  EXPECT_EQ(lines[1].rfind(" Iniciado integracao ", 0), 0u);
  EXPECT_EQ(lines[2].rfind(" Oracle Aberto ", 0), 0u);
  EXPECT_EQ(lines[3].rfind(" Firebird Aberto ", 0), 0u);
  EXPECT_EQ(lines[4], " Nr de Registros para Importar: 1");
  EXPECT_EQ(lines[5].rfind("Importando: 42 : ", 0), 0u);
  EXPECT_EQ(lines[6].rfind(" Processo Encerrado ", 0), 0u);
  // The module's logon values reached the session.
  EXPECT_EQ(session.database, u"ORCL");
  EXPECT_EQ(session.username, u"kavo");
  EXPECT_EQ(table.At(row, u"STATUS").value_or("<null>"), "X");
  EXPECT_EQ(server.Find(u"/data/kavo.fdb")->size(), 1u);
}

TEST_F(ModuleWiring, EachTickLogsOnWithTheIniAsItIsThen) {
  dir_.Write("KavoIntegradorOracle.ini",
             "[KavoIntegracao]\r\nORACLE=ORCL\r\nUU=kavo\r\nSS=secret\r\n"
             "FIREBIRD=/data/kavo.fdb\r\n");
  server.databases.push_back({u"/data/other.fdb", {}});
  table.AddPending(1, "08:15:00");
  Attach();
  module_.TempoTimer(&module_);
  ASSERT_EQ(server.Find(u"/data/kavo.fdb")->size(), 1u);

  // The operator changes the password and moves the staging database.
  session.good_password = u"n3w";
  dir_.Write("KavoIntegradorOracle.ini",
             "[KavoIntegracao]\r\nORACLE=ORCL\r\nUU=kavo\r\nSS=n3w\r\n"
             "FIREBIRD=/data/other.fdb\r\n");
  table.AddPending(2, "08:16:00");
  calls.clear();
  module_.TempoTimer(&module_);
  Journal logon(calls.begin(), calls.begin() + 5);
  EXPECT_EQ(logon, (Journal{"ora.Connected=false", "ora.LogonDatabase=ORCL",
                            "ora.LogonUsername=kavo", "ora.LogonPassword=n3w",
                            "ora.Connected=true"}));
  EXPECT_NE(std::find(calls.begin(), calls.end(), "db.DatabaseName=/data/other.fdb"), calls.end());
  EXPECT_EQ(session.logons, 2);
  EXPECT_EQ(server.Find(u"/data/kavo.fdb")->size(), 1u);
  EXPECT_EQ(server.Find(u"/data/other.fdb")->size(), 1u);
  EXPECT_EQ(table.At(1, u"STATUS").value_or("<null>"), "X");
  EXPECT_EQ(LogLines().back().rfind(" Processo Encerrado ", 0), 0u);
}

TEST_F(ModuleWiring, WithoutStandInsATickRunsTheModulesOwnComponents) {
  StandIn oracle;  // the client search finds the stand-in
  dir_.Write("KavoIntegradorOracle.ini",
             "[KavoIntegracao]\r\nORACLE=" + dir_.File("no-such-store.db") +
                 "\r\nUU=kavo\r\nSS=secret\r\n");
  try {
    module_.TempoTimer(&module_);
    FAIL() << "the record count of the closed Oracle record set raises";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), u"OracleDataSet: Cannot perform this operation on a closed dataset");
  }
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1].rfind(" Iniciado integracao ", 0), 0u);
  EXPECT_EQ(lines[2].rfind(" Erro ", 0), 0u);
  EXPECT_NE(lines[2].find(" = ORA-12154: "), std::string::npos) << lines[2];
  EXPECT_FALSE(module_.OracleSession->Connected());
  EXPECT_FALSE(module_.IBDatabase->Connected());
  EXPECT_EQ(table.commits, 0);
}

}  // namespace
}  // namespace kavo::test
