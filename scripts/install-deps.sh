#!/usr/bin/env bash
# Installs, with apt-get, only the Debian packages that are missing. Safe to run again.
set -euo pipefail

packages=(
  g++ cmake make pkg-config          # the toolchain
  python3                            # scripts/run.sh drives the service under a notify socket
  googletest libgtest-dev libgmock-dev # tests
  libbenchmark-dev                   # benchmarks
  libsoci-dev libsoci-firebird4.0    # the peer library the Firebird benchmark measures against
  valgrind                           # instruction counts of the benchmarks (scripts/bench.sh --callgrind)
  libsqlite3-dev                     # the OCI stand-in's storage
  libsystemd-dev                     # sd_notify for the service manager
  systemd                            # systemd-analyze: /INSTALL checks the unit it wrote
  util-linux                         # setpriv: the trace tests act as another local user
  libfbclient2 firebird-dev          # Firebird client library and its header
  firebird3.0-server-core            # embedded engine (local database files)
  firebird3.0-server firebird3.0-utils # server on 127.0.0.1:3050 and isql/gsec for tests
  clang-14 libclang-rt-14-dev libfuzzer-14-dev # the fuzz build (scripts/fuzz.sh)
  g++-mingw-w64-x86-64-posix         # the Windows build (build-windows/, cmake/mingw-w64.cmake)
  wine wine64                        # runs the Windows tests (scripts/wine-run.sh)
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
