"""The demo scripts people run from the README: scripts/demo.sh prepares its
install folder and runs the server; scripts/demo_day.sh runs a whole day with
the built programs and must leave mailed reports that hold the sample logs'
sites and filter events; scripts/notify_sink.py saves what Notivo posts;
scripts/sample_logs.py writes a day's logs once."""

import base64
import collections
import datetime
import html
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import unittest
import urllib.error
import urllib.request

import e2e_util

SCRIPTS = os.path.join(e2e_util.SOURCE, "scripts")


def script_env(**extra):
    env = dict(os.environ, QUORVANE_BIN=os.path.abspath(e2e_util.BIN),
               PYTHONDONTWRITEBYTECODE="1")
    env.pop("NOTIFY_SOCKET", None)
    env.update(extra)
    return env


def write_sample_logs(folder, day):
    out = subprocess.run([sys.executable, os.path.join(SCRIPTS, "sample_logs.py"), folder,
                          "--day", day], env=script_env(), capture_output=True, text=True,
                         timeout=60, check=True)
    return out.stdout.splitlines()


def read_sample_logs(folder):
    """The day's logs decoded: {user: {host: requests}} and the filter
    lines' (url, action) pairs."""
    sites = collections.defaultdict(collections.Counter)
    events = []
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name)) as f:
            lines = [base64.b64decode(line).decode() for line in f.read().split()]
        if name.startswith("Filter_"):
            for line in lines:
                fields = line.split("|")
                events.append((fields[-2], fields[-1].split("_")[0]))
        else:
            user = name.split("_")[3]
            for line in lines:
                count, request = line.split("*", 1)
                host = request.split("Request: ", 1)[1].split("/", 1)[0]
                sites[user][host] += int(count)
    return sites, events


def run_demo_sh(folder, port, while_running=lambda: None):
    """Runs scripts/demo.sh on `folder` until its server has started, calls
    `while_running` and ends the server (the script has become Orbeline
    itself). Returns the script's output up to the start and its exit status."""
    proc = subprocess.Popen([os.path.join(SCRIPTS, "demo.sh"), folder],
                            env=script_env(QUORVANE_DEMO_PORT=str(port)),
                            cwd=os.path.dirname(folder), stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT)
    watchdog = threading.Timer(120, proc.kill)  # never hang on a silent server
    watchdog.start()
    try:
        output = ""
        for raw in proc.stdout:
            output += raw.decode("latin-1")
            if "Service started" in output:
                while_running()
                break
        proc.terminate()
        return output, proc.wait(60)
    finally:
        watchdog.cancel()
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        proc.stdout.close()


def mail_titled(mails, title):
    found = [text for text in mails if title in text]
    if len(found) != 1:
        raise AssertionError("%d mails titled %r" % (len(found), title))
    return found[0]


def run_demo_day(root, *args, **env):
    return subprocess.run(["sh", os.path.join(SCRIPTS, "demo_day.sh"), *args],
                          env=script_env(**env), capture_output=True, text=True,
                          timeout=300, cwd=root)


