// The OCI stand-in's SQL: lexer, translator, PL/SQL blocks and execution,
// driven only through the OCI entry points. Every input starts from the same
// store and session: each input ends in a rollback, and one that may have
// changed more than that (a commit, DDL, session settings) makes the next
// input start on a fresh copy of the store in a new session. So an input
// replays alone as it ran.
// Input: up to eight statements separated by NUL bytes. Every bind variable
// a statement names is bound to the text of the next statement slot's
// value list ("7", "abc", "", "01-JAN-20", NULL in turn).
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "connection.h"
#include "fuzz_input.h"
#include "oci.h"

namespace {

namespace fs = std::filesystem;

// The schemas of the stand-in's own tests: keys, references, checks, a view
// and a synonym, and the service's interface table.
const char* const kSetup[] = {
    "create user scott identified by tiger",
    "create table dept (deptno number(2) primary key, dname varchar2(14) not null)",
    "create table emp (empno number(4) primary key, ename varchar2(10), deptno number(2) "
    "references dept, sal number(7,2) check (sal >= 0), hired date, notes long)",
    "create table bin (id number, r raw(16))",
    "create view rich as select ename, sal from emp where sal > 1000",
    "create public synonym staff for system.emp",
    "create table scott.\"INTERFACE_ORCL\" (ACAO varchar2(1), CODIGO number, DADOS "
    "varchar2(500), DT_H_GRAV date, DT_H_PRI_P date, DT_H_ULT_P date, ERRO varchar2(255), "
    "HORA varchar2(8), ORDEM number, STATUS varchar2(1), TABELA varchar2(20), TIPO varchar2(50), "
    "VERSAO varchar2(10))",
    "insert into dept values (10, 'ACCOUNTING')",
    "insert into dept values (20, 'RESEARCH')",
    "insert into emp values (7369, 'SMITH', 20, 800, sysdate, 'x')",
    "insert into emp values (7839, 'KING', 10, 5000, to_date('17-11-1981', 'DD-MM-YYYY'), null)",
    "insert into bin values (1, 'DEADBEEF')",
    "insert into scott.\"INTERFACE_ORCL\" (CODIGO, STATUS, HORA) values (1, 'A', '10:00:00')",
    "commit",
};

struct Oci {
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OCIServer* srv = nullptr;
  OCISvcCtx* svc = nullptr;
  OCISession* ses = nullptr;
};

// FUZZ_VERBOSE=1 prints every statement and its outcome (for replaying one input).
const bool g_verbose = std::getenv("FUZZ_VERBOSE") != nullptr;
std::string g_template;
std::string g_store;

void RemoveStore(const std::string& path) {
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) unlink((path + suffix).c_str());
}

off_t FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

void RemoveFiles() {
  RemoveStore(g_template);
  RemoveStore(g_store);
}

bool Logon(Oci& o, const std::string& store) {
  OCIEnvNlsCreate(&o.env, OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr, 873, 873);  // UTF-8 text
  OCIHandleAlloc(o.env, reinterpret_cast<void**>(&o.err), OCI_HTYPE_ERROR, 0, nullptr);
  OCIHandleAlloc(o.env, reinterpret_cast<void**>(&o.srv), OCI_HTYPE_SERVER, 0, nullptr);
  OCIHandleAlloc(o.env, reinterpret_cast<void**>(&o.svc), OCI_HTYPE_SVCCTX, 0, nullptr);
  OCIHandleAlloc(o.env, reinterpret_cast<void**>(&o.ses), OCI_HTYPE_SESSION, 0, nullptr);
  if (OCIServerAttach(o.srv, o.err, reinterpret_cast<const OraText*>(store.c_str()),
                      static_cast<sb4>(store.size()), OCI_DEFAULT) != OCI_SUCCESS)
    return false;
  OCIAttrSet(o.svc, OCI_HTYPE_SVCCTX, o.srv, 0, OCI_ATTR_SERVER, o.err);
  OCIAttrSet(o.svc, OCI_HTYPE_SVCCTX, o.ses, 0, OCI_ATTR_SESSION, o.err);
  char user[] = "system", password[] = "manager";
  OCIAttrSet(o.ses, OCI_HTYPE_SESSION, user, 6, OCI_ATTR_USERNAME, o.err);
  OCIAttrSet(o.ses, OCI_HTYPE_SESSION, password, 7, OCI_ATTR_PASSWORD, o.err);
  return OCISessionBegin(o.svc, o.err, o.ses, OCI_CRED_RDBMS, OCI_DEFAULT) == OCI_SUCCESS;
}

void Logoff(Oci& o) {
  OCISessionEnd(o.svc, o.err, o.ses, OCI_DEFAULT);
  OCIServerDetach(o.srv, o.err, OCI_DEFAULT);
  OCIHandleFree(o.env, OCI_HTYPE_ENV);
}

std::string ErrorText(Oci& o) {
  char text[4001] = {0};
  sb4 code = 0;
  OCIErrorGet(o.err, 1, nullptr, &code, reinterpret_cast<OraText*>(text), sizeof text,
              OCI_HTYPE_ERROR);
  return text;
}

