"""The soak's hands on the world: the service process it starts and stops
(every end it did not ask for must count against the service), the other
Oracle session that holds a row, and the filler of a small file system."""
import os
import signal
import subprocess
import sys
import tempfile
import textwrap
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..",
                                "scripts"))
import soak  # noqa: E402
from kavo_harness import HarnessError, NotifySocket, StandIn  # noqa: E402

# A stand-in for the service: reports running on the notify socket unless
# told to stay silent, then behaves as FAKE_MODE says.
FAKE_SERVICE = textwrap.dedent("""\
    #!%s
    import os, signal, socket, sys, time
    mode = os.environ["FAKE_MODE"]
    if mode == "stubborn":
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
    if mode in ("normal", "exit3"):
        signal.signal(signal.SIGTERM, lambda *a: sys.exit(3 if mode == "exit3" else 0))
    if mode != "silent":
        s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        s.sendto(b"STATUS=csRunning checkpoint=0\\nREADY=1", os.environ["NOTIFY_SOCKET"])
    if mode == "dies":
        time.sleep(0.2)
        sys.exit(7)
    while True:
        time.sleep(0.05)
    """) % sys.executable


class ServiceTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.addCleanup(self.tmp.cleanup)
        self.exe = os.path.join(self.tmp.name, "fake-service")
        with open(self.exe, "w") as f:
            f.write(FAKE_SERVICE)
        os.chmod(self.exe, 0o755)
        self.notify = NotifySocket(os.path.join(self.tmp.name, "notify"))
        self.addCleanup(self.notify.close)

    def service(self, mode):
        s = soak.Service(self.exe, dict(os.environ, FAKE_MODE=mode,
                                        NOTIFY_SOCKET=self.notify.path),
                         self.notify, os.path.join(self.tmp.name, "out"))
        self.addCleanup(lambda: s.alive() and (s.proc.kill(), s.proc.wait()))
        return s

    def test_a_stop_that_was_asked_for_is_an_expected_exit(self):
        s = self.service("normal")
        s.start()
        self.assertTrue(s.alive())
        self.assertEqual(s.stop(signal.SIGTERM, "SIGTERM (injected)"), 0)
        s.start()
        self.assertEqual(s.stop(signal.SIGKILL, "SIGKILL (injected)"), -signal.SIGKILL)
        self.assertFalse(s.ended_by_itself())
        self.assertEqual(s.starts, 2)
        self.assertEqual(dict(s.exits), {"SIGTERM (injected)": 1, "SIGKILL (injected)": 1})
        self.assertEqual(s.unexpected, [])

    def test_a_nonzero_exit_code_after_sigterm_is_unexpected(self):
        s = self.service("exit3")
        s.start()
        self.assertEqual(s.stop(signal.SIGTERM, "SIGTERM at the end"), 3)
        self.assertEqual(s.unexpected, ["ended with exit code 3 after SIGTERM at the end"])

    def test_an_end_nobody_asked_for_counts_once(self):
        s = self.service("dies")
        s.start()
        end = time.monotonic() + 10
        while s.alive() and time.monotonic() < end:
            time.sleep(0.02)
        self.assertTrue(s.ended_by_itself())
        self.assertFalse(s.ended_by_itself())
        self.assertEqual(s.unexpected, ["ended by itself with exit code 7"])

    def test_a_service_that_ignores_sigterm_is_killed_and_counted(self):
        s = self.service("stubborn")
        s.start()
        self.assertIsNone(s.stop(signal.SIGTERM, "SIGTERM (injected)", timeout=0.5))
        self.assertFalse(s.alive())
        self.assertEqual(s.unexpected, ["did not stop within 0.5 s after SIGTERM (injected)"])

    def test_a_service_that_never_reports_running_fails_the_start(self):
        s = self.service("silent")
        with self.assertRaises(soak.SoakError):
            s.start(timeout=0.5)


@unittest.skipUnless(os.environ.get("KAVO_OCISQLITE_TOOL"), "needs the stand-in's admin tool")
class LockHolderTest(unittest.TestCase):
    def test_holds_the_store_until_released(self):
        with tempfile.TemporaryDirectory() as tmp:
            oracle = StandIn(os.environ["KAVO_OCISQLITE_TOOL"], os.path.join(tmp, "s.db"))
            oracle.create()
            oracle.sql("insert into interface_orcl (CODIGO, STATUS) values (1, 'A');\n"
                       "insert into interface_orcl (CODIGO, STATUS) values (2, 'A');\ncommit;\n")
            holder = soak.LockHolder(oracle.tool, oracle.store, 2)
            self.addCleanup(holder.release)
            self.assertTrue(holder.held, holder.answer)
            with self.assertRaisesRegex(HarnessError, "ORA-00054"):
                oracle.sql("update interface_orcl set status = 'X' where codigo = 1;\ncommit;\n")
            holder.release()
            self.assertIsNotNone(holder.proc.poll())
            oracle.sql("update interface_orcl set status = 'X' where codigo = 2;\ncommit;\n")
            self.assertEqual(oracle.count("status = 'X'"), 1)

    def test_a_row_that_is_not_there_is_not_held(self):
        with tempfile.TemporaryDirectory() as tmp:
            oracle = StandIn(os.environ["KAVO_OCISQLITE_TOOL"], os.path.join(tmp, "s.db"))
            oracle.create()
            holder = soak.LockHolder(oracle.tool, oracle.store, 5)
            self.addCleanup(holder.release)
            self.assertFalse(holder.held)
            self.assertEqual(holder.answer[-1], "(0 rows)")


@unittest.skipUnless(os.geteuid() == 0, "mounting a tmpfs needs root")
class DiskFillerTest(unittest.TestCase):
    def test_leaves_no_room_and_gives_it_back(self):
        with tempfile.TemporaryDirectory() as tmp:
            if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2m", "kavo-soak-test", tmp],
                              capture_output=True).returncode != 0:
                self.skipTest("no tmpfs mount here")
            try:
                filler = soak.DiskFiller(tmp)
                self.assertEqual(filler.free_after, 0)
                with self.assertRaises(OSError):
                    with open(os.path.join(tmp, "more"), "wb") as f:
                        f.write(b"x" * 8192)
                        f.flush()
                filler.remove()
                filler.remove()  # twice is harmless (the undo may run again)
                with open(os.path.join(tmp, "more"), "wb") as f:
                    f.write(b"x" * 8192)
            finally:
                subprocess.run(["umount", tmp], check=True)


if __name__ == "__main__":
    unittest.main()
