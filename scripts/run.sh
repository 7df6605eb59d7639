#!/usr/bin/env bash
# The main job on the embedded defaults: builds the program and runs it for a
# few seconds as the service manager would (under a notify socket of its own),
# with a one-second "minute" so that some timer ticks happen, then stops it
# with SIGTERM and prints what it wrote to its activity log.
#
# For now only the service spine runs: start, status reports, the timer and
# the log. Each tick logs " Iniciado integracao "; the database cycle is not
# wired in yet.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build
cmake --build build --parallel "$(nproc)"

exe="$PWD/build/KavoIntegradorOracle"
ini="$PWD/build/KavoIntegradorOracle.ini"
if [ ! -f "$ini" ]; then
  cat > "$ini" <<INI
[KavoIntegracao]
; Oracle connect identifier, user name and password
ORACLE=KAVO
UU=v9norvelo
SS=v9norvelo
; Firebird database path
FIREBIRD=$PWD/build/demo/DADOSKAVO.FDB
; Timer period in minutes
MINUTOS=1
INI
  echo "Wrote a demo configuration: $ini"
fi

echo "Only the service spine runs for now (no database cycle yet)."
exec python3 - "$exe" "${KAVO_RUN_SECONDS:-4}" <<'PY'
import os, signal, socket, subprocess, sys, tempfile, time

exe, seconds = sys.argv[1], float(sys.argv[2])
log = os.path.join(os.path.dirname(exe), "LogKavoIntegracao.txt")
start = os.path.getsize(log) if os.path.exists(log) else 0

with tempfile.TemporaryDirectory() as tmp:
    path = os.path.join(tmp, "notify")
    sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    sock.bind(path)
    sock.settimeout(0.1)
    env = dict(os.environ, NOTIFY_SOCKET=path, KAVO_TEST_MINUTE_MS="1000")
    proc = subprocess.Popen([exe], env=env)

    def listen(span):
        end = time.time() + span
        while time.time() < end:
            try:
                msg = sock.recv(4096).decode(errors="replace")
            except socket.timeout:
                if proc.poll() is not None:
                    return
                continue
            print("status:", msg.replace("\n", " | "))

    try:
        listen(seconds)
    except KeyboardInterrupt:
        pass
    if proc.poll() is None:
        print("sending SIGTERM (stop)")
        proc.send_signal(signal.SIGTERM)
        listen(5)
    code = proc.wait(timeout=10)
    print("exit code:", code)

print("--- activity log (%s), this run ---" % log)
if os.path.exists(log):
    with open(log, "rb") as f:
        f.seek(start)
        sys.stdout.write(f.read().decode("latin-1").replace("\r\n", "\n"))
sys.exit(code)
PY
