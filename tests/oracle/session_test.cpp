// Logon, logoff, banners, transactions and connection checks against the OCI
// stand-in.
#include <gtest/gtest.h>

#include "testkit/message_of.h"

#include <memory>

#include "oracle/critical_section.h"
#include "oracle/oci_library.h"
#include "oracle/oracle_error.h"
#include "oracle/query.h"
#include "oracle/session.h"
#include "rtl/code_page.h"
#include "testkit/oracle_standin.h"

namespace kavo::test {
namespace {

class SessionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    standin_ = new StandIn();
    ASSERT_EQ(standin_->Sql("SYSTEM/manager",
                            "create user kavo identified by secret;\n"
                            "create user old identified by pw;\n"
                            "create table kavo.t (id number(9) primary key, name varchar2(20));\n"),
              0);
  }
  static void TearDownTestSuite() {
    delete standin_;
    standin_ = nullptr;
  }
  void SetUp() override {
    OCILibrary().DLLExit();
    OCILibrary().OCIDLL.clear();
    session_ = std::make_unique<TOracleSession>(nullptr);
    session_->SetLogonDatabase(Utf8ToString(standin_->Store()));
    session_->SetLogonUsername(u"kavo");
    session_->SetLogonPassword(u"secret");
  }
  int Count(const String& where = u"") {
    TOracleQuery q(nullptr);
    q.SetSession(session_.get());
    q.SetSQLText(u"select count(*) from t" + where);
    q.Execute();
    return q.FieldAsInteger(0);
  }

  static StandIn* standin_;
  std::unique_ptr<TOracleSession> session_;
};
StandIn* SessionTest::standin_ = nullptr;

TEST_F(SessionTest, StandInIsFoundThroughOracleHome) {
  TOCILibrary& oci = OCILibrary();
  oci.InitOCI();
  EXPECT_EQ(StringToUtf8(oci.OCIDLL), OCISQLITE_LIBRARY);
  EXPECT_FALSE(oci.OCI70()) << "the stand-in, like current clients, has no OCI 7 routines";
  EXPECT_TRUE(oci.OCI80() && oci.OCI81() && oci.OCI90() && oci.OCI92() && oci.OCI101() &&
              oci.OCI102() && oci.OCI111());
}

TEST_F(SessionTest, WrongPasswordRaises1017AndStaysDisconnected) {
  session_->SetLogonPassword(u"wrong");
  try {
    session_->SetConnected(true);
    FAIL() << "logon with a wrong password succeeded";
  } catch (const EOracleError& e) {
    EXPECT_EQ(e.ErrorCode(), 1017);
    EXPECT_EQ(e.Session(), session_.get());
    EXPECT_EQ(e.Instance(), session_.get());
    EXPECT_EQ(e.Message().rfind(u"ORA-01017", 0), 0u) << StringToUtf8(e.Message());
  }
  EXPECT_FALSE(session_->Connected());
  // The next logon clears what the failed one left and connects.
  session_->SetLogonPassword(u"secret");
  session_->SetConnected(true);
  EXPECT_TRUE(session_->Connected());
  EXPECT_TRUE(session_->ExpirationMessage().empty());
}

TEST_F(SessionTest, UnknownStoreFailsWithTheServersText) {
  session_->SetLogonDatabase(u"/nonexistent-kavo/store.db");
  try {
    session_->LogOn();
    FAIL();
  } catch (const EOracleError& e) {
    EXPECT_EQ(e.ErrorCode(), 12154);
  }
  EXPECT_FALSE(session_->Connected());
}

TEST_F(SessionTest, ExpiringPasswordStillLogsOn) {
  ASSERT_EQ(standin_->Tool("expiring " + standin_->Store() + " OLD 5"), 0);
  session_->SetLogonUsername(u"old/pw");
  session_->SetConnected(true);
  EXPECT_TRUE(session_->Connected());
  EXPECT_NE(session_->ExpirationMessage().find(u"ORA-28002"), String::npos)
      << StringToUtf8(session_->ExpirationMessage());
  EXPECT_EQ(session_->LogonUsername(), u"old") << "the combined name was split";
  EXPECT_EQ(session_->LogonPassword(), u"pw");
}

