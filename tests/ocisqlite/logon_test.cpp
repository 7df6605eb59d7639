// Attach, logon, banner and handle checking.
#include <atomic>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "testkit/oci_client.h"

namespace kavo::test {

namespace {

class LogonTest : public OciTest {};

TEST_F(LogonTest, WrongPasswordAndUnknownUserAreRefusedWith1017AndNoPasswordWith1005) {
  sword rc = 0;
  Logon("system", "wrong", &rc);
  EXPECT_EQ(rc, OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1017);
  EXPECT_EQ(ErrorText(), "ORA-01017: invalid username/password; logon denied\n");
  Logon("nobody", "manager", &rc);
  EXPECT_EQ(rc, OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1017);
  // Passwords are case-sensitive, user names are not.
  Logon("system", "MANAGER", &rc);
  EXPECT_EQ(ErrorCode(), 1017);
  Session ok = Logon("SyStEm", "manager", &rc);
  EXPECT_EQ(rc, OCI_SUCCESS);
  Logoff(ok);
  // A user name without a password is refused before any check of the user.
  for (const char* user : {"system", "nobody"}) {
    Logon(user, "", &rc);
    EXPECT_EQ(rc, OCI_ERROR);
    EXPECT_EQ(ErrorText(), "ORA-01005: null password given; logon denied\n") << user;
  }
}

TEST_F(LogonTest, MissingStoreFailsAttachWith12154) {
  sword rc = 0;
  Logon("system", "manager", &rc, dir_.File("nothere.db"));
  EXPECT_EQ(rc, OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-12154: TNS:could not resolve the connect identifier specified\n");
  // A file that is not a store is no better.
  std::string junk = dir_.File("junk.db");
  FILE* f = fopen(junk.c_str(), "w");
  fputs("not a database", f);
  fclose(f);
  Logon("system", "manager", &rc, junk);
  EXPECT_EQ(ErrorCode(), 12154);
}

TEST_F(LogonTest, ExpiringPasswordLogsOnWithInfo28002) {
  MustExec(system_, "create user scott identified by tiger");
  ASSERT_EQ(RunTool("expiring " + store_ + " scott 7"), 0);
  sword rc = 0;
  Session s = Logon("scott", "tiger", &rc);
  EXPECT_EQ(rc, OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(ErrorCode(), 28002);
  EXPECT_EQ(ErrorText(), "ORA-28002: the password will expire within 7 days\n");
  // The session is usable.
  EXPECT_EQ(Query(s, "select user from dual"), (Rows{{"SCOTT"}}));
  Logoff(s);
}

TEST_F(LogonTest, BannerFollowsTheStoreRelease) {
  char buf[501] = {0};
  ASSERT_EQ(OCIServerVersion(system_.srv, err_, reinterpret_cast<OraText*>(buf), sizeof buf, OCI_HTYPE_SERVER), OCI_SUCCESS);
  EXPECT_EQ(std::string(buf).rfind("Oracle Database 11g Enterprise Edition Release 11.2.0.4.0 - 64bit Production", 0), 0u) << buf;
  ASSERT_EQ(RunTool("set " + store_ + " release 19.0.0.0.0"), 0);
  ASSERT_EQ(OCIServerVersion(system_.svc, err_, reinterpret_cast<OraText*>(buf), sizeof buf, OCI_HTYPE_SVCCTX), OCI_SUCCESS);
  std::string upper = buf;
  for (char& c : upper) c = static_cast<char>(toupper(c));
  EXPECT_NE(upper.find("ORACLE DATABASE 19C"), std::string::npos) << buf;
  EXPECT_NE(upper.find("RELEASE 1"), std::string::npos);
  Rows v = Query(system_, "select * from v$version");
  ASSERT_EQ(v.size(), 5u);
  EXPECT_EQ(v[0][0].rfind("Oracle Database 19c", 0), 0u);
  ASSERT_EQ(RunTool("set " + store_ + " release 23.0.0.0.0"), 0);
  OCIServerVersion(system_.srv, err_, reinterpret_cast<OraText*>(buf), 40, OCI_HTYPE_SERVER);
  EXPECT_EQ(std::string(buf), "Oracle Database 23ai Enterprise Edition");  // cut to the buffer
}

TEST_F(LogonTest, BadHandlesAreRefusedWithoutCrashing) {
  EXPECT_EQ(OCIHandleAlloc(nullptr, nullptr, OCI_HTYPE_ERROR, 0, nullptr), OCI_INVALID_HANDLE);
  OCIStmt* st = nullptr;
  EXPECT_EQ(OCIHandleAlloc(err_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr), OCI_INVALID_HANDLE);
  // A handle used as the wrong type, a freed handle, and a null pointer.
  EXPECT_EQ(OCIStmtExecute(system_.svc, reinterpret_cast<OCIStmt*>(system_.ses), err_, 1, 0, nullptr, nullptr, 0), OCI_INVALID_HANDLE);
  ASSERT_EQ(OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr), OCI_SUCCESS);
  ASSERT_EQ(OCIHandleFree(st, OCI_HTYPE_STMT), OCI_SUCCESS);
  EXPECT_EQ(OCIHandleFree(st, OCI_HTYPE_STMT), OCI_INVALID_HANDLE);
  EXPECT_EQ(OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0), OCI_INVALID_HANDLE);
  EXPECT_EQ(OCIStmtPrepare(nullptr, err_, nullptr, 0, 1, 0), OCI_INVALID_HANDLE);
  EXPECT_EQ(OCIErrorGet(nullptr, 1, nullptr, nullptr, nullptr, 0, OCI_HTYPE_ERROR), OCI_INVALID_HANDLE);
  EXPECT_EQ(OCIAttrGet(nullptr, OCI_HTYPE_STMT, nullptr, nullptr, OCI_ATTR_ROW_COUNT, err_), OCI_INVALID_HANDLE);
  // Executing without a session.
  OCISvcCtx* bare = nullptr;
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&bare), OCI_HTYPE_SVCCTX, 0, nullptr);
  ASSERT_EQ(OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr), OCI_SUCCESS);
  OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>("select 1 from dual"), 18, 1, 0);
  EXPECT_EQ(OCIStmtExecute(bare, st, err_, 0, 0, nullptr, nullptr, 0), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1012);
}

