// What a current OCI client (ODPI-C) asks of the library besides SQL: its
// version, thread keys, character sets, session and server attributes, the
// server's release, NUMBER bytes, OCIDate and OCIDateTime values, describe
// handles and RETURNING through bind callbacks.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "testkit/oci_client.h"

namespace kavo::test {

namespace {

class ClientTest : public OciTest {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);  // zoned values are compared in the session's zone
    tzset();
    OciTest::SetUp();
    MustExec(system_, "create table v (k number, n number, d date, s varchar2(20))");
  }
  OCIStmt* Prepare(const std::string& sql) {
    OCIStmt* st = nullptr;
    OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
    return st;
  }
  sword BindPos(OCIStmt* st, ub4 pos, void* value, sb4 size, ub2 dty, sb2* ind = nullptr, ub2* len = nullptr) {
    OCIBind* b = nullptr;
    return OCIBindByPos(st, &b, err_, pos, value, size, dty, ind, len, nullptr, 0, nullptr, 0);
  }
  // The first row's first column defined as dty into buf.
  sword FetchOne(const std::string& sql, void* buf, sb4 size, ub2 dty, ub2* len = nullptr) {
    OCIStmt* st = Prepare(sql);
    sb2 ind = 0;
    sword rc = OCIStmtExecute(system_.svc, st, err_, 0, 0, nullptr, nullptr, 0);
    if (rc == OCI_SUCCESS) rc = OCIDefineByPos(st, nullptr, err_, 1, buf, size, dty, &ind, len, nullptr, 0);
    if (rc == OCI_SUCCESS) rc = OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0);
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return rc;
  }
};

TEST_F(ClientTest, VersionThreadKeysAndCharacterSets) {
  sword major = 0, minor = 0, update = -1, patch = -1, port = -1;
  OCIClientVersion(&major, &minor, &update, &patch, &port);
  EXPECT_GE(major * 100 + minor, 1102);
  OCIThreadProcessInit();
  OCIThreadKey* key = nullptr;
  ASSERT_EQ(OCIThreadKeyInit(env_, err_, &key, nullptr), OCI_SUCCESS);
  int x = 0;
  void* got = nullptr;
  EXPECT_EQ(OCIThreadKeySet(env_, err_, key, &x), OCI_SUCCESS);
  EXPECT_EQ(OCIThreadKeyGet(env_, err_, key, &got), OCI_SUCCESS);
  EXPECT_EQ(got, &x);
  EXPECT_EQ(OCIThreadKeyDestroy(env_, err_, &key), OCI_SUCCESS);

  OraText name[32];
  ASSERT_EQ(OCINlsCharSetIdToName(env_, name, sizeof name, 873), OCI_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(name), "AL32UTF8");
  EXPECT_EQ(OCINlsCharSetIdToName(env_, name, sizeof name, 9999), OCI_ERROR);
  EXPECT_EQ(OCINlsCharSetNameToId(env_, reinterpret_cast<const OraText*>("al16utf16")), 2000);
  EXPECT_EQ(OCINlsCharSetNameToId(env_, reinterpret_cast<const OraText*>("KLINGON")), 0);
  sb4 max_bytes = 0;
  EXPECT_EQ(OCINlsNumericInfoGet(env_, err_, &max_bytes, OCI_NLS_CHARSET_MAXBYTESZ), OCI_SUCCESS);
  EXPECT_EQ(max_bytes, 4);

  // The environment reports the sets it was made with (none named and no
  // NLS_LANG: US7ASCII); UTF-16 text is not taken.
  unsetenv("NLS_LANG");
  struct { ub2 cs, ncs; sword rc; ub2 want_cs, want_ncs; } envs[] = {
      {0, 0, OCI_SUCCESS, 1, 1}, {873, 2000, OCI_SUCCESS, 873, 2000},
      {31, 0, OCI_SUCCESS, 31, 31}, {1000, 1000, OCI_ERROR, 0, 0}, {4242, 0, OCI_ERROR, 0, 0}};
  for (const auto& e : envs) {
    OCIEnv* env = nullptr;
    ASSERT_EQ(OCIEnvNlsCreate(&env, OCI_THREADED, nullptr, nullptr, nullptr, nullptr, 0, nullptr, e.cs, e.ncs), e.rc) << e.cs;
    if (e.rc != OCI_SUCCESS) continue;
    ub2 cs = 0, ncs = 0;
    EXPECT_EQ(OCIAttrGet(env, OCI_HTYPE_ENV, &cs, nullptr, OCI_ATTR_ENV_CHARSET_ID, nullptr), OCI_SUCCESS);
    EXPECT_EQ(OCIAttrGet(env, OCI_HTYPE_ENV, &ncs, nullptr, OCI_ATTR_ENV_NCHARSET_ID, nullptr), OCI_SUCCESS);
    EXPECT_EQ(cs, e.want_cs);
    EXPECT_EQ(ncs, e.want_ncs);
    OCIHandleFree(env, OCI_HTYPE_ENV);
  }
}

