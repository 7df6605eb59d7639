// A small OCI client for the tests: stores made by the admin tool, sessions
// through OCIServerAttach/OCISessionBegin, and statements run as a real client
// runs them, so every test exercises the library only through its C interface.
#ifndef KAVO_TESTKIT_OCI_CLIENT_H_
#define KAVO_TESTKIT_OCI_CLIENT_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "oci.h"
#include "testkit/temp_dir.h"

namespace kavo::test {


using Rows = std::vector<std::vector<std::string>>;

// Runs the admin tool; returns its exit code and fills out with its output.
int RunTool(const std::string& args, const std::string& input = "", std::string* out = nullptr);

struct Session {
  OCIServer* srv = nullptr;
  OCISvcCtx* svc = nullptr;
  OCISession* ses = nullptr;
};

class OciTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Logs on; the status of OCISessionBegin (or attach) goes to *status.
  Session Logon(const std::string& user, const std::string& password, sword* status = nullptr,
                const std::string& store = "");
  void Logoff(Session& s);

  // Prepares and executes (iterations 0 for a query, else 1). Returns the status.
  sword Exec(Session& s, const std::string& sql, OCIStmt** keep = nullptr, ub4 mode = OCI_DEFAULT);
  void MustExec(Session& s, const std::string& sql);
  // All rows of a query, each column fetched as text (NULL as "<null>").
  Rows Query(Session& s, const std::string& sql);

  int ErrorCode();
  std::string ErrorText();

  TempDir dir_{"/tmp/ocisqlite_test_"};
  std::string store_;
  OCIEnv* env_ = nullptr;
  OCIError* err_ = nullptr;
  Session system_;
};

}  // namespace kavo::test

#endif
