"""The reports an administrator asks for by hand, run by the built ledgerix
on both stores (a SQLite file, and the same rows moved into a throw-away
PostgreSQL server with `ledgerix migrate`): a report of any days equal to
the scheduled monthly one, its CSV read back by Python's csv module, names
withheld with ReportPseudonyms, and the monthly page with its charts as
headless Chromium shows it in a mail pane 700 pixels wide."""

import csv
import datetime
import html
import io
import json
import os
import random
import re
import sqlite3
import stat
import shutil
import subprocess
import sys
import unittest
import zoneinfo

import e2e_util
from pg_cluster import PgCluster, missing_reason, skip_or_fail

TZ = "Europe/Berlin"
MORNING = "2026-12-01 09:00:00"  # the monthly reports of November are due
# Names and computers that a spreadsheet or a careless writer would trip on.
USERS = [("alice", "10.0.0.7", "PC-7"), ("bob, the builder", "10.0.0.8", "PC,8"),
         ('quo"te', "10.0.0.9", "PC-9"), ("line\nbreak", "10.0.0.10", "PC-10"),
         ("=HYPERLINK(x)", "10.0.0.11", "@PC-11")]
# The staff of the page whose picture the README shows.
STAFF = [("anna.berg", "10.0.0.21", "PC-ANNA"), ("jonas.keller", "10.0.0.22", "PC-JONAS"),
         ("mira.hoffmann", "10.0.0.23", "LAPTOP-MIRA"), ("paul.weber", "10.0.0.24", "PC-PAUL"),
         ("sofia.lang", "10.0.0.25", "PC-SOFIA"), ("reception", "10.0.0.30", "DESK-1")]
ACTIONS = ("blocked_", "allowed", "Block-adult")
RENDER_MAIL = os.path.join(e2e_util.SOURCE, "scripts", "render_mail.py")


def chromium_missing():
    """Why the page cannot be rendered here, or None; under CI=true a
    missing Chromium is a failure."""
    if any(shutil.which(name) for name in ("chromium", "chromium-browser", "google-chrome")):
        return None
    reason = "Chromium is not installed (Debian: apt-get install chromium)"
    if os.environ.get("CI") == "true":
        raise AssertionError("the rendered report cannot be checked under CI: " + reason)
    return reason


def local(day, hour=10, minute=0):
    return int(datetime.datetime(2026, *day, hour, minute,
                                 tzinfo=zoneinfo.ZoneInfo(TZ)).timestamp())


def make_database(path, seed=29, users=USERS):
    """A month and a little more of `users`' activity; returns what November
    holds: requests per (user, site), the filter events per user and the
    requests per day."""
    rng = random.Random(seed)
    db = sqlite3.connect(path)
    db.executescript(
        "CREATE TABLE Computer(id INTEGER PRIMARY KEY, computer_name TEXT, status INTEGER);"
        "CREATE TABLE Ip(id INTEGER PRIMARY KEY, ip TEXT);"
        'CREATE TABLE "User"(id INTEGER PRIMARY KEY, user_name TEXT, active INTEGER,'
        " ips INTEGER REFERENCES Ip(id), computers INTEGER REFERENCES Computer(id));"
        "CREATE TABLE Web(id INTEGER PRIMARY KEY, url TEXT, size INTEGER, time INTEGER,"
        ' users INTEGER REFERENCES "User"(id));'
        "CREATE TABLE FilterActivity(id INTEGER PRIMARY KEY, url TEXT, time INTEGER,"
        ' action TEXT, users INTEGER REFERENCES "User"(id));'
        "CREATE TABLE ImportedLog(id INTEGER PRIMARY KEY, name TEXT, size INTEGER,"
        " hash TEXT, time INTEGER);"
        "CREATE INDEX Web_users_time ON Web(users, time);"
        "CREATE INDEX FilterActivity_users_time ON FilterActivity(users, time);"
        "PRAGMA user_version=3;")
    web, events, per_day = {}, {}, [0] * 30
    days = [(10, 31)] + [(11, d) for d in range(1, 31)] + [(12, 1)]
    for uid, (name, ip, computer) in enumerate(users, 1):
        db.execute("INSERT INTO Computer VALUES (?, ?, 1)", (uid, computer))
        db.execute("INSERT INTO Ip VALUES (?, ?)", (uid, ip))
        db.execute('INSERT INTO "User" VALUES (?, ?, 1, ?, ?)', (uid, name, uid, uid))
        for day in days:
            november = day[0] == 11
            for _ in range(rng.randint(0, 6)):
                site = "site%d.example" % rng.randint(1, 12)
                size = rng.randint(1, 50)
                when = local(day, rng.randint(0, 23), rng.randint(0, 59))
                db.execute("INSERT INTO Web(url, size, time, users) VALUES (?, ?, ?, ?)",
                           (site, size, when, uid))
                if november:
                    web[(name, site)] = web.get((name, site), 0) + size
                    per_day[day[1] - 1] += size
            for _ in range(rng.randint(0, 3)):
                url = "blocked%d.example/p,a\"th" % rng.randint(1, 5)
                action = rng.choice(ACTIONS)
                when = local(day, rng.randint(0, 23), rng.randint(0, 59))
                db.execute("INSERT INTO FilterActivity(url, time, action, users)"
                           " VALUES (?, ?, ?, ?)", (url, when, action, uid))
                if november:
                    events.setdefault(name, []).append((when, url, action))
    db.commit()
    db.close()
    return web, events, per_day


