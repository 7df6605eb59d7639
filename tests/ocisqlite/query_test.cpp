// Describe, batched fetching and the external forms of DATE and NUMBER.
#include <cstring>

#include "testkit/oci_client.h"

namespace kavo::test {

namespace {

class QueryTest : public OciTest {
 protected:
  struct Col {
    std::string name;
    ub2 type, size;
    ub1 precision;
    sb1 scale;
    ub1 nullable;
  };

  std::vector<Col> Describe(const std::string& sql, ub4 mode = OCI_DESCRIBE_ONLY) {
    OCIStmt* st = nullptr;
    OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
    EXPECT_EQ(OCIStmtExecute(system_.svc, st, err_, 0, 0, nullptr, nullptr, mode), OCI_SUCCESS) << ErrorText();
    ub4 n = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &n, nullptr, OCI_ATTR_PARAM_COUNT, err_);
    std::vector<Col> cols;
    for (ub4 i = 1; i <= n; ++i) {
      void* p = nullptr;
      EXPECT_EQ(OCIParamGet(st, OCI_HTYPE_STMT, err_, &p, i), OCI_SUCCESS);
      Col c{};
      char* name = nullptr;
      ub4 len = 0;
      // Each attribute is written in its real width: the bytes after it stay untouched.
      ub4 wide = 0xFFFFFFFF;
      OCIAttrGet(p, OCI_DTYPE_PARAM, &name, &len, OCI_ATTR_NAME, err_);
      c.name.assign(name, len);
      OCIAttrGet(p, OCI_DTYPE_PARAM, &c.type, nullptr, OCI_ATTR_DATA_TYPE, err_);
      OCIAttrGet(p, OCI_DTYPE_PARAM, &c.size, nullptr, OCI_ATTR_DATA_SIZE, err_);
      OCIAttrGet(p, OCI_DTYPE_PARAM, &wide, nullptr, OCI_ATTR_PRECISION, err_);
      // A select-list describe gives precision as sb2 (one byte only in an explicit describe).
      EXPECT_EQ(wide >> 16, 0xFFFFu) << "precision is two bytes";
      EXPECT_EQ((wide >> 8) & 0xFF, 0u) << "precision is two bytes";
      c.precision = static_cast<ub1>(wide & 0xFF);
      OCIAttrGet(p, OCI_DTYPE_PARAM, &c.scale, nullptr, OCI_ATTR_SCALE, err_);
      OCIAttrGet(p, OCI_DTYPE_PARAM, &c.nullable, nullptr, OCI_ATTR_IS_NULL, err_);
      cols.push_back(c);
    }
    void* p = nullptr;
    EXPECT_EQ(OCIParamGet(st, OCI_HTYPE_STMT, err_, &p, n + 1), OCI_ERROR);
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return cols;
  }

