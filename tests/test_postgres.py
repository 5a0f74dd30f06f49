"""The activity database on PostgreSQL, run by the real programs against a
throw-away PostgreSQL server (pg_cluster.py): nights imported there (no
webfilter.dbs), a night while the database is down caught up the next one,
a kill -9 between commit and deletion counting nothing twice, the IP log
and the reports read from it, retention, two sites' servers in two schemas
at one midnight, and ledgerix migrate."""

import datetime
import os
import subprocess
import time
import unittest
import zoneinfo

import e2e_util
from e2e_util import Install, Server
from pg_cluster import PgCluster

TZ = "Europe/Paris"
PAUSE_AFTER_COMMIT = "QUORVANE_PAUSE_AFTER_COMMIT_MS_FOR_TESTING"


def write_day(logs, day, users=("anna", "bob"), lines=300):
    """Daily logs of `users` and a filter log of `lines` events of the
    first user, for day "DD_MM_YYYY"; the names written."""
    names = []
    for i, user in enumerate(users):
        name = "%s_%s_10.0.0.%d" % (day, user, 7 + i)
        e2e_util.write_base64_log(os.path.join(logs, name),
                                  ["%d*GET Request: host%d.example/" % (n, n % 7)
                                   for n in range(1, 500)])
        names.append(name)
    d, m, y = day.split("_")
    filter_log = "Filter_%s.log" % day
    e2e_util.write_base64_log(os.path.join(logs, filter_log),
                              ["%d/%d/%s|PC|%s|x|10:00:%02d|h/%d|blocked_" %
                               (int(m), int(d), y, users[0], n % 60, n) for n in range(lines)])
    return names + [filter_log]


