"""The soak's reading of the activity log and its check of the rows.

A row's road through a cycle: "Importando: <CODIGO>" is logged before
anything is written for it; then its copy is committed in TMP_INTEGRACAO and
the move to the next row writes its "X" (or the failure is logged as
" Erro ..." and written into its ERRO). Whatever ends a cycle between the
copy's commit and the "X" (the process killed, the Oracle row locked, the log
failing) leaves the row pending with a copy: the design's known window. Only
the row whose "Importando" was the last one of a cycle that never logged
" Processo Encerrado " can be in it.
"""
import collections

CYCLE_START = " Iniciado integracao "
CYCLE_END = " Processo Encerrado "
SERVICE_START = " Iniciado "
ROW_START = "Importando: "


def row_of(line):
    """The CODIGO of an "Importando: <CODIGO> : <date-time>" line, or None."""
    if not line.startswith(ROW_START):
        return None
    text = line[len(ROW_START):].split(" : ", 1)[0].strip()
    return int(text) if text.isdigit() else None


class CycleLog:
    """The cycles of the activity log, fed line by line.

    Every cycle remembers the round that was running when it started, the
    rows it took ("Importando") and whether it ended. A cycle is closed
    unended when the service starts again or another cycle starts before
    its end; the one still open is unended only once the caller knows that
    nothing runs it any more (`interrupted_rows(idle=True)`).
    """

    def __init__(self):
        self.cycles = []  # dicts: round, rows (list of CODIGO), ended (True/False/None)

    @property
    def current(self):
        if self.cycles and self.cycles[-1]["ended"] is None:
            return self.cycles[-1]
        return None

    def feed(self, line, round_no=0):
        if line.startswith(CYCLE_START):
            self._close_unended()
            self.cycles.append({"round": round_no, "rows": [], "ended": None})
        elif line.startswith(CYCLE_END):
            if self.current is not None:
                self.current["ended"] = True
        elif line.startswith(SERVICE_START):
            self._close_unended()
        else:
            codigo = row_of(line)
            if codigo is not None and self.current is not None:
                self.current["rows"].append(codigo)

    def _close_unended(self):
        if self.current is not None:
            self.current["ended"] = False

    def started(self):
        return len(self.cycles)

    def ended(self):
        return sum(1 for c in self.cycles if c["ended"])

    def interrupted_rows(self, idle):
        """{CODIGO: [round, ...]}: the last row taken by each cycle that did
        not end (the open one too when `idle`), once per such cycle."""
        rows = collections.defaultdict(list)
        for c in self.cycles:
            unended = c["ended"] is False or (c["ended"] is None and idle)
            if unended and c["rows"]:
                rows[c["rows"][-1]].append(c["round"])
        return rows


# Outcomes of the row check.
MOVED = "moved"              # "X", one copy
PENDING_ERRO = "erro"        # pending with ERRO, no copy
NOT_REACHED = "not reached"  # pending without ERRO, no copy
WINDOW = "window"            # one copy more than its state allows, per interrupted take
LOST = "lost"                # "X" without a copy, or the source row gone
DUPLICATE = "duplicate"      # copies that no interrupted take explains
STRAY = "stray"              # a copy of no source row
ODD_STATUS = "odd status"    # a STATUS the service never writes
LIMBO = "limbo"              # its one copy prepared and left in limbo: the recovery decides


def classify(expected, rows, copies, interrupted, limbo=None):
    """Checks every row.

    expected: the CODIGOs the soak inserted; rows: {CODIGO: (STATUS, has ERRO)}
    as the interface table holds them; copies: {CODIGO: committed copies in
    TMP_INTEGRACAO}; interrupted: {CODIGO: [round, ...]} from CycleLog;
    limbo: {CODIGO: copies in limbo transactions} (exactly-once delivery).
    Returns {outcome: [CODIGO, ...]} (STRAY lists the CODIGOs of copies).

    A copy in limbo is right only alone: the recovery commits it when the
    row is "X" and rolls it back when it is pending. Beside a committed
    copy, or a second one, it is a duplicate in the making.
    """
    limbo = limbo or {}
    found = collections.defaultdict(list)
    for codigo in sorted(expected):
        if codigo not in rows:
            found[LOST].append(codigo)
            continue
        status, has_erro = rows[codigo]
        n = copies.get(codigo, 0)
        if status not in ("A", "X"):
            found[ODD_STATUS].append(codigo)
            continue
        if limbo.get(codigo):
            found[LIMBO if limbo[codigo] == 1 and n == 0 else DUPLICATE].append(codigo)
            continue
        if status == "X" and n == 0:
            found[LOST].append(codigo)
            continue
        extra = n - (1 if status == "X" else 0)
        if extra == 0:
            found[MOVED if status == "X" else PENDING_ERRO if has_erro else NOT_REACHED].append(
                codigo)
        elif extra <= len(interrupted.get(codigo, ())):
            found[WINDOW].append(codigo)
        else:
            found[DUPLICATE].append(codigo)
    for codigo in sorted((set(copies) | set(limbo)) - set(expected)):
        found[STRAY].append(codigo)
    return found


FAILURES = (LOST, DUPLICATE, STRAY, ODD_STATUS)
