"""Seeing that the server works: the Prometheus counters at /metrics (checked
by promtool and scraped by a real Prometheus), the status line systemd is
sent, the priorities of the event log's lines, and Orbeline --check.

The runs use the real Orbeline, ledgerix and Notivo of the build under
libfaketime (a night and a report hour a few seconds after the start), and
Debian's prometheus and promtool, started by the test on free ports of
127.0.0.1. Where those two are missing the tests that need them are skipped
and say why; under CI=true that is a failure."""

import http.client
import json
import os
import pwd
import shutil
import socket
import subprocess
import tempfile
import threading
import time
import unittest
import urllib.parse
import urllib.request

import e2e_util
from test_whole_day import FakeClock, configure, local_time

GOOD_REPORT = b"<user>alice</user><computer>PC-7</computer><ip>127.0.0.1</ip>\n"
NAMELESS_REPORT = b"<note>nothing</note>\n"


def prometheus_missing():
    missing = [name for name in ("prometheus", "promtool") if not shutil.which(name)]
    if not missing:
        return None
    reason = "%s not installed (Debian: apt-get install prometheus)" % " and ".join(missing)
    if os.environ.get("CI") == "true":
        raise AssertionError("the monitoring tests cannot run under CI: " + reason)
    return reason


def scrape(address, path="/metrics", method="GET", timeout=10):
    connection = http.client.HTTPConnection(*address, timeout=timeout)
    try:
        connection.request(method, path)
        response = connection.getresponse()
        return response.status, response.read().decode()
    finally:
        connection.close()


def sample(text, name, labels=""):
    """The value of the series `name{labels}` in a scrape, or None."""
    key = name + ("{%s}" % labels if labels else "")
    for line in text.splitlines():
        if line.startswith(key + " "):
            return float(line.split()[-1])
    return None


class NotifySocket:
    """A unix datagram socket in the role of systemd's NOTIFY_SOCKET: every
    datagram the server sends is kept."""

    def __init__(self, folder):
        self.path = os.path.join(folder, "notify")
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.sock.bind(self.path)
        self.sock.settimeout(0.2)
        self.messages = []
        self._lock = threading.Lock()
        self._done = False
        self._thread = threading.Thread(target=self._read, daemon=True)
        self._thread.start()

    def _read(self):
        while not self._done:
            try:
                data = self.sock.recv(4096)
            except socket.timeout:
                continue
            except OSError:
                return
            with self._lock:
                self.messages.append(data.decode("utf-8", "replace"))

    def statuses(self):
        with self._lock:
            return [m[len("STATUS="):] for m in self.messages if m.startswith("STATUS=")]

    def close(self):
        self._done = True
        self._thread.join(2)
        self.sock.close()


