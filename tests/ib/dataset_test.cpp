// TIBDataSet on the embedded engine: the service's insert, what reaches the
// table column by column, parameters by name, refresh, permissions,
// transaction ends, the record cache and the client errors.
#include <gtest/gtest.h>

#include "ib/ib_dataset.h"
#include "ib/ib_row_store.h"
#include "recordset/date_time_fields.h"
#include "recordset/numeric_fields.h"
#include "rtl/datetime.h"
#include "service/stored_firebird_dataset.h"
#include "testkit/ib_support.h"
#include "testkit/message_of.h"

namespace kavo::test {
namespace {

std::optional<String> Null() { return std::nullopt; }

class DataSetTest : public EmbeddedDatabaseTest {
 protected:
  void SetUp() override {
    EmbeddedDatabaseTest::SetUp();
    ds_ = new TIBDataSet(&owner_);
  }

  // The record set as the service module stores it, on the test database.
  TIBDataSet& Stored() {
    ApplyStoredSettings(*ds_, owner_);
    ds_->SetDatabase(&db());
    return *ds_;
  }
  // A record set with default fields over `select`.
  TIBDataSet& Plain(const String& select) {
    ds_->SetDatabase(&db());
    ds_->SelectSQL().SetText(select);
    return *ds_;
  }
  std::vector<CommittedRow> Rows(const String& where = u"") {
    return ReadCommitted(Name(), u"select * from TMP_INTEGRACAO " + where + u" order by NRECNO");
  }
  TField& F(const Char* name) { return ds_->FieldByName(name); }
  // The service's row: the values the cycle sets.
  void InsertServiceRow(const String& acao, const String& dados) {
    ds_->Insert();
    F(u"ACAO").SetAsWideString(acao);
    F(u"DADOS").SetAsWideString(dados);
    F(u"DATA").SetAsDateTime(EncodeDate(2026, 12, 9) + EncodeTime(23, 59, 0, 0));
    F(u"HORA").SetAsDateTime(EncodeTime(10, 15, 30, 250));
    F(u"TIPO").SetAsWideString(u"PEDIDO");
    F(u"VERSAO").SetAsWideString(u"1.0");
    F(u"STATUS").SetAsWideString(u"PROCESSAR");
    F(u"NRECNO").Clear();
    ds_->Post();
  }

  TComponent owner_{nullptr};
  TIBDataSet* ds_ = nullptr;
};

TEST_F(DataSetTest, ServiceInsertReachesEveryColumnAndCommitRetainingKeepsItOpen) {
  TIBDataSet& ds = Stored();
  ds.Open();
  EXPECT_TRUE(db().Connected());
  EXPECT_TRUE(tr().Active());
  EXPECT_EQ(ds.LiveMode(), unsigned{lmInsert | lmModify | lmDelete | lmRefresh});
  EXPECT_FALSE(ds.NeedsRefresh());  // a trigger numbers the rows, no column default
  EXPECT_EQ(ds.RecordCount(), 0);
  EXPECT_TRUE(ds.Eof());

  InsertServiceRow(u"Não", u"Coração, pão e açúcar");
  EXPECT_EQ(ds.RowsAffected(), 1);
  ds.Transaction().CommitRetaining();

  // The record set is still open on the posted record.
  EXPECT_TRUE(ds.Active());
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ds.RecordCount(), 1);
  EXPECT_EQ(F(u"STATUS").AsString(), u"PROCESSAR");
  EXPECT_EQ(F(u"DADOS").AsString(), u"Coração, pão e açúcar");
  EXPECT_TRUE(F(u"NRECNO").IsNull());  // no refresh: as written

  std::vector<CommittedRow> rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  CommittedRow& r = rows[0];
  EXPECT_EQ(r[u"NRECNO"], u"1");
  EXPECT_EQ(r[u"ACAO"], u"Não");
  EXPECT_EQ(r[u"DADOS"], u"Coração, pão e açúcar");
  EXPECT_EQ(r[u"DATA"], u"2026-12-09");
  EXPECT_EQ(r[u"HORA"], u"10:15:30.000");  // milliseconds are not sent
  EXPECT_EQ(r[u"TIPO"], u"PEDIDO");
  EXPECT_EQ(r[u"VERSAO"], u"1.0");
  EXPECT_EQ(r[u"STATUS"], u"PROCESSAR");
  EXPECT_EQ(r[u"ERRO"], Null());
  EXPECT_EQ(r[u"STATUS_INTEGRACAO"], Null());
  EXPECT_EQ(r[u"ERRO_INTEGRACAO"], Null());

