// TIBSQL on the embedded engine: prepare, execute, fetch, close, free.
#include <gtest/gtest.h>

#include "testkit/ib_support.h"
#include "rtl/datetime.h"

namespace kavo::test {
namespace {

class SQLTest : public EmbeddedDatabaseTest {
 protected:
  void SetUp() override {
    EmbeddedDatabaseTest::SetUp();
    db().Open();
    tr().StartTransaction();
    q_ = std::make_unique<TIBSQL>(nullptr);
    q_->SetDatabase(&db());
  }
  void TearDown() override { q_.reset(); }
  TIBSQL& q() { return *q_; }
  std::unique_ptr<TIBSQL> q_;
};

TEST_F(SQLTest, TheServiceInsertWithNamedParameters) {
  q().SQL().SetText(kInsertTmpIntegracao);
  q().Prepare();
  EXPECT_EQ(q().SQLType(), SQLInsert);
  EXPECT_EQ(q().Params().Count(), 11);
  EXPECT_EQ(q().ProcessedSQL().find(u':'), String::npos);
  q().ParamByName(u"ACAO").SetAsString(u"I");
  q().ParamByName(u"DADOS").SetAsString(u"dados ção");
  q().ParamByName(u"DATA").SetAsDate(EncodeDate(2024, 2, 29));
  q().ParamByName(u"HORA").SetAsTime(EncodeTime(10, 15, 30, 0));
  q().ParamByName(u"TIPO").SetAsString(u"T");
  q().ParamByName(u"VERSAO").SetAsString(u"1.0");
  q().ParamByName(u"STATUS").SetAsString(u"PROCESSAR");
  q().ParamByName(u"NRECNO").Clear();
  for (const Char* name : {u"ERRO", u"STATUS_INTEGRACAO", u"ERRO_INTEGRACAO"})
    q().ParamByName(name).Clear();
  q().ExecQuery();
  EXPECT_EQ(q().RowsAffected(), 1);
  tr().CommitRetaining();

  TIBSQL r(nullptr);
  r.SetDatabase(&db());
  r.SQL().SetText(u"select * from TMP_INTEGRACAO");
  r.ExecQuery();
  EXPECT_EQ(r.SQLType(), SQLSelect);
  EXPECT_EQ(r.RowsAffected(), -1);
  ASSERT_FALSE(r.Eof());
  EXPECT_EQ(r.FieldByName(u"acao").AsString(), u"I");
  EXPECT_EQ(r.FieldByName(u"DADOS").AsString(), u"dados ção");
  EXPECT_EQ(r.FieldByName(u"DATA").AsDateTime(), EncodeDate(2024, 2, 29));
  EXPECT_EQ(r.FieldByName(u"HORA").AsDateTime(), EncodeTime(10, 15, 30, 0));
  EXPECT_EQ(r.FieldByName(u"STATUS").AsString(), u"PROCESSAR");
  EXPECT_FALSE(r.FieldByName(u"NRECNO").IsNull());  // the trigger numbered it
  EXPECT_EQ(r.FieldByName(u"NRECNO").AsInt64(), 1);
  EXPECT_TRUE(r.FieldByName(u"ERRO").IsNull());
  EXPECT_EQ(r.FieldByName(u"ERRO").AsString(), u"");
  EXPECT_TRUE(r.FieldByName(u"STATUS_INTEGRACAO").IsNull());
  EXPECT_EQ(r.UniqueRelationName(), u"TMP_INTEGRACAO");
  EXPECT_EQ(r.Next(), nullptr);
  EXPECT_TRUE(r.Eof());
  EXPECT_EQ(r.RecordCount(), 1);
  EXPECT_EQ(r.Next(), nullptr);  // past the end: nothing more, count kept
  EXPECT_EQ(r.RecordCount(), 1);
}

TEST_F(SQLTest, RowsAffectedOfUpdateAndDelete) {
  ExecuteCommitted(db(), {u"insert into TMP_INTEGRACAO (ACAO) values ('a')",
                          u"insert into TMP_INTEGRACAO (ACAO) values ('b')"});
  q().SQL().SetText(u"update TMP_INTEGRACAO set STATUS = 'X'");
  EXPECT_EQ(q().RowsAffected(), -1);  // not prepared yet
  q().ExecQuery();
  EXPECT_EQ(q().SQLType(), SQLUpdate);
  EXPECT_EQ(q().RowsAffected(), 2);
  q().SQL().SetText(u"delete from TMP_INTEGRACAO where ACAO = :A");
  q().ParamByName(u"A").SetAsString(u"a");
  q().ExecQuery();
  EXPECT_EQ(q().SQLType(), SQLDelete);
  EXPECT_EQ(q().RowsAffected(), 1);
}

TEST_F(SQLTest, SameNamedParametersAreAssignedTogether) {
  ExecuteCommitted(db(), {u"insert into TMP_INTEGRACAO (ACAO, TIPO) values ('a', 'x')",
                          u"insert into TMP_INTEGRACAO (ACAO, TIPO) values ('b', 'a')"});
  q().SQL().SetText(u"select count(*) from TMP_INTEGRACAO where ACAO = :a or TIPO = :A");
  ASSERT_EQ(q().Params().Count(), 2);
  EXPECT_EQ(q().Params().Names(), (std::vector<String>{u"A", u"A"}));
  q().ParamByName(u"a").SetAsString(u"a");
  EXPECT_TRUE(q().Params()[1].Modified());
  q().ExecQuery();
  EXPECT_EQ(q().Fields(0).AsInteger(), 2);
}

// Names spelled as stored are found as they are; any other spelling (lower
// case, blanks around it) is normalised first. A value goes to every entry of
// its name, also after the text changes which names repeat.
TEST_F(SQLTest, ParametersFoundByEverySpellingOfTheirNames) {
  q().SQL().SetText(
      u"insert into TMP_INTEGRACAO (ACAO, TIPO, STATUS) values (:ACAO, :\"Tipo Novo\", :ACAO2)");
  ASSERT_EQ(q().Params().Names(), (std::vector<String>{u"ACAO", u"TIPO NOVO", u"ACAO2"}));
  EXPECT_EQ(&q().ParamByName(u"ACAO"), &q().Params()[0]);
  EXPECT_EQ(&q().ParamByName(u"acao"), &q().Params()[0]);
  EXPECT_EQ(&q().ParamByName(u" ACAO\t"), &q().Params()[0]);
  EXPECT_EQ(&q().ParamByName(u"TIPO NOVO"), &q().Params()[1]);
  EXPECT_EQ(&q().ParamByName(u"Tipo novo"), &q().Params()[1]);
  EXPECT_EQ(&q().ParamByName(u"acao2"), &q().Params()[2]);
  // In and out of the text's order, each after another.
  for (int i : {2, 1, 0, 2, 2, 0, 1, 1}) {
    const Char* names[] = {u"ACAO", u"TIPO NOVO", u"ACAO2"};
    EXPECT_EQ(&q().ParamByName(names[i]), &q().Params()[i]) << i;
  }
  EXPECT_THROW(q().ParamByName(u"ACA"), EIBClientError);
  EXPECT_THROW(q().ParamByName(u"ACAO 2"), EIBClientError);
  q().ParamByName(u"ACAO").SetAsString(u"X");
  EXPECT_FALSE(q().Params()[2].Modified()) << "a name of its own takes its value alone";
  q().ParamByName(u"TIPO NOVO").SetAsString(u"Y");
  q().ParamByName(u"ACAO2").SetAsString(u"Z");
  q().ExecQuery();
  EXPECT_EQ(QueryValue(db(), tr(), u"select ACAO || TIPO || STATUS from TMP_INTEGRACAO"),
            u"XYZ");

  q().SQL().SetText(u"select count(*) from TMP_INTEGRACAO where ACAO = :V or STATUS = :v");
  EXPECT_EQ(&q().ParamByName(u"V"), &q().Params()[0]);
  EXPECT_EQ(&q().ParamByName(u"V"), &q().Params()[0]) << "a shared name is its first entry's";
  q().ParamByName(u"V").SetAsString(u"Z");
  EXPECT_TRUE(q().Params()[1].Modified()) << "the names repeat now";
  q().ExecQuery();
  EXPECT_EQ(q().Fields(0).AsInteger(), 1);
}

TEST_F(SQLTest, ResultColumnNames) {
  q().SQL().SetText(
      u"select ACAO as NAME, TIPO as NAME, 1 + 1, ACAO as \"lower\" from TMP_INTEGRACAO");
  q().Prepare();
  const auto& names = q().Current().Names();
  ASSERT_EQ(names.size(), 4u);
  EXPECT_EQ(names[0], u"NAME");
  EXPECT_EQ(names[1], u"NAME1");
  EXPECT_FALSE(names[2].empty());
  EXPECT_EQ(names[3], u"LOWER");  // stored names are upper-cased like lookups
  EXPECT_EQ(q().Current()[1].AliasName(), u"NAME1");
  EXPECT_EQ(&q().FieldByName(u"name1"), &q().Current()[1]);
  EIBClientError e = ClientError([&] { q().FieldByName(u"NOPE"); });
  EXPECT_EQ(e.Message(), u"Field \"NOPE\" not found");
  EXPECT_EQ(ClientError([&] { q().Fields(4); }).Message(), u"Field \"4\" not found");
  EXPECT_EQ(ClientError([&] { q().ParamByName(u"X"); }).SQLCode(), ibceFieldNotFound);
}

TEST_F(SQLTest, FieldsByPositionPrepareWhenNeeded) {
  q().SQL().SetText(u"select ACAO, TIPO from TMP_INTEGRACAO");
  EXPECT_EQ(q().Fields(1).Name(), u"TIPO");
  EXPECT_TRUE(q().Prepared());
  EXPECT_EQ(ClientError([&] { q().Fields(-1); }).Message(), u"Field \"-1\" not found");
}

TEST_F(SQLTest, StatementStates) {
  q().SQL().SetText(u"select ACAO from TMP_INTEGRACAO");
  EXPECT_EQ(ClientError([&] { q().Next(); }).Message(), u"IBSQL Closed");
  q().ExecQuery();
  EXPECT_TRUE(q().Open());
  EXPECT_TRUE(q().Eof());  // no rows
  EXPECT_EQ(ClientError([&] { q().ExecQuery(); }).Message(), u"IBSQL Open");
  q().Close();
  EXPECT_FALSE(q().Open());
  EXPECT_TRUE(q().Prepared());
  // Changing the text releases the statement; the same text does not.
  q().SQL().SetText(u"select ACAO from TMP_INTEGRACAO");
  EXPECT_TRUE(q().Prepared());
  int changing = 0;
  q().OnSQLChanging = [&](TComponent*) {
    ++changing;
    EXPECT_EQ(q().SQL().Text(), u"select ACAO from TMP_INTEGRACAO\r\n");  // not yet changed
  };
  q().SQL().SetText(u"select TIPO from TMP_INTEGRACAO");
  EXPECT_FALSE(q().Prepared());
  EXPECT_EQ(q().Handle(), 0u);
  EXPECT_EQ(changing, 1);
  q().OnSQLChanging = nullptr;
  q().Prepare();
  q().FreeHandle();
  EXPECT_FALSE(q().Prepared());
  q().SQL().Clear();
  EXPECT_EQ(ClientError([&] { q().Prepare(); }).Message(), u"Empty query");
}

TEST_F(SQLTest, GoToFirstRecordOnExecute) {
  ExecuteCommitted(db(), {u"insert into TMP_INTEGRACAO (ACAO) values ('a')"});
  q().SQL().SetText(u"select ACAO from TMP_INTEGRACAO");
  q().SetGoToFirstRecordOnExecute(false);
  q().ExecQuery();
  EXPECT_TRUE(q().Bof());
  EXPECT_EQ(q().RecordCount(), 0);
  ASSERT_NE(q().Next(), nullptr);
  EXPECT_FALSE(q().Bof());
  EXPECT_EQ(q().RecordCount(), 1);
}

TEST_F(SQLTest, ServerErrorAtPrepareLeavesItUnprepared) {
  q().SQL().SetText(u"selec ACAO from TMP_INTEGRACAO");
  try {
    q().Prepare();
    FAIL();
  } catch (const EIBInterBaseError& e) {
    EXPECT_EQ(e.SQLCode(), -104);
    EXPECT_EQ(e.Message().rfind(u"Dynamic SQL Error\r\nSQL error code = -104\r\nToken unknown", 0),
              0u)
        << StringToUtf8(e.Message());
  }
  EXPECT_FALSE(q().Prepared());
  EXPECT_EQ(q().Handle(), 0u);
  q().SQL().SetText(u"select ACAO from NO_SUCH_TABLE where X = :X");
  EXPECT_THROW(q().Prepare(), EIBInterBaseError);
  EXPECT_EQ(q().Handle(), 0u);
  q().SQL().SetText(u"select 'abc from TMP_INTEGRACAO");
  EXPECT_EQ(ClientError([&] { q().Prepare(); }).Message(),
            u"SQL Parse Error:\r\n\r\nEOF in string detected");
}

// A marker in a line comment is no parameter: a statement object reused for
// such a text still puts the caller's value where the server reads it.
TEST_F(SQLTest, MarkersInLineCommentsAreNotParameters) {
  q().SQL().SetText(u"insert into TMP_INTEGRACAO (ACAO, TIPO) values (:ACAO, :TIPO)");
  q().ParamByName(u"ACAO").SetAsString(u"OLD");
  q().ParamByName(u"TIPO").SetAsString(u"old");
  q().ExecQuery();
  q().SQL().SetText(u"-- :ORIGEM is filled in by the trigger\r\n"
                    u"insert into TMP_INTEGRACAO (ACAO) values (:ACAO)");
  q().ParamByName(u"ACAO").SetAsString(u"NEW");
  q().ExecQuery();
  EXPECT_EQ(q().Params().Count(), 1);
  EXPECT_EQ(QueryValue(db(), tr(), u"select count(*) from TMP_INTEGRACAO where ACAO = 'NEW'"),
            u"1");
}

// Where the server counts the parameters differently from the markers of the
// text (here Q-strings, whose odd quotes the marker scan reads as ordinary
// literals), the statement is refused at prepare instead of running with
// values in the wrong places.
TEST_F(SQLTest, ParameterCountDifferentFromTheServersIsRefused) {
  // The scan sees :B between two literals; the server sees one literal '?'.
  q().SQL().SetText(u"select q'(a'b)' || ':B' || q'(c'd)' from RDB$DATABASE");
  EIBClientError e = ClientError([&] { q().Prepare(); });
  EXPECT_EQ(e.SQLCode(), ibceSQLParseError);
  EXPECT_EQ(e.Message(), u"SQL Parse Error:\r\n\r\nThe text names 1 parameters but the server "
                         u"counts 0");
  EXPECT_FALSE(q().Prepared());
  EXPECT_EQ(q().Handle(), 0u);
  // The scan sees no marker; the server counts one.
  q().SQL().SetText(u"select 1 from RDB$DATABASE where q'(a'b)' <> 'x' and 1 = ? and "
                    u"q'(c'd)' <> 'y'");
  EXPECT_EQ(ClientError([&] { q().Prepare(); }).Message(),
            u"SQL Parse Error:\r\n\r\nThe text names 0 parameters but the server counts 1");
  EXPECT_EQ(q().Handle(), 0u);
  // Equal counts prepare as before, with or without markers.
  q().SQL().SetText(u"select 'it''s' from RDB$DATABASE where 1 = :ONE");
  q().ParamByName(u"ONE").SetAsInteger(1);
  q().ExecQuery();
  EXPECT_EQ(q().Fields(0).AsString(), u"it's");
}

TEST_F(SQLTest, RefusedStatementTypes) {
  q().SQL().SetText(u"set transaction");
  EXPECT_EQ(ClientError([&] { q().Prepare(); }).Message(), u"Not permitted");
  EXPECT_FALSE(q().Prepared());
  EXPECT_EQ(q().Handle(), 0u);
}

TEST_F(SQLTest, ChecksBeforePreparing) {
  TIBSQL lone(nullptr);
  lone.SQL().SetText(u"select 1 from RDB$DATABASE");
  EXPECT_EQ(ClientError([&] { lone.Prepare(); }).Message(), u"Database not assigned");
  TIBDatabase bare(nullptr);
  bare.SetDatabaseName(Name());
  lone.SetDatabase(&bare);
  EXPECT_EQ(ClientError([&] { lone.Prepare(); }).Message(),
            u"Cannot perform operation -- DB is not open");
  EXPECT_EQ(ClientError([&] { q().Prepare(); }).Message(), u"Empty query");
  q().SQL().SetText(u"  \r\n");
  EXPECT_EQ(ClientError([&] { q().Prepare(); }).Message(), u"Empty query");
  tr().Commit();
  q().SQL().SetText(u"select 1 from RDB$DATABASE");
  EXPECT_EQ(ClientError([&] { q().Prepare(); }).Message(), u"Transaction is not active");
  // Params starts and commits the transaction around the prepare.
  EXPECT_EQ(q().Params().Count(), 0);
  EXPECT_TRUE(q().Prepared());
  EXPECT_FALSE(tr().Active());
}

TEST_F(SQLTest, ExecuteProcedureReturnsItsRow) {
  ExecuteCommitted(db(), {u"create procedure TWICE (N integer) returns (R integer) as\n"
                          u"begin\n  R = N * 2;\nend"});
  q().SQL().SetText(u"execute procedure TWICE :N");
  q().ParamByName(u"N").SetAsInteger(21);
  q().ExecQuery();
  EXPECT_EQ(q().SQLType(), SQLExecProcedure);
  EXPECT_EQ(q().FieldByName(u"R").AsInteger(), 42);
}

TEST_F(SQLTest, DatabaseDisconnectReleasesTheStatement) {
  q().SQL().SetText(u"select ACAO from TMP_INTEGRACAO");
  q().ExecQuery();
  db().Close();
  EXPECT_FALSE(q().Open());
  EXPECT_FALSE(q().Prepared());
  EXPECT_EQ(q().Handle(), 0u);
  db().Open();
  tr().StartTransaction();
  q().ExecQuery();  // prepares again
  EXPECT_TRUE(q().Open());
}

TEST_F(SQLTest, StatementOutlivesItsConnectionAndTransaction) {
  q().SQL().SetText(u"select ACAO from TMP_INTEGRACAO");
  q().ExecQuery();
  conn_.reset();  // transaction and connection destroyed under the statement
  EXPECT_EQ(q().Database(), nullptr);
  EXPECT_EQ(q().Transaction(), nullptr);
  EXPECT_FALSE(q().Prepared());
}

TEST_F(SQLTest, PlanOfAQueryAndNoneForAnInsert) {
  q().SQL().SetText(u"select * from TMP_INTEGRACAO where ACAO = :A");
  EXPECT_EQ(q().Plan(), u"");  // not prepared
  q().Prepare();
  EXPECT_EQ(q().Plan(), u"PLAN (TMP_INTEGRACAO NATURAL)");
  q().SQL().SetText(u"insert into TMP_INTEGRACAO (ACAO) values (:A)");
  q().Prepare();
  EXPECT_EQ(q().Plan(), u"");
}

TEST_F(SQLTest, ColumnsWithoutAliasAndLongDuplicateNames) {
  q().SQL().SetText(u"select ACAO, TIPO, STATUS from TMP_INTEGRACAO");
  q().Prepare();
  TIBXSQLDA& area = q().Current();
  area.SetCount(3);  // names forgotten; the described entries stay
  area[0].Data().SetAliasName("");
  area[1].Data().SetAliasName("");
  const std::string long_name(31, 'L');
  area[2].Data().SetAliasName(long_name);
  area.Initialize();
  EXPECT_EQ(area.Names(), (std::vector<String>{u"F_1", u"F_2", Utf8ToString(long_name)}));
  EXPECT_EQ(area[1].AliasName(), u"F_2");  // written back as the alias
  // A duplicate of a name at the length limit is cut to stay below it.
  area.SetCount(3);
  area[0].Data().SetAliasName(long_name);
  area[1].Data().SetAliasName(long_name);
  area[2].Data().SetAliasName(long_name);
  area.Initialize();
  EXPECT_EQ(area.Names()[1], Utf8ToString(std::string(30, 'L') + "1"));
  EXPECT_EQ(area.Names()[2], Utf8ToString(std::string(30, 'L') + "2"));
}

}  // namespace
}  // namespace kavo::test
