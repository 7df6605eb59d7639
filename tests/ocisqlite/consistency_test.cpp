// Read consistency: a query sees the store as of its start, whatever its own or
// another session changes and commits while the query's cursor is open.
#include <memory>
#include <string>
#include <vector>

#include "testkit/oci_client.h"

namespace kavo::test {

namespace {

// One open query of (integer, text) rows, fetched a row at a time. The defines
// point into it: it stays where Open made it.
struct Cursor {
  Cursor() = default;
  Cursor(const Cursor&) = delete;
  Cursor& operator=(const Cursor&) = delete;
  ~Cursor() {
    if (st) OCIHandleFree(st, OCI_HTYPE_STMT);
  }

  OCIStmt* st = nullptr;
  sb4 number = 0;
  char text[21] = {};
  sb2 number_ind = 0, text_ind = 0;
};

class ConsistencyTest : public OciTest {
 protected:
  static constexpr int kRows = 60;

  void SetUp() override {
    OciTest::SetUp();
    MustExec(system_, "create user kavo identified by pw");
    MustExec(system_, "create table kavo.fila (ordem number(9) primary key, status varchar2(1), erro varchar2(20))");
    MustExec(system_, "create index kavo.fila_status on kavo.fila (status, ordem)");
    for (int i = 1; i <= kRows; ++i)
      MustExec(system_, "insert into kavo.fila values (" + std::to_string(i * 10) + ", 'P', null)");
    MustExec(system_, "commit");
  }

  // Opens a query whose first column is a number and whose second (if any) is text.
  std::unique_ptr<Cursor> Open(Session& s, const std::string& sql) {
    auto c = std::make_unique<Cursor>();
    EXPECT_EQ(Exec(s, sql, &c->st), OCI_SUCCESS) << sql << "\n" << ErrorText();
    OCIDefineByPos(c->st, nullptr, err_, 1, &c->number, 4, SQLT_INT, &c->number_ind, nullptr, nullptr, 0);
    ub4 n = 0;
    OCIAttrGet(c->st, OCI_HTYPE_STMT, &n, nullptr, OCI_ATTR_PARAM_COUNT, err_);
    if (n > 1)
      OCIDefineByPos(c->st, nullptr, err_, 2, c->text, sizeof c->text, SQLT_STR, &c->text_ind, nullptr, nullptr, 0);
    return c;
  }

  // The next row; false at the end or on an error (reported).
  bool Next(Cursor& c) {
    sword rc = OCIStmtFetch2(c.st, err_, 1, OCI_FETCH_NEXT, 0, 0);
    if (rc == OCI_NO_DATA) return false;
    EXPECT_EQ(rc, OCI_SUCCESS) << ErrorText();
    return rc == OCI_SUCCESS;
  }

  static std::string Text(const Cursor& c) { return c.text_ind == -1 ? "<null>" : c.text; }

  static std::vector<int> AllOrdens() {
    std::vector<int> v;
    for (int i = 1; i <= kRows; ++i) v.push_back(i * 10);
    return v;
  }
};

// The service's loop: read the pending rows in order and mark each one as it goes.
// Each update moves the row forward in the index the cursor walks; the cursor must
// still give every row once, with its values as of the open.
TEST_F(ConsistencyTest, ACursorGivesEachRowOnceWhileItsOwnSessionMovesTheRows) {
  struct Case {
    const char* name;
    const char* before;  // run before the open: the cursor starts inside a transaction
    const char* query;
    bool commit_each;
  } cases[] = {
      {"commit after each row", nullptr, "select ordem from fila where status = 'P' order by ordem", true},
      {"one transaction", "update fila set erro = 'open' where ordem = 10",
       "select ordem from fila where status = 'P' order by ordem", false},
      {"locking cursor", nullptr, "select ordem from fila where status = 'P' order by ordem for update", false},
  };
  Session s = Logon("kavo", "pw");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.before) MustExec(s, c.before);
    std::unique_ptr<Cursor> cur = Open(s, c.query);
    std::vector<int> seen;
    while (seen.size() <= 3 * kRows && Next(*cur)) {
      seen.push_back(cur->number);
      MustExec(s, "update fila set ordem = ordem + 1000 where ordem = " + std::to_string(cur->number));
      if (c.commit_each) MustExec(s, "commit");
    }
    EXPECT_EQ(seen, AllOrdens());
    cur.reset();
    MustExec(s, "commit");
    EXPECT_EQ(Query(s, "select count(*), min(ordem) from fila"), (Rows{{"60", "1010"}}));
    MustExec(s, "update fila set ordem = ordem - 1000, erro = null");
    MustExec(s, "commit");
  }
  Logoff(s);
}