  // A second row through the same prepared statement.
  InsertServiceRow(u"A", u"x");
  ds.Transaction().CommitRetaining();
  EXPECT_EQ(ds.RecordCount(), 2);
  EXPECT_EQ(Rows().size(), 2u);

  // A full commit closes the record set and forgets its statements.
  ds.Transaction().Commit();
  EXPECT_FALSE(ds.Active());
  EXPECT_FALSE(ds.Prepared());
  EXPECT_FALSE(ds.QInsert().Prepared());
  // It opens again on a new transaction.
  ds.Open();
  EXPECT_TRUE(ds.Prepared());
  InsertServiceRow(u"B", u"y");
  ds.Transaction().Commit();
  EXPECT_EQ(Rows().size(), 3u);
}

TEST_F(DataSetTest, RollbackAndDisconnectCloseTheRecordSetAndDropAPendingInsert) {
  TIBDataSet& ds = Stored();
  int closes = 0;
  ds.BeforeTransactionEnd = [&](TComponent*) { ++closes; };
  ds.Open();
  InsertServiceRow(u"R", u"rolled back");
  ds.Transaction().Rollback();
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(closes, 1);
  EXPECT_TRUE(Rows().empty());

  ds.Open();
  ds.Insert();
  F(u"ACAO").SetAsWideString(u"P");
  db().Close();  // commits the transaction, drops the pending insert
  EXPECT_FALSE(ds.Active());
  EXPECT_FALSE(ds.Prepared());
  EXPECT_TRUE(Rows().empty());
}

// Each record starts blank whatever the one before it held, and the record
// shown after a post or a cancel is the stored one.
TEST_F(DataSetTest, ANewRecordHoldsNothingOfThePreviousAndACancelShowsTheStoredRecord) {
  TIBDataSet& ds = Stored();
  ds.Open();
  ds.Insert();
  F(u"ACAO").SetAsWideString(u"A");
  F(u"ERRO").SetAsWideString(u"first error");
  F(u"STATUS_INTEGRACAO").SetAsWideString(u"S");
  F(u"DATA").SetAsDateTime(EncodeDate(2026, 1, 2));
  ds.Post();
  ds.Insert();
  EXPECT_TRUE(F(u"ERRO").IsNull());
  EXPECT_TRUE(F(u"DATA").IsNull());
  F(u"ACAO").SetAsWideString(u"B");
  ds.Post();
  EXPECT_EQ(F(u"ACAO").AsString(), u"B");
  EXPECT_TRUE(F(u"ERRO").IsNull());

  ds.Edit();
  F(u"ACAO").SetAsWideString(u"Z");
  ds.Cancel();
  EXPECT_EQ(F(u"ACAO").AsString(), u"B");
  ds.Transaction().CommitRetaining();
  std::vector<CommittedRow> rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][u"ERRO"], u"first error");
  EXPECT_EQ(rows[0][u"DATA"], u"2026-01-02");
  EXPECT_EQ(rows[1][u"ACAO"], u"B");
  EXPECT_EQ(rows[1][u"ERRO"], Null());
  EXPECT_EQ(rows[1][u"STATUS_INTEGRACAO"], Null());
  EXPECT_EQ(rows[1][u"DATA"], Null());
}