// The check of a handle reads nothing it does not own: a pointer to memory
// that merely looks like a handle, into the middle of one, or at one freed and
// made again as another type is refused, however many handles there are and
// while other threads make and free theirs.
TEST_F(LogonTest, HandleChecksHoldForLookAlikesReusedMemoryManyHandlesAndThreads) {
  auto stmt_type = [&](const void* h) {
    ub2 type = 99;
    return OCIAttrGet(h, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, err_);
  };
  OCIStmt* live = nullptr;
  ASSERT_EQ(OCIHandleAlloc(env_, reinterpret_cast<void**>(&live), OCI_HTYPE_STMT, 0, nullptr), OCI_SUCCESS);
  ASSERT_EQ(stmt_type(live), OCI_SUCCESS);
  // A byte-for-byte copy of a live handle's start, on the heap and on the stack.
  alignas(16) unsigned char stack_copy[64];
  std::memcpy(stack_copy, live, sizeof stack_copy);
  std::vector<unsigned char> heap_copy(stack_copy, stack_copy + sizeof stack_copy);
  EXPECT_EQ(stmt_type(stack_copy), OCI_INVALID_HANDLE);
  EXPECT_EQ(stmt_type(heap_copy.data()), OCI_INVALID_HANDLE);
  for (ptrdiff_t off : {-16, -8, 8, 16})
    EXPECT_EQ(stmt_type(reinterpret_cast<const char*>(live) + off), OCI_INVALID_HANDLE) << off;
  EXPECT_EQ(OCIHandleFree(reinterpret_cast<char*>(live) + 8, OCI_HTYPE_STMT), OCI_INVALID_HANDLE);
  EXPECT_EQ(stmt_type(live), OCI_SUCCESS) << "untouched by the refused calls";

  // Freed, then memory made again for an error handle: the old pointer is no
  // statement, wherever the new handle lies.
  ASSERT_EQ(OCIHandleFree(live, OCI_HTYPE_STMT), OCI_SUCCESS);
  OCIError* other = nullptr;
  ASSERT_EQ(OCIHandleAlloc(env_, reinterpret_cast<void**>(&other), OCI_HTYPE_ERROR, 0, nullptr), OCI_SUCCESS);
  EXPECT_EQ(stmt_type(live), OCI_INVALID_HANDLE);
  EXPECT_EQ(OCIHandleFree(live, OCI_HTYPE_STMT), OCI_INVALID_HANDLE);
  EXPECT_EQ(OCIHandleFree(other, OCI_HTYPE_ERROR), OCI_SUCCESS);

  // Many at once, freed in an order of their own, every one refused after.
  std::vector<OCIStmt*> many(700);
  for (OCIStmt*& h : many)
    ASSERT_EQ(OCIHandleAlloc(env_, reinterpret_cast<void**>(&h), OCI_HTYPE_STMT, 0, nullptr), OCI_SUCCESS);
  std::set<OCIStmt*> distinct(many.begin(), many.end());
  EXPECT_EQ(distinct.size(), many.size());
  for (OCIStmt* h : many) EXPECT_EQ(stmt_type(h), OCI_SUCCESS);
  for (size_t i = 0; i < many.size(); ++i) {
    OCIStmt* h = many[(i * 3) % many.size()];  // 3 and 700 share no factor: each once
    ASSERT_EQ(OCIHandleFree(h, OCI_HTYPE_STMT), OCI_SUCCESS) << i;
  }
  for (OCIStmt* h : many) EXPECT_EQ(stmt_type(h), OCI_INVALID_HANDLE);

  // Threads making, checking and freeing their own handles side by side.
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      OCIError* err = nullptr;
      if (OCIHandleAlloc(env_, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr) != OCI_SUCCESS) {
        ++failures;
        return;
      }
      for (int round = 0; round < 300; ++round) {
        OCIStmt* a = nullptr;
        OCIStmt* b = nullptr;
        if (OCIHandleAlloc(env_, reinterpret_cast<void**>(&a), OCI_HTYPE_STMT, 0, nullptr) != OCI_SUCCESS ||
            OCIHandleAlloc(env_, reinterpret_cast<void**>(&b), OCI_HTYPE_STMT, 0, nullptr) != OCI_SUCCESS) {
          ++failures;
          continue;
        }
        ub4 rows = 1;
        if (OCIAttrGet(a, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, err) != OCI_SUCCESS || rows != 0)
          ++failures;
        if (OCIHandleFree(a, OCI_HTYPE_STMT) != OCI_SUCCESS) ++failures;
        if (OCIAttrGet(b, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, err) != OCI_SUCCESS) ++failures;
        if (OCIHandleFree(b, OCI_HTYPE_STMT) != OCI_SUCCESS) ++failures;
      }
      if (OCIHandleFree(err, OCI_HTYPE_ERROR) != OCI_SUCCESS) ++failures;
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
}

