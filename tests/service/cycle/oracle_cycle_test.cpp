// The integration cycle with the real Oracle session and record set against
// the OCI stand-in (the Firebird side in memory), with the exact log and the
// rows as the server has them afterwards.
#include <gtest/gtest.h>

#include <algorithm>

#include "recordset/database_error.h"
#include "rtl/format.h"
#include "service/integration_cycle.h"
#include "testkit/memory_roles.h"
#include "testkit/oracle_dataset_fixture.h"

namespace kavo::test {
namespace {

using Log = std::vector<String>;

String DT(int n) { return Format(u"09/12/2026 10:00:%02d", {n}); }

class OracleCycleTest : public OracleDataSetFixture {
 protected:
  void SetUp() override {
    OracleDataSetFixture::SetUp();
    // The cycle logs the session on itself, with the configured values.
    session_->SetConnected(false);
    AddServiceFields();
    db_.transaction = &tr_;
    fb_ = new MemFbDataSet(&owner_, db_, tr_, journal_);
    fb_->SetName(u"FB_TMP_INTEGRACAO");
    AddFirebirdFields(owner_, *fb_);
    server_.databases.push_back({u"/data/kavo.fdb", {}});
    settings_ = {Utf8ToString(standin_->Store()), u"v9norvelo", u"secret", u"/data/kavo.fdb"};
  }

  // Runs a cycle; the trace then holds what it sent.
  void Run() {
    trace_->Clear();
    RunIntegrationCycle({*session_, *ds_, db_, *fb_}, settings_,
                        [this](const String& line) { log_.push_back(line); },
                        [this] { return DT(++clock_); });
    sent_ = trace_->Records();
  }
  long Commits() const { return std::count(sent_.begin(), sent_.end(), "commit"); }

  Journal journal_;
  FirebirdServer server_;
  MemIBDatabase db_{server_, journal_};
  MemIBTransaction tr_{db_, journal_};
  MemFbDataSet* fb_ = nullptr;
  IntegrationSettings settings_;
  Log log_;
  int clock_ = 0;
  std::vector<std::string> sent_;  // what the last cycle sent to the stand-in
};

TEST_F(OracleCycleTest, RowsAreCopiedAndMarkedOrCarryTheirError) {
  AddPendingRows(3);
  ASSERT_EQ(Sql("update interface_orcl set hora = '99:00' where codigo = 2;\ncommit;\n"), 0);
  Run();
  EXPECT_EQ(log_, (Log{u" Iniciado integracao " + DT(1), u" Oracle Aberto " + DT(2),
                       u" Firebird Aberto " + DT(3), u" Nr de Registros para Importar: 3",
                       u"Importando: 1 : " + DT(4), u"Importando: 2 : " + DT(5),
                       u" Erro ''99:00'' is not a valid time", u"Importando: 3 : " + DT(6),
                       u" Processo Encerrado " + DT(7)}));
  EXPECT_EQ(Column("status", 1), "X");
  EXPECT_EQ(Column("status", 2), "A");
  EXPECT_EQ(Column("erro", 2), "''99:00'' is not a valid time");
  EXPECT_EQ(Column("status", 3), "X");
  EXPECT_EQ(server_.Find(u"/data/kavo.fdb")->size(), 2u);
  // Each row's mark was committed by itself.
  EXPECT_EQ(Commits(), 3);
  EXPECT_TRUE(session_->Connected());
  EXPECT_FALSE(ds_->Active());

  // The next cycle takes only the failed row again.
  log_.clear();
  clock_ = 0;
  ASSERT_EQ(Sql("update interface_orcl set hora = '12:00:00' where codigo = 2;\ncommit;\n"), 0);
  Run();
  EXPECT_EQ(log_[3], u" Nr de Registros para Importar: 1");
  EXPECT_EQ(log_[4], u"Importando: 2 : " + DT(4));
  EXPECT_EQ(Column("status", 2), "X");
}

TEST_F(OracleCycleTest, NoPendingRowOpensAndClosesOnly) {
  Run();
  EXPECT_EQ(log_, (Log{u" Iniciado integracao " + DT(1), u" Oracle Aberto " + DT(2),
                       u" Firebird Aberto " + DT(3), u" Nr de Registros para Importar: 0",
                       u" Processo Encerrado " + DT(4)}));
  // The logon's own queries, then the record set's; nothing written.
  ASSERT_FALSE(sent_.empty());
  EXPECT_EQ(sent_.back(), "SELECT A.*, A.ROWID FROM \\nv9norvelo.\"INTERFACE_ORCL\" A \\nWHERE "
                          "\\nA.STATUS='A' \\nand  ROWNUM < 1000");
  for (const std::string& s : sent_) EXPECT_EQ(s.rfind("select", 0) == 0 || s.rfind("SELECT", 0) == 0, true) << s;
}

TEST_F(OracleCycleTest, RefusedLogonEndsTheCycleAtTheRecordCount) {
  AddPendingRows(1);
  settings_.SENHA_ORACLE = u"wrong";
  try {
    Run();
    FAIL() << "the record count of a closed record set raises";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), u"OracleDataSet: Cannot perform this operation on a closed dataset");
  }
  EXPECT_EQ(log_, (Log{u" Iniciado integracao " + DT(1),
                       u" Erro " + DT(2) + u" = ORA-01017: invalid username/password; logon denied\n"}));
  EXPECT_EQ(Column("status", 1), "A");
}

TEST_F(OracleCycleTest, UnreachableFirebirdMarksEveryRowWithTheClosedDatasetError) {
  AddPendingRows(2);
  settings_.CAMINHO_FIREBIRD = u"/data/missing.fdb";
  Run();
  ASSERT_EQ(log_.size(), 9u);
  EXPECT_EQ(log_[2].rfind(u" Erro " + DT(3) + u" = ", 0), 0u);
  EXPECT_EQ(log_[5], u" Erro FB_TMP_INTEGRACAO: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(Column("erro", 1), "FB_TMP_INTEGRACAO: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(Column("erro", 2), "FB_TMP_INTEGRACAO: Cannot perform this operation on a closed dataset");
  EXPECT_EQ(Column("status", 1), "A");
}

TEST_F(OracleCycleTest, RowChangedByAnotherSessionStopsTheCycleAtItsEdit) {
  AddPendingRows(2);
  ds_->AfterOpen = [this](TDataSet&) {
    ASSERT_EQ(Sql("update interface_orcl set dados = 'outro' where codigo = 1;\ncommit;\n"), 0);
  };
  try {
    Run();
    FAIL() << "the edit of the success path has no handler";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Message(), u"OracleDataSet: Record has been changed by another user");
  }
  EXPECT_EQ(log_.back(), u"Importando: 1 : " + DT(4));
  EXPECT_EQ(Column("status", 1), "A");
  // The next cycle logs the session off, which closes the record set.
  ds_->AfterOpen = nullptr;
  log_.clear();
  clock_ = 0;
  Run();
  EXPECT_EQ(log_[3], u" Nr de Registros para Importar: 2");
  EXPECT_EQ(Column("status", 1), "X");
}

}  // namespace
}  // namespace kavo::test
