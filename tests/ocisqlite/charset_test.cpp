// Text in the character set a bind or define names (OCI_ATTR_CHARSET_ID):
// UTF-16 in the platform's order (OCI_UTF16ID) or big-endian (AL16UTF16),
// scalar and array, converted to and from the store's UTF-8.
#include <cstring>

#include "testkit/oci_client.h"

namespace kavo::test {

namespace {

constexpr ub2 kUtf16Id = 1000, kAl16Utf16 = 2000;

// "ção €𝄞": two-byte, three-byte and four-byte UTF-8 characters.
const std::string kUtf8 = "\xc3\xa7\xc3\xa3o \xe2\x82\xac\xf0\x9d\x84\x9e";
const std::u16string kUtf16 = u"ção €𝄞";

std::string Bytes16(const std::u16string& s, bool big_endian) {
  std::string out;
  for (char16_t c : s) {
    char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += big_endian ? hi : lo;
    out += big_endian ? lo : hi;
  }
  return out;
}

class CharsetTest : public OciTest {
 protected:
  void SetUp() override {
    OciTest::SetUp();
    MustExec(system_, "create table cs (k number, v varchar2(40), c char(12))");
  }

  OCIStmt* Prepare(const std::string& sql) {
    OCIStmt* st = nullptr;
    OCIHandleAlloc(env_, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    OCIStmtPrepare(st, err_, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
    return st;
  }
  void SetCharset(void* h, ub4 type, ub2 id) {
    ub1 form = 1;
    ASSERT_EQ(OCIAttrSet(h, type, &form, 0, OCI_ATTR_CHARSET_FORM, err_), OCI_SUCCESS);
    ASSERT_EQ(OCIAttrSet(h, type, &id, 0, OCI_ATTR_CHARSET_ID, err_), OCI_SUCCESS) << ErrorText();
  }
};

TEST_F(CharsetTest, Utf16BindsScalarAndArrayReachTheStoreAsText) {
  struct Case { ub2 id; ub2 dty; bool big; };
  const Case cases[] = {{kAl16Utf16, SQLT_CHR, true}, {kUtf16Id, SQLT_CHR, false},
                        {kAl16Utf16, SQLT_STR, true}, {kUtf16Id, SQLT_STR, false}};
  int k = 0;
  for (const Case& c : cases) {
    // Two elements of 40 bytes; SQLT_STR ends at a zero unit, SQLT_CHR at its length.
    char buf[2][40] = {};
    ub2 lens[2];
    const std::string values[2] = {Bytes16(kUtf16, c.big), Bytes16(u"x" + kUtf16, c.big)};
    for (int e = 0; e < 2; ++e) {
      std::memcpy(buf[e], values[e].data(), values[e].size());
      lens[e] = static_cast<ub2>(values[e].size());
    }
    int keys[2] = {++k, ++k};
    OCIStmt* st = Prepare("insert into cs (k, v) values (:k, :v)");
    OCIBind *bk = nullptr, *bv = nullptr;
    ASSERT_EQ(OCIBindByName(st, &bk, err_, reinterpret_cast<const OraText*>(":k"), -1, keys, sizeof(int), SQLT_INT,
                            nullptr, nullptr, nullptr, 0, nullptr, 0), OCI_SUCCESS);
    ASSERT_EQ(OCIBindByName(st, &bv, err_, reinterpret_cast<const OraText*>(":v"), -1, buf, 40, c.dty, nullptr,
                            c.dty == SQLT_CHR ? lens : nullptr, nullptr, 0, nullptr, 0), OCI_SUCCESS);
    SetCharset(bv, OCI_HTYPE_BIND, c.id);
    ub2 id = 0;
    OCIAttrGet(bv, OCI_HTYPE_BIND, &id, nullptr, OCI_ATTR_CHARSET_ID, err_);
    EXPECT_EQ(id, c.id);
    EXPECT_EQ(OCIStmtExecute(system_.svc, st, err_, 2, 0, nullptr, nullptr, 0), OCI_SUCCESS) << ErrorText();
    OCIHandleFree(st, OCI_HTYPE_STMT);
  }
  Rows want;
  for (int i = 0; i < 4; ++i) want.push_back({kUtf8}), want.push_back({"x" + kUtf8});
  EXPECT_EQ(Query(system_, "select v from cs order by k"), want);
  EXPECT_EQ(Query(system_, "select length(v) from cs where k = 1"), (Rows{{"6"}}));
}

TEST_F(CharsetTest, Utf16DefinesWholeCharactersTerminatedPaddedOrCut) {
  MustExec(system_, "insert into cs values (1, '" + kUtf8 + "', 'ab')");
  struct Case { ub2 id; ub2 dty; const char* column; sb4 size; std::u16string want; ub2 len; sword rc; };
  const Case cases[] = {
      {kAl16Utf16, SQLT_STR, "v", 40, kUtf16, 14, OCI_SUCCESS},
      {kUtf16Id, SQLT_STR, "v", 40, kUtf16, 14, OCI_SUCCESS},
      {kUtf16Id, SQLT_CHR, "v", 40, kUtf16, 14, OCI_SUCCESS},
      {kUtf16Id, SQLT_AFC, "c", 8, u"ab  ", 8, OCI_SUCCESS},
      // Cut at the room left by the terminator, never inside the surrogate pair.
      {kUtf16Id, SQLT_STR, "v", 10, u"ção ", 8, OCI_SUCCESS_WITH_INFO},
      {kUtf16Id, SQLT_STR, "v", 14, u"ção €", 10, OCI_SUCCESS_WITH_INFO},
      {kAl16Utf16, SQLT_CHR, "v", 13, u"ção €", 10, OCI_SUCCESS_WITH_INFO},
  };
  for (const Case& c : cases) {
    OCIStmt* st = Prepare(std::string("select ") + c.column + " from cs");
    ASSERT_EQ(OCIStmtExecute(system_.svc, st, err_, 0, 0, nullptr, nullptr, 0), OCI_SUCCESS);
    char buf[40];
    std::memset(buf, 0x55, sizeof buf);
    sb2 ind = 0;
    ub2 len = 0;
    OCIDefine* d = nullptr;
    ASSERT_EQ(OCIDefineByPos(st, &d, err_, 1, buf, c.size, c.dty, &ind, &len, nullptr, 0), OCI_SUCCESS);
    SetCharset(d, OCI_HTYPE_DEFINE, c.id);
    EXPECT_EQ(OCIStmtFetch2(st, err_, 1, OCI_FETCH_NEXT, 0, 0), c.rc) << c.size;
    const bool big = c.id == kAl16Utf16;
    EXPECT_EQ(std::string(buf, len), Bytes16(c.want, big)) << c.size;
    EXPECT_EQ(len, c.len);
    if (c.dty == SQLT_STR) {
      EXPECT_EQ(std::string(buf + len, 2), std::string(2, '\0'));
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);
  }
}

TEST_F(CharsetTest, AnUnknownCharacterSetIsRefused) {
  OCIStmt* st = Prepare("select v from cs");
  char buf[8];
  OCIDefine* d = nullptr;
  ASSERT_EQ(OCIDefineByPos(st, &d, err_, 1, buf, 8, SQLT_STR, nullptr, nullptr, nullptr, 0), OCI_SUCCESS);
  ub2 id = 9999;
  EXPECT_EQ(OCIAttrSet(d, OCI_HTYPE_DEFINE, &id, 0, OCI_ATTR_CHARSET_ID, err_), OCI_ERROR);
  EXPECT_EQ(ErrorText(), "ORA-12715: invalid character set specified\n");
  OCIHandleFree(st, OCI_HTYPE_STMT);
}

// A client in another character set: statement text, binds, defines, names
// and messages converted as Oracle converts them, with Oracle's replacement
// of what the client's set cannot hold. The set comes from OCIEnvNlsCreate,
// else from NLS_LANG, else it is US7ASCII.
struct Client {
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OCISvcCtx* svc = nullptr;
};

class ClientCharsetTest : public CharsetTest {
 protected:
  void TearDown() override {
    unsetenv("NLS_LANG");
    CharsetTest::TearDown();
  }
  // Logs on through an environment of its own; nls_lang null: OCIEnvNlsCreate with charset.
  Client Open(const char* nls_lang, ub2 charset) {
    Client c;
    if (nls_lang) setenv("NLS_LANG", nls_lang, 1);
    else unsetenv("NLS_LANG");
    sword rc = charset ? OCIEnvNlsCreate(&c.env, OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr, charset, 0)
                       : OCIEnvCreate(&c.env, OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
    if (rc != OCI_SUCCESS) return Client{};
    OCIHandleAlloc(c.env, reinterpret_cast<void**>(&c.err), OCI_HTYPE_ERROR, 0, nullptr);
    EXPECT_EQ(OCILogon(c.env, c.err, &c.svc, reinterpret_cast<const OraText*>("system"), 6,
                       reinterpret_cast<const OraText*>("manager"), 7, reinterpret_cast<const OraText*>(store_.c_str()),
                       static_cast<ub4>(store_.size())), OCI_SUCCESS);
    return c;
  }
  // Runs sql with one text bind (may be null) and returns the first column of
  // the first row, fetched as text, and its column name.
  std::pair<std::string, std::string> Run(Client& c, const std::string& sql, const std::string* bind = nullptr) {
    OCIStmt* st = nullptr;
    OCIHandleAlloc(c.env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    OCIStmtPrepare(st, c.err, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
    if (bind) {
      OCIBind* b = nullptr;
      OCIBindByPos(st, &b, c.err, 1, const_cast<char*>(bind->data()), static_cast<sb4>(bind->size()), SQLT_CHR,
                   nullptr, nullptr, nullptr, 0, nullptr, 0);
    }
    const bool query = sql.rfind("select", 0) == 0;
    std::pair<std::string, std::string> out;
    if (OCIStmtExecute(c.svc, st, c.err, query ? 0 : 1, 0, nullptr, nullptr, 0) != OCI_SUCCESS) {
      char text[512] = {};
      sb4 code = 0;
      OCIErrorGet(c.err, 1, nullptr, &code, reinterpret_cast<OraText*>(text), sizeof text, OCI_HTYPE_ERROR);
      out.first = std::string("error: ") + text;
    } else if (query) {
      char buf[64] = {};
      sb2 ind = 0;
      OCIDefineByPos(st, nullptr, c.err, 1, buf, sizeof buf, SQLT_STR, &ind, nullptr, nullptr, 0);
      OCIStmtFetch2(st, c.err, 1, OCI_FETCH_NEXT, 0, 0);
      out.first = buf;
      void* param = nullptr;
      const char* name = nullptr;
      ub4 size = 0;
      OCIParamGet(st, OCI_HTYPE_STMT, c.err, &param, 1);
      OCIAttrGet(param, OCI_DTYPE_PARAM, &name, &size, OCI_ATTR_NAME, c.err);
      out.second.assign(name, size);
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);
    return out;
  }
  void Close(Client& c) {
    OCILogoff(c.svc, c.err);
    OCIHandleFree(c.env, OCI_HTYPE_ENV);
  }
};

TEST_F(ClientCharsetTest, TextIsConvertedFromAndToTheClientsSet) {
  MustExec(system_, "insert into cs (k, v) values (1, '\xc3\xa7\xe2\x82\xac')");  // "ç€" in UTF-8
  MustExec(system_, "commit");
  struct Case {
    const char* nls_lang;
    ub2 charset;
    std::string literal, bound;  // "ç" in the client's set, as text and as a bind
    std::string fetched;         // "ç€" as the client gets it
    std::string stored;          // what the literal and the bind became, in UTF-8
  };
  const Case cases[] = {
      {nullptr, 31, "\xe7", "\xe7", "\xe7\xbf", "\xc3\xa7"},              // WE8ISO8859P1: no euro, so "¿"
      {"AMERICAN_AMERICA.WE8MSWIN1252", 0, "\xe7", "\x80", "\xe7\x80", "\xc3\xa7|\xe2\x82\xac"},
      {nullptr, 0, "?", "\xe7", "??", "?|\xef\xbf\xbd"},                  // US7ASCII: a high byte is no character
      {"AMERICAN_AMERICA.AL32UTF8", 0, "\xc3\xa7", "\xc3\xa7", "\xc3\xa7\xe2\x82\xac", "\xc3\xa7"},
  };
  int key = 10;
  for (const Case& c : cases) {
    Client client = Open(c.nls_lang, c.charset);
    ASSERT_NE(client.env, nullptr) << (c.nls_lang ? c.nls_lang : "");
    ub2 cs = 0;
    OCIAttrGet(client.env, OCI_HTYPE_ENV, &cs, nullptr, OCI_ATTR_ENV_CHARSET_ID, nullptr);
    EXPECT_EQ(Run(client, "select v from cs where k = 1").first, c.fetched) << cs;
    // A column name comes back in the client's set too.
    EXPECT_EQ(Run(client, "select v \"" + c.literal + "\" from cs where k = 1").second, c.literal) << cs;
    std::string bound = c.bound;
    Run(client, "insert into cs (k, v) values (" + std::to_string(++key) + ", '" + c.literal + "' || '|' || :1)", &bound);
    Run(client, "commit");
    EXPECT_EQ(Run(client, "select v from cs where k = " + std::to_string(key)).first, c.literal + "|" +
              (c.charset == 0 && !c.nls_lang ? std::string("?") : c.bound)) << cs;
    const std::string stored = c.stored.find('|') == std::string::npos ? c.stored + "|" + c.stored : c.stored;
    EXPECT_EQ(Query(system_, "select v from cs where k = " + std::to_string(key)), (Rows{{stored}})) << cs;
    Close(client);
  }
  // A set the library does not know is refused, as Oracle refuses an NLS_LANG it cannot load.
  setenv("NLS_LANG", "AMERICAN_AMERICA.KLINGON8", 1);
  OCIEnv* env = nullptr;
  EXPECT_EQ(OCIEnvCreate(&env, OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr), OCI_ERROR);
}

}  // namespace

}  // namespace kavo::test
