"""The server stopping while a program it started hangs, and a report hour
in which programs fail. A stop (SIGTERM) ends the server within 10 seconds
whatever it waits for: the running program is asked to end and killed when
it does not, no new one starts, no child is left. A report whose tool
fails is not mailed; every report not sent gets one event-log line."""

import json
import os
import socket
import subprocess
import time
import unittest

import e2e_util
from e2e_util import (Install, RecordingHttpServer, Server, children_of, free_port, is_running,
                      wait_for_port, wait_until)

STOP_DEADLINE = 10  # seconds; systemd itself gives up after 90


def report_hour_now():
    """The current hour in UTC as ReportTime names it. The last half minute
    of an hour is waited out, so that a batch started now runs in it."""
    now = time.gmtime()
    if now.tm_min == 59 and now.tm_sec >= 30:
        time.sleep(61 - now.tm_sec)
    return str(time.gmtime().tm_hour)


class StopAndFailureTest(unittest.TestCase):
    def start(self, values=None, programs=("Orbeline",), email=None, **env):
        """Orbeline (with the stand-in tool beside it) on a free port."""
        self.port = free_port()
        self.inst = Install(dict({"DBServerPort": self.port}, **(values or {})))
        self.addCleanup(self.inst.__exit__)
        if email:
            # Stored scrambled: only the configuration tool writes it.
            subprocess.run([e2e_util.program("QuorvaneServerConfig"), "set", "EmailAddress",
                            email], env=self.inst.env(), check=True, timeout=60)
            os.makedirs(self.inst.path("templates/En"))
            with open(self.inst.path("templates/En/email"), "wb") as f:
                f.write(b"@logip@")
        self.calls_file = os.path.join(self.inst.root, "calls.jsonl")
        folder = self.inst.private_bin(programs=programs)
        self.server = Server(self.inst, exe=os.path.join(folder, "Orbeline"),
                             env=self.inst.env(TZ="UTC0", FAKE_LEDGERIX_LOG=self.calls_file,
                                               **env))
        self.addCleanup(self.server.__exit__)
        return self.server

    def start_report_hour(self, endpoint, **env):
        """The server in its report hour with the two daily reports on."""
        values = {"ReportTime": report_hour_now(), "RegDaily": 1, "RegDayFilter": 1,
                  "NotifyHost": endpoint.url_host}
        return self.start(values, programs=("Orbeline", "Notivo"), email="boss@example.com",
                          **env)

    def calls(self):
        if not os.path.exists(self.calls_file):
            return []
        with open(self.calls_file) as f:
            return [json.loads(line) for line in f if line.endswith("\n")]

    def stop_in_time(self):
        """Stops the server; checks the deadline, the exit code and that no
        program it started is left running."""
        children = children_of(self.server.proc.pid)
        started = time.time()
        code = self.server.stop(timeout=60)
        elapsed = time.time() - started
        self.assertLess(elapsed, STOP_DEADLINE)
        self.assertEqual(code, 0, self.server.err_lines)
        self.assertFalse([pid for pid in children if is_running(pid)], children)
        return children

    def test_stop_while_the_tool_hangs_and_ignores_sigterm(self):
        self.start(FAKE_LEDGERIX_HANG="6", FAKE_LEDGERIX_IGNORE_TERM=1)
        self.assertTrue(wait_for_port(self.port))
        with socket.create_connection(("127.0.0.1", self.port)) as agent:
            agent.sendall(b"<user>alice</user><computer>PC-7</computer><ip>192.168.0.7</ip>\n")
        self.assertTrue(wait_until(lambda: self.calls(), 30))
        tool = self.calls()[0]["pid"]
        self.assertIn(tool, children_of(self.server.proc.pid))
        self.stop_in_time()
        self.assertFalse(is_running(tool))
        # The refresh that would follow the hung call never starts.
        self.assertEqual([call["argv"][0] for call in self.calls()], ["6"])

    def test_stop_while_notivo_waits_for_a_silent_endpoint(self):
        with RecordingHttpServer(silent=True) as endpoint:
            self.start_report_hour(endpoint)
            self.assertTrue(wait_until(
                lambda: "Notivo" in children_of(self.server.proc.pid).values(), 60),
                self.server.lines)
            children = self.stop_in_time()
        self.assertIn("Notivo", children.values())
        # The daily filter report, due after the stopped one, never starts.
        self.assertEqual([call["argv"] for call in self.calls()], [["1", "1", "0", "0"]])

    def test_failed_programs_send_nothing_and_say_so(self):
        # The filter report's tool fails; the activity report reaches an
        # endpoint that refuses it.
        with RecordingHttpServer(status=500) as endpoint:
            server = self.start_report_hour(endpoint, FAKE_LEDGERIX_FAIL="4")
            self.assertTrue(server.wait_for_line("daily filter report was not sent", 60),
                            server.lines)
            time.sleep(1)  # a Notivo run for the failed report would have posted by now
            self.assertEqual(len(endpoint.requests), 1)
            self.assertIn(b"report 1 1 0 0", endpoint.requests[0]["body"])
            self.assertEqual(server.stop(), 0)
        not_sent = [line for line in server.lines if "report was not sent" in line]
        self.assertEqual(len(not_sent), 2, server.lines)
        self.assertIn("daily activity report was not sent: Notivo ended with exit code 5 "
                      "(HTTP status 500)", not_sent[0])
        self.assertIn("daily filter report was not sent: ledgerix ended with exit code 1",
                      not_sent[1])


if __name__ == "__main__":
    unittest.main()
