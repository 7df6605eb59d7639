// Statements against the OCI stand-in: what describe makes of a select,
// re-execution of a prepared one, column names, a UTF-8 client, and the
// service's own select and write-back by ROWID.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "oracle/oci_library.h"
#include "oracle/oracle_error.h"
#include "oracle/query.h"
#include "oracle/session.h"
#include "rtl/code_page.h"
#include "rtl/format_settings.h"
#include "testkit/message_of.h"
#include "testkit/env.h"
#include "testkit/oracle_standin.h"
#include "query_fixture.h"

namespace kavo::test {
namespace {

// With the layer-wide switch off, an unchanged select keeps its prepared
// statement and buffers, and the execute call itself brings the first batch.
TEST_F(QueryTest, OptimizedReexecutionFetchesInTheExecuteCall) {
  NoQueryOptimize = false;
  q_->SetSQLText(u"select id from rows60 where id <= :n order by id");
  q_->DeclareAndSet(u"n", otInteger, 30);
  for (int run = 0; run < 2; ++run) {
    q_->Execute();
    int rows = 0;
    for (; !q_->Eof(); q_->Next()) EXPECT_EQ(q_->FieldAsInteger(0), ++rows);
    EXPECT_EQ(rows, 30) << "run " << run;
    EXPECT_EQ(q_->FieldCount(), 1) << "kept open for the next execution";
  }
  // Two round trips per run either way: the re-execution's first batch comes
  // with the execute call into the buffers kept from the first run.
  EXPECT_EQ(q_->FetchCalls(), 4);
  NoQueryOptimize = true;
}

// Every parse describes the select list again into column records the
// statement had before: each select reads its own columns, NULLs and LONG
// pieces, whatever the statement described earlier.
TEST_F(QueryTest, SelectsDescribedOneAfterAnotherReadOnlyTheirOwnColumns) {
  ASSERT_EQ(standin_->Sql("kavo/secret",
                          "create table wide (id number(9), s varchar2(3000), n number(9,2), d date);\n"
                          "insert into wide values (1, 'first', 1.5, to_date('2024-01-02', 'yyyy-mm-dd'));\n"
                          "insert into wide values (2, null, null, null);\n"
                          "commit;\n"),
            0);
  String long_text(9000, u'x');
  q_->SetSQLText(u"insert into longs values (7, :l)");
  q_->DeclareAndSet(u"l", otLong, long_text);
  q_->Execute();
  q_->DeleteVariables();
  auto read_long = [&] {
    q_->SetSQLText(u"select l, id from longs where id = 7");
    q_->Execute();
    EXPECT_FALSE(q_->Eof());
    EXPECT_EQ(q_->FieldCount(), 2);
    EXPECT_EQ(q_->FieldType(0), otLong);
    EXPECT_EQ(q_->FieldAsString(0), long_text);
    std::vector<ub4> sizes;
    for (const TLongPiece& p : q_->FieldDataRecord(0).LongPieces) sizes.push_back(p.AllocatedSize);
    EXPECT_EQ(sizes, (std::vector<ub4>{4096, 8192})) << "the pieces of this value only";
    EXPECT_EQ(q_->FieldAsInteger(1), 7);
  };
  read_long();
  // Far more bytes per column than before, and in a batch of many rows.
  q_->SetReadBuffer(40);
  q_->SetSQLText(u"select s, n, d, id from wide order by id");
  q_->Execute();
  ASSERT_EQ(q_->FieldCount(), 4);
  EXPECT_EQ(q_->FieldName(0), u"S");
  EXPECT_EQ(q_->FieldType(0), otString);
  EXPECT_EQ(q_->FieldDataRecord(0).bufsize, 3001);
  EXPECT_EQ(q_->FieldDataRecord(0).cache, 40);
  EXPECT_EQ(q_->FieldDataRecord(0).buf.size(), 3001u * 40);
  EXPECT_TRUE(q_->FieldDataRecord(0).LongPieces.empty());
  EXPECT_EQ(q_->FieldType(1), otFloat);
  EXPECT_EQ(q_->FieldType(2), otDate);
  EXPECT_EQ(q_->FieldAsString(0), u"first");
  EXPECT_DOUBLE_EQ(q_->FieldAsFloat(1), 1.5);
  EXPECT_FALSE(q_->FieldIsNull(2));
  q_->Next();
  ASSERT_FALSE(q_->Eof());
  EXPECT_EQ(q_->FieldAsInteger(3), 2);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(q_->FieldIsNull(i)) << i;
  q_->Next();
  EXPECT_TRUE(q_->Eof());
  EXPECT_EQ(q_->FieldCount(), 0) << "closed at the end of the rows";
  // Fewer columns, a smaller batch, then the LONG column again.
  q_->SetReadBuffer(2);
  q_->SetSQLText(u"select id from wide where id = 2");
  q_->Execute();
  ASSERT_EQ(q_->FieldCount(), 1);
  EXPECT_EQ(q_->FieldDataRecord(0).cache, 2);
  EXPECT_EQ(q_->FieldDataRecord(0).buf.size(), 8u) << "two 4-byte integers";
  EXPECT_EQ(q_->FieldAsInteger(0), 2);
  read_long();
  // Described only, nothing fetched: the columns hold nothing of the LONG read.
  q_->SetSQLText(u"select id, s from wide");
  q_->Describe();
  ASSERT_EQ(q_->FieldCount(), 2);
  for (int i = 0; i < 2; ++i) {
    const TFieldData& f = q_->FieldDataRecord(i);
    EXPECT_TRUE(f.LongPieces.empty()) << i;
    EXPECT_EQ(f.LongSize(), 0) << i;
    EXPECT_EQ(f.ind, std::vector<int16_t>(2, -1)) << i;
    EXPECT_EQ(f.rlen, std::vector<uint16_t>(2, 0)) << i;
  }
  EXPECT_EQ(q_->FieldType(0), otInteger);
  EXPECT_EQ(q_->FieldName(1), u"S");
  q_->Close();
  read_long();
  session_->Rollback();
}

// Column names are found without regard to case, also beyond ASCII, and only
// as whole names.
TEST_F(QueryTest, ColumnNamesAreFoundWithoutRegardToCase) {
  const std::string saved_ansi = AnsiCodePage();
  SetAnsiCodePage("CP1252");
  q_->SetSQLText(
      u"select 1 \"A\u00e7\u00e3o\", 2 id, 3 \"Id\", 4 \"\u00c9T\u00c9\", 5 \"A@\" from dual");
  q_->Execute();
  ASSERT_EQ(q_->FieldCount(), 5);
  EXPECT_EQ(q_->FieldName(0), u"A\u00e7\u00e3o");
  EXPECT_EQ(q_->FieldIndex(u"A\u00e7\u00e3o"), 0);
  EXPECT_EQ(q_->FieldIndex(u"A\u00c7\u00c3O"), 0);
  EXPECT_EQ(q_->FieldIndex(u"a\u00e7\u00e3O"), 0);
  EXPECT_EQ(q_->FieldIndex(u"ACAO"), -1) << "accents are letters of their own";
  EXPECT_EQ(q_->FieldIndex(u"id"), 1) << "the first of two names equal but for case";
  EXPECT_EQ(q_->FieldIndex(u"Id"), 1);
  EXPECT_EQ(q_->FieldIndex(u"\u00e9t\u00e9"), 3);
  EXPECT_EQ(q_->FieldIndex(u"ID "), -1);
  EXPECT_EQ(q_->FieldIndex(u"I"), -1);
  EXPECT_EQ(q_->FieldIndex(u""), -1);
  EXPECT_EQ(q_->FieldIndex(u"a@"), 4);
  EXPECT_EQ(q_->FieldIndex(u"a`"), -1) << "'@' and '`' are 32 apart but no letters";
  EXPECT_EQ(q_->FieldIndex(u"\u0131d"), SameText(u"ID", u"\u0131d") ? 1 : -1)
      << "dotless i: as the case rules of the text functions have it";
  EXPECT_EQ(q_->FieldAsInteger(u"\u00c9t\u00e9"), 4);
  // Another select of as many columns: its names, whatever was found before.
  q_->SetSQLText(u"select 1 x, 2 y, 3 z, 4 \"Id\", 5 w from dual");
  q_->Execute();
  EXPECT_EQ(q_->FieldIndex(u"ID"), 3);
  EXPECT_EQ(q_->FieldIndex(u"x"), 0);
  EXPECT_EQ(q_->FieldIndex(u"A@"), -1);

  // A client asked for AL32UTF8 names a column the same whatever the ANSI
  // code page, and the name is found without regard to case.
  ASSERT_EQ(standin_->Sql("kavo/secret",
                          "create table named (\"A\xc3\xa7\xc3\xa3o\" number(9));\n"
                          "insert into named values (1);\ncommit;\n"),
            0);
  q_->SetSQLText(u"select * from named");
  for (const char* cp : {"ISO-8859-7", "CP1252"}) {
    SetAnsiCodePage(cp);
    q_->Execute();
    EXPECT_EQ(q_->FieldName(0), u"A\u00e7\u00e3o") << cp;
    EXPECT_EQ(q_->FieldIndex(u"a\u00c7\u00c3O"), 0) << cp;
  }
  SetAnsiCodePage(saved_ansi);
}

// NLS_LANG naming UTF-8: statement text and values travel as UTF-8.
TEST_F(QueryTest, Utf8ClientRoundTrip) {
  session_->SetConnected(false);
  OCILibrary().DLLExit();
  SetEnvVar("NLS_LANG", "AMERICAN_AMERICA.AL32UTF8");
  session_->SetConnected(true);
  ASSERT_TRUE(OCILibrary().UTF8Client());
  q_->SetSQLText(u"insert into keyed values (100, :t)");
  q_->DeclareAndSet(u"t", otString, u"caf\u00e9 \u20ac");
  q_->Execute();
  TOracleQuery r(nullptr);
  r.SetSession(session_.get());
  r.SetSQLText(u"select txt, 'na\u00efve' from keyed where id = 100");
  r.Execute();
  EXPECT_TRUE(r.FieldIsUTF8(0));
  EXPECT_EQ(r.FieldAsString(0), u"caf\u00e9 \u20ac");
  EXPECT_EQ(r.FieldAsString(1), u"na\u00efve");
  session_->Rollback();
  session_->SetConnected(false);
  UnsetEnvVar("NLS_LANG");
  OCILibrary().DLLExit();
}

}  // namespace
}  // namespace kavo::test

