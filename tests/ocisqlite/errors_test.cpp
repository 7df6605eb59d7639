// Oracle's error numbers, texts and parse-error offsets.
#include "testkit/oci_client.h"

namespace kavo::test {

namespace {

class ErrorsTest : public OciTest {
 protected:
  ub2 Offset(const std::string& sql) {
    OCIStmt* st = nullptr;
    EXPECT_EQ(Exec(system_, sql, &st), OCI_ERROR) << sql;
    ub4 offset = 0;  // read into a zeroed 4-byte value, as clients do
    OCIAttrGet(st, OCI_HTYPE_STMT, &offset, nullptr, OCI_ATTR_PARSE_ERROR_OFFSET, err_);
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return static_cast<ub2>(offset);
  }
};

TEST_F(ErrorsTest, NumbersTextsAndOffsets) {
  struct { const char* sql; int code; const char* text; ub2 offset; } cases[] = {
      {"select * from nosuch", 942, "ORA-00942: table or view does not exist\n", 14},
      {"select nosuch from dual", 904, "ORA-00904: \"NOSUCH\": invalid identifier\n", 7},
      {"select dummy from dual\nwhere nosuch = 1", 904, "ORA-00904: \"NOSUCH\": invalid identifier\n", 29},
      {"select * dual", 923, "ORA-00923: FROM keyword not found where expected\n", 9},
      {"select 'abc from dual", 1756, "ORA-01756: quoted string not properly terminated\n", 7},
      {"frobnicate the table", 900, "ORA-00900: invalid SQL statement\n", 0},
      {"select * from dual where", 936, "ORA-00936: missing expression\n", 24},
      {"select 1 from dual where 1 = (1", 907, "ORA-00907: missing right parenthesis\n", 31},
      {"select dummy from dual a, dual b", 918, "ORA-00918: column ambiguously defined\n", 7},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.sql);
    ub2 off = Offset(c.sql);
    EXPECT_EQ(ErrorCode(), c.code);
    EXPECT_EQ(ErrorText(), c.text);
    EXPECT_EQ(off, c.offset);
  }
  MustExec(system_, "create table e (x number primary key)");
  // Semantic errors SQLite finds keep Oracle's numbers, never an internal error.
  struct { const char* sql; const char* text; } semantic[] = {
      {"select 1 from dual union select 1, 2 from dual", "ORA-01789: query block has incorrect number of result columns\n"},
      {"select dummy from dual where count(*) > 1", "ORA-00934: group function is not allowed here\n"},
      {"select dummy from dual having count(*) > 1", "ORA-00979: not a GROUP BY expression\n"},
      {"create table dup (x number, y date, x number)", "ORA-00957: duplicate column name\n"},
      {"create table pk2 (x number primary key, y number primary key)",
       "ORA-02260: table can have only one primary key\n"},
      {"create table fk1 (x number, foreign key (y) references e (x))", "ORA-00904: \"Y\": invalid identifier\n"},
      {"lock", "ORA-00905: missing keyword\n"},
      {"lock dual in exclusive mode", "ORA-00905: missing keyword\n"}};
  for (auto& c : semantic) {
    Offset(c.sql);
    EXPECT_EQ(ErrorText(), c.text) << c.sql;
  }
  // An unknown column in an insert list is an identifier error at that column.
  EXPECT_EQ(Offset("insert into e (x, nosuch) values (1, 2)"), 18);
  EXPECT_EQ(ErrorText(), "ORA-00904: \"NOSUCH\": invalid identifier\n");
}

// A built-in function with too few or too many arguments is refused with Oracle's
// numbers, never run on missing arguments.
TEST_F(ErrorsTest, FunctionsCalledWithTheWrongNumberOfArguments) {
  struct { const char* expr; int code; } cases[] = {
      {"substr('abc')", 938}, {"substr('abc', 1, 2, 3)", 939}, {"to_char()", 938},
      {"to_date()", 938},     {"to_number()", 938},            {"decode(1)", 938},
      {"decode()", 938},      {"trunc()", 938},                {"trunc(1, 2, 3)", 939},
      {"ltrim('x', 'y', 'z')", 939}, {"mod(1)", 909},          {"nvl(1)", 909}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expr);
    EXPECT_EQ(Exec(system_, std::string("select ") + c.expr + " from dual"), OCI_ERROR);
    EXPECT_EQ(ErrorCode(), c.code) << ErrorText();
  }
  EXPECT_EQ(Exec(system_, "select substr('abc') from dual"), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-00938: not enough arguments for function\n");
}

// Numbers in the wrong place or beyond any limit are Oracle errors, never an
// exception that escapes the library and ends the client.
TEST_F(ErrorsTest, MalformedNumbersInStatementsAreRefused) {
  EXPECT_EQ(Exec(system_, "create table bad1 (x varchar2(abc))"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 907);
  EXPECT_EQ(Exec(system_, "create table bad2 (x varchar2(99999999999))"), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-00910: specified length too long for its datatype\n");
  EXPECT_EQ(Exec(system_, "create table bad3 (x number(5, x))"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 907);
  EXPECT_EQ(Query(system_, "select 1 from dual where rownum < 99999999999999999999999"), (Rows{{"1"}}));
  EXPECT_EQ(Query(system_, "select count(*) from user_tables where table_name like 'BAD%'"), (Rows{{"0"}}));
}

// An unclosed column list ran the translator past the statement's last
// token once RETURNING followed it.
TEST_F(ErrorsTest, UnclosedInsertColumnListsAreMissingRightParenthesis) {
  MustExec(system_, "create table dept (deptno number(2), dname varchar2(14))");
  for (const char* sql : {"insert into dept (deptno returning deptno into :x",
                          "insert into dept d (deptno, dname returning dname",
                          "insert into dept (deptno"}) {
    SCOPED_TRACE(sql);
    EXPECT_EQ(Exec(system_, sql), OCI_ERROR);
    EXPECT_EQ(ErrorCode(), 907);
  }
  EXPECT_EQ(Query(system_, "select count(*) from dept"), (Rows{{"0"}}));
}

TEST_F(ErrorsTest, BindingErrors) {
  OCIStmt* st = nullptr;
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
  std::string sql = "select * from dual where dummy = :a";
  OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
  char buf[8] = "X";
  OCIBind* b = nullptr;
  EXPECT_EQ(OCIBindByName(st, &b, err_, reinterpret_cast<const OraText*>(":nothere"), -1, buf, 8, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, 0), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-01036: illegal variable name/number\n");
  EXPECT_EQ(OCIStmtExecute(system_.svc, st, err_, 0, 0, nullptr, nullptr, 0), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-01008: not all variables bound\n");
  ASSERT_EQ(OCIBindByName(st, &b, err_, reinterpret_cast<const OraText*>(":A"), -1, buf, 8, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, 0), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtExecute(system_.svc, st, err_, 0, 0, nullptr, nullptr, 0), OCI_SUCCESS) << ErrorText();
  char out[4];
  EXPECT_EQ(OCIDefineByPos(st, nullptr, err_, 2, out, 4, SQLT_STR, nullptr, nullptr, nullptr, 0), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1007);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  // DML with zero iterations.
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
  sql = "delete from dual";
  OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
  EXPECT_EQ(OCIStmtExecute(system_.svc, st, err_, 0, 0, nullptr, nullptr, 0), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 24333);
  OCIHandleFree(st, OCI_HTYPE_STMT);
}

// A refused attribute read reports its number and Oracle's text, whenever
// and however often it is read, in a buffer of any size; the next error or
// success replaces it.
TEST_F(ErrorsTest, RefusedAttributeReadsCarryTheirTexts) {
  OCIStmt* st = nullptr;
  ASSERT_EQ(Exec(system_, "select dummy from dual", &st), OCI_SUCCESS) << ErrorText();
  OCIRowid* rid = nullptr;
  OCIDescriptorAlloc(env_, reinterpret_cast<void**>(&rid), OCI_DTYPE_ROWID, 0, nullptr);
  EXPECT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, rid, nullptr, OCI_ATTR_ROWID, err_), OCI_ERROR);
  char small[8] = "zzzzzzz";
  sb4 code = 0;
  EXPECT_EQ(OCIErrorGet(err_, 1, nullptr, &code, reinterpret_cast<OraText*>(small), 5, OCI_HTYPE_ERROR),
            OCI_SUCCESS);
  EXPECT_EQ(code, 1410);
  EXPECT_EQ(std::string(small, 8), std::string("ORA-\0zz\0", 8));
  EXPECT_EQ(ErrorText(), "ORA-01410: invalid ROWID\n");
  EXPECT_EQ(ErrorText(), "ORA-01410: invalid ROWID\n");
  code = 0;
  EXPECT_EQ(OCIErrorGet(err_, 2, nullptr, &code, nullptr, 0, OCI_HTYPE_ERROR), OCI_NO_DATA);
  EXPECT_EQ(code, 0);

  // One refusal after another, unread: the last one's text.
  ub4 value = 0;
  EXPECT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, rid, nullptr, OCI_ATTR_ROWID, err_), OCI_ERROR);
  EXPECT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, &value, nullptr, 9999, err_), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 24315);
  EXPECT_EQ(ErrorText(), "ORA-24315: illegal attribute type\n");
  // A refusal with arguments after an unread one without, and back.
  EXPECT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, rid, nullptr, OCI_ATTR_ROWID, err_), OCI_ERROR);
  EXPECT_EQ(Exec(system_, "select nosuch from dual"), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-00904: \"NOSUCH\": invalid identifier\n");
  EXPECT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, rid, nullptr, OCI_ATTR_ROWID, err_), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-01410: invalid ROWID\n");
  // A call that succeeds on the handle leaves no error to read.
  EXPECT_EQ(Exec(system_, "select dummy from dual"), OCI_SUCCESS);
  EXPECT_EQ(OCIErrorGet(err_, 1, nullptr, &code, nullptr, 0, OCI_HTYPE_ERROR), OCI_NO_DATA);
  EXPECT_EQ(ErrorText(), "");
  OCIDescriptorFree(rid, OCI_DTYPE_ROWID);
  OCIHandleFree(st, OCI_HTYPE_STMT);
}

