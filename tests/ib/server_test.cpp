// The layer against the Firebird server on 127.0.0.1:3050, with the service's
// stored user VAVAVOR.
#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "ib/ib_limbo.h"
#include "testkit/ib_support.h"
#include "rtl/datetime.h"

namespace kavo::test {
namespace {

using ServerTest = ServerDatabaseTest;

TEST_F(ServerTest, StoredParametersInsertCommitRetainingAndReadBack) {
  Connection c(RemoteName());
  c.db->Open();
  EXPECT_EQ(c.db->CharacterSetCodePage(), 28591);
  EXPECT_EQ(QueryValue(*c.db, *c.tr, u"select CURRENT_USER from RDB$DATABASE"), u"VAVAVOR");
  EXPECT_EQ(QueryValue(*c.db, *c.tr,
                       u"select MON$REMOTE_PROTOCOL from MON$ATTACHMENTS "
                       u"where MON$ATTACHMENT_ID = CURRENT_CONNECTION"),
            u"TCPv4");
  TIBSQL insert(nullptr);
  insert.SetDatabase(c.db.get());
  insert.SQL().SetText(kInsertTmpIntegracao);
  for (int row = 1; row <= 2; ++row) {
    insert.ParamByName(u"ACAO").SetAsString(u"I");
    insert.ParamByName(u"DADOS").SetAsString(u"linha " + IntToStr(row) + u" ação");
    insert.ParamByName(u"DATA").SetAsDate(EncodeDate(2024, 1, row));
    insert.ParamByName(u"HORA").SetAsTime(EncodeTime(8, 30, row, 500));
    insert.ParamByName(u"TIPO").SetAsString(u"T");
    insert.ParamByName(u"VERSAO").SetAsString(u"1");
    insert.ParamByName(u"STATUS").SetAsString(u"PROCESSAR");
    insert.ParamByName(u"NRECNO").Clear();
    for (const Char* name : {u"ERRO", u"STATUS_INTEGRACAO", u"ERRO_INTEGRACAO"})
      insert.ParamByName(name).Clear();
    insert.ExecQuery();
    EXPECT_EQ(insert.RowsAffected(), 1);
    c.tr->CommitRetaining();
    EXPECT_TRUE(c.tr->Active());
  }
  TIBSQL select(nullptr);
  select.SetDatabase(c.db.get());
  select.SQL().SetText(u"select * from TMP_INTEGRACAO where STATUS = :S order by NRECNO");
  select.ParamByName(u"S").SetAsString(u"PROCESSAR");
  select.ExecQuery();
  for (int row = 1; row <= 2; ++row) {
    ASSERT_FALSE(select.Eof());
    EXPECT_EQ(select.FieldByName(u"DADOS").AsString(), u"linha " + IntToStr(row) + u" ação");
    EXPECT_EQ(select.FieldByName(u"DATA").AsDateTime(), EncodeDate(2024, 1, row));
    EXPECT_EQ(select.FieldByName(u"HORA").AsDateTime(), EncodeTime(8, 30, row, 0));
    EXPECT_EQ(select.FieldByName(u"NRECNO").AsInt64(), row);
    EXPECT_TRUE(select.FieldByName(u"ERRO_INTEGRACAO").IsNull());
    select.Next();
  }
  EXPECT_TRUE(select.Eof());
  c.db->Close();
  EXPECT_FALSE(c.db->Connected());
  EXPECT_FALSE(c.tr->Active());
}

TEST_F(ServerTest, WrongPasswordIsRefusedByTheServer) {
  Connection c(RemoteName());
  c.db->Params().SetValue(u"password", u"wrong");
  try {
    c.db->Open();
    FAIL() << "attached with a wrong password";
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.SQLCode(), -902);
    EXPECT_EQ(e.IBErrorCode(), isc_login);
    EXPECT_EQ(e.Message(), u"Your user name and password are not defined. Ask your database "
                           u"administrator to set up a Firebird login");
  }
  EXPECT_FALSE(c.db->Connected());
  // The corrected parameters are built anew for the next attempt.
  c.db->Params().SetValue(u"password", u"kat4ro2");
  c.db->Open();
  EXPECT_TRUE(c.db->Connected());
}

TEST_F(ServerTest, MissingDatabaseFileOnTheServer) {
  Connection c(u"127.0.0.1:" + Utf8ToString(dir_.File("absent.fdb")));
  try {
    c.db->Open();
    FAIL();
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.SQLCode(), -902);
    EXPECT_EQ(e.IBErrorCode(), isc_io_error);
    String first_line = u"I/O error during \"open\" operation for file \"" +
                        Utf8ToString(NameTheClientSees(dir_.File("absent.fdb"))) + u"\"\r\n";
    EXPECT_EQ(e.Message().rfind(first_line, 0), 0u) << StringToUtf8(e.Message());
    EXPECT_NE(e.Message().find(u"\r\nError while trying to open file"), String::npos);
  }
  EXPECT_FALSE(c.db->Connected());
}