TEST_F(SessionTest, EveryReleaseStaysInOci8ModeAndOracle10FollowsTheNumber) {
  struct Case {
    const char* release;
    bool oracle10;
  } cases[] = {{"11.2.0.4.0", true}, {"19.0.0.0.0", true}, {"23.0.0.0.0", true},
               {"21.3.0.0.0", true}, {"9.2.0.1.0", false}};
  for (const Case& c : cases) {
    ASSERT_EQ(standin_->Tool("set " + standin_->Store() + " release " + c.release), 0);
    session_->SetConnected(false);
    session_->SetConnected(true);
    ASSERT_TRUE(session_->Connected()) << c.release;
    EXPECT_TRUE(session_->UseOCI80()) << c.release;
    EXPECT_EQ(session_->Oracle10(), c.oracle10) << c.release;
    EXPECT_NE(StringToUtf8(session_->Banner()).find(c.release), std::string::npos)
        << StringToUtf8(session_->Banner());
    // Statements run in that mode.
    EXPECT_EQ(Count(), 0) << c.release;
  }
  ASSERT_EQ(standin_->Tool("set " + standin_->Store() + " release 11.2.0.4.0"), 0);
}

TEST_F(SessionTest, ServerVersionIsTheFirstBannerLineUpToItsHyphen) {
  session_->SetConnected(true);
  String v = session_->ServerVersion();
  EXPECT_EQ(v.rfind(u"Oracle Database", 0), 0u) << StringToUtf8(v);
  EXPECT_EQ(v.find(u"-"), String::npos) << StringToUtf8(v);
  EXPECT_NE(v.find(u"Release 11.2.0.4.0"), String::npos) << StringToUtf8(v);
}

TEST_F(SessionTest, ConnectedSetterAndLogOnAgain) {
  int changes = 0;
  session_->OnChange = [&](TOracleSession*) { ++changes; };
  session_->SetConnected(true);
  session_->SetConnected(true);  // unchanged: nothing
  EXPECT_EQ(changes, 1);
  session_->LogOn();  // logs off first, then on again
  EXPECT_TRUE(session_->Connected());
  EXPECT_EQ(changes, 3);
  session_->SetConnected(false);
  session_->SetConnected(false);
  EXPECT_EQ(changes, 4);
}

TEST_F(SessionTest, CommitAndRollbackOnADisconnectedSessionDoNothing) {
  EXPECT_NO_THROW(session_->Commit());
  EXPECT_NO_THROW(session_->Rollback());
  EXPECT_FALSE(session_->InTransaction());
}

TEST_F(SessionTest, SavepointsAndTransactionState) {
  session_->SetConnected(true);
  session_->DoSQL(u"delete from t");
  session_->Commit();
  EXPECT_FALSE(session_->InTransaction());
  session_->DoSQL(u"insert into t values (1, 'one')");
  EXPECT_TRUE(session_->InTransaction());
  session_->Savepoint(u"a");
  session_->DoSQL(u"insert into t values (2, 'two')");
  EXPECT_EQ(Count(), 2);
  session_->RollbackToSavepoint(u"a");
  EXPECT_EQ(Count(), 1);
  session_->Commit();
  EXPECT_FALSE(session_->InTransaction());
  session_->DoSQL(u"insert into t values (3, 'three')");
  session_->Rollback();
  EXPECT_EQ(Count(), 1);
  // A new session sees only what was committed.
  TOracleSession other(nullptr);
  other.SetLogonDatabase(Utf8ToString(standin_->Store()));
  other.SetLogonUsername(u"kavo/secret");
  other.SetConnected(true);
  TOracleQuery q(nullptr);
  q.SetSession(&other);
  q.SetSQLText(u"select name from t");
  q.Execute();
  EXPECT_EQ(q.FieldAsString(0), u"one");
}