// Prepares, binds every variable, executes and fetches what a query returns
// (at most 50 rows), each column as text.
// `lasting` is set for statements whose effect a rollback may not undo.
sword Run(Oci& o, std::string_view sql, int& value_index, bool* lasting = nullptr) {
  static const char* const kValues[] = {"7", "abc", "", "01-JAN-20", nullptr};
  OCIStmt* st = nullptr;
  OCIHandleAlloc(o.env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
  sword rc = OCIStmtPrepare(st, o.err, reinterpret_cast<const OraText*>(sql.data()),
                            static_cast<ub4>(sql.size()), OCI_NTV_SYNTAX, OCI_DEFAULT);
  if (rc == OCI_SUCCESS) {
    std::array<OraText*, 16> names{}, indicators{};
    std::array<ub1, 16> name_lengths{}, indicator_lengths{}, duplicates{};
    std::array<OCIBind*, 16> handles{};
    sb4 found = 0;
    OCIStmtGetBindInfo(st, o.err, 16, 1, &found, names.data(), name_lengths.data(),
                       indicators.data(), indicator_lengths.data(), duplicates.data(),
                       handles.data());
    static std::array<std::array<char, 64>, 16> values;
    static std::array<sb2, 16> null_flags;
    for (sb4 i = 0; i < std::min<sb4>(found, 16); ++i) {
      const char* v = kValues[value_index++ % std::size(kValues)];
      std::strncpy(values[i].data(), v ? v : "", values[i].size() - 1);
      null_flags[i] = v ? 0 : -1;
      // Oracle's names carry no colon; the bind wants one.
      std::string placeholder = ":" + std::string(reinterpret_cast<char*>(names[i]), name_lengths[i]);
      OCIBind* bind = nullptr;
      OCIBindByName(st, &bind, o.err, reinterpret_cast<const OraText*>(placeholder.data()),
                    static_cast<sb4>(placeholder.size()), values[i].data(),
                    static_cast<sb4>(values[i].size()), SQLT_STR, &null_flags[i], nullptr,
                    nullptr, 0, nullptr, OCI_DEFAULT);
    }
    ub2 type = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &type, nullptr, OCI_ATTR_STMT_TYPE, o.err);
    rc = OCIStmtExecute(o.svc, st, o.err, type == OCI_STMT_SELECT ? 0 : 1, 0, nullptr, nullptr,
                        OCI_DEFAULT);
    // DDL, even failed, and any other statement that ran (commit, savepoint,
    // session settings); DML and blocks are undone by the rollback.
    bool ddl = type == OCI_STMT_CREATE || type == OCI_STMT_DROP || type == OCI_STMT_ALTER;
    bool dml = type == OCI_STMT_SELECT || type == OCI_STMT_INSERT || type == OCI_STMT_UPDATE ||
               type == OCI_STMT_DELETE || type == OCI_STMT_BEGIN || type == OCI_STMT_DECLARE;
    if (lasting && (ddl || (!dml && rc != OCI_ERROR))) *lasting = true;
    if (rc == OCI_SUCCESS && type == OCI_STMT_SELECT) {
      ub4 columns = 0;
      OCIAttrGet(st, OCI_HTYPE_STMT, &columns, nullptr, OCI_ATTR_PARAM_COUNT, o.err);
      static std::array<std::array<char, 4001>, 8> buffers;
      static std::array<sb2, 8> indicators_out;
      for (ub4 i = 0; i < std::min<ub4>(columns, 8); ++i)
        OCIDefineByPos(st, nullptr, o.err, i + 1, buffers[i].data(), 4001, SQLT_STR,
                       &indicators_out[i], nullptr, nullptr, OCI_DEFAULT);
      for (int row = 0; row < 50; ++row) {
        sword f = OCIStmtFetch2(st, o.err, 1, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
        if (f != OCI_SUCCESS && f != OCI_SUCCESS_WITH_INFO) break;
      }
    }
  }
  // The error text is read in every case: reading it is part of the API.
  std::string error = rc == OCI_SUCCESS ? "ok\n" : ErrorText(o);
  if (g_verbose)
    std::fprintf(stderr, "%.*s\n  -> %s", static_cast<int>(sql.size()), sql.data(), error.c_str());
  OCIHandleFree(st, OCI_HTYPE_STMT);
  return rc;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string base = std::string(dir) + "/kavo_fuzz_oci_" + std::to_string(getpid());
  g_template = base + "_template.db";
  g_store = base + ".db";
  RemoveFiles();
  std::atexit(RemoveFiles);
  kavo::ocisqlite::Connection::CreateStore(g_template, "manager");
  Oci o;
  if (!Logon(o, g_template)) std::abort();
  int value_index = 0;
  for (const char* sql : kSetup)
    if (Run(o, sql, value_index) != OCI_SUCCESS) {
      std::fprintf(stderr, "store setup failed: %s\n%s", sql, ErrorText(o).c_str());
      std::abort();
    }
  Logoff(o);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Oci o;
  static bool open = false, fresh = false;
  static off_t wal_size = 0;
  if (!open || !fresh) {
    if (open) Logoff(o);
    o = Oci();
    RemoveStore(g_store);
    fs::copy_file(g_template, g_store);
    if (!Logon(o, g_store)) std::abort();
    open = true;
    wal_size = FileSize(g_store + "-wal");
  }
  int value_index = 0;
  bool lasting = false;
  for (std::string_view sql : kavo::fuzz::Split(data, size, '\0', 8))
    if (!sql.empty()) Run(o, sql, value_index, &lasting);
  OCITransRollback(o.svc, o.err, OCI_DEFAULT);
  // A commit, even one inside a block, writes to the log.
  fresh = !lasting && FileSize(g_store + "-wal") == wal_size;
  return 0;
}
