"""The nightly import run by the real server: Orbeline is started a few
seconds before local midnight under libfaketime with a day's logs in Logs/;
after midnight the rows are in webfilter.dbs, the logs are gone and the IP
log lists the users."""

import os
import subprocess
import unittest

import e2e_util

TZ = "Europe/Paris"


def sql(db, query):
    out = subprocess.run(["sqlite3", "-readonly", "-separator", "|", db, query],
                         env=dict(os.environ, TZ=TZ), capture_output=True, text=True,
                         check=True, timeout=60)
    return [line.split("|") for line in out.stdout.splitlines()]


@e2e_util.needs_faketime
class NightlyImportTest(unittest.TestCase):
    def write_logs(self, inst):
        logs = inst.path("Logs")
        e2e_util.write_base64_log(os.path.join(logs, "06_03_2026_anna_10.0.0.7"),
                                  ["5*GET Request: host1/a", "7*GET Request: host1/b",
                                   "3*GET Request: host2/", "1*GET Request: last.example/x"])
        with open(os.path.join(logs, "06_03_2026_bob_10.0.0.8_report.txt"), "w",
                  newline="") as f:
            f.write("host9 4\nhost9 11\n")
        # Dated the day the import runs: it waits for its own night.
        e2e_util.write_base64_log(os.path.join(logs, "07_03_2026_anna_10.0.0.7"),
                                  ["9*GET Request: later/"], line_end="\n")
        e2e_util.write_base64_log(os.path.join(logs, "Filter_06_03_2026.log"),
                                  ["3/6/2026|PC7|anna|x|14:07:33|host1/page|blocked_z",
                                   "3/6/2026|PC7|nobody|x|14:07:34|host2/page|blocked_z",
                                   "3/6/2026|bob||x|23:59:00|host3/|allowed_"])

    def test_midnight_moves_the_day_into_the_database(self):
        port = e2e_util.free_port()
        with e2e_util.Install({"DBServerPort": port}) as inst:
            self.write_logs(inst)
            exe = os.path.join(inst.private_bin(), "Orbeline")
            # The night refreshes the IP log from the real tool's list.
            env = inst.env(**e2e_util.faketime_env(FAKETIME="@2026-03-06 23:59:55",
                                                   FAKETIME_DONT_RESET=1), TZ=TZ,
                           FAKE_LEDGERIX_REAL=e2e_util.program("ledgerix"))
            logs = inst.path("Logs")
            imported = [os.path.join(logs, name) for name in
                        ("06_03_2026_anna_10.0.0.7", "06_03_2026_bob_10.0.0.8_report.txt",
                         "Filter_06_03_2026.log")]
            with e2e_util.Server(inst, env=env, exe=exe) as server:
                self.assertTrue(server.wait_for_line("Service started", timeout=30),
                                (server.lines, server.err_lines))
                # Nothing moves before midnight.
                self.assertTrue(all(os.path.exists(p) for p in imported))
                done = e2e_util.wait_until(
                    lambda: not any(os.path.exists(p) for p in imported), timeout=90, step=0.2)
                self.assertTrue(done, (os.listdir(logs), server.lines, server.err_lines))
                self.assertTrue(server.wait_for_line("Nightly import", timeout=60), server.lines)
                self.assertEqual(server.stop(), 0)

            self.assertTrue(os.path.exists(os.path.join(logs, "07_03_2026_anna_10.0.0.7")))
            db = inst.path("webfilter.dbs")
            users = sql(db, 'SELECT u.user_name, u.active, i.ip, c.computer_name, c.status'
                            ' FROM "User" u JOIN Ip i ON u.ips = i.id'
                            ' JOIN Computer c ON u.computers = c.id ORDER BY u.id')
            self.assertEqual(users, [["anna", "1", "10.0.0.7", "anna", "1"],
                                     ["bob", "1", "10.0.0.8_report.txt", "bob", "1"]])
            webs = sql(db, "SELECT u.user_name, w.url, w.size,"
                           " datetime(w.time, 'unixepoch', 'localtime')"
                           ' FROM Web w JOIN "User" u ON w.users = u.id ORDER BY w.id')
            self.assertEqual([w[:3] for w in webs],
                             [["anna", "host1", "12"], ["anna", "host2", "3"],
                              ["anna", "last.example", "1"], ["bob", "host9", "11"]])
            # Dated the day the logs cover: the import time less one day.
            for w in webs:
                self.assertTrue(w[3].startswith("2026-03-06 00:0"), w)
            filters = sql(db, "SELECT u.user_name, f.url, f.action,"
                              " datetime(f.time, 'unixepoch', 'localtime')"
                              ' FROM FilterActivity f JOIN "User" u ON f.users = u.id'
                              " ORDER BY f.id")
            self.assertEqual(filters, [["anna", "host1/page", "blocked", "2026-03-06 14:07:33"],
                                       ["bob", "host3/", "allowed", "2026-03-06 23:59:00"]])
            # No agent has reported: the database's users, none active.
            with open(os.path.join(logs, "logip2.log"), newline="") as f:
                self.assertEqual(f.read(), "anna,10.0.0.7,anna,0\r\n"
                                           "bob,10.0.0.8_report.txt,bob,0\r\n")
            with open(inst.path("quorvane.size"), newline="") as f:
                self.assertEqual(f.read(), "anna,10.0.0.7,anna,0\r\n"
                                           "bob,10.0.0.8_report.txt,bob,0\r\n")

    def test_links_and_pipes_under_log_names_are_left_and_named(self):
        # Members of the log writers' group can put anything in Logs/: a pipe
        # would hold a blocking open (and the night, the reports and a stop)
        # for ever, a link would make the server read what it points to.
        port = e2e_util.free_port()
        with e2e_util.Install({"DBServerPort": port}) as inst:
            logs = inst.path("Logs")
            e2e_util.write_base64_log(os.path.join(logs, "06_03_2026_anna_10.0.0.7"),
                                      ["5*GET Request: host1/a"])
            outside = os.path.join(inst.root, "secret")
            e2e_util.write_base64_log(outside, ["9*GET Request: secret/"])
            os.symlink(outside, os.path.join(logs, "06_03_2026_link_10.0.0.8"))
            os.mkfifo(os.path.join(logs, "06_03_2026_pipe_10.0.0.9"))
            os.mkfifo(os.path.join(logs, "Filter_06_03_2026.log"))
            # A sparse file costs its writer no disk; reading 2 TiB would
            # hold up the night, the reports and a stop for half an hour.
            with open(os.path.join(logs, "06_03_2026_huge_10.0.0.10"), "wb") as f:
                f.truncate(2 << 40)
            exe = os.path.join(inst.private_bin(), "Orbeline")
            env = inst.env(**e2e_util.faketime_env(FAKETIME="@2026-03-06 23:59:55",
                                                   FAKETIME_DONT_RESET=1), TZ=TZ)
            with e2e_util.Server(inst, env=env, exe=exe) as server:
                self.assertTrue(server.wait_for_line("Nightly import of 1 day", timeout=90),
                                (server.lines, server.err_lines))
                self.assertTrue(server.wait_for_line("Left in Logs/:"), server.lines)
                self.assertEqual(server.stop(timeout=10), 0)
            night = [line for line in server.lines if "Nightly import" in line][0]
            self.assertIn("1 log with 1 line imported", night)
            self.assertIn("4 logs left in Logs/", night)
            left = [line for line in server.lines if "Left in Logs/:" in line][0]
            # Three are named, the filter log's pipe counted after them.
            for name in ("06_03_2026_link_10.0.0.8", "06_03_2026_pipe_10.0.0.9"):
                self.assertIn(name + " (not a regular file", left)
            self.assertTrue(left.endswith("; and 1 more"), left)
            self.assertIn("06_03_2026_huge_10.0.0.10 (larger than 1 GiB", left)
            self.assertEqual(sorted(os.listdir(logs)),
                             ["06_03_2026_huge_10.0.0.10", "06_03_2026_link_10.0.0.8",
                              "06_03_2026_pipe_10.0.0.9",
                              "Filter_06_03_2026.log", "logip2.log"])
            self.assertTrue(os.path.exists(outside))
            users = sql(inst.path("webfilter.dbs"), 'SELECT user_name FROM "User"')
            self.assertEqual(users, [["anna"]])


if __name__ == "__main__":
    unittest.main()
