// Writing rows: the service's select and update by ROWID, locks between
// sessions, savepoints and Oracle's transaction rules.
#include <cstring>

#include "testkit/oci_client.h"

namespace kavo::test {

namespace {

class DmlTest : public OciTest {
 protected:
  void SetUp() override {
    OciTest::SetUp();
    MustExec(system_, "create user v9norvelo identified by pw");
    MustExec(system_,
             "create table v9norvelo.\"INTERFACE_ORCL\" (ACAO varchar2(1), CODIGO number primary key, "
             "DADOS varchar2(500), DT_H_GRAV date, ERRO varchar2(255), STATUS varchar2(1))");
    for (int i = 1; i <= 5; ++i)
      MustExec(system_, "insert into v9norvelo.interface_orcl (acao, codigo, dados, dt_h_grav, status) values ('I', " +
                            std::to_string(i) + ", 'dados " + std::to_string(i) + "', sysdate, '" +
                            (i == 5 ? "X" : "A") + "')");
    MustExec(system_, "commit");
  }

  // Executes sql with the text binds given as name/value pairs.
  sword Run(Session& s, const std::string& sql, std::vector<std::pair<std::string, std::string*>> binds,
            OCIStmt** keep = nullptr, ub4 iters = 1) {
    OCIStmt* st = nullptr;
    OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
    std::vector<std::vector<char>> bufs;
    for (auto& [name, value] : binds) {
      bufs.emplace_back(501, 0);
      std::memcpy(bufs.back().data(), value->c_str(), value->size());
      OCIBind* b = nullptr;
      EXPECT_EQ(OCIBindByName(st, &b, err_, reinterpret_cast<const OraText*>(name.c_str()), -1, bufs.back().data(),
                              501, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, 0), OCI_SUCCESS) << name;
    }
    sword rc = OCIStmtExecute(s.svc, st, err_, iters, 0, nullptr, nullptr, 0);
    for (size_t i = 0; i < binds.size(); ++i) *binds[i].second = bufs[i].data();
    if (keep) *keep = st;
    else OCIHandleFree(st, OCI_HTYPE_STMT);
    return rc;
  }

  // Runs a query of the interface table bound to a ROWID; the CODIGO of its only
  // row, or "" when it fails or does not give exactly one row.
  std::string CodigoByRowid(Session& s, const std::string& sql, std::string id) {
    OCIStmt* st = nullptr;
    sword rc = Run(s, sql, {{":vzo__rowid", &id}}, &st, 0);
    char codigo[40] = {};
    sb2 ind = 0;
    ub4 count = 0;
    if (rc == OCI_SUCCESS) {
      OCIDefineByPos(st, nullptr, err_, 2, codigo, 40, SQLT_STR, &ind, nullptr, nullptr, 0);
      rc = OCIStmtFetch2(st, err_, 5, OCI_FETCH_NEXT, 0, 0);
      OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_ROW_COUNT, err_);
    }
    EXPECT_EQ(rc, OCI_NO_DATA) << ErrorText();
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return count == 1 ? codigo : "";
  }
};

TEST_F(DmlTest, ServiceSelectAndUpdateByRowid) {
  Session s = Logon("v9norvelo", "pw");
  std::string sql = "SELECT A.*, A.ROWID FROM \nv9norvelo.\"INTERFACE_ORCL\" A \nWHERE \nA.STATUS='A' \nand  ROWNUM < 1000";
  Rows rows = Query(s, sql);
  ASSERT_EQ(rows.size(), 4u);
  ASSERT_EQ(rows[0].size(), 7u);
  std::string rowid = rows[1][6];
  EXPECT_EQ(rowid.size(), 18u);
  EXPECT_EQ(rows[1][1], "2");

  // The edit check, then the post: savepoint, locking select, update returning the ROWID, commit.
  std::string id = rowid;
  EXPECT_EQ(CodigoByRowid(s, "select * from V9NORVELO.INTERFACE_ORCL where rowid = :vzo__rowid", id), "2");
  OCIStmt* st = nullptr;
  ub4 count = 0;

  MustExec(s, "savepoint VZO__LOCKPOINT");
  ASSERT_EQ(Run(s, "select * from V9NORVELO.INTERFACE_ORCL where rowid = :vzo__rowid\nfor update nowait", {{":vzo__rowid", &id}},
                nullptr, 0), OCI_SUCCESS) << ErrorText();
  std::string status = "X";
  ASSERT_EQ(Run(s, "update V9NORVELO.INTERFACE_ORCL\nset STATUS = :v6\nwhere rowid = :vzo__rowid\nreturning rowid into :vzo__rowid",
                {{":v6", &status}, {":vzo__rowid", &id}}, &st), OCI_SUCCESS) << ErrorText();
  OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_ROW_COUNT, err_);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(id, rowid) << "the returned ROWID is the row's own";
  OCIRowid* rid = nullptr;
  OCIDescriptorAlloc(env_, reinterpret_cast<void**>(&rid), OCI_DTYPE_ROWID, 0, nullptr);
  ASSERT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, rid, nullptr, OCI_ATTR_ROWID, err_), OCI_SUCCESS);
  OraText text[19];
  ub2 len = sizeof text;
  ASSERT_EQ(OCIRowidToChar(rid, text, &len, err_), OCI_SUCCESS);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(text), len), rowid);
  OCIDescriptorFree(rid, OCI_DTYPE_ROWID);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  ASSERT_EQ(OCITransCommit(s.svc, err_, 0), OCI_SUCCESS);
  EXPECT_EQ(Query(system_, "select status from v9norvelo.interface_orcl where codigo = 2"), (Rows{{"X"}}));
  EXPECT_EQ(Query(s, sql).size(), 3u);
  // A ROWID stays the row's for its life.
  EXPECT_EQ(Query(s, "select rowid from v9norvelo.interface_orcl where codigo = 2"), (Rows{{rowid}}));
  // A malformed ROWID is refused; another table's ROWID matches nothing.
  std::string bad = "AAA";
  EXPECT_EQ(Run(s, "update v9norvelo.interface_orcl set status = 'A' where rowid = :r", {{":r", &bad}}), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1410);
  Logoff(s);
}

