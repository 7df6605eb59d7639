#!/usr/bin/env bash
# Builds the release build and runs the side-by-side benchmarks of the data
# paths, then prints their tables (medians of interleaved passes, ratios to
# the raw client API, peak memory of one pass per way) and, last, the record
# sets' goals: the ratio each had when it was set, and this run's.
#
#   scripts/bench.sh               # full size: 10 000 Firebird rows, 100 000 Oracle rows,
#                                  # whole cycles of 999 rows
#   scripts/bench.sh --quick       # a tenth of the rows (cycles of 100), 5 repetitions
#   scripts/bench.sh --callgrind   # also counts instructions of one pass per way
#                                  # (valgrind; repeatable on a loaded machine)
#
# Full logs go to build-release/bench/*.log.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
callgrind=0
for arg in "$@"; do
  case "$arg" in
    --quick) quick=1 ;;
    --callgrind) callgrind=1 ;;
    *) echo "usage: scripts/bench.sh [--quick] [--callgrind]" >&2; exit 2 ;;
  esac
done

scripts/install-deps.sh
cmake -S . -B build-release -DKAVO_TESTS=OFF >/dev/null
cmake --build build-release -j2 --target ib_insert_paths_bench oracle_read_paths_bench \
  oracle_dataset_bench service_cycle_bench >/dev/null

out=build-release/bench
mkdir -p "$out"
ib_rows=10000
ora_rows=100000
cycle_rows=999
reps=9
if [ "$quick" = 1 ]; then ib_rows=1000; ora_rows=10000; cycle_rows=100; reps=5; fi

echo "load before: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"
status=0
run() {  # run <log> <program> <args...>
  local log=$1; shift
  if ! "$@" >"$out/$log" 2>&1; then
    status=1
    echo "$* failed; its log: $out/$log" >&2
    tail -n 20 "$out/$log" >&2
  fi
  # The closing part: the checks of what was written or read, the table.
  sed -n '/^== /,$p' "$out/$log"
}
run ib_insert_paths.log build-release/bench/ib/ib_insert_paths_bench --rows=$ib_rows \
  --benchmark_repetitions=$reps --memory
run oracle_read_paths.log build-release/bench/oracle/oracle_read_paths_bench --rows=$ora_rows \
  --benchmark_repetitions=$reps --memory
# The Oracle record set against raw OCI: its ratios go to the goals' table.
oracle_rows=$ora_rows
oracle_marks=1000
if [ "$quick" = 1 ]; then oracle_marks=100; fi
if ! build-release/bench/oracle/oracle_dataset_bench --rows=$oracle_rows --marks=$oracle_marks \
     --benchmark_counters_tabular=false >"$out/oracle_dataset.log" 2>&1; then
  status=1
  echo "oracle_dataset_bench failed; its log: $out/oracle_dataset.log" >&2
  tail -n 20 "$out/oracle_dataset.log" >&2
fi
run service_cycle.log build-release/bench/service/service_cycle_bench --rows=$cycle_rows \
  --benchmark_repetitions=$reps --memory
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"

# The record-set engine's goals in one table: the ratio each had when the
# goal was set (full size, process CPU time), and this run's.
cpu_ratio() {  # cpu_ratio <log> <way> <against>: the way's CPU time ratio in its table
  awk -v way="$2" -v against="($3)" '$1 == way && $2 == against { print $5; exit }' "$out/$1"
}
oracle_counter() {  # oracle_counter <benchmark> <counter>
  awk -v bm="$1" -v name="$2" '$1 ~ "^" bm {
      if (match($0, " " name "=[0-9.e+-]+")) print substr($0, RSTART + length(name) + 2, RLENGTH - length(name) - 2)
      exit }' "$out/oracle_dataset.log"
}
goal_row() {  # goal_row <label> <before> <now> <goal>
  awk -v label="$1" -v before="$2" -v now="$3" -v goal="$4" 'BEGIN {
      if (now == "") { shown = "-"; verdict = "not measured" }
      else { shown = sprintf("%.3f", now); verdict = now + 0 <= goal + 0 ? "met" : "MISSED" }
      printf "%-52s %7s %8s %8s  %s\n", label, before, shown, "<= " goal, verdict }'
}
echo
echo "== The record sets' goals at $(git rev-parse --short HEAD 2>/dev/null || echo "-"):" \
  "the ratio when each goal was set, and now (process CPU time, medians)"
