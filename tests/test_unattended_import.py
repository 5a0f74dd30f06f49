"""The nightly import left to run for months with nobody watching, with the
built Orbeline under a faked clock: nights it missed are caught up, each row
on its own day (across a daylight-saving change); a log found again, put
back or left by a kill -9 between the commit and the deletion, is not
counted twice; forged file names never reach the IP log; every night says
what it did; the IP log comes back at start; the report hour 0 mails the
imported day; and the tools it starts inherit no descriptor."""

import datetime
import json
import os
import socket
import subprocess
import tempfile
import time
import unittest
import zoneinfo

import e2e_util
from e2e_util import Install, RecordingHttpServer, Server

FAKETIME_LIB = e2e_util.FAKETIME_LIB
TZ = "Europe/Paris"
PAUSE_AFTER_COMMIT = "QUORVANE_PAUSE_AFTER_COMMIT_MS_FOR_TESTING"
FORGED = "29_03_2026_evil\r\nroot,6.6.6.6,PC-FORGED,1\r\nx_10.0.0.1"
COMMA = "29_03_2026_a,b_10.0.0.2"


def sql(db, query):
    out = subprocess.run(["sqlite3", "-readonly", "-separator", "|", db, query],
                         env=dict(os.environ, TZ=TZ), capture_output=True, text=True,
                         check=True, timeout=60)
    return [line.split("|") for line in out.stdout.splitlines()]


def web_rows(db):
    """(user, url, size, local date and time) of every Web row, in id order."""
    return sql(db, "SELECT u.user_name, w.url, w.size, datetime(w.time, 'unixepoch', 'localtime')"
                   ' FROM Web w JOIN "User" u ON w.users = u.id ORDER BY w.id')


def read(path):
    with open(path, "rb") as f:
        return f.read()


def night_lines(server):
    return [line for line in server.lines if line.startswith("Nightly import")]