TEST_F(DataSetTest, EmptyTextIsNullOrEmptyAsTheStringFieldSays) {
  TIBDataSet& ds = Stored();
  ds.Open();
  dynamic_cast<TIBStringField&>(F(u"ERRO")).SetEmptyAsNull(false);
  dynamic_cast<TIBStringField&>(F(u"ERRO_INTEGRACAO")).SetEmptyAsNull(false);
  ds.Insert();
  F(u"ACAO").SetAsWideString(u"E");
  F(u"STATUS").SetAsWideString(u"");         // EmptyAsNull: NULL
  F(u"ERRO").SetAsWideString(u"");           // kept as an empty text
  F(u"ERRO_INTEGRACAO").Clear();             // Clear keeps an empty text too
  F(u"TIPO").SetAsWideString(u"t");
  F(u"TIPO").Clear();                        // an ordinary Clear is NULL
  EXPECT_TRUE(F(u"STATUS").IsNull());
  EXPECT_FALSE(F(u"ERRO").IsNull());
  ds.Post();
  ds.Transaction().CommitRetaining();
  CommittedRow r = Rows().at(0);
  EXPECT_EQ(r[u"STATUS"], Null());
  EXPECT_EQ(r[u"TIPO"], Null());
  EXPECT_EQ(r[u"ERRO"], u"");
  EXPECT_EQ(r[u"ERRO_INTEGRACAO"], u"");
}

TEST_F(DataSetTest, ATextOneCharacterTooLongIsRefusedAndTheRecordKeepsItsValue) {
  TIBDataSet& ds = Stored();
  ds.Open();
  ds.Insert();
  F(u"VERSAO").SetAsWideString(u"1234567890");
  EIBClientError e = ClientError([&] { F(u"VERSAO").SetAsWideString(u"12345678901"); });
  EXPECT_EQ(e.SQLCode(), ibceStringTooLarge);
  EXPECT_EQ(e.Message(),
            u"Trying to store a string of length 11 into a field that can only contain 10");
  EXPECT_EQ(F(u"VERSAO").AsString(), u"1234567890");
  ds.Post();
  ds.Transaction().CommitRetaining();
  EXPECT_EQ(Rows().at(0)[u"VERSAO"], u"1234567890");
}

TEST_F(DataSetTest, AParameterWithoutASelectColumnKeepsItsValue) {
  TIBDataSet& ds = Stored();
  ds.InsertSQL().SetText(
      u"insert into TMP_INTEGRACAO (ACAO, STATUS, ERRO) values (:ACAO, :NEW_STATUS, :MOTIVO)");
  ds.Open();
  auto insert = [&](const String& acao) {
    ds.Insert();
    F(u"ACAO").SetAsWideString(acao);
    F(u"STATUS").SetAsWideString(u"S" + acao);
    ds.Post();
  };
  insert(u"1");  // first execution after the prepare: the zero value, not NULL
  ds.QInsert().ParamByName(u"MOTIVO").SetAsString(u"kept");
  insert(u"2");
  insert(u"3");
  ds.Transaction().CommitRetaining();
  std::vector<CommittedRow> rows = Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][u"ERRO"], u"");
  EXPECT_EQ(rows[1][u"ERRO"], u"kept");
  EXPECT_EQ(rows[2][u"ERRO"], u"kept");
  EXPECT_EQ(rows[2][u"STATUS"], u"S3");  // NEW_ names the current value
}

TEST_F(DataSetTest, ModifyAndDeleteFindTheRowByItsFetchedKey) {
  db().Open();
  ExecuteCommitted(db(), {u"insert into TMP_INTEGRACAO (ACAO) values ('a')",
                          u"insert into TMP_INTEGRACAO (ACAO) values ('b')",
                          u"insert into TMP_INTEGRACAO (ACAO) values ('c')"});
  TIBDataSet& ds = Stored();
  ds.SelectSQL().SetText(u"SELECT * FROM TMP_INTEGRACAO order by NRECNO");
  ds.Open();
  EXPECT_EQ(F(u"NRECNO").AsLargeInt(), 1);
  ds.Edit();
  F(u"NRECNO").SetAsLargeInt(10);
  F(u"ACAO").SetAsWideString(u"A");
  ds.Post();  // where NRECNO = :OLD_NRECNO, the fetched 1
  EXPECT_EQ(ds.RowsAffected(), 1);
  EXPECT_EQ(F(u"NRECNO").AsLargeInt(), 10);

  ds.Next();
  ds.Edit();
  F(u"NRECNO").SetAsLargeInt(77);  // not posted: the delete uses the fetched 2
  ds.Delete();
  EXPECT_EQ(ds.RowsAffected(), 1);
  EXPECT_EQ(ds.RecordCount(), 2);
  EXPECT_EQ(F(u"ACAO").AsString(), u"c");  // the next row became current
  ds.Transaction().CommitRetaining();

  std::vector<CommittedRow> rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][u"NRECNO"], u"3");
  EXPECT_EQ(rows[1][u"NRECNO"], u"10");
  EXPECT_EQ(rows[1][u"ACAO"], u"A");
  // Moving back and forth reads the cache.
  ds.First();
  EXPECT_EQ(F(u"ACAO").AsString(), u"A");
  ds.Next();
  EXPECT_EQ(F(u"ACAO").AsString(), u"c");
  ds.Next();
  EXPECT_TRUE(ds.Eof());
}

