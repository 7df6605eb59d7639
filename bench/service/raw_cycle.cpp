// The raw floor of one integration cycle, and the databases both ways run on.
//
// What the floor does per pass is the server work the service's cycle does,
// statement for statement where the rows are concerned (the stand-in's trace
// of the service shows them):
//   Oracle: logon; the module's select with the ROWID, fetched in arrays of
//     25 (the record set's read buffer) before any row is worked on.
//   Firebird: attach; a read-committed, record-version, no-wait transaction;
//     the record set's stored select, executed and fetched; the insert
//     prepared.
//   Per row: "savepoint VZO__LOCKPOINT"; the row read by its ROWID "for
//     update nowait" and compared with the fetched one (the lock and check of
//     the edit); the insert with its eleven parameters, then
//     isc_commit_retaining; the savepoint again (the post sets its own); the
//     UPDATE of STATUS by ROWID returning the ROWID; the session's commit.
//   Then the Firebird commit and detach; the Oracle logoff.
// Each statement is prepared once per pass, as a program written against the
// client APIs would; the record sets' other statements (the Firebird modify,
// delete and refresh, which the service prepares and never runs) and the
// layers' own look-ups are the service's cost, not the floor's.
#include "raw_cycle.h"

#include <ibase.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <stdexcept>

#include "oci.h"

namespace kavo::bench {
namespace {

// --- texts ---------------------------------------------------------------------------

// UTF-8 to ISO8859_1 (the staging connection's character set); characters
// beyond it become '?'.
std::string Latin1(const std::string& utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
      const unsigned cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
      out += cp <= 0xFF ? static_cast<char>(cp) : '?';
      i += 2;
    } else {
      out += '?';
      i += (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 1;
    }
  }
  return out;
}

// --- OCI -----------------------------------------------------------------------------

void Check(sword rc, OCIError* err, const std::string& what) {
  if (rc == OCI_SUCCESS || rc == OCI_SUCCESS_WITH_INFO) return;
  char text[512] = "";
  sb4 code = 0;
  if (err != nullptr)
    OCIErrorGet(err, 1, nullptr, &code, reinterpret_cast<OraText*>(text), sizeof text,
                OCI_HTYPE_ERROR);
  throw std::runtime_error(what + ": " + text);
}

const OraText* Text(const char* s) { return reinterpret_cast<const OraText*>(s); }

struct OciEnv {
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OciEnv() {
    OCIEnvCreate(&env, OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr);
    OCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr);
  }
  ~OciEnv() { OCIHandleFree(env, OCI_HTYPE_ENV); }
};

struct OciLogon {
  OciEnv& e;
  OCISvcCtx* svc = nullptr;
  OciLogon(OciEnv& env, const std::string& store) : e(env) {
    Check(OCILogon(e.env, e.err, &svc, Text(kOracleUser), std::strlen(kOracleUser),
                   Text(kOraclePassword), std::strlen(kOraclePassword), Text(store.c_str()),
                   static_cast<ub4>(store.size())),
          e.err, "logon");
  }
  ~OciLogon() { OCILogoff(svc, e.err); }
};

struct OciStatement {
  OciEnv& e;
  OCIStmt* st = nullptr;
  std::string sql;
  OciStatement(OciEnv& env, std::string text) : e(env), sql(std::move(text)) {
    OCIHandleAlloc(e.env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    Check(OCIStmtPrepare(st, e.err, Text(sql.c_str()), static_cast<ub4>(sql.size()),
                         OCI_NTV_SYNTAX, OCI_DEFAULT),
          e.err, sql);
  }
  ~OciStatement() { OCIHandleFree(st, OCI_HTYPE_STMT); }
  sword Execute(OCISvcCtx* svc, ub4 iters, ub4 mode = OCI_DEFAULT) {
    const sword rc = OCIStmtExecute(svc, st, e.err, iters, 0, nullptr, nullptr, mode);
    if (rc != OCI_NO_DATA) Check(rc, e.err, sql);
    return rc;
  }
  void Bind(const char* name, void* buf, sb4 size, ub2 type, sb2* ind = nullptr,
            ub2* len = nullptr) {
    OCIBind* b = nullptr;
    Check(OCIBindByName(st, &b, e.err, Text(name), -1, buf, size, type, ind, len, nullptr, 0,
                        nullptr, OCI_DEFAULT),
          e.err, name);
  }
  void Define(int pos, void* buf, sb4 size, ub2 type, sb2* ind, ub2* len) {
    OCIDefine* d = nullptr;
    Check(OCIDefineByPos(st, &d, e.err, static_cast<ub4>(pos), buf, size, type, ind, len, nullptr,
                         OCI_DEFAULT),
          e.err, "define");
  }
  ub4 RowCount() {
    ub4 n = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &n, nullptr, OCI_ATTR_ROW_COUNT, e.err);
    return n;
  }
};