TEST_F(ClientTest, SessionAndServerAttributesAndRelease) {
  struct { ub4 attr; const char* value; } attrs[] = {{OCI_ATTR_DRIVER_NAME, "node-oracledb : 6"},
                                                     {OCI_ATTR_MODULE, "tests"},
                                                     {OCI_ATTR_CLIENT_IDENTIFIER, "me"}};
  for (const auto& a : attrs) {
    ASSERT_EQ(OCIAttrSet(system_.ses, OCI_HTYPE_SESSION, const_cast<char*>(a.value), static_cast<ub4>(std::strlen(a.value)), a.attr, err_), OCI_SUCCESS);
    const char* back = nullptr;
    ub4 size = 0;
    ASSERT_EQ(OCIAttrGet(system_.ses, OCI_HTYPE_SESSION, &back, &size, a.attr, err_), OCI_SUCCESS);
    EXPECT_EQ(std::string(back, size), a.value);
  }
  ub2 cs = 0;
  EXPECT_EQ(OCIAttrGet(system_.srv, OCI_HTYPE_SERVER, &cs, nullptr, OCI_ATTR_CHARSET_ID, err_), OCI_SUCCESS);
  EXPECT_EQ(cs, 873);
  EXPECT_EQ(OCIPing(system_.svc, err_, 0), OCI_SUCCESS);

  // The release as a number: 8 bits major, 4 minor, 8 update, 4 port release, 8 port update.
  struct { const char* release; ub4 want; } releases[] = {{nullptr, 0x0B200400}, {"19.3.0.0.0", 0x13300000}};
  for (const auto& r : releases) {
    if (r.release) {
      ASSERT_EQ(RunTool(std::string("set ") + store_ + " release " + r.release), 0);
    }
    Session s = Logon("system", "manager");
    OraText banner[256];
    ub4 version = 0;
    ASSERT_EQ(OCIServerRelease(s.svc, err_, banner, sizeof banner, OCI_HTYPE_SVCCTX, &version), OCI_SUCCESS) << ErrorText();
    EXPECT_EQ(version, r.want);
    EXPECT_NE(std::string(reinterpret_cast<char*>(banner)).find("Oracle Database"), std::string::npos);
    Logoff(s);
  }
}

