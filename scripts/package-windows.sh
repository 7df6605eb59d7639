#!/usr/bin/env bash
# Builds the Windows program with mingw-w64 (build-windows-release/, no tests)
# and makes dist/KavoIntegradorOracle-win64.zip: the program, the SQL monitor
# when the tree builds it, a sample INI and README.txt, the README's section
# for Windows operators.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-windows-release
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
      -DCMAKE_BUILD_TYPE=Release -DKAVO_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

files=("$build/KavoIntegradorOracle.exe")
[ -f "$build/kavo-sqlmonitor.exe" ] && files+=("$build/kavo-sqlmonitor.exe")

# Nothing beyond Windows' own DLLs: the C and C++ runtimes are linked in.
for f in "${files[@]}"; do
  file "$f" | grep -q 'PE32+ executable.*x86-64' || { echo "$f: not a PE32+ x86-64 program" >&2; exit 1; }
  extra=$(x86_64-w64-mingw32-objdump -p "$f" | sed -n 's/^\s*DLL Name: //p' |
          grep -viE '^(kernel32|msvcrt|advapi32|user32|ws2_32|shell32|ole32)\.dll$' || true)
  [ -z "$extra" ] || { echo "$f needs $extra" >&2; exit 1; }
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp "${files[@]}" packaging/windows/KavoIntegradorOracle.ini "$stage/"
# The README's section "Windows operators", up to the next section, with CR LF.
sed -n '/^## Windows operators/,/^## /p' README.md | sed '$d' | sed 's/$/\r/' >"$stage/README.txt"
[ -s "$stage/README.txt" ] || { echo "README.md has no section 'Windows operators'" >&2; exit 1; }
mkdir -p dist
out=$PWD/dist/KavoIntegradorOracle-win64.zip
rm -f "$out"
(cd "$stage" && zip -q -X "$out" ./*)
unzip -l dist/KavoIntegradorOracle-win64.zip
