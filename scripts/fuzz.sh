#!/usr/bin/env bash
# fuzz.sh [TARGET|all] [SECONDS]
# Builds the fuzz targets (clang, libFuzzer, ASan+UBSan) in build-fuzz and runs
# TARGET, or every target one after the other, for SECONDS each (default 60).
# Each run first replays the seeds of tests/fuzz/corpus/<target>/, known
# crash inputs included, then mutates them; what it learns stays in
# build-fuzz/corpus/<target>/ for the next run, a crash input goes to
# build-fuzz/artifacts/<target>/. Fails when any target failed.
# Extra libFuzzer options come from FUZZ_OPTIONS (e.g. "-max_len=8192").
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:-all}
seconds=${2:-60}

scripts/install-deps.sh
# Relative paths in ccache's keys: a fresh clone elsewhere (CI) reuses the objects.
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD} CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-true}
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DKAVO_FUZZ=ON -DKAVO_TESTS=OFF \
  -DKAVO_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-g -O1" \
  "-DCMAKE_C_FLAGS_DEBUG=-g -O1" >/dev/null
if [ "$target" = all ]; then
  targets=$(ls tests/fuzz/*_fuzzer.cpp | sed -E 's|.*/(.*)_fuzzer\.cpp|\1|')
  cmake --build build-fuzz -j2 --target kavo_fuzzers >/dev/null
else
  [ -f "tests/fuzz/${target}_fuzzer.cpp" ] || { echo "fuzz: no target $target"; exit 2; }
  targets=$target
  cmake --build build-fuzz -j2 --target "fuzz_$target" >/dev/null
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
passed=0 failed=0
printf '%-20s %12s %8s  %s\n' target executions seconds result
for t in $targets; do
  work=build-fuzz/corpus/$t artifacts=build-fuzz/artifacts/$t log=build-fuzz/fuzz-$t.log
  mkdir -p "$work" "$artifacts" "tests/fuzz/corpus/$t"
  # One process, one job: the machine is shared.
  set +e
  # shellcheck disable=SC2086
  build-fuzz/fuzz/fuzz_$t -max_total_time="$seconds" -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$artifacts/" ${FUZZ_OPTIONS:-} "$work" "tests/fuzz/corpus/$t" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$log" | tail -1)
  secs=$(sed -nE 's/^Done [0-9]+ runs in ([0-9]+) second.*/\1/p' "$log" | tail -1)
  if [ "$rc" -eq 0 ]; then
    result=ok passed=$((passed + 1))
  else
    result="FAILED (rc $rc, log $log, input in $artifacts/)" failed=$((failed + 1))
  fi
  printf '%-20s %12s %8s  %s\n' "$t" "${runs:-?}" "${secs:-?}" "$result"
  [ "$rc" -eq 0 ] || grep -E 'ERROR|SUMMARY|check failed|runtime error|terminate' "$log" | head -5
  # Long runs add up over sessions: one line per run.
  echo "$(date -u +%FT%TZ) $t ${runs:-0} ${secs:-0} $result" >>build-fuzz/fuzz-history.txt
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
