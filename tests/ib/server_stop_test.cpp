// The server going away under an open connection. Registered RUN_SERIAL: it
// stops the shared server and starts it again.
#include <gtest/gtest.h>

#include "testkit/ib_support.h"

namespace kavo::test {
namespace {

class ServerStopTest : public ServerDatabaseTest {
 protected:
  void TearDown() override { EXPECT_TRUE(EnsureServer()) << "the server was not restored"; }
};

TEST_F(ServerStopTest, LostConnectionIsClearedAndReported) {
  Connection c(RemoteName());
  c.db->Open();
  c.tr->StartTransaction();
  TIBSQL q(nullptr);
  q.SetDatabase(c.db.get());
  q.SQL().SetText(u"select ACAO from TMP_INTEGRACAO where ACAO = :A");
  q.ParamByName(u"A").SetAsString(u"x");
  int disconnects = 0;
  c.db->AfterDisconnect = [&](TComponent*) { ++disconnects; };

  ASSERT_EQ(RunServerScript("stop"), 0);
  ASSERT_FALSE(ServerListening());
  try {
    q.ExecQuery();
    FAIL() << "executed without a server";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.SQLCode(), -902) << StringToUtf8(e.Message());
    EXPECT_FALSE(e.Message().empty());
  }
  EXPECT_FALSE(c.db->Connected());
  EXPECT_EQ(disconnects, 1);
  EXPECT_FALSE(c.tr->Active());
  EXPECT_FALSE(q.Prepared());
  EXPECT_EQ(q.Handle(), 0u);

  // Once the server is back the same objects work again.
  ASSERT_TRUE(EnsureServer());
  c.db->Open();
  c.tr->StartTransaction();
  q.ExecQuery();
  EXPECT_TRUE(q.Eof());
}

TEST_F(ServerStopTest, TestConnectedNoticesTheLoss) {
  Connection c(RemoteName());
  c.db->Open();
  ASSERT_TRUE(c.db->TestConnected());
  ASSERT_EQ(RunServerScript("stop"), 0);
  EXPECT_FALSE(c.db->TestConnected());
  EXPECT_FALSE(c.db->Connected());
}

}  // namespace
}  // namespace kavo::test
