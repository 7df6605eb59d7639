"""The soak's reading of the activity log and its check of the rows: a row
lost or copied twice must fail the soak, and only a row taken last by a cycle
that was cut short may count as the known window."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "scripts"))
import soak_check as check  # noqa: E402
from kavo_harness import LineTail  # noqa: E402

DT = "12/09/26 10:11:12"


def cycle_log(lines, round_no=1):
    log = check.CycleLog()
    for line in lines:
        log.feed(line, round_no)
    return log


def taking(*codigos):
    return ["Importando: %d : %s" % (c, DT) for c in codigos]


START = [" Iniciado integracao " + DT, " Oracle Aberto " + DT, " Firebird Aberto " + DT,
         " Nr de Registros para Importar: 3"]
END = [" Processo Encerrado " + DT]
SERVICE_START = [" Iniciado " + DT, "Ini = /srv/KavoIntegradorOracle.ini",
                 "Ini = /srv/KavoIntegradorOracle.ini"]


class RowOfTest(unittest.TestCase):
    def test_reads_the_codigo_of_an_importando_line_only(self):
        self.assertEqual(check.row_of("Importando: 42 : " + DT), 42)
        self.assertEqual(check.row_of("Importando: 7 : "), 7)
        self.assertIsNone(check.row_of("Importando:  : " + DT))
        self.assertIsNone(check.row_of("Importando: 4x : " + DT))
        self.assertIsNone(check.row_of(" Erro Importando: 42 : " + DT))
        self.assertIsNone(check.row_of(" Nr de Registros para Importar: 42"))


class CycleLogTest(unittest.TestCase):
    def test_cycles_that_end_leave_no_row_in_the_window(self):
        log = cycle_log(SERVICE_START + START + taking(1, 2, 3) + END + START + taking(4) + END)
        self.assertEqual((log.started(), log.ended()), (2, 2))
        self.assertEqual(dict(log.interrupted_rows(idle=True)), {})

    def test_a_cycle_cut_short_by_a_new_start_of_the_service_leaves_its_last_row(self):
        log = cycle_log(START + taking(1, 2, 3) + SERVICE_START + START + taking(3) + END)
        self.assertEqual((log.started(), log.ended()), (2, 1))
        self.assertEqual(dict(log.interrupted_rows(idle=False)), {3: [1]})

    def test_a_cycle_cut_short_by_the_next_cycle_leaves_its_last_row(self):
        # The log failed before " Processo Encerrado ": the next tick starts anew.
        log = cycle_log(START + taking(5, 6) + ["Ini = /srv/KavoIntegradorOracle.ini"] + START)
        self.assertEqual(dict(log.interrupted_rows(idle=False)), {6: [1]})

    def test_the_open_cycle_counts_only_once_nothing_runs_it(self):
        log = cycle_log(START + taking(8, 9))
        self.assertEqual(dict(log.interrupted_rows(idle=False)), {})
        self.assertEqual(dict(log.interrupted_rows(idle=True)), {9: [1]})

    def test_a_row_cut_short_again_and_again_counts_each_time_with_its_round(self):
        log = check.CycleLog()
        for round_no in (3, 3, 4):
            for line in START + taking(1, 2):
                log.feed(line, round_no)
        log.feed(START[0], 5)
        self.assertEqual(dict(log.interrupted_rows(idle=False)), {2: [3, 3, 4]})

    def test_a_cycle_that_took_no_row_leaves_none(self):
        log = cycle_log(START + SERVICE_START + START)
        self.assertEqual(dict(log.interrupted_rows(idle=True)), {})

    def test_rows_outside_a_cycle_and_after_its_end_are_not_its_rows(self):
        log = cycle_log(taking(1) + START + taking(2) + END + taking(3))
        self.assertEqual(log.cycles[0]["rows"], [2])
        self.assertEqual(dict(log.interrupted_rows(idle=True)), {})


class ClassifyTest(unittest.TestCase):
    def outcome(self, status, has_erro, copies, interrupted=0, limbo=0):
        found = check.classify({1}, {1: (status, has_erro)}, {1: copies} if copies else {},
                               {1: [9] * interrupted} if interrupted else {},
                               {1: limbo} if limbo else None)
        self.assertEqual(sum(len(v) for v in found.values()), 1, found)
        return next(k for k, v in found.items() if v)

    def test_the_three_good_states(self):
        self.assertEqual(self.outcome("X", False, 1), check.MOVED)
        self.assertEqual(self.outcome("X", True, 1), check.MOVED)  # failed once, moved later
        self.assertEqual(self.outcome("A", True, 0), check.PENDING_ERRO)
        self.assertEqual(self.outcome("A", False, 0), check.NOT_REACHED)

    def test_a_row_marked_done_without_its_copy_is_lost(self):
        self.assertEqual(self.outcome("X", False, 0), check.LOST)
        self.assertEqual(self.outcome("X", False, 0, interrupted=2), check.LOST)

    def test_a_source_row_that_is_gone_is_lost(self):
        found = check.classify({1, 2}, {1: ("X", False)}, {1: 1}, {})
        self.assertEqual(found[check.LOST], [2])
        self.assertEqual(found[check.MOVED], [1])

    def test_extra_copies_are_the_window_only_within_the_takes_cut_short(self):
        self.assertEqual(self.outcome("A", False, 1, interrupted=1), check.WINDOW)
        self.assertEqual(self.outcome("X", False, 2, interrupted=1), check.WINDOW)
        self.assertEqual(self.outcome("X", False, 4, interrupted=3), check.WINDOW)
        self.assertEqual(self.outcome("X", False, 5, interrupted=3), check.DUPLICATE)
        self.assertEqual(self.outcome("A", False, 2, interrupted=1), check.DUPLICATE)

    def test_a_copy_in_limbo_is_right_only_alone(self):
        # Exactly-once delivery: the recovery commits it ("X") or rolls it back.
        self.assertEqual(self.outcome("X", False, 0, limbo=1), check.LIMBO)
        self.assertEqual(self.outcome("A", True, 0, limbo=1), check.LIMBO)
        self.assertEqual(self.outcome("X", False, 1, limbo=1), check.DUPLICATE)
        self.assertEqual(self.outcome("A", False, 1, limbo=1, interrupted=1), check.DUPLICATE)
        self.assertEqual(self.outcome("X", False, 0, limbo=2), check.DUPLICATE)
        found = check.classify({1}, {1: ("A", False)}, {}, {}, {1: 1, 7: 1})
        self.assertEqual(found[check.STRAY], [7])

    def test_extra_copies_without_a_take_cut_short_are_duplicates(self):
        self.assertEqual(self.outcome("X", False, 2), check.DUPLICATE)
        self.assertEqual(self.outcome("A", False, 1), check.DUPLICATE)
        # The row got its ERRO, yet its copy was kept: the next cycle copies it again.
        self.assertEqual(self.outcome("A", True, 1), check.DUPLICATE)

    def test_the_window_of_one_row_does_not_cover_another(self):
        found = check.classify({1, 2}, {1: ("X", False), 2: ("X", False)}, {1: 2, 2: 2},
                               {1: [4]})
        self.assertEqual(found[check.WINDOW], [1])
        self.assertEqual(found[check.DUPLICATE], [2])

    def test_copies_of_no_source_row_and_unknown_states_fail(self):
        found = check.classify({1}, {1: ("Y", False)}, {1: 1, 7: 1}, {})
        self.assertEqual(found[check.ODD_STATUS], [1])
        self.assertEqual(found[check.STRAY], [7])
        self.assertTrue(all(k in check.FAILURES for k in (check.ODD_STATUS, check.STRAY,
                                                          check.LOST, check.DUPLICATE)))
        self.assertNotIn(check.WINDOW, check.FAILURES)


class LineTailTest(unittest.TestCase):
    def test_a_line_is_read_once_complete_and_once_only(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "log.txt")
            tail = LineTail(path)
            self.assertEqual(tail.poll(1.0), [])  # no file yet
            with open(path, "wb") as f:
                f.write(b"first\r\nsec")
            self.assertEqual(tail.poll(2.0), ["first"])
            with open(path, "ab") as f:
                f.write(b"ond\r")
            self.assertEqual(tail.poll(3.0), [])
            with open(path, "ab") as f:
                f.write(b"\n\xe7\xe3o\r\n\r\n")
            self.assertEqual(tail.poll(4.0), ["second", "\xe7\xe3o", ""])
            self.assertEqual(tail.lines, ["first", "second", "\xe7\xe3o", ""])
            self.assertEqual(tail.seen_at, [2.0, 4.0, 4.0, 4.0])
            self.assertEqual(tail.poll(5.0), [])


if __name__ == "__main__":
    unittest.main()
