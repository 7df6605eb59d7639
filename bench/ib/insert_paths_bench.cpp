// Inserting staging rows into one embedded Firebird database four ways:
// through the layer (TIBSQL with the service's named parameters, eleven
// ParamByName calls per row), through the record set as the cycle writes
// (TIBDataSet: Insert, field writes by name, Post running its stored insert),
// through the client API alone (ibase.h, one XSQLDA filled by hand) and
// through SOCI's Firebird backend; each with a commit per row and with one
// commit at the end of the pass. Every way writes
// a table of its own; at the end all tables must hold the same rows, and the
// rows that were meant.
//
//   ib_insert_paths_bench [--rows=N] [--memory] [--forced-writes=1] [benchmark flags]
//
// The database lies in /dev/shm with forced writes off unless --forced-writes=1:
// the layers' own cost is measured, not the disk's.
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
#include "ib/ib_dataset.h"
#include "ib/ib_sql.h"
#include "ib/ib_transaction.h"
#include "raw_firebird.h"
#include "raw_staging.h"
#include "rtl/datetime.h"
#include "scratch_directory.h"
#include "side_by_side_program.h"

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

const char* const kTables[] = {"LAYER_AT_END",  "DATASET_AT_END",  "RAW_AT_END",  "SOCI_AT_END",
                               "LAYER_PER_ROW", "DATASET_PER_ROW", "RAW_PER_ROW", "SOCI_PER_ROW"};

// A new dialect-3 ISO8859_1 database with one staging table per way, each
// numbered by its trigger as the service's table is.
void CreateBenchDatabase(const std::string& path) {
  CreateDatabase("CREATE DATABASE '" + path + "' USER 'SYSDBA' DEFAULT CHARACTER SET ISO8859_1");
  RawConnection c(path, "SYSDBA", "", g_options.Extra("forced-writes").empty());
  c.Run("CREATE GENERATOR GEN_TMP_INTEGRACAO");
  for (const char* t : kTables) MakeStagingTable(c, t);
}

