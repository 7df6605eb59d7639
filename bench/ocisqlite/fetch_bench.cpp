// Fetching 100 000 rows of a 12-column table in batches of 25 through the
// OCI stand-in, against a plain SQLite stepping loop over the same table.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "oci.h"

namespace {

constexpr int kRows = 100000;
constexpr int kBatch = 25;

struct Store {
  std::string dir, path;
  OCIEnv* env = nullptr;
  OCIError* err = nullptr;
  OCISvcCtx* svc = nullptr;

  Store() {
    char tmpl[] = "/tmp/ocisqlite_bench_XXXXXX";
    dir = mkdtemp(tmpl);
    path = dir + "/bench.db";
    std::string cmd = std::string(OCISQLITE_TOOL) + " create " + path + " manager";
    if (std::system(cmd.c_str()) != 0) std::abort();
    OCIEnvNlsCreate(&env, OCI_OBJECT, nullptr, nullptr, nullptr, nullptr, 0, nullptr, 873, 873);  // UTF-8, as the layer asks
    OCIHandleAlloc(env, reinterpret_cast<void**>(&err), OCI_HTYPE_ERROR, 0, nullptr);
    if (OCILogon(env, err, &svc, reinterpret_cast<const OraText*>("system"), 6,
                 reinterpret_cast<const OraText*>("manager"), 7,
                 reinterpret_cast<const OraText*>(path.c_str()), static_cast<ub4>(path.size())) != OCI_SUCCESS)
      std::abort();
    Run("create table bench (id number(10) primary key, code varchar2(20), name varchar2(50), "
        "amount number(12,2), qty number(9), created date, status varchar2(1), note varchar2(100), "
        "rate number, city varchar2(30), updated date, flag varchar2(1))");
    Fill();
  }

  ~Store() {
    OCILogoff(svc, err);
    OCIHandleFree(env, OCI_HTYPE_ENV);
    std::string cmd = "rm -rf " + dir;
    if (std::system(cmd.c_str()) != 0) std::perror("rm");
  }