// The interface table's columns in table order, then the ROWID the module's
// select adds, with the buffer each is fetched into.
struct Column {
  const char* name;
  ub2 type;
  sb4 size;
};
constexpr int kTableColumns = 13;
constexpr int kColumns = kTableColumns + 1;
constexpr Column kColumnsOf[kColumns] = {
    {"ACAO", SQLT_STR, 8},         {"CODIGO", SQLT_FLT, 8},     {"DADOS", SQLT_STR, 2001},
    {"DT_H_GRAV", SQLT_DAT, 7},    {"DT_H_PRI_P", SQLT_DAT, 7}, {"DT_H_ULT_P", SQLT_DAT, 7},
    {"ERRO", SQLT_STR, 1021},      {"HORA", SQLT_STR, 33},      {"ORDEM", SQLT_FLT, 8},
    {"STATUS", SQLT_STR, 5},       {"TABELA", SQLT_STR, 81},    {"TIPO", SQLT_STR, 201},
    {"VERSAO", SQLT_STR, 41},      {"ROWID", SQLT_STR, 32}};
enum { kAcao = 0, kDados = 2, kDtHGrav = 3, kHora = 7, kTipo = 11, kVersao = 12, kRowId = 13 };
constexpr int kBatch = 25;

// One row's columns as fetched: the bytes of each, its indicator and length.
struct FetchedRow {
  std::vector<unsigned char> bytes[kColumns];
  sb2 ind[kColumns] = {};
  std::string Text(int c) const {
    return ind[c] == -1 ? std::string() : std::string(bytes[c].begin(), bytes[c].end());
  }
};

// Define buffers for `rows` rows of the first `count` columns.
struct DefineBuffers {
  std::vector<unsigned char> buf[kColumns];
  std::vector<sb2> ind[kColumns];
  std::vector<ub2> len[kColumns];
  DefineBuffers(OciStatement& st, int count, int rows) {
    for (int c = 0; c < count; ++c) {
      buf[c].assign(static_cast<size_t>(kColumnsOf[c].size) * rows, 0);
      ind[c].assign(rows, 0);
      len[c].assign(rows, 0);
      st.Define(c + 1, buf[c].data(), kColumnsOf[c].size, kColumnsOf[c].type, ind[c].data(),
                len[c].data());
    }
  }
  void Take(int count, int r, FetchedRow& row) const {
    for (int c = 0; c < count; ++c) {
      row.ind[c] = ind[c][r];
      const unsigned char* p = buf[c].data() + static_cast<size_t>(kColumnsOf[c].size) * r;
      row.bytes[c].assign(p, p + (ind[c][r] == -1 ? 0 : len[c][r]));
    }
  }
  bool Same(int count, const FetchedRow& row) const {
    for (int c = 0; c < count; ++c) {
      if ((ind[c][0] == -1) != (row.ind[c] == -1)) return false;
      if (row.ind[c] != -1 && (len[c][0] != row.bytes[c].size() ||
                               std::memcmp(buf[c].data(), row.bytes[c].data(), len[c][0]) != 0))
        return false;
    }
    return true;
  }
};

// --- Firebird ------------------------------------------------------------------------

[[noreturn]] void Fail(const std::string& what, const ISC_STATUS* status) {
  char text[512] = "";
  const ISC_STATUS* p = status;
  fb_interpret(text, sizeof text, &p);
  throw std::runtime_error(what + ": " + text);
}

