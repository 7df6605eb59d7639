// Inserting rows shaped like TMP_INTEGRACAO on one embedded database: through
// the record set as the cycle does it (Insert, field writes, Post,
// CommitRetaining per row), against the client API alone (one prepare, then
// isc_dsql_execute and isc_commit_retaining per row). Repetitions run in a
// random interleaved order; the closing line gives the ratio of the medians.
//
//   ib_insert_bench [--rows=N] [--forced-writes] [benchmark flags]
//
// 10000 rows by default. --forced-writes keeps the database's forced writes
// on, as a new database has them, on disk: every commit then waits for it.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "ib/ib_dataset.h"
#include "ib/ib_intf.h"
#include "rtl/datetime.h"
#include "side_by_side.h"
#include "service/stored_firebird_dataset.h"
#include "testkit/ib_support.h"
#include "testkit/temp_dir.h"

namespace kavo {
namespace {

int g_rows = 10000;

const Char* const kDados =
    u"Pedido 4711 do cliente Jo\u00e3o Concei\u00e7\u00e3o: entrega na pra\u00e7a, "
    u"pagamento \u00e0 vista, observa\u00e7\u00f5es do vendedor sobre a rota da manh\u00e3";

bool g_forced_writes = false;

// One database for both ways, created once. Unless asked otherwise it lies
// in memory (/dev/shm) with forced writes off, so that neither the disk's
// flush on every commit nor the other work of the machine's disk hides the
// cost of the layers.
std::string DatabaseDirPrefix() {
  return !g_forced_writes && access("/dev/shm", W_OK) == 0 ? "/dev/shm/kavo-ib-bench-"
                                                            : "/tmp/kavo-ib-bench-";
}

struct Bench {
  test::TempDir dir{DatabaseDirPrefix()};
  std::string path = dir.File("bench.fdb");
  Bench() {
    test::CreateTestDatabase(path);
    if (g_forced_writes) return;
    test::Connection c(Name());
    c.db->Params().Add(u"force_write=0");
    c.db->Open();
    c.db->Close();
  }
  String Name() const { return Utf8ToString(path); }
};

Bench& TheBench() {
  static Bench bench;
  return bench;
}

// The values of row i, the same for both ways: a text and a time that change
// from row to row, and the rest as the cycle sends them.
struct Rows {
  std::vector<String> dados;
  std::vector<std::string> dados_bytes;  // in the connection's ISO8859_1
  std::vector<std::tm> times;
  explicit Rows(int count) {
    for (int i = 0; i < count; ++i) {
      dados.push_back(String(kDados) + u" #" + IntToStr(i));
      dados_bytes.push_back(EncodeText(dados.back(), CharacterSetFor(u"ISO8859_1")));
      std::tm t{};
      t.tm_year = 2026 - 1900;
      t.tm_mon = 11;
      t.tm_mday = 9;
      t.tm_hour = i / 3600 % 24;
      t.tm_min = i / 60 % 60;
      t.tm_sec = i % 60;
      times.push_back(t);
    }
  }
  TDateTime Time(int i) const {
    return EncodeTime(times[i].tm_hour, times[i].tm_min, times[i].tm_sec, 0);
  }
};

const Rows& TheRows() {
  static Rows rows(g_rows);
  return rows;
}

void RecordSetInsert(benchmark::State& state) {
  test::Connection c(TheBench().Name());
  TComponent owner(nullptr);
  auto* ds = new TIBDataSet(&owner);
  ApplyStoredSettings(*ds, owner);
  ds->SetDatabase(c.db.get());
  const TDateTime data = EncodeDate(2026, 12, 9);
  const Rows& rows = TheRows();
  for (auto _ : state) {
    state.PauseTiming();
    ds->Open();
    state.ResumeTiming();
    for (int i = 0; i < g_rows; ++i) {
      ds->Insert();
      ds->FieldByName(u"ACAO").SetAsWideString(u"I");
      ds->FieldByName(u"DADOS").SetAsWideString(rows.dados[i]);
      ds->FieldByName(u"DATA").SetAsDateTime(data);
      ds->FieldByName(u"HORA").SetAsDateTime(rows.Time(i));
      ds->FieldByName(u"TIPO").SetAsWideString(u"PEDIDO");
      ds->FieldByName(u"VERSAO").SetAsWideString(u"1.0");
      ds->FieldByName(u"STATUS").SetAsWideString(u"PROCESSAR");
      ds->FieldByName(u"NRECNO").Clear();
      ds->Post();
      ds->Transaction().CommitRetaining();
    }
    state.PauseTiming();
    ds->Close();
    state.ResumeTiming();
  }
  c.db->Close();
  state.SetItemsProcessed(state.iterations() * g_rows);
}

// A text parameter: the counted bytes in a varying buffer.
struct Varying {
  std::vector<char> buffer;
  explicit Varying(const std::string& bytes) : buffer(bytes.size() + 2) {
    uint16_t n = static_cast<uint16_t>(bytes.size());
    std::memcpy(buffer.data(), &n, 2);
    std::memcpy(buffer.data() + 2, bytes.data(), bytes.size());
  }
};

void RawApiInsert(benchmark::State& state) {
  test::Connection c(TheBench().Name());
  c.db->Open();
  IGDSLibrary& lib = c.db->GDSLibrary();
  ISC_STATUS* status = StatusVector();
  c.tr->StartTransaction();
  isc_stmt_handle stmt = 0;
  const char* sql =
      "insert into TMP_INTEGRACAO (ACAO, DADOS, DATA, ERRO, ERRO_INTEGRACAO, HORA, NRECNO, "
      "STATUS, STATUS_INTEGRACAO, TIPO, VERSAO) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
  if (lib.isc_dsql_alloc_statement2(status, c.db->HandleAddress(), &stmt) != 0 ||
      lib.isc_dsql_prepare(status, c.tr->HandleAddress(), &stmt, 0, sql, 3, nullptr) != 0) {
    state.SkipWithError("prepare failed");
    return;
  }
  std::vector<char> block(XSQLDA_LENGTH(11));
  XSQLDA* in = reinterpret_cast<XSQLDA*>(block.data());
  in->version = SQLDA_VERSION1;
  in->sqln = in->sqld = 11;
  const Rows& rows = TheRows();
  Varying acao("I"), dados(std::string(1000, ' ')), tipo("PEDIDO"), versao("1.0"),
      status_text("PROCESSAR");
  ISC_DATE date = 0;
  ISC_TIME time = 0;
  short not_null = 0, null = -1;
  auto set = [&](int i, short type, size_t len, void* data, short* indicator) {
    in->sqlvar[i].sqltype = static_cast<short>(type + 1);
    in->sqlvar[i].sqllen = static_cast<short>(len);
    in->sqlvar[i].sqldata = static_cast<char*>(data);
    in->sqlvar[i].sqlind = indicator;
  };
  auto text = [&](int i, Varying& v) {
    set(i, SQL_VARYING, v.buffer.size() - 2, v.buffer.data(), &not_null);
  };
  int64_t nothing = 0;
  text(0, acao);
  text(1, dados);
  set(2, SQL_TYPE_DATE, 4, &date, &not_null);
  set(3, SQL_VARYING, 0, &nothing, &null);
  set(4, SQL_VARYING, 0, &nothing, &null);
  set(5, SQL_TYPE_TIME, 4, &time, &not_null);
  set(6, SQL_INT64, 8, &nothing, &null);
  text(7, status_text);
  set(8, SQL_VARYING, 0, &nothing, &null);
  text(9, tipo);
  text(10, versao);
  for (auto _ : state) {
    for (int i = 0; i < g_rows; ++i) {
      const std::string& bytes = rows.dados_bytes[i];
      uint16_t length = static_cast<uint16_t>(bytes.size());
      std::memcpy(dados.buffer.data(), &length, 2);
      std::memcpy(dados.buffer.data() + 2, bytes.data(), bytes.size());
      in->sqlvar[1].sqllen = static_cast<short>(length);
      std::tm day = rows.times[i];
      lib.isc_encode_sql_date(&day, &date);
      lib.isc_encode_sql_time(&day, &time);
      if (lib.isc_dsql_execute(status, c.tr->HandleAddress(), &stmt, 3, in) != 0 ||
          lib.isc_commit_retaining(status, c.tr->HandleAddress()) != 0) {
        state.SkipWithError("insert failed");
        break;
      }
    }
  }
  lib.isc_dsql_free_statement(status, &stmt, DSQL_drop);
  c.tr->Commit();
  c.db->Close();
  state.SetItemsProcessed(state.iterations() * g_rows);
}

BENCHMARK(RecordSetInsert)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
BENCHMARK(RawApiInsert)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace
}  // namespace kavo

int main(int argc, char** argv) {
  std::vector<char*> args;
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  std::string repetitions = "--benchmark_repetitions=5";
  bool has_repetitions = false;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--rows=", 7) == 0) {
      kavo::g_rows = std::max(1, std::atoi(argv[i] + 7));
      continue;
    }
    if (std::strcmp(argv[i], "--forced-writes") == 0) {
      kavo::g_forced_writes = true;
      continue;
    }
    if (std::strncmp(argv[i], "--benchmark_repetitions", 23) == 0) has_repetitions = true;
    args.push_back(argv[i]);
  }
  args.push_back(interleave.data());
  if (!has_repetitions) args.push_back(repetitions.data());
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  kavo::TheRows();
  kavo::bench::MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  double dataset = reporter.Seconds("RecordSetInsert");
  double raw = reporter.Seconds("RawApiInsert");
  if (dataset > 0 && raw > 0) {
    std::printf("record set / client API, %d rows: %.3f (CPU of the calling thread: %.3f)\n",
                kavo::g_rows, dataset / raw,
                reporter.Seconds("RecordSetInsert", true) / reporter.Seconds("RawApiInsert", true));
  }
  benchmark::Shutdown();
  return 0;
}
