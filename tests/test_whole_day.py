"""A whole day of the product, end to end, with the real programs of the build
folder (Orbeline, ledgerix, Notivo) under libfaketime in a fixed time zone.

The day: in the evening of Thursday 31 December 2026 agents report over TCP
and the IP log lists them; at midnight the day's logs are imported into the
activity database; on Friday 1 January 2027 at the report hour (09) all six
reports go out, each as a mail posted to a local HTTP server that records
the requests. This is the one run of a Friday the 1st: besides the mails'
contents it checks what the scheduler does that day (each tool call's
arguments and folder, in order, through a stand-in that records the call and
hands it to the real ledgerix; nothing before the hour, no second batch) and
that the report values written by QuorvaneServerConfig are the ones the
server uses.

The fake clock is an offset from the real one kept in a file that libfaketime
reads on every call (FAKETIME_TIMESTAMP_FILE, FAKETIME_NO_CACHE): the server
and every program it starts see the same time, and the test moves the day on
from the small hours to the report hour by rewriting the file."""

import base64
import json
import os
import socket
import subprocess
import time
import unittest
from datetime import datetime
from zoneinfo import ZoneInfo

import e2e_util

TZ = "Europe/Berlin"
RECIPIENT = "boss@example.com"
# The report runs of a Friday the 1st, in the order they go out.
REPORTS = [["1", "1", "0", "0"], ["4", "1"], ["1", "2", "2", "0"], ["4", "2"],
           ["1", "7", "2", "0"], ["4", "7"]]
TITLES = ["Daily activity report", "Daily filter report", "Weekly activity report",
          "Weekly filter report", "Monthly activity report", "Monthly filter report"]
SWITCHES = ["RegDaily", "RegDayFilter", "RegWeekly", "RegWeekFilter", "RegMonthly",
            "RegMonFilter"]


def local_time(*parts):
    return datetime(*parts, tzinfo=ZoneInfo(TZ)).timestamp()


class FakeClock:
    """The offset file libfaketime reads: fake time = real time + offset."""

    def __init__(self, path):
        self.path = path

    def set(self, fake_epoch):
        offset = int(round(fake_epoch - time.time()))
        temporary = self.path + ".new"
        with open(temporary, "w") as f:
            f.write("%+d\n" % offset)
        os.replace(temporary, self.path)

    def env(self):
        return dict(e2e_util.faketime_env(FAKETIME_TIMESTAMP_FILE=self.path,
                                          FAKETIME_NO_CACHE=1), TZ=TZ)


def configure(install, values):
    """Writes the values with the configuration tool, as an administrator would."""
    tool = e2e_util.program("QuorvaneServerConfig")
    for name, value in values.items():
        result = subprocess.run([tool, "set", name, str(value)], capture_output=True,
                                env=install.env(), timeout=60)
        if result.returncode != 0:
            raise AssertionError("QuorvaneServerConfig set %s: %r" % (name, result.stderr))


def agent_report(port, user, computer, ip):
    text = "<user>%s</user><computer>%s</computer><ip>%s</ip>\n" % (user, computer, ip)
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(text.encode())


def read_rows(path):
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError:
        return None
    return [line.split(",") for line in data.decode("latin-1").split("\r\n") if line]


