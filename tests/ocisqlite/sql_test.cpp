// Oracle SQL shapes beyond the service's own: joins, subqueries, grouping,
// format models, DDL effects, external text forms and array defines.
#include <cstring>

#include "testkit/oci_client.h"

namespace kavo::test {

namespace {

class SqlTest : public OciTest {
 protected:
  void SetUp() override {
    OciTest::SetUp();
    MustExec(system_, "create table dept (deptno number(2) primary key, dname varchar2(14))");
    MustExec(system_, "create table emp (empno number(4) primary key, ename varchar2(10), deptno number(2) references dept, sal number(7,2))");
    MustExec(system_, "insert into dept values (10, 'ACCOUNTING')");
    MustExec(system_, "insert into dept values (20, 'RESEARCH')");
    MustExec(system_, "insert into dept values (30, 'SALES')");
    MustExec(system_, "insert into emp values (7369, 'SMITH', 20, 800)");
    MustExec(system_, "insert into emp values (7499, 'ALLEN', 30, 1600)");
    MustExec(system_, "insert into emp values (7521, 'WARD', 30, 1250)");
    MustExec(system_, "insert into emp values (7839, 'KING', 10, 5000)");
    MustExec(system_, "commit");
  }
};

TEST_F(SqlTest, JoinsSubqueriesAndGrouping) {
  EXPECT_EQ(Query(system_, "select e.ename, d.dname from emp e, dept d where e.deptno = d.deptno and d.deptno = 10"),
            (Rows{{"KING", "ACCOUNTING"}}));
  EXPECT_EQ(Query(system_, "select e.ename from emp e join dept d on e.deptno = d.deptno where d.dname = 'SALES' order by e.ename"),
            (Rows{{"ALLEN"}, {"WARD"}}));
  EXPECT_EQ(Query(system_, "select dname from dept d where not exists (select 1 from emp where deptno = d.deptno)"),
            Rows{});
  EXPECT_EQ(Query(system_, "select deptno, count(*), sum(sal) from emp group by deptno having count(*) > 1"),
            (Rows{{"30", "2", "2850"}}));
  EXPECT_EQ(Query(system_, "select ename from emp where deptno in (select deptno from dept where dname like 'R%')"),
            (Rows{{"SMITH"}}));
  EXPECT_EQ(Query(system_, "select system.emp.ename from system.emp where empno = 7839"), (Rows{{"KING"}}));
  EXPECT_EQ(Query(system_, "select rownum, ename from emp where sal > 1000 order by empno"),
            (Rows{{"1", "ALLEN"}, {"2", "WARD"}, {"3", "KING"}}));
  EXPECT_EQ(Query(system_, "select * from (select ename from emp order by sal desc) where rownum <= 2"),
            (Rows{{"KING"}, {"ALLEN"}}));
  EXPECT_EQ(Query(system_, "select case when sal >= 1600 then 'high' else 'low' end from emp where empno in (7369, 7499) order by empno"),
            (Rows{{"low"}, {"high"}}));
  EXPECT_EQ(Query(system_, "select nvl(max(sal), 0) + 1 from emp where deptno = 99"), (Rows{{"1"}}));
}

// Number format models: a sign position in front, rounding on the decimals,
// zero padding from the leftmost 0, group separators only between digits, '#'
// when the value does not fit, and FM trimming the blanks and optional zeros.
// SUBSTR counts characters, as LENGTH does: text is AL32UTF8, so a character may
// take several bytes and is never cut.
TEST_F(SqlTest, SubstrCountsCharactersNotBytes) {
  EXPECT_EQ(Query(system_,
                  "select substr('a\xc3\xa7\xc3\xa3o', 2, 2), substr('a\xc3\xa7\xc3\xa3o', -2), "
                  "substr('a\xc3\xa7\xc3\xa3o', 4), substr('a\xc3\xa7\xc3\xa3o', 5), "
                  "length(substr('a\xc3\xa7\xc3\xa3o', 2)) from dual"),
            (Rows{{"\xc3\xa7\xc3\xa3", "\xc3\xa3o", "o", "<null>", "3"}}));
}

TEST_F(SqlTest, NumberFormatModels) {
  struct { const char* expr; const char* want; } cases[] = {
      {"to_char(123.456, '999.99')", " 123.46"},   {"to_char(5, '000')", " 005"},
      {"to_char(1234567, '9,999,999')", " 1,234,567"}, {"to_char(12, '9,999')", "    12"},
      {"to_char(-5, '999')", "  -5"},             {"to_char(1234, '99')", "###"},
      {"to_char(0.5, '990.99')", "   0.50"},       {"to_char(0.5, '999.99')", "    .50"},
      {"to_char(0, '999')", "   0"},               {"to_char(1.005, '9.99')", " 1.01"},
      {"to_char(1.5, 'FM9990.00')", "1.50"},
      {"to_char(42, 'fm999')", "42"},              {"to_char(-1234.5, 'FM9G999D99')", "-1,234.5"},
      {"to_char(7, '0999')", " 0007"},             {"to_char(1.5, 'FM9.99')", "1.5"}};
  for (const auto& c : cases)
    EXPECT_EQ(Query(system_, std::string("select ") + c.expr + " from dual"), (Rows{{c.want}})) << c.expr;
  EXPECT_EQ(Exec(system_, "select to_char(1, '9x9') from dual"), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-01481: invalid number format model\n");
}

TEST_F(SqlTest, DateFormatModels) {
  // The layer's date format length probe: the longest of twelve values.
  std::string sql;
  for (int m = 1; m <= 12; ++m) {
    if (m > 1) sql += "\nunion all\n";
    sql += "select to_char(to_date('10-" + std::to_string(m) + "-1999 10:10:10', 'dd-mm-yyyy hh24:mi:ss')) from dual";
  }
  Rows months = Query(system_, sql);
  ASSERT_EQ(months.size(), 12u);
  EXPECT_EQ(months[0][0], "10-JAN-99");
  EXPECT_EQ(months[8][0], "10-SEP-99");
  struct { const char* expr; const char* want; } cases[] = {
      {"to_char(to_date('2024-07-04 15:05:09', 'yyyy-mm-dd hh24:mi:ss'), 'DD/MM/YYYY HH12:MI:SS PM')", "04/07/2024 03:05:09 PM"},
      {"to_char(to_date('2024-07-04', 'yyyy-mm-dd'), 'Day, DD Month YYYY')", "Thursday , 04 July      2024"},
      {"to_char(to_date('2024-07-04', 'yyyy-mm-dd'), 'fmDay, DD Month YYYY')", "Thursday, 4 July 2024"},
      {"to_char(to_date('2024-07-04', 'yyyy-mm-dd'), 'Dy mon YY \"week\" D')", "Thu jul 24 week 5"},
      {"to_char(to_date('05-MAR-49', 'DD-MON-RR'), 'YYYY')", "2049"},
      {"to_char(to_date('05-MAR-50', 'DD-MON-RR'), 'YYYY')", "1950"},
      {"to_char(to_date('2451545', 'J'), 'YYYY-MM-DD')", "2000-01-01"},
      {"to_char(to_date('2000-01-01', 'yyyy-mm-dd'), 'J')", "2451545"},
      {"to_char(trunc(to_date('2024-07-04 15:05', 'yyyy-mm-dd hh24:mi')), 'hh24:mi')", "00:00"},
  };
  for (auto& c : cases) EXPECT_EQ(Query(system_, std::string("select ") + c.expr + " from dual"), (Rows{{c.want}})) << c.expr;
  struct { const char* text; const char* fmt; int code; } bad[] = {
      {"2024-13-01", "yyyy-mm-dd", 1843},  {"2024-02-30", "yyyy-mm-dd", 1847},
      {"2024-01-01 extra", "yyyy-mm-dd", 1830}, {"xx-01-01", "yyyy-mm-dd", 1858},
      {"2024-01-01", "yyyy-qq-dd", 1821}, {"2024-01-01 24:00", "yyyy-mm-dd hh24:mi", 1850},
      {"2024-01-01 13:00", "yyyy-mm-dd hh:mi", 1849}, {"2024-01-01 10:60", "yyyy-mm-dd hh24:mi", 1851},
      {"2024-01-01 10:10:60", "yyyy-mm-dd hh24:mi:ss", 1852}, {"0000-01-01", "yyyy-mm-dd", 1841}};
  for (auto& b : bad) {
    EXPECT_EQ(Exec(system_, std::string("select to_date('") + b.text + "', '" + b.fmt + "') from dual"), OCI_ERROR) << b.text;
    EXPECT_EQ(ErrorCode(), b.code) << b.text;
  }
}

// Text shaped like a stored date stays text in a concatenation: only a DATE
// operand takes NLS_DATE_FORMAT.
TEST_F(SqlTest, ConcatenationKeepsTextThatLooksLikeADate) {
  MustExec(system_, "create table cat (d date, v varchar2(19))");
  MustExec(system_, "insert into cat values (to_date('2024-07-04 15:05:09', 'yyyy-mm-dd hh24:mi:ss'), '2024-07-04 15:05:09')");
  struct { const char* expr; const char* want; } cases[] = {
      {"'a' || to_char(d, 'yyyy-mm-dd hh24:mi:ss') || 'b'", "a2024-07-04 15:05:09b"},
      {"to_char(d, 'yyyy-mm-dd hh24:mi:ss') || 'b'", "2024-07-04 15:05:09b"},
      {"'2024-07-04 15:05:09' || 'x'", "2024-07-04 15:05:09x"},
      {"v || '|' || d", "2024-07-04 15:05:09|04-JUL-24"},
      {"d || '|' || (d + 1)", "04-JUL-24|05-JUL-24"},
      {"'<' || nvl(v, 'x') || '>'", "<2024-07-04 15:05:09>"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Query(system_, std::string("select ") + c.expr + " from cat"), (Rows{{c.want}})) << c.expr;
}

// What clients' set-up scripts ask: padding in characters, the session's
// context, timestamps with fractions, and DUMP's bytes as Oracle holds them.
TEST_F(SqlTest, PaddingContextTimestampsAndDump) {
  struct { const char* expr; const char* want; } cases[] = {
      {"lpad('ab', 5, 'xy')", "xyxab"},            {"rpad('\xc3\xa7" "a', 4, '*')", "\xc3\xa7" "a**"},
      {"lpad('abcdef', 3)", "abc"},                {"rpad('x', 0)", "<null>"},
      {"sys_context('USERENV', 'SESSION_USER')", "SYSTEM"},
      {"sys_context('userenv', 'current_schema')", "SYSTEM"},
      {"to_char(to_timestamp('2024-07-04 15:05:09.1234', 'yyyy-mm-dd hh24:mi:ss.ff'))", "04-JUL-24 03.05.09.123400 PM"},
      {"dump('abc')", "Typ=1 Len=3: 97,98,99"},   {"dump(123.45)", "Typ=2 Len=4: 194,2,24,46"},
      {"dump(-1)", "Typ=2 Len=3: 62,100,102"},
      {"dump(to_date('2024-07-04', 'yyyy-mm-dd'))", "Typ=12 Len=7: 120,124,7,4,1,1,1"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Query(system_, std::string("select ") + c.expr + " from dual"), (Rows{{c.want}})) << c.expr;
  EXPECT_EQ(Exec(system_, "select sys_context('USERENV', 'NO_SUCH') from dual"), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-02003: invalid USERENV parameter\n");
}

// EXECUTE IMMEDIATE of a text built in the block; its error reaches the
// block's handler or, unhandled, the client.
TEST_F(SqlTest, ExecuteImmediateInABlock) {
  MustExec(system_, "begin execute immediate 'create table imm (a number)'; "
                    "execute immediate 'insert into imm values (' || '42' || ')'; end;");
  EXPECT_EQ(Query(system_, "select a from imm"), (Rows{{"42"}}));
  MustExec(system_, "begin execute immediate 'drop table no_such'; exception when others then null; end;");
  EXPECT_EQ(Exec(system_, "begin execute immediate 'drop table no_such'; end;"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 942);
  EXPECT_EQ(Exec(system_, "begin execute immediate 'selec 1'; end;"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 900);
}

TEST_F(SqlTest, ValuesTakeTheirColumnsTypes) {
  MustExec(system_, "create table conv (d date, n number, r raw(4), v varchar2(10))");
  MustExec(system_, "insert into conv values ('05-MAR-24', '12.50', 'c0ffee', 7)");
  EXPECT_EQ(Query(system_, "select to_char(d, 'YYYY-MM-DD'), n, r, v from conv"),
            (Rows{{"2024-03-05", "12.5", "C0FFEE", "7"}}));
  MustExec(system_, "update conv set d = '06-MAR-24', n = ' 3 ', r = null");
  EXPECT_EQ(Query(system_, "select to_char(d, 'DD'), n, r from conv where d > to_date('2024-03-05', 'yyyy-mm-dd')"),
            (Rows{{"06", "3", "<null>"}}));
  EXPECT_EQ(Exec(system_, "insert into conv (d) values ('2024/03/05')"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1843);
  EXPECT_EQ(Exec(system_, "insert into conv (n) values ('twelve')"), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-01722: invalid number\n");
  EXPECT_EQ(Exec(system_, "update conv set r = 'xyz'"), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-01465: invalid hex number\n");
  EXPECT_EQ(Exec(system_, "insert into conv (n) values (1, 2)"), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-00913: too many values\n");
  EXPECT_EQ(Exec(system_, "insert into conv values (null, 1)"), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-00947: not enough values\n");
}

TEST_F(SqlTest, DdlCommitsAndDropsObjects) {
  Session other = Logon("system", "manager");
  MustExec(system_, "update emp set sal = sal + 1 where empno = 7839");
  EXPECT_EQ(Query(other, "select sal from emp where empno = 7839"), (Rows{{"5000"}}));
  MustExec(system_, "create table scratch (a number)");  // commits the update first
  EXPECT_EQ(Query(other, "select sal from emp where empno = 7839"), (Rows{{"5001"}}));
  MustExec(system_, "insert into scratch values (1)");
  MustExec(system_, "truncate table scratch");
  EXPECT_EQ(Query(system_, "select count(*) from scratch"), (Rows{{"0"}}));
  MustExec(system_, "create index emp_name on emp (ename)");
  MustExec(system_, "drop table scratch");
  EXPECT_EQ(Exec(system_, "select * from scratch"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 942);
  EXPECT_EQ(Exec(system_, "drop table scratch"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 942);
  EXPECT_EQ(Query(system_, "select count(*) from user_tables where table_name = 'SCRATCH'"), (Rows{{"0"}}));
  EXPECT_EQ(Exec(system_, "create table bad (a varchar2)"), OCI_ERROR);
  EXPECT_EQ(Exec(system_, "create table bad (a bfile)"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 3001);
  MustExec(system_, "create user gone identified by x");
  MustExec(system_, "create table gone.t (a number)");
  EXPECT_EQ(Exec(system_, "drop user gone"), OCI_ERROR);
  MustExec(system_, "drop user gone cascade");
  EXPECT_EQ(Query(system_, "select count(*) from all_tables where owner = 'GONE'"), (Rows{{"0"}}));
  Logoff(other);
}

TEST_F(SqlTest, CharFormsAndArrayOfStructDefines) {
  OCIStmt* st = nullptr;
  ASSERT_EQ(Exec(system_, "select ename, empno from emp order by empno", &st), OCI_SUCCESS);
  struct Row {
    char afc[8];
    char avc[8];
    int empno;
    sb2 ind;
    ub2 len;
  } rows[3];
  std::memset(rows, 'z', sizeof rows);
  OCIDefine* d1 = nullptr;
  OCIDefine* d2 = nullptr;
  OCIDefine* d3 = nullptr;
  OCIDefineByPos(st, &d1, err_, 1, rows[0].afc, 8, SQLT_AFC, &rows[0].ind, &rows[0].len, nullptr, 0);
  OCIDefineArrayOfStruct(d1, err_, sizeof(Row), sizeof(Row), sizeof(Row), 0);
  OCIDefineByPos(st, &d2, err_, 1, rows[0].avc, 8, SQLT_AVC, nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(d2, d1) << "a second define of a position replaces the first";
  OCIDefineByPos(st, &d2, err_, 1, rows[0].afc, 8, SQLT_AFC, &rows[0].ind, &rows[0].len, nullptr, 0);
  OCIDefineArrayOfStruct(d2, err_, sizeof(Row), sizeof(Row), sizeof(Row), 0);
  OCIDefineByPos(st, &d3, err_, 2, &rows[0].empno, sizeof(int), SQLT_INT, nullptr, nullptr, nullptr, 0);
  OCIDefineArrayOfStruct(d3, err_, sizeof(Row), 0, 0, 0);
  ASSERT_EQ(OCIStmtFetch2(st, err_, 3, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS) << ErrorText();
  EXPECT_EQ(std::string(rows[0].afc, 8), "SMITH   ") << "CHAR is blank-padded to the buffer";
  EXPECT_EQ(rows[0].len, 8);
  EXPECT_EQ(rows[1].empno, 7499);
  EXPECT_EQ(std::string(rows[2].afc, 8), "WARD    ");
  OCIHandleFree(st, OCI_HTYPE_STMT);

  ASSERT_EQ(Exec(system_, "select ename from emp where empno = 7839", &st), OCI_SUCCESS);
  char avc[8];
  OCIDefineByPos(st, nullptr, err_, 1, avc, 8, SQLT_AVC, nullptr, nullptr, nullptr, 0);
  ASSERT_EQ(OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS);
  EXPECT_EQ(std::string(avc, 8), std::string("KING   \0", 8)) << "CHARZ is padded and terminated";
  OCIHandleFree(st, OCI_HTYPE_STMT);
}

// Names in any case are the upper-case names; two-character operators are read
// as one with no blanks around them; numbers take exponents and a leading point.
TEST_F(SqlTest, NamesOperatorsAndNumbersInEveryWriting) {
  EXPECT_EQ(Query(system_, "SeLeCt EnAmE,Sal FrOm EmP wHeRe EmpNo=7839"), (Rows{{"KING", "5000"}}));
  EXPECT_EQ(Query(system_, "select ename from emp where sal>=1600and sal<>1600 or sal<=800 order by empno"),
            (Rows{{"SMITH"}, {"KING"}}));
  EXPECT_EQ(Query(system_, "select count(*) from emp where sal!=800 and sal^=1250"), (Rows{{"2"}}));
  EXPECT_EQ(Query(system_, "select 'a'||'b'||dname from dept where deptno=10"), (Rows{{"abACCOUNTING"}}));
  EXPECT_EQ(Query(system_, "select 1.5e3, .5, 2E-1, 25e+1 from dual"), (Rows{{"1500", ".5", ".2", "250"}}));
  EXPECT_EQ(Query(system_, "select ename from emp where empno = 7369--the first\n"), (Rows{{"SMITH"}}));
  EXPECT_EQ(Query(system_, "select/**/ename/* between */from emp where empno=7521/* at the end */"),
            (Rows{{"WARD"}}));
}

TEST_F(SqlTest, BindsNullsAndBindInfo) {
  OCIStmt* st = nullptr;
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
  std::string sql = "update emp set ename = :name, sal = :sal where empno = :no or empno = :NO";
  OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
  OraText* names[4];
  ub1 lens[4], inlens[4], dups[4];
  OraText* ind_names[4];
  OCIBind* handles[4];
  sb4 found = 0;
  ASSERT_EQ(OCIStmtGetBindInfo(st, err_, 4, 1, &found, names, lens, ind_names, inlens, dups, handles), OCI_SUCCESS);
  EXPECT_EQ(found, 3);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(names[2]), lens[2]), "NO");
  char name[11] = "";
  double sal = 0;
  sb2 sal_ind = -1;
  int no = 7521;
  OCIBindByName(st, nullptr, err_, reinterpret_cast<const OraText*>(":name"), -1, name, 11, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, 0);
  OCIBindByName(st, nullptr, err_, reinterpret_cast<const OraText*>(":sal"), -1, &sal, 8, SQLT_FLT, &sal_ind, nullptr, nullptr, 0, nullptr, 0);
  OCIBindByName(st, nullptr, err_, reinterpret_cast<const OraText*>(":no"), -1, &no, 4, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, 0);
  ASSERT_EQ(OCIStmtExecute(system_.svc, st, err_, 1, 0, nullptr, nullptr, 0), OCI_SUCCESS) << ErrorText();
  OCIHandleFree(st, OCI_HTYPE_STMT);
  EXPECT_EQ(Query(system_, "select ename, sal from emp where empno = 7521"), (Rows{{"<null>", "<null>"}}));
  EXPECT_EQ(Query(system_, "select count(*) from emp where ename is null"), (Rows{{"1"}}));
}

TEST_F(SqlTest, InsertRowidAndForUpdateOf) {
  OCIStmt* st = nullptr;
  ASSERT_EQ(Exec(system_, "insert into dept values (40, 'OPERATIONS')", &st), OCI_SUCCESS);
  OCIRowid* rid = nullptr;
  OCIDescriptorAlloc(env_, reinterpret_cast<void**>(&rid), OCI_DTYPE_ROWID, 0, nullptr);
  ASSERT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, rid, nullptr, OCI_ATTR_ROWID, err_), OCI_SUCCESS);
  OraText text[18];
  ub2 len = 10;
  EXPECT_EQ(OCIRowidToChar(rid, text, &len, err_), OCI_ERROR) << "a short buffer is refused";
  EXPECT_EQ(len, 18);
  ASSERT_EQ(OCIRowidToChar(rid, text, &len, err_), OCI_SUCCESS);
  std::string rowid(reinterpret_cast<char*>(text), len);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  EXPECT_EQ(Query(system_, "select dname from dept where rowid = '" + rowid + "'"), (Rows{{"OPERATIONS"}}));
  // The ROWID descriptor binds back in.
  ASSERT_EQ(Exec(system_, "select dname from dept where rowid = :r for update of dname nowait", &st), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1008);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
  std::string sql = "select dname from dept where rowid = :r for update of dname nowait";
  OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
  OCIBindByName(st, nullptr, err_, reinterpret_cast<const OraText*>(":r"), -1, &rid, sizeof rid, SQLT_RDD, nullptr, nullptr, nullptr, 0, nullptr, 0);
  char dname[15];
  OCIDefineByPos(st, nullptr, err_, 1, dname, 15, SQLT_STR, nullptr, nullptr, nullptr, 0);
  ASSERT_EQ(OCIStmtExecute(system_.svc, st, err_, 1, 0, nullptr, nullptr, 0), OCI_SUCCESS) << ErrorText();
  EXPECT_STREQ(dname, "OPERATIONS");
  OCIHandleFree(st, OCI_HTYPE_STMT);
  OCIDescriptorFree(rid, OCI_DTYPE_ROWID);
  Session other = Logon("system", "manager");
  EXPECT_EQ(Exec(other, "lock table dept in exclusive mode nowait"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 54);
  MustExec(system_, "rollback");
  MustExec(other, "lock table dept in exclusive mode nowait");
  MustExec(other, "commit");
  Logoff(other);
}

TEST_F(SqlTest, PreparedStatementsFromTheCacheAndBreak) {
  OCIStmt* st = nullptr;
  std::string sql = "select count(*) from emp";
  ASSERT_EQ(OCIStmtPrepare2(system_.svc, &st, err_, reinterpret_cast<const OraText*>(sql.c_str()),
                            static_cast<ub4>(sql.size()), nullptr, 0, OCI_NTV_SYNTAX, OCI_DEFAULT), OCI_SUCCESS);
  int n = 0;
  OCIDefineByPos(st, nullptr, err_, 1, &n, sizeof n, SQLT_INT, nullptr, nullptr, nullptr, 0);
  ASSERT_EQ(OCIStmtExecute(system_.svc, st, err_, 1, 0, nullptr, nullptr, 0), OCI_SUCCESS);
  EXPECT_EQ(n, 4);
  EXPECT_EQ(OCIStmtRelease(st, err_, nullptr, 0, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtRelease(st, err_, nullptr, 0, OCI_DEFAULT), OCI_INVALID_HANDLE);
  // A break with nothing running does no harm; the next statement runs normally.
  EXPECT_EQ(OCIBreak(system_.svc, err_), OCI_SUCCESS);
  EXPECT_EQ(Query(system_, "select count(*) from dept"), (Rows{{"3"}}));
}

}  // namespace
}  // namespace kavo::test