std::vector<char> Dpb(bool force_write_off) {
  std::vector<char> dpb = {isc_dpb_version1};
  auto text = [&](char code, const char* value) {
    dpb.push_back(code);
    dpb.push_back(static_cast<char>(std::strlen(value)));
    dpb.insert(dpb.end(), value, value + std::strlen(value));
  };
  text(isc_dpb_user_name, kFirebirdUser);
  text(isc_dpb_password, "kat4ro2");
  text(isc_dpb_lc_ctype, "ISO8859_1");
  if (force_write_off) {
    dpb.push_back(isc_dpb_force_write);
    dpb.push_back(1);
    dpb.push_back(0);
  }
  return dpb;
}

// The module's transaction: read committed, record versions, no wait.
const char kTpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                     isc_tpb_rec_version, isc_tpb_nowait};

struct FbConnection {
  isc_db_handle db = 0;
  isc_tr_handle tr = 0;
  ISC_STATUS_ARRAY status{};
  explicit FbConnection(const std::string& path, bool force_write_off = false) {
    std::vector<char> dpb = Dpb(force_write_off);
    if (isc_attach_database(status, 0, path.c_str(), &db, static_cast<short>(dpb.size()),
                            dpb.data()))
      Fail("attach " + path, status);
  }
  ~FbConnection() {
    if (tr != 0) isc_rollback_transaction(status, &tr);
    if (db != 0) isc_detach_database(status, &db);
  }
  void Start() {
    if (isc_start_transaction(status, &tr, 1, &db, sizeof kTpb, kTpb)) Fail("start", status);
  }
  void Commit() {
    if (isc_commit_transaction(status, &tr)) Fail("commit", status);
  }
  void Detach() {
    if (isc_detach_database(status, &db)) Fail("detach", status);
  }
  void Run(const std::string& sql) {
    Start();
    if (isc_dsql_execute_immediate(status, &db, &tr, 0, sql.c_str(), 3, nullptr))
      Fail(sql, status);
    Commit();
  }
};

// A select's output described by the server, with buffers for every column.
struct FbSelect {
  isc_stmt_handle stmt = 0;
  std::vector<char> block;
  std::vector<std::vector<char>> data;
  std::vector<short> ind;
  XSQLDA* out() { return reinterpret_cast<XSQLDA*>(block.data()); }

  FbSelect(FbConnection& c, const std::string& sql, int columns)
      : block(XSQLDA_LENGTH(columns)), data(columns), ind(columns) {
    out()->version = SQLDA_VERSION1;
    out()->sqln = static_cast<short>(columns);
    if (isc_dsql_alloc_statement2(c.status, &c.db, &stmt) ||
        isc_dsql_prepare(c.status, &c.tr, &stmt, 0, sql.c_str(), 3, out()))
      Fail(sql, c.status);
    if (out()->sqld > columns) throw std::runtime_error(sql + ": more columns than meant");
    for (int i = 0; i < out()->sqld; ++i) {
      XSQLVAR& v = out()->sqlvar[i];
      data[i].assign(static_cast<size_t>(v.sqllen) + 2, 0);
      v.sqldata = data[i].data();
      v.sqlind = &ind[i];
    }
  }
  void Execute(FbConnection& c) {
    if (isc_dsql_execute(c.status, &c.tr, &stmt, 3, nullptr)) Fail("execute", c.status);
  }
  bool Fetch(FbConnection& c) {
    const ISC_STATUS rc = isc_dsql_fetch(c.status, &stmt, 3, out());
    if (rc == 100) return false;
    if (rc != 0) Fail("fetch", c.status);
    return true;
  }
  std::string Varying(int i) const {
    uint16_t n;
    std::memcpy(&n, data[i].data(), 2);
    return std::string(data[i].data() + 2, n);
  }
  void Free(FbConnection& c) { isc_dsql_free_statement(c.status, &stmt, DSQL_drop); }
};

// A text parameter: the counted bytes in a varying buffer.
struct VaryingParam {
  std::vector<char> buffer = std::vector<char>(2 + 2000);
  void Set(const std::string& bytes, XSQLVAR& var) {
    const uint16_t n = static_cast<uint16_t>(std::min(bytes.size(), buffer.size() - 2));
    std::memcpy(buffer.data(), &n, 2);
    std::memcpy(buffer.data() + 2, bytes.data(), n);
    var.sqllen = static_cast<short>(n);
  }
};

