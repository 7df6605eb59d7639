// TIBDatabase on the embedded engine.
#include <gtest/gtest.h>

#include <unistd.h>

#include "ib/ib_base.h"
#include "testkit/ib_support.h"
#include "rtl/code_page.h"

namespace kavo::test {
namespace {

using DatabaseTest = EmbeddedDatabaseTest;

void InsertRow(TIBDatabase& db, TIBTransaction& tr, const String& acao) {
  if (!tr.Active()) tr.StartTransaction();
  TIBSQL q(nullptr);
  q.SetDatabase(&db);
  q.SetTransaction(&tr);
  q.SQL().SetText(u"insert into TMP_INTEGRACAO (ACAO) values (:ACAO)");
  q.ParamByName(u"ACAO").SetAsString(acao);
  q.ExecQuery();
}

TEST_F(DatabaseTest, AttachesWithTheStoredParameters) {
  int connects = 0;
  db().AfterConnect = [&](TComponent*) { ++connects; };
  EXPECT_EQ(db().DBSQLDialect(), 3);
  db().Open();
  EXPECT_TRUE(db().Connected());
  EXPECT_EQ(connects, 1);
  EXPECT_EQ(db().DBSQLDialect(), 3);
  EXPECT_EQ(db().SQLDialect(), 3);
  EXPECT_EQ(db().CharacterSet(), u"ISO8859_1");
  EXPECT_EQ(db().CharacterSetCodePage(), 28591);
  EXPECT_EQ(db().DPB().size(), 30u);
  EXPECT_TRUE(db().TestConnected());
  db().Open();  // already open: nothing happens
  EXPECT_EQ(connects, 1);
  db().Close();
  EXPECT_FALSE(db().Connected());
  EXPECT_EQ(db().DBSQLDialect(), 1);
  EXPECT_FALSE(db().TestConnected());
}

// A close that fails is finished by force: the connection is gone all the
// same, so it reads as disconnected, dialect included, and the error passes on.
TEST_F(DatabaseTest, FailedCloseIsForcedAndStillResetsTheDialect) {
  TIBBase refusing(nullptr);
  refusing.OnBeforeDatabaseDisconnect = [] { throw Exception(u"refused"); };
  db().Open();
  refusing.SetDatabase(&db());
  int after = 0;
  db().AfterDisconnect = [&](TComponent*) { ++after; };
  EXPECT_THROW(db().Close(), Exception);
  EXPECT_FALSE(db().Connected());
  EXPECT_EQ(db().DBSQLDialect(), 1);
  EXPECT_EQ(after, 1);  // from the forced close; the failed Close stops before its own
  refusing.SetDatabase(nullptr);
}

TEST_F(DatabaseTest, MissingFileFailsWithTheServerText) {
  db().SetDatabaseName(Utf8ToString(dir_.File("absent.fdb")));
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      db().Open();
      FAIL() << "attached to a missing file";
    } catch (const EIBInterBaseError& e) {
      EXPECT_EQ(e.SQLCode(), -902);
      EXPECT_EQ(e.IBErrorCode(), isc_io_error);
      String expected_start = u"I/O error during \"open\" operation for file \"" +
                              Utf8ToString(NameTheClientSees(dir_.File("absent.fdb"))) + u"\"\r\n";
      EXPECT_EQ(e.Message().rfind(expected_start, 0), 0u) << StringToUtf8(e.Message());
    }
    EXPECT_FALSE(db().Connected());
    EXPECT_EQ(db().Handle(), 0u);
  }
}

TEST_F(DatabaseTest, NameParamsAndServerTypeAreFixedWhileConnected) {
  db().Open();
  db().SetDatabaseName(Name());  // the same name: nothing happens
  EIBClientError e = ClientError([&] { db().SetDatabaseName(Name() + u"x"); });
  EXPECT_EQ(e.Message(), u"Cannot perform operation -- DB is currently open");
  EXPECT_EQ(e.SQLCode(), 16);
  EXPECT_EQ(db().DatabaseName(), Name());
  e = ClientError([&] { db().Params().Add(u"sql_dialect=1"); });
  EXPECT_EQ(db().Params().Count(), 3);
  try {
    db().SetServerType(u"IBEmbedded");
    FAIL();
  } catch (const EIBClientError&) {
    FAIL() << "not a client error";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), u"ServerType can not be changed on an active connection");
  }
  EXPECT_EQ(db().ServerType(), u"IBServer");
  e = ClientError([&] { db().SetSQLDialect(0); });
  EXPECT_EQ(e.Message(), u"SQL Dialect Invalid");
  EXPECT_THROW(db().SetSQLDialect(4), EIBClientError);
}