TEST_F(SessionTest, LogOffClosesAttachedStatements) {
  session_->SetConnected(true);
  TOracleQuery q(nullptr);
  q.SetSession(session_.get());
  q.SetSQLText(u"select * from dual");
  q.Execute();
  ASSERT_EQ(q.FieldCount(), 1);
  session_->SetConnected(false);
  EXPECT_EQ(q.FieldCount(), 0);
  EXPECT_TRUE(q.Eof());
  // Executing on the disconnected session is refused, then works again.
  try {
    q.Execute();
    FAIL();
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"Not logged on");
  }
  session_->SetConnected(true);
  q.Execute();
  EXPECT_EQ(q.FieldAsString(0), u"X");
}

TEST_F(SessionTest, CheckConnection) {
  EXPECT_EQ(session_->CheckConnection(false), ccError);
  EXPECT_EQ(session_->CheckConnection(true), ccReconnected);
  EXPECT_TRUE(session_->Connected());
  EXPECT_EQ(session_->CheckConnection(false), ccOK);
}

TEST_F(SessionTest, CheckConnectionCountsError942AsAnswered) {
  // Without DUAL the test query fails with 942, yet the server answered.
  StandIn own;
  ASSERT_EQ(own.Sql("SYSTEM/manager", "create user kavo identified by secret;\n"), 0);
  ASSERT_EQ(own.Sql("SYSTEM/manager", "drop table sys.dual;\n"), 0);
  session_->SetLogonDatabase(Utf8ToString(own.Store()));
  session_->SetConnected(true);
  EXPECT_EQ(session_->CheckConnection(false), ccOK);
  EXPECT_TRUE(session_->Connected());
}

TEST_F(SessionTest, CharacterSizesAndBindLimits) {
  session_->SetConnected(true);
  EXPECT_GE(session_->GetBytesPerCharacter(), 1);
  int expected = session_->Oracle10() && session_->GetCurrentCharSetIsUTF8()
                     ? 4000
                     : 4000 / session_->GetBytesPerCharacter();
  EXPECT_EQ(session_->MaxVarchar(), expected);
  EXPECT_GT(session_->DateFormatLength(), 0);
  session_->SetBytesPerCharacter(bc2Bytes);
  session_->SetConnected(false);
  EXPECT_EQ(session_->GetBytesPerCharacter(), 2);
}

TEST_F(SessionTest, PropertiesRefusedWhileConnected) {
  session_->SetConnected(true);
  EXPECT_EQ(MessageOf([&] { session_->SetThreadSafe(true); }),
            u"Cannot change ThreadSafe property when connected");
  EXPECT_EQ(MessageOf([&] { session_->SetPooling(spMTS); }),
            u"Cannot change Pooling property when connected");
  EXPECT_EQ(MessageOf([&] { session_->Preferences().SetUseOCI7(true); }),
            u"Cannot change UseOCI7 property when session is connected");
  EXPECT_EQ(MessageOf([&] { session_->Preferences().SetConvertUTF(cuUTF16ToUTF8); }),
            u"Cannot change ConvertUTF property when session is connected");
  EXPECT_EQ(session_->Preferences().ConvertUTF(), cuUTF8ToUTF16);
  session_->SetConnected(false);
  session_->Preferences().SetUseOCI7(true);
  EXPECT_NE(MessageOf([&] { session_->LogOn(); }).find(u"OCI7 mode is not supported"), String::npos);
  EXPECT_FALSE(session_->Connected());
  EXPECT_NE(MessageOf([&] { session_->ErrorMessage(942); }).find(u"oerhms"), String::npos);
}

}  // namespace
}  // namespace kavo::test

namespace kavo::test {
namespace {

// The cycle's Oracle steps through the session role: log off, set the three
// logon texts, log on.
TEST_F(SessionTest, CycleStepsThroughTheSessionRole) {
  roles::OracleSession& role = *session_;
  for (int cycle = 0; cycle < 2; ++cycle) {
    role.SetConnected(false);
    role.SetLogonDatabase(Utf8ToString(standin_->Store()));
    role.SetLogonUsername(u"kavo");
    role.SetLogonPassword(u"secret");
    role.SetConnected(true);
    EXPECT_TRUE(role.Connected());
  }
  role.SetConnected(false);
  role.SetLogonPassword(u"changed");
  EXPECT_THROW(role.SetConnected(true), EOracleError);
  EXPECT_FALSE(role.Connected());
}

}  // namespace
}  // namespace kavo::test

