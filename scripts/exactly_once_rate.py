"""Rows per second of the service with exactly-once delivery (ENTREGA_UNICA=1)
and without, side by side:

    python3 scripts/exactly_once_rate.py BUILD_DIR [ROWS [RUNS [FOLDER]]]

BUILD_DIR holds a built KavoIntegradorOracle, ocisqlite and oracle-home (as
scripts/run.sh builds them in build/). Each run makes a fresh stand-in store
with ROWS pending rows (500) and a fresh embedded Firebird database on disk,
with forced writes as a new database has them (the service's real setting),
starts the service with a one-second "minute", and times its cycles from
the activity log until every row is "X". The modes alternate, RUNS times
each (3); the medians are printed with their ratio. The databases go into a
fresh folder in FOLDER (BUILD_DIR; /dev/shm shows the cost without the disk).
"""
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from kavo_harness import Firebird, LineTail, NotifySocket, StandIn, write_ini  # noqa: E402


def one_run(build, rows, exactly_once, workdir):
    shutil.rmtree(workdir, ignore_errors=True)
    bin_dir = os.path.join(workdir, "bin")
    lock = os.path.join(workdir, "firebird-lock")
    os.makedirs(bin_dir)
    os.makedirs(lock)
    exe = os.path.join(bin_dir, "KavoIntegradorOracle")
    shutil.copy2(os.path.join(build, "KavoIntegradorOracle"), exe)
    store = os.path.join(workdir, "oracle.db")
    fdb = os.path.join(workdir, "RATE.FDB")
    oracle = StandIn(os.path.join(build, "ocisqlite"), store)
    oracle.create()
    oracle.sql("\n".join(
        "insert into interface_orcl (ACAO, CODIGO, DADOS, DT_H_GRAV, HORA, ORDEM, STATUS, "
        "TABELA, TIPO, VERSAO) values ('I', %d, 'PEDIDO;%d;valor=%d', sysdate, '10:11:12', %d, "
        "'A', 'PEDIDOS', 'PEDIDO', '1.0');" % (c, c, c * 7, c) for c in range(1, rows + 1))
        + "\ncommit;\n")
    fb_env = dict(os.environ, FIREBIRD_LOCK=lock)
    Firebird(fb_env).create_staging(fdb)
    write_ini(os.path.join(bin_dir, "KavoIntegradorOracle.ini"), store, fdb,
              extra=[("ENTREGA_UNICA", "1" if exactly_once else "0")])
    log = LineTail(os.path.join(bin_dir, "LogKavoIntegracao.txt"))
    notify = NotifySocket(os.path.join(workdir, "notify"))
    env = dict(fb_env, NOTIFY_SOCKET=notify.path, KAVO_TEST_MINUTE_MS="1000",
               ORACLE_HOME=os.path.join(build, "oracle-home"))
    env.pop("NLS_LANG", None)
    proc = subprocess.Popen([exe], env=env)
    try:
        end = time.monotonic() + 600
        while time.monotonic() < end:
            notify.receive(0.05)
            log.poll(time.monotonic())
            if (log.lines and log.lines[-1].startswith(" Processo Encerrado ")
                    and oracle.count("status = 'A'") == 0):
                break
    finally:
        proc.send_signal(signal.SIGTERM)
        proc.wait(timeout=60)
        notify.close()
    lines, seen = log.lines, log.seen_at
    busy = 0.0
    start = None
    for i, line in enumerate(lines):
        if line.startswith(" Iniciado integracao "):
            start = seen[i]
        elif line.startswith(" Processo Encerrado ") and start is not None:
            busy += seen[i] - start
            start = None
    marked = oracle.count("status = 'X'")
    if marked != rows:
        raise SystemExit("only %d of %d rows were marked" % (marked, rows))
    return marked / busy


def main(argv):
    build = os.path.abspath(argv[1])
    rows = int(argv[2]) if len(argv) > 2 else 500
    runs = int(argv[3]) if len(argv) > 3 else 3
    folder = argv[4] if len(argv) > 4 else build
    rates = {False: [], True: []}
    with tempfile.TemporaryDirectory(dir=folder) as tmp:
        for i in range(runs):
            for mode in (False, True) if i % 2 == 0 else (True, False):
                rate = one_run(build, rows, mode, os.path.join(tmp, "run"))
                rates[mode].append(rate)
                print("  run %d, exactly-once %-3s %7.1f rows/s" % (i + 1, "on" if mode else "off",
                                                                     rate), flush=True)
    off, on = statistics.median(rates[False]), statistics.median(rates[True])
    print("%d rows, %d runs each, medians: off %.1f rows/s, on %.1f rows/s, on/off %.2f"
          % (rows, runs, off, on, on / off))


if __name__ == "__main__":
    main(sys.argv)
