// Inserting staging rows into one embedded Firebird database three ways:
// through the layer (TIBSQL with the service's named parameters, eleven
// ParamByName calls per row), through the client API alone (ibase.h, one
// XSQLDA filled by hand) and through SOCI's Firebird backend; each with a
// commit per row and with one commit at the end of the pass. Every way writes
// a table of its own; at the end all tables must hold the same rows, and the
// rows that were meant.
//
//   ib_insert_paths_bench [--rows=N] [--memory] [--forced-writes=1] [benchmark flags]
//
// The database lies in /dev/shm with forced writes off unless --forced-writes=1:
// the layers' own cost is measured, not the disk's.
#include <ibase.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ib/ib_character_set.h"
#include "ib/ib_database.h"
#include "ib/ib_sql.h"
#include "ib/ib_transaction.h"
#include "rtl/datetime.h"
#include "side_by_side.h"

#ifdef KAVO_BENCH_SOCI
// Debian's SOCI was configured with Boost, whose headers only its optional
// Boost type conversions need and its package does not bring: left out.
#include <soci/soci-config.h>
#undef SOCI_HAVE_BOOST
#undef SOCI_HAVE_BOOST_DATE_TIME
#include <soci/firebird/soci-firebird.h>
#include <soci/soci.h>
#endif

namespace kavo::bench {
namespace {

Options g_options;

// --- the rows ----------------------------------------------------------------

const Char* const kDados =
    u"Pedido do cliente Jo\u00e3o Concei\u00e7\u00e3o: entrega na pra\u00e7a, "
    u"pagamento \u00e0 vista, observa\u00e7\u00f5es do vendedor sobre a rota da manh\u00e3";

// Row i's values, as the program holds them (UTF-16, date-time values) and as
// bytes in the connection's ISO8859_1 for the ways that take bytes.
struct Rows {
  struct Row {
    String acao, dados, tipo, versao;
    TDateTime data = 0, hora = 0;
    std::string acao_b, dados_b, tipo_b, versao_b;
    std::tm day{};  // date and time of day together
    std::string expected;  // the row as the check query reads it back
  };
  std::vector<Row> rows;

  explicit Rows(int count) {
    const TIBCharacterSet cs = CharacterSetFor(u"ISO8859_1");
    for (int i = 0; i < count; ++i) {
      Row r;
      r.acao = i % 3 == 0 ? u"A" : u"I";
      r.dados = String(kDados) + u" #" + IntToStr(i);
      r.tipo = i % 2 == 0 ? u"PEDIDO" : u"CLIENTE";
      r.versao = u"1." + IntToStr(i % 10);
      const int y = 2026, mo = 1 + i % 12, d = 1 + i % 28;
      const int h = i / 3600 % 24, mi = i / 60 % 60, s = i % 60;
      r.data = EncodeDate(y, mo, d);
      r.hora = EncodeTime(h, mi, s, 0);
      r.acao_b = EncodeText(r.acao, cs);
      r.dados_b = EncodeText(r.dados, cs);
      r.tipo_b = EncodeText(r.tipo, cs);
      r.versao_b = EncodeText(r.versao, cs);
      r.day.tm_year = y - 1900;
      r.day.tm_mon = mo - 1;
      r.day.tm_mday = d;
      r.day.tm_hour = h;
      r.day.tm_min = mi;
      r.day.tm_sec = s;
      char date[16], time[16];
      std::snprintf(date, sizeof date, "%04d-%02d-%02d", y, mo, d);
      std::snprintf(time, sizeof time, "%02d:%02d:%02d.0000", h, mi, s);
      r.expected = r.acao_b + "|" + r.dados_b + "|" + date + "|" + time + "|" + r.tipo_b + "|" +
                   r.versao_b + "|PROCESSAR|~|~|~|numbered";
      rows.push_back(std::move(r));
    }
  }
};

const Rows& TheRows() {
  static Rows rows(g_options.rows);
  return rows;
}

// --- the database, through the client API -------------------------------------

[[noreturn]] void Fail(const char* what, const ISC_STATUS* status) {
  char text[512] = "";
  if (status != nullptr) {
    const ISC_STATUS* p = status;
    fb_interpret(text, sizeof text, &p);
  }
  throw std::runtime_error(std::string(what) + ": " + text);
}

std::vector<char> Dpb(bool force_write_off) {
  std::vector<char> dpb = {isc_dpb_version1};
  auto text = [&](char code, const char* value) {
    dpb.push_back(code);
    dpb.push_back(static_cast<char>(std::strlen(value)));
    dpb.insert(dpb.end(), value, value + std::strlen(value));
  };
  text(isc_dpb_user_name, "SYSDBA");
  text(isc_dpb_lc_ctype, "ISO8859_1");
  if (force_write_off) {
    dpb.push_back(isc_dpb_force_write);
    dpb.push_back(1);
    dpb.push_back(0);
  }
  return dpb;
}

// The service's transaction: read committed, record versions, no wait.
const char kTpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed,
                     isc_tpb_rec_version, isc_tpb_nowait};

struct RawConnection {
  isc_db_handle db = 0;
  isc_tr_handle tr = 0;
  ISC_STATUS_ARRAY status{};

