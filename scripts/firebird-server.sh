#!/usr/bin/env bash
# The local Firebird 3 server of the tests and the demo, on 127.0.0.1:3050.
#
#   firebird-server.sh start   start it unless something listens there already,
#                              and make sure the user VAVAVOR/kat4ro2 exists
#   firebird-server.sh stop    stop the server this script started
#   firebird-server.sh status  exit 0 when the port answers
#
# Works without systemd (containers, CI). Safe to call from several processes
# at once: the work is serialised by a lock file.
set -euo pipefail

HOST=127.0.0.1
PORT=3050
STATE_DIR=${KAVO_FIREBIRD_STATE_DIR:-/tmp/kavo-firebird}
PID_FILE=$STATE_DIR/firebird.pid
LOG_FILE=$STATE_DIR/firebird.log
SERVER=${KAVO_FIREBIRD_SERVER:-/usr/sbin/firebird}
SECURITY_DB=${KAVO_FIREBIRD_SECURITY_DB:-/var/lib/firebird/3.0/system/security3.fdb}
SYSDBA_FILE=/etc/firebird/3.0/SYSDBA.password
TEST_USER=VAVAVOR
TEST_PASSWORD=kat4ro2

mkdir -p "$STATE_DIR"
chmod 0777 "$STATE_DIR" 2>/dev/null || true

listening() { (exec 3<>"/dev/tcp/$HOST/$PORT") 2>/dev/null; }

wait_for() {  # wait_for up|down seconds
  local want=$1 tries=$(( $2 * 10 ))
  while (( tries-- > 0 )); do
    if [[ $want == up ]] && listening; then return 0; fi
    if [[ $want == down ]] && ! listening; then return 0; fi
    sleep 0.1
  done
  return 1
}

user_sql="create or alter user $TEST_USER password '$TEST_PASSWORD'; commit;"

# Before the server runs, the security database is written in-process; the
# lock directory is private so nothing is left that the server cannot open.
ensure_user_offline() {
  [[ -f $SECURITY_DB ]] || return 0
  local lockdir
  lockdir=$(mktemp -d "$STATE_DIR/lock.XXXXXX")
  echo "$user_sql" | FIREBIRD_LOCK=$lockdir isql-fb -q -user SYSDBA "$SECURITY_DB" >/dev/null
  rm -rf "$lockdir"
}

# Once the server runs, users are managed through a small database of our own
# (the security database refuses remote connections).
ensure_user_online() {
  local admin_db=$STATE_DIR/admin.fdb
  if echo "select 1 from rdb\$database;" | \
      isql-fb -q -user "$TEST_USER" -password "$TEST_PASSWORD" "$HOST/$PORT:$admin_db" \
      >/dev/null 2>&1; then
    return 0
  fi
  local password=""
  if [[ -r $SYSDBA_FILE ]]; then
    # shellcheck disable=SC1090
    password=$(. "$SYSDBA_FILE"; echo "${ISC_PASSWORD:-}")
  fi
  if [[ ! -f $admin_db ]]; then
    echo "create database '$HOST/$PORT:$admin_db' user 'SYSDBA' password '$password';" | \
      isql-fb -q >/dev/null
  fi
  echo "$user_sql" | isql-fb -q -user SYSDBA -password "$password" "$HOST/$PORT:$admin_db" \
    >/dev/null
}

start() {
  if listening; then
    ensure_user_online
    return 0
  fi
  [[ -x $SERVER ]] || { echo "firebird-server.sh: $SERVER not found" >&2; return 1; }
  ensure_user_offline
  local runas=()
  if [[ $(id -u) == 0 ]] && id firebird >/dev/null 2>&1; then
    runas=(setpriv --reuid=firebird --regid=firebird --init-groups)
  fi
  # The server must not inherit the lock (fd 9) or the caller's pipes, or
  # callers waiting for their output would wait for the server.
  (
    for fd in /proc/$BASHPID/fd/*; do
      fd=${fd##*/}
      if (( fd > 2 )); then eval "exec $fd>&-" 2>/dev/null || true; fi
    done
    exec setsid "${runas[@]}" "$SERVER" >>"$LOG_FILE" 2>&1 </dev/null
  ) &
  echo $! >"$PID_FILE"
  if ! wait_for up 30; then
    echo "firebird-server.sh: the server did not start listening on $HOST:$PORT" >&2
    tail -20 "$LOG_FILE" >&2 || true
    return 1
  fi
}

stop() {
  local pid=""
  [[ -f $PID_FILE ]] && pid=$(cat "$PID_FILE")
  if [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null; then
    kill -TERM "$pid" 2>/dev/null || true
    wait_for down 30 || kill -KILL "$pid" 2>/dev/null || true
  fi
  rm -f "$PID_FILE"
  wait_for down 10
}

cmd=${1:-start}
exec 9>"$STATE_DIR/script.lock"
flock 9
case $cmd in
  start) start ;;
  stop) stop ;;
  status) listening ;;
  *) echo "usage: $0 start|stop|status" >&2; exit 2 ;;
esac
