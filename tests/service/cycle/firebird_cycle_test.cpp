// The integration cycle with the real Firebird side: TIBDatabase,
// TIBTransaction and FB_TMP_INTEGRACAO as the module stores them, on a real
// database (embedded, and through the server), with the Oracle side in memory.
#include <gtest/gtest.h>

#include "ib/ib_dataset.h"
#include "rtl/datetime.h"
#include "rtl/format_settings.h"
#include "service/integration_cycle.h"
#include "service/stored_firebird_dataset.h"
#include "testkit/ib_support.h"
#include "testkit/memory_roles.h"

namespace kavo::test {
namespace {

std::optional<String> Null() { return std::nullopt; }

// The module's five components with the Firebird three real.
class RealFirebirdCycle {
 public:
  RealFirebirdCycle() {
    saved_ = FormatSettings();
    FormatSettings().TimeSeparator = u':';
    ora = new MemOracleDataSet(&owner, session, table, journal);
    ora->SetName(u"OracleDataSet");
    AddOracleFields(owner, *ora);
    fb = new TIBDataSet(&owner);
    ApplyStoredSettings(*fb, owner);
    fb->SetDatabase(conn.db.get());
    fb->SetTransaction(conn.tr.get());
  }
  ~RealFirebirdCycle() { FormatSettings() = saved_; }

  void Run(const String& firebird_path) {
    RunIntegrationCycle({session, *ora, *conn.db, *fb},
                        {u"ORCL", u"kavo", u"secret", firebird_path},
                        [this](const String& line) { log.push_back(line); },
                        [] { return String(u"<dt>"); });
  }
  std::string Oracle(int row, StringView column) {
    return table.At(row, column).value_or("<null>");
  }

  Journal journal;
  OracleTable table;
  MemOracleSession session{journal};
  // Created with a design-time path, as the module is; the cycle sets the
  // configured one.
  Connection conn{u"/nonexistent/design-time/DADOSKAVO.FDB"};
  std::vector<String> log;
  TComponent owner{nullptr};  // last: its record sets go before what they use
  MemOracleDataSet* ora = nullptr;
  TIBDataSet* fb = nullptr;

 private:
  TFormatSettings saved_;
};

// Two pending rows copied: every column of TMP_INTEGRACAO as the cycle leaves
// it, the Oracle rows marked, both sides closed.
void CopyTwoRowsAndCheckEveryColumn(const String& firebird_path) {
  RealFirebirdCycle c;
  TDateTime grav = EncodeDate(2026, 12, 8) + EncodeTime(9, 30, 0, 0);
  double ms = double(DateTimeToTimeStamp(grav).Date) * 86400000 + 9.5 * 3600000;
  int first = c.table.AddPending(17, "10:15:30", Float(ms));
  c.table.Set(first, u"ACAO", Text("I"));
  // The tests' ANSI code page is UTF-8.
  c.table.Set(first, u"DADOS", Text("Cora\xc3\xa7\xc3\xa3o, p\xc3\xa3o"));
  int second = c.table.AddPending(18, "23:59:59");  // DT_H_GRAV NULL
  c.table.Set(second, u"VERSAO", Text("2.10.3"));

  c.Run(firebird_path);

  EXPECT_EQ(c.log.size(), 7u);
  EXPECT_EQ(c.log.at(2), u" Firebird Aberto <dt>");
  EXPECT_EQ(c.log.at(3), u" Nr de Registros para Importar: 2");
  EXPECT_EQ(c.log.at(6), u" Processo Encerrado <dt>");
  EXPECT_EQ(c.Oracle(first, u"STATUS"), "X");
  EXPECT_EQ(c.Oracle(second, u"STATUS"), "X");
  EXPECT_EQ(c.Oracle(first, u"ERRO"), "<null>");
  // The cycle's end: record sets closed, connection detached and committed.
  EXPECT_FALSE(c.fb->Active());
  EXPECT_FALSE(c.conn.db->Connected());
  EXPECT_FALSE(c.conn.tr->Active());

  std::vector<CommittedRow> rows =
      ReadCommitted(firebird_path, u"select * from TMP_INTEGRACAO order by NRECNO");
  ASSERT_EQ(rows.size(), 2u);
  CommittedRow& a = rows[0];
  EXPECT_EQ(a[u"NRECNO"], u"1");  // the table's trigger numbers the NULL
  EXPECT_EQ(a[u"ACAO"], u"I");
  EXPECT_EQ(a[u"DADOS"], u"Coração, pão");
  EXPECT_EQ(a[u"DATA"], u"2026-12-08");
  EXPECT_EQ(a[u"HORA"], u"10:15:30.000");
  EXPECT_EQ(a[u"TIPO"], u"PEDIDO");
  EXPECT_EQ(a[u"VERSAO"], u"1.0");
  EXPECT_EQ(a[u"STATUS"], u"PROCESSAR");
  EXPECT_EQ(a[u"ERRO"], Null());
  EXPECT_EQ(a[u"STATUS_INTEGRACAO"], Null());
  EXPECT_EQ(a[u"ERRO_INTEGRACAO"], Null());
  CommittedRow& b = rows[1];
  EXPECT_EQ(b[u"NRECNO"], u"2");
  EXPECT_EQ(b[u"DADOS"], u"dados 1");
  EXPECT_EQ(b[u"DATA"], u"1899-12-30");  // a NULL DT_H_GRAV reads as day 0
  EXPECT_EQ(b[u"HORA"], u"23:59:59.000");
  EXPECT_EQ(b[u"VERSAO"], u"2.10.3");
  EXPECT_EQ(b[u"STATUS"], u"PROCESSAR");
  EXPECT_EQ(b[u"STATUS_INTEGRACAO"], Null());
  EXPECT_EQ(b[u"ERRO_INTEGRACAO"], Null());

  // The next cycle reconnects, prepares again and copies only the new row.
  int third = c.table.AddPending(19, "00:00:01");
  c.log.clear();
  c.Run(firebird_path);
  EXPECT_EQ(c.log.at(3), u" Nr de Registros para Importar: 1");
  EXPECT_EQ(c.Oracle(third, u"STATUS"), "X");
  rows = ReadCommitted(firebird_path, u"select * from TMP_INTEGRACAO order by NRECNO");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2][u"NRECNO"], u"3");
  EXPECT_EQ(rows[2][u"HORA"], u"00:00:01.000");
}