  void MakeNumbers(int n) {
    MustExec(system_, "create table nums (n number(10) primary key, txt varchar2(20))");
    for (int i = 1; i <= n; ++i)
      MustExec(system_, "insert into nums values (" + std::to_string(i) + ", 'row " + std::to_string(i) + "')");
  }
};

TEST_F(QueryTest, DescribeReportsOracleTypesSizesPrecisionAndScale) {
  MustExec(system_,
           "create table t (v varchar2(30) not null, c char(5), n number, np number(9), ns number(12,2), "
           "d date, l long, r raw(16))");
  auto cols = Describe("select t.*, t.rowid, 'c' lit, 42 num, sysdate now, to_char(1) txt from t");
  ASSERT_EQ(cols.size(), 13u);
  struct { const char* name; ub2 type, size; ub1 prec; sb1 scale; ub1 nullable; } want[] = {
      {"V", 1, 30, 0, 0, 0},  {"C", 96, 5, 0, 0, 1},    {"N", 2, 22, 0, -127, 1},
      {"NP", 2, 22, 9, 0, 1}, {"NS", 2, 22, 12, 2, 1},  {"D", 12, 7, 0, 0, 1},
      {"L", 8, 0, 0, 0, 1},   {"R", 23, 16, 0, 0, 1},   {"ROWID", 11, 18, 0, 0, 1},
      {"LIT", 96, 1, 0, 0, 1}, {"NUM", 2, 22, 0, -127, 1}, {"NOW", 12, 7, 0, 0, 1},
      {"TXT", 1, 4000, 0, 0, 1}};
  for (size_t i = 0; i < cols.size(); ++i) {
    SCOPED_TRACE(want[i].name);
    EXPECT_EQ(cols[i].name, want[i].name);
    EXPECT_EQ(cols[i].type, want[i].type);
    EXPECT_EQ(cols[i].size, want[i].size);
    if (want[i].type == 2) {
      EXPECT_EQ(cols[i].precision, want[i].prec);
      EXPECT_EQ(cols[i].scale, want[i].scale);
    }
    EXPECT_EQ(cols[i].nullable, want[i].nullable);
  }
  // Unquoted names fold to upper case, quoted ones keep their case; expression names are their text.
  auto named = Describe("select v \"Mixed\", count(*) from t group by v");
  EXPECT_EQ(named[0].name, "Mixed");
  EXPECT_EQ(named[1].name, "COUNT(*)");
  // Describing needs no values for the placeholders.
  auto unbound = Describe("select v, n from t where n = :missing and v = :other");
  ASSERT_EQ(unbound.size(), 2u);
  EXPECT_EQ(unbound[1].type, 2);
}

// Aggregates, NVL and DATE arithmetic over a DATE column stay DATEs: described
// as such (even with no row to look at) and shown in the session's date format.
TEST_F(QueryTest, ExpressionsOverColumnsKeepTheColumnsType) {
  MustExec(system_, "create table stamps (d date, n number(5,2), v varchar2(7))");
  const std::string sql =
      "select max(d), min(s.d), nvl(d, sysdate), (d), d + 1, d - 1/24, d - d, max(n), nvl(v, 'x'), "
      "trunc(d), trunc(sysdate) - trunc(d), round(n) from stamps s";
  const ub2 want[] = {12, 12, 12, 12, 12, 12, 2, 2, 1, 12, 2, 2};
  for (ub4 mode : {ub4{OCI_DESCRIBE_ONLY}, ub4{OCI_DEFAULT}}) {
    SCOPED_TRACE(mode);
    auto cols = Describe(sql, mode);
    ASSERT_EQ(cols.size(), 12u);
    for (size_t i = 0; i < cols.size(); ++i) EXPECT_EQ(cols[i].type, want[i]) << cols[i].name;
  }
  MustExec(system_, "insert into stamps values (to_date('2024-02-29 12:30', 'yyyy-mm-dd hh24:mi'), 1.5, 'abc')");
  Rows rows = Query(system_, sql);
  ASSERT_EQ(rows.size(), 1u);
  rows[0][10] = rows[0][10].empty() || rows[0][10] == "<null>" ? "missing" : "days";  // depends on today
  EXPECT_EQ(rows, (Rows{{"29-FEB-24", "29-FEB-24", "29-FEB-24", "29-FEB-24", "01-MAR-24", "29-FEB-24", "0", "1.5",
                         "abc", "29-FEB-24", "days", "2"}}));
  auto cols = Describe(sql, OCI_DEFAULT);
  for (size_t i = 0; i < cols.size(); ++i) EXPECT_EQ(cols[i].type, want[i]) << cols[i].name << " with a row";
}

TEST_F(QueryTest, StatementTypeAndFunctionCode) {
  struct { const char* sql; ub2 type, code; } cases[] = {
      {"select * from dual", OCI_STMT_SELECT, 4},    {"insert into x values (1)", OCI_STMT_INSERT, 3},
      {"update x set a = 1", OCI_STMT_UPDATE, 5},    {"delete from x", OCI_STMT_DELETE, 9},
      {"begin null; end;", OCI_STMT_BEGIN, 34},      {"create table x (a number)", OCI_STMT_CREATE, 1}};
  for (auto& c : cases) {
    OCIStmt* st = nullptr;
    OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(c.sql), static_cast<ub4>(strlen(c.sql)), 1, 0);
    ub2 type = 0, code = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, err_);
    OCIAttrGet(st, OCI_HTYPE_STMT, &code, nullptr, OCI_ATTR_SQLFNCODE, err_);
    EXPECT_EQ(type, c.type) << c.sql;
    EXPECT_EQ(code, c.code) << c.sql;
    OCIHandleFree(st, OCI_HTYPE_STMT);
  }
}

