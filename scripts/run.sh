#!/usr/bin/env bash
# The main job on the embedded defaults, as a demo that resets itself:
#
#  1. builds the service and the OCI stand-in (not the tests);
#  2. makes a fresh demo store build/demo/oracle.db (the stand-in's Oracle) with
#     the interface table v9norvelo."INTERFACE_ORCL" and KAVO_DEMO_ROWS pending
#     rows (3000 by default), a few of them with a time of day the service
#     cannot read, and a fresh embedded Firebird database
#     build/demo/DADOSKAVO.FDB with the staging table TMP_INTEGRACAO;
#  3. writes build/KavoIntegradorOracle.ini naming both and starts a new
#     activity log;
#  4. runs the service as the service manager would (under a notify socket of
#     its own) with a one-second "minute" until every pending row has been
#     tried once, or KAVO_RUN_SECONDS (120) pass; stops it with SIGTERM;
#  5. prints the report: rows pending before and after, marked "X", left with
#     ERRO and why, rows in TMP_INTEGRACAO, cycles, rows per second, the log.
#
# Every run starts again from new demo data: the store, the Firebird database,
# the INI file and the log of the last run are replaced.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build -DKAVO_TESTS=OFF -DKAVO_BENCH=OFF >/dev/null
cmake --build build --parallel "$(nproc)" --target KavoIntegradorOracle ocisqlite_tool ocisqlite_clntsh

exec python3 - "$PWD" "${KAVO_DEMO_ROWS:-3000}" "${KAVO_RUN_SECONDS:-120}" <<'PY'
import os, random, shutil, signal, subprocess, sys, tempfile, time

root, rows, limit = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
sys.path.insert(0, os.path.join(root, "scripts"))
from kavo_harness import (Firebird, HarnessError, LineTail, NotifySocket, StandIn, quote,
                          write_ini)

build = os.path.join(root, "build")
exe = os.path.join(build, "KavoIntegradorOracle")
tool = os.path.join(build, "ocisqlite")
home = os.path.join(build, "oracle-home")
demo = os.path.join(build, "demo")
store = os.path.join(demo, "oracle.db")
fdb = os.path.join(demo, "DADOSKAVO.FDB")
ini = os.path.join(build, "KavoIntegradorOracle.ini")
log = os.path.join(build, "LogKavoIntegracao.txt")
# The embedded engine's lock files stay with the demo, away from a server's.
fb_env = dict(os.environ, FIREBIRD_LOCK=os.path.join(demo, "firebird-lock"))
BAD_HORAS = ["25:00:00", "", None, "10h30", "12:60:00"]
# Texts every copy must keep to the letter (ISO8859_1, the stored connection's
# set, holds them), and texts it cannot hold, whose rows stay pending.
ACCENTED = ["São Paulo;observação: entrega às 9h;preço=10,00", "Ação;coração;pão de açúcar",
            "Ñandú;Müller;Øresund;Ångström"]
NON_LATIN = ["preço € 10", "“aspas curvas”", "中文テスト", "Привет, мир", "ok 😀 ok"]
oracle = StandIn(tool, store)
firebird = Firebird(fb_env)
count = oracle.count


def fail(kind, value, traceback):
    # A refused demo script or isql run says why, without a trace.
    if issubclass(kind, HarnessError):
        print(value, file=sys.stderr)
    else:
        sys.__excepthook__(kind, value, traceback)


sys.excepthook = fail


# --- fresh demo data ---------------------------------------------------------
shutil.rmtree(demo, ignore_errors=True)
os.makedirs(os.path.join(demo, "firebird-lock"))
oracle.create()
rng = random.Random(2026)
bad = {round(rows * (i + 1) / (len(BAD_HORAS) + 1)): h for i, h in enumerate(BAD_HORAS)}
texts = ACCENTED * 2 + NON_LATIN
special = {round(rows * (i + 0.5) / len(texts)) + 1: t for i, t in enumerate(texts)}
special = {c: t for c, t in special.items() if c not in bad and c <= rows}
kinds = [("PEDIDO", "PEDIDOS"), ("CLIENTE", "CLIENTES"), ("PRODUTO", "PRODUTOS")]
script = []
for codigo in range(1, rows + 1):
    tipo, tabela = rng.choice(kinds)
    stamp = time.localtime(time.time() - rng.randrange(30 * 86400))
    hora = bad.get(codigo, time.strftime("%H:%M:%S", stamp))
    dados = "%s;%d;cliente=%05d;valor=%d,%02d" % (tipo, codigo, rng.randrange(100000),
                                                   rng.randrange(10000), rng.randrange(100))
    if codigo in special:
        dados = "%s;%d" % (special[codigo], codigo)
        special[codigo] = dados
    script.append(
        "insert into interface_orcl (ACAO, CODIGO, DADOS, DT_H_GRAV, HORA, ORDEM, STATUS, "
        "TABELA, TIPO, VERSAO) values (%s, %d, %s, to_date('%s', 'YYYY-MM-DD'), %s, %d, 'A', "
        "%s, %s, '1.0');" % (quote(rng.choice("IAE")), codigo, quote(dados),
                              time.strftime("%Y-%m-%d", stamp), quote(hora), codigo,
                              quote(tabela), quote(tipo)))
