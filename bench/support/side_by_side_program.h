// The main() of a side-by-side program (see side_by_side.h): with --variant,
// one pass of that way alone; otherwise every way as a case of one pass per
// iteration, measured in real time, then the program's checks, the memory
// runs when asked for, and the closing table.
#ifndef KAVO_BENCH_SIDE_BY_SIDE_PROGRAM_H_
#define KAVO_BENCH_SIDE_BY_SIDE_PROGRAM_H_

#include <benchmark/benchmark.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "side_by_side.h"

namespace kavo::bench {

struct Program {
  // The ways' case names, in the order they are registered.
  std::vector<std::string> cases;
  // Before anything else (the databases, the rows); an exception ends the
  // program with its message.
  std::function<void()> prepare = [] {};
  // Case i's passes over `state`; an exception skips the case with its message.
  std::function<void(benchmark::State&, size_t)> run;
  // --variant: one pass of case i in this process (RunSinglePass); the exit status.
  std::function<int(size_t)> single_pass;
  // After the runs: prints the table's heading, checks what the ways did and
  // lets them go; false when a way did not do the work meant. The options are
  // read after it, so it may add flags for the memory runs.
  std::function<bool()> check;
  std::vector<Row> table;
  std::function<int()> rows_per_pass;
};

// The cases, runs and single passes of a program whose ways are the elements
// of `cases()`, each with its `name`.
template <typename Case>
Program ProgramOf(std::vector<Case>& (*cases)(), void (*run)(benchmark::State&, Case&),
                  int (*single_pass)(Case&)) {
  Program program;
  for (const Case& c : cases()) program.cases.push_back(c.name);
  program.run = [cases, run](benchmark::State& state, size_t i) { run(state, cases()[i]); };
  program.single_pass = [cases, single_pass](size_t i) { return single_pass(cases()[i]); };
  return program;
}

// 0 when every case ran and the checks held, 1 otherwise, 2 for an unknown
// --variant. Goals missed in the table do not count.
int RunProgram(int& argc, char** argv, const Options& options, const Program& program);

}  // namespace kavo::bench

#endif  // KAVO_BENCH_SIDE_BY_SIDE_PROGRAM_H_