// Texts past Oracle's lexical limits get the numbers Oracle gives them, at the
// place of the fault; just inside each limit the statement runs.
TEST_F(ErrorsTest, LexicalLimitsHaveTheirOwnNumbers) {
  const std::string a30(30, 'A'), a31(31, 'A');
  std::string accented;  // 16 two-byte letters: 16 characters, 32 bytes
  for (int i = 0; i < 16; ++i) accented += "\xC3\x87";
  std::string list1000 = "select 1", list1001;
  for (int i = 2; i <= 1000; ++i) list1000 += ", " + std::to_string(i);
  list1001 = list1000 + ", 1001 from dual";
  list1000 += " from dual";
  std::string columns1001 = "c1 number";
  for (int i = 2; i <= 1001; ++i) columns1001 += ", c" + std::to_string(i) + " number";
  struct { std::string sql; int code; const char* text; ub2 offset; } cases[] = {
      {"select 1 as " + a31 + " from dual", 972, "ORA-00972: identifier is too long\n", 12},
      {"select 1 as \"" + a31 + "\" from dual", 972, "ORA-00972: identifier is too long\n", 12},
      {"select 1 as " + accented + " from dual", 972, "ORA-00972: identifier is too long\n", 12},
      {"select * from " + a31, 972, "ORA-00972: identifier is too long\n", 14},
      {"select * from dual where dummy = :" + a31, 972, "ORA-00972: identifier is too long\n", 33},
      {"select '" + std::string(4001, 'x') + "' from dual", 1704, "ORA-01704: string literal too long\n", 7},
      {"select 1 from dual /* never closed", 1742, "ORA-01742: comment not properly terminated\n", 19},
      {"select 1 /* closed */ from dual /*", 1742, "ORA-01742: comment not properly terminated\n", 32},
      {"select \"DUMMY from dual", 1740, "ORA-01740: missing double quote in identifier\n", 7},
      {"select dummy from dual where dummy = :\"B", 1740, "ORA-01740: missing double quote in identifier\n", 37},
      {list1001, 1792, "ORA-01792: maximum number of columns in a table or view is 1000\n",
       static_cast<ub2>(list1001.find("1001"))},
      {std::string("select 'a\0b' from dual", 22), 911, "ORA-00911: invalid character\n", 9},
      {std::string("select \"A\0B\" from dual", 22), 911, "ORA-00911: invalid character\n", 9},
      {"select 1 as \"\" from dual", 1741, "ORA-01741: illegal zero-length identifier\n", 12},
      {"create table wide (" + columns1001 + ")", 1792, "ORA-01792: maximum number of columns in a table or view is 1000\n",
       static_cast<ub2>(19 + columns1001.find("c1001"))},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.sql.substr(0, 60));
    ub2 off = Offset(c.sql);
    EXPECT_EQ(ErrorCode(), c.code);
    EXPECT_EQ(ErrorText(), c.text);
    EXPECT_EQ(off, c.offset);
  }
  EXPECT_EQ(Query(system_, "select 1 as " + a30 + " from dual"), (Rows{{"1"}}));
  EXPECT_EQ(Query(system_, "select length('" + std::string(4000, 'x') + "') from dual"), (Rows{{"4000"}}));
  EXPECT_EQ(Query(system_, "select 1 from dual /* closed */ -- to the end"), (Rows{{"1"}}));
  OCIStmt* st = nullptr;
  ASSERT_EQ(Exec(system_, list1000, &st), OCI_SUCCESS) << ErrorText();
  ub4 columns = 0;
  OCIAttrGet(st, OCI_HTYPE_STMT, &columns, nullptr, OCI_ATTR_PARAM_COUNT, err_);
  EXPECT_EQ(columns, 1000u);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  EXPECT_EQ(Query(system_, "select count(*) from user_tables where table_name = 'WIDE'"), (Rows{{"0"}}));
}