@e2e_util.needs_faketime
class MetricsAndStatusTest(unittest.TestCase):
    """One night and one report hour of a server with MetricsAddress set."""

    def setUp(self):
        reason = prometheus_missing()
        if reason:
            self.skipTest(reason)
        self.endpoint = e2e_util.RecordingHttpServer()
        self.addCleanup(self.endpoint.close)
        self.port = e2e_util.free_port()
        self.metrics = ("127.0.0.1", e2e_util.free_port())
        self.install = e2e_util.Install({"DBServerPort": self.port})
        self.addCleanup(self.install.__exit__)
        configure(self.install, {
            "apppPath": self.install.install, "ReportTime": "0", "RegDaily": 1,
            "EmailAddress": "boss@example.com", "NotifyHost": self.endpoint.url_host,
            "AgentNetworks": "127.0.0.1/32", "MetricsAddress": "%s:%d" % self.metrics})
        self.bin = self.install.private_bin(programs=("Orbeline", "Notivo", "ledgerix"),
                                            fake_ledgerix=False)
        os.makedirs(self.install.path("templates/En"))
        shutil.copy(os.path.join(e2e_util.SOURCE, "share", "templates", "En", "email"),
                    self.install.path("templates/En/email"))
        self.clock = FakeClock(os.path.join(self.install.root, "faketime"))
        self.notify = NotifySocket(self.install.root)
        self.addCleanup(self.notify.close)

    def wait_for_sample(self, name, labels, least, timeout=60):
        found = [None]

        def reached():
            found[0] = sample(scrape(self.metrics)[1], name, labels)
            return found[0] is not None and found[0] >= least
        self.assertTrue(e2e_util.wait_until(reached, timeout, 0.2),
                        "%s{%s} is %s, not %s or more" % (name, labels, found[0], least))

    def start_prometheus(self):
        folder = tempfile.mkdtemp(prefix="quorvane-prometheus-")
        self.addCleanup(shutil.rmtree, folder, True)
        config = os.path.join(folder, "prometheus.yml")
        with open(config, "w") as f:
            f.write("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n"
                    "scrape_configs:\n  - job_name: quorvane\n"
                    "    static_configs:\n      - targets: ['%s:%d']\n" % self.metrics)
        web = e2e_util.free_port()
        proc = subprocess.Popen(
            ["prometheus", "--config.file=" + config, "--storage.tsdb.path=" + folder + "/data",
             "--web.listen-address=127.0.0.1:%d" % web],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        def end():
            proc.terminate()
            try:
                proc.wait(20)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()
        self.addCleanup(end)
        return web

    def query(self, web, expression):
        url = "http://127.0.0.1:%d/api/v1/query?%s" % (
            web, urllib.parse.urlencode({"query": expression}))
        try:
            with urllib.request.urlopen(url, timeout=5) as response:
                return json.load(response)["data"]["result"]
        except OSError:
            return []

    def check_bad_requests(self):
        self.assertEqual(scrape(self.metrics, method="POST")[0], 405)
        self.assertEqual(scrape(self.metrics, method="DELETE")[0], 405)
        self.assertEqual(scrape(self.metrics, path="/")[0], 404)
        self.assertEqual(scrape(self.metrics, path="/metrics/../x")[0], 404)
        # A huge request and a silent one: refused or closed, never served.
        with socket.create_connection(self.metrics, timeout=10) as huge:
            huge.sendall(b"GET /metrics HTTP/1.1\r\nHost: x\r\nX-Big: " + b"a" * 100000 +
                         b"\r\n\r\n")
            answer = huge.recv(4096)
            self.assertFalse(answer.startswith(b"HTTP/1.1 200"), answer[:80])
        silent = socket.create_connection(self.metrics, timeout=15)
        silent.sendall(b"GET /metr")
        # Meanwhile the endpoint answers others, and the agents' port works.
        self.assertEqual(scrape(self.metrics)[0], 200)
        started = time.time()
        try:
            self.assertEqual(silent.recv(4096), b"")
        except ConnectionResetError:
            pass
        silent.close()
        self.assertLess(time.time() - started, 12)

    def test_counters_prometheus_status_line(self):
        e2e_util.write_base64_log(self.install.path("Logs/01_12_2026_alice_127.0.0.1"),
                                  ["3*GET Request: news.example/today"])
        self.clock.set(local_time(2026, 12, 1, 23, 59, 52))
        env = self.install.env(**self.clock.env(), NOTIFY_SOCKET=self.notify.path)
        with e2e_util.Server(self.install, env=env, exe=os.path.join(self.bin, "Orbeline")) as s:
            self.assertTrue(e2e_util.wait_for_port(self.port))
            self.assertTrue(e2e_util.wait_for_port(self.metrics[1]))
            status, text = scrape(self.metrics)
            self.assertEqual(status, 200)
            self.assertEqual(sample(text, "quorvane_build_info", 'version="1.0.0.1"'), 1)
            e2e_util.send_report(self.port, GOOD_REPORT)
            e2e_util.send_report(self.port, NAMELESS_REPORT)
            e2e_util.send_report(self.port, GOOD_REPORT, source="127.0.0.2")  # not an agent network
            self.wait_for_sample("quorvane_reports_queued_total", "", 1)
            self.wait_for_sample("quorvane_reports_dropped_total", 'reason="no_contact"', 1)
            self.wait_for_sample("quorvane_connections_refused_total", 'reason="agent_networks"', 1)
            self.wait_for_sample("quorvane_ip_log_rows", "", 1)
            self.wait_for_sample("quorvane_report_to_ip_log_seconds_count", "", 1)
            self.wait_for_sample("quorvane_tool_runs_total", 'tool="ledgerix",mode="record",outcome="ok"', 1)
            self.assertTrue(e2e_util.wait_until(lambda: any(
                "IP log 1 rows at" in line and "1 reports today" in line
                for line in self.notify.statuses()), 10), self.notify.statuses())

            # Midnight: the night imports the log; hour 0: the daily report goes out.
            self.wait_for_sample("quorvane_night_logs", "", 1)
            self.wait_for_sample("quorvane_night_last_success_timestamp_seconds", "", 1)
            self.wait_for_sample("quorvane_reports_sent_total", 'kind="daily_activity"', 1)
            self.wait_for_sample("quorvane_tool_runs_total", 'tool="notivo",mode="send",outcome="ok"', 1)
            self.assertTrue(e2e_util.wait_until(lambda: any(
                "last night 1 logs at 00:00:" in line and "reports sent 1 at 00:0" in line
                for line in self.notify.statuses()), 10), self.notify.statuses())

            text = scrape(self.metrics)[1]
            checked = subprocess.run(["promtool", "check", "metrics"], input=text.encode(),
                                     capture_output=True, timeout=60)
            self.assertEqual(checked.returncode, 0, checked.stdout + checked.stderr)
            self.assertNotIn("alice", text)
            self.assertNotIn("PC-7", text)

            web = self.start_prometheus()
            found = []
            self.assertTrue(e2e_util.wait_until(
                lambda: found.extend(self.query(web, "quorvane_reports_queued_total")) or found,
                60, 0.5), "Prometheus never answered for the counter")
            self.assertGreaterEqual(float(found[0]["value"][1]), 1)

            self.check_bad_requests()
            e2e_util.send_report(self.port, GOOD_REPORT.replace(b"alice", b"bob"))
            self.wait_for_sample("quorvane_reports_queued_total", "", 2)
            self.assertEqual(s.stop(), 0)


def start_journal_server(install, env, exe):
    """Orbeline with its standard output on a pipe that JOURNAL_STREAM names,
    as systemd does for a service whose output goes to the journal."""
    read_end, write_end = os.pipe()
    st = os.fstat(write_end)
    env = dict(env, JOURNAL_STREAM="%d:%d" % (st.st_dev, st.st_ino))
    proc = subprocess.Popen([exe], stdout=write_end, stderr=subprocess.DEVNULL, env=env,
                            cwd=install.root)
    os.close(write_end)
    return proc, os.fdopen(read_end, "rb")


@e2e_util.needs_faketime
class PriorityTest(unittest.TestCase):
    def test_routine_start_is_info_and_failed_night_is_error(self):
        port = e2e_util.free_port()
        with e2e_util.Install({"DBServerPort": port}) as install:
            # No database answers there: the night fails.
            install.values.update({"apppPath": install.install, "ActivityDatabase":
                                   "host=127.0.0.1 port=%d dbname=none connect_timeout=2"
                                   % e2e_util.free_port()})
            install.write_registry()
            binary = install.private_bin()
            clock = FakeClock(os.path.join(install.root, "faketime"))
            clock.set(local_time(2026, 12, 1, 23, 59, 57))
            e2e_util.write_base64_log(install.path("Logs/01_12_2026_alice_10.0.0.7"),
                                      ["3*GET Request: news.example/"])
            env = install.env(**clock.env())
            proc, out = start_journal_server(install, env, os.path.join(binary, "Orbeline"))
            lines = []
            try:
                deadline = time.time() + 60
                while time.time() < deadline and not any("Nightly import" in l for l in lines):
                    line = out.readline()
                    if not line:
                        break
                    lines.append(line.decode("latin-1").rstrip("\n"))
            finally:
                proc.terminate()
                proc.wait(20)
                out.close()
            self.assertIn("<6>Service started", lines)
            night = [l for l in lines if "Nightly import" in l]
            self.assertTrue(night and night[0].startswith("<3>") and "failed" in night[0], lines)
            # By hand the same lines carry no prefix.
            with e2e_util.Server(install, env=env, exe=os.path.join(binary, "Orbeline")) as s:
                self.assertTrue(s.wait_for_line("Service started"))
                self.assertIn("Service started", s.lines)
                s.stop()


class SelfCheckTest(unittest.TestCase):
    """Orbeline --check on a good install and on each way it can be broken."""

    def setUp(self):
        self.endpoint = e2e_util.RecordingHttpServer()
        self.addCleanup(self.endpoint.close)
        self.port = e2e_util.free_port()
        self.install = e2e_util.Install({"DBServerPort": self.port})
        self.addCleanup(self.install.__exit__)
        configure(self.install, {"EmailAddress": "boss@example.com"})
        # The tool stores the address scrambled; the other values go in as they are.
        with open(self.install.registry) as f:
            stored = [line for line in f if line.startswith('"EmailAddress"=')][0]
        self.install.values.update({"apppPath": self.install.install, "ReportTime": "9",
                                    "RegDaily": 1, "NotifyHost": self.endpoint.url_host,
                                    "EmailAddress": stored.split("=", 1)[1].strip()[1:-1]})
        self.install.write_registry()
        self.bin = self.install.private_bin(programs=("Orbeline", "Notivo", "ledgerix"),
                                            fake_ledgerix=False)
        os.makedirs(self.install.path("templates/En"))
        shutil.copy(os.path.join(e2e_util.SOURCE, "share", "templates", "En", "email"),
                    self.install.path("templates/En/email"))
        # The package's owners and modes.
        try:
            account = pwd.getpwnam("quorvane").pw_uid
        except KeyError:
            account = os.geteuid()
        for folder in (self.install.install, self.install.path("Logs")):
            if os.geteuid() == 0:
                os.chown(folder, account, -1)
        os.chmod(self.install.install, 0o710)
        os.chmod(self.install.path("Logs"), 0o1770)

    def check(self):
        result = subprocess.run([os.path.join(self.bin, "Orbeline"), "--check"],
                                capture_output=True, env=self.install.env(), timeout=60)
        return result.returncode, result.stdout.decode().splitlines()

    def replace_tool(self, name):
        path = os.path.join(self.bin, name)
        os.rename(path, path + ".real")
        with open(path, "w") as f:
            f.write("#!/bin/sh\nexit 3\n")
        os.chmod(path, 0o755)
        return lambda: os.replace(path + ".real", path)

    def set_value(self, name, value):
        before = dict(self.install.values)
        self.install.values[name] = value
        self.install.write_registry()

        def undo():
            self.install.values = before
            self.install.write_registry()
        return undo

    def test_good_install_and_each_broken_case(self):
        self.assertEqual(self.check(), (0, ["OK"]))
        logs = self.install.path("Logs")
        template = self.install.path("templates/En/email")
        database = self.install.path("webfilter.dbs")

        def chmod(path, mode):
            old = os.stat(path).st_mode & 0o7777
            os.chmod(path, mode)
            return lambda: os.chmod(path, old)

        def move(path):
            os.rename(path, path + ".away")
            return lambda: os.rename(path + ".away", path)

        def garbage_database():
            with open(database, "wb") as f:
                f.write(b"not a database" * 100)
            return lambda: os.remove(database)

        def busy_port():
            holder = socket.socket()
            holder.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            holder.bind(("0.0.0.0", self.port))
            holder.listen(1)
            return holder.close

        cases = [
            ("install folder open to others", lambda: chmod(self.install.install, 0o755),
             "install folder"),
            ("Logs/ missing", lambda: move(logs), "log folder"),
            ("Logs/ not writable", lambda: chmod(logs, 0o550), "log folder"),
            ("Logs/ group-writable, not sticky", lambda: chmod(logs, 0o770), "sticky"),
            ("template missing", lambda: move(template), "mail template"),
            ("ledgerix broken", lambda: self.replace_tool("ledgerix"), "ledgerix"),
            ("Notivo broken", lambda: self.replace_tool("Notivo"), "Notivo"),
            ("database unreadable", garbage_database, "activity database"),
            ("PostgreSQL unreachable", lambda: self.set_value(
                "ActivityDatabase", "host=127.0.0.1 port=%d dbname=x connect_timeout=2"
                % e2e_util.free_port()), "activity database"),
            ("ReportTime with a leading zero", lambda: self.set_value("ReportTime", "09"),
             "ReportTime"),
            ("a switch out of range", lambda: self.set_value("RegDaily", 2), "RegDaily"),
            ("report on, no EmailAddress", lambda: self.set_value("EmailAddress", ""),
             "EmailAddress"),
            ("NotifyHost unreachable", lambda: self.set_value(
                "NotifyHost", "127.0.0.1:%d" % e2e_util.free_port()), "NotifyHost"),
            ("port held by another program", busy_port, "in use"),
            ("MetricsAddress unreadable", lambda: self.set_value("MetricsAddress", "9464"),
             "MetricsAddress"),
        ]
        for what, breaks, named in cases:
            with self.subTest(what):
                undo = breaks()
                try:
                    code, lines = self.check()
                finally:
                    undo()
                self.assertEqual(code, 1, lines)
                self.assertTrue(lines and all(line != "OK" for line in lines), lines)
                self.assertTrue(any(named in line for line in lines), lines)
        # The port held by the running server is no problem.
        with e2e_util.Server(self.install, exe=os.path.join(self.bin, "Orbeline")):
            self.assertTrue(e2e_util.wait_for_port(self.port))
            self.assertEqual(self.check(), (0, ["OK"]))


if __name__ == "__main__":
    unittest.main()
