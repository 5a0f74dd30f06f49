"""End-to-end runs of the built database tool `ledgerix`: the contact list
that the server turns into its IP log, refused input, and failures. The
reports themselves run end to end in test_whole_day.

Time is set with libfaketime, so each run sees the date the test needs."""

import os
import sqlite3
import subprocess
import unittest

import e2e_util

TZ = "Europe/Berlin"


def refresh_ip_log_rows(output):
    """The rows the server's IP-log refresh takes from mode-7 output: lines
    ending in LF; three values each ended by a comma (a run of commas is one
    separator, commas in front of a value are skipped); the fourth value is
    the rest of the line, trailing white space removed."""
    rows = []
    while b"\n" in output:
        line, output = output.split(b"\n", 1)
        rest = line
        values = []
        for _ in range(3):
            rest = rest.lstrip(b",")
            if b"," not in rest:
                break
            value, rest = rest.split(b",", 1)
            values.append(value.decode("latin-1"))
        if len(values) < 3:
            continue
        values.append(rest.rstrip(b" \t\r\n\v\f").decode("latin-1"))
        rows.append(values)
    return rows


class LedgerixTest(unittest.TestCase):
    def setUp(self):
        self.install = e2e_util.Install()
        self.addCleanup(self.install.__exit__)

    def run_tool(self, *args, at="2027-01-01 09:00:00", **env):
        environment = self.install.env(**e2e_util.faketime_env(FAKETIME="@" + at), TZ=TZ, **env)
        return subprocess.run([e2e_util.program("ledgerix"), *args], capture_output=True,
                              env=environment, cwd=self.install.install, timeout=60)

    def listing(self, at):
        done = self.run_tool("7", at=at)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertTrue(done.stdout == b"" or done.stdout.endswith(b"\r\n"))
        return refresh_ip_log_rows(done.stdout)

    def test_contacts_become_ip_log_rows(self):
        for args in (("alice smith", "PC-7", "192.168.0.7"), ("bob", "PC-2", "10.0.0.2")):
            done = self.run_tool("6", *args, at="2026-12-08 08:00:00")
            self.assertEqual((done.returncode, done.stdout), (0, b""), done.stderr)
        # Carol now has alice's address; bob reports again later.
        self.assertEqual(self.run_tool("6", "carol", "PC-9", "192.168.0.7",
                                       at="2026-12-08 08:30:00").returncode, 0)
        self.assertEqual(self.run_tool("6", "bob", "PC-2", "10.0.0.2",
                                       at="2026-12-08 20:00:00").returncode, 0)
        self.assertEqual(self.listing("2026-12-08 21:00:00"),
                         [["alice smith", "192.168.0.7", "PC-7", "0"],
                          ["bob", "10.0.0.2", "PC-2", "1"],
                          ["carol", "192.168.0.7", "PC-9", "1"]])
        # A day after carol's report only bob is still active...
        self.assertEqual([row[3] for row in self.listing("2026-12-09 08:30:00")],
                         ["0", "1", "0"])
        # ... unless the window is set wider.
        self.install.values["ContactWindowHours"] = 48
        self.install.write_registry()
        self.assertEqual([row[3] for row in self.listing("2026-12-09 08:30:00")],
                         ["0", "1", "1"])

    def test_refuses_bad_contacts_and_command_lines(self):
        done = self.run_tool("6", "eve,admin", "PC-1", "10.0.0.1")
        self.assertEqual(done.returncode, 1)
        self.assertIn(b"comma", done.stderr)
        done = self.run_tool("6", "", "", "")
        self.assertEqual(done.returncode, 1)
        self.assertEqual(self.run_tool("7").stdout, b"")
        # `record`: refused lines are named, the others recorded (exit 3).
        done = subprocess.run([e2e_util.program("ledgerix"), "record"], capture_output=True,
                              env=self.install.env(), timeout=60,
                              input=b"eve,x\tPC-1\t10.0.0.1\nann\tPC-3\t10.0.0.3\nbob\tPC-2\n"
                                    b"carl\tPC-4\t10.0.0.4")
        self.assertEqual((done.returncode, done.stdout), (3, b""))
        self.assertEqual(done.stderr.splitlines(), [
            b"ledgerix: contact on line 1 not recorded: the user name holds a comma",
            b"ledgerix: contact on line 3 not recorded: not three values separated by tabs",
            b"ledgerix: contact on line 4 not recorded: it has no line feed"])
        self.assertEqual([row[0] for row in self.listing("2027-01-01 09:00:00")], ["ann"])
        for args in ((), ("8",), ("6", "x", "y"), ("1", "1", "0"), ("4", "3"), ("7", "7"),
                     ("record", "-")):
            done = self.run_tool(*args)
            self.assertEqual(done.returncode, 2, args)
            self.assertEqual(done.stdout, b"")
            self.assertTrue(done.stderr.startswith(b"usage: ledgerix"), done.stderr)

    def test_the_write_ahead_log_stays_bounded_over_many_runs(self):
        wal = self.install.path("contacts.dbs-wal")
        largest = 0
        for i in range(400):  # unbounded, the log would pass 14 MB
            done = subprocess.run([e2e_util.program("ledgerix"), "6", "u%d" % i, "PC-%d" % i,
                                   "10.0.%d.%d" % (i // 250, i % 250)],
                                  env=self.install.env(), capture_output=True, timeout=60)
            self.assertEqual(done.returncode, 0, done.stderr)
            largest = max(largest, os.path.getsize(wal) if os.path.exists(wal) else 0)
        self.assertLess(largest, 5 << 20)
        with sqlite3.connect(self.install.path("contacts.dbs")) as db:
            self.assertEqual(db.execute("PRAGMA integrity_check").fetchone(), ("ok",))
            self.assertEqual(db.execute("SELECT COUNT(*) FROM Contact").fetchone(), (400,))

    def test_a_missing_install_folder_is_reported(self):
        self.install.values["apppath"] = self.install.path("missing/")
        self.install.write_registry()
        for args in (("7",), ("6", "bob", "PC-2", "10.0.0.2"), ("1", "1", "0", "0")):
            done = self.run_tool(*args)
            self.assertEqual(done.returncode, 1, args)
            self.assertEqual(done.stdout, b"")
            self.assertIn(b"missing/", done.stderr)

    def test_fresh_install_reports_an_empty_period(self):
        # No nightly import has run yet: the normal report of a quiet
        # period, and reading creates nothing.
        for args, words in ((("1", "1", "0", "0"), b"no web activity was recorded for"),
                            (("4", "2"), b"no filter events were recorded for")):
            done = self.run_tool(*args)
            self.assertEqual(done.returncode, 0, (args, done.stderr))
            self.assertIn(words, done.stdout)
        self.assertFalse(os.path.exists(self.install.path("webfilter.dbs")))
        # A database that exists but cannot be read stays an error.
        with open(self.install.path("webfilter.dbs"), "wb") as f:
            f.write(b"not a database" * 100)
        done = self.run_tool("1", "1", "0", "0")
        self.assertEqual((done.returncode, done.stdout), (1, b""))
        self.assertIn(b"cannot open the activity database", done.stderr)

    def test_no_install_folder_is_an_error(self):
        del self.install.values["apppath"]
        self.install.write_registry()
        for args in (("6", "bob", "PC-2", "10.0.0.2"), ("7",), ("1", "1", "0", "0")):
            done = subprocess.run([e2e_util.program("ledgerix"), *args], capture_output=True,
                                  env=self.install.env(), cwd=self.install.root, timeout=60)
            self.assertEqual((done.returncode, done.stdout), (1, b""), args)
            self.assertIn(b"no install folder is configured", done.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.install.root, "contacts.dbs")))

if __name__ == "__main__":
    unittest.main()