printf '%-52s %7s %8s %8s\n' "benchmark" "before" "now" "goal"
goal_row "Oracle record set: open $oracle_rows pending rows / raw OCI" 1.57 \
  "$(oracle_counter BM_OpenPendingRows ratio)" 1.20
goal_row "Oracle record set: mark $oracle_marks rows / raw OCI" 1.35 \
  "$(oracle_counter BM_MarkRowsOneByOne ratio)" 1.20
goal_row "Firebird record set: insert $ib_rows rows / raw API" 1.31 \
  "$(cpu_ratio ib_insert_paths.log CommitAtEnd/DataSet Raw)" 1.10
goal_row "whole cycle of $cycle_rows rows / raw-API floor, CPU time" 1.45 \
  "$(cpu_ratio service_cycle.log Cycle/Service RawParsing)" 1.15
goal_row "record store memory / raw column bytes" 1.28 \
  "$(oracle_counter BM_OpenPendingRows store_ratio)" 1.30
[ "$quick" = 1 ] && echo "(before: 10 000 Firebird rows, 100 000 Oracle rows, 1 000 marks, 999-row cycles)"

if [ "$callgrind" = 1 ]; then
  command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 1; }
  count() {  # count <program> <rows> <way>: instructions of one pass of the way
    local file="$out/callgrind.$(echo "$3" | tr / _)"
    valgrind --tool=callgrind --collect-atstart=no --callgrind-out-file="$file" \
      "$1" --variant="$3" --rows="$2" >/dev/null 2>&1 || { echo 0; return; }
    sed -n 's/^totals: *//p' "$file"
  }
  ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.3f", a / b; else print "-" }'; }
  echo
  echo "Instructions of one pass (callgrind), per row and against the raw way"
  ib=build-release/bench/ib/ib_insert_paths_bench
  ora=build-release/bench/oracle/oracle_read_paths_bench
  cg_ib_rows=2000
  cg_ora_rows=20000
  for mode in CommitAtEnd CommitPerRow; do
    raw=$(count $ib $cg_ib_rows $mode/Raw)
    layer=$(count $ib $cg_ib_rows $mode/Layer)
    dataset=$(count $ib $cg_ib_rows $mode/DataSet)
    soci=$(count $ib $cg_ib_rows $mode/Soci)
    printf '%-20s raw %8d/row  layer %8d/row (%s)  record set %8d/row (%s)  soci %8d/row (%s)\n' \
      "$mode" $((raw / cg_ib_rows)) $((layer / cg_ib_rows)) "$(ratio "$layer" "$raw")" \
      $((dataset / cg_ib_rows)) "$(ratio "$dataset" "$raw")" \
      $((soci / cg_ib_rows)) "$(ratio "$soci" "$raw")"
  done
  raw=$(count $ora $cg_ora_rows Read/Raw)
  layer=$(count $ora $cg_ora_rows Read/Layer)
  sqlite=$(count $ora $cg_ora_rows Read/Sqlite)
  printf '%-20s raw %8d/row  layer %8d/row (%s)  sqlite %6d/row (%s)\n' "OracleRead" \
    $((raw / cg_ora_rows)) $((layer / cg_ora_rows)) "$(ratio "$layer" "$raw")" \
    $((sqlite / cg_ora_rows)) "$(ratio "$sqlite" "$raw")"
  cycle=build-release/bench/service/service_cycle_bench
  raw=$(count $cycle $cycle_rows Cycle/Raw)
  parsing=$(count $cycle $cycle_rows Cycle/RawParsing)
  service=$(count $cycle $cycle_rows Cycle/Service)
  printf '%-20s raw %8d/row  raw parsing %8d/row  service %8d/row (%s; %s against raw)\n' \
    "WholeCycle" $((raw / cycle_rows)) $((parsing / cycle_rows)) $((service / cycle_rows)) \
    "$(ratio "$service" "$parsing")" "$(ratio "$service" "$raw")"
fi
exit $status