script.append("commit;")
oracle.sql("\n".join(script) + "\n")
firebird.create_staging(fdb)
write_ini(ini, store, fdb, {
    "ORACLE": "Oracle connect identifier (here: the stand-in store), user name and password",
    "FIREBIRD": "Firebird database path (a local path: the embedded engine)",
    "MINUTOS": "Timer period in minutes (the demo's minute is one second)"})
if os.path.exists(log):
    os.remove(log)
pending_before = count("status = 'A'")
accented = {c: t for c, t in special.items() if all(ord(ch) < 256 for ch in t)}
non_latin = {c: t for c, t in special.items() if c not in accented}
print("Demo data: %d pending rows in %s (%d with a time of day the service cannot read,"
      % (pending_before, store, len(BAD_HORAS)))
print("           %d with accented text, %d with text outside ISO8859_1),"
      % (len(accented), len(non_latin)))
print("           an empty TMP_INTEGRACAO in %s" % fdb)

# --- the service, as the service manager runs it -------------------------------
activity = LineTail(log)
lines, seen_at = activity.lines, activity.seen_at  # log lines and when this driver saw each


def read_log():
    activity.poll(time.monotonic())


with tempfile.TemporaryDirectory() as tmp:
    notify = NotifySocket(os.path.join(tmp, "notify"))
    # The locale the unit /INSTALL writes gives the service.
    env = dict(fb_env, NOTIFY_SOCKET=notify.path, KAVO_TEST_MINUTE_MS="1000", ORACLE_HOME=home,
               LANG="C.UTF-8")
    for name in ("NLS_LANG", "LC_ALL", "LC_CTYPE"):
        env.pop(name, None)
    proc = subprocess.Popen([exe], env=env)
    statuses = notify.statuses

    def listen(span, until=lambda: False):
        end = time.monotonic() + span
        while time.monotonic() < end and proc.poll() is None and not until():
            notify.receive(0.05)
            read_log()

    def every_row_tried():
        # A cycle ended after which no pending row is left untried.
        return (lines and lines[-1].startswith(" Processo Encerrado ")
                and count("status = 'A' and erro is null") == 0)

    started = time.monotonic()
    try:
        listen(limit, every_row_tried)
    except KeyboardInterrupt:
        pass
    timed_out = proc.poll() is None and not every_row_tried()
    if proc.poll() is None:
        proc.send_signal(signal.SIGTERM)
        listen(30)
    code = proc.wait(timeout=30)
    notify.drain()  # the last reports may still wait in the socket
    notify.close()
    read_log()

print("Service: " + " -> ".join(s.replace("STATUS=", "").split(" accepts")[0]
                                 for s in statuses))
print("exit code %d%s" % (code, ", stopped at the time limit (KAVO_RUN_SECONDS=%g)" % limit
                          if timed_out else ""))

# --- the report -----------------------------------------------------------------
cycles = [i for i, l in enumerate(lines) if l.startswith(" Iniciado integracao ")]
ends = [i for i, l in enumerate(lines) if l.startswith(" Processo Encerrado ")]
errors = [l for l in lines if l.startswith(" Erro ")]
busy = sum(seen_at[e] - seen_at[s] for s, e in zip(cycles, ends) if e > s)
marked = count("status = 'X'")
staged = firebird.isql("connect '%s';\nselect count(*) from TMP_INTEGRACAO;\n" % fdb).split()[-1]
one_line = "replace(replace(erro, chr(13) || chr(10), ' / '), chr(10), ' / ')"
why = oracle.query("select count(*), %s from interface_orcl where status = 'A' and erro is not "
                   "null group by %s" % (one_line, one_line), 1)
print()
print("Report")
print("  rows pending before        %d" % pending_before)
print("  rows pending after         %d" % count("status = 'A'"))
print("  rows marked \"X\"            %d" % marked)
print("  rows left with ERRO        %d" % sum(int(n) for n, _ in why))
for n, text in why:
    print("      %5s  %s" % (n, text))
print("  rows in TMP_INTEGRACAO     %s" % staged)
copies = set(l.split(None, 1)[1].rstrip() for l in firebird.isql(
    "connect '%s';\nset list on;\nselect DADOS from TMP_INTEGRACAO;\n" % fdb,
    charset="UTF8").splitlines() if l.startswith("DADOS ") and len(l.split(None, 1)) == 2)
exact = sum(1 for t in accented.values() if t in copies)
print("  accented rows              %d, copied exactly %d" % (len(accented), exact))
held = sum(1 for c in non_latin if oracle.query(
    "select count(*) from interface_orcl where codigo = %d and status = 'A' and erro like "
    "'%%cannot be stored in ISO8859_1%%'" % c)[0][0] == "1" and not any(
        t == non_latin[c] for t in copies))
print("  rows outside ISO8859_1     %d, pending with their reason and no copy %d"
      % (len(non_latin), held))
print("  cycles run                 %d (%d ended)" % (len(cycles), len(ends)))
print("  rows per second            %s" % ("%.0f (%d rows marked \"X\" in %.1f s of cycles)"
                                           % (marked / busy, marked, busy) if busy > 0 else "-"))
print("  log lines \" Erro ...\"       %d" % len(errors))
print("  activity log               %s (%d lines)" % (log, len(lines)))
print("  configuration              %s" % ini)
sys.exit(code or (exact != len(accented)) or (held != len(non_latin)))
PY
