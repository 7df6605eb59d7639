// The Oracle record set against raw OCI calls on one stand-in store:
//
//   Open      the pending rows of the interface table (100 000 by default)
//             through TOracleDataSet::Open, against the same select with
//             defines and array fetches of 25 rows;
//   Mark      1 000 rows marked one by one (Edit, STATUS := X or Y, the
//             move's post), against the same statements sent raw: the check
//             select, the savepoint, the locking select, the update with
//             its returned ROWID, the commit;
//   Store     the bytes the record store holds for the opened rows against
//             the bytes of the rows as a raw client defines them;
//   Statement the statement layer alone (TOracleQuery) against the raw
//             fetch, the part of Open that is not the record set's own.
//
// Each iteration times both sides (process CPU time), alternating which goes
// first; the counters are the medians of each side and their ratio (goal: at
// most 1.2 for Open and Mark, at most 2 for Store).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "oracle/oracle_dataset.h"
#include "oracle/session.h"
#include "recordset/date_time_fields.h"
#include "recordset/numeric_fields.h"
#include "recordset/string_fields.h"
#include "rtl/code_page.h"
// The stand-in's own header, for the raw side: after the layer's, whose
// constants it defines as macros.
#include "oci.h"

namespace kavo {
namespace {

int g_rows = 100000;
int g_marks = 1000;

const char* const kSelect =
    "SELECT A.*, A.ROWID FROM v9norvelo.\"INTERFACE_ORCL\" A WHERE A.STATUS='A'";

// Process CPU time: the stand-in runs inside the process, and the machine is
// shared, so wall time would measure the neighbours too.
double Seconds(const std::function<void()>& f) {
  auto now = [] {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
  };
  double t0 = now();
  f();
  return now() - t0;
}

// Times both ways once, the first going first on even turns only, so that
// neither always runs on a warmer cache.
void TimeInTurns(int turn, const std::function<void()>& a, std::vector<double>& a_s,
                 const std::function<void()>& b, std::vector<double>& b_s) {
  if (turn % 2 == 0) {
    a_s.push_back(Seconds(a));
    b_s.push_back(Seconds(b));
  } else {
    b_s.push_back(Seconds(b));
    a_s.push_back(Seconds(a));
  }
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

struct Raw {
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OCISvcCtx* svc = nullptr;

  void Logon(const std::string& user, const std::string& pw, const std::string& db) {
    OCIEnvNlsCreate(&env, OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr, 873, 873);  // UTF-8, as the layer asks
    OCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr);
    if (OCILogon(env, err, &svc, reinterpret_cast<const OraText*>(user.c_str()), static_cast<ub4>(user.size()),
                 reinterpret_cast<const OraText*>(pw.c_str()), static_cast<ub4>(pw.size()),
                 reinterpret_cast<const OraText*>(db.c_str()), static_cast<ub4>(db.size())) != OCI_SUCCESS)
      Fail("logon");
  }
  void Logoff() {
    OCILogoff(svc, err);
    OCIHandleFree(env, OCI_HTYPE_ENV);
  }
  void Fail(const char* what) {
    char text[512] = {0};
    sb4 code = 0;
    OCIErrorGet(err, 1, nullptr, &code, reinterpret_cast<OraText*>(text), sizeof text, OCI_HTYPE_ERROR);
    std::fprintf(stderr, "%s: %s\n", what, text);
    std::abort();
  }
  OCIStmt* Prepare(const std::string& sql) {
    OCIStmt* st = nullptr;
    OCIHandleAlloc(env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    OCIStmtPrepare(st, err, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()),
                   OCI_NTV_SYNTAX, OCI_DEFAULT);
    return st;
  }
  void Run(const std::string& sql) {
    OCIStmt* st = Prepare(sql);
    if (OCIStmtExecute(svc, st, err, 1, 0, nullptr, nullptr, OCI_COMMIT_ON_SUCCESS) != OCI_SUCCESS) Fail(sql.c_str());
    OCIHandleFree(st, OCI_HTYPE_STMT);
  }
  void BindString(OCIStmt* st, const char* name, char* buf, sb4 size, sb2* ind = nullptr) {
    OCIBind* b = nullptr;
    OCIBindByName(st, &b, err, reinterpret_cast<const OraText*>(name), -1, buf, size, SQLT_STR, ind,
                  nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
  }
};

// The interface table's columns as a raw client defines them.
struct Defines {
  static constexpr int kBatch = 25;
  static constexpr int kColumns = 14;
  struct Column {
    ub2 type;
    sb4 size;
  };
  static constexpr Column kLayout[kColumns] = {
      {SQLT_STR, 2},   {SQLT_FLT, 8},  {SQLT_STR, 501}, {SQLT_DAT, 7}, {SQLT_DAT, 7},
      {SQLT_DAT, 7},   {SQLT_STR, 256}, {SQLT_STR, 9},  {SQLT_FLT, 8}, {SQLT_STR, 2},
      {SQLT_STR, 21},  {SQLT_STR, 51},  {SQLT_STR, 11}, {SQLT_STR, 19}};
  std::vector<std::vector<char>> buf;
  sb2 ind[kColumns][kBatch];
  ub2 len[kColumns][kBatch];

  static size_t RowBytes() {
    size_t n = 0;
    for (const Column& c : kLayout) n += static_cast<size_t>(c.size);
    return n;
  }
  void Define(Raw& raw, OCIStmt* st) {
    buf.assign(kColumns, {});
    for (int c = 0; c < kColumns; ++c) {
      buf[c].assign(static_cast<size_t>(kLayout[c].size) * kBatch, 0);
      OCIDefineByPos(st, nullptr, raw.err, static_cast<ub4>(c + 1), buf[c].data(), kLayout[c].size,
                     kLayout[c].type, ind[c], len[c], nullptr, OCI_DEFAULT);
    }
  }
};

class Bench {
 public:
  static Bench& Get() {
    static Bench b;
    return b;
  }

  Raw raw;
  std::unique_ptr<TOracleSession> session;
  std::string dir, store;

 private:
  Bench() {
    char tmpl[] = "/tmp/kavo_oracle_bench_XXXXXX";
    dir = mkdtemp(tmpl);
    store = dir + "/bench.db";
    std::string cmd = std::string(OCISQLITE_TOOL) + " create " + store + " manager";
    if (std::system(cmd.c_str()) != 0) std::abort();
    setenv("ORACLE_HOME", OCISQLITE_HOME, 1);
    setenv("KAVO_ORATAB", (dir + "/no-oratab").c_str(), 1);
    unsetenv("NLS_LANG");
    SetAnsiCodePage("CP1252");
    Raw system;
    system.Logon("system", "manager", store);
    system.Run("create user v9norvelo identified by secret");
    for (const char* table : {"\"INTERFACE_ORCL\"", "MARKS_RAW", "MARKS_DS"})
      system.Run(std::string("create table v9norvelo.") + table +
                 " (ACAO varchar2(1), CODIGO number, DADOS varchar2(500), DT_H_GRAV date, "
                 "DT_H_PRI_P date, DT_H_ULT_P date, ERRO varchar2(255), HORA varchar2(8), "
                 "ORDEM number, STATUS varchar2(1), TABELA varchar2(20), TIPO varchar2(50), "
                 "VERSAO varchar2(10))");
    system.Logoff();
    raw.Logon("v9norvelo", "secret", store);
    Fill("interface_orcl", g_rows);
    Fill("marks_raw", g_marks);
    Fill("marks_ds", g_marks);
    session = std::make_unique<TOracleSession>(nullptr);
    session->SetLogonDatabase(Utf8ToString(store));
    session->SetLogonUsername(u"v9norvelo/secret");
    session->SetConnected(true);
  }
  ~Bench() {
    session.reset();
    raw.Logoff();
    std::string cmd = "rm -rf " + dir;
    if (std::system(cmd.c_str()) != 0) std::perror("rm");
  }

  // Pending rows as the service finds them, 1000 per array insert.
  void Fill(const std::string& table, int rows) {
    OCIStmt* st = raw.Prepare(
        "insert into " + table + " (acao, codigo, dados, dt_h_grav, hora, ordem, status, tabela, "
        "tipo, versao) values ('I', :codigo, :dados, to_date('2024-03-05 08:30:15', "
        "'yyyy-mm-dd hh24:mi:ss'), '10:00:00', :ordem, 'A', 'PEDIDOS', 'PEDIDO', '1.0')");
    constexpr int kChunk = 1000;
    std::vector<double> codigo(kChunk);
    std::vector<char> dados(kChunk * 101);
    OCIBindByName(st, nullptr, raw.err, reinterpret_cast<const OraText*>(":codigo"), -1, codigo.data(), 8,
                  SQLT_FLT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
    OCIBindByName(st, nullptr, raw.err, reinterpret_cast<const OraText*>(":ordem"), -1, codigo.data(), 8,
                  SQLT_FLT, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
    OCIBindByName(st, nullptr, raw.err, reinterpret_cast<const OraText*>(":dados"), -1, dados.data(), 101,
                  SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, OCI_DEFAULT);
    for (int base = 0; base < rows; base += kChunk) {
      int n = std::min(kChunk, rows - base);
      for (int i = 0; i < n; ++i) {
        codigo[static_cast<size_t>(i)] = base + i + 1;
        std::snprintf(&dados[static_cast<size_t>(i) * 101], 101,
                      "Pending interface record %d for the nightly integration", base + i + 1);
      }
      if (OCIStmtExecute(raw.svc, st, raw.err, static_cast<ub4>(n), 0, nullptr, nullptr,
                         OCI_COMMIT_ON_SUCCESS) != OCI_SUCCESS)
        raw.Fail("fill");
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);
  }
};

template <class F>
F* AddField(TComponent& owner, TDataSet& ds, const Char* name, int size = 0) {
  auto* f = new F(&owner);
  f->SetFieldName(name);
  if (size) f->SetSize(size);
  f->SetDataSet(&ds);
  return f;
}

// The service's record set with its thirteen persistent fields.
struct ServiceDataSet {
  TComponent owner{nullptr};
  TOracleDataSet* ds;

  explicit ServiceDataSet(const String& sql) {
    ds = new TOracleDataSet(&owner);
    ds->SetName(u"OracleDataSet");
    ds->SetSession(Bench::Get().session.get());
    ds->SetOptimize(false);
    ds->SQL().SetText(sql);
    AddField<TStringField>(owner, *ds, u"ACAO", 1);
    AddField<TFloatField>(owner, *ds, u"CODIGO");
    AddField<TStringField>(owner, *ds, u"DADOS", 500);
    AddField<TDateTimeField>(owner, *ds, u"DT_H_GRAV");
    AddField<TDateTimeField>(owner, *ds, u"DT_H_PRI_P");
    AddField<TDateTimeField>(owner, *ds, u"DT_H_ULT_P");
    AddField<TStringField>(owner, *ds, u"ERRO", 255);
    AddField<TStringField>(owner, *ds, u"HORA", 8);
    AddField<TFloatField>(owner, *ds, u"ORDEM");
    AddField<TStringField>(owner, *ds, u"STATUS", 1);
    AddField<TStringField>(owner, *ds, u"TABELA", 20);
    AddField<TStringField>(owner, *ds, u"TIPO", 50);
    AddField<TStringField>(owner, *ds, u"VERSAO", 10);
  }
};

int RawOpen(Raw& raw, const std::string& sql, std::vector<std::string>* rowids = nullptr) {
  OCIStmt* st = raw.Prepare(sql);
  if (OCIStmtExecute(raw.svc, st, raw.err, 0, 0, nullptr, nullptr, OCI_DEFAULT) != OCI_SUCCESS)
    raw.Fail("select");
  auto d = std::make_unique<Defines>();
  d->Define(raw, st);
  int rows = 0;
  sword rc;
  do {
    rc = OCIStmtFetch2(st, raw.err, Defines::kBatch, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
    ub4 got = 0;
    OCIAttrGet(st, OCI_HTYPE_STMT, &got, nullptr, OCI_ATTR_ROWS_FETCHED, raw.err);
    if (rowids != nullptr)
      for (ub4 i = 0; i < got; ++i) rowids->push_back(&d->buf[13][i * 19]);
    rows += static_cast<int>(got);
    benchmark::DoNotOptimize(d->buf[1][0]);
  } while (rc == OCI_SUCCESS);
  OCIHandleFree(st, OCI_HTYPE_STMT);
  return rows;
}

void BM_OpenPendingRows(benchmark::State& state) {
  Bench& b = Bench::Get();
  ServiceDataSet service(AsciiToString(kSelect));
  std::vector<double> raw_s, ds_s, close_s;
  size_t store_bytes = 0;
  int n = 0;
  for (auto _ : state) {
    auto raw = [&] {
      if (RawOpen(b.raw, kSelect) != g_rows) std::abort();
    };
    auto ds = [&] {
      service.ds->Open();
      if (service.ds->RecordCount() != g_rows) std::abort();
      store_bytes = service.ds->Store()->AllocatedBytes();
      close_s.push_back(Seconds([&] { service.ds->Close(); }));
    };
    TimeInTurns(n++, raw, raw_s, ds, ds_s);
  }
  state.counters["raw_ms"] = Median(raw_s) * 1000;
  state.counters["dataset_ms"] = Median(ds_s) * 1000;
  state.counters["ratio"] = Median(ds_s) / Median(raw_s);
  state.counters["close_ms"] = Median(close_s) * 1000;
  double raw_bytes = static_cast<double>(Defines::RowBytes()) * g_rows;
  state.counters["store_MB"] = static_cast<double>(store_bytes) / 1e6;
  state.counters["raw_defined_MB"] = raw_bytes / 1e6;
  state.counters["store_ratio"] = static_cast<double>(store_bytes) / raw_bytes;
}
BENCHMARK(BM_OpenPendingRows)->Unit(benchmark::kMillisecond)->Iterations(9)->UseRealTime();

// The statement layer alone (TOracleQuery: execute, Next through every row)
// against the same raw fetch: what the record set adds is the rest.
void BM_StatementOnly(benchmark::State& state) {
  Bench& b = Bench::Get();
  std::vector<double> raw_s, q_s;
  int n = 0;
  for (auto _ : state) {
    auto raw = [&] {
      if (RawOpen(b.raw, kSelect) != g_rows) std::abort();
    };
    auto query = [&] {
      TOracleQuery q(nullptr);
      q.SetSession(b.session.get());
      q.SetOptimize(false);
      q.SetSQLText(AsciiToString(kSelect));
      q.Execute();
      int rows = 0;
      for (; !q.Eof(); q.Next()) ++rows;
      if (rows != g_rows) std::abort();
    };
    TimeInTurns(n++, raw, raw_s, query, q_s);
  }
  state.counters["raw_ms"] = Median(raw_s) * 1000;
  state.counters["statement_ms"] = Median(q_s) * 1000;
  state.counters["ratio"] = Median(q_s) / Median(raw_s);
}
BENCHMARK(BM_StatementOnly)->Unit(benchmark::kMillisecond)->Iterations(9)->UseRealTime();

// The statements one marked row costs, sent raw with a fresh parse each as
// the record set's (Optimize False) are.
void RawMark(Raw& raw, const std::string& rowid_text, char status) {
  char rowid[501];
  std::snprintf(rowid, sizeof rowid, "%s", rowid_text.c_str());
  char value[2] = {status, 0};
  auto select = [&](const char* sql) {
    OCIStmt* st = raw.Prepare(sql);
    raw.BindString(st, ":vzo__rowid", rowid, sizeof rowid);
    if (OCIStmtExecute(raw.svc, st, raw.err, 0, 0, nullptr, nullptr, OCI_DEFAULT) != OCI_SUCCESS)
      raw.Fail(sql);
    auto d = std::make_unique<Defines>();
    d->Define(raw, st);
    OCIStmtFetch2(st, raw.err, 2, OCI_FETCH_NEXT, 0, OCI_DEFAULT);
    OCIHandleFree(st, OCI_HTYPE_STMT);
  };
  select("select * from V9NORVELO.MARKS_RAW where rowid = :vzo__rowid");
  raw.Run("savepoint VZO__LOCKPOINT");
  select("select * from V9NORVELO.MARKS_RAW where rowid = :vzo__rowid\nfor update nowait");
  OCIStmt* st = raw.Prepare(
      "update V9NORVELO.MARKS_RAW\nset STATUS = :v10\nwhere rowid = :vzo__rowid\n"
      "returning rowid into :vzo__rowid");
  raw.BindString(st, ":v10", value, sizeof value);
  raw.BindString(st, ":vzo__rowid", rowid, sizeof rowid);
  if (OCIStmtExecute(raw.svc, st, raw.err, 1, 0, nullptr, nullptr, OCI_DEFAULT) != OCI_SUCCESS)
    raw.Fail("update");
  OCIHandleFree(st, OCI_HTYPE_STMT);
  OCITransCommit(raw.svc, raw.err, OCI_DEFAULT);
}

void BM_MarkRowsOneByOne(benchmark::State& state) {
  Bench& b = Bench::Get();
  ServiceDataSet service(u"select m.*, m.rowid from v9norvelo.marks_ds m");
  std::vector<std::string> rowids;
  RawOpen(b.raw, "select m.*, m.rowid from v9norvelo.marks_raw m", &rowids);
  if (static_cast<int>(rowids.size()) != g_marks) std::abort();
  std::vector<double> raw_s, ds_s;
  int n = 0;
  for (auto _ : state) {
    char status = n % 2 == 0 ? 'X' : 'Y';  // every post is a change
    auto raw = [&] {
      for (const std::string& r : rowids) RawMark(b.raw, r, status);
    };
    service.ds->Open();
    auto ds = [&] {
      while (!service.ds->Eof()) {
        service.ds->Edit();
        service.ds->FieldByName(u"STATUS").SetAsAnsiString(std::string(1, status));
        service.ds->CommitUpdates();
        service.ds->Next();
      }
    };
    TimeInTurns(n++, raw, raw_s, ds, ds_s);
    service.ds->Close();
  }
  state.counters["raw_ms"] = Median(raw_s) * 1000;
  state.counters["dataset_ms"] = Median(ds_s) * 1000;
  state.counters["ratio"] = Median(ds_s) / Median(raw_s);
}
BENCHMARK(BM_MarkRowsOneByOne)->Unit(benchmark::kMillisecond)->Iterations(9)->UseRealTime();

}  // namespace
}  // namespace kavo

// --rows=N and --marks=N size the tables (CI uses small ones).
int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rows=", 7) == 0)
      kavo::g_rows = std::atoi(argv[i] + 7);
    else if (std::strncmp(argv[i], "--marks=", 8) == 0)
      kavo::g_marks = std::atoi(argv[i] + 8);
    else
      rest.push_back(argv[i]);
  }
  int count = static_cast<int>(rest.size());
  benchmark::Initialize(&count, rest.data());
  if (benchmark::ReportUnrecognizedArguments(count, rest.data())) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