TEST_F(DataSetTest, AColumnDefaultMakesEveryPostRefreshTheRow) {
  db().Open();
  ExecuteCommitted(db(), {u"create table T_PADRAO (ID bigint, NOME varchar(10), "
                          u"ESTADO varchar(10) default 'NOVO' not null)"});
  TIBDataSet& ds = Plain(u"select * from T_PADRAO");
  ds.InsertSQL().SetText(u"insert into T_PADRAO (ID, NOME) values (:ID, :NOME)");
  ds.RefreshSQL().SetText(u"select ESTADO, NOME from T_PADRAO where ID = :ID");
  ds.Open();
  EXPECT_TRUE(ds.NeedsRefresh());
  EXPECT_FALSE(F(u"ESTADO").Required());  // the default clears it
  ds.Insert();
  F(u"ID").SetAsInteger(1);
  F(u"NOME").SetAsString(u"um");
  ds.Post();
  EXPECT_EQ(F(u"ESTADO").AsString(), u"NOVO");  // the server's default, re-read
  // A NULL key matches no row: the record stays as written.
  ds.Insert();
  F(u"NOME").SetAsString(u"dois");
  ds.Post();
  EXPECT_TRUE(F(u"ESTADO").IsNull());
  EXPECT_EQ(F(u"NOME").AsString(), u"dois");
  // The re-read value is the cached one too.
  ds.First();
  EXPECT_EQ(F(u"ESTADO").AsString(), u"NOVO");
}

TEST_F(DataSetTest, AModifyTheServerRefusesLeavesTheRecordSetReadable) {
  db().Open();
  ExecuteCommitted(db(), {u"insert into TMP_INTEGRACAO (ACAO) values ('a')",
                          u"grant select, insert on TMP_INTEGRACAO to OUTRO",
                          u"grant usage on sequence GEN_TMP_INTEGRACAO to OUTRO"});
  db().Close();
  db().Params().SetValue(u"user_name", u"OUTRO");
  TIBDataSet& ds = Stored();
  ds.SelectSQL().SetText(u"SELECT * FROM TMP_INTEGRACAO");
  ds.Open();
  EXPECT_EQ(ds.LiveMode(), unsigned{lmInsert | lmRefresh});
  EXPECT_EQ(F(u"ACAO").AsString(), u"a");
  EXPECT_FALSE(ds.CanEdit());
  EXPECT_EQ(ClientError([&] { ds.Edit(); }).Message(), u"Cannot update. (No update query)");
  EXPECT_EQ(ds.State(), dsBrowse);
  EXPECT_EQ(ClientError([&] { ds.Delete(); }).Message(),
            u"Cannot delete from dataset. (No delete query)");
}