@e2e_util.needs_faketime
class DemoDayTest(unittest.TestCase):
    """One demo day, run once for the tests that look at what it left."""

    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="quorvane-demo-day-")
        cls.day = os.path.join(cls.root, "day")
        cls.result = run_demo_day(cls.root, cls.day, "2027-01-01")

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def run_demo_day(self, *args, **env):
        return run_demo_day(self.root, *args, **env)

    def sample_logs(self):
        """The demo day's logs, made again: they say what the reports hold."""
        expected = os.path.join(self.root, "expected")
        if not os.path.isdir(expected):
            write_sample_logs(expected, "2026-12-31")
        return expected

    def test_a_demo_day_mails_reports_of_the_sample_logs(self):
        day, result = self.day, self.result
        self.assertEqual(result.returncode, 0, (result.stdout, result.stderr))

        # The logs were imported, and the database is where the script says.
        logs = os.path.join(day, "install", "Logs")
        self.assertEqual(os.listdir(logs), ["logip2.log"])
        self.assertIn(os.path.join(day, "install", "webfilter.dbs"), result.stdout)

        # A Friday the 1st: all six reports, each named in the output.
        names = sorted(n for n in os.listdir(os.path.join(day, "mails")) if n.endswith(".html"))
        self.assertEqual(names, ["mail-%d.html" % n for n in range(1, 7)])
        mails = []
        for name in names:
            path = os.path.join(day, "mails", name)
            self.assertIn(path, result.stdout)
            with open(path, encoding="utf-8") as f:
                mails.append(f.read())
        for text in mails:
            self.assertTrue(text.startswith("<!DOCTYPE html>"), text[:100])
            self.assertNotIn("@logip@", text)
            self.assertNotIn("&userid=", text)

        # The same day's logs, made again, say what the reports must hold.
        sites, events = read_sample_logs(self.sample_logs())
        self.assertGreaterEqual(len(sites), 2)
        for title in ("Daily activity report", "Weekly activity report",
                      "Monthly activity report"):
            mail = mail_titled(mails, title)
            for user, hosts in sites.items():
                self.assertIn(user, mail)
                for host, requests in hosts.items():
                    self.assertIn('<td>%s</td><td align="right">%d</td>' % (host, requests),
                                  mail, (title, user))
        for title in ("Daily filter report", "Weekly filter report", "Monthly filter report"):
            mail = mail_titled(mails, title)
            for url, action in events:
                self.assertIn("<td>%s</td><td>%s</td>" % (html.escape(url, quote=False), action),
                              mail, title)
            self.assertNotIn("<b>quiz</b>", mail)

    @unittest.skipUnless(shutil.which("chromium"),
                         "Chromium is not installed (Debian: apt-get install chromium)")
    def test_the_mails_render_in_a_browser(self):
        self.assertEqual(self.result.returncode, 0, (self.result.stdout, self.result.stderr))
        mails = [os.path.join(self.day, "mails", "mail-%d.html" % n) for n in range(1, 7)]
        # demo_day.sh saved a picture beside each mail and named it.
        for mail in mails:
            self.assertIn(mail[:-len("html")] + "png", self.result.stdout)
        # The pages opened in a browser rather than mailed: the index of the
        # kept reports and one user's report.
        index = os.path.join(self.day, "install", "reports", "index.html")
        user_page = os.path.join(self.root, "user.html")
        sites, _ = read_sample_logs(self.sample_logs())
        with open(user_page, "wb") as f:
            done = subprocess.run([os.path.join(e2e_util.BIN, "ledgerix"), "user", sorted(sites)[0],
                                   "2026-12-01", "2026-12-31"], stdout=f, stderr=subprocess.PIPE,
                                  env=script_env(QUORVANE_REGISTRY=os.path.join(self.day,
                                                                                "registry.reg"),
                                                 TZ="UTC"), timeout=60)
        self.assertEqual(done.returncode, 0, done.stderr)
        mails += [index, user_page]
        rendered = subprocess.run([sys.executable, os.path.join(SCRIPTS, "render_mail.py"),
                                   *mails], capture_output=True, text=True, timeout=300)
        self.assertEqual(rendered.returncode, 0, rendered.stderr)
        pages = [json.loads(line) for line in rendered.stdout.splitlines()]
        self.assertEqual([page["mail"] for page in pages], mails)
        for page in pages:
            self.assertEqual(page["errors"], [], page["mail"])
            self.assertLessEqual(page["width"], 700, page["mail"])
            width, height, varied = e2e_util.png_pixels_vary(page["png"])
            self.assertEqual(width, 700, page["png"])
            self.assertGreater(height, 300, page["png"])
            self.assertTrue(varied, page["png"] + " is one colour")

    def test_leaves_folders_it_did_not_make_alone(self):
        day = os.path.join(self.root, "mine")
        os.makedirs(day)
        keep = os.path.join(day, "notes.txt")
        with open(keep, "w") as f:
            f.write("keep me")
        result = self.run_demo_day(day)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("was not made by this script", result.stderr)
        self.assertTrue(os.path.exists(keep))

        missing = self.run_demo_day(os.path.join(self.root, "other"),
                                    QUORVANE_BIN=os.path.join(self.root, "nowhere"))
        self.assertNotEqual(missing.returncode, 0)
        self.assertIn("Orbeline is missing", missing.stderr)

        bad_date = self.run_demo_day(os.path.join(self.root, "third"), "first of May")
        self.assertNotEqual(bad_date.returncode, 0)
        self.assertIn("YYYY-MM-DD", bad_date.stderr)


class NotifySinkTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="quorvane-sink-")
        self.addCleanup(shutil.rmtree, self.folder, ignore_errors=True)
        # A mail left by an earlier run is kept; numbering goes on after it.
        with open(os.path.join(self.folder, "mail-3.html"), "w") as f:
            f.write("earlier")
        self.proc = subprocess.Popen(
            [sys.executable, os.path.join(SCRIPTS, "notify_sink.py"), self.folder, "--port", "0"],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, env=script_env())
        self.addCleanup(self.stop)
        first = self.proc.stdout.readline()
        match = re.match(r"listening on http://127\.0\.0\.1:(\d+)/vantry\.php$", first.strip())
        self.assertTrue(match, first)
        self.url = "http://127.0.0.1:%s" % match.group(1)

    def stop(self):
        self.proc.terminate()
        self.proc.communicate(timeout=30)

    def post(self, path, body):
        request = urllib.request.Request(self.url + path, data=body, method="POST")
        try:
            with urllib.request.urlopen(request, timeout=30) as response:
                return response.status
        except urllib.error.HTTPError as e:
            return e.code

    def test_saves_each_message_and_refuses_other_posts(self):
        message = b"<p>a&amp;b &userid=inside</p>\xc3\xa9"
        self.assertEqual(self.post("/vantry.php", b"name=" + message + b"&userid=boss@x.org"), 200)
        self.assertEqual(self.post("/vantry.php", b"name=&userid=second@x.org"), 200)
        self.assertEqual(self.post("/vantry.php", b"userid=boss@x.org"), 400)
        self.assertEqual(self.post("/other.php", b"name=x&userid=y"), 404)

        with open(os.path.join(self.folder, "mail-4.html"), "rb") as f:
            self.assertEqual(f.read(), message)
        with open(os.path.join(self.folder, "mail-5.html"), "rb") as f:
            self.assertEqual(f.read(), b"")
        with open(os.path.join(self.folder, "mail-3.html")) as f:
            self.assertEqual(f.read(), "earlier")
        self.assertEqual(sorted(os.listdir(self.folder)),
                         ["mail-3.html", "mail-4.html", "mail-5.html"])
        self.proc.terminate()
        out, _ = self.proc.communicate(timeout=30)
        self.assertIn("mail 4 to boss@x.org, %d bytes: %s" % (
            len(message), os.path.join(self.folder, "mail-4.html")), out)
        self.assertIn("mail 5 to second@x.org, 0 bytes", out)
        self.assertEqual(self.proc.returncode, 0)


