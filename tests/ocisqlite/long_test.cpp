// LONG columns fetched in pieces through a dynamic define, as clients do.
#include <cstring>
#include <vector>

#include "testkit/oci_client.h"

namespace kavo::test {

namespace {

struct Pieces {
  std::vector<std::vector<char>> bufs;
  std::vector<ub4> lens;
  sb2 ind = 0;
  std::vector<ub1> kinds;

  std::string Value() const {
    std::string s;
    for (size_t i = 0; i < bufs.size(); ++i) s.append(bufs[i].data(), lens[i]);
    return s;
  }
};

// Piece sizes 4096, 8192, 16384, 32768, 32768, ... as the layer hands them out.
sb4 Callback(void* ctx, OCIDefine*, ub4, void** bufp, ub4** alenp, ub1* piecep, void** indp, ub2** rcodep) {
  auto* p = static_cast<Pieces*>(ctx);
  size_t size = p->bufs.empty() ? 4096 : std::min<size_t>(p->bufs.back().size() * 2, 32768);
  p->bufs.emplace_back(size);
  p->lens.push_back(static_cast<ub4>(size));
  p->kinds.push_back(*piecep);
  *bufp = p->bufs.back().data();
  *alenp = &p->lens.back();
  *indp = &p->ind;
  *rcodep = nullptr;
  return OCI_CONTINUE;
}

class LongTest : public OciTest {};

TEST_F(LongTest, LongValuesArriveInGrowingPieces) {
  MustExec(system_, "create table docs (id number, body long)");
  std::string big;
  for (int i = 0; big.size() < 70000; ++i) big += "line " + std::to_string(i) + "\n";
  OCIStmt* ins = nullptr;
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&ins), OCI_HTYPE_STMT, 0, nullptr);
  std::string sql = "insert into docs values (1, :body)";
  OCIStmtPrepare(ins, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
  OCIBindByName(ins, nullptr, err_, reinterpret_cast<const OraText*>(":body"), -1, big.data(),
                static_cast<sb4>(big.size()), SQLT_LNG, nullptr, nullptr, nullptr, 0, nullptr, 0);
  ASSERT_EQ(OCIStmtExecute(system_.svc, ins, err_, 1, 0, nullptr, nullptr, 0), OCI_SUCCESS) << ErrorText();
  OCIHandleFree(ins, OCI_HTYPE_STMT);
  MustExec(system_, "insert into docs values (2, null)");

  OCIStmt* st = nullptr;
  ASSERT_EQ(Exec(system_, "select body from docs order by id", &st), OCI_SUCCESS);
  OCIDefine* def = nullptr;
  ASSERT_EQ(OCIDefineByPos(st, &def, err_, 1, nullptr, 2147483647, SQLT_LNG, nullptr, nullptr, nullptr, OCI_DYNAMIC_FETCH), OCI_SUCCESS);
  Pieces p;
  ASSERT_EQ(OCIDefineDynamic(def, err_, &p, Callback), OCI_SUCCESS);
  ASSERT_EQ(OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS) << ErrorText();
  EXPECT_EQ(p.Value(), big);
  ASSERT_GE(p.bufs.size(), 4u);
  EXPECT_EQ(p.bufs[0].size(), 4096u);
  EXPECT_EQ(p.bufs[3].size(), 32768u);
  EXPECT_EQ(p.kinds[0], OCI_FIRST_PIECE);
  EXPECT_EQ(p.kinds[1], OCI_NEXT_PIECE);
  EXPECT_EQ(p.ind, 0);
  Pieces second;
  OCIDefineDynamic(def, err_, &second, Callback);
  ASSERT_EQ(OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS);
  EXPECT_EQ(second.ind, -1);
  EXPECT_EQ(second.Value(), "");
  EXPECT_EQ(OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0), OCI_NO_DATA);
  OCIHandleFree(st, OCI_HTYPE_STMT);
}

TEST_F(LongTest, RawAndLongRawKeepTheirBytes) {
  MustExec(system_, "create table bin (r raw(4), lr long raw)");
  OCIStmt* ins = nullptr;
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&ins), OCI_HTYPE_STMT, 0, nullptr);
  std::string sql = "insert into bin values (:r, :lr)";
  OCIStmtPrepare(ins, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
  unsigned char r[4] = {0x00, 0xFF, 0x10, 0x7F};
  std::vector<unsigned char> lr(10000);
  for (size_t i = 0; i < lr.size(); ++i) lr[i] = static_cast<unsigned char>(i * 7);
  OCIBindByPos(ins, nullptr, err_, 1, r, 4, SQLT_BIN, nullptr, nullptr, nullptr, 0, nullptr, 0);
  OCIBindByPos(ins, nullptr, err_, 2, lr.data(), static_cast<sb4>(lr.size()), SQLT_LBI, nullptr, nullptr, nullptr, 0, nullptr, 0);
  ASSERT_EQ(OCIStmtExecute(system_.svc, ins, err_, 1, 0, nullptr, nullptr, 0), OCI_SUCCESS) << ErrorText();
  OCIHandleFree(ins, OCI_HTYPE_STMT);
  EXPECT_EQ(Query(system_, "select r from bin"), (Rows{{"00FF107F"}}));
  OCIStmt* st = nullptr;
  ASSERT_EQ(Exec(system_, "select r, lr from bin", &st), OCI_SUCCESS);
  unsigned char rout[4];
  std::vector<unsigned char> lrout(20000);
  ub2 rlen = 0;
  OCIDefineByPos(st, nullptr, err_, 1, rout, 4, SQLT_BIN, nullptr, &rlen, nullptr, 0);
  OCIDefineByPos(st, nullptr, err_, 2, lrout.data(), 20000, SQLT_LBI, nullptr, nullptr, nullptr, 0);
  ASSERT_EQ(OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS) << ErrorText();
  EXPECT_EQ(rlen, 4);
  EXPECT_EQ(std::memcmp(rout, r, 4), 0);
  EXPECT_EQ(std::memcmp(lrout.data(), lr.data(), lr.size()), 0);
  OCIHandleFree(st, OCI_HTYPE_STMT);
}

}  // namespace
}  // namespace kavo::test
