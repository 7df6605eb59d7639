#include "testkit/oci_client.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace kavo::test {


int RunTool(const std::string& args, const std::string& input, std::string* out) {
  std::string in_file = std::filesystem::temp_directory_path() / ("ocisqlite_in_" + std::to_string(getpid()));
  {
    std::ofstream f(in_file);
    f << input;
  }
  std::string cmd = std::string(OCISQLITE_TOOL) + " " + args + " < " + in_file + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  std::string text;
  std::array<char, 4096> buf{};
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) text.append(buf.data(), n);
  int status = pclose(p);
  std::filesystem::remove(in_file);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void OciTest::SetUp() {
  store_ = dir_.File("store.db");
  ASSERT_EQ(RunTool("create " + store_ + " manager"), 0);
  // A UTF-8 client, as the layer is: without a set named the client would be US7ASCII.
  ASSERT_EQ(OCIEnvNlsCreate(&env_, OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr, 873, 873), OCI_SUCCESS);
  ASSERT_EQ(OCIHandleAlloc(env_, reinterpret_cast<void**>(&err_), OCI_HTYPE_ERROR, 0, nullptr), OCI_SUCCESS);
  sword rc = 0;
  system_ = Logon("system", "manager", &rc);
  ASSERT_EQ(rc, OCI_SUCCESS) << ErrorText();
}

void OciTest::TearDown() {
  if (env_) OCIHandleFree(env_, OCI_HTYPE_ENV);
}

Session OciTest::Logon(const std::string& user, const std::string& password, sword* status,
                       const std::string& store) {
  Session s;
  std::string path = store.empty() ? store_ : store;
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&s.srv), OCI_HTYPE_SERVER, 0, nullptr);
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&s.svc), OCI_HTYPE_SVCCTX, 0, nullptr);
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&s.ses), OCI_HTYPE_SESSION, 0, nullptr);
  sword rc = OCIServerAttach(s.srv, err_, reinterpret_cast<const OraText*>(path.c_str()),
                             static_cast<sb4>(path.size()), OCI_DEFAULT);
  if (rc == OCI_SUCCESS) {
    OCIAttrSet(s.svc, OCI_HTYPE_SVCCTX, s.srv, 0, OCI_ATTR_SERVER, err_);
    OCIAttrSet(s.svc, OCI_HTYPE_SVCCTX, s.ses, 0, OCI_ATTR_SESSION, err_);
    OCIAttrSet(s.ses, OCI_HTYPE_SESSION, const_cast<char*>(user.data()), static_cast<ub4>(user.size()),
               OCI_ATTR_USERNAME, err_);
    OCIAttrSet(s.ses, OCI_HTYPE_SESSION, const_cast<char*>(password.data()),
               static_cast<ub4>(password.size()), OCI_ATTR_PASSWORD, err_);
    rc = OCISessionBegin(s.svc, err_, s.ses, OCI_CRED_RDBMS, OCI_DEFAULT);
  }
  if (status) *status = rc;
  return s;
}

void OciTest::Logoff(Session& s) {
  OCISessionEnd(s.svc, err_, s.ses, OCI_DEFAULT);
  OCIServerDetach(s.srv, err_, OCI_DEFAULT);
  OCIHandleFree(s.ses, OCI_HTYPE_SESSION);
  OCIHandleFree(s.svc, OCI_HTYPE_SVCCTX);
  OCIHandleFree(s.srv, OCI_HTYPE_SERVER);
  s = Session();
}

sword OciTest::Exec(Session& s, const std::string& sql, OCIStmt** keep, ub4 mode) {
  OCIStmt* st = nullptr;
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
  OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()),
                 OCI_NTV_SYNTAX, OCI_DEFAULT);
  ub2 type = 0;
  OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, err_);
  sword rc = OCIStmtExecute(s.svc, st, err_, type == OCI_STMT_SELECT ? 0 : 1, 0, nullptr, nullptr, mode);
  if (keep) *keep = st;
  else OCIHandleFree(st, OCI_HTYPE_STMT);
  return rc;
}

void OciTest::MustExec(Session& s, const std::string& sql) {
  ASSERT_EQ(Exec(s, sql), OCI_SUCCESS) << sql << "\n" << ErrorText();
}

Rows OciTest::Query(Session& s, const std::string& sql) {
  Rows rows;
  OCIStmt* st = nullptr;
  sword rc = Exec(s, sql, &st);
  EXPECT_EQ(rc, OCI_SUCCESS) << sql << "\n" << ErrorText();
  if (rc != OCI_SUCCESS) {
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return rows;
  }
  ub4 n = 0;
  OCIAttrGet(st, OCI_HTYPE_STMT, &n, nullptr, OCI_ATTR_PARAM_COUNT, err_);
  std::vector<std::array<char, 4001>> bufs(n);
  std::vector<sb2> ind(n);
  for (ub4 i = 0; i < n; ++i)
    OCIDefineByPos(st, nullptr, err_, i + 1, bufs[i].data(), 4001, SQLT_STR, &ind[i], nullptr, nullptr,
                   OCI_DEFAULT);
  while ((rc = OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT)) == OCI_SUCCESS) {
    std::vector<std::string> row;
    for (ub4 i = 0; i < n; ++i) row.push_back(ind[i] == -1 ? "<null>" : bufs[i].data());
    rows.push_back(row);
  }
  EXPECT_EQ(rc, OCI_NO_DATA) << ErrorText();
  OCIHandleFree(st, OCI_HTYPE_STMT);
  return rows;
}

int OciTest::ErrorCode() {
  sb4 code = 0;
  OCIErrorGet(err_, 1, nullptr, &code, nullptr, 0, OCI_HTYPE_ERROR);
  return code;
}

std::string OciTest::ErrorText() {
  char buf[4001] = {0};
  sb4 code = 0;
  OCIErrorGet(err_, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf, OCI_HTYPE_ERROR);
  return buf;
}

}  // namespace kavo::test
