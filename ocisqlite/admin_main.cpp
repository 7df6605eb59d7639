// The store administration tool: makes stores, changes their settings, and
// runs SQL scripts through this library's own OCI interface.
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "connection.h"
#include "oci.h"

namespace {

const char* kUsage =
    "usage: ocisqlite create STORE SYSTEM_PASSWORD\n"
    "       ocisqlite sql STORE USER/PASSWORD      (script on standard input)\n"
    "       ocisqlite set STORE release VERSION    (e.g. 19.0.0.0.0)\n"
    "       ocisqlite expiring STORE USER DAYS     (password expires in DAYS days)\n";

struct Oci {
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OCIServer* srv = nullptr;
  OCISvcCtx* svc = nullptr;
  OCISession* ses = nullptr;

  std::string Error() {
    char buf[4001] = {0};
    sb4 code = 0;
    OCIErrorGet(err, 1, nullptr, &code, reinterpret_cast<OraText*>(buf), sizeof buf, OCI_HTYPE_ERROR);
    return buf;
  }
};

bool Connect(Oci& o, const std::string& store, const std::string& logon) {
  size_t slash = logon.find('/');
  std::string user = logon.substr(0, slash), pw = slash == std::string::npos ? "" : logon.substr(slash + 1);
  // Scripts are UTF-8: the tool is a client of AL32UTF8 whatever NLS_LANG says.
  OCIEnvNlsCreate(&o.env, OCI_THREADED | OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr, 873, 873);
  OCIHandleAlloc(o.env, reinterpret_cast<void**>(&o.err), OCI_HTYPE_ERROR, 0, nullptr);
  OCIHandleAlloc(o.env, reinterpret_cast<void**>(&o.srv), OCI_HTYPE_SERVER, 0, nullptr);
  OCIHandleAlloc(o.env, reinterpret_cast<void**>(&o.svc), OCI_HTYPE_SVCCTX, 0, nullptr);
  OCIHandleAlloc(o.env, reinterpret_cast<void**>(&o.ses), OCI_HTYPE_SESSION, 0, nullptr);
  if (OCIServerAttach(o.srv, o.err, reinterpret_cast<const OraText*>(store.c_str()),
                      static_cast<sb4>(store.size()), OCI_DEFAULT) != OCI_SUCCESS) {
    std::cout << o.Error();
    return false;
  }
  OCIAttrSet(o.svc, OCI_HTYPE_SVCCTX, o.srv, 0, OCI_ATTR_SERVER, o.err);
  OCIAttrSet(o.svc, OCI_HTYPE_SVCCTX, o.ses, 0, OCI_ATTR_SESSION, o.err);
  OCIAttrSet(o.ses, OCI_HTYPE_SESSION, user.data(), static_cast<ub4>(user.size()), OCI_ATTR_USERNAME, o.err);
  OCIAttrSet(o.ses, OCI_HTYPE_SESSION, pw.data(), static_cast<ub4>(pw.size()), OCI_ATTR_PASSWORD, o.err);
  sword rc = OCISessionBegin(o.svc, o.err, o.ses, OCI_CRED_RDBMS, OCI_DEFAULT);
  if (rc == OCI_SUCCESS_WITH_INFO) std::cout << o.Error();
  else if (rc != OCI_SUCCESS) {
    std::cout << o.Error();
    return false;
  }
  return true;
}

// Runs one statement; prints the rows of a query. False on an error.
bool Run(Oci& o, const std::string& sql) {
  OCIStmt* st = nullptr;
  OCIHandleAlloc(o.env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
  OCIStmtPrepare(st, o.err, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()),
                 OCI_NTV_SYNTAX, OCI_DEFAULT);
  ub2 type = 0;
  OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, o.err);
  bool ok = true;
  if (OCIStmtExecute(o.svc, st, o.err, type == OCI_STMT_SELECT ? 0 : 1, 0, nullptr, nullptr, OCI_DEFAULT) != OCI_SUCCESS) {
    std::cout << o.Error();
    ok = false;
  } else if (type == OCI_STMT_SELECT) {
    ub4 ncols = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &ncols, nullptr, OCI_ATTR_PARAM_COUNT, o.err);
    std::vector<std::vector<char>> bufs(ncols);
    std::vector<sb2> inds(ncols);
    std::vector<ub2> lens(ncols);
    std::string header;
    for (ub4 i = 0; i < ncols; ++i) {
      void* p = nullptr;
      OCIParamGet(st, OCI_HTYPE_STMT, o.err, &p, i + 1);
      const char* name = nullptr;
      ub4 nlen = 0;
      ub2 size = 0;
      OCIAttrGet(p, OCI_DTYPE_PARAM, &name, &nlen, OCI_ATTR_NAME, o.err);
      OCIAttrGet(p, OCI_DTYPE_PARAM, &size, nullptr, OCI_ATTR_DATA_SIZE, o.err);
      if (i) header += '|';
      header.append(name, nlen);
      bufs[i].resize(std::max<size_t>(size + 1u, 4001u) * 4);
      OCIDefineByPos(st, nullptr, o.err, i + 1, bufs[i].data(), static_cast<sb4>(bufs[i].size()), SQLT_STR,
                     &inds[i], &lens[i], nullptr, OCI_DEFAULT);
    }
    std::cout << header << "\n";
    int rows = 0;
    for (;;) {
      sword rc = OCIStmtFetch2(st, o.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
      if (rc == OCI_NO_DATA) break;
      if (rc != OCI_SUCCESS && rc != OCI_SUCCESS_WITH_INFO) {
        std::cout << o.Error();
        ok = false;
        break;
      }
      ++rows;
      for (ub4 i = 0; i < ncols; ++i) std::cout << (i ? "|" : "") << (inds[i] == -1 ? "" : bufs[i].data());
      std::cout << "\n";
    }
    std::cout << "(" << rows << (rows == 1 ? " row)\n" : " rows)\n");
  }
  OCIHandleFree(st, OCI_HTYPE_STMT);
  return ok;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n"), e = s.find_last_not_of(" \t\r\n");
  return b == std::string::npos ? "" : s.substr(b, e - b + 1);
}