  explicit RawConnection(const std::string& path, bool force_write_off = false) {
    std::vector<char> dpb = Dpb(force_write_off);
    if (isc_attach_database(status, 0, path.c_str(), &db, static_cast<short>(dpb.size()),
                            dpb.data()))
      Fail("attach", status);
  }
  ~RawConnection() {
    if (tr != 0) isc_rollback_transaction(status, &tr);
    if (db != 0) isc_detach_database(status, &db);
  }
  void Start() {
    if (isc_start_transaction(status, &tr, 1, &db, sizeof kTpb, kTpb)) Fail("start", status);
  }
  void Commit() {
    if (isc_commit_transaction(status, &tr)) Fail("commit", status);
  }
  void Run(const std::string& sql) {
    Start();
    if (isc_dsql_execute_immediate(status, &db, &tr, 0, sql.c_str(), 3, nullptr))
      Fail(sql.c_str(), status);
    Commit();
  }
};

const char* const kTables[] = {"LAYER_AT_END", "RAW_AT_END",  "SOCI_AT_END",
                               "LAYER_PER_ROW", "RAW_PER_ROW", "SOCI_PER_ROW"};

// A new dialect-3 ISO8859_1 database with one staging table per way, each
// numbered by its trigger as the service's table is.
void CreateDatabase(const std::string& path) {
  ISC_STATUS_ARRAY status{};
  isc_db_handle db = 0;
  isc_tr_handle tr = 0;
  const std::string create =
      "CREATE DATABASE '" + path + "' USER 'SYSDBA' DEFAULT CHARACTER SET ISO8859_1";
  if (isc_dsql_execute_immediate(status, &db, &tr, 0, create.c_str(), 3, nullptr))
    Fail("create database", status);
  isc_detach_database(status, &db);
  RawConnection c(path, g_options.Extra("forced-writes").empty());
  c.Run("CREATE GENERATOR GEN_TMP_INTEGRACAO");
  for (const char* t : kTables) {
    const std::string table = std::string("TMP_") + t;
    c.Run("CREATE TABLE " + table +
          " (NRECNO BIGINT, ACAO VARCHAR(3), DADOS VARCHAR(500), DATA DATE, HORA TIME, "
          "TIPO VARCHAR(50), VERSAO VARCHAR(10), STATUS VARCHAR(10), ERRO VARCHAR(200), "
          "STATUS_INTEGRACAO VARCHAR(10), ERRO_INTEGRACAO VARCHAR(200))");
    c.Run("CREATE TRIGGER " + table + "_BI FOR " + table +
          " BEFORE INSERT AS BEGIN IF (NEW.NRECNO IS NULL) THEN "
          "NEW.NRECNO = GEN_ID(GEN_TMP_INTEGRACAO, 1); END");
  }
}

std::string InsertSql(const std::string& table, bool named) {
  const char* columns[] = {"ACAO",   "DADOS", "DATA",   "ERRO", "ERRO_INTEGRACAO", "HORA",
                           "NRECNO", "STATUS", "STATUS_INTEGRACAO", "TIPO", "VERSAO"};
  std::string names, markers;
  for (const char* c : columns) {
    names += std::string(names.empty() ? "" : ", ") + c;
    markers += std::string(markers.empty() ? "" : ", ") + (named ? ":" + std::string(c) : "?");
  }
  return "insert into TMP_" + table + " (" + names + ") values (" + markers + ")";
}

struct Database {
  std::string dir, path;
  Database() {
    const bool shm = g_options.Extra("forced-writes").empty() && access("/dev/shm", W_OK) == 0;
    char tmpl[64];
    std::snprintf(tmpl, sizeof tmpl, "%s", shm ? "/dev/shm/kavo-ib-paths-XXXXXX"
                                                : "/tmp/kavo-ib-paths-XXXXXX");
    if (mkdtemp(tmpl) == nullptr) throw std::runtime_error("mkdtemp");
    dir = tmpl;
    path = dir + "/bench.fdb";
    CreateDatabase(path);
  }
  ~Database() {
    std::remove(path.c_str());
    ::rmdir(dir.c_str());
  }
};

Database& TheDatabase() {
  static Database db;
  return db;
}

// --- the ways ------------------------------------------------------------------

class Way {
 public:
  virtual ~Way() = default;
  virtual void Pass(const Rows& rows, bool commit_per_row) = 0;
};

class LayerWay : public Way {
 public:
  LayerWay(const std::string& path, const std::string& table) : db_(nullptr), tr_(nullptr), q_(nullptr) {
    db_.SetServerType(u"IBEmbedded");
    db_.SetLoginPrompt(false);
    db_.SetDatabaseName(Utf8ToString(path));
    for (const Char* line : {u"user_name=SYSDBA", u"lc_ctype=ISO8859_1"}) db_.Params().Add(line);
    db_.SetDefaultTransaction(&tr_);
    tr_.SetDefaultDatabase(&db_);
    for (const Char* line : {u"read_committed", u"rec_version", u"nowait"}) tr_.Params().Add(line);
    db_.Open();
    q_.SetDatabase(&db_);
    q_.SetTransaction(&tr_);
    q_.SQL().SetText(Utf8ToString(InsertSql(table, true)));
    tr_.StartTransaction();
    q_.Prepare();
    tr_.Commit();
  }
  void Pass(const Rows& rows, bool commit_per_row) override {
    tr_.StartTransaction();
    for (const Rows::Row& r : rows.rows) {
      q_.ParamByName(u"ACAO").SetAsString(r.acao);
      q_.ParamByName(u"DADOS").SetAsString(r.dados);
      q_.ParamByName(u"DATA").SetAsDate(r.data);
      q_.ParamByName(u"ERRO").Clear();
      q_.ParamByName(u"ERRO_INTEGRACAO").Clear();
      q_.ParamByName(u"HORA").SetAsTime(r.hora);
      q_.ParamByName(u"NRECNO").Clear();
      q_.ParamByName(u"STATUS").SetAsString(u"PROCESSAR");
      q_.ParamByName(u"STATUS_INTEGRACAO").Clear();
      q_.ParamByName(u"TIPO").SetAsString(r.tipo);
      q_.ParamByName(u"VERSAO").SetAsString(r.versao);
      q_.ExecQuery();
      if (commit_per_row) tr_.CommitRetaining();
    }
    tr_.Commit();
  }