TEST_F(DataSetTest, ClientErrorsOfTheRecordSet) {
  TIBDataSet& ds = *ds_;
  EXPECT_EQ(ClientError([&] { ds.Open(); }).Message(), u"Database not assigned");
  TIBDatabase lone(nullptr);
  ds.SetDatabase(&lone);
  EXPECT_EQ(ClientError([&] { ds.Open(); }).Message(), u"Transaction not assigned");
  EXPECT_EQ(ClientError([&] { ds.Transaction(); }).SQLCode(), ibceTransactionNotAssigned);
  ds.SetDatabase(nullptr);

  ds.SetDatabase(&db());
  EXPECT_EQ(ds.AssignedTransaction(), &tr());  // the connection's default
  EXPECT_EQ(ClientError([&] { ds.Prepare(); }).Message(), u"Empty SQL Statement");
  EXPECT_EQ(ClientError([&] { ds.Open(); }).Message(), u"Empty query");
  EXPECT_FALSE(ds.Active());

  ds.SelectSQL().SetText(u"select * from TMP_INTEGRACAO");
  ds.ModifySQL().SetText(u"update TMP_INTEGRACAO set ACAO = :ACAO");
  ds.Open();
  EXPECT_EQ(ClientError([&] { ds.SetDatabase(nullptr); }).Message(), u"Dataset open");
  EXPECT_EQ(ClientError([&] { ds.SetUniDirectional(true); }).Message(), u"Dataset open");
  EXPECT_EQ(ClientError([&] { F(u"ACAO").SetAsString(u"x"); }).Message(), u"Not in edit mode");
  ds.Insert();
  EXPECT_EQ(ClientError([&] { F(u"ACAO").SetAsString(u"x"); }).Message(),
            u"Cannot insert into dataset. (No insert query)");
  ds.Cancel();
  EXPECT_EQ(ClientError([&] { ds.Refresh(); }).Message(),
            u"Cannot refresh row. (No refresh query)");
  EXPECT_EQ(ClientError([&] { ds.ApplyUpdates(); }).Message(), u"CachedUpdates not enabled");
  EXPECT_EQ(ClientError([&] { ds.ExecSQL(); }).Message(), u"use Open for a Select Statement");

  // A statement text that the server cannot prepare makes the open fail.
  ds.Close();
  ds.InsertSQL().SetText(u"insert into NO_SUCH_TABLE (A) values (:ACAO)");
  EXPECT_THROW(ds.Open(), EIBInterBaseError);
  EXPECT_FALSE(ds.Active());
  EXPECT_FALSE(ds.Prepared());
}

TEST_F(DataSetTest, TheCacheGrowsBeforeAnInsertedRecordIsPlaced) {
  db().Open();
  ExecuteCommitted(db(), {u"insert into TMP_INTEGRACAO (ACAO) values ('a')",
                          u"insert into TMP_INTEGRACAO (ACAO) values ('b')"});
  TIBDataSet& ds = Stored();
  ds.SelectSQL().SetText(u"SELECT * FROM TMP_INTEGRACAO order by NRECNO");
  ds.SetBufferChunks(0);
  EXPECT_EQ(ds.BufferChunks(), 1);
  ds.Open();
  ds.Last();
  for (const Char* acao : {u"c", u"d", u"e"}) {
    ds.Insert();
    F(u"ACAO").SetAsWideString(acao);
    ds.Post();
  }
  EXPECT_EQ(ds.RecordCount(), 5);
  String seen;
  for (ds.First(); !ds.Eof(); ds.Next()) seen += F(u"ACAO").AsString();
  EXPECT_EQ(seen, u"abcde");
}

