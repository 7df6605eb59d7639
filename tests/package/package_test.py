#!/usr/bin/env python3
"""The Debian packages as an operator meets them: built and passed by lintian,
installed, installed again, upgraded, removed and purged in a throwaway root
(dpkg --root, maintainer scripts chrootless under $DPKG_ROOT), the unit
verified, /CHECK and /ONCE run from the installed files as the service user
on demo data, and the log rotated by the installed policy while the program
goes on writing.

Programs run from the throwaway root see its /etc (the INI, the service
user), /var/lib and /usr/share through overlays in a mount namespace of
their own: nothing of this machine changes. Needs root, unshare, setpriv,
isql-fb, lintian and logrotate.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
from kavo_harness import FIREBIRD_USER, INTERFACE_TABLE, OWNER, STAGING_TABLE  # noqa: E402

# The release build when there is one; else the build the test belongs to.
BUILD = os.environ.get("KAVO_PACKAGE_BUILD") or (
    os.path.join(ROOT, "build-release")
    if os.path.exists(os.path.join(ROOT, "build-release", "CMakeCache.txt"))
    else os.environ.get("KAVO_PACKAGE_BUILD_FALLBACK", os.path.join(ROOT, "build-release")))
USER = "kavo-integrador"
HOME = "/var/lib/kavo-integrador"
INI = "/etc/kavo-integrador/KavoIntegradorOracle.ini"
UNIT = "/lib/systemd/system/KavoServicoIntegrador.service"


def slurp(path, mode="r"):
    with open(path, mode) as f:
        return f.read()


def run(args, check=True, **kw):
    r = subprocess.run(args, capture_output=True, text=True, errors="replace", **kw)
    if check and r.returncode != 0:
        raise AssertionError("%s failed (%d):\n%s%s" % (args, r.returncode, r.stdout, r.stderr))
    return r


class Packages(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if os.geteuid() != 0:
            raise unittest.SkipTest("dpkg --root, unshare and setpriv need root")
        cls.tmp = tempfile.mkdtemp(prefix="kavo-package-")
        os.chmod(cls.tmp, 0o755)  # the service user walks into the throwaway root
        cls.dist = os.path.join(cls.tmp, "dist")
        env = dict(os.environ, KAVO_DIST=cls.dist, KAVO_DEB_COMPRESS="-Zgzip -z1")
        cls.build = run([os.path.join(ROOT, "scripts", "package-deb.sh"), BUILD], env=env)
        arch = run(["dpkg", "--print-architecture"]).stdout.strip()
        cls.main = os.path.join(cls.dist, "kavo-integrador_1.0.0_%s.deb" % arch)
        cls.standin = os.path.join(cls.dist, "kavo-ocisqlite_1.0.0_%s.deb" % arch)
        # The upgrade: the same files under a later version.
        unpacked = os.path.join(cls.tmp, "unpacked")
        run(["dpkg-deb", "-R", cls.main, unpacked])
        control = os.path.join(unpacked, "DEBIAN", "control")
        text = slurp(control).replace("Version: 1.0.0", "Version: 1.0.1")
        with open(control, "w") as f:
            f.write(text)
        cls.upgrade = os.path.join(cls.dist, "kavo-integrador_1.0.1_%s.deb" % arch)
        run(["dpkg-deb", "--root-owner-group", "-Zgzip", "-z1", "-b", unpacked, cls.upgrade])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="root-", dir=self.tmp)
        os.chmod(self.root, 0o755)
        os.makedirs(self.path("/var/lib/dpkg/info"))
        os.makedirs(self.path("/var/lib/dpkg/updates"))
        open(self.path("/var/lib/dpkg/status"), "w").close()
        os.makedirs(self.path("/etc"))
        with open(self.path("/etc/passwd"), "w") as f:
            f.write("root:x:0:0:root:/root:/bin/bash\n")
        with open(self.path("/etc/group"), "w") as f:
            f.write("root:x:0:\n")

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def path(self, p):
        return self.root + p

    def read(self, p):
        return slurp(self.path(p), "rb")

    def dpkg(self, *args):
        # The libraries are this machine's, not the throwaway root's.
        return run(["dpkg", "--root=" + self.root, "--force-script-chrootless", "--force-depends"]
                   + list(args))

    def version(self, package):
        r = run(["dpkg-query", "--admindir=" + self.path("/var/lib/dpkg"), "-W",
                 "-f=${Status} ${Version}", package], check=False)
        return r.stdout

    def ids(self):
        for line in slurp(self.path("/etc/passwd")).splitlines():
            f = line.split(":")
            if f[0] == USER:
                return int(f[2]), int(f[3])
        self.fail("no user " + USER)

    def inside(self, command, overlays=("/etc", "/var/lib", "/usr/share"), check=True, env=None):
        """Runs the shell command with the throwaway root's folders over this
        machine's, in a mount namespace that ends with it."""
        mounts = " && ".join("mount -t overlay overlay -o lowerdir=%s%s:%s %s" % (self.root, d, d, d)
                             for d in overlays)
        return run(["unshare", "-m", "sh", "-c",
                    "mount --make-rprivate / && %s && %s" % (mounts, command)],
                   check=check, env=env)

    # --- the tests ---------------------------------------------------------

    def test_packages_pass_lintian_and_hold_what_an_operator_needs(self):
        self.assertNotIn("E: ", self.build.stdout + self.build.stderr)
        files = run(["dpkg-deb", "-c", self.main]).stdout
        for p in ["." + HOME + "/KavoIntegradorOracle", "." + HOME + "/KavoIntegradorOracle.ini -> " + INI,
                  "./usr/sbin/KavoIntegradorOracle -> " + HOME + "/KavoIntegradorOracle",
                  "./usr/bin/kavo-sqlmonitor", "." + INI, "./etc/logrotate.d/kavo-integrador",
                  "." + UNIT, "./usr/lib/sysusers.d/kavo-integrador.conf",
                  "./usr/share/man/man8/KavoIntegradorOracle.8.gz",
                  "./usr/share/man/man1/kavo-sqlmonitor.1.gz",
                  "./usr/share/doc/kavo-integrador/README.md.gz"]:
            self.assertIn(p, files)
        conffiles = run(["dpkg-deb", "-I", self.main, "conffiles"]).stdout.split()
        self.assertEqual(conffiles, [INI, "/etc/logrotate.d/kavo-integrador"])
        depends = run(["dpkg-deb", "-f", self.main, "Depends"]).stdout
        self.assertIn("libfbclient2", depends)
        self.assertNotIn("kavo-ocisqlite", depends)
        self.assertIn("./usr/lib/kavo-ocisqlite/oracle-home/lib/libclntsh.so",
                      run(["dpkg-deb", "-c", self.standin]).stdout)

    def test_install_again_upgrade_remove_and_purge_keep_the_ini_until_purge(self):
        self.dpkg("-i", self.main)
        self.dpkg("-i", self.main)
        self.assertEqual(self.version("kavo-integrador"), "install ok installed 1.0.0")
        uid, gid = self.ids()
        self.assertGreater(uid, 0)
        st = os.stat(self.path(HOME))
        self.assertEqual((st.st_uid, st.st_gid, st.st_mode & 0o7777), (0, gid, 0o1770))
        st = os.stat(self.path(INI))
        self.assertEqual((st.st_uid, st.st_gid, st.st_mode & 0o7777), (0, gid, 0o640))
        # Not enabled: the operator writes the INI first.
        self.assertFalse(os.path.lexists(
            self.path("/etc/systemd/system/multi-user.target.wants/KavoServicoIntegrador.service")))

        operator_ini = b"[KavoIntegracao]\r\nORACLE=db:1521/X\r\nUU=u\r\nSS=s\r\nFIREBIRD=f\r\n"
        with open(self.path(INI), "wb") as f:
            f.write(operator_ini)
        with open(self.path(HOME + "/LogKavoIntegracao.txt"), "w") as f:
            f.write("old line\r\n")
        self.dpkg("-i", self.upgrade)
        self.assertEqual(self.version("kavo-integrador"), "install ok installed 1.0.1")
        self.assertEqual(self.read(INI), operator_ini)
        self.assertEqual(os.stat(self.path(INI)).st_mode & 0o777, 0o640)
        # A log the operator's root left behind is the service's again.
        self.assertEqual(os.stat(self.path(HOME + "/LogKavoIntegracao.txt")).st_uid, uid)

        self.dpkg("-r", "kavo-integrador")
        self.assertFalse(os.path.exists(self.path(HOME + "/KavoIntegradorOracle")))
        self.assertEqual(self.read(INI), operator_ini)
        self.assertTrue(os.path.exists(self.path(HOME + "/LogKavoIntegracao.txt")))

        self.dpkg("-i", self.main)
        self.assertEqual(self.read(INI), operator_ini)
        self.dpkg("-P", "kavo-integrador")
        for p in [INI, "/etc/kavo-integrador", HOME, "/etc/logrotate.d/kavo-integrador", UNIT]:
            self.assertFalse(os.path.lexists(self.path(p)), p)
        self.assertEqual(self.version("kavo-integrador"), "")

    def test_unit_verifies_and_runs_as_the_service_user_in_a_sandbox(self):
        self.dpkg("-i", self.main)
        unit = slurp(self.path(UNIT))
        for line in ["User=" + USER, "NoNewPrivileges=yes", "ProtectSystem=strict",
                     "ReadWritePaths=" + HOME, "ProtectHome=yes", "PrivateTmp=yes",
                     "Environment=LANG=C.UTF-8", "Environment=NLS_LANG=AMERICAN_AMERICA.AL32UTF8",
                     "ExecStart=" + HOME + "/KavoIntegradorOracle", "Type=notify"]:
            self.assertIn("\n" + line + "\n", unit)
        # Its man page and program are looked for: only those folders overlaid.
        self.inside("systemd-analyze verify " + self.path(UNIT), overlays=("/var/lib", "/usr/share"))

    def test_check_and_once_run_from_the_installed_files_and_the_log_rotates(self):
        self.dpkg("-i", self.main, self.standin)
        uid, gid = self.ids()
        demo = self.path(HOME + "/demo")
        os.makedirs(os.path.join(demo, "lock"))
        store, fdb = os.path.join(demo, "oracle.db"), os.path.join(demo, "DADOSKAVO.FDB")
        tool = self.path("/usr/bin/ocisqlite")
        run([tool, "create", store, "manager"])
        rows = "".join(
            "insert into interface_orcl (ACAO, CODIGO, DADOS, DT_H_GRAV, HORA, ORDEM, STATUS, "
            "TABELA, TIPO, VERSAO) values ('I', %d, 'dados %d', to_date('2026-12-08', "
            "'YYYY-MM-DD'), '10:11:12', %d, 'A', 'PEDIDOS', 'PEDIDO', '1.0');\n" % (c, c, c)
            for c in range(1, 4))
        run([tool, "sql", store, "system/manager"], input=INTERFACE_TABLE)
        run([tool, "sql", store, OWNER], input=rows + "commit;\n")
        fb_env = dict(os.environ, FIREBIRD_LOCK=os.path.join(demo, "lock"))
        run(["isql-fb", "-q", "-user", FIREBIRD_USER[0], "-password", FIREBIRD_USER[1]],
            input="create database '%s' default character set ISO8859_1;\n%s" % (fdb, STAGING_TABLE),
            env=fb_env)
        for dirpath, _, names in os.walk(demo):
            for p in [dirpath] + [os.path.join(dirpath, n) for n in names]:
                os.chown(p, uid, gid)
        with open(self.path(INI), "w", newline="\r\n") as f:
            f.write("[KavoIntegracao]\nORACLE=%s\nUU=v9norvelo\nSS=secret\nFIREBIRD=%s\nMINUTOS=1\n"
                    % (store, fdb))

        program = self.path(HOME + "/KavoIntegradorOracle")
        env = dict(fb_env, ORACLE_HOME=self.path("/usr/lib/kavo-ocisqlite/oracle-home"),
                   LANG="C.UTF-8", ASAN_OPTIONS="detect_leaks=0")
        as_user = "setpriv --reuid=%s --regid=%s --init-groups " % (USER, USER)
        check = self.inside(as_user + program + " /CHECK", env=env)
        self.assertEqual([l[:5] for l in check.stdout.splitlines()], ["OK   "] * 5, check.stdout)
        self.assertIn("3 pending rows", check.stdout)
        log = self.path(HOME + "/LogKavoIntegracao.txt")
        self.assertFalse(os.path.exists(log))

        once = self.inside(as_user + program + " /ONCE", env=env)
        self.assertIn(" Processo Encerrado ", once.stdout)
        st = os.stat(log)
        self.assertEqual((st.st_uid, st.st_mode & 0o777), (uid, 0o640))
        self.assertEqual(run([tool, "sql", store, OWNER],
                             input="select count(*) from interface_orcl where status = 'X';\n")
                         .stdout.splitlines()[1], "3")

        # The installed policy, pointed into the throwaway root, rotates the
        # live log; the program's next line starts a new file.
        policy = slurp(self.path("/etc/logrotate.d/kavo-integrador"))
        config = os.path.join(demo, "logrotate.conf")
        with open(config, "w") as f:
            f.write(policy.replace(HOME, self.path(HOME)))
        self.inside("logrotate -f -s %s %s" % (os.path.join(self.tmp, "logrotate.state"), config))
        rotated = slurp(log + ".1", "rb")
        self.assertIn(b" Processo Encerrado ", rotated)
        self.assertEqual(os.stat(log).st_size, 0)  # created empty by the policy
        self.inside(as_user + program + " /ONCE", env=env)
        lines = slurp(log, "rb").split(b"\r\n")
        self.assertTrue(lines[0].startswith(b"Ini = "), lines[:2])
        self.assertIn(b" Nr de Registros para Importar: 0", lines)
        self.assertEqual(slurp(log + ".1", "rb"), rotated)


if __name__ == "__main__":
    unittest.main(verbosity=2)