TEST_F(LogonTest, UnimplementedRoutinesReport3001AndEndsWithoutSessionFail) {
  ub4 amount = 0;
  EXPECT_EQ(OCIPasswordChange(system_.svc, err_, nullptr, 0, nullptr, 0, nullptr, 0, 0), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-03001: unimplemented feature\n");
  (void)amount;
  EXPECT_EQ(OCISvcCtxToLda(system_.svc, err_, nullptr), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 3001);
  // No error pending: OCIErrorGet reports no data.
  OCIError* fresh = nullptr;
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&fresh), OCI_HTYPE_ERROR, 0, nullptr);
  sb4 code = -1;
  EXPECT_EQ(OCIErrorGet(fresh, 1, nullptr, &code, nullptr, 0, OCI_HTYPE_ERROR), OCI_NO_DATA);
  EXPECT_EQ(code, 0);
}

TEST_F(LogonTest, StatementsOutliveTheirSessionSafely) {
  Session s = Logon("system", "manager");
  MustExec(s, "create table t (a number)");
  MustExec(s, "insert into t values (1)");
  OCIStmt* st = nullptr;
  ASSERT_EQ(Exec(s, "select a from t", &st), OCI_SUCCESS);
  int a = 0;
  OCIDefineByPos(st, nullptr, err_, 1, &a, sizeof a, SQLT_INT, nullptr, nullptr, nullptr, 0);
  ASSERT_EQ(OCISessionEnd(s.svc, err_, s.ses, OCI_DEFAULT), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1012);
  EXPECT_EQ(OCIStmtExecute(s.svc, st, err_, 0, 0, nullptr, nullptr, 0), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1012);
  EXPECT_EQ(OCISessionEnd(s.svc, err_, s.ses, OCI_DEFAULT), OCI_ERROR);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  // The uncommitted insert went with the session.
  EXPECT_EQ(Query(system_, "select count(*) from t"), (Rows{{"0"}}));
}

TEST_F(LogonTest, OCILogonAndLogoffMakeAUsableContext) {
  OCISvcCtx* svc = nullptr;
  ASSERT_EQ(OCILogon(env_, err_, &svc, reinterpret_cast<const OraText*>("system"), 6,
                     reinterpret_cast<const OraText*>("manager"), 7,
                     reinterpret_cast<const OraText*>(store_.c_str()), static_cast<ub4>(store_.size())),
            OCI_SUCCESS);
  Session s;
  s.svc = svc;
  EXPECT_EQ(Query(s, "select 'x' from dual"), (Rows{{"x"}}));
  EXPECT_EQ(OCILogoff(svc, err_), OCI_SUCCESS);
}

}  // namespace
}  // namespace kavo::test
