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
  gdb                                # stops the service at a point of a row to kill it there (e2e_exactly_once_test)
  libsqlite3-dev                     # the OCI stand-in's storage
  libsystemd-dev                     # sd_notify for the service manager
  systemd                            # systemd-analyze: /INSTALL checks the unit it wrote
  util-linux                         # setpriv: the trace tests act as another local user
  lintian logrotate                  # scripts/package-deb.sh checks its packages; the package test runs the log policy
  dpkg-dev                           # dpkg-shlibdeps: the packages' library dependencies
  libfbclient2 firebird-dev          # Firebird client library and its header
  firebird3.0-server-core            # embedded engine (local database files)
  firebird3.0-server firebird3.0-utils # server on 127.0.0.1:3050 and isql/gsec for tests
  clang-14 libclang-rt-14-dev libfuzzer-14-dev # the fuzz build (scripts/fuzz.sh)
  g++-mingw-w64-x86-64-posix         # the Windows build (build-windows/, cmake/mingw-w64.cmake)
  wine wine64                        # runs the Windows tests (scripts/wine-run.sh)
  wine64-tools                       # winegcc: the test bridges oci.dll and fbclient.dll
  zip                                # scripts/package-windows.sh
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# node-oracledb (thick mode) is the outside OCI client of the stand-in's tests: Debian's nodejs
# and npm unless a node with npm is there already (another packaging of nodejs carries its own
# npm, which Debian's npm package would conflict with). 6.10 is its last release that accepts an
# 11.2 client library, which the stand-in reports. npm needs no input and installs in seconds.
node_dir="$(cd "$(dirname "$0")/.." && pwd)/tests/ocisqlite/node"
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  echo "Installing: nodejs npm"
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends nodejs npm >/dev/null
fi
if [ ! -f "$node_dir/node_modules/oracledb/package.json" ] ||
   ! grep -q '"version": "6.10.0"' "$node_dir/node_modules/oracledb/package.json"; then
  echo "Installing: node-oracledb 6.10.0 in $node_dir"
  npm install --prefix "$node_dir" --no-audit --no-fund --no-package-lock --loglevel=error </dev/null >/dev/null
fi
