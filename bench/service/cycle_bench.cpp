// One whole integration cycle, 999 pending rows (the module's select takes
// at most 999) copied from the OCI stand-in into an embedded Firebird
// database and marked, two ways:
//   Cycle/Service  the service module itself (TKavoServicoIntegrador, created
//                  as the service creates it, never started): its Integrar,
//                  that is the cycle over the module's own components with
//                  their stored settings, logging every line into the
//                  module's activity log in a directory of its own;
//   Cycle/Raw      the same server work through OCI and ibase.h alone
//                  (raw_cycle.cpp says what it sends).
// Before every pass, outside the measured time, the interface table gets its
// rows back as pending and TMP_INTEGRACAO is made anew; after it both
// databases are read back, and every pass of every way must have marked
// every row and staged the same rows in the same order.
//
//   service_cycle_bench [--rows=N] [--memory] [benchmark flags]
//
// Both databases lie in /dev/shm where there is one, the Firebird one with
// forced writes off: the service commits every row on both sides, and the
// layers' cost is measured, not the disk's.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "raw_cycle.h"
#include "rtl/code_page.h"
#include "rtl/exceptions.h"
#include "rtl/format_settings.h"
#include "service/kavo_servico_integrador.h"
#include "side_by_side.h"

namespace kavo::bench {
namespace {

Options g_options;

// --- the databases -------------------------------------------------------------------

struct Fixture {
  std::string dir, store, database, module_dir;
  std::vector<PendingRow> rows;
  std::vector<std::string> expected;  // the staged rows, in order

  Fixture() : rows(MakeRows(g_options.rows)) {
    const bool shm = access("/dev/shm", W_OK) == 0;
    char tmpl[64];
    std::snprintf(tmpl, sizeof tmpl, "%s", shm ? "/dev/shm/kavo-cycle-XXXXXX"
                                                : "/tmp/kavo-cycle-XXXXXX");
    if (mkdtemp(tmpl) == nullptr) throw std::runtime_error("mkdtemp");
    dir = tmpl;
    store = dir + "/store.db";
    database = dir + "/DADOSKAVO.FDB";
    // The module's INI and log, where the service keeps them: on disk.
    char module_tmpl[] = "/tmp/kavo-cycle-module-XXXXXX";
    if (mkdtemp(module_tmpl) == nullptr) throw std::runtime_error("mkdtemp");
    module_dir = module_tmpl;
    CreateStore(OCISQLITE_TOOL, store);
    CreateStagingDatabase(database);
    // The select reads at most 999 rows; rows beyond stay pending.
    const size_t copied = std::min<size_t>(rows.size(), 999);
    for (size_t i = 0; i < copied; ++i) expected.push_back(rows[i].Staged());
  }
  ~Fixture() {
    std::system(("rm -rf '" + dir + "' '" + module_dir + "'").c_str());
  }
  void Reset() {
    ResetStore(store, rows);
    ResetStaging(database);
  }
};

Fixture& TheFixture() {
  static Fixture fixture;
  return fixture;
}

// --- the ways ------------------------------------------------------------------------

class Way {
 public:
  virtual ~Way() = default;
  virtual void Pass() = 0;
};

class ServiceWay : public Way {
 public:
  ServiceWay() {
    const Fixture& f = TheFixture();
    module_.SetBaseDirectory(Utf8ToString(f.module_dir + "/"));
    // Never started, so never ticking; stopped as the service's stop does.
    module_.Tempo->SetEnabled(false);
    std::ofstream(f.module_dir + "/KavoIntegradorOracle.ini")
        << "[KavoIntegracao]\r\nORACLE=" << f.store << "\r\nUU=" << kOracleUser
        << "\r\nSS=" << kOraclePassword << "\r\nFIREBIRD=" << f.database << "\r\nMINUTOS=20\r\n";
    module_.CarregaINI();
  }
  ~ServiceWay() override { ::unlink((TheFixture().module_dir + "/LogKavoIntegracao.txt").c_str()); }
  // One tick's cycle; the INI was read at the start.
  void Pass() override { module_.Integrar(); }
  // The log grows by a line per row and pass: each pass starts on an empty
  // one, outside the measured time.
  void Prepare() { ::truncate((TheFixture().module_dir + "/LogKavoIntegracao.txt").c_str(), 0); }

 private:
  TKavoServicoIntegrador module_{nullptr};
};

class RawWay : public Way {
 public:
  RawWay() : cycle_(MakeRawCycle(TheFixture().store, TheFixture().database)) {}
  void Pass() override { cycle_->Pass(); }