// However deep a text nests, it ends in an Oracle error and the session goes on.
TEST_F(ErrorsTest, DeeplyNestedTextEndsInAnErrorNotACrash) {
  constexpr int kDepth = 20000;
  auto repeat = [](const std::string& s, int n) {
    std::string r;
    for (int i = 0; i < n; ++i) r += s;
    return r;
  };
  const std::string texts[] = {
      "select " + repeat("nvl(", kDepth) + "1" + repeat(", 2)", kDepth) + " from dual",
      "select " + repeat("(", kDepth) + "1" + repeat(")", kDepth) + " from dual",
      "select * from " + repeat("(select * from ", kDepth) + "dual" + repeat(")", kDepth),
      "select 1 from dual where 1 in " + repeat("(select 1 from dual where 1 in ", kDepth) + "(1)" +
          repeat(")", kDepth),
      "create table deep (x number check (" + repeat("(", kDepth) + "x > 0" + repeat(")", kDepth) + "))",
      repeat("begin ", kDepth) + "null;" + repeat(" end;", kDepth),
      "begin " + repeat("if 1 = 1 then ", kDepth) + "null;" + repeat(" end if;", kDepth) + " end;",
  };
  for (const std::string& sql : texts) {
    SCOPED_TRACE(sql.substr(0, 40));
    EXPECT_EQ(Exec(system_, sql), OCI_ERROR);
    EXPECT_EQ(ErrorText(), "ORA-00600: internal error code, arguments: [nested more than 255 levels]\n");
  }
  EXPECT_EQ(Query(system_, "select count(*) from user_tables where table_name = 'DEEP'"), (Rows{{"0"}}));
  // At the limit the text reaches every parser; SQLite's own gives up sooner.
  EXPECT_EQ(Exec(system_, "select " + repeat("nvl(", 255) + "1" + repeat(", 2)", 255) + " from dual"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 600);
  EXPECT_EQ(Exec(system_, "select * from " + repeat("(select * from ", 255) + "dual" + repeat(")", 255)), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 600);
  MustExec(system_, repeat("begin ", 255) + "null;" + repeat(" end;", 255));
  MustExec(system_, "begin " + repeat("if 1 = 1 then ", 254) + "null;" + repeat(" end if;", 254) + " end;");
  // Nesting as deep as real statements go still works.
  EXPECT_EQ(Query(system_, "select " + repeat("nvl(", 10) + "null" + repeat(", null)", 9) + ", 7) from dual"),
            (Rows{{"7"}}));
  EXPECT_EQ(Query(system_, "select " + repeat("(", 30) + "6" + repeat(")", 30) + " * 7 from dual"), (Rows{{"42"}}));
  MustExec(system_, repeat("begin ", 20) + "null;" + repeat(" end;", 20));
}

}  // namespace
}  // namespace kavo::test