namespace kavo::test {
namespace {

// The service's own select and its write-back by row identifier.
TEST_F(QueryTest, InterfaceTableSelectAndUpdateByRowId) {
  ASSERT_EQ(standin_->Sql("SYSTEM/manager",
                          "create user v9norvelo identified by x;\n"
                          "create table v9norvelo.\"INTERFACE_ORCL\" (ACAO varchar2(1), "
                          "CODIGO number, DADOS varchar2(500), DT_H_GRAV date, DT_H_PRI_P date, "
                          "DT_H_ULT_P date, ERRO varchar2(255), HORA varchar2(8), ORDEM number, "
                          "STATUS varchar2(1), TABELA varchar2(20), TIPO varchar2(50), "
                          "VERSAO varchar2(10));\n"
                          "insert into v9norvelo.\"INTERFACE_ORCL\" values ('I', 1, 'dados', "
                          "sysdate, null, null, null, '10:00:00', 1, 'A', 'T', 'TIPO', '1');\n"
                          "insert into v9norvelo.\"INTERFACE_ORCL\" values ('I', 2, 'feito', "
                          "sysdate, null, null, null, '10:00:00', 2, 'X', 'T', 'TIPO', '1');\n"
                          "commit;\n"),
            0);
  session_->SetLogonUsername(u"SYSTEM/manager");
  session_->LogOn();
  q_->SetSQLText(u"SELECT A.*, A.ROWID FROM \r\nv9norvelo.\"INTERFACE_ORCL\" A \r\nWHERE \r\n"
                 u"A.STATUS='A' \r\nand  ROWNUM < 1000");
  q_->Execute();
  ASSERT_EQ(q_->FieldCount(), 14);
  EXPECT_EQ(q_->FieldType(1), otFloat) << "CODIGO: NUMBER without precision";
  EXPECT_EQ(q_->FieldType(3), otDate);
  EXPECT_EQ(q_->FieldSize(2), 500);
  EXPECT_EQ(q_->FieldName(13), u"ROWID");
  ASSERT_FALSE(q_->Eof());
  String rowid = q_->FieldAsString(13);
  EXPECT_EQ(rowid.size(), 18u);
  q_->Next();
  EXPECT_TRUE(q_->Eof()) << "only the pending row";

  TOracleQuery update(nullptr);
  update.SetSession(session_.get());
  update.SetSQLText(u"update v9norvelo.\"INTERFACE_ORCL\" set ERRO = :ERRO where ROWID = :vzo__rowid");
  update.DeclareAndSet(u"ERRO", otString, u"falhou");
  update.DeclareAndSet(u"vzo__rowid", otString, rowid);
  update.Execute();
  EXPECT_EQ(update.RowsProcessed(), 1);
  session_->Commit();

  TOracleQuery check(nullptr);
  check.SetSession(session_.get());
  check.SetSQLText(u"select ERRO from v9norvelo.\"INTERFACE_ORCL\" where CODIGO = 1");
  check.Execute();
  EXPECT_EQ(check.FieldAsString(0), u"falhou");
}

}  // namespace
}  // namespace kavo::test
