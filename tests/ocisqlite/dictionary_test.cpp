// Users, schemas, the dictionary views and the PL/SQL blocks a client sends.
#include <cstring>

#include "testkit/oci_client.h"

namespace kavo::test {

namespace {

class DictionaryTest : public OciTest {
 protected:
  void SetUp() override {
    OciTest::SetUp();
    MustExec(system_, "create user app identified by pw");
    MustExec(system_, "create table app.parent (id number(9) constraint parent_pk primary key, code varchar2(10) unique)");
    MustExec(system_,
             "create table app.child (id number(9), parent_id number(9) references app.parent(id), "
             "qty number check (qty > 0), constraint child_pk primary key (id, parent_id))");
    MustExec(system_, "create view app.parent_v as select id, code from app.parent");
    MustExec(system_, "create public synonym parents for app.parent");
    MustExec(system_, "create synonym app.kids for app.child");
  }

  // Runs a block whose binds are text buffers of 101 bytes; returns the status.
  sword Block(Session& s, const std::string& sql, std::vector<std::pair<const char*, char*>> binds) {
    OCIStmt* st = nullptr;
    OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
    static sb2 inds[8];
    int k = 0;
    for (auto& [name, buf] : binds) {
      inds[k] = buf[0] ? 0 : -1;
      OCIBind* b = nullptr;
      EXPECT_EQ(OCIBindByName(st, &b, err_, reinterpret_cast<const OraText*>(name), -1, buf, 101, SQLT_STR,
                              &inds[k++], nullptr, nullptr, 0, nullptr, 0), OCI_SUCCESS) << name;
    }
    sword rc = OCIStmtExecute(s.svc, st, err_, 1, 0, nullptr, nullptr, 0);
    for (int i = 0; i < k; ++i)
      if (inds[i] == -1) binds[static_cast<size_t>(i)].second[0] = 0;
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return rc;
  }
};

TEST_F(DictionaryTest, SchemasNamesAndSynonyms) {
  Session app = Logon("app", "pw");
  MustExec(app, "insert into parent values (1, 'one')");
  // Own schema by default, unquoted names upper-cased, quoted names exact, public and private synonyms.
  EXPECT_EQ(Query(app, "select code from PARENT"), (Rows{{"one"}}));
  EXPECT_EQ(Query(app, "select code from \"PARENT\""), (Rows{{"one"}}));
  EXPECT_EQ(Exec(app, "select code from \"parent\""), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 942);
  EXPECT_EQ(Query(app, "select count(*) from kids"), (Rows{{"0"}}));
  EXPECT_EQ(Query(system_, "select count(*) from parents"), (Rows{{"0"}})) << "not committed yet";
  MustExec(app, "commit");
  EXPECT_EQ(Query(system_, "select code from parents"), (Rows{{"one"}}));
  EXPECT_EQ(Query(app, "select code from parent_v"), (Rows{{"one"}}));
  // Another user's schema needs privileges.
  MustExec(system_, "create user other identified by pw");
  Session other = Logon("other", "pw");
  EXPECT_EQ(Exec(other, "create table app.x (a number)"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1031);
  EXPECT_EQ(Exec(other, "create user z identified by z"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1031);
  EXPECT_EQ(Exec(system_, "create user app identified by again"), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-01920: user name 'APP' conflicts with another user or role name\n");
  EXPECT_EQ(Exec(system_, "create table app.parent (a number)"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 955);
}

TEST_F(DictionaryTest, ConstraintViewsDescribeTheTables) {
  Session app = Logon("app", "pw");
  Rows cons = Query(app,
                    "select constraint_name, constraint_type, table_name from all_constraints "
                    "where owner = 'APP' and constraint_type in ('P', 'U', 'R') order by table_name, constraint_type");
  ASSERT_EQ(cons.size(), 4u);
  EXPECT_EQ(cons[0][0], "CHILD_PK");
  EXPECT_EQ(cons[0][1], "P");
  EXPECT_EQ(cons[1][1], "R");
  EXPECT_EQ(cons[2], (std::vector<std::string>{"PARENT_PK", "P", "PARENT"}));
  EXPECT_EQ(cons[3][1], "U");
  EXPECT_EQ(cons[3][0].rfind("SYS_C", 0), 0u);
  EXPECT_EQ(Query(app, "select r_constraint_name from sys.all_constraints where owner = 'APP' and constraint_type = 'R'"),
            (Rows{{"PARENT_PK"}}));
  EXPECT_EQ(Query(app, "select search_condition from all_constraints where table_name = 'CHILD' and constraint_type = 'C'"),
            (Rows{{"qty > 0"}}));
  EXPECT_EQ(Query(app,
                  "select column_name from all_cons_columns\nwhere owner = 'APP' and table_name = 'CHILD'\n"
                  "and constraint_name = 'CHILD_PK'\norder by position"),
            (Rows{{"ID"}, {"PARENT_ID"}}));
  EXPECT_EQ(Query(app, "select column_name, data_type, data_precision, nullable from sys.all_tab_columns where owner = 'APP' and table_name = 'PARENT' order by column_id"),
            (Rows{{"ID", "NUMBER", "9", "N"}, {"CODE", "VARCHAR2", "<null>", "Y"}}));
  EXPECT_EQ(Query(app, "select table_name from user_tables order by table_name"), (Rows{{"CHILD"}, {"PARENT"}}));
  EXPECT_EQ(Query(app, "select view_name from sys.user_views"), (Rows{{"PARENT_V"}}));
  EXPECT_EQ(Query(app, "select synonym_name, table_owner, table_name from user_synonyms"), (Rows{{"KIDS", "APP", "CHILD"}}));
  EXPECT_EQ(Query(app, "select table_name from sys.all_synonyms where owner = 'PUBLIC' and synonym_name = 'PARENTS'"),
            (Rows{{"PARENT"}}));
  // The constraints are enforced with Oracle's numbers.
  MustExec(app, "insert into parent values (1, 'one')");
  EXPECT_EQ(Exec(app, "insert into child values (1, 2, 5)"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 2291);
  EXPECT_EQ(Exec(app, "insert into child values (1, 1, 0)"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 2290);
  EXPECT_NE(ErrorText().find("APP.SYS_C"), std::string::npos) << ErrorText();
  EXPECT_EQ(Exec(app, "insert into parent values (2, 'one')"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1);
}


// Unnamed constraints get names of their own however many the tables before
// had: a primary key, a NOT NULL and a check in one table once took the name
// the next table's first constraint was given.
TEST_F(DictionaryTest, GeneratedConstraintNamesNeverCollide) {
  MustExec(system_, "create table dept (deptno number(2) primary key, dname varchar2(14) not null)");
  MustExec(system_,
           "create table emp (empno number(4) primary key, deptno number(2) references dept, "
           "sal number(7,2) check (sal >= 0), ename varchar2(10) not null)");
  MustExec(system_, "create table bonus (empno number(4) primary key, amount number check (amount > 0))");
  Rows names = Query(system_, "select constraint_name from all_constraints where constraint_name like 'SYS_C%'");
  Rows distinct = Query(system_, "select distinct constraint_name from all_constraints where constraint_name like 'SYS_C%'");
  EXPECT_GE(names.size(), 7u);
  EXPECT_EQ(distinct.size(), names.size());
  // Each table still enforces its own.
  MustExec(system_, "insert into dept values (10, 'ACCOUNTING')");
  EXPECT_EQ(Exec(system_, "insert into emp values (1, 10, -1, 'X')"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 2290);
  EXPECT_EQ(Exec(system_, "insert into bonus values (1, 0)"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 2290);
}
TEST_F(DictionaryTest, UpdatingTableResolutionBlock) {
  Session app = Logon("app", "pw");
  const std::string block =
      "begin\n"
      "  begin\n"
      "    select user, table_name into :table_owner, :table_name\n"
      "      from sys.user_tables where table_name = :name;\n"
      "  exception when no_data_found then\n"
      "    begin\n"
      "      select user, view_name into :table_owner, :table_name\n"
      "        from sys.user_views where view_name = :name;\n"
      "    exception when no_data_found then\n"
      "      begin\n"
      "        select table_owner, table_name into :table_owner, :table_name\n"
      "          from sys.user_synonyms where synonym_name = :name;\n"
      "      exception when no_data_found then\n"
      "        begin\n"
      "          select table_owner, table_name into :table_owner, :table_name\n"
      "            from sys.all_synonyms where owner = 'PUBLIC' and synonym_name = :name;\n"
      "        exception when no_data_found then\n"
      "          :table_owner := null;\n"
      "          :table_name := null;\n"
      "        end;\n"
      "      end;\n"
      "    end;\n"
      "  end;\n"
      "end;";
  struct { const char* name; const char* owner; const char* table; } cases[] = {
      {"PARENT", "APP", "PARENT"}, {"PARENT_V", "APP", "PARENT_V"}, {"KIDS", "APP", "CHILD"},
      {"PARENTS", "APP", "PARENT"}, {"NOTHING", "", ""}};
  for (auto& c : cases) {
    char owner[101] = "junk", table[101] = "junk", name[101] = {0};
    std::strcpy(name, c.name);
    ASSERT_EQ(Block(app, block, {{":table_owner", owner}, {":table_name", table}, {":name", name}}), OCI_SUCCESS)
        << c.name << ": " << ErrorText();
    EXPECT_STREQ(owner, c.owner) << c.name;
    EXPECT_STREQ(table, c.table) << c.name;
  }
}

TEST_F(DictionaryTest, PlsqlShapes) {
  Session app = Logon("app", "pw");
  char id[101] = "x";
  ASSERT_EQ(Block(app, "begin :id := sys.dbms_transaction.local_transaction_id; end;", {{":id", id}}), OCI_SUCCESS) << ErrorText();
  EXPECT_STREQ(id, "") << "no transaction yet";
  MustExec(app, "insert into parent values (7, 'seven')");
  ASSERT_EQ(Block(app, "begin :id := sys.dbms_transaction.local_transaction_id; end;", {{":id", id}}), OCI_SUCCESS);
  EXPECT_NE(std::string(id), "");
  MustExec(app, "commit");
  // Unhandled errors leave the block with their number; TOO_MANY_ROWS and RAISE_APPLICATION_ERROR.
  char out[101] = {0};
  EXPECT_EQ(Block(app, "begin select code into :c from parent where id = 99; end;", {{":c", out}}), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-01403: no data found\n");
  MustExec(app, "insert into parent values (8, 'eight')");
  EXPECT_EQ(Block(app, "begin select code into :c from parent; exception when too_many_rows then :c := 'many'; end;", {{":c", out}}), OCI_SUCCESS);
  EXPECT_STREQ(out, "many");
  EXPECT_EQ(Block(app, "begin\n  if 1 = 2 then :c := 'a'; elsif 2 = 2 then :c := 'b'; else :c := 'c'; end if;\nend;", {{":c", out}}), OCI_SUCCESS) << ErrorText();
  EXPECT_STREQ(out, "b");
  EXPECT_EQ(Block(app, "begin\n  insert into parent values (9, 'nine');\n  raise_application_error(-20001, 'Bad row');\nend;", {}), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 20001);
  EXPECT_EQ(ErrorText(), "ORA-20001: Bad row\nORA-06512: at line 3\n");
  EXPECT_EQ(Query(app, "select count(*) from parent where id = 9"), (Rows{{"0"}})) << "the failed block left nothing";
  EXPECT_EQ(Query(app, "select count(*) from parent where id = 8"), (Rows{{"1"}})) << "earlier work stays";
  EXPECT_EQ(Block(app, "begin frobnicate; end;", {}), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 6550);
  EXPECT_EQ(Exec(app, "alter session set optimizer_mode = choose"), OCI_SUCCESS);
}

// COMMIT and ROLLBACK inside a block end the session's transaction, also one that
// was open before the block.
TEST_F(DictionaryTest, BlocksThatEndTheOpenTransaction) {
  Session app = Logon("app", "pw");
  MustExec(app, "insert into parent values (20, 'twenty')");
  ASSERT_EQ(Block(app, "begin insert into parent values (21, 'c21'); commit; end;", {}), OCI_SUCCESS) << ErrorText();
  EXPECT_EQ(Query(system_, "select count(*) from app.parent where id in (20, 21)"), (Rows{{"2"}}));
  MustExec(app, "insert into parent values (22, 'c22')");
  ASSERT_EQ(Block(app, "begin insert into parent values (23, 'c23'); rollback; end;", {}), OCI_SUCCESS) << ErrorText();
  EXPECT_EQ(Query(app, "select count(*) from parent where id in (22, 23)"), (Rows{{"0"}}));
  // A block failing after its COMMIT loses only the work that followed it.
  MustExec(app, "insert into parent values (24, 'c24')");
  EXPECT_EQ(Block(app, "begin commit; insert into parent values (25, 'c25'); raise_application_error(-20002, 'no'); end;", {}),
            OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 20002);
  EXPECT_EQ(Query(system_, "select id from app.parent where id in (24, 25)"), (Rows{{"24"}}));
  Logoff(app);
}

// Blocks with an unclosed parenthesis are compile errors, wherever it stands.
TEST_F(DictionaryTest, BlocksWithAnUnclosedParenthesisFailWith6550) {
  Session app = Logon("app", "pw");
  char x[101] = {0};
  for (const char* block : {"begin raise_application_error(; end;", "begin if (1 = 1 then null; end if; end;",
                            "begin select code into :x from parent where id in (1; end;",
                            "begin :x := (1; end;", "begin null; end; ("}) {
    SCOPED_TRACE(block);
    std::vector<std::pair<const char*, char*>> binds;
    if (std::string(block).find(":x") != std::string::npos) binds.emplace_back(":x", x);
    EXPECT_EQ(Block(app, block, binds), OCI_ERROR);
    EXPECT_EQ(ErrorCode(), 6550) << ErrorText();
  }
  Logoff(app);
}

// A DATE handed to a text bind variable takes the session's date format, as any
// DATE converted to text does; text that merely looks like a date stays as it is.
TEST_F(DictionaryTest, PlsqlDatesReachTextBindsInTheSessionDateFormat) {
  Session app = Logon("app", "pw");
  MustExec(app, "create table stamps (d date, v varchar2(30))");
  MustExec(app, "insert into stamps values (to_date('2024-02-29 12:30', 'yyyy-mm-dd hh24:mi'), '2024-02-29 12:30:00')");
  char a[101] = {0}, b[101] = {0}, c[101] = {0}, d[101] = {0};
  const char* block =
      "begin\n  :a := to_date('2023-12-31', 'yyyy-mm-dd');\n  select d, v into :b, :c from stamps;\n"
      "  :d := to_date('2024-01-01', 'yyyy-mm-dd') + 1;\nend;";
  ASSERT_EQ(Block(app, block, {{":a", a}, {":b", b}, {":c", c}, {":d", d}}), OCI_SUCCESS) << ErrorText();
  EXPECT_STREQ(a, "31-DEC-23");
  EXPECT_STREQ(b, "29-FEB-24");
  EXPECT_STREQ(c, "2024-02-29 12:30:00");
  EXPECT_STREQ(d, "02-JAN-24");
  MustExec(app, "alter session set nls_date_format = 'DD.MM.YYYY HH24:MI'");
  ASSERT_EQ(Block(app, block, {{":a", a}, {":b", b}, {":c", c}, {":d", d}}), OCI_SUCCESS) << ErrorText();
  EXPECT_STREQ(b, "29.02.2024 12:30");
  EXPECT_STREQ(c, "2024-02-29 12:30:00");
  Logoff(app);
}

}  // namespace
}  // namespace kavo::test