// NUMBER in Oracle's own bytes both ways, and OCINumber's conversions.
TEST_F(ClientTest, NumberBytesBothWays) {
  struct { const char* literal; std::vector<unsigned char> bytes; } cases[] = {
      {"0", {0x80}},
      {"1", {0xC1, 0x02}},
      {"100", {0xC2, 0x02}},
      {"0.5", {0xC0, 0x33}},
      {"-1", {0x3E, 0x64, 0x66}},
      {"123.45", {0xC2, 0x02, 0x18, 0x2E}},
      {"-123.45", {0x3D, 0x64, 0x4E, 0x38, 0x66}},
      {"12345678901234", {0xC7, 0x0D, 0x23, 0x39, 0x4F, 0x5B, 0x0D, 0x23}},
  };
  int k = 0;
  for (const auto& c : cases) {
    unsigned char buf[22] = {};
    ub2 len = 0;
    ASSERT_EQ(FetchOne(std::string("select ") + c.literal + " from dual", buf, 22, SQLT_VNU), OCI_SUCCESS) << c.literal;
    EXPECT_EQ(std::vector<unsigned char>(buf + 1, buf + 1 + buf[0]), c.bytes) << c.literal;
    ASSERT_EQ(FetchOne(std::string("select ") + c.literal + " from dual", buf, 22, SQLT_NUM, &len), OCI_SUCCESS);
    EXPECT_EQ(std::vector<unsigned char>(buf, buf + len), c.bytes) << c.literal;
    // Bound back as SQLT_NUM (length given) and as SQLT_VNU (length in front).
    OCIStmt* st = Prepare("insert into v (k, n) values (:1, :2)");
    unsigned char vnu[22] = {static_cast<unsigned char>(c.bytes.size())};
    std::memcpy(vnu + 1, c.bytes.data(), c.bytes.size());
    int key = ++k;
    ub2 num_len = static_cast<ub2>(c.bytes.size());
    ASSERT_EQ(BindPos(st, 1, &key, sizeof key, SQLT_INT), OCI_SUCCESS);
    ASSERT_EQ(k % 2 ? BindPos(st, 2, vnu, 22, SQLT_VNU) : BindPos(st, 2, vnu + 1, 21, SQLT_NUM, nullptr, &num_len),
              OCI_SUCCESS);
    EXPECT_EQ(OCIStmtExecute(system_.svc, st, err_, 1, 0, nullptr, nullptr, 0), OCI_SUCCESS) << ErrorText();
    OCIHandleFree(st, OCI_HTYPE_STMT);
    EXPECT_EQ(Query(system_, "select to_char(n) from v where k = " + std::to_string(key)),
              (Rows{{std::string(c.literal).rfind("0.", 0) == 0 ? c.literal + 1 : c.literal}}));
  }
  OCINumber n;
  const double real = -2.5;
  ASSERT_EQ(OCINumberFromReal(err_, &real, sizeof real, &n), OCI_SUCCESS);
  int32_t i32 = 0;
  double back = 0;
  EXPECT_EQ(OCINumberToReal(err_, &n, sizeof back, &back), OCI_SUCCESS);
  EXPECT_EQ(back, -2.5);
  const int64_t big = 5000000000;
  ASSERT_EQ(OCINumberFromInt(err_, &big, sizeof big, OCI_NUMBER_SIGNED, &n), OCI_SUCCESS);
  EXPECT_EQ(OCINumberToInt(err_, &n, sizeof i32, OCI_NUMBER_SIGNED, &i32), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1455);
  int64_t i64 = 0;
  EXPECT_EQ(OCINumberToInt(err_, &n, sizeof i64, OCI_NUMBER_SIGNED, &i64), OCI_SUCCESS);
  EXPECT_EQ(i64, big);
}