@e2e_util.needs_faketime
class WholeDayTest(unittest.TestCase):
    def setUp(self):
        self.endpoint = e2e_util.RecordingHttpServer()
        self.addCleanup(self.endpoint.close)
        self.port = e2e_util.free_port()
        self.install = e2e_util.Install({"DBServerPort": self.port})
        self.addCleanup(self.install.__exit__)
        values = {"apppPath": self.install.install, "ReportTime": "9",
                  "EmailAddress": RECIPIENT, "NotifyHost": self.endpoint.url_host}
        values.update({name: 1 for name in SWITCHES})
        configure(self.install, values)
        # The server starts its tools from its own folder: there the stand-in
        # records each call and hands it to the real ledgerix.
        self.bin = self.install.private_bin(programs=("Orbeline", "Notivo"))
        self.tool_log = os.path.join(self.install.root, "ledgerix.log")
        self.clock = FakeClock(os.path.join(self.install.root, "faketime"))
        template = os.path.join(e2e_util.SOURCE, "share", "templates", "En", "email")
        os.makedirs(self.install.path("templates/En"))
        with open(template, "rb") as src, open(self.install.path("templates/En/email"), "wb") as dst:
            dst.write(src.read())
        with open(self.install.path("dbdata"), "wb") as f:
            f.write(b"stale report from the day before\n")
        # A report kept on an earlier day.
        os.makedirs(self.install.path("reports"))
        with open(self.install.path("reports/2026-12-30-monthly-filter.html"), "w") as f:
            f.write("<p>kept before</p>")

    def write_days_logs(self):
        """Thursday's logs as the product's other programs leave them."""
        logs = self.install.path("Logs")
        e2e_util.write_base64_log(os.path.join(logs, "31_12_2026_alice_10.0.0.7"),
                                  ["30*GET Request: news.example/today",
                                   "12*GET Request: news.example/x",
                                   "9*GET Request: mail.example/inbox",
                                   "1*GET Request: a&b.example/"])
        e2e_util.write_base64_log(os.path.join(logs, "31_12_2026_bob_10.0.0.2"),
                                  ["4*GET Request: shop.example/cart"])
        e2e_util.write_base64_log(os.path.join(logs, "Filter_31_12_2026.log"),
                                  ["12/31/2026|PC-7|alice|x|14:07:33|casino.example/play|blocked_x",
                                   "12/31/2026|PC-2|bob|x|16:20:00|<b>games</b>.example/|warned_x"])
        return [os.path.join(logs, name) for name in
                ("31_12_2026_alice_10.0.0.7", "31_12_2026_bob_10.0.0.2", "Filter_31_12_2026.log")]

    def size_file(self):
        try:
            with open(self.install.path("quorvane.size"), "rb") as f:
                return f.read()
        except OSError:
            return None

    def ip_log(self):
        return read_rows(self.install.path("Logs/logip2.log"))

    def report_runs(self):
        with open(self.tool_log) as f:
            runs = [json.loads(line) for line in f]
        return [run for run in runs if run["argv"][:1] in (["1"], ["4"])]

    def test_a_day_from_agent_reports_to_mailed_reports(self):
        day_logs = self.write_days_logs()
        self.clock.set(local_time(2026, 12, 31, 21, 0, 0))
        env = self.install.env(**self.clock.env(), FAKE_LEDGERIX_LOG=self.tool_log,
                               FAKE_LEDGERIX_REAL=e2e_util.program("ledgerix"))
        with e2e_util.Server(self.install, env=env,
                             exe=os.path.join(self.bin, "Orbeline")) as server:
            def state():
                return {"stdout": server.lines, "stderr": server.err_lines,
                        "logs": os.listdir(self.install.path("Logs")), "ip_log": self.ip_log()}

            self.assertTrue(e2e_util.wait_for_port(self.port, timeout=30), state())

            # Evening: two agents report; the IP log lists both as active.
            agent_report(self.port, "alice", "PC-7", "10.0.0.7")
            agent_report(self.port, "bob", "PC-2", "10.0.0.2")
            expected = [["alice", "10.0.0.7", "PC-7", "1"], ["bob", "10.0.0.2", "PC-2", "1"]]
            self.assertTrue(e2e_util.wait_until(lambda: self.ip_log() == expected, timeout=60),
                            state())
            # The size file holds the same rows with status 0; it is written
            # just after the IP log.
            self.assertTrue(e2e_util.wait_until(
                lambda: self.size_file() == b"alice,10.0.0.7,PC-7,0\r\nbob,10.0.0.2,PC-2,0\r\n",
                timeout=60), (state(), self.size_file()))
            self.assertTrue(all(os.path.exists(p) for p in day_logs))

            # Midnight: the day's logs move into the activity database.
            self.clock.set(local_time(2026, 12, 31, 23, 59, 56))
            self.assertTrue(e2e_util.wait_until(
                lambda: not any(os.path.exists(p) for p in day_logs), timeout=120, step=0.2),
                state())

            # Morning: carol has taken over alice's address.
            self.clock.set(local_time(2027, 1, 1, 8, 30, 0))
            agent_report(self.port, "carol", "PC-9", "10.0.0.7")
            self.assertTrue(e2e_util.wait_until(
                lambda: self.ip_log() == [["alice", "10.0.0.7", "PC-7", "0"],
                                          ["bob", "10.0.0.2", "PC-2", "1"],
                                          ["carol", "10.0.0.7", "PC-9", "1"]], timeout=60),
                state())

            # The report hour: six reports, the first of the month being a
            # Friday; nothing goes out before the hour, and only one batch.
            self.assertEqual(self.endpoint.requests, [])
            self.clock.set(local_time(2027, 1, 1, 8, 59, 55))
            self.assertFalse(self.endpoint.wait_for_requests(1, timeout=3), state())
            self.assertTrue(self.endpoint.wait_for_requests(6, timeout=180),
                            (state(), len(self.endpoint.requests)))
            time.sleep(4)
            self.assertEqual(server.stop(), 0)
            # Beyond starting and the night's line, the server's event log had
            # nothing to say: a night with nothing left behind.
            self.assertEqual(server.lines[0], "Service started")
            self.assertEqual(len(server.lines), 2, server.lines)
            self.assertRegex(server.lines[1], r"^Nightly import of 1 day: 3 logs with \d+ lines "
                                              r"imported, \d+ lines? dropped, 0 logs left in Logs/$")

        runs = self.report_runs()
        self.assertEqual([run["argv"] for run in runs], REPORTS)
        install = os.path.realpath(self.install.install)
        self.assertTrue(all(run["cwd"] == install for run in runs), runs)

        posts = self.endpoint.requests
        self.assertEqual(len(posts), 6)
        mails = []
        for post in posts:
            self.assertEqual(post["request_line"], "POST /vantry.php HTTP/1.1")
            text = post["body"].decode("latin-1")
            self.assertTrue(text.startswith("name=<!DOCTYPE html>"), text[:200])
            self.assertTrue(text.endswith("&userid=" + RECIPIENT), text[-200:])
            self.assertEqual(post["headers"]["content-length"], str(len(post["body"])))
            self.assertIn("Quorvane web filter", text)
            self.assertNotIn("@logip@", text)
            mails.append(text)

        # Each mail holds the report its own tool run wrote, not an older one.
        for title, mail in zip(TITLES, mails):
            self.assertNotIn("stale report", mail)
            self.assertIn(title, mail)
        daily, day_filter, weekly, week_filter, monthly, month_filter = mails

        for mail in (daily, weekly, monthly):
            self.assertIn("<td>news.example</td><td align=\"right\">42</td>", mail)
            self.assertIn("<td>mail.example</td><td align=\"right\">9</td>", mail)
            self.assertIn("<td>a&amp;b.example</td>", mail)
            self.assertIn("<td>shop.example</td><td align=\"right\">4</td>", mail)
            self.assertIn("52 requests in total", mail)
            # The busier user comes first.
            self.assertLess(mail.index("alice"), mail.index("bob"))
        self.assertIn("Thursday 31 December 2026", daily)
        self.assertIn("25 December 2026 to 31 December 2026", weekly)
        self.assertIn("December 2026", monthly)

        for mail in (day_filter, week_filter, month_filter):
            self.assertIn("<td>2026-12-31 14:07:33</td><td>casino.example/play</td>"
                          "<td>blocked</td>", mail)
            self.assertIn("<td>2026-12-31 16:20:00</td>"
                          "<td>&lt;b&gt;games&lt;/b&gt;.example/</td><td>warned</td>", mail)
            self.assertNotIn("<b>games</b>", mail)

        # The last report stays in the install folder as the tool wrote it.
        with open(self.install.path("dbdata"), "rb") as f:
            self.assertIn(b"Monthly filter report", f.read())

        # Each report sent is kept as a page of its own, and the index links
        # them all, newest first, a day's in the order they went out.
        kinds = ["daily-activity", "daily-filter", "weekly-activity", "weekly-filter",
                 "monthly-activity", "monthly-filter"]
        kept = ["2027-01-01-%s.html" % kind for kind in kinds]
        self.assertEqual(sorted(os.listdir(self.install.path("reports"))),
                         sorted(kept + ["2026-12-30-monthly-filter.html", "index.html"]))
        for name, title, mail in zip(kept, TITLES, mails):
            # They name users and sites: the service's account alone reads them.
            self.assertEqual(os.stat(self.install.path("reports/" + name)).st_mode & 0o777, 0o600)
            with open(self.install.path("reports/" + name), encoding="utf-8") as f:
                page = f.read()
            self.assertTrue(page.startswith("<!DOCTYPE html>"), page[:100])
            self.assertIn(title, page)
            self.assertIn(page[page.index("<h2"):page.index("</td>\n</tr>\n</table>")].strip(),
                          mail)
        with open(self.install.path("reports/index.html"), encoding="utf-8") as f:
            index = f.read()
        links = [index.index('href="%s"' % name) for name in kept + [
            "2026-12-30-monthly-filter.html"]]
        self.assertEqual(links, sorted(links))

        # One user's days, from the night the server imported.
        alice = self.ledgerix("user", "alice", "2026-12-30", "2026-12-31")
        self.assertEqual(alice.returncode, 0, alice.stderr)
        page = alice.stdout.decode()
        self.assertIn("Activity of alice", page)
        self.assertIn("30 December 2026 to 31 December 2026", page)
        self.assertLess(page.index("<td>news.example</td><td align=\"right\">42</td>"),
                        page.index("<td>a&amp;b.example</td><td align=\"right\">1</td>"))
        self.assertIn("<td>2026-12-31 14:07:33</td><td>casino.example/play</td>", page)
        self.assertNotIn("shop.example", page)
        self.assertNotIn("games", page)
        self.assertIn("No web requests were recorded",
                      self.ledgerix("user", "bob", "2027-01-01", "2027-01-01").stdout.decode())
        nobody = self.ledgerix("user", "mallory", "2026-12-31", "2026-12-31")
        self.assertEqual((nobody.returncode, nobody.stdout), (1, b""))
        self.assertIn(b"no user named mallory", nobody.stderr)

        # Who had an address, from the agents' reports at their (faked) times:
        # alice and bob at 21:00, carol at alice's address at 08:30.
        def who(*args):
            done = self.ledgerix("who", *args)
            return done.returncode, done.stdout.decode().splitlines(), done.stderr
        # (The fake clock may put a report a second before its minute.)
        found = who("10.0.0.7", "2026-12-31 22:00")
        self.assertEqual(found[0], 0, found)
        self.assertRegex(found[1][0], r"^alice,PC-7,10\.0\.0\.7,2026-12-31 (20:59|21:00):\d\d,"
                                      r"2026-12-31 (20:59|21:00):\d\d$")
        self.assertEqual(len(found[1]), 1, found)
        # At 10:00 both are within their windows, carol's report the later.
        found = who("10.0.0.7")
        self.assertEqual([line[:line.index(",")] for line in found[1]], ["carol", "alice"], found)
        self.assertRegex(found[1][0], r"^carol,PC-9,10\.0\.0\.7,2027-01-01 08:(29|30):\d\d,"
                                      r"2027-01-01 08:(29|30):\d\d$")
        self.assertEqual(who("10.0.0.2", "2027-01-01 20:59")[1][0][:4], "bob,")
        for args in (("10.0.0.7", "2026-12-31 20:58"), ("10.0.0.2", "2027-01-01 21:01"),
                     ("10.0.0.99",)):
            code, lines, err = who(*args)
            self.assertEqual((code, lines), (1, []), args)
            self.assertEqual(len(err.splitlines()), 1, err)

    def test_hostile_logs_hold_up_neither_the_night_nor_the_reports_nor_a_stop(self):
        # A 2 TiB log that costs no disk and names no one can read; names
        # that other readers would split; the server run by hand (umask 022).
        day_logs = self.write_days_logs()
        logs = os.fsencode(self.install.path("Logs"))
        giant = os.path.join(logs, b"31_12_2026_big_10.0.0.9")
        with open(giant, "wb"):
            pass
        os.truncate(giant, 2 << 40)
        for name in (b"31_12_2026_n\xc2\x85_10.0.0.5", b"31_12_2026_s\xe2\x80\xa8_10.0.0.6"):
            e2e_util.write_base64_log(os.path.join(logs, name), ["1*GET Request: forged.example/"])
        self.clock.set(local_time(2026, 12, 31, 23, 59, 56))
        env = self.install.env(**self.clock.env(), FAKE_LEDGERIX_REAL=e2e_util.program("ledgerix"))
        umask = os.umask(0o022)
        try:
            server = e2e_util.Server(self.install, env=env, exe=os.path.join(self.bin, "Orbeline"))
        finally:
            os.umask(umask)
        with server:
            left = lambda: [line for line in server.lines if line.startswith("Left in Logs/")]
            self.assertTrue(e2e_util.wait_until(left, timeout=120, step=0.2), server.lines)
            self.assertRegex(server.lines[1], r"^Nightly import of 1 day: 3 logs with \d+ lines "
                                              r"imported, \d+ lines? dropped, 3 logs left")
            for named in ("31_12_2026_big_10.0.0.9 (larger than 1 GiB (2199023255552 bytes))",
                          r"31_12_2026_n\xc2\x85_10.0.0.5 (user name or address unusable",
                          r"31_12_2026_s\xe2\x80\xa8_10.0.0.6 (user name or address unusable"):
                self.assertIn(named, left()[0])
            self.assertTrue(os.path.exists(giant))
            self.assertFalse(any(os.path.exists(p) for p in day_logs))
            for name in ("webfilter.dbs", "webfilter.dbs-wal", "contacts.dbs"):
                mode = os.stat(self.install.path(name)).st_mode & 0o777
                self.assertEqual(mode, 0o600, name)

            self.clock.set(local_time(2027, 1, 1, 8, 59, 57))
            self.assertTrue(self.endpoint.wait_for_requests(6, timeout=180),
                            (server.lines, len(self.endpoint.requests)))

            # The next night reads a log just under the bounds (1 GiB, a
            # sixteenth of it on disk, in lines to store): a stop ends it.
            huge = os.path.join(logs, b"01_01_2027_huge_10.0.0.8")
            line = base64.b64encode(b"1*GET Request: slow.example/page") + b"\r\n"
            with open(huge, "wb") as f:
                f.write(line * ((65 << 20) // len(line)))
            os.truncate(huge, 1 << 30)
            self.clock.set(local_time(2027, 1, 1, 23, 59, 58))
            fds = "/proc/%d/fd" % server.proc.pid

            def reading():
                for fd in os.listdir(fds):
                    try:
                        if os.readlink(os.path.join(fds, fd)) == os.fsdecode(huge):
                            return True
                    except OSError:
                        pass
                return False
            self.assertTrue(e2e_util.wait_until(reading, timeout=60, step=0.01), server.lines)
            started = time.time()
            self.assertEqual(server.stop(timeout=10), 0)
            self.assertLess(time.time() - started, 10)
            self.assertTrue(any("stopped early" in line for line in server.lines), server.lines)
            self.assertTrue(os.path.exists(huge))

    def ledgerix(self, *args, at="2027-01-01 10:00:00"):
        env = self.install.env(**e2e_util.faketime_env(FAKETIME="@" + at), TZ=TZ)
        return subprocess.run([e2e_util.program("ledgerix"), *args], capture_output=True,
                              env=env, timeout=60)


if __name__ == "__main__":
    unittest.main()