TEST_F(QueryTest, SixtyRowsInBatchesOf25GiveTwoFullBatchesAndAShortOne) {
  MakeNumbers(60);
  OCIStmt* st = nullptr;
  ASSERT_EQ(Exec(system_, "select n, txt from nums order by n", &st), OCI_SUCCESS);
  sb4 n[25];
  char txt[25][21];
  sb2 ind[25];
  ub2 len[25];
  OCIDefineByPos(st, nullptr, err_, 1, n, sizeof(sb4), SQLT_INT, nullptr, nullptr, nullptr, 0);
  OCIDefineByPos(st, nullptr, err_, 2, txt, 21, SQLT_STR, ind, len, nullptr, 0);
  ub4 fetched = 0, total = 0;
  EXPECT_EQ(OCIStmtFetch2(st, err_, 25, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS);
  OCIAttrGet(st, OCI_HTYPE_STMT, &fetched, nullptr, OCI_ATTR_ROWS_FETCHED, err_);
  OCIAttrGet(st, OCI_HTYPE_STMT, &total, nullptr, OCI_ATTR_ROW_COUNT, err_);
  EXPECT_EQ(fetched, 25u);
  EXPECT_EQ(total, 25u);
  EXPECT_EQ(n[24], 25);
  EXPECT_STREQ(txt[24], "row 25");
  EXPECT_EQ(len[24], 6);
  EXPECT_EQ(OCIStmtFetch(st, err_, 25, OCI_FETCH_NEXT, 0), OCI_SUCCESS);
  OCIAttrGet(st, OCI_HTYPE_STMT, &total, nullptr, OCI_ATTR_ROW_COUNT, err_);
  EXPECT_EQ(total, 50u);
  EXPECT_EQ(n[0], 26);
  EXPECT_EQ(OCIStmtFetch2(st, err_, 25, OCI_FETCH_NEXT, 0, 0), OCI_NO_DATA);
  OCIAttrGet(st, OCI_HTYPE_STMT, &fetched, nullptr, OCI_ATTR_ROWS_FETCHED, err_);
  OCIAttrGet(st, OCI_HTYPE_STMT, &total, nullptr, OCI_ATTR_ROW_COUNT, err_);
  EXPECT_EQ(fetched, 10u);
  EXPECT_EQ(total, 60u);
  EXPECT_EQ(n[9], 60);
  EXPECT_EQ(n[10], 36) << "elements after the short batch are left alone";
  EXPECT_EQ(ErrorCode(), 1403);
  OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST_F(QueryTest, AFetchPastTheEndIsOutOfSequenceUntilTheNextExecute) {
  MakeNumbers(3);
  OCIStmt* st = nullptr;
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
  std::string sql = "select n from nums order by n";
  OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
  sb4 n[5] = {};
  OCIDefineByPos(st, nullptr, err_, 1, n, sizeof(sb4), SQLT_INT, nullptr, nullptr, nullptr, 0);
  for (ub4 iters : {0u, 5u}) {
    SCOPED_TRACE(iters);
    sword rc = OCIStmtExecute(system_.svc, st, err_, iters, 0, nullptr, nullptr, 0);
    if (iters == 0) {
      ASSERT_EQ(rc, OCI_SUCCESS) << ErrorText();
      EXPECT_EQ(OCIStmtFetch2(st, err_, 5, OCI_FETCH_NEXT, 0, 0), OCI_NO_DATA);
    } else {
      EXPECT_EQ(rc, OCI_NO_DATA) << "fewer rows than iterations";
    }
    EXPECT_EQ(n[2], 3);
    EXPECT_EQ(OCIStmtFetch2(st, err_, 5, OCI_FETCH_NEXT, 0, 0), OCI_ERROR);
    EXPECT_EQ(ErrorCode(), 1002);
    EXPECT_EQ(ErrorText(), "ORA-01002: fetch out of sequence\n");
    ub4 total = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &total, nullptr, OCI_ATTR_ROW_COUNT, err_);
    EXPECT_EQ(total, 3u) << "the refused fetch counts nothing";
  }
  // Fetching no rows cancels the cursor; fetching from it afterwards is out of sequence too.
  ASSERT_EQ(OCIStmtExecute(system_.svc, st, err_, 0, 0, nullptr, nullptr, 0), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch2(st, err_, 0, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch2(st, err_, 0, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS) << "cancelling twice is harmless";
  EXPECT_EQ(OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1002);
  OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST_F(QueryTest, FetchingWithoutAnyDefineFailsWith24374) {
  MakeNumbers(2);
  OCIStmt* st = nullptr;
  ASSERT_EQ(Exec(system_, "select n from nums", &st), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-24374: define not done before fetch or execute and fetch\n");
  sb4 n = 0;
  OCIDefineByPos(st, nullptr, err_, 1, &n, 4, SQLT_INT, nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS) << "the refused fetch took no row";
  EXPECT_EQ(n, 1);
  OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST_F(QueryTest, ExecuteWithIterationsFetchesTheFirstBatchAndRownumLimits) {
  MakeNumbers(30);
  OCIStmt* st = nullptr;
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
  std::string sql = "select n from nums where n > 3 and rownum < 11 order by n";
  OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
  double v[8];
  OCIDefineByPos(st, nullptr, err_, 1, v, sizeof(double), SQLT_FLT, nullptr, nullptr, nullptr, 0);
  ASSERT_EQ(OCIStmtExecute(system_.svc, st, err_, 8, 0, nullptr, nullptr, 0), OCI_SUCCESS) << ErrorText();
  ub4 total = 0;
  OCIAttrGet(st, OCI_HTYPE_STMT, &total, nullptr, OCI_ATTR_ROW_COUNT, err_);
  EXPECT_EQ(total, 8u);
  EXPECT_EQ(v[0], 4.0);
  EXPECT_EQ(OCIStmtFetch2(st, err_, 8, OCI_FETCH_NEXT, 0, 0), OCI_NO_DATA);
  OCIAttrGet(st, OCI_HTYPE_STMT, &total, nullptr, OCI_ATTR_ROW_COUNT, err_);
  EXPECT_EQ(total, 10u);  // rownum < 11 keeps ten rows
  OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST_F(QueryTest, NullIndicatorsAndTruncationWith1406) {
  MustExec(system_, "create table s (a varchar2(20))");
  MustExec(system_, "insert into s values ('abcdefghij')");
  MustExec(system_, "insert into s values (null)");
  MustExec(system_, "insert into s values ('')");  // the empty string is NULL
  OCIStmt* st = nullptr;
  ASSERT_EQ(Exec(system_, "select a from s", &st), OCI_SUCCESS);
  char buf[3][5];
  sb2 ind[3];
  ub2 len[3], rc[3];
  OCIDefineByPos(st, nullptr, err_, 1, buf, 5, SQLT_STR, ind, len, rc, 0);
  EXPECT_EQ(OCIStmtFetch2(st, err_, 3, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(ErrorCode(), 1406);
  EXPECT_STREQ(buf[0], "abcd");
  EXPECT_EQ(ind[0], 10) << "the indicator holds the untruncated length";
  EXPECT_EQ(rc[0], 1406);
  EXPECT_EQ(ind[1], -1);
  EXPECT_EQ(ind[2], -1);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  // A define without a buffer (only the indicator and length wanted) takes nothing
  // and reports the length, over several rows.
  ASSERT_EQ(Exec(system_, "select a from s", &st), OCI_SUCCESS);
  OCIDefineByPos(st, nullptr, err_, 1, nullptr, 0, SQLT_STR, ind, len, nullptr, 0);
  EXPECT_EQ(OCIStmtFetch2(st, err_, 3, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(ind[0], 10);
  EXPECT_EQ(len[0], 0);
  EXPECT_EQ(ind[1], -1);
  OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST_F(QueryTest, ANullFetchedWithoutAnIndicatorFailsWith1405) {
  MustExec(system_, "create table ni (k number, v varchar2(5))");
  MustExec(system_, "insert into ni values (1, 'a')");
  MustExec(system_, "insert into ni values (2, null)");
  for (bool with_indicator : {false, true}) {
    SCOPED_TRACE(with_indicator);
    OCIStmt* st = nullptr;
    ASSERT_EQ(Exec(system_, "select v from ni order by k", &st), OCI_SUCCESS);
    char v[2][6] = {};
    sb2 ind[2] = {5, 5};
    OCIDefineByPos(st, nullptr, err_, 1, v, 6, SQLT_STR, with_indicator ? ind : nullptr, nullptr, nullptr, 0);
    sword rc = OCIStmtFetch2(st, err_, 2, OCI_FETCH_NEXT, 0, 0);
    ub4 fetched = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &fetched, nullptr, OCI_ATTR_ROWS_FETCHED, err_);
    EXPECT_STREQ(v[0], "a");
    if (with_indicator) {
      EXPECT_EQ(rc, OCI_SUCCESS);
      EXPECT_EQ(fetched, 2u);
      EXPECT_EQ(ind[1], -1);
    } else {
      EXPECT_EQ(rc, OCI_ERROR);
      EXPECT_EQ(ErrorText(), "ORA-01405: fetched column value is NULL\n");
      EXPECT_EQ(fetched, 1u) << "the row before the NULL arrived";
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);
  }
}

TEST_F(QueryTest, DateRoundTripsAtTheBoundaries) {
  MustExec(system_, "create table d (id number, d date)");
  const unsigned char dates[][7] = {{100, 101, 1, 1, 1, 1, 1},           // 0001-01-01 00:00:00
                                    {199, 199, 12, 31, 24, 60, 60},      // 9999-12-31 23:59:59
                                    {120, 124, 2, 29, 13, 31, 1}};       // 2024-02-29 12:30:00
  OCIStmt* ins = nullptr;
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&ins), OCI_HTYPE_STMT, 0, nullptr);
  std::string sql = "insert into d values (:id, :d)";
  OCIStmtPrepare(ins, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
  int id = 0;
  unsigned char in[7];
  OCIBind* b = nullptr;
  ASSERT_EQ(OCIBindByName(ins, &b, err_, reinterpret_cast<const OraText*>(":ID"), -1, &id, sizeof id, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, 0), OCI_SUCCESS);
  b = nullptr;
  ASSERT_EQ(OCIBindByName(ins, &b, err_, reinterpret_cast<const OraText*>(":d"), -1, in, 7, SQLT_DAT, nullptr, nullptr, nullptr, 0, nullptr, 0), OCI_SUCCESS);
  for (int i = 0; i < 3; ++i) {
    id = i;
    std::memcpy(in, dates[i], 7);
    ASSERT_EQ(OCIStmtExecute(system_.svc, ins, err_, 1, 0, nullptr, nullptr, 0), OCI_SUCCESS) << ErrorText();
  }
  const unsigned char bad[7] = {120, 124, 13, 1, 1, 1, 1};  // month 13
  std::memcpy(in, bad, 7);
  EXPECT_EQ(OCIStmtExecute(system_.svc, ins, err_, 1, 0, nullptr, nullptr, 0), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1843);
  OCIHandleFree(ins, OCI_HTYPE_STMT);

  OCIStmt* st = nullptr;
  ASSERT_EQ(Exec(system_, "select d, to_char(d, 'YYYY-MM-DD HH24:MI:SS'), d from d order by id", &st), OCI_SUCCESS);
  unsigned char out[3][7];
  char text[3][20];
  char nls[3][20];
  OCIDefineByPos(st, nullptr, err_, 1, out, 7, SQLT_DAT, nullptr, nullptr, nullptr, 0);
  OCIDefineByPos(st, nullptr, err_, 2, text, 20, SQLT_STR, nullptr, nullptr, nullptr, 0);
  OCIDefineByPos(st, nullptr, err_, 3, nls, 20, SQLT_STR, nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(OCIStmtFetch2(st, err_, 3, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(std::memcmp(out[i], dates[i], 7), 0) << i;
  EXPECT_STREQ(text[0], "0001-01-01 00:00:00");
  EXPECT_STREQ(text[1], "9999-12-31 23:59:59");
  EXPECT_STREQ(text[2], "2024-02-29 12:30:00");
  EXPECT_STREQ(nls[2], "29-FEB-24") << "dates fetched as text use NLS_DATE_FORMAT";
  OCIHandleFree(st, OCI_HTYPE_STMT);
  MustExec(system_, "alter session set nls_date_format = 'DD/MM/YYYY HH24:MI'");
  EXPECT_EQ(Query(system_, "select d from d where id = 2"), (Rows{{"29/02/2024 12:30"}}));
  EXPECT_EQ(Query(system_, "select to_char(to_date('31-12-1999 23:59:58', 'dd-mm-yyyy hh24:mi:ss'), 'DD-MON-YYYY HH:MI:SS AM') from dual"),
            (Rows{{"31-DEC-1999 11:59:58 PM"}}));
  EXPECT_EQ(Exec(system_, "select to_date('31-02-2001', 'dd-mm-yyyy') from dual"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1847);
}

TEST_F(QueryTest, NumberFormsAndBoundaries) {
  MustExec(system_, "create table n (id number, v number, p number(5,2))");
  MustExec(system_, "insert into n values (1, 0.5, 123.45)");
  MustExec(system_, "insert into n values (2, -0.25, -999.99)");
  MustExec(system_, "insert into n values (3, 9007199254740993, 0)");
  MustExec(system_, "insert into n values (4, -2147483648, null)");
  EXPECT_EQ(Query(system_, "select v, p from n order by id"),
            (Rows{{".5", "123.45"}, {"-.25", "-999.99"}, {"9007199254740993", "0"}, {"-2147483648", "<null>"}}));
  MustExec(system_, "insert into n values (6, 1.255, 1.255)");
  MustExec(system_, "insert into n values (7, -2.5, -2.345)");
  EXPECT_EQ(Query(system_, "select v, p from n where id >= 6 order by id"), (Rows{{"1.255", "1.26"}, {"-2.5", "-2.35"}}))
      << "NUMBER(5,2) rounds to two decimals";
  EXPECT_EQ(Exec(system_, "insert into n values (5, 1, 1000)"), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-01438: value larger than specified precision allowed for this column\n");
  // Integer and float defines of the same values.
  OCIStmt* st = nullptr;
  ASSERT_EQ(Exec(system_, "select v, v from n where id in (3, 4) order by id", &st), OCI_SUCCESS);
  sb8 big[2];
  double dbl[2];
  OCIDefineByPos(st, nullptr, err_, 1, big, 8, SQLT_INT, nullptr, nullptr, nullptr, 0);
  OCIDefineByPos(st, nullptr, err_, 2, dbl, 8, SQLT_FLT, nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(OCIStmtFetch2(st, err_, 2, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS);
  EXPECT_EQ(big[0], 9007199254740993LL);
  EXPECT_EQ(big[1], -2147483648LL);
  EXPECT_EQ(dbl[1], -2147483648.0);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  // Text that is not a number.
  EXPECT_EQ(Exec(system_, "select to_number('12x') from dual"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1722);
}

// An integer define too narrow for the value fails the fetch with ORA-01455
// instead of handing over a wrapped number.
TEST_F(QueryTest, IntegerDefinesRefuseValuesTheyCannotHold) {
  struct Case { const char* value; ub2 dty; sb4 size; bool fits; } cases[] = {
      {"127", SQLT_INT, 1, true},          {"128", SQLT_INT, 1, false},
      {"-128", SQLT_INT, 1, true},         {"32767", SQLT_INT, 2, true},
      {"32768", SQLT_INT, 2, false},       {"-32769", SQLT_INT, 2, false},
      {"2147483647", SQLT_INT, 4, true},   {"-2147483648", SQLT_INT, 4, true},
      {"2147483648", SQLT_INT, 4, false},  {"3000000000", SQLT_INT, 4, false},
      {"-2147483649", SQLT_INT, 4, false}, {"9223372036854775807", SQLT_INT, 8, true},
      {"1e19", SQLT_INT, 8, false},        {"65535", SQLT_UIN, 2, true},
      {"65536", SQLT_UIN, 2, false},       {"-1", SQLT_UIN, 4, false},
      {"4294967295", SQLT_UIN, 4, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.value) + " in " + std::to_string(c.size) + " bytes");
    OCIStmt* st = nullptr;
    ASSERT_EQ(Exec(system_, std::string("select ") + c.value + " from dual", &st), OCI_SUCCESS) << ErrorText();
    char buf[8] = {};
    sb2 ind = 0;
    OCIDefineByPos(st, nullptr, err_, 1, buf, c.size, c.dty, &ind, nullptr, nullptr, 0);
    sword rc = OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0);
    if (c.fits) {
      EXPECT_EQ(rc, OCI_SUCCESS) << ErrorText();
      int64_t want = std::stoll(c.value);
      int64_t got = 0;
      if (c.dty == SQLT_UIN) {
        uint64_t u = 0;
        std::memcpy(&u, buf, static_cast<size_t>(c.size));
        got = static_cast<int64_t>(u);
      } else if (c.size == 1) got = static_cast<int8_t>(buf[0]);
      else if (c.size == 2) { int16_t x; std::memcpy(&x, buf, 2); got = x; }
      else if (c.size == 4) { int32_t x; std::memcpy(&x, buf, 4); got = x; }
      else std::memcpy(&got, buf, 8);
      EXPECT_EQ(got, want);
    } else {
      EXPECT_EQ(rc, OCI_ERROR);
      EXPECT_EQ(ErrorText(), "ORA-01455: converting column overflows integer datatype\n");
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);
  }
}

// Doubles bound into NUMBER(p,s) columns round half away from zero on the decimal
// they stand for, whatever their magnitude: a whole value stays whole, a half
// held just below .5 in binary still rounds up, text rounds on its own digits.
TEST_F(QueryTest, BoundNumbersRoundToTheColumnsScaleAtEveryMagnitude) {
  MustExec(system_,
           "create table r (k number, n10 number(10), n15 number(15), n38 number(38), s2 number(17,2), "
           "s6 number(20,6))");
  int k = 0;
  // Stores v (bound as a double, or as text when text is given) and reads it back as text.
  auto stored = [&](const std::string& column, double v, const char* text = nullptr) -> std::string {
    ++k;
    std::string sql = "insert into r (k, " + column + ") values (" + std::to_string(k) + ", :v)";
    OCIStmt* st = nullptr;
    OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
    if (text)
      OCIBindByPos(st, nullptr, err_, 1, const_cast<char*>(text), static_cast<sb4>(std::strlen(text) + 1), SQLT_STR,
                   nullptr, nullptr, nullptr, 0, nullptr, 0);
    else
      OCIBindByPos(st, nullptr, err_, 1, &v, sizeof v, SQLT_FLT, nullptr, nullptr, nullptr, 0, nullptr, 0);
    sword rc = OCIStmtExecute(system_.svc, st, err_, 1, 0, nullptr, nullptr, 0);
    OCIHandleFree(st, OCI_HTYPE_STMT);
    if (rc != OCI_SUCCESS) return ErrorText();
    Rows rows = Query(system_, "select " + column + " from r where k = " + std::to_string(k));
    return rows.size() == 1 ? rows[0][0] : "no row";
  };
  struct Case {
    const char* column;
    double value;
    const char* text;  // read back
  };
  const Case doubles[] = {
      {"n10", 0.5, "1"},
      {"n10", -0.5, "-1"},
      {"n10", 1.5, "2"},
      {"n10", 2.5, "3"},
      {"n10", -2.5, "-3"},
      {"n10", 0.4, "0"},
      {"n10", 1234567890.0, "1234567890"},
      {"n10", -1234567890.0, "-1234567890"},
      {"n10", 1234567890.4, "1234567890"},
      {"n10", 1234567889.5, "1234567890"},
      {"n10", 9999999999.0, "9999999999"},
      {"n15", 999999999999999.0, "999999999999999"},
      {"n15", 999999999999999.4, "999999999999999"},
      {"n15", 99999999999999.5, "100000000000000"},
      {"n38", 1e37, "10000000000000000000000000000000000000"},
      {"n38", 1.5e30, "1500000000000000000000000000000"},
      {"n38", 9007199254740992.0, "9007199254740992"},
      {"s2", 1.005, "1.01"},
      {"s2", -1.005, "-1.01"},
      {"s2", 2.675, "2.68"},
      {"s2", 12.345, "12.35"},
      {"s2", 0.125, ".13"},
      {"s2", 0.124, ".12"},
      {"s2", 1234567890123.45, "1234567890123.45"},
      {"s2", 1234567890123.454, "1234567890123.45"},
      {"s2", 1234567890123.455, "1234567890123.46"},
      {"s2", 99.995, "100"},
      {"s6", 0.0000005, ".000001"},
      {"s6", -0.0000005, "-.000001"},
      {"s6", 0.00000049, "0"},
      {"s6", 1e-300, "0"},
  };
  for (const Case& c : doubles) EXPECT_EQ(stored(c.column, c.value), c.text) << "case " << &c - doubles;
  // Rounded past the column's precision.
  EXPECT_EQ(stored("n10", 9999999999.5).substr(0, 9), "ORA-01438");
  // Text rounds on its own digits, beyond what a double holds.
  struct TextCase {
    const char* column;
    const char* value;
    const char* text;
  };
  const TextCase texts[] = {
      {"n10", "2.5", "3"},
      {"n10", " -1234567890.5 ", "-1234567891"},
      {"s2", "0.12499999999999999999", ".12"},
      {"s2", "1.2345e2", "123.45"},
      {"s2", "-.005", "-.01"},
  };
  for (const TextCase& c : texts) EXPECT_EQ(stored(c.column, 0, c.value), c.text) << c.value;
  EXPECT_EQ(stored("s2", 0, "1,5").substr(0, 9), "ORA-01722");
}

TEST_F(QueryTest, FunctionsTheSessionUses) {
  EXPECT_EQ(Query(system_, "select length(chr(2000000000)) l4, length(chr(2000000)) l3,  length(chr(20000)) l2, 'c' c1 from dual"),
            (Rows{{"4", "3", "2", "c"}}));
  EXPECT_EQ(Query(system_, "select nvl(null, 'x'), nvl('a', 'x'), length(''), lengthb('ação'), length('ação') from dual"),
            (Rows{{"x", "a", "<null>", "6", "4"}}));
  Rows sid = Query(system_, "select to_char(userenv('SESSIONID')) from dual");
  ASSERT_EQ(sid.size(), 1u);
  EXPECT_GT(std::stol(sid[0][0]), 0);
  EXPECT_EQ(Query(system_, "select substr('abcdef', 0, 2), substr('abcdef', -2), decode(1, 1, 'one', 'other') from dual"),
            (Rows{{"ab", "ef", "one"}}));
  EXPECT_EQ(Query(system_, "select 'x' from dual union all select 'y' from dual minus select 'y' from dual"),
            (Rows{{"x"}}));
}

TEST_F(QueryTest, DateArithmeticAndConcatenationFollowOracle) {
  EXPECT_EQ(Query(system_,
                  "select to_char(to_date('2024-02-28', 'yyyy-mm-dd') + 1.5, 'yyyy-mm-dd hh24:mi:ss'), "
                  "to_date('2024-03-01', 'yyyy-mm-dd') - to_date('2023-03-01', 'yyyy-mm-dd'), "
                  "to_char(to_date('2000-01-01', 'yyyy-mm-dd') - 1, 'yyyy-mm-dd'), "
                  "'a' || null || 1.5 || 'b', null || null, 2 - 3 + 1, 7 * 2 - -1 from dual"),
            (Rows{{"2024-02-29 12:00:00", "366", "1999-12-31", "a1.5b", "<null>", "0", "15"}}));
  EXPECT_EQ(Exec(system_, "select to_date('0001-01-01', 'yyyy-mm-dd') - 1 from dual"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1841);
  // A day count no integer holds is refused the same way.
  EXPECT_EQ(Exec(system_, "select to_date('2020-01-01', 'yyyy-mm-dd') + 1e300 from dual"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1841);
  EXPECT_EQ(Exec(system_, "select 'x' + 1 from dual"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1722);
  // A whole remainder too large for an integer stays a number.
  EXPECT_EQ(Query(system_, "select mod(7, 3), mod(1e300, 3e300), trunc(1e300) from dual"),
            (Rows{{"1", "1.0E+300", "1.0E+300"}}));
}

TEST_F(QueryTest, DivisionOfWholeNumbersKeepsTheFraction) {
  EXPECT_EQ(Query(system_,
                  "select 7/2, 1/4, 6/3, -9/4, 2*3/4, 10/4/5, "
                  "to_char(to_date('2000-01-01 12:00', 'yyyy-mm-dd hh24:mi') - 1/24, 'yyyy-mm-dd hh24:mi'), "
                  "to_char(to_date('2000-01-01', 'yyyy-mm-dd') + 90/1440, 'hh24:mi') from dual"),
            (Rows{{"3.5", ".25", "2", "-2.25", "1.5", ".5", "2000-01-01 11:00", "01:30"}}));
  MustExec(system_, "create table halves (n number)");
  MustExec(system_, "insert into halves values (7)");
  MustExec(system_, "update halves set n = n / 2");
  EXPECT_EQ(Query(system_, "select n, n / 7 * 2 from halves"), (Rows{{"3.5", "1"}}));
}

TEST_F(QueryTest, CharacterSetQueriesOfTheSession) {
  OCIStmt* st = nullptr;
  ASSERT_EQ(Exec(system_, "select lengthb(nchr(20)), nchr(20), 'c' c1 from dual", &st), OCI_SUCCESS) << ErrorText();
  void* p = nullptr;
  ub2 csid = 0;
  ub1 form = 0;
  OCIParamGet(st, OCI_HTYPE_STMT, err_, &p, 2);
  OCIAttrGet(p, OCI_DTYPE_PARAM, &csid, nullptr, OCI_ATTR_CHARSET_ID, err_);
  OCIAttrGet(p, OCI_DTYPE_PARAM, &form, nullptr, OCI_ATTR_CHARSET_FORM, err_);
  EXPECT_EQ(csid, 871);
  EXPECT_EQ(form, 2);
  OCIParamGet(st, OCI_HTYPE_STMT, err_, &p, 3);
  OCIAttrGet(p, OCI_DTYPE_PARAM, &csid, nullptr, OCI_ATTR_CHARSET_ID, err_);
  OCIAttrGet(p, OCI_DTYPE_PARAM, &form, nullptr, OCI_ATTR_CHARSET_FORM, err_);
  EXPECT_EQ(csid, 873);
  EXPECT_EQ(form, 1);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  // A terminator inside SQL text is Oracle's "invalid character".
  EXPECT_EQ(Exec(system_, "select * from dual;"), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-00911: invalid character\n");
}

}  // namespace
}  // namespace kavo::test