 private:
  TIBDatabase db_;
  TIBTransaction tr_;
  TIBSQL q_;
};

// A text parameter: the counted bytes in a varying buffer.
struct Varying {
  std::vector<char> buffer = std::vector<char>(2 + 500);
  void Set(const std::string& bytes, XSQLVAR& var) {
    const uint16_t n = static_cast<uint16_t>(bytes.size());
    std::memcpy(buffer.data(), &n, 2);
    std::memcpy(buffer.data() + 2, bytes.data(), n);
    var.sqllen = static_cast<short>(n);
  }
};

class RawWay : public Way {
 public:
  RawWay(const std::string& path, const std::string& table)
      : c_(path), block_(XSQLDA_LENGTH(11)), in_(reinterpret_cast<XSQLDA*>(block_.data())) {
    c_.Start();
    const std::string sql = InsertSql(table, false);
    if (isc_dsql_alloc_statement2(c_.status, &c_.db, &stmt_) ||
        isc_dsql_prepare(c_.status, &c_.tr, &stmt_, 0, sql.c_str(), 3, nullptr))
      Fail("prepare", c_.status);
    c_.Commit();
    in_->version = SQLDA_VERSION1;
    in_->sqln = in_->sqld = 11;
    auto set = [&](int i, short type, void* data, short* indicator, short len) {
      in_->sqlvar[i].sqltype = static_cast<short>(type + 1);
      in_->sqlvar[i].sqlscale = 0;
      in_->sqlvar[i].sqlsubtype = 0;
      in_->sqlvar[i].sqllen = len;
      in_->sqlvar[i].sqldata = static_cast<char*>(data);
      in_->sqlvar[i].sqlind = indicator;
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
  ~RawWay() override { isc_dsql_free_statement(c_.status, &stmt_, DSQL_drop); }
  void Pass(const Rows& rows, bool commit_per_row) override {
    static const std::string kProcessar = "PROCESSAR";
    c_.Start();
    for (const Rows::Row& r : rows.rows) {
      acao_.Set(r.acao_b, in_->sqlvar[0]);
      dados_.Set(r.dados_b, in_->sqlvar[1]);
      std::tm day = r.day;
      isc_encode_sql_date(&day, &date_);
      isc_encode_sql_time(&day, &time_);
      status_.Set(kProcessar, in_->sqlvar[7]);
      tipo_.Set(r.tipo_b, in_->sqlvar[9]);
      versao_.Set(r.versao_b, in_->sqlvar[10]);
      if (isc_dsql_execute(c_.status, &c_.tr, &stmt_, 3, in_)) Fail("insert", c_.status);
      if (commit_per_row && isc_commit_retaining(c_.status, &c_.tr)) Fail("commit", c_.status);
    }
    c_.Commit();
  }

 private:
  RawConnection c_;
  isc_stmt_handle stmt_ = 0;
  std::vector<char> block_;
  XSQLDA* in_;
  Varying acao_, dados_, status_, tipo_, versao_;
  ISC_DATE date_ = 0;
  ISC_TIME time_ = 0;
  short present_ = 0, null_ = -1;
  alignas(8) char nothing_[8] = {};
};

#ifdef KAVO_BENCH_SOCI
class SociWay : public Way {
 public:
  SociWay(const std::string& path, const std::string& table)
      : sql_(*soci::factory_firebird(),
             "service=" + path + " user=SYSDBA password=masterkey charset=ISO8859_1"),
        st_((sql_.prepare << InsertSql(table, true), soci::use(acao_), soci::use(dados_),
             soci::use(data_), soci::use(erro_, null_), soci::use(erro_integracao_, null_),
             soci::use(hora_), soci::use(nrecno_, null_), soci::use(status_),
             soci::use(status_integracao_, null_), soci::use(tipo_), soci::use(versao_))) {
    sql_.commit();
  }
  void Pass(const Rows& rows, bool commit_per_row) override {
    for (const Rows::Row& r : rows.rows) {
      acao_ = r.acao_b;
      dados_ = r.dados_b;
      data_ = r.day;
      hora_ = r.day;
      status_ = "PROCESSAR";
      tipo_ = r.tipo_b;
      versao_ = r.versao_b;
      st_.execute(true);
      // SOCI has no commit that keeps the transaction: a commit per row ends
      // it, and the backend starts the next one.
      if (commit_per_row) sql_.commit();
    }
    sql_.commit();
  }

 private:
  soci::session sql_;
  std::string acao_, dados_, erro_, erro_integracao_, status_, status_integracao_, tipo_,
      versao_;
  std::tm data_{}, hora_{};
  long long nrecno_ = 0;
  soci::indicator null_ = soci::i_null;
  soci::statement st_;
};
#endif

std::unique_ptr<Way> MakeWay(const std::string& kind, const std::string& path,
                             const std::string& table) {
  if (kind == "Layer") return std::make_unique<LayerWay>(path, table);
  if (kind == "Raw") return std::make_unique<RawWay>(path, table);
#ifdef KAVO_BENCH_SOCI
  if (kind == "Soci") return std::make_unique<SociWay>(path, table);
#endif
  throw std::runtime_error("no way named " + kind);
}

// --- cases -----------------------------------------------------------------------

struct Case {
  std::string name;   // "AtEnd/Layer"
  std::string kind;   // "Layer"
  std::string table;  // "LAYER_AT_END"
  bool per_row;
  std::unique_ptr<Way> way;
  int passes = 0;
};

std::vector<Case>& Cases() {
  static std::vector<Case> cases = [] {
    std::vector<Case> list;
    std::vector<std::string> kinds = {"Layer", "Raw"};
#ifdef KAVO_BENCH_SOCI
    kinds.push_back("Soci");
#endif
    for (bool per_row : {false, true}) {
      for (const std::string& kind : kinds) {
        std::string upper;
        for (char c : kind) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        list.push_back(Case{std::string(per_row ? "CommitPerRow/" : "CommitAtEnd/") + kind, kind,
                            upper + (per_row ? "_PER_ROW" : "_AT_END"), per_row, nullptr, 0});
      }
    }
    return list;
  }();
  return cases;
}

void RunCase(benchmark::State& state, Case* c) {
  try {
    if (!c->way) c->way = MakeWay(c->kind, TheDatabase().path, c->table);
    const Rows& rows = TheRows();
    for (auto _ : state) {
      c->way->Pass(rows, c->per_row);
      ++c->passes;
    }
    state.SetItemsProcessed(state.iterations() * g_options.rows);
  } catch (const Exception& e) {
    state.SkipWithError(StringToUtf8(e.Message()).c_str());
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

// Every table holds each expected row once per pass of its way.
bool CheckRows() {
  RawConnection c(TheDatabase().path);
  std::map<std::string, int> expected;
  for (const Rows::Row& r : TheRows().rows) ++expected[r.expected];
  bool ok = true;
  for (Case& k : Cases()) {
    k.way.reset();  // its work is committed; the check reads as a new attachment
    const std::string sql =
        "select coalesce(ACAO,'~')||'|'||coalesce(DADOS,'~')||'|'||"
        "coalesce(cast(DATA as varchar(10)),'~')||'|'||coalesce(cast(HORA as varchar(13)),'~')||"
        "'|'||coalesce(TIPO,'~')||'|'||coalesce(VERSAO,'~')||'|'||coalesce(STATUS,'~')||'|'||"
        "coalesce(ERRO,'~')||'|'||coalesce(STATUS_INTEGRACAO,'~')||'|'||"
        "coalesce(ERRO_INTEGRACAO,'~')||'|'||trim(iif(NRECNO is null,'unnumbered','numbered')) "
        "from TMP_" + k.table;
    c.Start();
    isc_stmt_handle stmt = 0;
    std::vector<char> block(XSQLDA_LENGTH(1));
    XSQLDA* out = reinterpret_cast<XSQLDA*>(block.data());
    out->version = SQLDA_VERSION1;
    out->sqln = 1;
    if (isc_dsql_alloc_statement2(c.status, &c.db, &stmt) ||
        isc_dsql_prepare(c.status, &c.tr, &stmt, 0, sql.c_str(), 3, out))
      Fail("check prepare", c.status);
    std::vector<char> data(out->sqlvar[0].sqllen + 2);
    short ind = 0;
    out->sqlvar[0].sqldata = data.data();
    out->sqlvar[0].sqlind = &ind;
    if (isc_dsql_execute(c.status, &c.tr, &stmt, 3, nullptr)) Fail("check execute", c.status);
    std::map<std::string, int> found;
    long total = 0;
    while (isc_dsql_fetch(c.status, &stmt, 3, out) == 0) {
      uint16_t n;
      std::memcpy(&n, data.data(), 2);
      ++found[std::string(data.data() + 2, n)];
      ++total;
    }
    isc_dsql_free_statement(c.status, &stmt, DSQL_drop);
    c.Commit();
    bool same = total == static_cast<long>(TheRows().rows.size()) * k.passes;
    std::string missing, unexpected;
    for (const auto& [row, count] : expected) {
      auto f = found.find(row);
      if (f == found.end() || f->second != count * k.passes) {
        same = false;
        if (missing.empty()) missing = row;
      }
    }
    for (const auto& [row, count] : found)
      if (expected.count(row) == 0 && unexpected.empty()) unexpected = row;
    if (!same || !unexpected.empty()) {
      std::fprintf(stderr, "%s: %ld rows in TMP_%s after %d passes, not the rows meant\n",
                   k.name.c_str(), total, k.table.c_str(), k.passes);
      if (!missing.empty()) std::fprintf(stderr, "  a row meant, missing: %s\n", missing.c_str());
      if (!unexpected.empty()) std::fprintf(stderr, "  a row not meant: %s\n", unexpected.c_str());
      ok = false;
    }
  }
  if (ok) std::printf("rows checked: every way wrote the same %d rows per pass\n", g_options.rows);
  return ok;
}

int SinglePass() {
  for (Case& c : Cases()) {
    if (c.name != g_options.variant) continue;
    RunSinglePass([&] { c.way = MakeWay(c.kind, TheDatabase().path, c.table); TheRows(); },
                  [&] { c.way->Pass(TheRows(), c.per_row); });
    c.way.reset();
    return 0;
  }
  std::fprintf(stderr, "no way named %s\n", g_options.variant.c_str());
  return 2;
}

}  // namespace
}  // namespace kavo::bench

// The embedded engine loads ICU, which keeps its converters until the process
// ends, and loads and unloads plugins (with thread-local storage) while it
// runs, which leaves the dynamic loader's own lists behind.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libicuuc.so\nleak:libicui18n.so\nleak:libfbclient.so\nleak:libEngine12.so\n"
         "leak:_dl_map_object_deps\n";
}
extern "C" const char* __lsan_default_options() { return "use_tls=0"; }

int main(int argc, char** argv) {
  using namespace kavo::bench;
  if (std::getenv("FIREBIRD_LOCK") == nullptr) {
    ::mkdir("/tmp/kavo-bench-lock", 0777);
    ::setenv("FIREBIRD_LOCK", "/tmp/kavo-bench-lock", 1);
  }
  g_options = ParseOptions(argc, argv, 10000, 9, {"forced-writes"});
  try {
    if (!g_options.variant.empty()) return SinglePass();
    benchmark::Initialize(&argc, argv);
    for (Case& c : Cases())
      benchmark::RegisterBenchmark(c.name.c_str(), RunCase, &c)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1)
          ->UseRealTime();
    TheRows();
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n== Firebird insert, %d rows per pass, embedded engine, medians of the "
                "interleaved passes\n",
                g_options.rows);
    const bool rows_ok = CheckRows();
    std::map<std::string, MemoryUse> memory;
    if (g_options.memory)
      for (Case& c : Cases()) memory[c.name] = MeasureInChild(g_options, c.name);
    std::vector<Row> table;
    for (const char* mode : {"CommitAtEnd/", "CommitPerRow/"}) {
      const std::string m = mode;
      const bool at_end = m == "CommitAtEnd/";
      table.push_back({m + "Raw", "", "", 0});
      table.push_back({m + "Layer", m + "Raw", at_end ? "<= 1.05" : "", at_end ? 1.05 : 0, 1.10});
#ifdef KAVO_BENCH_SOCI
      table.push_back({m + "Soci", m + "Raw", "", 0});
      table.push_back({m + "Layer", m + "Soci", at_end ? "< 1" : "", at_end ? 0.9999 : 0});
#endif
    }
    PrintTable(reporter, table, g_options.rows, memory);
    benchmark::Shutdown();
    std::fflush(stdout);
    return rows_ok && !reporter.AnyError() ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
