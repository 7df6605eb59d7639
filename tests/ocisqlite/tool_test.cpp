// The admin tool: store creation and scripts run through the OCI interface.
#include <filesystem>

#include "testkit/oci_client.h"

namespace kavo::test {

namespace {

class ToolTest : public OciTest {};

TEST_F(ToolTest, ScriptsRunStatementsAndBlocksAndReportErrors) {
  std::string out;
  int rc = RunTool("sql " + store_ + " system/manager",
                   "create user demo identified by demo;\n"
                   "create table demo.t (a number, b varchar2(10));\n"
                   "insert into demo.t values (1, 'one; two');\n"
                   "-- a comment line\n"
                   "begin\n"
                   "  insert into demo.t values (2, 'x');\n"
                   "end;\n"
                   "/\n"
                   "select a, b from demo.t order by a;\n",
                   &out);
  EXPECT_EQ(rc, 0) << out;
  EXPECT_EQ(out, "A|B\n1|one; two\n2|x\n(2 rows)\n");
  rc = RunTool("sql " + store_ + " demo/demo", "select * from nosuch;\nselect count(*) from t;\n", &out);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(out, "ORA-00942: table or view does not exist\nCOUNT(*)\n2\n(1 row)\n");
  rc = RunTool("sql " + store_ + " demo/wrong", "select 1 from dual;\n", &out);
  EXPECT_EQ(rc, 1);
  EXPECT_EQ(out, "ORA-01017: invalid username/password; logon denied\n");
}

TEST_F(ToolTest, CreateRefusesAnExistingStoreAndBadUsage) {
  std::string out;
  EXPECT_EQ(RunTool("create " + store_ + " other", "", &out), 1);
  EXPECT_NE(out.find("already exists"), std::string::npos);
  EXPECT_EQ(RunTool("frobnicate", "", &out), 2);
  EXPECT_NE(out.find("usage:"), std::string::npos);
  EXPECT_EQ(RunTool("expiring " + store_ + " nobody 3", "", &out), 1);
}

}  // namespace
}  // namespace kavo::test
