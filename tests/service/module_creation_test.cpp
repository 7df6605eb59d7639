// Creating the service module: its components in the stored order with their
// stored settings, and what their stored open state does at creation: the
// connection's attach to its design-time database, reachable, absent, or
// stored as a drive-letter path (never attempted here).
#include <gtest/gtest.h>

#include <vector>

#include "ib/ib_fields.h"
#include "ib/ib_sql.h"
#include "recordset/date_time_fields.h"
#include "recordset/numeric_fields.h"
#include "recordset/string_fields.h"
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

std::vector<String> Lines(const TStringList& list) {
  std::vector<String> lines;
  for (int i = 0; i < list.Count(); ++i) lines.push_back(list[i]);
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
  std::vector<String> names{u"Tempo", u"IBDatabase", u"IBTransaction", u"FB_TMP_INTEGRACAO"};
  for (const Char* f : {u"ACAO", u"DADOS", u"DATA", u"HORA", u"TIPO", u"VERSAO", u"STATUS",
                        u"ERRO", u"STATUS_INTEGRACAO", u"ERRO_INTEGRACAO", u"NRECNO"})
    names.push_back(u"FB_TMP_INTEGRACAO" + String(f));
  names.push_back(u"OracleSession");
  names.push_back(u"OracleDataSet");
  for (const Char* f : {u"ACAO", u"CODIGO", u"DADOS", u"DT_H_GRAV", u"DT_H_PRI_P", u"DT_H_ULT_P",
                        u"ERRO", u"HORA", u"ORDEM", u"STATUS", u"TABELA", u"TIPO", u"VERSAO"})
    names.push_back(u"OracleDataSet" + String(f));
  EXPECT_EQ(OwnedNames(module_), names);
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
  // No Oracle work happens at creation, and no record set opens.
  EXPECT_FALSE(module_.OracleSession->Connected());
  EXPECT_FALSE(module_.OracleDataSet->Active());
  EXPECT_FALSE(module_.FB_TMP_INTEGRACAO->Active());
}

// One persistent field as stored: kind, Size (0: none stored), Origin.
struct StoredField {
  const Char* name;
  TFieldType kind;
  int size;
};

void ExpectFields(TDataSet& dataset, TComponent& module, const std::vector<StoredField>& stored,
                  bool with_origin) {
  ASSERT_EQ(dataset.FieldCount(), static_cast<int>(stored.size()));
  for (size_t i = 0; i < stored.size(); ++i) {
    const StoredField& want = stored[i];
    SCOPED_TRACE(StringToUtf8(want.name));
    TField& f = *dataset.Fields(static_cast<int>(i));
    EXPECT_EQ(f.FieldName(), want.name);
    EXPECT_EQ(f.Name(), dataset.Name() + want.name);
    EXPECT_EQ(f.Owner(), &module);
    EXPECT_EQ(f.DataType(), want.kind);
    if (want.size > 0) {
      EXPECT_EQ(f.Size(), want.size);
    }
    if (with_origin) {
      EXPECT_EQ(f.Origin(), u"\"TMP_INTEGRACAO\".\"" + String(want.name) + u"\"");
    }
  }
}