TEST_F(DataSetTest, TheDatabaseKeyIdentifiesTheRowButAViewsLongerKeyIsNotUsed) {
  db().Open();
  ExecuteCommitted(db(), {u"insert into TMP_INTEGRACAO (ACAO) values ('a')",
                          u"insert into TMP_INTEGRACAO (ACAO) values ('b')",
                          u"create view V_PAR (NRECNO, ACAO) as select x.NRECNO, x.ACAO from "
                          u"TMP_INTEGRACAO x join TMP_INTEGRACAO y on x.NRECNO = y.NRECNO"});
  TIBDataSet& ds = Plain(u"select RDB$DB_KEY as IB_INTERNAL_DBKEY, T.* from TMP_INTEGRACAO T "
                         u"order by NRECNO");
  ds.ModifySQL().SetText(
      u"update TMP_INTEGRACAO set ACAO = :ACAO where RDB$DB_KEY = :IB_INTERNAL_DBKEY");
  ds.Open();
  EXPECT_EQ(ds.FieldDefs().IndexOf(u"IB_INTERNAL_DBKEY"), -1);
  ds.Next();
  ds.Edit();
  F(u"ACAO").SetAsString(u"B");
  ds.Post();
  EXPECT_EQ(ds.RowsAffected(), 1);
  ds.Transaction().CommitRetaining();
  std::vector<CommittedRow> rows = Rows();
  EXPECT_EQ(rows.at(0)[u"ACAO"], u"a");
  EXPECT_EQ(rows.at(1)[u"ACAO"], u"B");

  ds.Close();
  ds.SelectSQL().SetText(u"select RDB$DB_KEY as IB_INTERNAL_DBKEY, V.* from V_PAR V");
  ds.Open();
  ds.Edit();
  F(u"ACAO").SetAsString(u"Z");
  // 16 bytes of key: nothing stands for the row, and the key the statement
  // was last given (row b's) is not used again either: no row is changed,
  // which is an error rather than a silent success.
  EXPECT_EQ(ClientError([&] { ds.Post(); }).Message(), u"No Records Affected");
  EXPECT_EQ(ds.RowsAffected(), 0);
  ds.Cancel();
  ds.Transaction().CommitRetaining();
  EXPECT_EQ(Rows().at(1)[u"ACAO"], u"B");
}

TEST_F(DataSetTest, TheGeneratorFillsTheFieldOnNewRecordOrOnPost) {
  TIBDataSet& ds = Stored();
  ds.GeneratorField() = {u"GEN_TMP_INTEGRACAO", u"NRECNO", 5, gamOnNewRecord};
  ds.Open();
  ds.Insert();
  EXPECT_EQ(F(u"NRECNO").AsLargeInt(), 5);
  F(u"ACAO").SetAsWideString(u"n");
  ds.Post();
  ds.GeneratorField().ApplyEvent = gamOnPost;
  ds.Insert();
  EXPECT_TRUE(F(u"NRECNO").IsNull());
  F(u"ACAO").SetAsWideString(u"p");
  ds.Post();
  EXPECT_EQ(F(u"NRECNO").AsLargeInt(), 10);
  ds.Transaction().CommitRetaining();
  std::vector<CommittedRow> rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][u"NRECNO"], u"5");
  EXPECT_EQ(rows[1][u"NRECNO"], u"10");
}

TEST_F(DataSetTest, CachedUpdatesWriteOnApplyAndCancelRestores) {
  db().Open();
  ExecuteCommitted(db(), {u"insert into TMP_INTEGRACAO (ACAO) values ('a')",
                          u"insert into TMP_INTEGRACAO (ACAO) values ('b')"});
  TIBDataSet& ds = Stored();
  ds.SelectSQL().SetText(u"SELECT * FROM TMP_INTEGRACAO order by NRECNO");
  ds.SetCachedUpdates(true);
  ds.Open();
  ds.Edit();
  F(u"ACAO").SetAsWideString(u"A");
  ds.Post();
  ds.Next();
  ds.Delete();
  ds.Insert();
  F(u"ACAO").SetAsWideString(u"c");
  ds.Post();
  EXPECT_TRUE(ds.UpdatesPending());
  EXPECT_EQ(ds.RecordCount(), 2);
  // Nothing reached the server yet.
  EXPECT_EQ(Rows().size(), 2u);

  ds.CancelUpdates();
  EXPECT_FALSE(ds.UpdatesPending());
  EXPECT_EQ(ds.RecordCount(), 2);
  String seen;
  for (ds.First(); !ds.Eof(); ds.Next()) seen += F(u"ACAO").AsString();
  EXPECT_EQ(seen, u"ab");

  ds.First();
  ds.Edit();
  F(u"ACAO").SetAsWideString(u"A");
  ds.Post();
  ds.Next();
  ds.Delete();
  ds.Insert();
  F(u"ACAO").SetAsWideString(u"c");
  ds.Post();
  std::vector<TUpdateKind> applied;
  ds.OnUpdateRecord = [&](TDataSet&, TUpdateKind kind, TIBUpdateAction& action) {
    applied.push_back(kind);
    action = uaApply;
  };
  ds.ApplyUpdates();
  EXPECT_FALSE(ds.UpdatesPending());
  EXPECT_EQ(applied, (std::vector<TUpdateKind>{ukModify, ukDelete, ukInsert}));
  ds.Transaction().CommitRetaining();
  std::vector<CommittedRow> rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][u"ACAO"], u"A");
  EXPECT_EQ(rows[1][u"ACAO"], u"c");
}