// Another session commits while A's cursor is open: A's next statements see the
// commit and may lock and change the committed row; the open cursor goes on as of
// its start. (A locking query that fails takes no lock: B can still write.)
TEST_F(ConsistencyTest, OtherSessionsCommitsReachNewStatementsButNotAnOpenCursor) {
  Session a = Logon("kavo", "pw");
  Session b = Logon("kavo", "pw");
  EXPECT_EQ(Exec(a, "select nosuch from fila for update nowait"), OCI_ERROR);
  std::unique_ptr<Cursor> cur = Open(a, "select ordem, nvl(erro, '-') from fila order by ordem");
  ASSERT_TRUE(Next(*cur));
  EXPECT_EQ(cur->number, 10);

  EXPECT_EQ(Exec(b, "update fila set erro = 'by b' where ordem = 20", nullptr, OCI_COMMIT_ON_SUCCESS), OCI_SUCCESS);
  MustExec(b, "insert into fila values (9999, 'P', 'new')");
  MustExec(b, "commit");

  EXPECT_EQ(Query(a, "select erro from fila where ordem = 20"), (Rows{{"by b"}}));
  EXPECT_EQ(Query(a, "select count(*) from fila"), (Rows{{"61"}}));
  EXPECT_EQ(Exec(a, "select ordem from fila where ordem = 20 for update nowait"), OCI_SUCCESS) << ErrorText();
  EXPECT_EQ(Exec(a, "update fila set erro = 'by a' where ordem = 20"), OCI_SUCCESS) << ErrorText();
  // While A holds its lock, B waits in vain.
  EXPECT_EQ(Exec(b, "select ordem from fila where ordem = 30 for update nowait"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 54);
  MustExec(a, "commit");

  std::vector<int> ordens{10};
  std::string erro_of_20;
  while (ordens.size() <= kRows && Next(*cur)) {
    ordens.push_back(cur->number);
    if (cur->number == 20) erro_of_20 = Text(*cur);
  }
  EXPECT_EQ(ordens, AllOrdens()) << "the row B inserted is not in A's cursor";
  EXPECT_EQ(erro_of_20, "-") << "nor B's or A's change of row 20";
  cur.reset();
  EXPECT_EQ(Query(b, "select erro from fila where ordem = 20"), (Rows{{"by a"}}));
  Logoff(a);
  Logoff(b);
}

// Inside a transaction a query sees the session's own changes made before it
// started, not those made while it is open; other sessions see none of them.
TEST_F(ConsistencyTest, AQueryInATransactionSeesOwnChangesMadeBeforeItsStart) {
  Session a = Logon("kavo", "pw");
  Session b = Logon("kavo", "pw");
  MustExec(a, "update fila set erro = 'before' where ordem = 10");
  std::unique_ptr<Cursor> cur = Open(a, "select ordem, erro from fila where ordem <= 30 order by ordem");
  ASSERT_TRUE(Next(*cur));
  EXPECT_EQ(Text(*cur), "before");
  MustExec(a, "update fila set erro = 'after' where ordem = 20");
  MustExec(a, "delete from fila where ordem = 30");
  ASSERT_TRUE(Next(*cur));
  EXPECT_EQ(cur->number, 20);
  EXPECT_EQ(Text(*cur), "<null>");
  ASSERT_TRUE(Next(*cur));
  EXPECT_EQ(cur->number, 30) << "a row deleted after the open is still in the cursor";
  EXPECT_FALSE(Next(*cur));
  cur.reset();
  EXPECT_EQ(Query(a, "select erro from fila where ordem in (10, 20) order by ordem"), (Rows{{"before"}, {"after"}}));
  EXPECT_EQ(Query(b, "select count(*) from fila where erro is not null"), (Rows{{"0"}}));
  MustExec(a, "rollback");
  Logoff(a);
  Logoff(b);
}

// A row that cannot be produced fails the fetch that reaches it, not the open,
// whether the cursor steps through a snapshot or read its rows at the open.
TEST_F(ConsistencyTest, ARowThatFailsFailsTheFetchThatReachesIt) {
  Session s = Logon("kavo", "pw");
  MustExec(s, "update fila set erro = to_char(ordem) where ordem <= 20");
  MustExec(s, "update fila set erro = 'not a number' where ordem = 30");
  for (bool in_transaction : {false, true}) {
    SCOPED_TRACE(in_transaction ? "inside a transaction" : "outside a transaction");
    if (in_transaction) MustExec(s, "update fila set status = 'Q' where ordem = 600");
    else MustExec(s, "commit");
    std::unique_ptr<Cursor> cur = Open(s, "select to_number(erro) from fila where ordem <= 40 order by ordem");
    ASSERT_TRUE(Next(*cur));
    EXPECT_EQ(cur->number, 10);
    ASSERT_TRUE(Next(*cur));
    EXPECT_EQ(cur->number, 20);
    EXPECT_EQ(OCIStmtFetch2(cur->st, err_, 1, OCI_FETCH_NEXT, 0, 0), OCI_ERROR);
    EXPECT_EQ(ErrorText(), "ORA-01722: invalid number\n");
  }
  MustExec(s, "rollback");
  Logoff(s);
}

// Cursors left open by a session do not hold up its later work, and many may be
// open at once (more than the session keeps connections for), each at its own
// point in time.
TEST_F(ConsistencyTest, ManyOpenCursorsEachKeepTheirOwnPointInTime) {
  constexpr int kCursors = 40;
  Session a = Logon("kavo", "pw");
  std::vector<std::unique_ptr<Cursor>> cursors;
  for (int k = 0; k < kCursors; ++k) {
    cursors.push_back(Open(a, "select ordem from fila order by ordem"));
    MustExec(a, "insert into fila values (" + std::to_string(10000 + k) + ", 'N', null)");
    MustExec(a, "commit");
  }
  for (int k = 0; k < kCursors; ++k) {
    SCOPED_TRACE(k);
    int rows = 0;
    while (rows <= kRows + kCursors && Next(*cursors[k])) ++rows;
    EXPECT_EQ(rows, kRows + k);
    cursors[k].reset();
  }
  EXPECT_EQ(Query(a, "select count(*) from fila"), (Rows{{std::to_string(kRows + kCursors)}}));
  Logoff(a);
}

}  // namespace
}  // namespace kavo::test