// The row refresh that re-runs the dataset's own select wraps its WHERE clause in
// parentheses; ROWNUM keeps limiting the rows in there.
TEST_F(DmlTest, RownumInsideAParenthesisedWhereClause) {
  Session s = Logon("v9norvelo", "pw");
  Rows ids = Query(s, "select rowid from interface_orcl where codigo = 3");
  ASSERT_EQ(ids.size(), 1u);
  std::string id = ids[0][0];
  EXPECT_EQ(CodigoByRowid(s,
                          "SELECT A.*, A.ROWID FROM \nv9norvelo.\"INTERFACE_ORCL\" A \nWHERE (A.STATUS='A' \nand  "
                          "ROWNUM < 1000)\nand\n(A.rowid = :vzo__rowid)\nfor update of A.ACAO nowait",
                          id),
            "3");
  MustExec(s, "rollback");
  EXPECT_EQ(Query(s, "select codigo from interface_orcl where (status = 'A' and rownum < 3) order by codigo").size(), 2u);
  EXPECT_EQ(Query(s, "select codigo from interface_orcl where ((rownum <= 1)) and status = 'A'").size(), 1u);
  EXPECT_EQ(Query(s, "select count(*) from (select * from interface_orcl where (rownum < 4))"), (Rows{{"3"}}));
  Logoff(s);
}

TEST_F(DmlTest, ReturnedDatesReachTextBindsInTheSessionDateFormat) {
  Session s = Logon("v9norvelo", "pw");
  for (const char* sql :
       {"update interface_orcl set dt_h_grav = to_date('2024-02-29 12:30', 'yyyy-mm-dd hh24:mi') "
        "where codigo = 1 returning dt_h_grav, codigo into :d, :c",
        "begin update interface_orcl set dt_h_grav = to_date('2024-02-29 12:30', 'yyyy-mm-dd hh24:mi') "
        "where codigo = 1 returning dt_h_grav, codigo into :d, :c; end;"}) {
    SCOPED_TRACE(sql);
    std::string d, c;
    ASSERT_EQ(Run(s, sql, {{":d", &d}, {":c", &c}}), OCI_SUCCESS) << ErrorText();
    EXPECT_EQ(d, "29-FEB-24");
    EXPECT_EQ(c, "1");
  }
  MustExec(s, "rollback");
  Logoff(s);
}