@unittest.skipUnless(os.path.exists(FAKETIME_LIB), "libfaketime is not installed")
class UnattendedImportTest(unittest.TestCase):
    def start(self, inst, when, exe=None, **extra):
        """Orbeline with its clock, and that of every program it starts,
        running from `when` (local time, "YYYY-MM-DD HH:MM:SS")."""
        target = datetime.datetime.fromisoformat(when).replace(tzinfo=zoneinfo.ZoneInfo(TZ))
        clock = os.path.join(inst.root, "faketime")
        self.offset = int(target.timestamp() - time.time())  # faked minus real seconds
        with open(clock, "w") as f:
            f.write("%+d\n" % self.offset)
        env = inst.env(**e2e_util.faketime_env(FAKETIME_TIMESTAMP_FILE=clock,
                                               FAKETIME_NO_CACHE=1), TZ=TZ, **extra)
        exe = exe or os.path.join(inst.private_bin(), "Orbeline")
        server = Server(inst, env=env, exe=exe)
        self.addCleanup(server.__exit__)
        self.assertTrue(server.wait_for_line("Service started", timeout=30),
                        (server.lines, server.err_lines))
        return server

    def wait_for_night(self, server, timeout=120):
        """The night's line, and the one naming the logs left when it says
        some were."""
        def lines():
            found = [line for line in server.lines if line.startswith(("Nightly import", "Left in"))]
            complete = found and (" 0 logs left in Logs/" in found[0] or len(found) > 1)
            return found if complete else None
        self.assertTrue(e2e_util.wait_until(lines, timeout=timeout, step=0.2),
                        (server.lines, server.err_lines))
        return lines()

    def test_missed_nights_logs_put_back_and_forged_names(self):
        with Install({"DBServerPort": e2e_util.free_port()}) as inst:
            logs = inst.path("Logs")
            log = lambda name: os.path.join(logs, name)
            # The server was down at the midnights of 28 and 29 March 2026;
            # the 29th is the day the clocks went forward (23 hours).
            for day in ("27", "28", "29"):
                e2e_util.write_base64_log(log(day + "_03_2026_anna_10.0.0.7"),
                                          ["5*GET Request: day%s.example/a" % day,
                                           "2*GET Request: day%s.example/b" % day,
                                           "no request in this line"])
            with open(log("29_03_2026_bob_10.0.0.8_report.txt"), "w", newline="") as f:
                f.write("host9 4\r\nhost9 11\r\n")
            e2e_util.write_base64_log(log("Filter_28_03_2026.log"),
                                      ["3/28/2026|PC|anna|x|14:07:33|h/page|blocked_z",
                                       "3/28/2026|PC|nobody|x|14:07:34|h/page|blocked_z"])
            for name in (FORGED, COMMA):
                e2e_util.write_base64_log(log(name), ["1*GET Request: forged.example/"])
            e2e_util.write_base64_log(log("30_03_2026_anna_10.0.0.7"),
                                      ["1*GET Request: today.example/"])

            # The night refreshes the IP log from the real tool's list.
            server = self.start(inst, "2026-03-29 23:59:55",
                                FAKE_LEDGERIX_REAL=e2e_util.program("ledgerix"))
            lines = self.wait_for_night(server)
            self.assertEqual(server.stop(), 0)
            self.assertRegex(lines[0], r"^Nightly import of 3 days: 5 logs with 9 lines imported, "
                                       r"4 lines dropped, 2 logs left in Logs/$")
            self.assertIn("29_03_2026_a,b_10.0.0.2 (user name or address", lines[1])
            self.assertIn("29_03_2026_evil??root,6.6.6.6,PC-FORGED,1??x_10.", lines[1])
            self.assertFalse([l for l in server.lines if l.startswith("root,")], server.lines)

            db = inst.path("webfilter.dbs")
            # Each on its own day, the one after the clock change included.
            days = [(row[0], row[1], row[3][:16]) for row in web_rows(db)]
            self.assertEqual(days, [("anna", "day27.example", "2026-03-27 00:00"),
                                    ("anna", "day28.example", "2026-03-28 00:00"),
                                    ("anna", "day29.example", "2026-03-29 00:00"),
                                    ("bob", "host9", "2026-03-29 00:00")])
            self.assertEqual(sql(db, "SELECT url, datetime(time, 'unixepoch', 'localtime')"
                                     " FROM FilterActivity"),
                             [["h/page", "2026-03-28 14:07:33"]])
            # No agent has reported: the database's users, none active.
            self.assertEqual(read(log("logip2.log")),
                             b"anna,10.0.0.7,anna,0\r\nbob,10.0.0.8_report.txt,bob,0\r\n")
            self.assertTrue(os.path.exists(log(FORGED)) and os.path.exists(log(COMMA)))
            self.assertTrue(os.path.exists(log("30_03_2026_anna_10.0.0.7")))
            self.assertEqual(sql(db, "SELECT count(*) FROM \"User\" WHERE user_name LIKE '%evil%'"
                                     " OR user_name LIKE '%,%'"), [["0"]])

            # Next start: the IP log is gone and a killed rewrite left its
            # temporary files; a log comes back as it was, and another one of
            # an imported name comes with new content.
            os.remove(log("logip2.log"))
            leftovers = [log("logip2.log.tmpAb12Cd"), inst.path("quorvane.size.tmpXy34Zw")]
            for path in leftovers:
                with open(path, "w") as f:
                    f.write("half written")
            e2e_util.write_base64_log(log("29_03_2026_anna_10.0.0.7"),
                                      ["5*GET Request: day29.example/a",
                                       "2*GET Request: day29.example/b",
                                       "no request in this line"])
            e2e_util.write_base64_log(log("28_03_2026_anna_10.0.0.7"),
                                      ["3*GET Request: late.example/"])
            server = self.start(inst, "2026-03-30 23:59:50",
                                FAKE_LEDGERIX_REAL=e2e_util.program("ledgerix"))
            # Back at start, before midnight.
            self.assertTrue(e2e_util.wait_until(lambda: os.path.exists(log("logip2.log")), 10))
            self.assertEqual(read(log("logip2.log")),
                             b"anna,10.0.0.7,anna,0\r\nbob,10.0.0.8_report.txt,bob,0\r\n")
            self.assertFalse([p for p in leftovers if os.path.exists(p)])
            lines = self.wait_for_night(server)
            self.assertEqual(server.stop(), 0)
            self.assertRegex(lines[0], r"^Nightly import of 3 days: 2 logs with 2 lines imported,"
                                       r" 0 lines dropped, 1 log already imported removed, "
                                       r"2 logs left in Logs/$")
            days = [(row[0], row[1], row[3][:16]) for row in web_rows(db)]
            self.assertEqual(days[4:], [("anna", "late.example", "2026-03-28 00:00"),
                                        ("anna", "today.example", "2026-03-30 00:00")])
            self.assertEqual(len(days), 6)
            self.assertFalse(os.path.exists(log("29_03_2026_anna_10.0.0.7")))

    def test_failed_night_then_a_kill_between_commit_and_deletion(self):
        with Install({"DBServerPort": e2e_util.free_port()}) as inst:
            logs = inst.path("Logs")
            names = ["05_03_2026_anna_10.0.0.7", "05_03_2026_bob_10.0.0.8",
                     "Filter_05_03_2026.log"]
            for name in names[:2]:
                e2e_util.write_base64_log(
                    os.path.join(logs, name),
                    ["%d*GET Request: host%d.example/" % (n, n % 7) for n in range(1, 500)])
            e2e_util.write_base64_log(os.path.join(logs, names[2]),
                                      ["3/5/2026|PC|anna|x|10:00:%02d|h/%d|blocked_" % (n % 60, n)
                                       for n in range(300)])
            db = inst.path("webfilter.dbs")
            with open(db, "w") as f:
                f.write("this is not a database, and it is long enough to be read as one " * 20)

            server = self.start(inst, "2026-03-05 23:59:55")
            lines = self.wait_for_night(server)
            self.assertEqual(server.stop(), 0)
            self.assertRegex(lines[0], r"^Nightly import of 1 day failed: 0 logs with 0 lines "
                                       r"imported, 0 lines dropped, 3 logs left in Logs/ \(.+\)$")
            self.assertIn("(the activity database could not be opened)", lines[1])
            self.assertTrue(all(os.path.exists(os.path.join(logs, n)) for n in names))

            # The database mended; this night is killed right after its first
            # commit, before the logs of that commit are deleted.
            os.remove(db)
            server = self.start(inst, "2026-03-06 23:59:55", **{PAUSE_AFTER_COMMIT: 60000})
            def committed():
                try:
                    return sql(db, "SELECT count(*) FROM ImportedLog") != [["0"]]
                except subprocess.CalledProcessError:
                    return False  # not created yet
            self.assertTrue(e2e_util.wait_until(committed, timeout=90, step=0.2), server.lines)
            server.stop(sig=9)
            self.assertTrue(all(os.path.exists(os.path.join(logs, n)) for n in names))
            self.assertEqual(sql(db, "SELECT count(*) FROM ImportedLog"), [["2"]])

            server = self.start(inst, "2026-03-07 23:59:55")
            lines = self.wait_for_night(server)
            self.assertEqual(server.stop(), 0)
            self.assertRegex(lines[0], r"^Nightly import of 1 day: 1 log with 300 lines imported, "
                                       r"0 lines dropped, 2 logs already imported removed, "
                                       r"0 logs left in Logs/$")
            self.assertFalse([n for n in names if os.path.exists(os.path.join(logs, n))])
            # Each log counted once: 7 hosts for each user, 300 events.
            self.assertEqual(sql(db, 'SELECT u.user_name, count(*), sum(w.size) FROM Web w'
                                     ' JOIN "User" u ON w.users = u.id GROUP BY u.user_name'),
                             [["anna", "7", str(sum(range(1, 500)))],
                              ["bob", "7", str(sum(range(1, 500)))]])
            self.assertEqual(sql(db, "SELECT count(*) FROM FilterActivity"), [["300"]])

    def mount_small_disk(self, size):
        """A tmpfs of `size` of its own, unmounted at the end; skipped, saying
        why, where it cannot be mounted (not root, no mount rights), except
        under CI=true as root, where it must work."""
        folder = tempfile.mkdtemp(prefix="quorvane-disk-")
        self.addCleanup(os.rmdir, folder)
        done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s,mode=0755" % size, "tmpfs",
                               folder], capture_output=True, text=True, timeout=60) \
            if os.geteuid() == 0 else None
        if done is None or done.returncode != 0:
            why = "a tmpfs cannot be mounted here: %s" % (
                done.stderr.strip() if done else "not running as root")
            if os.environ.get("CI") == "true" and os.geteuid() == 0:
                self.fail(why)
            self.skipTest(why)
        self.addCleanup(subprocess.run, ["umount", "-l", folder], timeout=60)
        return folder

    def test_a_full_disk_at_midnight_loses_no_filter_event(self):
        disk = self.mount_small_disk("48m")
        with Install(apppath=False) as inst:
            install = os.path.join(disk, "install") + "/"
            os.makedirs(install + "Logs")
            inst.values.update({"DBServerPort": e2e_util.free_port(), "apppath": install})
            inst.write_registry()
            logs = install + "Logs/"
            db = install + "webfilter.dbs"
            # A first night makes the database.
            e2e_util.write_base64_log(logs + "04_03_2026_seed_10.0.9.9", ["1*GET Request: a/"])
            server = self.start(inst, "2026-03-04 23:59:55")
            self.assertIn(" 0 logs left in Logs/", self.wait_for_night(server)[0])
            self.assertEqual(server.stop(), 0)

            users = ["u%03d" % i for i in range(200)]
            for i, user in enumerate(users):
                e2e_util.write_base64_log(logs + "05_03_2026_%s_10.0.%d.%d" % (user, i // 250, i % 250),
                                          ["%d*GET Request: %s-site%d.example/" % (n, user, n)
                                           for n in range(1, 400)])
            e2e_util.write_base64_log(logs + "Filter_05_03_2026.log",
                                      ["3/5/2026|PC|%s|x|10:%02d:00|h/%d|blocked_" %
                                       (users[n % 200], n % 60, n) for n in range(1000)])
            # The disk full but for a little room: enough to open the
            # database, not for the night's rows.
            with open(os.path.join(disk, "filler"), "wb") as f:
                try:
                    while True:
                        f.write(b"\0" * 65536)
                        f.flush()
                except OSError:
                    pass
            os.truncate(os.path.join(disk, "filler"), os.path.getsize(os.path.join(disk, "filler"))
                        - 512 * 1024)
            server = self.start(inst, "2026-03-05 23:59:55")
            lines = self.wait_for_night(server, timeout=300)
            self.assertEqual(server.stop(), 0)
            self.assertIn("201 logs left in Logs/", lines[0])
            self.assertIn("full", lines[1])
            self.assertTrue(os.path.exists(logs + "Filter_05_03_2026.log"), lines)
            self.assertEqual(sql(db, "SELECT count(*) FROM FilterActivity"), [["0"]])

            # Space is back: the next night stores every line, once.
            os.remove(os.path.join(disk, "filler"))
            server = self.start(inst, "2026-03-06 23:59:55")
            lines = self.wait_for_night(server, timeout=300)
            self.assertEqual(server.stop(), 0)
            self.assertRegex(lines[0], r"^Nightly import of 1 day: 201 logs with 80800 lines "
                                       r"imported, 0 lines dropped, 0 logs left in Logs/$")
            self.assertEqual(sql(db, "SELECT count(*) FROM FilterActivity"), [["1000"]])
            self.assertEqual(sql(db, "SELECT count(*), sum(size) FROM Web"),
                             [[str(200 * 399 + 1), str(200 * sum(range(1, 400)) + 1)]])
            self.assertEqual(sorted(os.listdir(logs)), ["logip2.log"])

    def test_tools_started_during_the_import_inherit_only_the_standard_descriptors(self):
        port = e2e_util.free_port()
        with Install({"DBServerPort": port}) as inst:
            logs = inst.path("Logs")
            for i in range(400):
                e2e_util.write_base64_log(os.path.join(logs, "05_03_2026_u%03d_10.0.1.1" % i),
                                          ["1*GET Request: h%d.example/" % n for n in range(50)])
            e2e_util.write_base64_log(os.path.join(logs, "Filter_05_03_2026.log"),
                                      ["3/5/2026|PC|u001|x|10:00:00|h/%d|blocked_" % n
                                       for n in range(200000)])
            tool_log = inst.path("tool.log")
            server = self.start(inst, "2026-03-05 23:59:58", FAKE_LEDGERIX_LOG=tool_log)
            midnight = datetime.datetime(2026, 3, 6, tzinfo=zoneinfo.ZoneInfo(TZ)).timestamp()
            midnight -= self.offset  # on the real clock
            self.assertTrue(e2e_util.wait_for_port(port), server.lines)
            def runs():
                if not os.path.exists(tool_log):
                    return []
                with open(tool_log) as f:
                    return [json.loads(line) for line in f]

            during = 0
            while not night_lines(server):
                importing = time.time() > midnight + 4  # the first poll of the night has come
                before = len(runs())
                with socket.create_connection(("127.0.0.1", port), timeout=5) as s:
                    s.sendall(b"<user>u1</user><computer>PC</computer><ip>10.0.1.1</ip>\n")
                ran = e2e_util.wait_until(lambda: len(runs()) >= before + 2, 20)
                self.assertTrue(ran, server.lines)
                during += importing and not night_lines(server)
            self.assertEqual(server.stop(), 0)
            self.assertGreater(during, 0)
            leaks = [run["fds"] for run in runs() if [fd for fd, _ in run["fds"]] != [0, 1, 2]]
            self.assertEqual(leaks, [])

    def test_report_hour_zero_mails_the_day_just_imported(self):
        with RecordingHttpServer() as endpoint, Install(apppath=False) as inst:
            values = {"DBServerPort": e2e_util.free_port(), "apppath": inst.install,
                      "apppPath": inst.install, "ReportTime": "0", "RegDaily": 1,
                      "EmailAddress": "boss@example.com", "NotifyHost": endpoint.url_host}
            tool = e2e_util.program("QuorvaneServerConfig")
            for name, value in values.items():
                subprocess.run([tool, "set", name, str(value)], env=inst.env(), check=True,
                               capture_output=True, timeout=60)
            os.makedirs(inst.path("templates/En"))
            with open(inst.path("templates/En/email"), "wb") as f:
                f.write(b"<html><body>@logip@</body></html>\r\n")
            logs = inst.path("Logs")
            # A long import: many users, and the one that sorts last busiest.
            for i in range(60):
                e2e_util.write_base64_log(os.path.join(logs, "05_03_2026_u%02d_10.0.1.%d" % (i, i)),
                                          ["1*GET Request: u%d.example/" % i])
            e2e_util.write_base64_log(os.path.join(logs, "05_03_2026_zed_10.0.2.1"),
                                      ["900*GET Request: zed-only.example/"])
            e2e_util.write_base64_log(os.path.join(logs, "Filter_05_03_2026.log"),
                                      ["3/5/2026|PC|zed|x|10:00:00|h/%d|blocked_" % n
                                       for n in range(200000)])
            bin_dir = inst.private_bin(programs=("Orbeline", "Notivo", "ledgerix"),
                                       fake_ledgerix=False)
            server = self.start(inst, "2026-03-05 23:59:57", exe=os.path.join(bin_dir, "Orbeline"))
            self.assertTrue(endpoint.wait_for_requests(1, timeout=180),
                            (server.lines, server.err_lines))
            self.assertTrue(night_lines(server), "the report went out before the import ended")
            time.sleep(1)
            self.assertEqual(server.stop(), 0)
            self.assertEqual(len(endpoint.requests), 1)
            body = endpoint.requests[0]["body"]
            self.assertIn(b"zed-only.example", body)


if __name__ == "__main__":
    unittest.main()