  void Run(const std::string& sql) {
    OCIStmt* st = nullptr;
    OCIHandleAlloc(env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    OCIStmtPrepare(st, err, reinterpret_cast<const OraText*>(sql.c_str()), static_cast<ub4>(sql.size()), 1, 0);
    if (OCIStmtExecute(svc, st, err, 1, 0, nullptr, nullptr, OCI_COMMIT_ON_SUCCESS) != OCI_SUCCESS) std::abort();
    OCIHandleFree(st, OCI_HTYPE_STMT);
  }

  // Array inserts of 1000 rows per execute.
  void Fill() {
    const char* sql =
        "insert into bench values (:id, :code, :name, :amount, :qty, to_date('2024-01-15', 'yyyy-mm-dd'), "
        "'A', :note, :rate, 'Sao Paulo', sysdate, 'Y')";
    OCIStmt* st = nullptr;
    OCIHandleAlloc(env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    OCIStmtPrepare(st, err, reinterpret_cast<const OraText*>(sql), static_cast<ub4>(std::strlen(sql)), 1, 0);
    constexpr int kChunk = 1000;
    std::vector<int> id(kChunk), qty(kChunk);
    std::vector<double> amount(kChunk), rate(kChunk);
    std::vector<char> code(kChunk * 21), name(kChunk * 51), note(kChunk * 101);
    OCIBindByName(st, nullptr, err, reinterpret_cast<const OraText*>(":id"), -1, id.data(), 4, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, 0);
    OCIBindByName(st, nullptr, err, reinterpret_cast<const OraText*>(":code"), -1, code.data(), 21, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, 0);
    OCIBindByName(st, nullptr, err, reinterpret_cast<const OraText*>(":name"), -1, name.data(), 51, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, 0);
    OCIBindByName(st, nullptr, err, reinterpret_cast<const OraText*>(":amount"), -1, amount.data(), 8, SQLT_FLT, nullptr, nullptr, nullptr, 0, nullptr, 0);
    OCIBindByName(st, nullptr, err, reinterpret_cast<const OraText*>(":qty"), -1, qty.data(), 4, SQLT_INT, nullptr, nullptr, nullptr, 0, nullptr, 0);
    OCIBindByName(st, nullptr, err, reinterpret_cast<const OraText*>(":note"), -1, note.data(), 101, SQLT_STR, nullptr, nullptr, nullptr, 0, nullptr, 0);
    OCIBindByName(st, nullptr, err, reinterpret_cast<const OraText*>(":rate"), -1, rate.data(), 8, SQLT_FLT, nullptr, nullptr, nullptr, 0, nullptr, 0);
    for (int base = 0; base < kRows; base += kChunk) {
      for (int i = 0; i < kChunk; ++i) {
        int n = base + i + 1;
        id[i] = n;
        qty[i] = n % 1000;
        amount[i] = n * 1.25;
        rate[i] = 1.0 / (n % 7 + 1);
        std::snprintf(&code[i * 21], 21, "C%08d", n);
        std::snprintf(&name[i * 51], 51, "Customer number %d", n);
        std::snprintf(&note[i * 101], 101, "Pending interface record %d for the nightly integration", n);
      }
      if (OCIStmtExecute(svc, st, err, kChunk, 0, nullptr, nullptr, OCI_COMMIT_ON_SUCCESS) != OCI_SUCCESS) std::abort();
    }
    OCIHandleFree(st, OCI_HTYPE_STMT);
  }
};

Store& TheStore() {
  static Store store;
  return store;
}

// The column buffers a client defines: numbers as integers or doubles, text as
// zero-terminated strings, dates in the 7-byte form.
void OciFetch(benchmark::State& state) {
  Store& s = TheStore();
  for (auto _ : state) {
    OCIStmt* st = nullptr;
    OCIHandleAlloc(s.env, reinterpret_cast<void**>(&st), OCI_HTYPE_STMT, 0, nullptr);
    const char* sql = "select * from bench";
    OCIStmtPrepare(st, s.err, reinterpret_cast<const OraText*>(sql), static_cast<ub4>(std::strlen(sql)), 1, 0);
    if (OCIStmtExecute(s.svc, st, s.err, 0, 0, nullptr, nullptr, 0) != OCI_SUCCESS) std::abort();
    int id[kBatch], qty[kBatch];
    double amount[kBatch], rate[kBatch];
    char code[kBatch][21], name[kBatch][51], status[kBatch][2], note[kBatch][101], city[kBatch][31], flag[kBatch][2];
    unsigned char created[kBatch][7], updated[kBatch][7];
    sb2 ind[12][kBatch];
    ub2 len[12][kBatch];
    struct { void* buf; sb4 size; ub2 type; } cols[12] = {
        {id, 4, SQLT_INT},      {code, 21, SQLT_STR},   {name, 51, SQLT_STR},    {amount, 8, SQLT_FLT},
        {qty, 4, SQLT_INT},     {created, 7, SQLT_DAT}, {status, 2, SQLT_STR},   {note, 101, SQLT_STR},
        {rate, 8, SQLT_FLT},    {city, 31, SQLT_STR},   {updated, 7, SQLT_DAT},  {flag, 2, SQLT_STR}};
    for (ub4 c = 0; c < 12; ++c)
      OCIDefineByPos(st, nullptr, s.err, c + 1, cols[c].buf, cols[c].size, cols[c].type, ind[c], len[c], nullptr, 0);
    long rows = 0;
    sword rc;
    do {
      rc = OCIStmtFetch2(st, s.err, kBatch, OCI_FETCH_NEXT, 0, 0);
      ub4 got = 0;
      OCIAttrGet(st, OCI_HTYPE_STMT, &got, nullptr, OCI_ATTR_ROWS_FETCHED, s.err);
      rows += got;
      benchmark::DoNotOptimize(id[0] + code[0][0] + created[0][0]);
    } while (rc == OCI_SUCCESS);
    if (rows != kRows) std::abort();
    OCIHandleFree(st, OCI_HTYPE_STMT);
  }
  state.SetItemsProcessed(state.iterations() * kRows);
}

// The same rows read straight from SQLite, each column taken in its stored form.
void SqliteStep(benchmark::State& state) {
  Store& s = TheStore();
  sqlite3* db = nullptr;
  sqlite3_open_v2(s.path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  for (auto _ : state) {
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db, "SELECT * FROM \"SYSTEM.BENCH\"", -1, &st, nullptr);
    long rows = 0, sink = 0;
    while (sqlite3_step(st) == SQLITE_ROW) {
      for (int c = 0; c < 12; ++c) {
        switch (sqlite3_column_type(st, c)) {
          case SQLITE_INTEGER: sink += sqlite3_column_int64(st, c); break;
          case SQLITE_FLOAT: sink += static_cast<long>(sqlite3_column_double(st, c)); break;
          default: sink += sqlite3_column_bytes(st, c) + (sqlite3_column_text(st, c) ? 1 : 0); break;
        }
      }
      ++rows;
    }
    benchmark::DoNotOptimize(sink);
    if (rows != kRows) std::abort();
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  state.SetItemsProcessed(state.iterations() * kRows);
}

BENCHMARK(SqliteStep)->Unit(benchmark::kMillisecond);
BENCHMARK(OciFetch)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