// OCIDate and the OCIDateTime kinds into a DATE column and back; a zoned
// value lands in the session's zone, a fraction is dropped by DATE.
TEST_F(ClientTest, DatesAndTimestampsThroughDescriptors) {
  OCIDate od{};
  od.OCIDateYYYY = 2024, od.OCIDateMM = 7, od.OCIDateDD = 4;
  od.OCIDateTime.OCITimeHH = 15, od.OCIDateTime.OCITimeMI = 5, od.OCIDateTime.OCITimeSS = 9;
  OCIDateTime* ts[3] = {};
  const ub4 kinds[3] = {OCI_DTYPE_TIMESTAMP, OCI_DTYPE_TIMESTAMP_TZ, OCI_DTYPE_TIMESTAMP_LTZ};
  const ub2 types[3] = {SQLT_TIMESTAMP, SQLT_TIMESTAMP_TZ, SQLT_TIMESTAMP_LTZ};
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(OCIDescriptorAlloc(env_, reinterpret_cast<void**>(&ts[i]), kinds[i], 0, nullptr), OCI_SUCCESS);
    OraText zone[] = "+02:00";
    ASSERT_EQ(OCIDateTimeConstruct(env_, err_, ts[i], 2024, 7, 4, 15, 5, 9, 500000000,
                                   kinds[i] == OCI_DTYPE_TIMESTAMP ? nullptr : zone, kinds[i] == OCI_DTYPE_TIMESTAMP ? 0 : 6),
              OCI_SUCCESS) << ErrorText();
  }
  OCIStmt* st = Prepare("insert into v (k, d) values (:1, :2)");
  int key = 1;
  ASSERT_EQ(BindPos(st, 1, &key, sizeof key, SQLT_INT), OCI_SUCCESS);
  ASSERT_EQ(BindPos(st, 2, &od, sizeof od, SQLT_ODT), OCI_SUCCESS);
  ASSERT_EQ(OCIStmtExecute(system_.svc, st, err_, 1, 0, nullptr, nullptr, 0), OCI_SUCCESS) << ErrorText();
  for (int i = 0; i < 3; ++i) {
    key = i + 2;
    ASSERT_EQ(BindPos(st, 2, &ts[i], sizeof(void*), types[i]), OCI_SUCCESS);
    ASSERT_EQ(OCIStmtExecute(system_.svc, st, err_, 1, 0, nullptr, nullptr, 0), OCI_SUCCESS) << ErrorText();
  }
  od.OCIDateMM = 13;
  ASSERT_EQ(BindPos(st, 2, &od, sizeof od, SQLT_ODT), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtExecute(system_.svc, st, err_, 1, 0, nullptr, nullptr, 0), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1843);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  EXPECT_EQ(Query(system_, "select to_char(d, 'yyyy-mm-dd hh24:mi:ss') from v order by k"),
            (Rows{{"2024-07-04 15:05:09"}, {"2024-07-04 15:05:09"}, {"2024-07-04 13:05:09"}, {"2024-07-04 13:05:09"}}));

  // Back: a DATE into an OCIDate and into each OCIDateTime kind.
  OCIDate out{};
  ASSERT_EQ(FetchOne("select d from v where k = 1", &out, sizeof out, SQLT_ODT), OCI_SUCCESS);
  EXPECT_EQ(out.OCIDateYYYY, 2024);
  EXPECT_EQ(out.OCIDateTime.OCITimeSS, 9);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(FetchOne("select d from v where k = 3", &ts[i], sizeof(void*), types[i]), OCI_SUCCESS) << ErrorText();
    sb2 y = 0;
    ub1 mo = 0, d = 0, h = 0, mi = 0, s = 0;
    ub4 fsec = 1;
    EXPECT_EQ(OCIDateTimeGetDate(env_, err_, ts[i], &y, &mo, &d), OCI_SUCCESS);
    EXPECT_EQ(OCIDateTimeGetTime(env_, err_, ts[i], &h, &mi, &s, &fsec), OCI_SUCCESS);
    EXPECT_EQ((std::vector<int>{y, mo, d, h, mi, s, static_cast<int>(fsec)}), (std::vector<int>{2024, 7, 4, 13, 5, 9, 0}));
    sb1 tzh = 1, tzm = 1;
    EXPECT_EQ(OCIDateTimeGetTimeZoneOffset(env_, err_, ts[i], &tzh, &tzm), i == 0 ? OCI_ERROR : OCI_SUCCESS);
    if (i > 0) {
      EXPECT_EQ(tzh * 60 + tzm, 0);  // the session's zone is UTC here
    }
  }
  for (auto* t : ts) OCIDescriptorFree(t, OCI_DTYPE_TIMESTAMP);
  // Arrays of descriptors are freed by their first slot.
  void* array[4] = {};
  ASSERT_EQ(OCIArrayDescriptorAlloc(env_, array, OCI_DTYPE_TIMESTAMP, 4, 0, nullptr), OCI_SUCCESS);
  EXPECT_EQ(OCIArrayDescriptorFree(array, OCI_DTYPE_TIMESTAMP), OCI_SUCCESS);
  EXPECT_EQ(OCIArrayDescriptorFree(array, OCI_DTYPE_TIMESTAMP), OCI_INVALID_HANDLE);
}

struct Returned {
  std::vector<std::string> values;
  char buf[4][32];
  ub4 len[4];
  sb2 ind[4];
  ub4 rows = 0;
};