TEST_F(ModuleCreation, TheFirebirdRecordSetWithItsStatementsAndFields) {
  TIBDataSet& fb = *module_.FB_TMP_INTEGRACAO;
  EXPECT_EQ(fb.Database(), module_.IBDatabase);
  EXPECT_EQ(fb.AssignedTransaction(), module_.IBTransaction);
  using Text = std::vector<String>;
  EXPECT_EQ(Lines(fb.SelectSQL()), (Text{u"SELECT * FROM TMP_INTEGRACAO", u"where NRECNO = 1"}));
  EXPECT_EQ(Lines(fb.InsertSQL()),
            (Text{u"insert into TMP_INTEGRACAO",
                  u"  (ACAO, DADOS, DATA, ERRO, ERRO_INTEGRACAO, HORA, NRECNO, STATUS, "
                  u"STATUS_INTEGRACAO, ",
                  u"   TIPO, VERSAO)", u"values",
                  u"  (:ACAO, :DADOS, :DATA, :ERRO, :ERRO_INTEGRACAO, :HORA, :NRECNO, :STATUS, ",
                  u"   :STATUS_INTEGRACAO, :TIPO, :VERSAO)"}));
  EXPECT_EQ(Lines(fb.ModifySQL()),
            (Text{u"update TMP_INTEGRACAO", u"set", u"  ACAO = :ACAO,", u"  DADOS = :DADOS,",
                  u"  DATA = :DATA,", u"  ERRO = :ERRO,", u"  ERRO_INTEGRACAO = :ERRO_INTEGRACAO,",
                  u"  HORA = :HORA,", u"  NRECNO = :NRECNO,", u"  STATUS = :STATUS,",
                  u"  STATUS_INTEGRACAO = :STATUS_INTEGRACAO,", u"  TIPO = :TIPO,",
                  u"  VERSAO = :VERSAO", u"where", u"  NRECNO = :OLD_NRECNO"}));
  EXPECT_EQ(Lines(fb.DeleteSQL()),
            (Text{u"delete from TMP_INTEGRACAO", u"where", u"  NRECNO = :OLD_NRECNO"}));
  EXPECT_EQ(Lines(fb.RefreshSQL()),
            (Text{u"Select ", u"  ACAO,", u"  DADOS,", u"  DATA,", u"  HORA,", u"  TIPO,",
                  u"  VERSAO,", u"  NRECNO,", u"  STATUS,", u"  ERRO,", u"  STATUS_INTEGRACAO,",
                  u"  ERRO_INTEGRACAO", u"from TMP_INTEGRACAO ", u"where", u"  NRECNO = :NRECNO"}));
  ExpectFields(fb, module_,
               {{u"ACAO", ftWideString, 3}, {u"DADOS", ftWideString, 500},
                {u"DATA", ftDate, 0}, {u"HORA", ftTime, 0}, {u"TIPO", ftWideString, 50},
                {u"VERSAO", ftWideString, 10}, {u"STATUS", ftWideString, 10},
                {u"ERRO", ftWideString, 200}, {u"STATUS_INTEGRACAO", ftWideString, 10},
                {u"ERRO_INTEGRACAO", ftWideString, 200}, {u"NRECNO", ftLargeint, 0}},
               true);
  // The text fields are the Firebird layer's own string fields.
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(dynamic_cast<TIBStringField*>(fb.Fields(i)) != nullptr, i != 2 && i != 3) << i;
  EXPECT_EQ(fb.FieldByName(u"NRECNO").ProviderFlags(), unsigned(pfInUpdate | pfInWhere | pfInKey));
  EXPECT_EQ(fb.FieldByName(u"ACAO").ProviderFlags(), unsigned(pfInUpdate | pfInWhere));
}

TEST_F(ModuleCreation, TheOracleRecordSetWithItsQueryDefinitionAndFields) {
  TOracleDataSet& ora = *module_.OracleDataSet;
  EXPECT_EQ(ora.Session(), module_.OracleSession);
  EXPECT_FALSE(ora.Optimize());
  EXPECT_EQ(ora.LockingMode(), lmLockImmediate);
  EXPECT_EQ(Lines(ora.SQL()),
            (std::vector<String>{u"SELECT A.*, A.ROWID FROM ", u"v9norvelo.\"INTERFACE_ORCL\" A ",
                                 u"WHERE ", u"A.STATUS='A' ", u"and  ROWNUM < 1000"}));
  std::vector<StoredField> fields{
      {u"ACAO", ftString, 1},        {u"CODIGO", ftFloat, 0},      {u"DADOS", ftString, 500},
      {u"DT_H_GRAV", ftDateTime, 0}, {u"DT_H_PRI_P", ftDateTime, 0},
      {u"DT_H_ULT_P", ftDateTime, 0}, {u"ERRO", ftString, 255},    {u"HORA", ftString, 8},
      {u"ORDEM", ftFloat, 0},        {u"STATUS", ftString, 1},     {u"TABELA", ftString, 20},
      {u"TIPO", ftString, 50},       {u"VERSAO", ftString, 10}};
  ExpectFields(ora, module_, fields, false);
  // The stored query-by-example definition: the thirteen columns, each
  // queryable and nothing else; stored as 296 bytes of version 5.
  const std::vector<TQBEField>& qbe = ora.QBEDefinition().Fields();
  ASSERT_EQ(qbe.size(), fields.size());
  for (size_t i = 0; i < qbe.size(); ++i) {
    EXPECT_EQ(qbe[i].FieldName, fields[i].name);
    EXPECT_TRUE(qbe[i].Queryable);
    EXPECT_FALSE(qbe[i].AutoPartialMatch || qbe[i].AutoContains || qbe[i].AutoSoundex ||
                 qbe[i].CaseInsensitive || qbe[i].IgnoreTime);
    EXPECT_EQ(qbe[i].Value, u"");
  }
  std::string stream = ora.QBEDefinition().SaveToStream();
  EXPECT_EQ(stream.size(), 296u);
  EXPECT_EQ(stream.substr(0, 8), std::string("\x05\0\0\0\x0d\0\0\0", 8));
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