struct Database {
  std::string dir, path;
  Database() {
    dir = MakeScratchDirectory("kavo-ib-paths", g_options.Extra("forced-writes").empty());
    path = dir + "/bench.fdb";
    CreateBenchDatabase(path);
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
    q_.SQL().SetText(Utf8ToString(StagingInsertSql(table, true)));
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

// The record set as the cycle drives it: its stored statements (the select
// finds no row), fields by name, the transaction's retaining commit per row;
// it keeps every row it inserted until it closes. Prepared once, as the other
// ways' statements are: a pass opens it (its select runs), ends with a
// retaining commit, which keeps it prepared, and closes it.
class DataSetWay : public Way {
 public:
  DataSetWay(const std::string& path, const std::string& table)
      : db_(nullptr), tr_(nullptr), ds_(nullptr) {
    db_.SetServerType(u"IBEmbedded");
    db_.SetLoginPrompt(false);
    db_.SetDatabaseName(Utf8ToString(path));
    for (const Char* line : {u"user_name=SYSDBA", u"lc_ctype=ISO8859_1"}) db_.Params().Add(line);
    db_.SetDefaultTransaction(&tr_);
    tr_.SetDefaultDatabase(&db_);
    for (const Char* line : {u"read_committed", u"rec_version", u"nowait"}) tr_.Params().Add(line);
    ds_.SetDatabase(&db_);
    ds_.SetTransaction(&tr_);
    ds_.SelectSQL().SetText(Utf8ToString("SELECT * FROM TMP_" + table + "\r\nwhere NRECNO = 1"));
    ds_.InsertSQL().SetText(Utf8ToString(StagingInsertSql(table, true)));
    db_.Open();
    ds_.Prepare();  // starts the transaction; a commit would release the statements
  }
  void Pass(const Rows& rows, bool commit_per_row) override {
    ds_.Open();
    for (const Rows::Row& r : rows.rows) {
      ds_.Insert();
      ds_.FieldByName(u"ACAO").SetAsWideString(r.acao);
      ds_.FieldByName(u"DADOS").SetAsWideString(r.dados);
      ds_.FieldByName(u"DATA").SetAsDateTime(r.data);
      ds_.FieldByName(u"HORA").SetAsDateTime(r.hora);
      ds_.FieldByName(u"TIPO").SetAsWideString(r.tipo);
      ds_.FieldByName(u"VERSAO").SetAsWideString(r.versao);
      ds_.FieldByName(u"STATUS").SetAsWideString(u"PROCESSAR");
      ds_.FieldByName(u"NRECNO").Clear();
      ds_.Post();
      if (commit_per_row) tr_.CommitRetaining();
    }
    tr_.CommitRetaining();
    ds_.Close();
  }

 private:
  TIBDatabase db_;
  TIBTransaction tr_;
  TIBDataSet ds_;
};

class RawWay : public Way {
 public:
  RawWay(const std::string& path, const std::string& table) : c_(path, "SYSDBA") {
    c_.Start();
    const std::string sql = StagingInsertSql(table, false);
    if (isc_dsql_alloc_statement2(c_.status, &c_.db, &stmt_) ||
        isc_dsql_prepare(c_.status, &c_.tr, &stmt_, 0, sql.c_str(), 3, nullptr))
      Fail("prepare", c_.status);
    c_.Commit();
  }
  ~RawWay() override { isc_dsql_free_statement(c_.status, &stmt_, DSQL_drop); }
  void Pass(const Rows& rows, bool commit_per_row) override {
    c_.Start();
    for (const Rows::Row& r : rows.rows) {
      params_.Set(r.acao_b, r.dados_b, r.day, r.day, r.tipo_b, r.versao_b);
      if (isc_dsql_execute(c_.status, &c_.tr, &stmt_, 3, params_.In())) Fail("insert", c_.status);
      if (commit_per_row && isc_commit_retaining(c_.status, &c_.tr)) Fail("commit", c_.status);
    }
    c_.Commit();
  }

 private:
  RawConnection c_;
  isc_stmt_handle stmt_ = 0;
  StagingInsertParams params_;
};

#ifdef KAVO_BENCH_SOCI
class SociWay : public Way {
 public:
  SociWay(const std::string& path, const std::string& table)
      : sql_(*soci::factory_firebird(),
             "service=" + path + " user=SYSDBA password=masterkey charset=ISO8859_1"),
        st_((sql_.prepare << StagingInsertSql(table, true), soci::use(acao_), soci::use(dados_),
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
  if (kind == "DataSet") return std::make_unique<DataSetWay>(path, table);
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
    std::vector<std::string> kinds = {"Layer", "DataSet", "Raw"};
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

// Every pass starts on an empty table in a database of the same size: the
// rows of the way's last pass are deleted and their versions collected,
// outside the time. Without it each pass inserts into a bigger database, and
// the interleaved order, not the way, decides much of a median.
void EmptyTable(const std::string& table) {
  RawConnection c(TheDatabase().path, "SYSDBA");
  c.Run("delete from TMP_" + table);
  c.Start();
  RawSelect collect(c, "select count(*) from TMP_" + table, 1);
  collect.Execute(c);
  while (collect.Fetch(c)) {
  }
  collect.Free(c);
  c.Commit();
  c.Detach();
}

void RunCase(benchmark::State& state, Case& c) {
  if (!c.way) c.way = MakeWay(c.kind, TheDatabase().path, c.table);
  EmptyTable(c.table);
  const Rows& rows = TheRows();
  for (auto _ : state) {
    c.way->Pass(rows, c.per_row);
    ++c.passes;
  }
  state.SetItemsProcessed(state.iterations() * g_options.rows);
}

// Every table holds each expected row once: its way's last pass.
bool CheckRows() {
  RawConnection c(TheDatabase().path, "SYSDBA");
  std::map<std::string, int> expected;
  for (const Rows::Row& r : TheRows().rows) ++expected[r.expected];
  bool ok = true;
  for (Case& k : Cases()) {
    k.way.reset();  // its work is committed; the check reads as a new attachment
    c.Start();
    RawSelect q(c, StagingReadBackSql(k.table), 1);
    q.Execute(c);
    std::map<std::string, int> found;
    long total = 0;
    while (q.Fetch(c)) {
      ++found[q.Varying(0)];
      ++total;
    }
    q.Free(c);
    c.Commit();
    const int passes = k.passes > 0 ? 1 : 0;
    bool same = total == static_cast<long>(TheRows().rows.size()) * passes;
    std::string missing, unexpected;
    for (const auto& [row, count] : expected) {
      auto f = found.find(row);
      if (f == found.end() || f->second != count * passes) {
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

int SinglePass(Case& c) {
  RunSinglePass([&] { c.way = MakeWay(c.kind, TheDatabase().path, c.table); TheRows(); },
                [&] { c.way->Pass(TheRows(), c.per_row); });
  c.way.reset();
  return 0;
}

}  // namespace
}  // namespace kavo::bench

int main(int argc, char** argv) {
  using namespace kavo::bench;
  UseBenchLockDirectory();
  g_options = ParseOptions(argc, argv, 10000, 9, {"forced-writes"});
  Program program = ProgramOf(Cases, RunCase, SinglePass);
  program.prepare = [] { TheRows(); };
  program.check = [] {
    std::printf("\n== Firebird insert, %d rows per pass, embedded engine, medians of the "
                "interleaved passes\n",
                g_options.rows);
    return CheckRows();
  };
  for (const char* mode : {"CommitAtEnd/", "CommitPerRow/"}) {
    const std::string m = mode;
    const bool at_end = m == "CommitAtEnd/";
    program.table.push_back({m + "Raw", "", "", 0});
    program.table.push_back(
        {m + "Layer", m + "Raw", at_end ? "<= 1.05" : "", at_end ? 1.05 : 0, 1.10});
    program.table.push_back({m + "DataSet", m + "Raw", "<= 1.10", 1.10});
#ifdef KAVO_BENCH_SOCI
    program.table.push_back({m + "Soci", m + "Raw", "", 0});
    program.table.push_back({m + "Layer", m + "Soci", at_end ? "< 1" : "", at_end ? 0.9999 : 0});
#endif
  }
  program.rows_per_pass = [] { return g_options.rows; };
  return RunProgram(argc, argv, g_options, program);
}