class DemoScriptTest(unittest.TestCase):
    """scripts/demo.sh: the install folder it prepares and the server it runs."""

    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="quorvane-demo-")
        self.folder = os.path.join(self.root, "demo")
        self.port = e2e_util.free_port()

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def run_demo(self, while_running=lambda: None):
        output, status = run_demo_sh(self.folder, self.port, while_running)
        self.assertIn("Service started", output)
        self.assertEqual(status, 0)
        return output

    def get(self, name):
        env = dict(os.environ, QUORVANE_REGISTRY=os.path.join(self.folder, "registry.reg"))
        result = subprocess.run([e2e_util.program("QuorvaneServerConfig"), "get", name],
                                env=env, capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout.strip()

    def send_test_report(self):
        """The report the demo tells people to send reaches the IP log."""
        self.assertTrue(e2e_util.wait_for_port(self.port, 60))
        with socket.create_connection(("127.0.0.1", self.port), timeout=30) as s:
            s.sendall(b"<user>alice</user><computer>PC-7</computer><ip>192.168.0.7</ip>\n")
        log = os.path.join(self.folder, "Logs", "logip2.log")

        def listed():
            try:
                with open(log, "rb") as f:
                    return b"alice,192.168.0.7,PC-7" in f.read()
            except OSError:
                return False
        self.assertTrue(e2e_util.wait_until(listed, 60), "no contact in " + log)

    def test_prepares_the_folder_and_runs_the_server_again_and_again(self):
        output = self.run_demo(self.send_test_report)
        self.assertIn("Ctrl-C", output)
        self.assertIn("127.0.0.1 %d" % self.port, output)
        self.assertTrue(os.path.isdir(os.path.join(self.folder, "Logs")))
        self.assertEqual(self.get("DBServerPort"), str(self.port))
        self.assertEqual(self.get("apppath"), os.path.realpath(self.folder) + "/")
        self.assertEqual(self.get("EmailAddress"), "demo@example.com")
        self.assertEqual(self.get("NotifyHost"), "127.0.0.1:8080")
        with open(os.path.join(self.folder, "registry.reg"), "rb") as f:
            first = f.read()
        self.assertIn(b"[HKEY_CLASSES_ROOT\\AppID\\", first)
        if os.path.exists(os.path.join(e2e_util.SOURCE, "share", "templates", "En", "email")):
            self.assertTrue(os.path.isfile(os.path.join(self.folder, "templates", "En", "email")))

        self.run_demo()
        with open(os.path.join(self.folder, "registry.reg"), "rb") as f:
            self.assertEqual(f.read(), first)


class SampleLogsTest(unittest.TestCase):
    def test_the_demo_folder_gets_todays_logs_once(self):
        with tempfile.TemporaryDirectory() as root:
            folder = os.path.join(root, "demo")
            days = {datetime.date.today().strftime("%d_%m_%Y")}
            run_demo_sh(folder, e2e_util.free_port())
            days.add(datetime.date.today().strftime("%d_%m_%Y"))
            logs = os.path.join(folder, "Logs")

            def day_logs():
                return sorted(n for n in os.listdir(logs) if n != "logip2.log")
            names = day_logs()
            self.assertIn("Filter_%s.log" % names[0][:10], names)
            self.assertIn(names[0][:10], days)  # the coming midnight imports them
            self.assertGreaterEqual(len(names), 4)
            # Once the day's logs are there a rerun adds none, even when some are gone.
            os.remove(os.path.join(logs, names[0]))
            run_demo_sh(folder, e2e_util.free_port())
            self.assertEqual(day_logs(), names[1:])

    def test_writes_a_day_once_and_the_same_day_alike(self):
        with tempfile.TemporaryDirectory() as root:
            first, second = os.path.join(root, "a"), os.path.join(root, "b")
            written = write_sample_logs(first, "2024-02-29")
            self.assertEqual(sorted(os.path.basename(p) for p in written),
                             sorted(os.listdir(first)))
            self.assertIn("Filter_29_02_2024.log", os.listdir(first))
            self.assertTrue(all(re.match(r"29_02_2024_[a-z]+_[0-9.]+$", name)
                                for name in os.listdir(first) if not name.startswith("Filter")))
            self.assertGreaterEqual(len(written), 3)
            with open(written[0], "rb") as f:
                before = f.read()
            self.assertEqual(write_sample_logs(first, "2024-02-29"), [])
            with open(written[0], "rb") as f:
                self.assertEqual(f.read(), before)

            write_sample_logs(second, "2024-02-29")
            self.assertEqual(read_sample_logs(first), read_sample_logs(second))
            sites, events = read_sample_logs(first)
            self.assertTrue(all(sum(hosts.values()) > 0 for hosts in sites.values()))
            self.assertEqual(len(events), len(set(events)))


if __name__ == "__main__":
    unittest.main()
