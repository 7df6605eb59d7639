"""What the scripts that run the service with real databases share.

The stand-in store as the service's Oracle (through the admin tool), a
Firebird database through isql-fb, the INI file, the notify socket the
service reports to, and the activity log read as it grows.
"""
import os
import socket
import subprocess

OWNER = "v9norvelo/secret"
FIREBIRD_USER = ("VAVAVOR", "kat4ro2")

INTERFACE_TABLE = """create user v9norvelo identified by secret;
create table v9norvelo."INTERFACE_ORCL" (ACAO varchar2(1), CODIGO number, DADOS varchar2(500),
  DT_H_GRAV date, DT_H_PRI_P date, DT_H_ULT_P date, ERRO varchar2(255), HORA varchar2(8),
  ORDEM number, STATUS varchar2(1), TABELA varchar2(20), TIPO varchar2(50), VERSAO varchar2(10));
"""

STAGING_TABLE = """create table TMP_INTEGRACAO (NRECNO bigint, ACAO varchar(3), DADOS varchar(500), DATA date,
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
"""


class HarnessError(RuntimeError):
    pass


def quote(text):
    """An SQL text literal, or null."""
    return "null" if text is None else "'" + text.replace("'", "''") + "'"


class StandIn:
    """A stand-in store, driven through its admin tool."""

    def __init__(self, tool, store):
        self.tool, self.store = tool, store

    def create(self):
        """A new store with the interface table, owned by v9norvelo."""
        subprocess.run([self.tool, "create", self.store, "manager"], check=True,
                       stdout=subprocess.DEVNULL)
        self.sql(INTERFACE_TABLE, "system/manager")

    def sql(self, script, logon=OWNER):
        r = subprocess.run([self.tool, "sql", self.store, logon], input=script, text=True,
                           capture_output=True)
        if r.returncode != 0:
            raise HarnessError("the stand-in refused the script:\n" + r.stdout + r.stderr)
        return r.stdout

    def query(self, select, maxsplit=-1):
        """Rows of a query as lists of texts (NULL as an empty text); a
        value holding "|" or a line break comes out cut."""
        lines = self.sql(select + ";\n").splitlines()
        return [line.split("|", maxsplit) for line in lines[1:-1]]

    def count(self, where):
        return int(self.query("select count(*) from interface_orcl where " + where)[0][0])


class Firebird:
    """isql-fb as the service's Firebird user, with the environment given
    (FIREBIRD_LOCK keeps an embedded engine's lock files apart)."""

    def __init__(self, env=None):
        self.env = env if env is not None else dict(os.environ)

    def isql(self, script, database=None, charset=None):
        args = ["isql-fb", "-q", "-user", FIREBIRD_USER[0], "-password", FIREBIRD_USER[1]]
        if charset:
            args += ["-ch", charset]
        if database:
            args.append(database)
        r = subprocess.run(args, input=script, text=True, capture_output=True, env=self.env,
                           errors="replace")
        if r.returncode != 0 or "Statement failed" in r.stderr:
            raise HarnessError("isql-fb failed:\n" + r.stdout + r.stderr)
        return r.stdout

    def create_staging(self, database):
        """A new database (a path, or host:path on a server) with TMP_INTEGRACAO."""
        self.isql("create database '%s' default character set ISO8859_1;\n%s"
                  % (database, STAGING_TABLE))


def write_ini(path, oracle, firebird, comments=None, extra=()):
    """The service's INI, CR LF ended; `comments` maps a key to the comment
    line written above it; `extra` adds (key, value) pairs."""
    comments = comments or {}
    values = [("ORACLE", oracle), ("UU", "v9norvelo"), ("SS", "secret"), ("FIREBIRD", firebird),
              ("MINUTOS", "1")] + list(extra)
    with open(path, "w", newline="\r\n") as f:
        f.write("[KavoIntegracao]\n")
        for key, value in values:
            if key in comments:
                f.write("; %s\n" % comments[key])
            f.write("%s=%s\n" % (key, value))


class NotifySocket:
    """The socket the service reports its status to, as the service manager's."""

    def __init__(self, path):
        self.path = path
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.sock.bind(path)
        self.statuses = []  # the first line of each report, in order

    def receive(self, timeout):
        """Waits up to `timeout` seconds for one report; whether one came."""
        self.sock.settimeout(timeout)
        try:
            self.statuses.append(self.sock.recv(4096).decode(errors="replace").split("\n")[0])
            return True
        except socket.timeout:
            return False

    def drain(self):
        """Takes every report already waiting."""
        self.sock.setblocking(False)
        try:
            while True:
                self.statuses.append(
                    self.sock.recv(4096).decode(errors="replace").split("\n")[0])
        except BlockingIOError:
            pass

    def close(self):
        self.sock.close()


class LineTail:
    """A file read as it grows: its complete lines (ended by `end`), each
    with the moment this reader first saw it."""

    def __init__(self, path, end="\r\n"):
        self.path, self.end = path, end
        self.lines, self.seen_at = [], []
        self._offset = 0

    def poll(self, now):
        """Reads what was added; the new lines."""
        try:
            with open(self.path, "rb") as f:
                f.seek(self._offset)
                data = f.read()
        except FileNotFoundError:
            return []
        text = data.decode("latin-1")
        cut = text.rfind(self.end)
        if cut < 0:
            return []
        complete = text[:cut + len(self.end)]
        self._offset += len(complete.encode("latin-1"))
        new = complete.split(self.end)[:-1]
        self.lines.extend(new)
        self.seen_at.extend([now] * len(new))
        return new