class FirebirdCycleEmbedded : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.File("kavo.fdb");
    CreateTestDatabase(path_);
  }
  String Name() const { return Utf8ToString(path_); }
  DatabaseDir dir_;
  std::string path_;
};

TEST_F(FirebirdCycleEmbedded, RowsReachTheStagingTableColumnByColumn) {
  CopyTwoRowsAndCheckEveryColumn(Name());
}

TEST_F(FirebirdCycleEmbedded, ARowTheServerRefusesLeavesNoFirebirdRowAndItsErrorInOracle) {
  {
    Connection setup(Name());
    setup.db->Open();
    ExecuteCommitted(*setup.db, {u"alter table TMP_INTEGRACAO add constraint TIPO_VALIDO "
                                 u"check (TIPO <> 'RUIM')"});
    setup.db->Close();
  }
  RealFirebirdCycle c;
  int bad = c.table.AddPending(1, "08:00:00");
  c.table.Set(bad, u"TIPO", Text("RUIM"));
  int late = c.table.AddPending(2, "25:00:00");  // not a time
  int good = c.table.AddPending(3, "08:00:02");
  c.Run(Name());

  EXPECT_EQ(c.Oracle(bad, u"STATUS"), "A");
  EXPECT_NE(c.Oracle(bad, u"ERRO").find("TIPO_VALIDO"), std::string::npos)
      << c.Oracle(bad, u"ERRO");
  EXPECT_EQ(c.Oracle(late, u"STATUS"), "A");
  EXPECT_EQ(c.Oracle(late, u"ERRO"), "''25:00:00'' is not a valid time");
  EXPECT_EQ(c.Oracle(good, u"STATUS"), "X");
  std::vector<CommittedRow> rows =
      ReadCommitted(Name(), u"select * from TMP_INTEGRACAO order by NRECNO");
  ASSERT_EQ(rows.size(), 1u);  // only the good row; nothing of the other two
  EXPECT_EQ(rows[0][u"HORA"], u"08:00:02.000");
}

TEST_F(FirebirdCycleEmbedded, AMissingDatabaseMarksEveryRowWithTheClosedDataSetError) {
  RealFirebirdCycle c;
  int r = c.table.AddPending(1, "08:00:00");
  c.Run(Utf8ToString(dir_.File("missing.fdb")));
  EXPECT_EQ(c.log.at(2).rfind(u" Erro <dt> = ", 0), 0u);
  EXPECT_EQ(c.Oracle(r, u"STATUS"), "A");
  EXPECT_EQ(c.Oracle(r, u"ERRO"),
            "FB_TMP_INTEGRACAO: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(c.log.back(), u" Processo Encerrado <dt>");
}

class FirebirdCycleServer : public ServerDatabaseTest {};

TEST_F(FirebirdCycleServer, RowsReachTheStagingTableColumnByColumn) {
  CopyTwoRowsAndCheckEveryColumn(RemoteName());
}

}  // namespace
}  // namespace kavo::test
