"""The schedules under clock changes, with the built Orbeline, ledgerix and
Notivo under libfaketime: a midnight that daylight saving skips
(America/Santiago, 6 September 2026: 23:59:59 is followed by 01:00) still
imports the day's logs, once, and the morning's reports show them; a
report hour that it skips (Europe/Berlin, ReportTime 2 on 29 March 2026)
still sends that day's reports, once; a clock set back over the report hour
sends nothing twice.

The fake clock is an offset from the real one in a file libfaketime reads
on every call, so the server and the programs it starts share it and the
test moves it."""

import os
import subprocess
import time
import unittest
from datetime import datetime
from zoneinfo import ZoneInfo

import e2e_util


class Clock:
    def __init__(self, path, zone):
        self.path, self.zone = path, zone

    def set(self, *local, earlier=0):
        offset = int(round(datetime(*local, tzinfo=ZoneInfo(self.zone)).timestamp() - earlier -
                           time.time()))
        with open(self.path + ".new", "w") as f:
            f.write("%+d\n" % offset)
        os.replace(self.path + ".new", self.path)

    def env(self):
        return dict(e2e_util.faketime_env(FAKETIME_TIMESTAMP_FILE=self.path, FAKETIME_NO_CACHE=1),
                    TZ=self.zone)


@e2e_util.needs_faketime
class ClockChanges(unittest.TestCase):
    def server(self, zone, report_time, start):
        """Orbeline with the real tools from `start` (local time), sending
        the daily activity and filter reports at `report_time`."""
        self.endpoint = e2e_util.RecordingHttpServer()
        self.addCleanup(self.endpoint.close)
        self.install = e2e_util.Install({"DBServerPort": e2e_util.free_port()})
        self.addCleanup(self.install.__exit__)
        tool = e2e_util.program("QuorvaneServerConfig")
        for name, value in {"apppPath": self.install.install, "ReportTime": report_time,
                            "EmailAddress": "boss@example.com", "RegDaily": 1, "RegDayFilter": 1,
                            "NotifyHost": self.endpoint.url_host}.items():
            subprocess.run([tool, "set", name, str(value)], env=self.install.env(), check=True,
                           capture_output=True, timeout=60)
        os.makedirs(self.install.path("templates/En"))
        with open(self.install.path("templates/En/email"), "wb") as f:
            f.write(b"<html><body>@logip@</body></html>\r\n")
        folder = self.install.private_bin(programs=("Orbeline", "Notivo", "ledgerix"),
                                          fake_ledgerix=False)
        self.clock = Clock(os.path.join(self.install.root, "faketime"), zone)
        # Started ten minutes before `start` and moved on once its workers
        # have looked: a start that a loaded machine makes slow must not
        # fall after the midnight or the hour under test (a start after
        # them rightly takes that day as done).
        self.clock.set(*start, earlier=600)
        server = e2e_util.Server(self.install, env=self.install.env(**self.clock.env()),
                                 exe=os.path.join(folder, "Orbeline"))
        self.addCleanup(server.__exit__)
        self.assertTrue(server.wait_for_line("Service started", timeout=30), server.err_lines)
        time.sleep(2)
        self.clock.set(*start)
        return server

    def test_a_midnight_that_does_not_exist_imports_the_day_once(self):
        server = self.server("America/Santiago", "9", (2026, 9, 5, 23, 59, 52))
        logs = self.install.path("Logs")
        day_logs = [os.path.join(logs, "05_09_2026_alice_10.0.0.7"),
                    os.path.join(logs, "Filter_05_09_2026.log")]
        e2e_util.write_base64_log(day_logs[0], ["1*GET Request: site%d.example/" % (n % 9)
                                                for n in range(719)])
        e2e_util.write_base64_log(day_logs[1], ["9/5/2026|PC-7|alice|x|14:07:%02d|casino.example/"
                                                "%d|blocked_x" % (n, n) for n in range(5)])
        self.assertTrue(e2e_util.wait_until(
            lambda: not any(os.path.exists(p) for p in day_logs), timeout=60, step=0.2),
            server.lines)
        nights = lambda: [line for line in server.lines if line.startswith("Nightly import")]
        self.assertTrue(e2e_util.wait_until(nights, 30), server.lines)
        self.assertRegex(nights()[0], r"^Nightly import of 1 day: 2 logs with 724 lines imported")
        self.clock.set(2026, 9, 6, 8, 59, 56)
        self.assertTrue(self.endpoint.wait_for_requests(2, timeout=120), server.lines)
        time.sleep(4)
        self.assertEqual(server.stop(), 0)
        self.assertEqual(len(nights()), 1, server.lines)
        self.assertEqual(len(self.endpoint.requests), 2)
        activity, events = (request["body"].decode("latin-1") for request in self.endpoint.requests)
        self.assertIn("Saturday 5 September 2026", activity)
        self.assertIn("719 requests in total on 9 sites", activity)
        self.assertIn("casino.example/4", events)

    def test_a_report_hour_that_does_not_exist_sends_once_and_a_clock_set_back_sends_nothing(self):
        server = self.server("Europe/Berlin", "2", (2026, 3, 29, 1, 59, 52))
        self.assertTrue(self.endpoint.wait_for_requests(2, timeout=120), server.lines)
        # 03:00 and a few seconds: set back over the hour (to 01:59:50), so
        # the clock passes the report hour again.
        self.clock.set(2026, 3, 29, 1, 59, 50)
        self.assertFalse(self.endpoint.wait_for_requests(3, timeout=20), server.lines)
        self.assertEqual(server.stop(), 0)
        titles = [request["body"].decode("latin-1") for request in self.endpoint.requests]
        self.assertIn("Daily activity report", titles[0])
        self.assertIn("Daily filter report", titles[1])
        self.assertEqual(sorted(os.listdir(self.install.path("reports"))),
                         ["2026-03-29-daily-activity.html", "2026-03-29-daily-filter.html",
                          "index.html"])


if __name__ == "__main__":
    unittest.main()