sb4 NoInput(void*, OCIBind*, ub4, ub4, void** buf, ub4* len, ub1* piece, void** ind) {
  static sb2 null = -1;
  *buf = nullptr, *len = 0, *piece = OCI_ONE_PIECE, *ind = &null;
  return OCI_CONTINUE;
}

sb4 Output(void* ctx, OCIBind* bind, ub4, ub4 index, void** buf, ub4** len, ub1* piece, void** ind, ub2** rcode) {
  auto* r = static_cast<Returned*>(ctx);
  if (index == 0) OCIAttrGet(bind, OCI_HTYPE_BIND, &r->rows, nullptr, OCI_ATTR_ROWS_RETURNED, nullptr);
  r->len[index] = sizeof r->buf[index];
  *buf = r->buf[index], *len = &r->len[index], *piece = OCI_ONE_PIECE, *ind = &r->ind[index], *rcode = nullptr;
  return OCI_CONTINUE;
}

TEST_F(ClientTest, DescribeHandlesAndReturningThroughCallbacks) {
  MustExec(system_, "insert into v (k, s) values (1, 'one')");
  MustExec(system_, "insert into v (k, s) values (2, 'two')");
  OCIStmt* st = Prepare("update v set n = k * 10 where k > 0 returning s into :out");
  ub1 returning = 0;
  EXPECT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, &returning, nullptr, OCI_ATTR_STMT_IS_RETURNING, err_), OCI_SUCCESS);
  EXPECT_EQ(returning, 1);
  OCIBind* b = nullptr;
  ASSERT_EQ(OCIBindByName(st, &b, err_, reinterpret_cast<const OraText*>(":out"), -1, nullptr, 32, SQLT_CHR,
                          nullptr, nullptr, nullptr, 0, nullptr, OCI_DATA_AT_EXEC), OCI_SUCCESS) << ErrorText();
  Returned r;
  ASSERT_EQ(OCIBindDynamic(b, err_, nullptr, NoInput, &r, Output), OCI_SUCCESS);
  ASSERT_EQ(OCIStmtExecute(system_.svc, st, err_, 1, 0, nullptr, nullptr, 0), OCI_SUCCESS) << ErrorText();
  ASSERT_EQ(r.rows, 2u);
  std::vector<std::string> got = {std::string(r.buf[0], r.len[0]), std::string(r.buf[1], r.len[1])};
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::string>{"one", "two"}));
  OCIHandleFree(st, OCI_HTYPE_STMT);

  st = Prepare("select k, d from v");
  EXPECT_EQ(OCIAttrGet(st, OCI_HTYPE_STMT, &returning, nullptr, OCI_ATTR_STMT_IS_RETURNING, err_), OCI_SUCCESS);
  EXPECT_EQ(returning, 0);
  ASSERT_EQ(OCIStmtExecute(system_.svc, st, err_, 0, 0, nullptr, nullptr, OCI_DESCRIBE_ONLY), OCI_SUCCESS);
  void* param = nullptr;
  ASSERT_EQ(OCIParamGet(st, OCI_HTYPE_STMT, err_, &param, 2), OCI_SUCCESS);
  ub2 type = 0;
  EXPECT_EQ(OCIAttrGet(param, OCI_HTYPE_DESCRIBE, &type, nullptr, OCI_ATTR_DATA_TYPE, err_), OCI_SUCCESS);
  EXPECT_EQ(type, SQLT_DAT);
  OCIHandleFree(st, OCI_HTYPE_STMT);
}

