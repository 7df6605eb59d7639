"""The fault-injection soak of the whole service; scripts/soak.sh builds the
programs and runs it (doc/soak.md).

    soak.py BUILD_DIR [--exactly-once] [CYCLES [SEED]]

Runs the service as the service manager would, on a stand-in store and a
Firebird database (through the server on 127.0.0.1:3050 for three quarters of
the cycles, then embedded), with a short "minute". Each cycle gets one fault:
the kinds come in turns, each turn in an order drawn from the seed. Once the
service is at rest again every row of the interface table is checked
(soak_check.py). The table at the end counts the faults, the rows and the
service's exits; the exit status is 1 when a row was lost or copied twice
outside the known window, or the service misbehaved.

With --exactly-once the service runs with ENTREGA_UNICA=1: no row may be in
the known window (a second copy is a duplicate), a copy prepared and left in
limbo counts apart until the next cycle's recovery resolves it, and none may
be left after the quiet cycles at the end.
"""
import binascii
import collections
import os
import random
import shutil
import signal
import socket
import subprocess
import sys
import time

import soak_check as check
from kavo_harness import Firebird, HarnessError, LineTail, NotifySocket, StandIn, write_ini

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SERVER_SCRIPT = os.path.join(ROOT, "scripts", "firebird-server.sh")
SERVER_STATE = os.environ.get("KAVO_FIREBIRD_STATE_DIR", "/tmp/kavo-firebird")
MINUTE_MS = int(os.environ.get("KAVO_SOAK_MINUTE_MS", "1500"))
# KAVO_SOAK_FAULTS=kind,kind,...: only these faults (to chase one of them).
ONLY = [k for k in os.environ.get("KAVO_SOAK_FAULTS", "").split(",") if k]
EXACTLY_ONCE = False  # set by --exactly-once
REST_TIMEOUT = 120  # seconds a cycle may take before the service counts as hung

FAULTS = collections.OrderedDict([
    ("server_killed", "Firebird server killed, restarted"),
    ("oracle_locked", "Oracle row locked by another session"),
    ("firebird_refuses", "Firebird table refuses rows (constraint)"),
    ("log_unwritable", "activity log unwritable"),
    ("disk_full", "disk full under the Firebird database"),
    ("service_killed", "service killed (SIGKILL), started again"),
    ("service_stopped", "service stopped (SIGTERM), started again"),
])
TIPOS = ["PEDIDO", "CLIENTE", "PRODUTO", "NOTA", "TITULO"]
BAD_HORAS = ["25:00:00", "10h30", "12:60:00", ""]
# Text the copy must keep to the letter (ISO8859_1, the service's Firebird
# set, holds it), and text it cannot hold: such a row stays pending for good.
ACCENTED = ["ação", "coração", "pão de açúcar", "às 9h", "Müller", "Ñandú"]
NON_LATIN = ["preço €", "“curvas”", "中文", "Привет", "ok 😀"]


class SoakError(RuntimeError):
    """The soak cannot go on: the service or its surroundings misbehaved."""


def port_open():
    try:
        socket.create_connection(("127.0.0.1", 3050), timeout=0.5).close()
        return True
    except OSError:
        return False


def server(command):
    r = subprocess.run([SERVER_SCRIPT, command], capture_output=True, text=True)
    if command == "start" and r.returncode != 0:
        raise SoakError("the Firebird server did not start:\n" + r.stdout + r.stderr)


def server_pid():
    """The Firebird server listening on 127.0.0.1:3050, or None."""
    try:
        with open(os.path.join(SERVER_STATE, "firebird.pid")) as f:
            pid = int(f.read().strip())
        with open("/proc/%d/comm" % pid) as f:
            if f.read().strip() == "firebird":
                return pid
    except (OSError, ValueError):
        pass
    try:
        r = subprocess.run(["ss", "-Hltnp", "sport = :3050"], capture_output=True, text=True)
    except FileNotFoundError:
        return None
    for part in r.stdout.split("pid=")[1:]:
        digits = part.split(",", 1)[0]
        if digits.isdigit():
            return int(digits)
    return None