namespace kavo::test {
namespace {

TEST_F(SessionTest, StoredConnectedActsWhenLoadingEnds) {
  int after = 0;
  session_->AfterLogOn = [&](TOracleSession*) { ++after; };
  session_->BeginLoading();
  session_->SetConnected(true);
  EXPECT_FALSE(session_->Connected()) << "only remembered while loading";
  session_->EndLoading();
  EXPECT_TRUE(session_->Connected());
  EXPECT_EQ(after, 1);

  // With DesignConnection the stored logon texts and Connected are ignored.
  TOracleSession design(nullptr);
  design.SetDesignConnection(true);
  design.BeginLoading();
  design.SetLogonUsername(u"designer");
  design.SetConnected(true);
  design.EndLoading();
  EXPECT_FALSE(design.Connected());
  EXPECT_EQ(design.LogonUsername(), u"");
}

}  // namespace
}  // namespace kavo::test

namespace kavo::test {
namespace {

TEST_F(SessionTest, ThreadSafeSharedEnvironmentAndStatementCache) {
  // A thread-safe logon and logoff hold the process-wide lock only meanwhile.
  session_->SetThreadSafe(true);
  session_->SetConnected(true);
  EXPECT_EQ(OCISection().Entered(), 0);
  session_->SetConnected(false);
  EXPECT_EQ(OCISection().Entered(), 0);
  session_->SetThreadSafe(false);

  // Sessions sharing one environment: logging one off keeps the other working.
  OCILibrary().UseSingleEnvironment = true;
  {
    TOracleSession other(nullptr);
    other.SetLogonDatabase(Utf8ToString(standin_->Store()));
    other.SetLogonUsername(u"kavo/secret");
    other.SetStatementCache(true);
    other.SetConnected(true);
    // The cache's size is applied at once; MTS options only change while off.
    other.SetStatementCacheSize(5);
    EXPECT_EQ(other.StatementCacheSize(), 5);
    EXPECT_EQ(MessageOf([&] { other.SetMTSOptions({moImplicit}); }),
              u"Cannot change MTSOptions property when connected");
    other.SetMTSOptions(other.MTSOptions());
    session_->SetConnected(true);
    EXPECT_EQ(session_->EnvHandle(), other.EnvHandle());
    session_->SetConnected(false);
    for (int run = 0; run < 2; ++run) {  // the second run takes the statement from the cache
      TOracleQuery q(nullptr);
      q.SetSession(&other);
      q.SetSQLText(u"select count(*) from t");
      q.Execute();
      EXPECT_GE(q.FieldAsInteger(0), 0);
    }
  }
  OCILibrary().UseSingleEnvironment = false;
  OracleShutdown();  // frees the shared environment and unloads
  EXPECT_EQ(OCILibrary().SingleEnv, nullptr);
  EXPECT_FALSE(OCILibrary().DLLLoaded());
}

}  // namespace
}  // namespace kavo::test

namespace kavo::test {
namespace {

// The session settings are stored while disconnected and applied at logon.
TEST_F(SessionTest, SessionSettingsAndTransactionModes) {
  session_->SetSQLTrace(stTrue);
  session_->SetOptimizerGoal(ogAllRows);
  session_->SetIsolationLevel(ilSerializable);
  session_->SetConnected(true);
  EXPECT_TRUE(session_->Connected());
  session_->SetTransaction(tmReadWrite);
  session_->DoSQL(u"insert into t values (77, 'seventy-seven')");
  EXPECT_TRUE(session_->InTransaction());
  session_->Rollback();
  EXPECT_FALSE(session_->InTransaction());
}

}  // namespace
}  // namespace kavo::test