TEST_F(DmlTest, LockConflictBetweenTwoSessions) {
  Session a = Logon("v9norvelo", "pw");
  Session b = Logon("v9norvelo", "pw");
  MustExec(a, "select * from interface_orcl where codigo = 1 for update nowait");
  EXPECT_EQ(Exec(b, "select * from interface_orcl where codigo = 1 for update nowait"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 54);
  EXPECT_EQ(ErrorText(), "ORA-00054: resource busy and acquire with NOWAIT specified or timeout expired\n");
  // Writing is refused too (after a short wait), while reading goes on.
  EXPECT_EQ(Exec(b, "update interface_orcl set erro = 'x' where codigo = 1"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 54);
  EXPECT_EQ(Query(b, "select count(*) from interface_orcl").size(), 1u);
  ASSERT_EQ(OCITransRollback(a.svc, err_, 0), OCI_SUCCESS);
  MustExec(b, "select * from interface_orcl where codigo = 1 for update nowait");
  MustExec(b, "commit");
  Logoff(a);
  Logoff(b);
}

TEST_F(DmlTest, UncommittedChangesAreInvisibleAndEndingASessionRollsBack) {
  Session a = Logon("v9norvelo", "pw");
  Session b = Logon("v9norvelo", "pw");
  MustExec(a, "update interface_orcl set erro = 'pending' where codigo = 3");
  EXPECT_EQ(Query(a, "select erro from interface_orcl where codigo = 3"), (Rows{{"pending"}}));
  EXPECT_EQ(Query(b, "select erro from interface_orcl where codigo = 3"), (Rows{{"<null>"}}));
  Rows txid = Query(a, "select sys.dbms_transaction.local_transaction_id from dual");
  EXPECT_NE(txid[0][0], "<null>");
  Logoff(a);  // no commit
  EXPECT_EQ(Query(b, "select erro from interface_orcl where codigo = 3"), (Rows{{"<null>"}}));
  MustExec(b, "update interface_orcl set erro = 'done' where codigo = 3");
  ASSERT_EQ(Exec(b, "update interface_orcl set erro = 'twice' where codigo = 4", nullptr, OCI_COMMIT_ON_SUCCESS), OCI_SUCCESS);
  EXPECT_EQ(Query(system_, "select erro from v9norvelo.interface_orcl where codigo in (3, 4) order by codigo"),
            (Rows{{"done"}, {"twice"}}));
  Logoff(b);
}

// Ending the transaction releases the locks of a FOR UPDATE cursor, so Oracle
// refuses to fetch more from it; a plain cursor reads on.
TEST_F(DmlTest, ALockingCursorCannotFetchAfterTheTransactionEnds) {
  Session s = Logon("v9norvelo", "pw");
  for (bool commit : {true, false}) {
    SCOPED_TRACE(commit ? "commit" : "rollback");
    for (const char* sql : {"select codigo from interface_orcl order by codigo for update",
                            "select codigo from interface_orcl order by codigo"}) {
      SCOPED_TRACE(sql);
      OCIStmt* st = nullptr;
      ASSERT_EQ(Exec(s, sql, &st), OCI_SUCCESS) << ErrorText();
      sb4 codigo = 0;
      sb2 ind = 0;
      OCIDefineByPos(st, nullptr, err_, 1, &codigo, 4, SQLT_INT, &ind, nullptr, nullptr, 0);
      EXPECT_EQ(OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS);
      EXPECT_EQ(OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS) << "still in the transaction";
      EXPECT_EQ(commit ? OCITransCommit(s.svc, err_, 0) : OCITransRollback(s.svc, err_, 0), OCI_SUCCESS);
      sword rc = OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0);
      if (std::string(sql).find("for update") != std::string::npos) {
        EXPECT_EQ(rc, OCI_ERROR);
        EXPECT_EQ(ErrorText(), "ORA-01002: fetch out of sequence\n");
      } else {
        EXPECT_EQ(rc, OCI_SUCCESS) << ErrorText();
        EXPECT_EQ(codigo, 3);
      }
      OCIHandleFree(st, OCI_HTYPE_STMT);
    }
  }
  Logoff(s);
}

TEST_F(DmlTest, SavepointsUndoOnlyLaterWork) {
  Session s = Logon("v9norvelo", "pw");
  MustExec(s, "update interface_orcl set erro = 'first' where codigo = 1");
  MustExec(s, "savepoint VZO__LOCKPOINT");
  MustExec(s, "update interface_orcl set erro = 'second' where codigo = 2");
  MustExec(s, "rollback to savepoint VZO__LOCKPOINT");
  MustExec(s, "savepoint VZO__LOCKPOINT");
  MustExec(s, "rollback to VZO__LOCKPOINT");  // a savepoint survives being rolled back to
  EXPECT_EQ(Exec(s, "rollback to savepoint NEVER_SET"), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-01086: savepoint 'NEVER_SET' never established in this session or is invalid\n");
  MustExec(s, "commit");
  EXPECT_EQ(Query(s, "select codigo, erro from interface_orcl where erro is not null"), (Rows{{"1", "first"}}));
  Logoff(s);
}

TEST_F(DmlTest, SavepointTakesNoLockAndIsPlacedByTheFirstChange) {
  Session a = Logon("v9norvelo", "pw");
  Session b = Logon("v9norvelo", "pw");
  MustExec(a, "savepoint VZO__LOCKPOINT");
  // Another session may still change rows.
  MustExec(b, "update interface_orcl set erro = 'b' where codigo = 1");
  MustExec(b, "commit");
  // The first change of `a` begins its transaction after the savepoint.
  MustExec(a, "update interface_orcl set erro = 'a' where codigo = 2");
  MustExec(a, "rollback to savepoint VZO__LOCKPOINT");
  // Nothing of `a` is left to hold a lock; its savepoint stays.
  MustExec(b, "update interface_orcl set erro = 'b2' where codigo = 3");
  MustExec(b, "rollback");
  MustExec(a, "rollback to savepoint VZO__LOCKPOINT");
  MustExec(a, "commit");
  EXPECT_EQ(Query(a, "select codigo, erro from interface_orcl where erro is not null"), (Rows{{"1", "b"}}));
  // Rolled back to with nothing changed: nothing to undo, and later
  // savepoints are gone.
  MustExec(a, "savepoint P1");
  MustExec(a, "savepoint P2");
  MustExec(a, "rollback to savepoint P1");
  EXPECT_EQ(Exec(a, "rollback to savepoint P2"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1086);
  MustExec(a, "commit");
  EXPECT_EQ(Exec(a, "rollback to savepoint P1"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1086);
  Logoff(b);
  Logoff(a);
}

TEST_F(DmlTest, StatementsAreAtomicAndConstraintsNameThemselves) {
  Session s = Logon("v9norvelo", "pw");
  // The fifth row collides with an existing key: none of the copied rows stay.
  EXPECT_EQ(Exec(s, "insert into interface_orcl (codigo, status) select codigo + 3, 'N' from interface_orcl"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1);
  EXPECT_NE(ErrorText().find("ORA-00001: unique constraint (V9NORVELO.SYS_C"), std::string::npos) << ErrorText();
  EXPECT_EQ(Query(s, "select count(*) from interface_orcl"), (Rows{{"5"}}));
  EXPECT_EQ(Exec(s, "insert into interface_orcl (codigo, acao) values (10, 'TOO LONG')"), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-12899: value too large for column \"V9NORVELO\".\"INTERFACE_ORCL\".\"ACAO\" (actual: 8, maximum: 1)\n");
  // Array insert: three elements in one execute.
  OCIStmt* st = nullptr;
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
  std::string sql = "insert into interface_orcl (codigo, dados) values (:c, :d)";
  OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
  int codes[3] = {20, 21, 22};
  char dados[3][8] = {"x", "y", "z"};
  OCIBindByPos(st, nullptr, err_, 1, codes, sizeof(int), SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, 0);
  OCIBindByPos(st, nullptr, err_, 2, dados, 8, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, 0);
  ASSERT_EQ(OCIStmtExecute(s.svc, st, err_, 3, 0, nullptr, nullptr, 0), OCI_SUCCESS) << ErrorText();
  ub4 count = 0;
  OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_ROW_COUNT, err_);
  EXPECT_EQ(count, 3u);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  EXPECT_EQ(Query(s, "select dados from interface_orcl where codigo >= 20 order by codigo"), (Rows{{"x"}, {"y"}, {"z"}}));
  MustExec(s, "rollback");
  Logoff(s);
}

// Without batch errors, an array execute stops at the first failing element: the
// elements before it stay in the transaction and in the row count, the failing one
// leaves nothing behind, and the client may go on from the next element.
TEST_F(DmlTest, ArrayDmlStopsAtAFailingElementAndKeepsTheOnesBefore) {
  Session s = Logon("v9norvelo", "pw");
  OCIStmt* st = nullptr;
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
  std::string sql = "insert into interface_orcl (codigo, dados) values (:c, :d)";
  OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
  int codes[6] = {10, 11, 3, 12, 13, 14};  // 3 is already there
  char dados[6][8] = {"a", "b", "c", "d", "e", "f"};
  OCIBindByPos(st, nullptr, err_, 1, codes, sizeof(int), SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, 0);
  OCIBindByPos(st, nullptr, err_, 2, dados, 8, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, 0);
  EXPECT_EQ(OCIStmtExecute(s.svc, st, err_, 6, 0, nullptr, nullptr, 0), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1);
  ub4 count = 99;
  OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_ROW_COUNT, err_);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(Query(s, "select codigo, dados from interface_orcl where codigo >= 10 order by codigo"),
            (Rows{{"10", "a"}, {"11", "b"}}));
  EXPECT_EQ(Query(s, "select dados from interface_orcl where codigo = 3"), (Rows{{"dados 3"}}));
  EXPECT_EQ(Query(system_, "select count(*) from v9norvelo.interface_orcl"), (Rows{{"5"}}))
      << "still uncommitted";
  // On from the element after the failing one.
  ASSERT_EQ(OCIStmtExecute(s.svc, st, err_, 6, 3, nullptr, nullptr, 0), OCI_SUCCESS) << ErrorText();
  OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_ROW_COUNT, err_);
  EXPECT_EQ(count, 3u);
  // A failing first element leaves nothing and counts nothing.
  EXPECT_EQ(OCIStmtExecute(s.svc, st, err_, 6, 0, nullptr, nullptr, 0), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1);
  OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_ROW_COUNT, err_);
  EXPECT_EQ(count, 0u);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  ASSERT_EQ(OCITransCommit(s.svc, err_, 0), OCI_SUCCESS);
  EXPECT_EQ(Query(system_, "select codigo from v9norvelo.interface_orcl where codigo >= 10 order by codigo"),
            (Rows{{"10"}, {"11"}, {"12"}, {"13"}, {"14"}}));

  // An element that changes several rows and fails on its second one is undone
  // whole; the element before it stays, and rollback undoes that one too.
  MustExec(s, "create table grp (id number primary key, g number, n number(3))");
  MustExec(s, "insert into grp values (1, 1, 10)");
  MustExec(s, "insert into grp values (2, 2, 10)");
  MustExec(s, "insert into grp values (3, 2, 200)");
  MustExec(s, "commit");
  sql = "update grp set n = n * :f where g = :g";
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
  OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
  int factors[3] = {2, 6, 3}, groups[3] = {1, 2, 1};
  OCIBindByName(st, nullptr, err_, reinterpret_cast<const OraText*>(":f"), -1, factors, sizeof(int), SQLT_INT,
                nullptr, nullptr, nullptr, 0, nullptr, 0);
  OCIBindByName(st, nullptr, err_, reinterpret_cast<const OraText*>(":g"), -1, groups, sizeof(int), SQLT_INT,
                nullptr, nullptr, nullptr, 0, nullptr, 0);
  EXPECT_EQ(OCIStmtExecute(s.svc, st, err_, 3, 0, nullptr, nullptr, 0), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1438);
  OCIAttrGet(st, OCI_HTYPE_STMT, &count, nullptr, OCI_ATTR_ROW_COUNT, err_);
  EXPECT_EQ(count, 1u);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  EXPECT_EQ(Query(s, "select n from grp order by id"), (Rows{{"20"}, {"10"}, {"200"}}));
  MustExec(s, "rollback");
  EXPECT_EQ(Query(s, "select n from grp order by id"), (Rows{{"10"}, {"10"}, {"200"}}));
  Logoff(s);
}

}  // namespace
}  // namespace kavo::test
