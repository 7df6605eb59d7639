#!/usr/bin/env bash
# The fault-injection soak of the whole service:  scripts/soak.sh [--exactly-once] [CYCLES [SEED]]
#
# Builds the service and the OCI stand-in (not the tests) in build, or in the
# folder KAVO_SOAK_BUILD names, and runs the real service process with a short
# "minute" for CYCLES cycles (200), each with one injected fault: three quarters
# on a Firebird database through the server on 127.0.0.1:3050, the rest on an
# embedded one, with a stand-in store as the Oracle. After every cycle each row
# must be moved once, or still pending without a copy; the known window is
# counted apart (with --exactly-once the service runs with ENTREGA_UNICA=1 and
# no row may be in it). The table at the end sums it up; exit status 1 when the soak
# failed. doc/soak.md says what it does, checks and keeps (build/soak/).
#
# The Firebird server is killed and restarted: nothing else may use it meanwhile.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${KAVO_SOAK_BUILD:-build}
scripts/install-deps.sh
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DKAVO_TESTS=OFF -DKAVO_BENCH=OFF >/dev/null
fi
cmake --build "$build" --parallel "$(nproc)" \
  --target KavoIntegradorOracle ocisqlite_tool ocisqlite_clntsh

exec python3 scripts/soak.py "$build" "$@"