TEST_F(DatabaseTest, ChecksBeforeConnecting) {
  TIBDatabase empty(nullptr);
  empty.SetLoginPrompt(false);
  EXPECT_EQ(ClientError([&] { empty.Open(); }).Message(), u"Database name is missing");
  EXPECT_EQ(empty.ServerType(), u"IBServer");  // selected on the way
  EXPECT_EQ(ClientError([&] { empty.CheckActive(); }).SQLCode(), ibceDatabaseClosed);
  EXPECT_EQ(ClientError([&] { empty.SetIdleTimer(-1); }).Message(),
            u"Timeout values cannot be negative");
}

class CloseWithActiveTransaction
    : public EmbeddedDatabaseTest,
      public ::testing::WithParamInterface<TIBTransactionAction> {};

TEST_P(CloseWithActiveTransaction, EndsItByTheDefaultAction) {
  tr().SetDefaultAction(GetParam());
  db().Open();
  InsertRow(db(), tr(), u"A");
  TIBSQL cursor(nullptr);
  cursor.SetDatabase(&db());
  cursor.SQL().SetText(u"select * from TMP_INTEGRACAO");
  cursor.ExecQuery();
  ASSERT_TRUE(cursor.Open());
  db().Close();
  EXPECT_FALSE(tr().Active());
  EXPECT_FALSE(cursor.Open());
  EXPECT_FALSE(cursor.Prepared());
  bool commits = GetParam() == TACommit || GetParam() == TACommitRetaining;
  EXPECT_EQ(CommittedRows(), commits ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(EachAction, CloseWithActiveTransaction,
                         ::testing::Values(TACommit, TARollback, TACommitRetaining,
                                           TARollbackRetaining));

// A module holding a connection and its transaction, read from stored
// settings: Connected and Active are stored True.
struct StoredModule {
  StoredModule(const String& name, bool allow_streamed_connected) {
    db = new TIBDatabase(&module);
    tr = new TIBTransaction(&module);
    module.BeginLoading();
    db->SetConnected(true);
    db->SetAllowStreamedConnected(allow_streamed_connected);
    db->SetDatabaseName(name);
    for (const Char* line : kStoredParams) db->Params().Add(line);
    db->SetLoginPrompt(false);
    db->SetServerType(u"IBServer");
    tr->SetDefaultDatabase(db);
    tr->SetActive(true);
    db->SetDefaultTransaction(tr);
  }
  TComponent module{nullptr};
  TIBDatabase* db;
  TIBTransaction* tr;
};

TEST_F(DatabaseTest, StoredConnectedThatFailsAtLoadIsSilent) {
  StoredModule m(Utf8ToString(dir_.File("design-time.fdb")), true);
  TIBDatabase* db = m.db;
  TIBTransaction* tr = m.tr;
  EXPECT_FALSE(db->Connected());
  EXPECT_NO_THROW(m.module.EndLoading());
  EXPECT_FALSE(db->Connected());
  EXPECT_FALSE(tr->Active());
  EXPECT_TRUE(tr->StreamedActive());
  // Later the real database opens normally.
  db->SetDatabaseName(Name());
  db->Open();
  EXPECT_TRUE(db->Connected());
  tr->StartTransaction();
  EXPECT_TRUE(tr->Active());
}

TEST_F(DatabaseTest, StoredConnectedAttachesAndStartsTheTransactionAtLoad) {
  StoredModule m(Name(), true);
  TIBDatabase* db = m.db;
  TIBTransaction* tr = m.tr;
  m.module.EndLoading();
  EXPECT_TRUE(db->Connected());
  EXPECT_TRUE(tr->Active());
  EXPECT_FALSE(tr->StreamedActive());
  EXPECT_EQ(db->ServerType(), u"IBServer");
  // Destroying the module commits the transaction and detaches.
}

TEST_F(DatabaseTest, DisallowedStoredConnectedDoesNothing) {
  StoredModule m(Name(), false);
  TIBDatabase* db = m.db;
  TIBTransaction* tr = m.tr;
  m.module.EndLoading();
  EXPECT_FALSE(db->Connected());
  EXPECT_FALSE(tr->StreamedActive());
}

TEST_F(DatabaseTest, LoginPrompt) {
  db().SetLoginPrompt(true);
  try {
    db().Open();
    FAIL();
  } catch (const EIBClientError&) {
    FAIL() << "the missing dialog is a plain EIBError";
  } catch (const EIBError& e) {
    EXPECT_EQ(e.Message(), u"Can not find default login prompt dialog.  Please add DBLogDlg to "
                           u"the uses section of your main file.");
  }
  db().OnLogin = [](TIBDatabase&, TStringList&) { return false; };
  EXPECT_EQ(ClientError([&] { db().Open(); }).Message(), u"Operation cancelled at user's request");
  db().OnLogin = [](TIBDatabase&, TStringList& params) {
    params.SetValue(u"password", u"secret");
    return true;
  };
  db().Open();
  EXPECT_TRUE(db().Connected());
  // The password was moved out of Params into the hidden password.
  EXPECT_EQ(db().Params().IndexOfName(u"password"), -1);
  EXPECT_NE(db().DPB().find("secret"), std::string::npos);
}

TEST_F(DatabaseTest, ParamsByCode) {
  EXPECT_EQ(db().GetDBParamByDPB(28), u"VAVAVOR");
  EXPECT_EQ(db().GetDBParamByDPB(48), u"ISO8859_1");
  EXPECT_EQ(db().GetDBParamByDPB(63), u"");
  db().SetDBParamByDPB(63, u"3");
  EXPECT_EQ(db().Params()[3], u"sql_dialect=3");
  db().SetDBParamByDPB(29, u"");
  EXPECT_EQ(db().Params().IndexOfName(u"password"), -1);
  db().Params().Add(u"isc_dpb_sql_role_name=R");
  EXPECT_EQ(db().GetDBParamByDPB(60), u"R");
}

TEST_F(DatabaseTest, DialectOneDatabaseLowersTheDialect) {
  std::string path = dir_.File("dialect1.fdb");
  {
    TIBDatabase maker(nullptr);
    maker.SetLoginPrompt(false);
    maker.SetSQLDialect(1);
    maker.SetDatabaseName(Utf8ToString(path));
    maker.Params().SetText(u"USER 'VAVAVOR' PASSWORD 'kat4ro2'");
    maker.CreateDatabase();
    EXPECT_TRUE(maker.Connected());
    EXPECT_EQ(maker.DBSQLDialect(), 1);
  }
  Connection c(Utf8ToString(path));
  int warnings = 0;
  c.db->OnDialectDowngradeWarning = [&](TComponent*) { ++warnings; };
  c.db->Open();
  EXPECT_EQ(c.db->DBSQLDialect(), 1);
  EXPECT_EQ(c.db->SQLDialect(), 1);
  EXPECT_EQ(warnings, 1);
  EXPECT_THROW(c.db->SetSQLDialect(3), EIBClientError);
}

TEST_F(DatabaseTest, CreateAndDropDatabase) {
  std::string path = dir_.File("made.fdb");
  TIBDatabase made(nullptr);
  made.SetLoginPrompt(false);
  made.SetDatabaseName(Utf8ToString(path));
  made.Params().SetText(u"USER 'VAVAVOR' PASSWORD 'kat4ro2'");
  made.CreateDatabase();
  EXPECT_TRUE(made.Connected());
  EXPECT_EQ(::access(path.c_str(), F_OK), 0);
  EXPECT_THROW(made.CreateDatabase(), EIBClientError);  // already attached
  made.DropDatabase();
  EXPECT_FALSE(made.Connected());
  EXPECT_NE(::access(path.c_str(), F_OK), 0);
}

TEST_F(DatabaseTest, IdleTimerClosesAnIdleConnection) {
  int fired = 0;
  db().OnIdleTimer = [&](TComponent*) { ++fired; };
  // Far above the pauses between uses, so a loaded machine does not close it.
  db().SetIdleTimer(250);
  db().Open();
  // Kept open while it is being used.
  for (int i = 0; i < 4; ++i) {
    PumpMessagesUntil([] { return false; }, 25);
    ASSERT_TRUE(db().TestConnected()) << "closed while in use, round " << i;
  }
  EXPECT_TRUE(PumpMessagesUntil([&] { return !db().Connected(); }, 2000));
  EXPECT_EQ(fired, 1);
  db().SetIdleTimer(0);
  db().Open();
  PumpMessagesUntil([] { return false; }, 150);
  EXPECT_TRUE(db().Connected());
}

TEST_F(DatabaseTest, DefaultTransactionWiring) {
  EXPECT_EQ(db().FindDefaultTransaction(), &tr());
  EXPECT_EQ(tr().FindDefaultDatabase(), &db());
  EXPECT_GE(db().FindTransaction(&tr()), 0);
  EXPECT_NE(db().InternalTransaction(), nullptr);
  TIBSQL q(nullptr);
  q.SetDatabase(&db());
  EXPECT_EQ(q.Transaction(), &tr());
  TIBSQL r(nullptr);
  r.SetTransaction(&tr());
  EXPECT_EQ(r.Database(), &db());
  {
    TIBTransaction other(nullptr);
    db().SetDefaultTransaction(&other);
    EXPECT_EQ(db().DefaultTransaction(), &other);
    // The old one stays listed: its own default database is this one.
    EXPECT_GE(db().FindTransaction(&tr()), 0);
  }
  // The destroyed transaction left the connection.
  EXPECT_EQ(db().DefaultTransaction(), nullptr);
  EXPECT_EQ(db().FindDefaultTransaction(), &tr());
}

// Collects what the layer reports to the trace hook.
class RecordingHook : public IIBSQLMonitorHook {
 public:
  std::vector<String> events;
  void SQLPrepare(TIBSQL&) override { events.push_back(u"prepare"); }
  void SQLExecute(TIBSQL&) override { events.push_back(u"execute"); }
  void SQLFetch(TIBSQL&) override { events.push_back(u"fetch"); }
  void DBConnect(TIBDatabase&) override { events.push_back(u"connect"); }
  void DBDisconnect(TIBDatabase&) override { events.push_back(u"disconnect"); }
  void TRStart(TIBTransaction&) override { events.push_back(u"start"); }
  void TRCommit(TIBTransaction&) override { events.push_back(u"commit"); }
  void TRCommitRetaining(TIBTransaction&) override { events.push_back(u"commit retaining"); }
  void TRRollback(TIBTransaction&) override { events.push_back(u"rollback"); }
  void TRRollbackRetaining(TIBTransaction&) override { events.push_back(u"rollback retaining"); }
  void SendMisc(const String& text) override { events.push_back(u"misc " + text); }
  void SendError(const String& text, TIBDatabase&) override {
    events.push_back(u"db error " + text);
  }
  void SendError(const String& text) override {
    events.push_back(u"error " + text);
    throw Exception(u"a failing hook changes nothing");
  }
};

TEST_F(DatabaseTest, EventsAndErrorsReachTheTraceHook) {
  RecordingHook hook;
  SetMonitorHook(&hook);
  db().Open();
  tr().StartTransaction();
  TIBSQL q(nullptr);
  q.SetDatabase(&db());
  q.SQL().SetText(u"select 1 from RDB$DATABASE");
  q.ExecQuery();
  tr().CommitRetaining();
  tr().Commit();
  EXPECT_THROW(tr().Commit(), EIBClientError);
  q.SQL().SetText(u"selec");
  tr().StartTransaction();
  EXPECT_THROW(q.Prepare(), EIBInterBaseError);
  tr().Rollback();
  db().Close();
  SetMonitorHook(nullptr);
  std::vector<String> expected = {u"connect", u"start", u"prepare", u"execute", u"fetch",
                                  u"commit retaining", u"commit",
                                  u"error Transaction is not active", u"start"};
  ASSERT_GE(hook.events.size(), expected.size() + 3);
  EXPECT_EQ(std::vector<String>(hook.events.begin(), hook.events.begin() + expected.size()),
            expected);
  EXPECT_EQ(hook.events[expected.size()].rfind(u"error -104 335544569 Dynamic SQL Error", 0), 0u)
      << StringToUtf8(hook.events[expected.size()]);
  EXPECT_EQ(hook.events[expected.size() + 1], u"rollback");
  EXPECT_EQ(hook.events.back(), u"disconnect");
}

TEST_F(DatabaseTest, KilledAttachmentIsALostConnection) {
  ExpectKilledAttachmentClosesTheConnection(Name());
}

TEST_F(DatabaseTest, ReadOnlyAndInformation) {
  db().Open();
  EXPECT_FALSE(db().IsReadOnly());
  EXPECT_GE(db().DatabaseInfoInt(isc_info_ods_version), 12);
}

}  // namespace
}  // namespace kavo::test
