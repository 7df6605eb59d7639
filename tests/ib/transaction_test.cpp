// TIBTransaction on the embedded engine.
#include <gtest/gtest.h>

#include "testkit/ib_support.h"

namespace kavo::test {
namespace {

class TransactionTest : public EmbeddedDatabaseTest {
 protected:
  void SetUp() override {
    EmbeddedDatabaseTest::SetUp();
    db().Open();
  }
  void Insert(TIBTransaction& t, const Char* acao) {
    TIBSQL q(nullptr);
    q.SetDatabase(&db());
    q.SetTransaction(&t);
    q.SQL().SetText(u"insert into TMP_INTEGRACAO (ACAO) values (:ACAO)");
    q.ParamByName(u"ACAO").SetAsString(acao);
    q.ExecQuery();
  }
};

TEST_F(TransactionTest, StoredAndEmptyParameterBuffers) {
  tr().StartTransaction();
  EXPECT_EQ(tr().TPB(), std::string("\x03\x0f\x11\x07", 4));
  EXPECT_EQ(tr().TPBLength(), 4);
  tr().Commit();
  TIBTransaction plain(nullptr);
  plain.SetDefaultDatabase(&db());
  plain.StartTransaction();
  EXPECT_EQ(plain.TPBLength(), 0);
  EXPECT_TRUE(plain.Active());
  EXPECT_GT(plain.TransactionID(), 0);
}

TEST_F(TransactionTest, CommitRetainingKeepsTheTransactionAndAnOpenCursor) {
  tr().StartTransaction();
  Insert(tr(), u"A");
  Insert(tr(), u"B");
  Insert(tr(), u"C");
  tr().CommitRetaining();
  TIBSQL cursor(nullptr);
  cursor.SetTransaction(&tr());
  cursor.SQL().SetText(u"select ACAO from TMP_INTEGRACAO order by ACAO");
  cursor.ExecQuery();
  ASSERT_FALSE(cursor.Eof());
  EXPECT_EQ(cursor.FieldByName(u"ACAO").AsString(), u"A");
  int64_t id = tr().TransactionID();
  Insert(tr(), u"D");
  tr().CommitRetaining();
  EXPECT_TRUE(tr().Active());
  EXPECT_EQ(tr().TransactionID(), id);
  EXPECT_TRUE(cursor.Open());
  EXPECT_EQ(cursor.FieldByName(u"ACAO").AsString(), u"A");  // the current row is kept
  ASSERT_NE(cursor.Next(), nullptr);
  EXPECT_EQ(cursor.FieldByName(u"ACAO").AsString(), u"B");
  EXPECT_EQ(CommittedRows(), 4);
}

TEST_F(TransactionTest, CommitClosesTheStatementsFirst) {
  tr().StartTransaction();
  TIBSQL cursor(nullptr);
  cursor.SetTransaction(&tr());
  cursor.SQL().SetText(u"select * from RDB$DATABASE");
  cursor.ExecQuery();
  int told = 0;
  cursor.Base().OnBeforeTransactionEnd = [&, inner = cursor.Base().OnBeforeTransactionEnd] {
    EXPECT_TRUE(tr().Active());  // before the server commit
    ++told;
    inner();
  };
  tr().Commit();
  EXPECT_EQ(told, 1);
  EXPECT_FALSE(tr().Active());
  EXPECT_FALSE(cursor.Open());
  EXPECT_TRUE(cursor.Prepared());  // the handle survives
  tr().StartTransaction();
  cursor.ExecQuery();
  EXPECT_FALSE(cursor.Eof());
}

TEST_F(TransactionTest, RollbackUndoesAndRollbackRetainingKeepsGoing) {
  tr().StartTransaction();
  Insert(tr(), u"A");
  tr().RollbackRetaining();
  EXPECT_TRUE(tr().Active());
  Insert(tr(), u"B");
  tr().Rollback();
  EXPECT_FALSE(tr().Active());
  EXPECT_EQ(CommittedRows(), 0);
  tr().SetActive(true);
  Insert(tr(), u"C");
  tr().SetActive(false);  // rolls back
  EXPECT_EQ(CommittedRows(), 0);
}

TEST_F(TransactionTest, StateChecks) {
  EXPECT_EQ(ClientError([&] { tr().CommitRetaining(); }).Message(), u"Transaction is not active");
  EXPECT_EQ(ClientError([&] { tr().Commit(); }).SQLCode(), ibceNotInTransaction);
  tr().StartTransaction();
  EXPECT_EQ(ClientError([&] { tr().StartTransaction(); }).Message(), u"Transaction is active");
  EXPECT_EQ(ClientError([&] { tr().Params().Add(u"wait"); }).Message(), u"Transaction is active");
  EXPECT_EQ(tr().Params().Count(), 3);
  tr().Commit();

  TIBTransaction lonely(nullptr);
  EXPECT_EQ(ClientError([&] { lonely.StartTransaction(); }).Message(),
            u"No databases are listed in transaction component");
  TIBDatabase closed(nullptr);
  closed.SetDatabaseName(Name());
  lonely.AddDatabase(&closed);
  EXPECT_EQ(ClientError([&] { lonely.StartTransaction(); }).Message(),
            u"Cannot perform operation -- DB is not open");
  EXPECT_EQ(ClientError([&] { lonely.SetIdleTimer(-5); }).Message(),
            u"Timeout values cannot be negative");
  lonely.RemoveDatabase(&closed);
}

TEST_F(TransactionTest, BadParametersAreReportedAtStart) {
  tr().Params().Add(u"autocommit");
  EXPECT_EQ(ClientError([&] { tr().StartTransaction(); }).Message(),
            u"TPB Constant (isc_tpb_autocommit) is unsupported");
  EXPECT_FALSE(tr().Active());
  // The list failed to build: the next start builds it again, not the old one.
  EXPECT_THROW(tr().StartTransaction(), EIBClientError);
  tr().Params().Delete(3);
  tr().StartTransaction();
  EXPECT_TRUE(tr().Active());
}

TEST_F(TransactionTest, SavepointsNeedAnInterBaseSevenOneClient) {
  tr().StartTransaction();
  EIBClientError e = ClientError([&] { tr().StartSavepoint(u"S1"); });
  EXPECT_EQ(e.Message(), u"isc_start_savepoint is an InterBase 7.1 function. Please upgrade to "
                         u"InterBase 7.1 to use this functonality");
  EXPECT_THROW(tr().RollbackSavepoint(u"S1"), EIBClientError);
  EXPECT_THROW(tr().ReleaseSavepoint(u"S1"), EIBClientError);
  EXPECT_TRUE(tr().Active());
  tr().Commit();
  EXPECT_EQ(ClientError([&] { tr().StartSavepoint(u"S1"); }).SQLCode(), ibceNotInTransaction);
}

TEST_F(TransactionTest, RemovingTheOnlyDatabaseEndsItByDefaultAction) {
  tr().StartTransaction();
  Insert(tr(), u"A");
  tr().RemoveDatabase(&db());
  EXPECT_FALSE(tr().Active());
  EXPECT_EQ(tr().DatabaseCount(), 0);
  EXPECT_EQ(tr().DefaultDatabase(), nullptr);
  EXPECT_EQ(CommittedRows(), 1);  // DefaultAction TACommit
}

TEST_F(TransactionTest, NowaitConflictIsAServerError) {
  tr().StartTransaction();
  Insert(tr(), u"A");
  tr().Commit();
  TIBTransaction other(nullptr);
  other.SetDefaultDatabase(&db());
  other.Params().SetText(u"concurrency\nnowait");
  tr().StartTransaction();
  other.StartTransaction();
  TIBSQL first(nullptr), second(nullptr);
  first.SetTransaction(&tr());
  second.SetTransaction(&other);
  first.SQL().SetText(u"update TMP_INTEGRACAO set STATUS = 'X'");
  second.SQL().SetText(u"update TMP_INTEGRACAO set STATUS = 'Y'");
  first.ExecQuery();
  try {
    second.ExecQuery();
    FAIL() << "no conflict";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.SQLCode(), -913);
    EXPECT_EQ(e.IBErrorCode(), isc_deadlock);
    EXPECT_EQ(e.Message().rfind(u"deadlock\r\nupdate conflicts with concurrent update", 0), 0u)
        << StringToUtf8(e.Message());
  }
  EXPECT_TRUE(other.Active());  // a failed statement leaves the transaction alone
  other.Rollback();
  tr().Commit();
}

TEST_F(TransactionTest, AutoStartAndAutoStop) {
  tr().SetAutoStopAction(saCommit);
  tr().AutoStartTransaction();
  EXPECT_TRUE(tr().Active());
  EXPECT_TRUE(tr().AutoStarted());
  bool open = true;
  TIBSQL q(nullptr);
  q.SetTransaction(&tr());
  q.Base().IsOpenDataSet = [&] { return open; };
  tr().CheckAutoStop();
  EXPECT_TRUE(tr().Active());  // a dataset is still open
  open = false;
  tr().CheckAutoStop();
  EXPECT_FALSE(tr().Active());
  EXPECT_FALSE(tr().AutoStarted());
  tr().SetAllowAutoStart(false);
  tr().AutoStartTransaction();
  EXPECT_FALSE(tr().Active());
}

TEST_F(TransactionTest, IdleTimerEndsAnIdleTransaction) {
  int fired = 0;
  tr().OnIdleTimer = [&](TComponent*) { ++fired; };
  tr().SetDefaultAction(TARollback);
  tr().SetIdleTimer(40);
  tr().StartTransaction();
  Insert(tr(), u"A");
  EXPECT_TRUE(PumpMessagesUntil([&] { return !tr().Active(); }, 2000));
  EXPECT_EQ(fired, 1);
  EXPECT_EQ(CommittedRows(), 0);
  EXPECT_TRUE(db().Connected());
}

// The integration cycle drives the connection and the transaction only
// through their roles; the real components must behave as it expects.
TEST_F(TransactionTest, RolesOfTheCycleKeepOnlyCommittedWork) {
  roles::IBTransaction& role = tr();
  tr().StartTransaction();
  Insert(tr(), u"A");
  role.CommitRetaining();
  Insert(tr(), u"B");
  role.RollbackRetaining();  // a failed row's work is undone, the transaction goes on
  EXPECT_TRUE(tr().Active());
  Insert(tr(), u"C");
  roles::IBDatabase& connection = db();
  connection.Close();  // ends the transaction by commit and detaches
  EXPECT_FALSE(db().Connected());
  EXPECT_EQ(CommittedRows(), 2);
  connection.SetDatabaseName(connection.DatabaseName());
  EXPECT_EQ(ClientError([&] { role.CommitRetaining(); }).Message(), u"Transaction is not active");
}

}  // namespace
}  // namespace kavo::test
