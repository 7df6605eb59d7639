#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
# Extra arguments go to ctest (for example: scripts/test.sh -L rtl).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# No include or link may go up the layer stack.
scripts/check-layers.sh
# Tests that need a Firebird server expect one on 127.0.0.1:3050.
[ -x scripts/firebird-server.sh ] && scripts/firebird-server.sh start

# The optimised build warns about things the debug build does not see; warnings are errors.
cmake -S . -B build-release -DKAVO_TESTS=OFF >/dev/null
cmake --build build-release -j"$(nproc)"

cmake -S . -B build-test -DKAVO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-test -j"$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
(cd build-test && ctest --output-on-failure -j"$(nproc)" --timeout 300 "$@")

# The Windows program's tree, built with mingw-w64; its tests (label windows)
# run under Wine. Run with the rest, or alone with `scripts/test.sh -L windows`.
if [ $# -eq 0 ] || [[ " $* " == *" windows "* ]]; then
  cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
        -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build build-windows -j"$(nproc)"
  scripts/wine-run.sh --prepare
  # Wine now and then ends a program at its very start with no output at all;
  # such a test is run again, while a real failure fails all three runs.
  (cd build-windows && ctest --output-on-failure -j"$(nproc)" --timeout 300 -L windows \
     --repeat until-pass:3)
fi

# The whole run also soaks the service under injected faults for 20 cycles
# (and 12 more with exactly-once delivery)
# (the tests no longer need the server it kills), replays every fuzz corpus
# (known crash inputs included) and fuzzes each target briefly.
if [ $# -eq 0 ]; then
  # Fixed seeds: CI replays the same draws and inputs each time.
  KAVO_SOAK_BUILD=build-release scripts/soak.sh "${KAVO_SOAK_CYCLES:-20}" "${KAVO_SOAK_SEED:-1}"
  # And with exactly-once delivery, where no row may be in the known window.
  KAVO_SOAK_BUILD=build-release scripts/soak.sh --exactly-once \
    "${KAVO_SOAK_EXACTLY_ONCE_CYCLES:-12}" "${KAVO_SOAK_SEED:-1}"
  FUZZ_OPTIONS=${FUZZ_OPTIONS:--seed=1} scripts/fuzz.sh all "${KAVO_FUZZ_SECONDS:-6}"
fi