TEST_F(DataSetTest, TheConnectionAppliesSeveralRecordSetsInOneTransaction) {
  db().Open();
  ExecuteCommitted(db(), {u"insert into TMP_INTEGRACAO (ACAO) values ('a')"});
  auto cached = [&](TIBDataSet& ds) -> TIBDataSet& {
    ds.SetDatabase(&db());
    ds.SelectSQL().SetText(u"select * from TMP_INTEGRACAO");
    ds.InsertSQL().SetText(u"insert into TMP_INTEGRACAO (ACAO) values (:ACAO)");
    ds.ModifySQL().SetText(u"update TMP_INTEGRACAO set ACAO = :ACAO where NRECNO = :OLD_NRECNO");
    ds.SetCachedUpdates(true);
    ds.Open();
    return ds;
  };
  TIBDataSet& a = cached(Plain(u""));
  TIBDataSet& b = cached(*new TIBDataSet(&owner_));
  a.Edit();
  a.FieldByName(u"ACAO").SetAsString(u"A");
  a.Post();
  b.Insert();
  b.FieldByName(u"ACAO").SetAsString(u"b");
  b.Post();

  TIBTransaction other_tr(nullptr);
  other_tr.SetDefaultDatabase(&db());
  auto c = std::make_unique<TIBDataSet>(nullptr);
  c->SetDatabase(&db());
  c->SetTransaction(&other_tr);
  EXPECT_EQ(ClientError([&] { db().ApplyUpdates({&a, c.get()}); }).Message(),
            u"Updating wrong transaction. Unique transaction expected in set");
  Connection elsewhere(Name());
  auto d = std::make_unique<TIBDataSet>(nullptr);
  d->SetDatabase(elsewhere.db.get());
  EXPECT_EQ(ClientError([&] { db().ApplyUpdates({&a, d.get()}); }).Message(),
            u"Updating wrong database");
  EXPECT_TRUE(a.UpdatesPending());

  db().ApplyUpdates({&a, &b});
  EXPECT_FALSE(a.UpdatesPending() || b.UpdatesPending());
  EXPECT_TRUE(a.Active());  // committed retaining
  std::vector<CommittedRow> rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][u"ACAO"], u"A");
  EXPECT_EQ(rows[1][u"ACAO"], u"b");
}

TEST_F(DataSetTest, ValuesOfEachColumnKindRoundTrip) {
  db().Open();
  ExecuteCommitted(db(), {u"create table T_TIPOS (ID integer, S smallint, N numeric(9,2), "
                          u"N6 numeric(18,6), F double precision, TS timestamp, B boolean, "
                          u"C char(5))"});
  ExecuteCommitted(db(), {u"insert into T_TIPOS (ID, N6) values (1, 123456.789012)"});
  TIBDataSet& ds = Plain(u"select * from T_TIPOS");
  ds.ModifySQL().SetText(u"update T_TIPOS set S = :S, N = :N, N6 = :N6, F = :F, TS = :TS, "
                         u"B = :B, C = :C where ID = :OLD_ID");
  ds.Open();
  EXPECT_EQ(ds.FieldDefs()[ds.FieldDefs().IndexOf(u"N")].DataType, ftBCD);
  EXPECT_EQ(ds.FieldDefs()[ds.FieldDefs().IndexOf(u"N6")].DataType, ftFMTBcd);
  EXPECT_EQ(ds.FieldByName(u"N6").AsString(), u"123456.789012");
  ds.Edit();
  F(u"S").SetAsInteger(-7);
  F(u"N").SetAsString(u"12.34");
  F(u"F").SetAsFloat(2.5);
  F(u"TS").SetAsDateTime(EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 58, 0));
  F(u"B").SetAsBoolean(true);
  F(u"C").SetAsString(u"ab");
  ds.Post();
  ds.Transaction().CommitRetaining();
  CommittedRow r = ReadCommitted(Name(), u"select * from T_TIPOS").at(0);
  EXPECT_EQ(r[u"S"], u"-7");
  EXPECT_EQ(r[u"N"], u"12.34");
  EXPECT_EQ(r[u"N6"], u"123456.789012");  // through the packed decimal, exactly
  EXPECT_EQ(r[u"B"], u"True");
  EXPECT_EQ(r[u"C"], u"ab   ");

  ds.Close();
  ds.Open();
  EXPECT_EQ(F(u"S").AsInteger(), -7);
  EXPECT_EQ(F(u"N").AsFloat(), 12.34);
  EXPECT_EQ(F(u"F").AsFloat(), 2.5);
  EXPECT_EQ(F(u"TS").AsDateTime(), EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 58, 0));
  EXPECT_TRUE(F(u"B").AsBoolean());
  EXPECT_EQ(F(u"C").AsString(), u"ab   ");
}

