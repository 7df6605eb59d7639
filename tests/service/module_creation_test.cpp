// Creating the service module: its components in the stored order with their
// stored settings, and what their stored open state does at creation: the
// connection's attach to its design-time database, reachable, absent, or
// stored as a drive-letter path (never attempted here).
#include <gtest/gtest.h>

#include <vector>

#include "ib/ib_sql.h"
#include "service/kavo_servico_integrador.h"
#include "service/stored_firebird_connection.h"
#include "testkit/ib_support.h"
#include "testkit/temp_dir.h"

namespace kavo::test {
namespace {

std::vector<String> Lines(const TIBParamList& params) {
  std::vector<String> lines;
  for (int i = 0; i < params.Count(); ++i) lines.push_back(params[i]);
  return lines;
}

std::vector<String> OwnedNames(const TComponent& owner) {
  std::vector<String> names;
  for (int i = 0; i < owner.ComponentCount(); ++i) names.push_back(owner.Components(i)->Name());
  return names;
}

class ModuleCreation : public ::testing::Test {
 protected:
  void SetUp() override { module_.SetBaseDirectory(AsciiToString(dir_.path() + "/")); }
  TempDir dir_;
  TKavoServicoIntegrador module_{nullptr};
};

TEST_F(ModuleCreation, ComponentsComeInTheStoredOrderWithTheirStoredSettings) {
  EXPECT_EQ(OwnedNames(module_),
            (std::vector<String>{u"Tempo", u"IBDatabase", u"IBTransaction", u"OracleSession"}));
  EXPECT_FALSE(module_.Loading());

  TIBDatabase& db = *module_.IBDatabase;
  EXPECT_EQ(db.Owner(), &module_);
  EXPECT_EQ(db.DatabaseName(), u"E:\\kavo\\vavavor\\Dados\\norvelo\\DADOSKAVO.FDB");
  EXPECT_EQ(Lines(db.Params()), (std::vector<String>{u"user_name=VAVAVOR", u"password=kat4ro2",
                                                      u"lc_ctype=ISO8859_1"}));
  EXPECT_FALSE(db.LoginPrompt());
  EXPECT_EQ(db.DefaultTransaction(), module_.IBTransaction);
  EXPECT_EQ(db.ServerType(), u"IBServer");
  // Applying the server type loaded the client library.
  EXPECT_TRUE(db.GDSLibrary().TryIBLoad());

  TIBTransaction& tr = *module_.IBTransaction;
  EXPECT_EQ(tr.Owner(), &module_);
  EXPECT_EQ(tr.DefaultDatabase(), &db);
  EXPECT_GE(db.FindTransaction(&tr), 0);
  EXPECT_EQ(Lines(tr.Params()),
            (std::vector<String>{u"read_committed", u"rec_version", u"nowait"}));

  EXPECT_EQ(module_.OracleSession->Owner(), &module_);
  EXPECT_EQ(module_.OracleSession->Preferences().StoredConvertUTF(), cuUTF8ToUTF16);
  // No Oracle work happens at creation.
  EXPECT_FALSE(module_.OracleSession->Connected());
}

TEST_F(ModuleCreation, TheStoredDriveLetterPathIsNeverAttached) {
  TIBDatabase& db = *module_.IBDatabase;
  EXPECT_FALSE(db.Connected());
  EXPECT_FALSE(module_.IBTransaction->Active());
  // The attach builds its parameter buffer first: none was built, so the
  // client was never asked to resolve "E:".
  EXPECT_TRUE(db.DPB().empty());
  // Nothing is left to attach the design-time path later either.
  EXPECT_FALSE(db.StreamedConnected());
  EXPECT_FALSE(module_.IBTransaction->StreamedActive());
}

TEST(DriveLetterPath, IsALetterAndAColon) {
  for (const Char* path : {u"E:\\kavo\\DADOSKAVO.FDB", u"e:/kavo/x.fdb", u"Z:", u"a:x.fdb"})
    EXPECT_TRUE(IsDriveLetterPath(path)) << StringToUtf8(path);
  for (const Char* path : {u"", u"E", u"/E:/x.fdb", u"localhost:/x.fdb", u"127.0.0.1:/x.fdb",
                           u"1:/x.fdb", u"\u00c9:/x.fdb", u"/var/lib/kavo/DADOSKAVO.FDB"})
    EXPECT_FALSE(IsDriveLetterPath(path)) << StringToUtf8(path);
}

// The connection and transaction created and loaded as the module does, with
// another design-time path in place of the stored one.
struct StoredConnection {
  explicit StoredConnection(const String& design_time_path) {
    owner.BeginLoading();
    db = new TIBDatabase(&owner);
    db->SetName(u"IBDatabase");
    db->BeginLoading();
    ApplyStoredSettings(*db);
    db->SetDatabaseName(design_time_path);
    tr = new TIBTransaction(&owner);
    tr->SetName(u"IBTransaction");
    tr->BeginLoading();
    ApplyStoredSettings(*tr, *db);
    db->SetDefaultTransaction(tr);
    DropUnreachableStoredAttach(*db);
    owner.EndLoading();
  }
  TComponent owner{nullptr};
  TIBDatabase* db = nullptr;
  TIBTransaction* tr = nullptr;
};

TEST(StoredAttach, AReachableDesignTimeDatabaseIsAttachedAndTheCyclesCloseCommitsIt) {
  DatabaseDir dir;
  std::string path = dir.File("design.fdb");
  CreateTestDatabase(path);
  StoredConnection stored(Utf8ToString(path));
  ASSERT_TRUE(stored.db->Connected());
  ASSERT_TRUE(stored.tr->Active());

  TIBSQL insert(nullptr);
  insert.SetDatabase(stored.db);
  insert.SetTransaction(stored.tr);
  insert.SQL().SetText(u"insert into TMP_INTEGRACAO (ACAO) values ('D')");
  insert.ExecQuery();
  // The cycle's first Firebird step: the close ends the transaction by commit.
  stored.db->Close();
  EXPECT_FALSE(stored.tr->Active());
  Connection other(Utf8ToString(path));
  other.db->Open();
  EXPECT_EQ(QueryValue(*other.db, *other.tr, u"select count(*) from TMP_INTEGRACAO"), u"1");
  other.tr->Commit();
}

TEST(StoredAttach, AnAbsentDesignTimeDatabaseLeavesTheConnectionClosedSilently) {
  DatabaseDir dir;
  StoredConnection stored(Utf8ToString(dir.File("absent.fdb")));
  EXPECT_FALSE(stored.db->Connected());
  EXPECT_FALSE(stored.tr->Active());
  // Unlike a drive-letter path, this one was tried.
  EXPECT_FALSE(stored.db->DPB().empty());
  EXPECT_FALSE(dir.Exists("absent.fdb"));
}

TEST(StoredAttach, ADriveLetterPathIsNotTried) {
  StoredConnection stored(u"C:\\dados\\DADOSKAVO.FDB");
  EXPECT_FALSE(stored.db->Connected());
  EXPECT_FALSE(stored.tr->Active());
  EXPECT_TRUE(stored.db->DPB().empty());
}

}  // namespace
}  // namespace kavo::test
