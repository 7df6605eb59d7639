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
import collections, os, random, shutil, signal, socket, subprocess, sys, tempfile, time

root, rows, limit = sys.argv[1], int(sys.argv[2]), float(sys.argv[3])
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


def sql(script, logon="v9norvelo/secret"):
    r = subprocess.run([tool, "sql", store, logon], input=script, text=True,
                       capture_output=True)
    if r.returncode != 0:
        sys.exit("the stand-in refused the demo script:\n" + r.stdout + r.stderr)
    return r.stdout


def query(select):
    """Rows of a query as lists of texts (NULL as an empty text)."""
    lines = sql(select + ";\n").splitlines()
    return [line.split("|", 1) for line in lines[1:-1]]


def count(where):
    return int(query("select count(*) from interface_orcl where " + where)[0][0])


def isql(script):
    r = subprocess.run(["isql-fb", "-q", "-user", "VAVAVOR", "-password", "kat4ro2"],
                       input=script, text=True, capture_output=True, env=fb_env)
    if r.returncode != 0 or "Statement failed" in r.stderr:
        sys.exit("isql-fb failed:\n" + r.stdout + r.stderr)
    return r.stdout


def quote(text):
    return "null" if text is None else "'" + text.replace("'", "''") + "'"


# --- fresh demo data ---------------------------------------------------------
shutil.rmtree(demo, ignore_errors=True)
os.makedirs(os.path.join(demo, "firebird-lock"))
subprocess.run([tool, "create", store, "manager"], check=True, stdout=subprocess.DEVNULL)
sql("""create user v9norvelo identified by secret;
create table v9norvelo."INTERFACE_ORCL" (ACAO varchar2(1), CODIGO number, DADOS varchar2(500),
  DT_H_GRAV date, DT_H_PRI_P date, DT_H_ULT_P date, ERRO varchar2(255), HORA varchar2(8),
  ORDEM number, STATUS varchar2(1), TABELA varchar2(20), TIPO varchar2(50), VERSAO varchar2(10));
""", "system/manager")
rng = random.Random(2026)
bad = {round(rows * (i + 1) / (len(BAD_HORAS) + 1)): h for i, h in enumerate(BAD_HORAS)}
kinds = [("PEDIDO", "PEDIDOS"), ("CLIENTE", "CLIENTES"), ("PRODUTO", "PRODUTOS")]
script = []
for codigo in range(1, rows + 1):
    tipo, tabela = rng.choice(kinds)
    stamp = time.localtime(time.time() - rng.randrange(30 * 86400))
    hora = bad.get(codigo, time.strftime("%H:%M:%S", stamp))
    dados = "%s;%d;cliente=%05d;valor=%d,%02d" % (tipo, codigo, rng.randrange(100000),
                                                   rng.randrange(10000), rng.randrange(100))
    script.append(
        "insert into interface_orcl (ACAO, CODIGO, DADOS, DT_H_GRAV, HORA, ORDEM, STATUS, "
        "TABELA, TIPO, VERSAO) values (%s, %d, %s, to_date('%s', 'YYYY-MM-DD'), %s, %d, 'A', "
        "%s, %s, '1.0');" % (quote(rng.choice("IAE")), codigo, quote(dados),
                              time.strftime("%Y-%m-%d", stamp), quote(hora), codigo,
                              quote(tabela), quote(tipo)))
script.append("commit;")
sql("\n".join(script) + "\n")
isql("""create database '%s' default character set ISO8859_1;
create table TMP_INTEGRACAO (NRECNO bigint, ACAO varchar(3), DADOS varchar(500), DATA date,
  HORA time, TIPO varchar(50), VERSAO varchar(10), STATUS varchar(10), ERRO varchar(200),
  STATUS_INTEGRACAO varchar(10), ERRO_INTEGRACAO varchar(200));
create generator GEN_TMP_INTEGRACAO;
set term ^ ;
create trigger TMP_INTEGRACAO_BI for TMP_INTEGRACAO before insert as
begin
  if (new.NRECNO is null) then new.NRECNO = gen_id(GEN_TMP_INTEGRACAO, 1);
end^
set term ; ^
commit;
""" % fdb)
with open(ini, "w", newline="\r\n") as f:
    f.write("""[KavoIntegracao]
; Oracle connect identifier (here: the stand-in store), user name and password
ORACLE=%s
UU=v9norvelo
SS=secret
; Firebird database path (a local path: the embedded engine)
FIREBIRD=%s
; Timer period in minutes (the demo's minute is one second)
MINUTOS=1
""" % (store, fdb))
if os.path.exists(log):
    os.remove(log)
pending_before = count("status = 'A'")
print("Demo data: %d pending rows in %s (%d with a time of day the service cannot read),"
      % (pending_before, store, len(BAD_HORAS)))
print("           an empty TMP_INTEGRACAO in %s" % fdb)

# --- the service, as the service manager runs it -------------------------------
lines, seen_at = [], []  # log lines and when this driver saw each


def read_log():
    if not os.path.exists(log):
        return
    with open(log, "rb") as f:
        text = f.read().decode("latin-1")
    done = text[:text.rfind("\r\n") + 2] if "\r\n" in text else ""
    new = done.split("\r\n")[len(lines):-1]
    lines.extend(new)
    seen_at.extend([time.monotonic()] * len(new))


with tempfile.TemporaryDirectory() as tmp:
    path = os.path.join(tmp, "notify")
    sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    sock.bind(path)
    sock.settimeout(0.05)
    env = dict(fb_env, NOTIFY_SOCKET=path, KAVO_TEST_MINUTE_MS="1000", ORACLE_HOME=home)
    env.pop("NLS_LANG", None)
    proc = subprocess.Popen([exe], env=env)
    statuses = []

    def listen(span, until=lambda: False):
        end = time.monotonic() + span
        while time.monotonic() < end and proc.poll() is None and not until():
            try:
                msg = sock.recv(4096).decode(errors="replace")
                statuses.append(msg.split("\n")[0])
            except socket.timeout:
                pass
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
    sock.setblocking(False)
    while True:  # the last reports may still wait in the socket
        try:
            statuses.append(sock.recv(4096).decode(errors="replace").split("\n")[0])
        except BlockingIOError:
            break
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
staged = isql("connect '%s';\nselect count(*) from TMP_INTEGRACAO;\n" % fdb).split()[-1]
one_line = "replace(replace(erro, chr(13) || chr(10), ' / '), chr(10), ' / ')"
why = query("select count(*), %s from interface_orcl where status = 'A' and erro is not null "
            "group by %s" % (one_line, one_line))
print()
print("Report")
print("  rows pending before        %d" % pending_before)
print("  rows pending after         %d" % count("status = 'A'"))
print("  rows marked \"X\"            %d" % marked)
print("  rows left with ERRO        %d" % sum(int(n) for n, _ in why))
for n, text in why:
    print("      %5s  %s" % (n, text))
print("  rows in TMP_INTEGRACAO     %s" % staged)
print("  cycles run                 %d (%d ended)" % (len(cycles), len(ends)))
print("  rows per second            %s" % ("%.0f (%d rows marked \"X\" in %.1f s of cycles)"
                                           % (marked / busy, marked, busy) if busy > 0 else "-"))
print("  log lines \" Erro ...\"       %d" % len(errors))
print("  activity log               %s (%d lines)" % (log, len(lines)))
print("  configuration              %s" % ini)
sys.exit(code)
PY