// A temporary CLOB written and bound, read back through a fetched locator in
// characters (a surrogate pair counts two, as in Oracle); a fetched locator is
// a copy and refuses writes; TIMESTAMP(3) rounds its fraction.
TEST_F(ClientTest, LobLocatorsAndTimestampColumns) {
  MustExec(system_, "create table lobs (k number, c clob, t timestamp(3))");
  OCILobLocator* temp = nullptr;
  ASSERT_EQ(OCIDescriptorAlloc(env_, reinterpret_cast<void**>(&temp), OCI_DTYPE_LOB, 0, nullptr), OCI_SUCCESS);
  oraub8 len = 0;
  EXPECT_EQ(OCILobGetLength2(system_.svc, err_, temp, &len), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 22275);
  ASSERT_EQ(OCILobCreateTemporary(system_.svc, err_, temp, 0, SQLCS_IMPLICIT, 2, 0, 10), OCI_SUCCESS);
  std::string text = "a\xf0\x9d\x84\x9e" + std::string(70000, 'x') + "\xc3\xa7";
  oraub8 bytes = text.size(), chars = 0;
  ASSERT_EQ(OCILobWrite2(system_.svc, err_, temp, &bytes, &chars, 1, text.data(), text.size(), OCI_ONE_PIECE, nullptr,
                         nullptr, 0, SQLCS_IMPLICIT), OCI_SUCCESS) << ErrorText();
  ASSERT_EQ(OCILobTrim2(system_.svc, err_, temp, 70003), OCI_SUCCESS);
  OCIStmt* st = Prepare("insert into lobs (k, c, t) values (1, :1, to_date('2024-01-01 10:00:00', 'yyyy-mm-dd hh24:mi:ss'))");
  ASSERT_EQ(BindPos(st, 1, &temp, sizeof temp, SQLT_CLOB), OCI_SUCCESS);
  ASSERT_EQ(OCIStmtExecute(system_.svc, st, err_, 1, 0, nullptr, nullptr, 0), OCI_SUCCESS) << ErrorText();
  OCIHandleFree(st, OCI_HTYPE_STMT);
  MustExec(system_, "insert into lobs (k, t) values (2, '2024-01-01 10:00:00.12351')");
  MustExec(system_, "insert into lobs (k, t) values (3, '2024-01-01 10:00:59.99951')");

  OCILobLocator* got = nullptr;
  ASSERT_EQ(OCIDescriptorAlloc(env_, reinterpret_cast<void**>(&got), OCI_DTYPE_LOB, 0, nullptr), OCI_SUCCESS);
  ASSERT_EQ(FetchOne("select c from lobs where k = 1", &got, sizeof got, SQLT_CLOB), OCI_SUCCESS) << ErrorText();
  ASSERT_EQ(OCILobGetLength2(system_.svc, err_, got, &len), OCI_SUCCESS);
  EXPECT_EQ(len, 70003u);  // 1 + 2 + 70000: the trim cut the last character
  struct { oraub8 offset, amount; std::string want; } reads[] = {
      {1, 3, "a\xf0\x9d\x84\x9e"}, {2, 1, ""}, {4, 2, "xx"}, {70003, 5, "x"}};
  for (const auto& r : reads) {
    char buf[16] = {};
    oraub8 b = 0, c = r.amount;
    sword rc = OCILobRead2(system_.svc, err_, got, &b, &c, r.offset, buf, sizeof buf, OCI_ONE_PIECE, nullptr, nullptr, 0, SQLCS_IMPLICIT);
    EXPECT_EQ(rc, r.want.empty() ? OCI_NO_DATA : OCI_SUCCESS) << r.offset;
    EXPECT_EQ(std::string(buf, b), r.want) << r.offset;
  }
  bytes = 1;
  EXPECT_EQ(OCILobWrite2(system_.svc, err_, got, &bytes, &chars, 1, text.data(), 1, OCI_ONE_PIECE, nullptr, nullptr, 0,
                         SQLCS_IMPLICIT), OCI_ERROR);
  EXPECT_EQ(Query(system_, "select length(c) from lobs where k = 1"), (Rows{{"70002"}}));
  EXPECT_EQ(Query(system_, "select to_char(t), to_char(t, 'hh24:mi:ss') from lobs where k > 1 order by k"),
            (Rows{{"01-JAN-24 10.00.00.124000 AM", "10:00:00"}, {"01-JAN-24", "10:01:00"}}));
  OCILobFreeTemporary(system_.svc, err_, temp);
  OCIDescriptorFree(temp, OCI_DTYPE_LOB);
  OCIDescriptorFree(got, OCI_DTYPE_LOB);
}