std::string UpperStart(const std::string& s) {
  return kavo::ocisqlite::AsciiUpper(s.substr(0, 40));
}

// Whether the text ends with ";" outside quotes and comments.
bool EndsStatement(const std::string& text) {
  bool quoted = false;
  char last = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (!quoted && c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
      while (i < text.size() && text[i] != '\n') ++i;
      continue;
    }
    if (c == '\'') quoted = !quoted;
    if (!std::isspace(static_cast<unsigned char>(c))) last = c;
  }
  return !quoted && last == ';';
}

int Script(const std::string& store, const std::string& logon) {
  Oci o;
  if (!Connect(o, store, logon)) {
    OCIHandleFree(o.env, OCI_HTYPE_ENV);
    return 1;
  }
  bool failed = false;
  std::string buf, line;
  bool plsql = false;
  while (std::getline(std::cin, line)) {
    std::string t = Trim(line);
    if (buf.empty()) {
      if (t.empty() || t.rfind("--", 0) == 0) continue;
      std::string u = UpperStart(t);
      plsql = u.rfind("BEGIN", 0) == 0 || u.rfind("DECLARE", 0) == 0;
    }
    if (t == "/") {
      if (!Trim(buf).empty()) failed |= !Run(o, Trim(buf));
      buf.clear();
      continue;
    }
    buf += line + "\n";
    if (!plsql && EndsStatement(buf)) {
      std::string sql = Trim(buf);
      sql.pop_back();
      failed |= !Run(o, Trim(sql));
      buf.clear();
    }
  }
  if (!Trim(buf).empty()) {
    std::string sql = Trim(buf);
    if (!plsql && sql.back() == ';') sql.pop_back();
    failed |= !Run(o, sql);
  }
  OCITransCommit(o.svc, o.err, OCI_DEFAULT);
  OCISessionEnd(o.svc, o.err, o.ses, OCI_DEFAULT);
  OCIServerDetach(o.srv, o.err, OCI_DEFAULT);
  OCIHandleFree(o.env, OCI_HTYPE_ENV);
  return failed ? 1 : 0;
}

int Set(const std::string& store, const std::string& sql, const std::vector<std::string>& args) {
  try {
    auto c = kavo::ocisqlite::Connection::Open(store);
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(c->db(), sql.c_str(), -1, &st, nullptr);
    for (size_t i = 0; i < args.size(); ++i)
      sqlite3_bind_text(st, static_cast<int>(i + 1), args[i].c_str(), -1, SQLITE_TRANSIENT);
    int rc = sqlite3_step(st);
    sqlite3_finalize(st);
    if (rc != SQLITE_DONE || sqlite3_changes(c->db()) == 0) {
      std::cerr << "ocisqlite: nothing changed\n";
      return 1;
    }
  } catch (const std::exception& e) {
    std::cerr << e.what();
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> a(argv + 1, argv + argc);
  if (a.size() == 3 && a[0] == "create") {
    try {
      kavo::ocisqlite::Connection::CreateStore(a[1], a[2]);
    } catch (const std::exception& e) {
      std::cerr << "ocisqlite: " << e.what() << "\n";
      return 1;
    }
    return 0;
  }
  if (a.size() == 3 && a[0] == "sql") return Script(a[1], a[2]);
  if (a.size() == 4 && a[0] == "set" && a[2] == "release")
    return Set(a[1], "UPDATE ocisqlite_settings SET value = ? WHERE key = 'release'", {a[3]});
  if (a.size() == 4 && a[0] == "expiring") {
    std::string user = kavo::ocisqlite::AsciiUpper(a[2]);
    return Set(a[1], "UPDATE ocisqlite_users SET expire_days = ? WHERE username = ?", {a[3], user});
  }
  std::cerr << kUsage;
  return 2;
}