TEST_F(DataSetTest, AOneWayRecordSetKeepsOnlyItsLastRows) {
  db().Open();
  ExecuteCommitted(db(), {u"insert into TMP_INTEGRACAO (ACAO) values ('a')",
                          u"insert into TMP_INTEGRACAO (ACAO) values ('b')",
                          u"insert into TMP_INTEGRACAO (ACAO) values ('c')"});
  TIBDataSet& ds = Plain(u"select * from TMP_INTEGRACAO order by NRECNO");
  ds.SetUniDirectional(true);
  ds.Open();
  String seen;
  for (; !ds.Eof(); ds.Next()) seen += F(u"ACAO").AsString();
  EXPECT_EQ(seen, u"abc");
  EXPECT_EQ(ds.RecordCount(), 3);
  ds.First();  // reopens
  EXPECT_EQ(F(u"ACAO").AsString(), u"a");
}

// A row that fails half-way is never counted; the original kept for cached
// updates is what OLD_ parameters read and what a cancel puts back.
TEST_F(DataSetTest, RowStoreCountsAddedRowsOnlyAndKeepsOriginals) {
  using L = TIBRecordLayout;
  Stored().Prepare();
  TIBXSQLDA& columns = ds_->QSelect().Current();
  ASSERT_EQ(columns.Names()[0], u"NRECNO");
  ib_engine::RowStore store(nullptr);
  store.Reset(columns, {}, -1, 1, false, true);

  uint8_t* first = store.Next();
  store.Blank(first);
  L::Header(first).record_number = 0;
  EXPECT_TRUE(L::Slot(first, 0).is_null);
  ASSERT_TRUE(SetSlotInt64(first, L::Slot(first, 0), 7));
  EXPECT_EQ(store.Count(), 0);
  store.Added();
  uint8_t* room = store.Next();  // a chunk further: the first stays put
  EXPECT_EQ(room, store.At(1));
  EXPECT_EQ(store.At(0), first);
  EXPECT_EQ(store.Count(), 1);

  store.KeepOriginal(0);
  ASSERT_TRUE(SetSlotInt64(first, L::Slot(first, 0), 8));
  L::Header(first).cached_update_status = cusModified;
  EXPECT_EQ(store.BeforeChange(first, true), store.Original(0));
  EXPECT_EQ(store.BeforeChange(first, false), first);
  EXPECT_EQ(SlotAsInt64(store.Original(0), L::Slot(first, 0)), 7);
  store.RestoreOriginal(0);
  EXPECT_EQ(SlotAsInt64(first, L::Slot(first, 0)), 7);
  EXPECT_EQ(L::Header(first).record_number, 0);

  // A record the store does not hold reads as itself.
  std::vector<uint8_t> loose(store.RecordSize());
  store.InitRecord(loose.data());
  L::Header(loose.data()).record_number = 5;
  EXPECT_EQ(store.BeforeChange(loose.data(), true), loose.data());
  store.Clear();
  EXPECT_EQ(store.Count(), 0);
}

}  // namespace
}  // namespace kavo::test