// OPEN :c FOR a query in a block runs it on the client's statement handle,
// with the block's binds read at the open.
TEST_F(ClientTest, RefCursorOpensOnTheClientsStatement) {
  MustExec(system_, "insert into v (k, s) values (1, 'one')");
  MustExec(system_, "insert into v (k, s) values (2, 'two')");
  OCIStmt* block = Prepare("begin open :c for select s from v where k >= :low order by k; end;");
  OCIStmt* cursor = nullptr;
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&cursor), OCI_HTYPE_STMT, 0, nullptr);
  int low = 2;
  OCIBind *bc = nullptr, *bl = nullptr;
  ASSERT_EQ(OCIBindByName(block, &bc, err_, reinterpret_cast<const OraText*>(":c"), -1, &cursor, 0, SQLT_RSET,
                          nullptr, nullptr, nullptr, 0, nullptr, 0), OCI_SUCCESS);
  ASSERT_EQ(OCIBindByName(block, &bl, err_, reinterpret_cast<const OraText*>(":low"), -1, &low, sizeof low, SQLT_INT,
                          nullptr, nullptr, nullptr, 0, nullptr, 0), OCI_SUCCESS);
  ASSERT_EQ(OCIStmtExecute(system_.svc, block, err_, 1, 0, nullptr, nullptr, 0), OCI_SUCCESS) << ErrorText();
  low = 1;  // read at the open, not at the fetch
  ub4 columns = 0;
  EXPECT_EQ(OCIAttrGet(cursor, OCI_HTYPE_STMT, &columns, nullptr, OCI_ATTR_PARAM_COUNT, err_), OCI_SUCCESS);
  EXPECT_EQ(columns, 1u);
  char buf[2][8] = {};
  ASSERT_EQ(OCIDefineByPos(cursor, nullptr, err_, 1, buf, 8, SQLT_STR, nullptr, nullptr, nullptr, 0), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtFetch2(cursor, err_, 2, OCI_FETCH_NEXT, 0, 0), OCI_NO_DATA);
  EXPECT_STREQ(buf[0], "two");
  ub4 rows = 0;
  OCIAttrGet(cursor, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, err_);
  EXPECT_EQ(rows, 1u);
  // A variable that is no cursor cannot be opened.
  char text[8] = "x";
  ASSERT_EQ(OCIBindByName(block, &bc, err_, reinterpret_cast<const OraText*>(":c"), -1, text, 8, SQLT_STR,
                          nullptr, nullptr, nullptr, 0, nullptr, 0), OCI_SUCCESS);
  EXPECT_EQ(OCIStmtExecute(system_.svc, block, err_, 1, 0, nullptr, nullptr, 0), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 932);
  OCIHandleFree(cursor, OCI_HTYPE_STMT);
  OCIHandleFree(block, OCI_HTYPE_STMT);
}

// OCI_BATCH_ERRORS: the good rows of an array insert stay, each refused one
// is an error handle of its own with its row's offset.
TEST_F(ClientTest, BatchErrorsReportEveryRefusedRow) {
  MustExec(system_, "create table uniq (k number primary key)");
  MustExec(system_, "insert into uniq values (2)");
  OCIStmt* st = Prepare("insert into uniq values (:1)");
  int keys[5] = {1, 2, 3, 2, 4};
  ASSERT_EQ(BindPos(st, 1, keys, sizeof(int), SQLT_INT), OCI_SUCCESS);
  ASSERT_EQ(OCIStmtExecute(system_.svc, st, err_, 5, 0, nullptr, nullptr, OCI_BATCH_ERRORS), OCI_SUCCESS_WITH_INFO);
  EXPECT_EQ(ErrorCode(), 24381);
  ub4 errors = 0, rows = 0;
  OCIAttrGet(st, OCI_HTYPE_STMT, &errors, nullptr, OCI_ATTR_NUM_DML_ERRORS, err_);
  OCIAttrGet(st, OCI_HTYPE_STMT, &rows, nullptr, OCI_ATTR_ROW_COUNT, err_);
  EXPECT_EQ(errors, 2u);
  EXPECT_EQ(rows, 3u);
  OCIError* local = nullptr;
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&local), OCI_HTYPE_ERROR, 0, nullptr);
  for (ub4 i = 0; i < errors; ++i) {
    void* one = nullptr;
    ASSERT_EQ(OCIParamGet(err_, OCI_HTYPE_ERROR, local, &one, i), OCI_SUCCESS);
    ub4 offset = 99;
    sb4 code = 0;
    OCIAttrGet(one, OCI_HTYPE_ERROR, &offset, nullptr, OCI_ATTR_DML_ROW_OFFSET, local);
    OCIErrorGet(one, 1, nullptr, &code, nullptr, 0, OCI_HTYPE_ERROR);
    EXPECT_EQ(offset, i == 0 ? 1u : 3u);
    EXPECT_EQ(code, 1);
  }
  EXPECT_EQ(Query(system_, "select k from uniq order by k"), (Rows{{"1"}, {"2"}, {"3"}, {"4"}}));
  OCIHandleFree(local, OCI_HTYPE_ERROR);
  OCIHandleFree(st, OCI_HTYPE_STMT);
}