class LockHolder:
    """Another Oracle session holding a row with SELECT ... FOR UPDATE."""

    def __init__(self, tool, store, codigo):
        # stdbuf preloads its library ahead of everything: a tool built with
        # AddressSanitizer (the test build's) must be told that is fine.
        env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") +
                   ":verify_asan_link_order=0")
        self.proc = subprocess.Popen(
            ["stdbuf", "-oL", tool, "sql", store, "v9norvelo/secret"], stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, env=env)
        self.proc.stdin.write("select codigo from interface_orcl where codigo = %d for update;\n"
                              % codigo)
        self.proc.stdin.flush()
        self.answer = []
        while True:  # the query's header, its row, its row count
            line = self.proc.stdout.readline()
            if not line:
                break
            self.answer.append(line.rstrip("\n"))
            if line.startswith("(") or line.startswith("ORA-"):
                break
        self.held = bool(self.answer) and self.answer[-1] == "(1 row)"

    def release(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write("rollback;\n")
                self.proc.stdin.close()
            except OSError:
                pass
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


class DiskFiller:
    """Fills the file system under a folder; remove() gives the space back."""

    def __init__(self, folder):
        self.path = os.path.join(folder, "filler")
        with open(self.path, "wb") as f:
            free = os.statvfs(folder).f_bavail * os.statvfs(folder).f_frsize
            try:
                os.posix_fallocate(f.fileno(), 0, max(free, 1))
            except OSError:
                pass
            block = b"\0" * 65536
            try:
                while True:  # what fallocate left, block by block, then byte by byte
                    f.write(block)
                    f.flush()
            except OSError:
                pass
        self.free_after = os.statvfs(folder).f_bavail

    def remove(self):
        if os.path.exists(self.path):
            os.remove(self.path)


class Service:
    """The service process, started and stopped as the service manager would."""

    def __init__(self, exe, env, notify, out_path):
        self.exe, self.env, self.notify, self.out_path = exe, env, notify, out_path
        self.proc = None
        self.watched = False  # whether an end of the process would be unexpected
        self.starts = 0
        self.exits = collections.Counter()  # how each run ended
        self.unexpected = []

    def alive(self):
        return self.proc is not None and self.proc.poll() is None

    def start(self, timeout=30):
        seen = len(self.notify.statuses)
        with open(self.out_path, "ab") as out:
            self.proc = subprocess.Popen([self.exe], env=self.env, stdout=out, stderr=out)
        self.starts += 1
        self.watched = True
        end = time.monotonic() + timeout
        while time.monotonic() < end and self.proc.poll() is None:
            self.notify.receive(0.05)
            if any(s.startswith("STATUS=csRunning") for s in self.notify.statuses[seen:]):
                return
        raise SoakError("the service did not report running (exit code %s); see %s"
                        % (self.proc.poll(), self.out_path))

    def stop(self, sig, why, timeout=60):
        """Sends `sig` and waits for the end; the exit code, None when it
        had to be killed."""
        self.watched = False
        self.proc.send_signal(sig)
        try:
            code = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            self.exits["killed: no end %g s after %s" % (timeout, why)] += 1
            self.unexpected.append("did not stop within %g s after %s" % (timeout, why))
            return None
        if sig == signal.SIGTERM and code != 0:
            self.exits["exit code %d after %s" % (code, why)] += 1
            self.unexpected.append("ended with exit code %d after %s" % (code, why))
        else:
            self.exits[why] += 1
        return code

    def ended_by_itself(self):
        """Whether the process ended without being asked (counted once)."""
        if self.watched and self.proc is not None and self.proc.poll() is not None:
            self.watched = False
            self.exits["ended by itself (code %d)" % self.proc.returncode] += 1
            self.unexpected.append("ended by itself with exit code %d" % self.proc.returncode)
            return True
        return False


class Leg:
    """One run of the soak on one Firebird database."""

    def __init__(self, name, served, rounds, rng, build, workdir, out):
        self.name, self.served, self.rounds, self.rng, self.out = name, served, rounds, rng, out
        self.dir = os.path.join(workdir, name)
        self.bin = os.path.join(self.dir, "bin")
        self.fbdir = os.path.join(self.dir, "firebird")
        self.lockdir = os.path.join(self.dir, "firebird-lock")
        for d in (self.bin, self.fbdir, self.lockdir):
            os.makedirs(d)
        self.tool = os.path.join(build, "ocisqlite")
        self.exe = os.path.join(self.bin, "KavoIntegradorOracle")
        os.link(os.path.join(build, "KavoIntegradorOracle"), self.exe)
        self.home = os.path.join(build, "oracle-home")
        # In memory, like the tests': each row's commit would wait for the disk.
        self.store = "/dev/shm/kavo-soak-%d-%s.db" % (os.getpid(), name)
        self.fdb = os.path.join(self.fbdir, "SOAK.FDB")
        self.fb_name = "127.0.0.1:" + self.fdb if served else self.fdb
        self.log = os.path.join(self.bin, "LogKavoIntegracao.txt")
        self.events_path = os.path.join(self.dir, "events.txt")
        fb_env = dict(os.environ)
        if not served:
            fb_env["FIREBIRD_LOCK"] = self.lockdir
        self.oracle = StandIn(self.tool, self.store)
        self.firebird = Firebird(fb_env)
        self.notify = NotifySocket(os.path.join(self.dir, "notify"))
        env = dict(fb_env, NOTIFY_SOCKET=self.notify.path, KAVO_TEST_MINUTE_MS=str(MINUTE_MS),
                   ORACLE_HOME=self.home, KAVO_EVENT_LOG_FILE=self.events_path, LC_ALL="C.UTF-8")
        env.pop("NLS_LANG", None)
        self.service = Service(self.exe, env, self.notify, os.path.join(self.dir, "service.out"))
        self.logtail = LineTail(self.log)
        self.events = LineTail(self.events_path, "\n")
        self.cycles = check.CycleLog()
        self.round = 0
        self.phase = None  # when the first cycle after the last start began
        self.mounted = False
        self.disk_skip = None
        self.next_codigo = 1
        self.expected = set()
        self.bad_hora = set()  # rows the service can never move
        self.stuck = []  # readable rows still pending after the last quiet cycles
        self.injected = collections.Counter()
        self.kind_of_round = {}
        # " Erro" lines (a bad HORA's aside) while each kind of fault lasted
        self.erro_lines = collections.Counter()
        self.failures = []  # (round, outcome, CODIGO) the first time each row failed the check
        self.failed_rows = set()
        self.window = {}  # CODIGO -> (state, copies, rounds of its interrupted takes)
        self.limbo = {}  # CODIGO -> copies in limbo transactions, as the last read found them
        self.limbo_seen = set()  # rows ever found with a copy in limbo
        self.last = {}  # the latest check's outcomes
        self.last_rows = {}  # and the rows it read
        self.checks = 0
        self.server_killed = False
        self.cleanups = []

    # --- setting up and tearing down --------------------------------------------------------
    def set_up(self):
        if os.geteuid() != 0:
            self.disk_skip = "not root"
        else:
            r = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=48m,mode=1777", "kavo-soak",
                                self.fbdir], capture_output=True, text=True)
            if r.returncode == 0:
                self.mounted = True
            else:
                self.disk_skip = "no tmpfs mount: " + (r.stderr.strip() or "mount failed")
        os.chmod(self.fbdir, 0o1777)
        if self.served:
            server("start")
        self.oracle.create()
        # Made by the embedded engine (the server lets only its administrator
        # create databases), then opened to the server's user.
        maker = Firebird(dict(os.environ, FIREBIRD_LOCK=self.lockdir))
        maker.create_staging(self.fdb)
        # A new database has room to spare in its file; ballast takes it, so
        # that the rows soon need the file to grow (and a full disk shows).
        maker.isql("create table SOAK_LASTRO (A varchar(500));\ncommit;\nset term ^ ;\n"
                   "execute block as declare i int = 0; begin while (i < 4000) do begin "
                   "insert into SOAK_LASTRO values (lpad('', 480, uuid_to_char(gen_uuid()))); "
                   "i = i + 1; end end^\nset term ; ^\ncommit;\n", self.fdb)
        # Nor need the commits wait for the disk (on a tmpfs they do not anyway).
        subprocess.run(["gfix", "-write", "async", "-user", "VAVAVOR", "-password", "kat4ro2",
                        self.fdb], env=maker.env, check=True)
        os.chmod(self.fdb, 0o666)
        write_ini(os.path.join(self.bin, "KavoIntegradorOracle.ini"), self.store, self.fb_name,
                  extra=[("ENTREGA_UNICA", "1")] if EXACTLY_ONCE else ())
        self.add_rows(self.rng.randint(20, 60))
        self.start_service()

    def tear_down(self):
        while self.cleanups:
            try:
                self.cleanups.pop()()
            except Exception as e:  # every undo is tried
                print("  cleanup: %s" % e, file=self.out)
        if self.service.alive():
            self.service.stop(signal.SIGTERM, "SIGTERM at the end")
        if self.server_killed and not port_open():
            server("start")
        self.notify.close()
        # Both databases are kept with the leg's other files.
        if os.path.exists(self.store):
            shutil.move(self.store, os.path.join(self.dir, "oracle.db"))
        if self.mounted:
            if os.path.exists(self.fdb):
                shutil.copy(self.fdb, os.path.join(self.dir, "SOAK.FDB"))
            for _ in range(20):
                if subprocess.run(["umount", self.fbdir], capture_output=True).returncode == 0:
                    break
                time.sleep(0.5)
            else:
                subprocess.run(["umount", "-l", self.fbdir], capture_output=True)
            self.mounted = False

    # --- watching the service -----------------------------------------------------------------
    def poll(self):
        now = time.monotonic()
        for line in self.logtail.poll(now):
            self.cycles.feed(line, self.round)
            if line.startswith(check.CYCLE_START) and self.phase is None:
                self.phase = now
        self.events.poll(now)
        self.notify.drain()
        if self.service.ended_by_itself():
            print("  round %d: the service ended by itself; started again" % self.round,
                  file=self.out)
            self.start_service()

    def start_service(self):
        self.phase = None
        self.service.start()

    def sleep(self, seconds):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            self.poll()
            time.sleep(0.01)

    def idle(self):
        """Whether no cycle is under way: none started since the last one
        ended, or the running one was cut short by an exception (its error
        event came after its last log line), or no process runs."""
        if not self.service.alive() or self.cycles.current is None:
            return True
        try:
            return os.stat(self.events_path).st_mtime_ns >= os.stat(self.log).st_mtime_ns
        except FileNotFoundError:
            return False

    def wait_until(self, condition, what, timeout=REST_TIMEOUT):
        end = time.monotonic() + timeout
        while True:
            self.poll()
            if condition():
                return
            if time.monotonic() > end:
                raise SoakError("round %d: %s did not happen within %d s (log: %s)"
                                % (self.round, what, timeout, self.log))
            time.sleep(0.01)

    def wait_idle(self):
        self.wait_until(self.idle, "the end of the cycle")

    def wait_cycle_end(self, after):
        """Until a cycle started after `after` cycles has ended or stopped."""
        self.wait_until(lambda: self.cycles.started() > after and self.idle(),
                        "a cycle and its end")

    def wait_gap(self):
        """The embedded database is the service's alone while a cycle runs:
        its next tick must be far enough away before another process opens it."""
        if self.served or self.phase is None:
            return
        minute = MINUTE_MS / 1000.0
        left = minute - (time.monotonic() - self.phase) % minute
        if left < 0.6:
            started = self.cycles.started()
            self.sleep(left + 0.05)
            if self.cycles.started() > started:
                self.wait_idle()

    # --- the rows -------------------------------------------------------------------------------
    def add_rows(self, n, long_dados=False):
        script = []
        first = self.next_codigo
        for codigo in range(first, first + n):
            tipo = self.rng.choice(TIPOS)
            # Rare: the cycle takes at most 999 pending rows in the table's
            # order, so rows it can never move would in the end leave no room
            # for the others.
            if self.rng.random() < 0.005:
                hora = self.rng.choice(BAD_HORAS)
                self.bad_hora.add(codigo)
            else:
                hora = "%02d:%02d:%02d" % (self.rng.randrange(24), self.rng.randrange(60),
                                           self.rng.randrange(60))
            # Text that does not compress, so that the database grows with it.
            dados = "SOAK;%d;%s;%s" % (codigo, tipo, self.rng.randbytes(
                self.rng.randint(200 if long_dados else 60, 235)).hex())
            extra = ""
            if self.rng.random() < 0.1:
                extra = ";" + self.rng.choice(ACCENTED)
            elif self.rng.random() < 0.005:
                extra = ";" + self.rng.choice(NON_LATIN)
                self.bad_hora.add(codigo)
            # DADOS holds 500 bytes: the random part makes room for the text.
            room = 500 - len(extra.encode("utf-8"))
            dados = dados[:room] + extra
            script.append(
                "insert into interface_orcl (ACAO, CODIGO, DADOS, DT_H_GRAV, HORA, ORDEM, STATUS, "
                "TABELA, TIPO, VERSAO) values ('I', %d, '%s', to_date('2026-03-%02d', "
                "'YYYY-MM-DD'), '%s', %d, 'A', '%sS', '%s', '1.0');"
                % (codigo, dados, self.rng.randint(1, 28), hora, codigo, tipo, tipo))
        self.oracle.sql("\n".join(script) + "\ncommit;\n")
        self.expected.update(range(first, first + n))
        self.next_codigo += n
        return list(range(first, first + n))

    def read_rows(self):
        rows = {}
        for codigo, status, erro in self.oracle.query(
                "select codigo, status, nvl(length(erro), 0) from interface_orcl"):
            rows[int(codigo)] = (status, erro not in ("", "0"))
        return rows

    def read_copies(self):
        """Committed copies per CODIGO; with exactly-once delivery the copies
        in limbo transactions go to self.limbo (a plain read would fail on
        them: "record ... is stuck in limbo")."""
        limbo_script = ""
        if EXACTLY_ONCE:
            limbo_script = (
                "commit;\nset transaction read committed record_version no wait ignore limbo;\n"
                "select 'LIMBO', cast(substring(cast(RDB$TRANSACTION_DESCRIPTION as blob "
                "sub_type 0) from 1 for 400) as varchar(400) character set octets) "
                "from RDB$TRANSACTIONS where RDB$TRANSACTION_STATE = 1;\n")
        out = self.firebird.isql(
            "set heading off;\n" + limbo_script +
            "select substring(DADOS from 1 for position(';', DADOS, 6) - 1), "
            "count(*) from TMP_INTEGRACAO group by 1;\n", self.fb_name)
        self.limbo = collections.Counter()
        for line in out.splitlines():
            parts = line.split()
            if len(parts) == 2 and parts[0] == "LIMBO":
                text = binascii.unhexlify(parts[1]).decode("latin-1")
                if not text.startswith("KavoIntegradorOracle "):
                    raise SoakError("a limbo transaction the service did not make: " + text)
                codigo = text.split(" CODIGO=", 1)[1].split()[0] if " CODIGO=" in text else ""
                if not codigo.isdigit():
                    raise SoakError("a limbo transaction without a CODIGO: " + text)
                self.limbo[int(codigo)] += 1
        self.limbo_seen.update(self.limbo)
        out = "\n".join(l for l in out.splitlines() if not l.split()[:1] == ["LIMBO"])
        copies = {}
        for line in out.splitlines():
            parts = line.split()
            if len(parts) == 2 and parts[0].startswith("SOAK;"):
                copies[int(parts[0].split(";")[1])] = int(parts[1])
            elif parts:
                raise SoakError("a row of TMP_INTEGRACAO the soak did not make: " + line)
        return copies

    def check_rows(self):
        """Checks every row once the service is at rest; the outcomes."""
        for _ in range(20):
            self.wait_idle()
            self.wait_gap()
            before = len(self.logtail.lines)
            rows = self.read_rows()
            try:
                copies = self.read_copies()
            except HarnessError as e:
                if self.served or "lock" not in str(e):
                    raise
                # The service still holds the embedded database after a cut
                # short cycle; the next cycle that ends lets it go.
                self.wait_cycle_end(self.cycles.started())
                continue
            self.poll()
            if any(check.row_of(l) is not None for l in self.logtail.lines[before:]):
                continue  # a cycle took a row while the check read: read again
            # With exactly-once delivery no cut short take explains a copy.
            found = check.classify(self.expected, rows, copies,
                                   {} if EXACTLY_ONCE else self.cycles.interrupted_rows(idle=True),
                                   self.limbo)
            self.judge(found, rows, copies)
            return found
        raise SoakError("round %d: the service never stayed at rest long enough to check the rows"
                        % self.round)

    def judge(self, found, rows, copies):
        self.checks += 1
        self.last, self.last_rows = found, rows
        takes = self.cycles.interrupted_rows(idle=True)
        for codigo in found.get(check.WINDOW, []):
            state = rows[codigo][0]
            self.window[codigo] = ("pending" if state == "A" else '"X"', copies.get(codigo, 0),
                                   takes.get(codigo, []))
        for outcome in check.FAILURES:
            for codigo in found.get(outcome, []):
                if (outcome, codigo) not in self.failed_rows:
                    self.failed_rows.add((outcome, codigo))
                    state = rows.get(codigo, ("missing", False))
                    self.failures.append((self.round, outcome, codigo, state,
                                          copies.get(codigo, 0)))
                    print("  round %d: row %d %s: STATUS %s, ERRO %s, %d copies"
                          % (self.round, codigo, outcome, state[0],
                             "set" if state[1] else "empty", copies.get(codigo, 0)),
                          file=self.out)

    # --- the faults --------------------------------------------------------------------------
    def kinds(self):
        kinds = [k for k in FAULTS if k in ONLY] if ONLY else list(FAULTS)
        # KAVO_SOAK_FAULTS may have left them out already.
        if not self.served and "server_killed" in kinds:
            kinds.remove("server_killed")
        if self.disk_skip and "disk_full" in kinds:
            kinds.remove("disk_full")
        return kinds

    def run(self):
        self.set_up()
        pending = len(self.expected)
        deck = []
        for self.round in range(1, self.rounds + 1):
            if not self.kinds():
                print("  %s: none of the faults asked for applies here" % self.name, file=self.out)
                break
            if not deck:  # every kind once, in a random order, then again
                deck = self.kinds()
                self.rng.shuffle(deck)
            kind = deck.pop()
            self.kind_of_round[self.round] = kind
            # A full disk shows only when the database must grow: a burst of rows.
            fresh = self.add_rows(self.rng.randint(700, 950) if kind == "disk_full"
                                  else self.rng.randint(20, 60), kind == "disk_full")
            pending += len(fresh)
            # The disk fills early in the burst: the rest of it needs the room.
            at = self.rng.randint(1, min(pending, 100 if kind == "disk_full" else 999))
            note = getattr(self, "fault_" + kind)(at, fresh)
            self.injected[kind] += 1
            found = self.check_rows()
            pending = sum(len(found.get(k, [])) for k in (check.PENDING_ERRO, check.NOT_REACHED,
                                                           check.WINDOW, check.LIMBO))
            print("  %3d %-8s %-17s %-28s moved %5d  erro %4d  window %d%s" % (
                self.round, self.name, kind, note, len(found.get(check.MOVED, [])),
                len(found.get(check.PENDING_ERRO, [])), len(found.get(check.WINDOW, [])),
                "  limbo %d" % len(found.get(check.LIMBO, [])) if EXACTLY_ONCE else ""),
                file=self.out)
            self.out.flush()
        self.drain()

    def drain(self):
        """A few cycles without faults, then a stop: every row that can be
        moved must have moved."""
        self.round += 1
        for _ in range(3):
            self.wait_cycle_end(self.cycles.started())
            found = self.check_rows()
            if not self.retryable():
                break
        self.service.stop(signal.SIGTERM, "SIGTERM at the end")
        self.poll()
        found = self.check_rows()
        self.stuck = self.retryable()

    def retryable(self):
        """Pending rows whose HORA the service can read: a cycle should move them."""
        return sorted(c for c, (status, _) in self.last_rows.items()
                      if status == "A" and c not in self.bad_hora)

    def wait_for_row(self, at):
        """Until the next cycle takes its `at`th row (or ends first)."""
        self.poll()
        started = self.cycles.started()
        self.wait_until(lambda: self.cycles.started() > started,
                        "the start of a cycle", MINUTE_MS / 1000.0 * 3 + REST_TIMEOUT)
        cycle = self.cycles.cycles[started]
        self.wait_until(lambda: len(cycle["rows"]) >= at or cycle["ended"] is not None
                        or self.idle(), "row %d of the cycle" % at)
        return started

    def count_erro(self, kind, since):
        self.erro_lines[kind] += sum(1 for l in self.logtail.lines[since:]
                                     if l.startswith(" Erro ")
                                     and not l.endswith("is not a valid time")
                                     and "cannot be stored in" not in l)

    def fault_server_killed(self, at, fresh):
        self.wait_for_row(at)
        since = len(self.logtail.lines)
        pid = server_pid()
        if pid is None:
            raise SoakError("no Firebird server found on 127.0.0.1:3050 to kill")
        os.kill(pid, signal.SIGKILL)
        self.server_killed = True
        self.wait_until(lambda: not port_open(), "the end of the Firebird server", 30)
        down = self.rng.uniform(0.5, 3.0)
        self.sleep(down)
        server("start")
        self.server_killed = False
        self.wait_idle()
        self.count_erro("server_killed", since)
        return "at row %d, down %.1f s" % (at, down)

    def fault_oracle_locked(self, at, fresh):
        codigo = self.rng.choice(fresh)
        hold = self.rng.uniform(1.0, 6.0)
        self.wait_for_row(at)
        since = len(self.logtail.lines)
        holder = LockHolder(self.tool, self.store, codigo)
        self.cleanups.append(holder.release)
        if not holder.held:
            print("  round %d: the lock on row %d was not taken: %s"
                  % (self.round, codigo, " / ".join(holder.answer)), file=self.out)
        self.sleep(hold)
        holder.release()
        self.cleanups.remove(holder.release)
        self.wait_idle()
        self.count_erro("oracle_locked", since)
        return "row %d at row %d, %.1f s%s" % (codigo, at, hold, "" if holder.held else " (!)")

    def fault_firebird_refuses(self, at, fresh):
        tipo = self.rng.choice(TIPOS)
        self.wait_gap()
        self.firebird.isql("alter table TMP_INTEGRACAO add constraint SOAK_RECUSA check "
                           "(TIPO <> '%s');\ncommit;\n" % tipo, self.fb_name)
        since = len(self.logtail.lines)
        started = self.cycles.started()
        self.wait_cycle_end(started)
        self.count_erro("firebird_refuses", since)
        for _ in range(20):
            self.wait_idle()
            self.wait_gap()
            try:
                self.firebird.isql("alter table TMP_INTEGRACAO drop constraint SOAK_RECUSA;\n"
                                   "commit;\n", self.fb_name)
                break
            except HarnessError as e:
                if self.served or "lock" not in str(e):
                    raise
                self.wait_cycle_end(self.cycles.started())
        else:
            raise SoakError("round %d: the constraint could not be dropped" % self.round)
        return "TIPO %s refused for a cycle" % tipo

    def fault_log_unwritable(self, at, fresh):
        hold = self.rng.uniform(0.3, 3.0)
        self.wait_for_row(at)
        since = len(self.logtail.lines)
        os.chmod(self.log, 0o444)
        restore = lambda: os.chmod(self.log, 0o644)
        self.cleanups.append(restore)
        self.sleep(hold)
        restore()
        self.cleanups.remove(restore)
        self.wait_idle()
        self.count_erro("log_unwritable", since)
        return "at row %d, %.1f s" % (at, hold)

    def fault_disk_full(self, at, fresh):
        hold = self.rng.uniform(1.0, 4.0)
        started = self.wait_for_row(at)
        since = len(self.logtail.lines)
        filler = DiskFiller(self.fbdir)
        self.cleanups.append(filler.remove)
        self.sleep(hold)
        self.wait_until(lambda: self.cycles.started() > started and self.idle(),
                        "the end of the cycle")
        filler.remove()
        self.cleanups.remove(filler.remove)
        self.wait_idle()
        self.count_erro("disk_full", since)
        return "at row %d, %.1f s or more" % (at, hold)

    def fault_service_killed(self, at, fresh):
        pause = self.rng.uniform(0.1, 1.5)
        self.wait_for_row(at)
        self.service.stop(signal.SIGKILL, "SIGKILL (injected)")
        self.poll()
        self.sleep(pause)
        self.start_service()
        return "at row %d, restarted after %.1f s" % (at, pause)

    def fault_service_stopped(self, at, fresh):
        pause = self.rng.uniform(0.1, 1.5)
        self.wait_for_row(at)
        self.service.stop(signal.SIGTERM, "SIGTERM (injected)")
        self.poll()
        self.sleep(pause)
        self.start_service()
        return "at row %d, restarted after %.1f s" % (at, pause)


