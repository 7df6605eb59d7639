#include "side_by_side.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#endif

namespace kavo::bench {

namespace {

long StatusField(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const size_t n = std::strlen(field);
  while (std::getline(in, line))
    if (line.compare(0, n, field) == 0) return std::atol(line.c_str() + n);
  return -1;
}

std::string Quoted(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

bool StartsWith(const char* s, const std::string& prefix) {
  return std::strncmp(s, prefix.c_str(), prefix.size()) == 0;
}

}  // namespace

std::string Options::Extra(const std::string& name, const std::string& fallback) const {
  const std::string prefix = "--" + name + "=";
  for (const std::string& e : extra)
    if (e.compare(0, prefix.size(), prefix) == 0) return e.substr(prefix.size());
  return fallback;
}

Options ParseOptions(int& argc, char**& argv, int default_rows, int repetitions,
                     const std::vector<std::string>& own_flags) {
  Options o;
  o.rows = default_rows;
  o.self = argv[0];
  static std::vector<char*> kept;
  static std::string interleave = "--benchmark_enable_random_interleaving=true";
  static std::string repeat;
  repeat = "--benchmark_repetitions=" + std::to_string(repetitions);
  bool has_repetitions = false;
  kept.assign(argv, argv + 1);
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (StartsWith(a, "--rows=")) {
      o.rows = std::max(1, std::atoi(a + 7));
    } else if (std::strcmp(a, "--memory") == 0) {
      o.memory = true;
    } else if (StartsWith(a, "--variant=")) {
      o.variant = a + 10;
    } else if (std::any_of(own_flags.begin(), own_flags.end(),
                           [&](const std::string& f) { return StartsWith(a, "--" + f + "="); })) {
      o.extra.emplace_back(a);
    } else {
      if (StartsWith(a, "--benchmark_repetitions")) has_repetitions = true;
      kept.push_back(argv[i]);
    }
  }
  kept.push_back(interleave.data());
  if (!has_repetitions) kept.push_back(repeat.data());
  kept.push_back(nullptr);
  argc = static_cast<int>(kept.size()) - 1;
  argv = kept.data();
  return o;
}

long PeakResidentKiB() { return StatusField("VmHWM:"); }
long ResidentKiB() { return StatusField("VmRSS:"); }

bool ResetPeakResident() {
  int fd = ::open("/proc/self/clear_refs", O_WRONLY);
  if (fd < 0) return false;
  bool ok = ::write(fd, "5", 1) == 1;
  ::close(fd);
  return ok;
}

void RunSinglePass(const std::function<void()>& setup, const std::function<void()>& pass) {
  setup();
  ResetPeakResident();
  const long before = ResidentKiB();
  CALLGRIND_TOGGLE_COLLECT;
  pass();
  CALLGRIND_TOGGLE_COLLECT;
  const long peak = PeakResidentKiB();
  std::printf("memory: peak_kib=%ld pass_growth_kib=%ld\n", peak, peak - before);
  std::fflush(stdout);
}

MemoryUse MeasureInChild(const Options& options, const std::string& variant) {
  std::string cmd = Quoted(options.self) + " " + Quoted("--variant=" + variant) +
                    " --rows=" + std::to_string(options.rows);
  for (const std::string& e : options.extra) cmd += " " + Quoted(e);
  MemoryUse use;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (p == nullptr) return use;
  char line[256];
  while (std::fgets(line, sizeof line, p) != nullptr)
    std::sscanf(line, "memory: peak_kib=%ld pass_growth_kib=%ld", &use.peak_kib, &use.growth_kib);
  if (::pclose(p) != 0) use = MemoryUse{};
  return use;
}

void MedianReporter::ReportRuns(const std::vector<Run>& runs) {
  for (const Run& run : runs) {
    const std::string name = run.run_name.function_name;
    if (run.error_occurred) error_ = true;
    if (run.aggregate_name == "median") {
      median_[name] = run.GetAdjustedRealTime();
      median_cpu_[name] = run.GetAdjustedCPUTime();
    } else if (run.aggregate_name.empty()) {
      single_[name] = run.GetAdjustedRealTime();
      single_cpu_[name] = run.GetAdjustedCPUTime();
    }
  }
  ConsoleReporter::ReportRuns(runs);
}

double MedianReporter::Seconds(const std::string& name, bool cpu) const {
  const auto& medians = cpu ? median_cpu_ : median_;
  const auto& singles = cpu ? single_cpu_ : single_;
  // Times are reported in the cases' unit, milliseconds here.
  auto m = medians.find(name);
  if (m != medians.end()) return m->second / 1e3;
  auto s = singles.find(name);
  return s != singles.end() ? s->second / 1e3 : 0;
}

bool PrintTable(const MedianReporter& reporter, const std::vector<Row>& rows, int rows_per_pass,
                const std::map<std::string, MemoryUse>& memory) {
  bool met = true;
  std::printf("\n%-34s %10s %8s %9s %8s %9s %7s  %s\n", "way (against)", "us/row", "ratio",
              "cpu ratio", "goal", "peak MiB", "ratio", "");
  for (const Row& r : rows) {
    const double t = reporter.Seconds(r.name);
    const double cpu = reporter.Seconds(r.name, true);
    const double ref = r.reference.empty() ? 0 : reporter.Seconds(r.reference);
    const double ref_cpu = r.reference.empty() ? 0 : reporter.Seconds(r.reference, true);
    const double ratio = ref > 0 ? t / ref : 0;
    std::string verdict;
    if (r.goal_ratio > 0 && ref > 0) {
      bool ok = ratio <= r.goal_ratio;
      verdict = ok ? "met" : "MISSED";
      met = met && ok;
    }
    char ratio_text[32] = "", cpu_text[32] = "", mem_text[32] = "", mem_ratio[32] = "";
    if (ref > 0) std::snprintf(ratio_text, sizeof ratio_text, "%.3f", ratio);
    if (ref_cpu > 0) std::snprintf(cpu_text, sizeof cpu_text, "%.3f", cpu / ref_cpu);
    auto m = memory.find(r.name);
    if (m != memory.end() && m->second.peak_kib > 0) {
      std::snprintf(mem_text, sizeof mem_text, "%.1f", m->second.peak_kib / 1024.0);
      auto mr = memory.find(r.reference);
      if (mr != memory.end() && mr->second.peak_kib > 0) {
        const double mratio = static_cast<double>(m->second.peak_kib) / mr->second.peak_kib;
        std::snprintf(mem_ratio, sizeof mem_ratio, "%.3f", mratio);
        if (r.memory_goal > 0) {
          const bool ok = mratio <= r.memory_goal;
          verdict += ok ? " memory met" : " memory MISSED";
          met = met && ok;
        }
      }
    }
    std::string label = r.name;
    if (!r.reference.empty())
      label += " (" + r.reference.substr(r.reference.rfind('/') + 1) + ")";
    std::printf("%-34s %10.3f %8s %9s %8s %9s %7s  %s\n", label.c_str(),
                t * 1e6 / std::max(rows_per_pass, 1), ratio_text, cpu_text, r.goal.c_str(),
                mem_text, mem_ratio, verdict.c_str());
  }
  if (!memory.empty()) {
    std::printf("memory growth during one pass (KiB):");
    for (const auto& [name, use] : memory) std::printf(" %s %ld;", name.c_str(), use.growth_kib);
    std::printf("\n");
  }
  return met;
}

}  // namespace kavo::bench
