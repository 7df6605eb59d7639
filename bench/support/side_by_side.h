// Side-by-side benchmarks: the ways of doing one piece of work are Google
// Benchmark cases of one iteration each (one pass over the rows), run as
// repetitions in random interleaved order, so that the load of a shared
// machine falls on every way alike. The closing table gives each way's
// median against the reference way's median.
//
// A program built on this takes, besides the benchmark flags:
//   --rows=N        rows per pass
//   --memory        also runs one pass of every way in a process of its own
//                   and adds its peak resident memory to the table
//   --variant=NAME  runs one pass of that way alone and prints its memory
//                   (what --memory runs; under callgrind only the pass
//                   itself is counted, see scripts/bench.sh)
#ifndef KAVO_BENCH_SIDE_BY_SIDE_H_
#define KAVO_BENCH_SIDE_BY_SIDE_H_

#include <benchmark/benchmark.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace kavo::bench {

struct Options {
  int rows = 0;
  bool memory = false;
  std::string variant;    // one pass of this way alone
  std::string self;       // the program's path, for the memory runs
  std::vector<std::string> extra;  // program flags of the form --name=value
  // The value of an extra flag "--name=value", or `fallback`.
  std::string Extra(const std::string& name, const std::string& fallback = "") const;
};

// Takes the flags above (and any other "--x=" flag not meant for Google
// Benchmark, listed in `own_flags`) out of argv; adds random interleaving
// and `repetitions` unless given.
Options ParseOptions(int& argc, char**& argv, int default_rows, int repetitions,
                     const std::vector<std::string>& own_flags = {});

// Peak and current resident memory of this process, in KiB.
long PeakResidentKiB();
long ResidentKiB();
// Makes the peak equal to the current resident memory (Linux clear_refs);
// false where the kernel does not allow it.
bool ResetPeakResident();

// One pass of one way in this process: `setup` (not measured), then `pass`
// between the callgrind collection marks, then prints
// "memory: peak_kib=P pass_growth_kib=G".
void RunSinglePass(const std::function<void()>& setup, const std::function<void()>& pass);

struct MemoryUse {
  long peak_kib = -1;
  long growth_kib = -1;
};
// Runs `self --variant=name --rows=N <extra>` and reads its memory line.
MemoryUse MeasureInChild(const Options& options, const std::string& variant);

// Remembers the median (or the single run) of every case, real and CPU time.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  // Plain text: the output goes to logs as often as to a terminal.
  MedianReporter() : benchmark::ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& runs) override;
  // Seconds per pass; 0 when the case did not run.
  double Seconds(const std::string& name, bool cpu = false) const;
  bool AnyError() const { return error_; }

 private:
  std::map<std::string, double> median_, single_, median_cpu_, single_cpu_;
  bool error_ = false;
};

// One line of the closing table.
struct Row {
  std::string name;       // the benchmark case's name
  std::string reference;  // the case it is compared with ("" for none)
  std::string goal;       // e.g. "<= 1.05", shown as written
  double goal_ratio = 0;  // 0: no goal
  // Peak memory at most this times the reference's (0: no goal).
  double memory_goal = 0;
};

// Prints the table: per case its median per pass, per row, the ratio to its
// reference (real and CPU time) and, when measured, its peak memory and the
// ratio of that to the reference's. Returns false when a goal is missed
// (the programs print it; they never fail on it).
bool PrintTable(const MedianReporter& reporter, const std::vector<Row>& rows, int rows_per_pass,
                const std::map<std::string, MemoryUse>& memory);

}  // namespace kavo::bench

#endif  // KAVO_BENCH_SIDE_BY_SIDE_H_