def report(legs, seed, cycles, started, out):
    def row(label, values, total=None):
        if total is None:
            total = sum(v for v in values if isinstance(v, int))
        cells = "".join("%12s" % (v,) for v in values)
        print("  %-56s%s%12s" % (label, cells, total), file=out)

    print(file=out)
    print("Soak report (seed %d%s; replay: scripts/soak.sh %s%d %d)"
          % (seed, ", exactly-once" if EXACTLY_ONCE else "",
             "--exactly-once " if EXACTLY_ONCE else "", cycles, seed), file=out)
    print("  %-56s%s%12s" % ("", "".join("%12s" % l.name for l in legs), "total"), file=out)
    row("cycles with a fault", [sum(l.injected.values()) for l in legs])
    row("service cycles (started / ended)",
        ["%d/%d" % (l.cycles.started(), l.cycles.ended()) for l in legs],
        "%d/%d" % (sum(l.cycles.started() for l in legs), sum(l.cycles.ended() for l in legs)))
    for kind, label in FAULTS.items():
        values = []
        for l in legs:
            if kind == "server_killed" and not l.served:
                values.append("-")
            elif kind == "disk_full" and l.disk_skip:
                values.append("skipped")
            else:
                values.append(l.injected[kind])
        row("  " + label, values)
    row("  ' Erro' lines while they lasted (bad HORA aside)",
        [sum(l.erro_lines.values()) for l in legs])
    row("rows inserted", [len(l.expected) for l in legs])
    row("rows moved (\"X\", one copy)", [len(l.last.get(check.MOVED, [])) for l in legs])
    row("rows pending with ERRO, no copy", [len(l.last.get(check.PENDING_ERRO, [])) for l in legs])
    row("rows pending, not reached", [len(l.last.get(check.NOT_REACHED, [])) for l in legs])
    row("rows in the known window%s" % (" (must be 0)" if EXACTLY_ONCE else ""),
        [len(l.window) for l in legs])
    if EXACTLY_ONCE:
        row("rows found with a copy in limbo (resolved later)", [len(l.limbo_seen) for l in legs])
        row("rows in limbo after the quiet cycles (must be 0)",
            [len(l.last.get(check.LIMBO, [])) for l in legs])
    row("rows lost (must be 0)", [len(l.last.get(check.LOST, [])) for l in legs])
    row("duplicates outside the window (must be 0)",
        [len(l.last.get(check.DUPLICATE, [])) + len(l.last.get(check.STRAY, [])) for l in legs])
    row("rows with a STATUS never written (must be 0)",
        [len(l.last.get(check.ODD_STATUS, [])) for l in legs])
    row("readable rows pending after the quiet cycles (must be 0)", [len(l.stuck) for l in legs])
    row("row checks", [l.checks for l in legs])
    row("service starts (restarts)", ["%d (%d)" % (l.service.starts, max(l.service.starts - 1, 0))
                                      for l in legs],
        "%d (%d)" % (sum(l.service.starts for l in legs),
                     sum(max(l.service.starts - 1, 0) for l in legs)))
    exits = sorted({k for l in legs for k in l.service.exits})
    for why in exits:
        row("service exits: " + why, [l.service.exits[why] for l in legs])
    row("unexpected service exits (must be 0)", [len(l.service.unexpected) for l in legs])
    print("  seed %d, %.0f s" % (seed, time.monotonic() - started), file=out)
    for l in legs:
        if l.disk_skip:
            print("  %s: disk full skipped (%s)" % (l.name, l.disk_skip), file=out)
        for codigo, (state, copies, rounds) in sorted(l.window.items()):
            cuts = collections.Counter(rounds)
            faults = ", ".join("round %d (%s)%s" % (r, l.kind_of_round.get(r, "no fault"),
                                                    " x%d" % n if n > 1 else "")
                               for r, n in sorted(cuts.items()))
            print("  %s: known window: row %d %s with %d copies; cycles cut short at it: %s"
                  % (l.name, codigo, state, copies, faults), file=out)
        for r, outcome, codigo, state, copies in l.failures:
            print("  %s: FAILED: round %d: row %d %s (STATUS %s, %d copies)"
                  % (l.name, r, codigo, outcome, state[0], copies), file=out)
        if l.stuck:
            print("  %s: FAILED: readable rows still pending at the end: %s"
                  % (l.name, " ".join(map(str, l.stuck[:20]))), file=out)
        for why in l.service.unexpected:
            print("  %s: FAILED: the service %s" % (l.name, why), file=out)
        events = collections.Counter(e.split("\t")[-1][:90] for e in l.events.lines)
        for text, n in events.most_common(6):
            print("  %s: error event x%d: %s" % (l.name, n, text), file=out)


