// The server going away while the record set inserts. Registered RUN_SERIAL:
// it stops the shared server and starts it again.
#include <gtest/gtest.h>

#include "ib/ib_dataset.h"
#include "rtl/datetime.h"
#include "service/stored_firebird_dataset.h"
#include "testkit/ib_support.h"

namespace kavo::test {
namespace {

class DataSetServerStopTest : public ServerDatabaseTest {
 protected:
  void TearDown() override { EXPECT_TRUE(EnsureServer()) << "the server was not restored"; }
};

TEST_F(DataSetServerStopTest, AServerStoppedMidInsertFailsThePostAndClosesEverything) {
  Connection c(RemoteName());
  TComponent owner(nullptr);
  auto* ds = new TIBDataSet(&owner);
  ApplyStoredSettings(*ds, owner);
  ds->SetDatabase(c.db.get());
  ds->Open();
  auto insert = [&](const String& acao) {
    ds->Insert();
    ds->FieldByName(u"ACAO").SetAsWideString(acao);
    ds->FieldByName(u"HORA").SetAsDateTime(EncodeTime(8, 0, 0, 0));
    ds->FieldByName(u"STATUS").SetAsWideString(u"PROCESSAR");
    ds->FieldByName(u"NRECNO").Clear();
  };
  insert(u"1");
  ds->Post();
  ds->Transaction().CommitRetaining();

  insert(u"2");
  ASSERT_EQ(RunServerScript("stop"), 0);
  ASSERT_FALSE(ServerListening());
  try {
    ds->Post();
    FAIL() << "posted without a server";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.SQLCode(), -902) << StringToUtf8(e.Message());
    EXPECT_FALSE(e.Message().empty());
  }
  // The lost connection closed the connection, the transaction and the
  // record set; nothing half-done remains.
  EXPECT_FALSE(c.db->Connected());
  EXPECT_FALSE(c.tr->Active());
  EXPECT_FALSE(ds->Active());
  EXPECT_FALSE(ds->Prepared());

  // Once the server is back the same record set opens and writes again.
  ASSERT_TRUE(EnsureServer());
  ds->Open();
  insert(u"3");
  ds->Post();
  ds->Transaction().CommitRetaining();
  std::vector<CommittedRow> rows =
      ReadCommitted(RemoteName(), u"select ACAO from TMP_INTEGRACAO order by NRECNO");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][u"ACAO"], u"1");
  EXPECT_EQ(rows[1][u"ACAO"], u"3");
}

}  // namespace
}  // namespace kavo::test
