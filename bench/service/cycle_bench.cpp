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
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "raw_cycle.h"
#include "raw_firebird.h"
#include "rtl/code_page.h"
#include "rtl/exceptions.h"
#include "rtl/format_settings.h"
#include "scratch_directory.h"
#include "service/kavo_servico_integrador.h"
#include "side_by_side_program.h"
#include "stand_in_home.h"

namespace kavo::bench {
namespace {

Options g_options;

// --- the databases -------------------------------------------------------------------

struct Fixture {
  std::string dir, store, database, module_dir;
  std::vector<PendingRow> rows;
  std::vector<std::string> expected;  // the staged rows, in order

  Fixture() : rows(MakeRows(g_options.rows)) {
    dir = MakeScratchDirectory("kavo-cycle", true);
    store = dir + "/store.db";
    database = dir + "/DADOSKAVO.FDB";
    // The module's INI and log, where the service keeps them: on disk.
    module_dir = MakeScratchDirectory("kavo-cycle-module", false);
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
  explicit RawWay(bool parse_each_execution)
      : cycle_(MakeRawCycle(TheFixture().store, TheFixture().database, parse_each_execution)) {}
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
    list.push_back({"Cycle/Raw", [] { return std::unique_ptr<Way>(new RawWay(false)); }, {}, 0, {}});
    list.push_back(
        {"Cycle/RawParsing", [] { return std::unique_ptr<Way>(new RawWay(true)); }, {}, 0, {}});
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

void RunCase(benchmark::State& state, Case& c) {
  if (!c.way) c.way = c.make();
  TheFixture().Reset();
  if (auto* service = dynamic_cast<ServiceWay*>(c.way.get())) service->Prepare();
  for (auto _ : state) c.way->Pass();
  ++c.passes;
  const std::string failure = CheckPass();
  if (!failure.empty() && c.failure.empty()) c.failure = failure;
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(TheFixture().expected.size()));
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

int SinglePass(Case& c) {
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

}  // namespace
}  // namespace kavo::bench

int main(int argc, char** argv) {
  using namespace kavo;
  using namespace kavo::bench;
  UseStandInHome(OCISQLITE_HOME);
  UseBenchLockDirectory();
  // The log's and the cycle's texts as a Brazilian Windows installation has
  // them: CP1252, day/month/year, time of day read with ':'.
  SetAnsiCodePage("CP1252");
  FormatSettings() = FormatSettingsFromPatterns("%d/%m/%Y", "%H:%M:%S", "", "", ",", ".");
  g_options = ParseOptions(argc, argv, 999, 9);
  Program program = ProgramOf(Cases, RunCase, SinglePass);
  program.prepare = [] { TheFixture(); };
  program.check = [] {
    std::printf("\n== Whole integration cycle, %zu rows per pass, OCI stand-in to embedded "
                "Firebird, medians of the interleaved passes\n",
                TheFixture().expected.size());
    const bool ok = CheckCases();
    for (Case& c : Cases()) c.way.reset();
    return ok;
  };
  // The goal is read against the floor that has the server parse what the
  // service has it parse; the prepare-once floor shows what that costs.
  program.table = {{"Cycle/Raw", "", "", 0, 0},
                   {"Cycle/RawParsing", "Cycle/Raw", "", 0, 0},
                   {"Cycle/Service", "Cycle/RawParsing", "<= 1.10", 1.10, 0},
                   {"Cycle/Service", "Cycle/Raw", "", 0, 0}};
  program.rows_per_pass = [] { return static_cast<int>(TheFixture().expected.size()); };
  return RunProgram(argc, argv, g_options, program);
}
