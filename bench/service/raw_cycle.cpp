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
// client APIs would; or, in the parsing floor, each Oracle statement is
// prepared on a new handle at each execution and freed after it, as the
// module's record set (Optimize false) has the server parse them. The record
// sets' other statements (the Firebird modify, delete and refresh, which the
// service prepares and never runs) and the layers' own look-ups (describing
// the columns) are the service's cost, not the floor's.
#include "raw_cycle.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <stdexcept>

#include "raw_firebird.h"
#include "raw_oci.h"
#include "raw_staging.h"

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

const OraText* Text(const char* s) { return reinterpret_cast<const OraText*>(s); }

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

const char kStoredSelect[] = "SELECT * FROM TMP_INTEGRACAO\r\nwhere NRECNO = 1";
// The staging database's password, as the module's connection is stored.
const char kFirebirdPassword[] = "kat4ro2";

// --- the raw cycle ---------------------------------------------------------------------

const char kSavepointSql[] = "savepoint VZO__LOCKPOINT";
const char kLockSql[] =
    "select * from V9NORVELO.INTERFACE_ORCL where rowid = :vzo__rowid\nfor update nowait";
const char kUpdateSql[] =
    "update V9NORVELO.INTERFACE_ORCL\nset STATUS = :v10\nwhere rowid = :vzo__rowid\n"
    "returning rowid into :vzo__rowid";

// The per-row Oracle statements, bound and defined.
struct RowStatements {
  OciStatement savepoint, lock, update;
  DefineBuffers locked;
  char rowid[32] = "";
  char mark[2] = "X";
  explicit RowStatements(OciEnv& env)
      : savepoint(env, kSavepointSql),
        lock(env, kLockSql),
        update(env, kUpdateSql),
        locked(lock, kTableColumns, 1) {
    lock.Bind(":vzo__rowid", rowid, sizeof rowid, SQLT_STR);
    update.Bind(":v10", mark, sizeof mark, SQLT_STR);
    update.Bind(":vzo__rowid", rowid, sizeof rowid, SQLT_STR);
  }
};

class Cycle : public RawCycle {
 public:
  Cycle(std::string store, std::string database, bool parse_each_execution)
      : store_(std::move(store)),
        database_(std::move(database)),
        parse_each_(parse_each_execution) {}