const char kStoredSelect[] = "SELECT * FROM TMP_INTEGRACAO\r\nwhere NRECNO = 1";
const char kInsert[] =
    "insert into TMP_INTEGRACAO (ACAO, DADOS, DATA, ERRO, ERRO_INTEGRACAO, HORA, NRECNO, STATUS, "
    "STATUS_INTEGRACAO, TIPO, VERSAO) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

// --- the raw cycle ---------------------------------------------------------------------

class Cycle : public RawCycle {
 public:
  Cycle(std::string store, std::string database)
      : store_(std::move(store)), database_(std::move(database)), block_(XSQLDA_LENGTH(11)) {
    XSQLDA* in = In();
    in->version = SQLDA_VERSION1;
    in->sqln = in->sqld = 11;
    auto set = [&](int i, short type, void* data, short* indicator, short len) {
      XSQLVAR& v = in->sqlvar[i];
      v.sqltype = static_cast<short>(type + 1);
      v.sqlscale = 0;
      v.sqlsubtype = 0;
      v.sqllen = len;
      v.sqldata = static_cast<char*>(data);
      v.sqlind = indicator;
    };
    set(0, SQL_VARYING, acao_.buffer.data(), &present_, 0);
    set(1, SQL_VARYING, dados_.buffer.data(), &present_, 0);
    set(2, SQL_TYPE_DATE, &date_, &present_, sizeof date_);
    set(3, SQL_VARYING, nothing_, &null_, 0);
    set(4, SQL_VARYING, nothing_, &null_, 0);
    set(5, SQL_TYPE_TIME, &time_, &present_, sizeof time_);
    set(6, SQL_INT64, nothing_, &null_, 8);
    set(7, SQL_VARYING, status_.buffer.data(), &present_, 0);
    set(8, SQL_VARYING, nothing_, &null_, 0);
    set(9, SQL_VARYING, tipo_.buffer.data(), &present_, 0);
    set(10, SQL_VARYING, versao_.buffer.data(), &present_, 0);
  }

  void Pass() override {
    OciLogon ora(env_, store_);
    FetchPending(ora);

    FbConnection fb(database_);
    fb.Start();
    FbSelect opened(fb, kStoredSelect, 11);
    opened.Execute(fb);
    while (opened.Fetch(fb)) {
    }
    isc_stmt_handle insert = 0;
    if (isc_dsql_alloc_statement2(fb.status, &fb.db, &insert) ||
        isc_dsql_prepare(fb.status, &fb.tr, &insert, 0, kInsert, 3, nullptr))
      Fail("prepare insert", fb.status);

    OciStatement savepoint(env_, "savepoint VZO__LOCKPOINT");
    OciStatement lock(env_,
                      "select * from V9NORVELO.INTERFACE_ORCL where rowid = :vzo__rowid\n"
                      "for update nowait");
    OciStatement update(env_,
                        "update V9NORVELO.INTERFACE_ORCL\nset STATUS = :v10\n"
                        "where rowid = :vzo__rowid\nreturning rowid into :vzo__rowid");
    char rowid[32] = "";
    lock.Bind(":vzo__rowid", rowid, sizeof rowid, SQLT_STR);
    DefineBuffers locked(lock, kTableColumns, 1);
    char mark[2] = "X";
    update.Bind(":v10", mark, sizeof mark, SQLT_STR);
    update.Bind(":vzo__rowid", rowid, sizeof rowid, SQLT_STR);

    static const std::string kProcessar = "PROCESSAR";
    XSQLDA* in = In();
    for (const FetchedRow& row : rows_) {
      const std::string id = row.Text(kRowId);
      std::snprintf(rowid, sizeof rowid, "%s", id.c_str());
      savepoint.Execute(ora.svc, 1);
      if (lock.Execute(ora.svc, 1) == OCI_NO_DATA) throw std::runtime_error("row deleted: " + id);
      if (!locked.Same(kTableColumns, row)) throw std::runtime_error("row changed: " + id);

      acao_.Set(Latin1(row.Text(kAcao)), in->sqlvar[0]);
      dados_.Set(Latin1(row.Text(kDados)), in->sqlvar[1]);
      const unsigned char* d = row.bytes[kDtHGrav].data();
      std::tm day{};
      day.tm_year = (d[0] - 100) * 100 + (d[1] - 100) - 1900;
      day.tm_mon = d[2] - 1;
      day.tm_mday = d[3];
      isc_encode_sql_date(&day, &date_);
      std::tm time{};
      std::sscanf(row.Text(kHora).c_str(), "%d:%d:%d", &time.tm_hour, &time.tm_min, &time.tm_sec);
      isc_encode_sql_time(&time, &time_);
      status_.Set(kProcessar, in->sqlvar[7]);
      tipo_.Set(Latin1(row.Text(kTipo)), in->sqlvar[9]);
      versao_.Set(Latin1(row.Text(kVersao)), in->sqlvar[10]);
      if (isc_dsql_execute(fb.status, &fb.tr, &insert, 3, in)) Fail("insert", fb.status);
      if (isc_commit_retaining(fb.status, &fb.tr)) Fail("commit retaining", fb.status);

      savepoint.Execute(ora.svc, 1);
      update.Execute(ora.svc, 1);
      if (update.RowCount() != 1) throw std::runtime_error("row not updated: " + id);
      Check(OCITransCommit(ora.svc, env_.err, OCI_DEFAULT), env_.err, "commit");
    }

    isc_dsql_free_statement(fb.status, &insert, DSQL_drop);
    opened.Free(fb);
    fb.Commit();
    fb.Detach();
  }

