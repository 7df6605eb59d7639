#!/usr/bin/env bash
# Fails when an include or a link goes up the layer stack, sideways between the
# two database layers, or from the OCI stand-in into src/.
#   rtl < platform < recordset < {oracle, ib} < service
# The build enforces the same through each layer's include root; this check
# names the offending line.
set -uo pipefail
cd "$(dirname "$0")/.."

declare -A allowed=(
  [rtl]="rtl"
  [platform]="rtl platform"
  [recordset]="rtl platform recordset"
  [oracle]="rtl platform recordset oracle"
  [ib]="rtl platform recordset ib"
  [service]="rtl platform recordset oracle ib service"
)
layers="rtl platform recordset oracle ib service"
failures=0
fail() { echo "layer check: $*" >&2; failures=$((failures + 1)); }

# Includes: "layer/header.h" must name an allowed layer; no relative escapes.
for layer in $layers; do
  while IFS=: read -r file line text; do
    target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"$text")
    if [[ " $layers " == *" $target "* && " ${allowed[$layer]} " != *" $target "* ]]; then
      fail "$file:$line: $layer may not include $target ($text)"
    fi
  done < <(grep -nHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]+/' src/"$layer"/*.{h,cpp} \
             src/"$layer"/{posix,win32}/*.cpp 2>/dev/null)
done
while IFS=: read -r file line text; do
  fail "$file:$line: relative include out of the folder ($text)"
done < <(grep -nHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"\.\./' src/*/*.{h,cpp} src/*/{posix,win32}/*.cpp ocisqlite/*.{h,cpp} 2>/dev/null)

# The stand-in is a separate client library: nothing of src/.
while IFS=: read -r file line text; do
  target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"$text")
  [[ " $layers " == *" $target "* ]] && fail "$file:$line: the OCI stand-in may not include $target ($text)"
done < <(grep -nHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]+/' ocisqlite/*.{h,cpp} 2>/dev/null)
if grep -nHE 'kavo_(rtl|platform|recordset|oracle|ib|service)\b' ocisqlite/CMakeLists.txt; then
  fail "ocisqlite/CMakeLists.txt links a layer of src/"
fi

# Links: the layers a folder USES or links by name.
for layer in $layers; do
  cm=src/$layer/CMakeLists.txt
  [ -f "$cm" ] || { fail "$cm is missing"; continue; }
  used=$(tr '\n' ' ' <"$cm" | grep -oE 'kavo_add_layer\([^)]*\)' | sed -E 's/.*USES([^A-Z)]*).*/\1/;t;s/.*//')
  linked=$(grep -oE 'kavo_(rtl|platform|recordset|oracle|ib|service)\b' "$cm" | sed 's/^kavo_//')
  for target in $used $linked; do
    [ "$target" = "$layer" ] && continue
    if [[ " ${allowed[$layer]} " != *" $target "* ]]; then
      fail "$cm: $layer may not use or link $target"
    fi
  done
done

# Programs that are not layers: the layers each may use.
declare -A program_allowed=(
  [sqlmonitor]="rtl platform recordset ib"
)
for program in "${!program_allowed[@]}"; do
  while IFS=: read -r file line text; do
    target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"([^/"]+)\/.*/\1/' <<<"$text")
    if [[ " $layers " == *" $target "* && " ${program_allowed[$program]} " != *" $target "* ]]; then
      fail "$file:$line: $program may not include $target ($text)"
    fi
  done < <(grep -nHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[^"]+/' src/"$program"/*.{h,cpp} 2>/dev/null)
  cm=src/$program/CMakeLists.txt
  [ -f "$cm" ] || { fail "$cm is missing"; continue; }
  for target in $(grep -oE 'kavo_(rtl|platform|recordset|oracle|ib|service)\b' "$cm" | sed 's/^kavo_//'); do
    if [[ " ${program_allowed[$program]} " != *" $target "* ]]; then
      fail "$cm: $program may not link $target"
    fi
  done
done

if [ "$failures" -gt 0 ]; then
  echo "layer check: $failures violation(s)" >&2
  exit 1
fi
echo "layer check: ok"