@e2e_util.needs_faketime
class PostgresActivityTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.cluster = PgCluster()
        cls.cluster.__enter__()

    @classmethod
    def tearDownClass(cls):
        cls.cluster.__exit__(None, None, None)

    def psql(self, sql, schema):
        return self.cluster.psql(sql, schema)

    def start(self, inst, when, **extra):
        """Orbeline with its clock at `when` (local time)."""
        target = datetime.datetime.fromisoformat(when).replace(tzinfo=zoneinfo.ZoneInfo(TZ))
        clock = os.path.join(inst.root, "faketime")
        with open(clock, "w") as f:
            f.write("%+d\n" % int(target.timestamp() - time.time()))
        # The IP log is refreshed from the real tool's list, which reads the
        # same database.
        env = inst.env(**e2e_util.faketime_env(FAKETIME_TIMESTAMP_FILE=clock,
                                               FAKETIME_NO_CACHE=1), TZ=TZ,
                       FAKE_LEDGERIX_REAL=e2e_util.program("ledgerix"), **extra)
        server = Server(inst, env=env, exe=os.path.join(inst.private_bin(), "Orbeline"))
        self.addCleanup(server.__exit__)
        self.assertTrue(server.wait_for_line("Service started", timeout=30),
                        (server.lines, server.err_lines))
        return server

    def night(self, server, timeout=120):
        def line():
            found = [l for l in server.lines if l.startswith("Nightly import")]
            return found[0] if found else None
        self.assertTrue(e2e_util.wait_until(line, timeout=timeout, step=0.2),
                        (server.lines, server.err_lines))
        return line()

    def ledgerix(self, inst, *args, when="2026-03-06 10:00:00"):
        env = inst.env(**e2e_util.faketime_env(FAKETIME="@" + when), TZ=TZ)
        return subprocess.run([e2e_util.program("ledgerix"), *args], env=env,
                              capture_output=True, text=True, timeout=60)

    def test_nights_down_and_caught_up_killed_reports_and_retention(self):
        schema = "site_night"
        with Install({"DBServerPort": e2e_util.free_port(),
                      "ActivityDatabase": self.cluster.connection(schema)}) as inst:
            logs = inst.path("Logs")
            names = write_day(logs, "05_03_2026")
            exists = lambda: [n for n in names if os.path.exists(os.path.join(logs, n))]

            # The database is down at midnight: the logs stay, the line says why.
            self.cluster.stop()
            try:
                server = self.start(inst, "2026-03-05 23:59:55")
                line = self.night(server)
                started = time.time()
                self.assertEqual(server.stop(), 0)
                self.assertLess(time.time() - started, 10)
            finally:
                self.cluster.start()
            self.assertRegex(line, r"^Nightly import of 1 day failed: .* 3 logs left in Logs/ "
                                   r"\(PostgreSQL host=127\.0\.0\.1.*\)$")
            self.assertEqual(exists(), names)

            # Next night: killed right after its first commit, before the
            # logs of that commit are deleted.
            server = self.start(inst, "2026-03-06 23:59:55", **{PAUSE_AFTER_COMMIT: 60000})
            def committed():
                try:
                    return self.psql('SELECT count(*) FROM "ImportedLog"', schema) != "0"
                except RuntimeError:
                    return False  # no tables yet
            self.assertTrue(e2e_util.wait_until(committed, timeout=90, step=0.2), server.lines)
            server.stop(sig=9)
            self.assertEqual(exists(), names)

            server = self.start(inst, "2026-03-07 23:59:55")
            line = self.night(server)
            self.assertEqual(server.stop(), 0)
            self.assertEqual(line, "Nightly import of 1 day: 1 log with 300 lines imported, "
                                   "0 lines dropped, 2 logs already imported removed, "
                                   "0 logs left in Logs/")
            self.assertEqual(exists(), [])
            self.assertFalse(os.path.exists(inst.path("webfilter.dbs")))
            # Each log counted once.
            self.assertEqual(self.psql('SELECT u.user_name, count(*), sum(w.size) FROM "Web" w'
                                       ' JOIN "User" u ON w.users = u.id GROUP BY 1 ORDER BY 1',
                                       schema).splitlines(),
                             ["anna|7|%d" % sum(range(1, 500)), "bob|7|%d" % sum(range(1, 500))])
            self.assertEqual(self.psql('SELECT count(*) FROM "FilterActivity"', schema), "300")
            # The IP log lists the database's users.
            with open(os.path.join(logs, "logip2.log"), newline="") as f:
                self.assertIn("anna,10.0.0.7,anna,", f.read())

            # The reports of 5 March read from PostgreSQL.
            report = self.ledgerix(inst, "1", "1", "0", "0")
            self.assertEqual(report.returncode, 0, report.stderr)
            self.assertIn("host1.example", report.stdout)
            self.assertIn("anna", report.stdout)
            report = self.ledgerix(inst, "4", "1")
            self.assertEqual(report.returncode, 0, report.stderr)
            self.assertIn("h/299", report.stdout)

            # Retention: with KeepDays 1 the night of 9 March removes them.
            inst.values["KeepDays"] = 1
            inst.write_registry()
            server = self.start(inst, "2026-03-09 23:59:55")
            self.night(server)
            self.assertEqual(server.stop(), 0)
            self.assertEqual(self.psql('SELECT (SELECT count(*) FROM "Web") + '
                                       '(SELECT count(*) FROM "FilterActivity")', schema), "0")

            # A report while the database is down: exit 1, one line, no report.
            self.cluster.stop()
            try:
                report = self.ledgerix(inst, "4", "1")
            finally:
                self.cluster.start()
            self.assertEqual(report.returncode, 1)
            self.assertEqual(report.stdout, "")
            self.assertEqual(len(report.stderr.splitlines()), 1, report.stderr)
            self.assertIn("ledgerix: cannot open the activity database PostgreSQL", report.stderr)

    def test_migrate_then_two_sites_at_one_midnight(self):
        a = Install({"DBServerPort": e2e_util.free_port(),
                     "ActivityDatabase": self.cluster.connection("site_a")})
        b = Install({"DBServerPort": e2e_util.free_port()})  # SQLite first
        self.addCleanup(a.__exit__)
        self.addCleanup(b.__exit__)
        write_day(b.path("Logs"), "05_03_2026", users=("carl",), lines=10)
        server = self.start(b, "2026-03-05 23:59:55")
        self.assertIn(" 0 logs left", self.night(server))
        self.assertEqual(server.stop(), 0)
        self.assertTrue(os.path.exists(b.path("webfilter.dbs")))

        # Site b moves to PostgreSQL with what it had.
        b.values["ActivityDatabase"] = self.cluster.connection("site_b")
        b.write_registry()
        moved = self.ledgerix(b, "migrate")
        self.assertEqual(moved.returncode, 0, moved.stderr)
        self.assertIn("copied 1 users, 7 Web rows, 10 FilterActivity rows and 2 records",
                      moved.stdout)
        again = self.ledgerix(b, "migrate", b.path("webfilter.dbs"))
        self.assertEqual(again.returncode, 1)
        self.assertIn("already holds activity", again.stderr)

        # Both sites at the same midnight, each into its own schema.
        write_day(a.path("Logs"), "06_03_2026", users=["a%02d" % i for i in range(30)])
        write_day(b.path("Logs"), "06_03_2026", users=["b%02d" % i for i in range(30)] + ["carl"])
        servers = [self.start(inst, "2026-03-06 23:59:57") for inst in (a, b)]
        for server, logs in zip(servers, (31, 32)):  # the daily logs and the filter log
            self.assertRegex(self.night(server), r"^Nightly import of 1 day: %d logs .* "
                                                 r"0 logs left in Logs/$" % logs)
            self.assertEqual(server.stop(), 0)
        count = 'SELECT count(DISTINCT user_name), (SELECT count(*) FROM "Web") FROM "User"'
        self.assertEqual(self.psql(count, "site_a"), "30|210")
        self.assertEqual(self.psql(count, "site_b"), "31|224")  # carl's rows once per day
        self.assertEqual(self.psql('SELECT count(*) FROM "User" WHERE user_name = %s' % "'carl'",
                                   "site_b"), "1")


if __name__ == "__main__":
    unittest.main()