// A pool of one store: its credentials are proved at creation, each session
// it gives is counted until released, and more than its maximum are refused.
TEST_F(ClientTest, SessionPoolOfOneStore) {
  OCISPool* pool = nullptr;
  ASSERT_EQ(OCIHandleAlloc(env_, reinterpret_cast<void**>(&pool), OCI_HTYPE_SPOOL, 0, nullptr), OCI_SUCCESS);
  OraText* name = nullptr;
  ub4 name_len = 0;
  auto create = [&](const char* password) {
    return OCISessionPoolCreate(env_, err_, pool, &name, &name_len, reinterpret_cast<const OraText*>(store_.c_str()),
                                static_cast<ub4>(store_.size()), 0, 1, 1, reinterpret_cast<OraText*>(const_cast<char*>("system")), 6,
                                reinterpret_cast<OraText*>(const_cast<char*>(password)), static_cast<ub4>(std::strlen(password)), 0);
  };
  EXPECT_EQ(create("wrong"), OCI_ERROR);
  EXPECT_EQ(ErrorCode(), 1017);
  ASSERT_EQ(create("manager"), OCI_SUCCESS) << ErrorText();
  OCISvcCtx* svc = nullptr;
  ASSERT_EQ(OCISessionGet(env_, err_, &svc, nullptr, name, name_len, nullptr, 0, nullptr, nullptr, nullptr, OCI_SESSGET_SPOOL),
            OCI_SUCCESS) << ErrorText();
  ub4 busy = 0;
  OCIAttrGet(pool, OCI_HTYPE_SPOOL, &busy, nullptr, 310, err_);
  EXPECT_EQ(busy, 1u);
  OCISvcCtx* second = nullptr;
  EXPECT_EQ(OCISessionGet(env_, err_, &second, nullptr, name, name_len, nullptr, 0, nullptr, nullptr, nullptr, OCI_SESSGET_SPOOL),
            OCI_ERROR);
  OCIStmt* st = nullptr;
  OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
  const std::string sql = "select user from dual";
  OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
  char user[16] = {};
  ASSERT_EQ(OCIStmtExecute(svc, st, err_, 0, 0, nullptr, nullptr, 0), OCI_SUCCESS) << ErrorText();
  OCIDefineByPos(st, nullptr, err_, 1, user, sizeof user, SQLT_STR, nullptr, nullptr, nullptr, 0);
  EXPECT_EQ(OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0), OCI_SUCCESS);
  EXPECT_STREQ(user, "SYSTEM");
  OCIHandleFree(st, OCI_HTYPE_STMT);
  EXPECT_EQ(OCISessionRelease(svc, err_, nullptr, 0, 0), OCI_SUCCESS);
  OCIAttrGet(pool, OCI_HTYPE_SPOOL, &busy, nullptr, 310, err_);
  EXPECT_EQ(busy, 0u);
  EXPECT_EQ(OCISessionPoolDestroy(pool, err_, 0), OCI_SUCCESS);
  OCIHandleFree(pool, OCI_HTYPE_SPOOL);
}

}  // namespace

}  // namespace kavo::test
