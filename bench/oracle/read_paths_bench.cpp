// Reading 100 000 rows of 14 columns from the OCI stand-in three ways: through
// the layer (TOracleQuery, every field read with the typed reader of its
// buffer type), through OCI alone (the same buffer types defined by hand,
// array fetches of 25, every value taken out of the buffers) and a plain
// sqlite3_step loop over the stand-in's own table (the floor beneath both).
// Every way must see the same rows: the counts, the nulls, the numbers and the
// text lengths are compared at the end.
//
//   oracle_read_paths_bench [--rows=N] [--memory] [benchmark flags]
//
// The stand-in reports its columns as AL32UTF8: the layer reads their text as
// UTF-8, the way beneath it copies the bytes.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "oracle/oci_library.h"
#include "oracle/query.h"
#include "oracle/session.h"
#include "read_ways.h"
#include "scratch_directory.h"
#include "side_by_side_program.h"
#include "stand_in_home.h"

namespace kavo::bench {
namespace {

Options g_options;

// --- the store -----------------------------------------------------------------

struct Store {
  std::string dir, path;
  bool owned = false;
  Store() {
    path = g_options.Extra("store");
    if (!path.empty()) return;
    dir = MakeScratchDirectory("kavo-oracle-paths", false);
    path = dir + "/store.db";
    owned = true;
    const std::string cmd = std::string(OCISQLITE_TOOL) + " create " + path + " manager";
    if (std::system(cmd.c_str()) != 0) throw std::runtime_error("could not create the store");
    CreateStore(path, g_options.rows);
  }
  ~Store() {
    if (!owned) return;
    std::remove(path.c_str());
    ::rmdir(dir.c_str());
  }
};

Store& TheStore() {
  static Store store;
  return store;
}

// --- the layer -----------------------------------------------------------------

class LayerWay : public Way {
 public:
  LayerWay() : session_(nullptr), q_(nullptr) {
    session_.SetLogonDatabase(Utf8ToString(TheStore().path));
    session_.SetLogonUsername(u"system/manager");
    session_.SetConnected(true);
    q_.SetSession(&session_);
    q_.SetSQLText(u"select * from bench");
  }
  Digest Pass() override {
    Digest d;
    q_.Execute();
    const int n = q_.FieldCount();
    std::vector<int> types(n);
    for (int i = 0; i < n; ++i) types[i] = q_.FieldType(i);
    while (!q_.Eof()) {
      for (int i = 0; i < n; ++i) {
        if (q_.FieldIsNull(i)) {
          ++d.nulls;
          continue;
        }
        switch (types[i]) {
          case otInteger: d.integers += q_.FieldAsInteger(i); break;
          case otFloat: d.floats += q_.FieldAsFloat(i); break;
          case otDate: d.days += q_.FieldAsDate(i); break;
          default: d.text += static_cast<long long>(q_.FieldAsString(i).size()); break;
        }
      }
      ++d.rows;
      q_.Next();
    }
    return d;
  }

 private:
  TOracleSession session_;
  TOracleQuery q_;
};

// --- cases -----------------------------------------------------------------------

struct Case {
  std::string name;
  std::unique_ptr<Way> (*make)();
  std::unique_ptr<Way> way;
  Digest digest;
  bool consistent = true;  // every pass saw the same
  int passes = 0;
};

std::vector<Case>& Cases() {
  static std::vector<Case> cases = [] {
    std::vector<Case> list;
    list.push_back({"Read/Raw", [] { return MakeRawWay(TheStore().path); }, {}, {}, true, 0});
    list.push_back({"Read/Layer", [] { return std::unique_ptr<Way>(new LayerWay); }, {}, {}, true, 0});
    list.push_back({"Read/Sqlite", [] { return MakeSqliteWay(TheStore().path); }, {}, {}, true, 0});
    return list;
  }();
  return cases;
}

void RunCase(benchmark::State& state, Case& c) {
  if (!c.way) c.way = c.make();
  for (auto _ : state) {
    Digest d = c.way->Pass();
    if (c.passes > 0 && !d.SameAs(c.digest, true)) c.consistent = false;
    c.digest = d;
    ++c.passes;
  }
  state.SetItemsProcessed(state.iterations() * g_options.rows);
}

bool CheckDigests() {
  const Digest& raw = Cases()[0].digest;
  bool ok = true;
  for (const Case& c : Cases()) {
    // SQLite holds the stand-in's own forms (dates as text, numbers as it
    // stored them): only rows and nulls compare.
    const bool values = c.name != "Read/Sqlite";
    if (c.passes == 0 || !c.consistent || c.digest.rows != g_options.rows ||
        !c.digest.SameAs(raw, values)) {
      std::fprintf(stderr,
                   "%s read other values: %ld rows, %ld nulls, integers %lld, floats %.2f, "
                   "%lld text characters, days %.4f (raw OCI: %ld, %ld, %lld, %.2f, %lld, %.4f)\n",
                   c.name.c_str(), c.digest.rows, c.digest.nulls, c.digest.integers,
                   c.digest.floats, c.digest.text, c.digest.days, raw.rows, raw.nulls,
                   raw.integers, raw.floats, raw.text, raw.days);
      ok = false;
    }
  }
  if (ok) std::printf("values checked: every way read the same %d rows\n", g_options.rows);
  return ok;
}

int SinglePass(Case& c) {
  RunSinglePass([&] { c.way = c.make(); }, [&] { c.way->Pass(); });
  c.way.reset();
  return 0;
}

}  // namespace
}  // namespace kavo::bench

int main(int argc, char** argv) {
  using namespace kavo;
  using namespace kavo::bench;
  UseStandInHome(OCISQLITE_HOME);
  g_options = ParseOptions(argc, argv, 100000, 9, {"store"});
  Program program = ProgramOf(Cases, RunCase, SinglePass);
  program.prepare = [] { TheStore(); };
  program.check = [] {
    std::printf("\n== Oracle read through the stand-in, %d rows x %d columns, batches of %d, "
                "medians of the interleaved passes\n",
                g_options.rows, kColumns, kBatch);
    const bool ok = CheckDigests();
    for (Case& c : Cases()) c.way.reset();
    // The memory runs read this store rather than make their own.
    if (g_options.memory) g_options.extra.push_back("--store=" + TheStore().path);
    return ok;
  };
  program.table = {{"Read/Raw", "", "", 0, 0},
                   {"Read/Layer", "Read/Raw", "<= 1.20", 1.20, 1.10},
                   {"Read/Sqlite", "Read/Raw", "", 0, 0}};
  program.rows_per_pass = [] { return g_options.rows; };
  return RunProgram(argc, argv, g_options, program);
}
