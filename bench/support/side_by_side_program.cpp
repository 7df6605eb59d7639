#include "side_by_side_program.h"

#include <cstdio>
#include <exception>
#include <map>

namespace kavo::bench {
namespace {

int SinglePass(const Options& options, const Program& program) {
  for (size_t i = 0; i < program.cases.size(); ++i)
    if (program.cases[i] == options.variant) return program.single_pass(i);
  std::fprintf(stderr, "no way named %s\n", options.variant.c_str());
  return 2;
}

}  // namespace

int RunProgram(int& argc, char** argv, const Options& options, const Program& program) {
  try {
    program.prepare();
    if (!options.variant.empty()) return SinglePass(options, program);
    benchmark::Initialize(&argc, argv);
    for (size_t i = 0; i < program.cases.size(); ++i)
      benchmark::RegisterBenchmark(program.cases[i].c_str(),
                                   [&program, i](benchmark::State& state) {
                                     try {
                                       program.run(state, i);
                                     } catch (const std::exception& e) {
                                       state.SkipWithError(e.what());
                                     }
                                   })
          ->Unit(benchmark::kMillisecond)
          ->Iterations(1)
          ->UseRealTime();
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const bool ok = program.check();
    std::map<std::string, MemoryUse> memory;
    if (options.memory)
      for (const std::string& name : program.cases) memory[name] = MeasureInChild(options, name);
    PrintTable(reporter, program.table, program.rows_per_pass(), memory);
    benchmark::Shutdown();
    std::fflush(stdout);
    return ok && !reporter.AnyError() ? 0 : 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}

}  // namespace kavo::bench