 private:
  std::unique_ptr<RawCycle> cycle_;
};

// --- cases ---------------------------------------------------------------------------

struct Case {
  std::string name;
  std::unique_ptr<Way> (*make)();
  std::unique_ptr<Way> way;
  int passes = 0;
  std::string failure;  // the first pass whose result was not the one meant
};

std::vector<Case>& Cases() {
  static std::vector<Case> cases = [] {
    std::vector<Case> list;
    list.push_back({"Cycle/Raw", [] { return std::unique_ptr<Way>(new RawWay); }, {}, 0, {}});
    list.push_back({"Cycle/Service", [] { return std::unique_ptr<Way>(new ServiceWay); }, {}, 0, {}});
    return list;
  }();
  return cases;
}

// What the pass should have left: every row copied marked, the rest (beyond
// 999) pending, and the staged rows those meant, in order.
std::string CheckPass() {
  const Fixture& f = TheFixture();
  const PassResult r = ReadResult(f.store, f.database);
  const long copied = static_cast<long>(f.expected.size());
  const long rows = static_cast<long>(f.rows.size());
  char text[256];
  if (r.total != rows || r.marked != copied || r.pending != rows - copied) {
    std::snprintf(text, sizeof text, "Oracle rows: %ld marked, %ld pending of %ld (meant %ld, %ld)",
                  r.marked, r.pending, r.total, copied, rows - copied);
    return text;
  }
  if (r.staged.size() != f.expected.size()) {
    std::snprintf(text, sizeof text, "%zu staged rows, meant %zu", r.staged.size(),
                  f.expected.size());
    return text;
  }
  for (size_t i = 0; i < r.staged.size(); ++i)
    if (r.staged[i] != f.expected[i])
      return "staged row " + std::to_string(i + 1) + " is \"" + r.staged[i] + "\", meant \"" +
             f.expected[i] + "\"";
  return "";
}

void RunCase(benchmark::State& state, Case* c) {
  try {
    if (!c->way) c->way = c->make();
    TheFixture().Reset();
    if (auto* service = dynamic_cast<ServiceWay*>(c->way.get())) service->Prepare();
    for (auto _ : state) c->way->Pass();
    ++c->passes;
    const std::string failure = CheckPass();
    if (!failure.empty() && c->failure.empty()) c->failure = failure;
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(TheFixture().expected.size()));
  } catch (const Exception& e) {
    state.SkipWithError(StringToUtf8(e.Message()).c_str());
  } catch (const std::exception& e) {
    state.SkipWithError(e.what());
  }
}

bool CheckCases() {
  bool ok = true;
  for (const Case& c : Cases()) {
    if (c.passes == 0 || !c.failure.empty()) {
      std::fprintf(stderr, "%s: %s\n", c.name.c_str(),
                   c.passes == 0 ? "no pass ran" : c.failure.c_str());
      ok = false;
    }
  }
  if (ok)
    std::printf("rows checked: every pass of every way marked and staged the same %zu rows\n",
                TheFixture().expected.size());
  return ok;
}

int SinglePass() {
  for (Case& c : Cases()) {
    if (c.name != g_options.variant) continue;
    RunSinglePass(
        [&] {
          c.way = c.make();
          TheFixture().Reset();
        },
        [&] { c.way->Pass(); });
    const std::string failure = CheckPass();
    c.way.reset();
    if (!failure.empty()) {
      std::fprintf(stderr, "%s: %s\n", c.name.c_str(), failure.c_str());
      return 1;
    }
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
         "leak:_dl_map_object_deps\nleak:_dlerror_run\n";
}
extern "C" const char* __lsan_default_options() { return "use_tls=0"; }

int main(int argc, char** argv) {
  using namespace kavo;
  using namespace kavo::bench;
  setenv("ORACLE_HOME", OCISQLITE_HOME, 1);
  setenv("KAVO_ORATAB", "/nonexistent/kavo-bench-oratab", 1);
  unsetenv("NLS_LANG");
  if (std::getenv("FIREBIRD_LOCK") == nullptr) {
    ::mkdir("/tmp/kavo-bench-lock", 0777);
    ::setenv("FIREBIRD_LOCK", "/tmp/kavo-bench-lock", 1);
  }
  // The log's and the cycle's texts as a Brazilian Windows installation has
  // them: CP1252, day/month/year, time of day read with ':'.
  SetAnsiCodePage("CP1252");
  FormatSettings() = FormatSettingsFromPatterns("%d/%m/%Y", "%H:%M:%S", "", "", ",", ".");
  g_options = ParseOptions(argc, argv, 999, 9);
  try {
    TheFixture();
    if (!g_options.variant.empty()) return SinglePass();
    benchmark::Initialize(&argc, argv);
    for (Case& c : Cases())
      benchmark::RegisterBenchmark(c.name.c_str(), RunCase, &c)
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1)
          ->UseRealTime();
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\n== Whole integration cycle, %zu rows per pass, OCI stand-in to embedded "
                "Firebird, medians of the interleaved passes\n",
                TheFixture().expected.size());
    const bool ok = CheckCases();
    for (Case& c : Cases()) c.way.reset();
    std::map<std::string, MemoryUse> memory;
    if (g_options.memory)
      for (Case& c : Cases()) memory[c.name] = MeasureInChild(g_options, c.name);
    PrintTable(reporter,
               {{"Cycle/Raw", "", "", 0, 0}, {"Cycle/Service", "Cycle/Raw", "<= 1.10", 1.10, 0}},
               static_cast<int>(TheFixture().expected.size()), memory);
    benchmark::Shutdown();
    std::fflush(stdout);
    return ok && !reporter.AnyError() ? 0 : 1;
  } catch (const Exception& e) {
    std::fprintf(stderr, "%s\n", StringToUtf8(e.Message()).c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