def chart(page, heading):
    """The figures of the chart under `heading`, column by column."""
    table = page.split(heading, 1)[1].split("</table>\n", 1)[0]
    return [int(n.replace(",", "")) for n in re.findall(r'title="[^"]*: ([\d,]+)"', table)]


def figure(page, label):
    return int(re.search(r"<td>%s</td><td[^>]*>([\d,]+)</td>" % label,
                         page).group(1).replace(",", ""))


def as_text(field):
    """A field as the CSV keeps a spreadsheet from running it."""
    return "'" + field if field[0] in "=+-@" else field


def without_heading(page):
    """The report after its title and period."""
    return page.split("</p>\n", 1)[1]


@e2e_util.needs_faketime
class ReportExportsTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.cluster = None
        if missing_reason():
            skip_or_fail(missing_reason()) if os.environ.get("CI") == "true" else None
        else:
            cls.cluster = PgCluster()
            cls.cluster.__enter__()

    @classmethod
    def tearDownClass(cls):
        if cls.cluster:
            cls.cluster.__exit__(None, None, None)

    def stores(self):
        """Installs holding the same rows: the SQLite file, then PostgreSQL."""
        sqlite_install = e2e_util.Install()
        self.addCleanup(sqlite_install.__exit__)
        self.expected = make_database(sqlite_install.path("webfilter.dbs"))
        yield "sqlite", sqlite_install
        if not self.cluster:
            return
        pg_install = e2e_util.Install({"ActivityDatabase": self.cluster.connection("exports")})
        self.addCleanup(pg_install.__exit__)
        moved = self.ledgerix(pg_install, "migrate", sqlite_install.path("webfilter.dbs"))
        self.assertEqual(moved.returncode, 0, moved.stderr)
        yield "postgres", pg_install

    def ledgerix(self, inst, *args, at=MORNING):
        env = inst.env(**e2e_util.faketime_env(FAKETIME="@" + at), TZ=TZ)
        return subprocess.run([e2e_util.program("ledgerix"), *args], env=env,
                              capture_output=True, timeout=120)

    def ok(self, inst, *args):
        done = self.ledgerix(inst, *args)
        self.assertEqual(done.returncode, 0, (args, done.stderr))
        return done.stdout.decode()

    def test_any_period_csv_and_pseudonyms_on_both_stores(self):
        for store, inst in self.stores():
            with self.subTest(store=store):
                self.check_any_period(inst)
                self.check_csv(inst)
                self.check_user_page(inst)
                self.check_pseudonyms(inst)

    def test_one_report_over_two_sites(self):
        if not self.cluster:
            self.skipTest(missing_reason())
        totals = {}
        for schema, seed in (("site_one", 1), ("site_two", 2)):
            with e2e_util.Install() as source:
                web, events, _ = make_database(source.path("webfilter.dbs"), seed)
                inst = e2e_util.Install({"ActivityDatabase": self.cluster.connection(schema)})
                self.addCleanup(inst.__exit__)
                moved = self.ledgerix(inst, "migrate", source.path("webfilter.dbs"))
                self.assertEqual(moved.returncode, 0, moved.stderr)
            totals[schema] = (sum(web.values()), sum(map(len, events.values())))
        self.cluster.psql("CREATE SCHEMA IF NOT EXISTS elsewhere; CREATE TABLE IF NOT EXISTS "
                          "elsewhere.notes(id int)")
        for kind, column in (("activity", 0), ("filter", 1)):
            page = self.ok(inst, "report", kind, "2026-11-01", "2026-11-30",
                           "--sites", "site_one,site_two")
            self.assertIn("report of 2 sites", page)
            rows = re.findall(r'<tr><td>(site_one|site_two|<b>All sites</b>)</td>'
                              r'<td align="right">(?:<b>)?([\d,]+)', page)
            self.assertEqual([(site, int(n.replace(",", ""))) for site, n in rows],
                             [("site_one", totals["site_one"][column]),
                              ("site_two", totals["site_two"][column]),
                              ("<b>All sites</b>", totals["site_one"][column] +
                               totals["site_two"][column])])
            self.assertIn("site_two: Top 10 users", page)
            self.assertIn("bob, the builder", page)
        for sites in ("site_one,elsewhere", "site_one,missing"):
            done = self.ledgerix(inst, "report", "activity", "2026-11-01", "2026-11-30",
                                 "--sites", sites)
            self.assertEqual((done.returncode, done.stdout), (1, b""))
            self.assertEqual(len(done.stderr.splitlines()), 1, done.stderr)
            self.assertIn(sites.split(",")[1].encode(), done.stderr)
        self.assertEqual(self.cluster.psql("SELECT count(*) FROM pg_namespace WHERE nspname = "
                                           "'missing'"), "0")  # nothing made

    def test_the_monthly_page_renders_in_a_mail_pane(self):
        reason = chromium_missing()
        if reason:
            self.skipTest(reason)
        inst = e2e_util.Install()
        self.addCleanup(inst.__exit__)
        make_database(inst.path("webfilter.dbs"), users=STAFF)
        page = inst.path("monthly-activity-report.html")
        with open(page, "w") as f:
            f.write(self.ok(inst, "1", "7", "2", "0"))
        rendered = subprocess.run([sys.executable, RENDER_MAIL, page], capture_output=True,
                                  text=True, timeout=300)
        self.assertEqual(rendered.returncode, 0, rendered.stderr)
        shown = json.loads(rendered.stdout)
        self.assertEqual(shown["errors"], [])
        self.assertLessEqual(shown["pane_width"], 700)  # no sideways scrolling
        width, height, varied = e2e_util.png_pixels_vary(shown["png"])
        self.assertEqual((width, varied), (700, True))
        self.assertGreater(height, 600)
        # QUORVANE_KEEP_PICTURE=docs/monthly-activity-report.png renews the
        # README's picture.
        if os.environ.get("QUORVANE_KEEP_PICTURE"):
            shutil.copyfile(shown["png"], os.environ["QUORVANE_KEEP_PICTURE"])

    def check_any_period(self, inst):
        # The days of November as asked for are the scheduled monthly report.
        for scheduled, kind in ((("1", "7", "2", "0"), "activity"), (("4", "7"), "filter")):
            monthly = self.ok(inst, *scheduled)
            ranged = self.ok(inst, "report", kind, "2026-11-01", "2026-11-30")
            self.assertIn("1 November 2026 to 30 November 2026", ranged)
            self.assertIn("Monthly", monthly)
            self.assertEqual(without_heading(ranged), without_heading(monthly))
            if kind == "activity":
                self.assertEqual(chart(monthly, "Requests per day"), self.expected[2])
                self.assertEqual(sum(self.expected[2]), figure(monthly, "Requests"))
            else:
                for heading, columns in (("Filter events per day", 30),
                                         ("Filter events per hour of the day", 24)):
                    counts = chart(monthly, heading)
                    self.assertEqual(len(counts), columns)
                    self.assertEqual(sum(counts), figure(monthly, "Filter events"))
                    self.assertEqual(sum(counts), sum(map(len, self.expected[1].values())))
        for bad in (("2026-11-31", "2026-12-01"), ("2026-12-02", "2026-12-01"),
                    ("2025-11-01", "2026-12-06"), ("1.11.2026", "2026-11-30")):
            done = self.ledgerix(inst, "report", "activity", *bad)
            self.assertEqual((done.returncode, done.stdout), (1, b""), bad)
            self.assertEqual(len(done.stderr.splitlines()), 1, done.stderr)
        self.assertEqual(self.ledgerix(inst, "report", "weekly", "2026-11-01",
                                       "2026-11-02").returncode, 2)

    def check_csv(self, inst):
        web, events, _ = self.expected
        text = self.ok(inst, "report", "activity", "2026-11-01", "2026-11-30", "--csv")
        rows = list(csv.reader(io.StringIO(text, newline="")))
        self.assertEqual(rows[0], ["user", "address", "computer", "site", "requests"])
        shown = {name: as_text(name) for name, _, _ in USERS}
        got = {}
        for user, ip, computer, site, requests in rows[1:]:
            got[(user, site)] = got.get((user, site), 0) + int(requests)
            known = [u for u in USERS if shown[u[0]] == user]
            self.assertEqual(len(known), 1, user)
            self.assertEqual([ip, computer], [known[0][1], as_text(known[0][2])])
        self.assertEqual(got, {(shown[n], s): c for (n, s), c in web.items()})

        text = self.ok(inst, "report", "filter", "2026-11-01", "2026-11-30", "--csv")
        rows = list(csv.reader(io.StringIO(text, newline="")))
        self.assertEqual(rows[0], ["time", "user", "address", "site", "action"])
        self.assertEqual(sorted((r[1], r[3], r[4]) for r in rows[1:]),
                         sorted((shown[n], url, action) for n, evs in events.items()
                                for _, url, action in evs))

        text = self.ok(inst, "user", "bob, the builder", "2026-11-01", "2026-11-30", "--csv")
        rows = list(csv.reader(io.StringIO(text, newline="")))
        self.assertEqual({r[3]: int(r[4]) for r in rows[1:]},
                         {s: c for (n, s), c in web.items() if n == "bob, the builder"})

    def check_user_page(self, inst):
        for args, at in ((("alice", "PC-7", "10.0.0.7"), "2026-11-10 08:00:00"),
                         (("alice", "PC-7", "10.0.0.7"), "2026-11-10 09:30:00"),
                         (("alice", "PC-77", "10.0.0.77"), "2026-11-20 10:00:00"),
                         (("alice", "PC-78", "10.0.0.78"), "2026-12-05 10:00:00")):
            self.assertEqual(self.ledgerix(inst, "6", *args, at=at).returncode, 0)
        page = self.ok(inst, "user", "alice", "2026-11-01", "2026-11-30")
        self.assertEqual(sum(chart(page, "Requests per day")), figure(page, "Requests"))
        self.assertEqual(sum(chart(page, "Filter events per hour of the day")),
                         figure(page, "Filter events"))
        self.assertEqual(figure(page, "Requests"),
                         sum(c for (n, _), c in self.expected[0].items() if n == "alice"))
        self.assertRegex(page, r"<td>10\.0\.0\.7</td><td>PC-7</td><td>2026-11-10 08:00:00</td>"
                               r"<td>2026-11-10 09:30:00</td>.*\n<tr><td>10\.0\.0\.77</td>")
        self.assertNotIn("10.0.0.78", page)  # December

    def check_pseudonyms(self, inst):
        key = inst.path("report-pseudonyms.key")
        self.assertFalse(os.path.exists(key))
        inst.values["ReportPseudonyms"] = 1
        inst.write_registry()
        try:
            pages = [self.ok(inst, *args) for args in
                     (("1", "7", "2", "0"), ("4", "7"), ("1", "7", "2", "0"),
                      ("report", "filter", "2026-11-01", "2026-11-30"),
                      ("user", "alice", "2026-11-01", "2026-11-30"),
                      ("report", "activity", "2026-11-01", "2026-11-30", "--csv"))]
            self.assertEqual(stat.S_IMODE(os.lstat(key).st_mode), 0o600)
            self.assertEqual(pages[0], pages[2])  # stable across reports
            for page in pages:
                self.assertNotIn("10.0.0.77", page)
                for name, ip, computer in USERS:
                    for text in (name, ip, computer):
                        self.assertNotIn(html.escape(text), page)
                        self.assertNotIn(text, page)
            alice = self.ok(inst, "pseudonym", "alice").strip()
            self.assertRegex(alice, r"^user-[0-9a-f]{8}$")
            for page in pages[:2] + pages[4:]:
                self.assertIn(alice, page)
            self.assertEqual(set(re.findall(r"user-[0-9a-f]{8}", pages[0])),
                             set(re.findall(r"user-[0-9a-f]{8}", pages[1])))
            for name, _, _ in USERS:
                pseudonym = self.ok(inst, "pseudonym", name).strip()
                self.assertEqual(self.ok(inst, "unmask", pseudonym), name + "\n")
            done = self.ledgerix(inst, "unmask", "user-00000000")
            self.assertEqual((done.returncode, done.stdout), (1, b""))
            # A key that others may read is not used.
            os.chmod(key, 0o644)
            done = self.ledgerix(inst, "1", "7", "2", "0")
            self.assertEqual((done.returncode, done.stdout), (1, b""))
            self.assertIn(b"chmod 600", done.stderr)
        finally:
            inst.values["ReportPseudonyms"] = 0
            inst.write_registry()


if __name__ == "__main__":
    unittest.main()
