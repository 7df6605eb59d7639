#!/usr/bin/env bash
# Runs a Windows program of build-windows/ under Wine: CTest's emulator for the
# Windows tests. The prefix is build-windows/wine unless WINEPREFIX names one.
# A persistent wineserver is started first: a service ends soon after the
# last Wine client leaves a server that is not persistent.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build-windows/wine}
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer dialogs when the prefix is made.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
mkdir -p "$WINEPREFIX"
# Wine's own processes (services.exe and the rest) start with the first
# program after the server and keep its standard streams: they get
# /dev/null here, one runner at a time, or CTest would wait for them.
flock -o "$WINEPREFIX/.kavo-start.lock" bash -c '
  # A new prefix is made under a server of its own, which must be gone before
  # the persistent one starts (with one started first, services.exe kept
  # restarting and the service control manager stayed locked).
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
  fi
  if wineserver -p </dev/null >/dev/null 2>&1; then
    wine wineboot </dev/null >/dev/null 2>&1
  fi'
# --prepare: only make the prefix and start the server (a first prefix takes
# longer than CTest's test discovery waits).
[ "${1:-}" = --prepare ] && exit 0
# A test whose program makes files that a server of another user must open
# (the Firebird tests) asks for a umask and a group; the group only as root.
[ -n "${KAVO_WINE_UMASK:-}" ] && umask "$KAVO_WINE_UMASK"
if [ -n "${KAVO_WINE_GROUP:-}" ] && [ "$(id -u)" = 0 ] &&
   getent group "$KAVO_WINE_GROUP" >/dev/null; then
  exec setpriv --regid="$KAVO_WINE_GROUP" --keep-groups wine "$@"
fi
exec wine "$@"