  void Pass() override {
    OciLogon ora(env_, store_, kOracleUser, kOraclePassword);
    FetchPending(ora);

    RawConnection fb(database_, kFirebirdUser, kFirebirdPassword);
    fb.Start();
    RawSelect opened(fb, kStoredSelect, 11);
    opened.Execute(fb);
    while (opened.Fetch(fb)) {
    }
    static const std::string kInsert = StagingInsertSql("INTEGRACAO", false);
    isc_stmt_handle insert = 0;
    if (isc_dsql_alloc_statement2(fb.status, &fb.db, &insert) ||
        isc_dsql_prepare(fb.status, &fb.tr, &insert, 0, kInsert.c_str(), 3, nullptr))
      Fail("prepare insert", fb.status);

    std::unique_ptr<RowStatements> once;
    if (!parse_each_) once = std::make_unique<RowStatements>(env_);

    for (const FetchedRow& row : rows_) {
      const std::string id = row.Text(kRowId);
      if (parse_each_) {
        OciStatement(env_, kSavepointSql).Execute(ora.svc, 1);
        OciStatement lock(env_, kLockSql);
        char rowid[32];
        std::snprintf(rowid, sizeof rowid, "%s", id.c_str());
        lock.Bind(":vzo__rowid", rowid, sizeof rowid, SQLT_STR);
        DefineBuffers locked(lock, kTableColumns, 1);
        if (lock.Execute(ora.svc, 1) == OCI_NO_DATA) throw std::runtime_error("row deleted: " + id);
        if (!locked.Same(kTableColumns, row)) throw std::runtime_error("row changed: " + id);
      } else {
        std::snprintf(once->rowid, sizeof once->rowid, "%s", id.c_str());
        once->savepoint.Execute(ora.svc, 1);
        if (once->lock.Execute(ora.svc, 1) == OCI_NO_DATA)
          throw std::runtime_error("row deleted: " + id);
        if (!once->locked.Same(kTableColumns, row)) throw std::runtime_error("row changed: " + id);
      }

      const unsigned char* d = row.bytes[kDtHGrav].data();
      std::tm day{};
      day.tm_year = (d[0] - 100) * 100 + (d[1] - 100) - 1900;
      day.tm_mon = d[2] - 1;
      day.tm_mday = d[3];
      std::tm time{};
      std::sscanf(row.Text(kHora).c_str(), "%d:%d:%d", &time.tm_hour, &time.tm_min, &time.tm_sec);
      params_.Set(Latin1(row.Text(kAcao)), Latin1(row.Text(kDados)), day, time,
                  Latin1(row.Text(kTipo)), Latin1(row.Text(kVersao)));
      if (isc_dsql_execute(fb.status, &fb.tr, &insert, 3, params_.In())) Fail("insert", fb.status);
      if (isc_commit_retaining(fb.status, &fb.tr)) Fail("commit retaining", fb.status);

      ub4 updated = 0;
      if (parse_each_) {
        OciStatement(env_, kSavepointSql).Execute(ora.svc, 1);
        OciStatement update(env_, kUpdateSql);
        char rowid[32], mark[2] = "X";
        std::snprintf(rowid, sizeof rowid, "%s", id.c_str());
        update.Bind(":v10", mark, sizeof mark, SQLT_STR);
        update.Bind(":vzo__rowid", rowid, sizeof rowid, SQLT_STR);
        update.Execute(ora.svc, 1);
        updated = update.RowCount();
      } else {
        once->savepoint.Execute(ora.svc, 1);
        once->update.Execute(ora.svc, 1);
        updated = once->update.RowCount();
      }
      if (updated != 1) throw std::runtime_error("row not updated: " + id);
      Check(OCITransCommit(ora.svc, env_.err, OCI_DEFAULT), env_.err, "commit");
    }

    isc_dsql_free_statement(fb.status, &insert, DSQL_drop);
    opened.Free(fb);
    fb.Commit();
    fb.Detach();
  }

 private:
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
  const bool parse_each_;
  OciEnv env_;
  std::vector<FetchedRow> rows_;
  StagingInsertParams params_;
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
  OciLogon ora(env, path, kOracleUser, kOraclePassword);
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
  CreateDatabase("CREATE DATABASE '" + path + "' USER '" + kFirebirdUser + "' PASSWORD '" +
                 kFirebirdPassword + "' DEFAULT CHARACTER SET ISO8859_1");
  RawConnection c(path, kFirebirdUser, kFirebirdPassword, true);
  c.Run("CREATE GENERATOR GEN_TMP_INTEGRACAO");
  c.Detach();
  ResetStaging(path);
}

void ResetStaging(const std::string& path) {
  RawConnection c(path, kFirebirdUser, kFirebirdPassword);
  MakeStagingTable(c, "INTEGRACAO");
  c.Run("SET GENERATOR GEN_TMP_INTEGRACAO TO 0");
  c.Detach();
}

PassResult ReadResult(const std::string& store, const std::string& database) {
  PassResult result;
  {
    OciEnv env;
    OciLogon ora(env, store, kOracleUser, kOraclePassword);
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
  RawConnection c(database, kFirebirdUser, kFirebirdPassword);
  c.Start();
  RawSelect q(c, StagingReadBackSql("INTEGRACAO", true), 1);
  q.Execute(c);
  while (q.Fetch(c)) result.staged.push_back(q.Varying(0));
  q.Free(c);
  c.Commit();
  c.Detach();
  return result;
}

std::unique_ptr<RawCycle> MakeRawCycle(const std::string& store, const std::string& database,
                                       bool parse_each_execution) {
  return std::make_unique<Cycle>(store, database, parse_each_execution);
}

}  // namespace kavo::bench