 private:
  XSQLDA* In() { return reinterpret_cast<XSQLDA*>(block_.data()); }

  void FetchPending(OciLogon& ora) {
    rows_.clear();
    OciStatement select(env_,
                        "SELECT A.*, A.ROWID FROM \nv9norvelo.\"INTERFACE_ORCL\" A \nWHERE \n"
                        "A.STATUS='A' \nand  ROWNUM < 1000");
    ub4 zero = 0;
    OCIAttrSet(select.st, OCI_HTYPE_STMT, &zero, sizeof zero, OCI_ATTR_PREFETCH_ROWS, env_.err);
    select.Execute(ora.svc, 0);
    DefineBuffers batch(select, kColumns, kBatch);
    ub4 total = 0;
    for (;;) {
      const sword rc = OCIStmtFetch2(select.st, env_.err, kBatch, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
      if (rc != OCI_SUCCESS && rc != OCI_NO_DATA) Check(rc, env_.err, "fetch");
      const ub4 now = select.RowCount();
      for (ub4 r = 0; r < now - total; ++r) batch.Take(kColumns, static_cast<int>(r), rows_.emplace_back());
      total = now;
      if (rc == OCI_NO_DATA) break;
    }
  }

  std::string store_, database_;
  OciEnv env_;
  std::vector<FetchedRow> rows_;
  std::vector<char> block_;
  VaryingParam acao_, dados_, status_, tipo_, versao_;
  ISC_DATE date_ = 0;
  ISC_TIME time_ = 0;
  short present_ = 0, null_ = -1;
  alignas(8) char nothing_[8] = {};
};

int RunTool(const std::string& command) {
  const int rc = std::system(command.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

}  // namespace

// --- the rows ----------------------------------------------------------------------------

std::vector<PendingRow> MakeRows(int count) {
  std::vector<PendingRow> rows;
  for (int i = 0; i < count; ++i) {
    PendingRow r;
    r.codigo = 1000 + i;
    r.acao = i % 3 == 0 ? "A" : "I";
    char text[300];
    std::snprintf(text, sizeof text,
                  i % 4 == 0 ? "Pedido %d do cliente Jo\xc3\xa3o Concei\xc3\xa7\xc3\xa3o, entrega "
                               "na pra\xc3\xa7" "a, pagamento \xc3\xa0 vista, observa\xc3\xa7\xc3\xb5"
                               "es do vendedor"
                             : "Pedido %d do cliente Joao Silva, entrega na loja, pagamento a "
                               "prazo, sem observacoes do vendedor",
                  r.codigo);
    r.dados = text;
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", 7 + i % 12, i % 60, i * 7 % 60);
    r.hora = text;
    r.tipo = i % 2 == 0 ? "PEDIDO" : "CLIENTE";
    r.versao = "1." + std::to_string(i % 10);
    r.year = 2026;
    r.month = 1 + i % 12;
    r.day = 1 + i % 28;
    r.hour = i % 24;
    r.minute = i * 11 % 60;
    r.second = i * 13 % 60;
    rows.push_back(std::move(r));
  }
  return rows;
}

std::string PendingRow::Staged() const {
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", year, month, day);
  return Latin1(acao) + "|" + Latin1(dados) + "|" + date + "|" + hora + "|" + tipo + "|" +
         versao + "|PROCESSAR|~|~|~|numbered";
}

// --- the stand-in store ------------------------------------------------------------------

void CreateStore(const std::string& tool, const std::string& path) {
  if (RunTool(tool + " create '" + path + "' manager >/dev/null 2>&1") != 0)
    throw std::runtime_error("could not create the store " + path);
  const std::string script = path + ".sql";
  std::ofstream(script)
      << "create user " << kOracleUser << " identified by " << kOraclePassword << ";\n"
      << "create table " << kOracleUser
      << ".\"INTERFACE_ORCL\" (ACAO varchar2(1), CODIGO number, DADOS varchar2(500), "
         "DT_H_GRAV date, DT_H_PRI_P date, DT_H_ULT_P date, ERRO varchar2(255), "
         "HORA varchar2(8), ORDEM number, STATUS varchar2(1), TABELA varchar2(20), "
         "TIPO varchar2(50), VERSAO varchar2(10));\n";
  const int rc = RunTool(tool + " sql '" + path + "' SYSTEM/manager <'" + script +
                         "' >/dev/null 2>&1");
  std::remove(script.c_str());
  if (rc != 0) throw std::runtime_error("could not create the interface table");
}

void ResetStore(const std::string& path, const std::vector<PendingRow>& rows) {
  OciEnv env;
  OciLogon ora(env, path);
  OciStatement(env, "delete from interface_orcl").Execute(ora.svc, 1);
  OciStatement insert(env,
                      "insert into interface_orcl (ACAO, CODIGO, DADOS, DT_H_GRAV, HORA, ORDEM, "
                      "STATUS, TABELA, TIPO, VERSAO) values (:acao, :codigo, :dados, "
                      "to_date(:dt, 'YYYY-MM-DD HH24:MI:SS'), :hora, :ordem, 'A', 'PEDIDOS', "
                      ":tipo, :versao)");
  constexpr int kChunk = 500;
  std::vector<int> codigo(kChunk), ordem(kChunk);
  std::vector<char> acao(kChunk * 8), dados(kChunk * 1001), dt(kChunk * 20), hora(kChunk * 9),
      tipo(kChunk * 51), versao(kChunk * 11);
  insert.Bind(":acao", acao.data(), 8, SQLT_STR);
  insert.Bind(":codigo", codigo.data(), 4, SQLT_INT);
  insert.Bind(":dados", dados.data(), 1001, SQLT_STR);
  insert.Bind(":dt", dt.data(), 20, SQLT_STR);
  insert.Bind(":hora", hora.data(), 9, SQLT_STR);
  insert.Bind(":ordem", ordem.data(), 4, SQLT_INT);
  insert.Bind(":tipo", tipo.data(), 51, SQLT_STR);
  insert.Bind(":versao", versao.data(), 11, SQLT_STR);
  for (size_t base = 0; base < rows.size(); base += kChunk) {
    const size_t n = std::min<size_t>(kChunk, rows.size() - base);
    for (size_t i = 0; i < n; ++i) {
      const PendingRow& r = rows[base + i];
      codigo[i] = ordem[i] = r.codigo;
      std::snprintf(&acao[i * 8], 8, "%s", r.acao.c_str());
      std::snprintf(&dados[i * 1001], 1001, "%s", r.dados.c_str());
      std::snprintf(&dt[i * 20], 20, "%04d-%02d-%02d %02d:%02d:%02d", r.year, r.month, r.day,
                    r.hour, r.minute, r.second);
      std::snprintf(&hora[i * 9], 9, "%s", r.hora.c_str());
      std::snprintf(&tipo[i * 51], 51, "%s", r.tipo.c_str());
      std::snprintf(&versao[i * 11], 11, "%s", r.versao.c_str());
    }
    insert.Execute(ora.svc, static_cast<ub4>(n));
  }
  Check(OCITransCommit(ora.svc, env.err, OCI_DEFAULT), env.err, "commit");
}

// --- the staging database ----------------------------------------------------------------

void CreateStagingDatabase(const std::string& path) {
  ISC_STATUS_ARRAY status{};
  isc_db_handle db = 0;
  isc_tr_handle tr = 0;
  const std::string create = "CREATE DATABASE '" + path + "' USER '" + kFirebirdUser +
                             "' PASSWORD 'kat4ro2' DEFAULT CHARACTER SET ISO8859_1";
  if (isc_dsql_execute_immediate(status, &db, &tr, 0, create.c_str(), 3, nullptr))
    Fail("create database", status);
  isc_detach_database(status, &db);
  FbConnection c(path, true);
  c.Run("CREATE GENERATOR GEN_TMP_INTEGRACAO");
  c.Detach();
  ResetStaging(path);
}

void ResetStaging(const std::string& path) {
  FbConnection c(path);
  c.Run("RECREATE TABLE TMP_INTEGRACAO (NRECNO BIGINT, ACAO VARCHAR(3), DADOS VARCHAR(500), "
        "DATA DATE, HORA TIME, TIPO VARCHAR(50), VERSAO VARCHAR(10), STATUS VARCHAR(10), "
        "ERRO VARCHAR(200), STATUS_INTEGRACAO VARCHAR(10), ERRO_INTEGRACAO VARCHAR(200))");
  c.Run("CREATE TRIGGER TMP_INTEGRACAO_BI FOR TMP_INTEGRACAO BEFORE INSERT AS BEGIN "
        "IF (NEW.NRECNO IS NULL) THEN NEW.NRECNO = GEN_ID(GEN_TMP_INTEGRACAO, 1); END");
  c.Run("SET GENERATOR GEN_TMP_INTEGRACAO TO 0");
  c.Detach();
}

PassResult ReadResult(const std::string& store, const std::string& database) {
  PassResult result;
  {
    OciEnv env;
    OciLogon ora(env, store);
    auto count = [&](const char* where) {
      OciStatement q(env, std::string("select count(*) from interface_orcl where ") + where);
      int n = -1;
      sb2 ind = 0;
      ub2 len = 0;
      q.Define(1, &n, sizeof n, SQLT_INT, &ind, &len);
      q.Execute(ora.svc, 1);
      return static_cast<long>(n);
    };
    result.marked = count("STATUS = 'X' and ERRO is null");
    result.pending = count("STATUS = 'A'");
    result.total = count("1 = 1");
  }
  FbConnection c(database);
  c.Start();
  FbSelect q(c,
             "select coalesce(ACAO,'~')||'|'||coalesce(DADOS,'~')||'|'||"
             "coalesce(cast(DATA as varchar(10)),'~')||'|'||"
             "coalesce(substring(cast(HORA as varchar(13)) from 1 for 8),'~')||'|'||"
             "coalesce(TIPO,'~')||'|'||coalesce(VERSAO,'~')||'|'||coalesce(STATUS,'~')||'|'||"
             "coalesce(ERRO,'~')||'|'||coalesce(STATUS_INTEGRACAO,'~')||'|'||"
             "coalesce(ERRO_INTEGRACAO,'~')||'|'||"
             "trim(iif(NRECNO is null,'unnumbered','numbered')) "
             "from TMP_INTEGRACAO order by NRECNO",
             1);
  q.Execute(c);
  while (q.Fetch(c)) result.staged.push_back(q.Varying(0));
  q.Free(c);
  c.Commit();
  c.Detach();
  return result;
}

std::unique_ptr<RawCycle> MakeRawCycle(const std::string& store, const std::string& database) {
  return std::make_unique<Cycle>(store, database);
}

}  // namespace kavo::bench