def main(argv):
    global EXACTLY_ONCE
    EXACTLY_ONCE = "--exactly-once" in argv
    argv = [a for a in argv if a != "--exactly-once"]
    build = os.path.abspath(argv[1])
    cycles = int(argv[2]) if len(argv) > 2 else 200
    seed = int(argv[3]) if len(argv) > 3 else int.from_bytes(os.urandom(4), "big")
    out = sys.stdout
    flag = "--exactly-once " if EXACTLY_ONCE else ""
    print("Soak: %d cycles with a fault each, seed %d%s (replay: scripts/soak.sh %s%d %d)"
          % (cycles, seed, ", exactly-once delivery (ENTREGA_UNICA=1)" if EXACTLY_ONCE else "",
             flag, cycles, seed), file=out)
    unknown = [k for k in ONLY if k not in FAULTS]
    if unknown:
        print("unknown fault in KAVO_SOAK_FAULTS: %s (known: %s)"
              % (", ".join(unknown), ", ".join(FAULTS)), file=out)
        return 2
    rng = random.Random(seed)
    workdir = os.path.join(build, "soak")
    shutil.rmtree(workdir, ignore_errors=True)
    os.makedirs(workdir)
    embedded = max(cycles // 4, 1)
    legs = [Leg("server", True, cycles - embedded, rng, build, workdir, out),
            Leg("embedded", False, embedded, rng, build, workdir, out)]

    def interrupted(signum, frame):
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, interrupted)
    signal.signal(signal.SIGHUP, interrupted)
    started = time.monotonic()
    problem = None
    ran = []
    for leg in legs:
        if leg.rounds <= 0 or not leg.kinds():
            continue
        ran.append(leg)
        try:
            leg.run()
        except (SoakError, HarnessError) as e:
            problem = str(e)
        except KeyboardInterrupt:
            problem = "interrupted"
        finally:
            leg.tear_down()
        if problem:
            break
    report(ran, seed, cycles, started, out)
    failed = problem or any(l.failures or l.service.unexpected or l.stuck for l in ran)
    if EXACTLY_ONCE and any(l.window or l.last.get(check.LIMBO) for l in ran):
        failed = True
    if problem:
        print("FAILED: " + problem, file=out)
    print("soak %s" % ("FAILED" if failed else "passed"), file=out)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