TEST_F(ServerTest, TwoConnectionsSeeOnlyCommittedRows) {
  Connection writer(RemoteName());
  Connection reader(RemoteName());
  writer.db->Open();
  reader.db->Open();
  ExecuteCommitted(*writer.db, {u"insert into TMP_INTEGRACAO (ACAO) values ('a')"});
  TIBSQL pending(nullptr);
  pending.SetDatabase(writer.db.get());
  writer.tr->StartTransaction();
  pending.SQL().SetText(u"insert into TMP_INTEGRACAO (ACAO) values ('b')");
  pending.ExecQuery();
  EXPECT_EQ(QueryValue(*reader.db, *reader.tr, u"select count(*) from TMP_INTEGRACAO"), u"1");
  reader.tr->Commit();
  writer.tr->CommitRetaining();
  EXPECT_EQ(QueryValue(*reader.db, *reader.tr, u"select count(*) from TMP_INTEGRACAO"), u"2");
}

// Accented data in a server message reads as it was sent (the stored
// ISO8859_1 connection, a UTF-8 process).
TEST_F(ServerTest, ServerMessagesKeepAccentedData) {
  Connection c(RemoteName());
  c.db->Open();
  c.tr->StartTransaction();
  TIBSQL q(nullptr);
  q.SetDatabase(c.db.get());
  q.SQL().SetText(u"insert into TMP_INTEGRACAO (NRECNO) values (:N)");
  q.ParamByName(u"N").SetAsString(u"n\u00e3o \u00e9 n\u00famero");
  try {
    q.ExecQuery();
    FAIL() << "a text went into a number";
  } catch (const EIBInterBaseError& e) {
    EXPECT_NE(e.Message().find(u"\"n\u00e3o \u00e9 n\u00famero\""), String::npos)
        << StringToUtf8(e.Message());
  }
}

TEST_F(ServerTest, KilledAttachmentIsALostConnection) {
  ExpectKilledAttachmentClosesTheConnection(RemoteName());
}

// The server lists a prepared transaction as in limbo only once its
// attachment is gone, so a second service never resolves one under its
// owner; the stored user may then take it over and end it.
TEST_F(ServerTest, LimboListsOnlyPreparedTransactionsWhoseOwnerIsGone) {
  Connection owner(RemoteName()), other(RemoteName());
  owner.db->Open();
  other.db->Open();
  owner.tr->StartTransaction();
  TIBSQL insert(nullptr);
  insert.SetDatabase(owner.db.get());
  insert.SQL().SetText(u"insert into TMP_INTEGRACAO (ACAO) values ('L')");
  insert.ExecQuery();
  int64_t id = owner.tr->TransactionID();
  owner.tr->Prepare(u"KavoIntegradorOracle ROWID=R1");
  // The listing waits while the owner lives, and sees the transaction in
  // limbo once the owner's close has left it there.
  auto listing = std::async(std::launch::async, [&] { return LimboTransactions(*other.db); });
  EXPECT_EQ(listing.wait_for(std::chrono::milliseconds(1500)), std::future_status::timeout);
  owner.db->Close();
  std::vector<TIBLimboTransaction> limbo = listing.get();
  ASSERT_EQ(limbo.size(), 1u);
  EXPECT_EQ(limbo[0].id, id);
  EXPECT_EQ(limbo[0].description, u"KavoIntegradorOracle ROWID=R1");
  TIBTransaction resolver(nullptr);
  resolver.SetDefaultDatabase(other.db.get());
  resolver.Reconnect(id);
  resolver.Commit();
  EXPECT_TRUE(LimboTransactions(*other.db).empty());
  EXPECT_EQ(QueryValue(*other.db, *other.tr, u"select count(*) from TMP_INTEGRACAO"), u"1");
}

}  // namespace
}  // namespace kavo::test
