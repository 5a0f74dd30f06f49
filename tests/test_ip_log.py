"""The IP log at network scale, run through the built Orbeline: a long list
reaches the files whole, a failed list leaves them as they were, a burst of
reports is recorded in arrival order with one list after it, the night and
the next report write the same list, and a stop works off what waits."""

import json
import os
import re
import sqlite3
import subprocess
import time
import unittest

import e2e_util
from e2e_util import Install, Server, free_port, wait_for_port, wait_until
from e2e_util import send_report as send

KEPT = "The IP log was left as it was: "


def report(user, computer="PC", ip="10.0.0.1"):
    return ("<user>%s</user><computer>%s</computer><ip>%s</ip>\n" % (user, computer, ip)).encode()


class IpLogTest(unittest.TestCase):
    def start(self, tool_wrapper=None, **env):
        """Orbeline with the stand-in tool beside it, or a shell wrapper
        around that tool, `$TOOL` naming it."""
        self.port = free_port()
        self.inst = Install({"DBServerPort": self.port})
        self.addCleanup(self.inst.__exit__)
        self.folder = self.inst.private_bin()
        if tool_wrapper:
            tool = os.path.join(self.folder, "ledgerix")
            os.rename(tool, tool + "-inner")
            with open(tool, "w") as f:
                f.write('#!/bin/sh\nTOOL="$(dirname "$0")/ledgerix-inner"\n' + tool_wrapper)
            os.chmod(tool, 0o755)
        self.calls_file = os.path.join(self.inst.root, "calls.jsonl")
        self.list_file = os.path.join(self.inst.root, "listing")
        return self.run_server(**env)

    def run_server(self, **env):
        env = self.inst.env(FAKE_LEDGERIX_LOG=self.calls_file, FAKE_LEDGERIX_LIST=self.list_file,
                            **env)
        self.server = Server(self.inst, env=env, exe=os.path.join(self.folder, "Orbeline"))
        self.addCleanup(self.server.__exit__)
        self.assertTrue(wait_for_port(self.port, timeout=30), self.server.err_lines)
        return self.server

    def calls(self):
        if not os.path.exists(self.calls_file):
            return []
        with open(self.calls_file) as f:
            return [json.loads(line)["argv"] for line in f if line.endswith("\n")]

    def ip_log(self):
        try:
            with open(self.inst.path("Logs/logip2.log"), "rb") as f:
                return f.read()
        except OSError:
            return None

    def test_a_long_list_is_written_whole_and_a_failed_one_changes_nothing(self):
        rows = b"".join(b"user-%05d@branch.example.org,10.%d.%d.%d,WORKSTATION-%05d,%d\r\n"
                        % (i, i >> 16, (i >> 8) & 255, i & 255, i, i % 2) for i in range(30000))
        self.assertGreater(len(rows), 1 << 20)
        self.start()
        with open(self.list_file, "wb") as f:
            f.write(rows)
        send(self.port, report("alice"))
        self.assertTrue(wait_until(lambda: self.ip_log() == rows, timeout=60))
        self.assertEqual(self.server.stop(), 0)

        # The tool now fails after printing the first rows of a list.
        with open(self.list_file, "wb") as f:
            f.write(rows[:1000])
        self.run_server(FAKE_LEDGERIX_FAIL="7")
        for user in ("bob", "carl"):  # two passes
            count = len(self.calls())
            send(self.port, report(user))
            self.assertTrue(wait_until(lambda: len(self.calls()) >= count + 2, timeout=30))
        self.assertTrue(self.server.wait_for_line(KEPT, timeout=30), self.server.lines)
        self.assertEqual(self.server.stop(), 0)
        self.assertEqual(self.ip_log(), rows)
        with open(self.inst.path("quorvane.size"), "rb") as f:
            self.assertEqual(f.read().count(b"\r\n"), 30000)
        told = [line for line in self.server.lines if line.startswith(KEPT)]
        self.assertEqual(told, [KEPT + "ledgerix 7 ended with exit code 1"])

    def test_a_burst_is_recorded_in_arrival_order_with_one_list(self):
        # The tool takes its time over "busy": the burst waits meanwhile.
        self.start(tool_wrapper='"$TOOL" "$@"\ncase "$*" in *busy*) sleep 3;; esac\n')
        with open(self.list_file, "wb") as f:
            f.write(b"listed,10.0.0.1,PC,1\r\n")
        send(self.port, report("busy"))
        self.assertTrue(wait_until(lambda: self.calls(), timeout=30))
        burst = ["u%02d" % i for i in range(40)]
        for user in burst:
            send(self.port, report(user))
        self.assertTrue(wait_until(lambda: len(self.calls()) >= 43, timeout=60), self.calls())
        time.sleep(0.5)  # a further list would have come by now
        self.assertEqual([c[:2] for c in self.calls()],
                         [["6", "busy"], ["7"]] + [["6", u] for u in burst] + [["7"]])
        self.assertEqual(self.ip_log(), b"listed,10.0.0.1,PC,1\r\n")

    def contacts_and_history(self, install):
        """Each contact in sequence order with its number of intervals, and
        the tool's list (the IP log's rows)."""
        with sqlite3.connect(install.path("contacts.dbs")) as db:
            self.assertEqual(db.execute("PRAGMA integrity_check").fetchone(), ("ok",))
            rows = db.execute("SELECT user_name, computer_name, ip, seq, (SELECT COUNT(*)"
                              " FROM ContactInterval i WHERE i.contact = c.id)"
                              " FROM Contact c ORDER BY seq").fetchall()
        listed = subprocess.run([e2e_util.program("ledgerix"), "7"], env=install.env(),
                                capture_output=True, check=True, timeout=60).stdout
        return rows, listed

    def test_a_burst_goes_in_one_run_with_the_effect_of_one_by_one(self):
        self.start(FAKE_LEDGERIX_REAL=e2e_util.program("ledgerix"), FAKE_LEDGERIX_PAUSE="busy:3")
        send(self.port, report("busy", "PC-0", "10.0.0.1"))
        self.assertTrue(wait_until(lambda: self.calls(), timeout=30))
        # New contacts, addresses taken over, contacts reported again (from
        # a second sender, as the queue keeps one of each report per sender).
        burst = [("u%03d" % i, "PC-%d" % i, "10.0.1.%d" % i) for i in range(200)]
        burst += [("w%03d" % i, "PC-w", "10.0.1.%d" % i) for i in range(50)]
        for values in burst:
            send(self.port, report(*values))
        for values in burst[:50]:
            send(self.port, report(*values), source="127.0.0.2")
        self.assertTrue(wait_until(lambda: len(self.calls()) >= 303, timeout=60))
        self.assertTrue(wait_until(lambda: self.ip_log() and self.ip_log().count(b"\n") == 251,
                                   timeout=30), self.ip_log())
        with open(self.calls_file) as f:
            calls = [json.loads(line) for line in f]
        runs = []  # one entry per run: ("record", contacts) or ("7", [])
        for call in calls:
            if call.get("batch") and runs and runs[-1][0] == call["batch"]:
                runs[-1][1].append(tuple(call["argv"][1:]))
            else:
                runs.append((call.get("batch") or call["argv"][0], [tuple(call["argv"][1:])]))
        self.assertEqual([len(r[1]) if r[0] != "7" else "7" for r in runs], [1, "7", 300, "7"])
        self.assertEqual(self.server.stop(), 0)

        # The same reports, one `ledgerix 6` each in the order the server
        # handed them over, into a store of their own.
        with e2e_util.Install() as alone:
            for values in runs[0][1] + runs[2][1]:
                subprocess.run([e2e_util.program("ledgerix"), "6", *values], env=alone.env(),
                               check=True, timeout=60)
            served_rows, served_list = self.contacts_and_history(self.inst)
            self.assertEqual((served_rows, served_list), self.contacts_and_history(alone))
        self.assertEqual(self.ip_log(), served_list)
        self.assertEqual(len(served_rows), 251)

    def test_an_older_tool_gets_one_mode_six_each_and_failures_lose_nothing(self):
        # `record` is refused as an older tool refuses it; its mode 6 fails
        # twice, then works.
        self.start(FAKE_LEDGERIX_REAL=e2e_util.program("ledgerix"), FAKE_LEDGERIX_OLD=1,
                   FAKE_LEDGERIX_FAIL="6", FAKE_LEDGERIX_FAIL_TIMES=2)
        sent = [["6", "user%d" % i, "PC-%d" % i, "10.0.0.%d" % (i + 1)] for i in range(10)]
        for argv in sent:
            send(self.port, report(*argv[1:]))
        self.assertTrue(wait_until(lambda: self.ip_log() and self.ip_log().count(b"\n") == 10,
                                   timeout=60), (self.ip_log(), self.server.lines))
        argv = [c for c in self.calls() if c != ["7"]]
        self.assertEqual(argv, [["record"]] + sent[:1] * 2 + sent)
        self.assertEqual(self.server.stop(), 0)
        told = [line for line in self.server.lines if "ledgerix" in line]
        self.assertEqual(len(told), 2, self.server.lines)
        self.assertIn('does not know "ledgerix record"', told[0])
        self.assertRegex(told[1], r"^\d+ agent reports? not recorded: ledgerix 6 ended with exit "
                                  r"code 1; tried again, up to 10 times$")

    def test_a_tool_killed_mid_record_leaves_the_store_whole_and_the_next_pass_records(self):
        # The first three runs of `record` with many contacts are killed
        # (kill -9) 5, 20 and 60 ms into their work.
        self.start(REAL_LEDGERIX=e2e_util.program("ledgerix"), tool_wrapper="""
if [ "$1" = record ]; then
  input="$(cat)"
  case "$input" in *busy*) sleep 3;; esac
  kills="$(cat "$FAKE_LEDGERIX_LOG.kills" 2>/dev/null)"
  if [ ${#input} -gt 10000 ] && [ "$kills" != xxx ]; then
    printf x >>"$FAKE_LEDGERIX_LOG.kills"
    printf '%s\\n' "$input" | "$REAL_LEDGERIX" record & pid=$!
    case "$kills" in "") sleep 0.005;; x) sleep 0.02;; *) sleep 0.06;; esac
    kill -9 $pid; wait $pid; kill -9 $$
  fi
  printf '%s\\n' "$input" | exec "$REAL_LEDGERIX" record
fi
exec "$REAL_LEDGERIX" "$@"
""")
        send(self.port, report("busy", "PC-0", "10.0.0.1"))
        count = 1000
        for i in range(count):
            send(self.port, report("user%04d" % i, "PC-%d" % i, "10.1.%d.%d" % (i // 250, i % 250)))
        self.assertTrue(wait_until(
            lambda: self.ip_log() and self.ip_log().count(b"\n") == count + 1, timeout=90),
            self.server.lines)
        with open(self.calls_file + ".kills") as f:
            self.assertEqual(f.read(), "xxx")
        rows, listed = self.contacts_and_history(self.inst)
        self.assertEqual(len(rows), count + 1)
        self.assertEqual(self.server.stop(), 0)
        failures = [line for line in self.server.lines if "not recorded" in line]
        self.assertEqual(len(failures), 1, self.server.lines)
        self.assertIn("ledgerix record ended with signal 9", failures[0])

    def test_a_stop_works_off_what_waits_and_names_the_rest(self):
        self.start(FAKE_LEDGERIX_REAL=e2e_util.program("ledgerix"))
        reports = 500
        for i in range(reports):
            send(self.port, report("user%03d" % i, "PC-%03d" % i, "10.1.%d.%d" % (i // 250, i % 250)))
        stopped_at = time.time()
        self.assertEqual(self.server.stop(timeout=30), 0)
        left = 0
        for line in self.server.lines:
            m = re.fullmatch(r"Stopped with (\d+) agent reports? not processed", line)
            if m:
                left = int(m.group(1))
        listed = subprocess.run([e2e_util.program("ledgerix"), "7"], env=self.inst.env(),
                                capture_output=True, check=True, timeout=60).stdout
        recorded = listed.count(b"\r\n")
        # Everything waiting goes in one run at the stop.
        self.assertEqual((recorded, left), (reports, 0), self.server.lines)
        # Work went on after the stop.
        with open(self.calls_file) as f:
            after = [c for c in map(json.loads, f) if c["argv"][0] == "6" and c["time"] > stopped_at]
        self.assertGreater(len(after), 1, self.server.lines)

    @e2e_util.needs_faketime
    def test_the_night_and_the_next_report_write_the_same_list(self):
        env = e2e_util.faketime_env(FAKETIME="@2026-03-06 23:59:50", FAKETIME_DONT_RESET=1)
        self.start(FAKE_LEDGERIX_REAL=e2e_util.program("ledgerix"), TZ="UTC0", **env)
        logs = self.inst.path("Logs")
        # alice has a log and reports; carol has only a log (so she is known
        # from the database alone); bob only reports.
        e2e_util.write_base64_log(os.path.join(logs, "06_03_2026_alice_10.0.0.7"),
                                  ["5*GET Request: host1/a"])
        e2e_util.write_base64_log(os.path.join(logs, "06_03_2026_carol_10.0.0.3.log"),
                                  ["2*GET Request: host2/b"])
        send(self.port, report("alice", "PC-7", "10.0.0.7"))
        send(self.port, report("bob", "PC-2", "10.0.0.2"))
        before = b"alice,10.0.0.7,PC-7,1\r\nbob,10.0.0.2,PC-2,1\r\n"
        self.assertTrue(wait_until(lambda: self.ip_log() == before, timeout=30), self.ip_log())
        self.assertTrue(self.server.wait_for_line("Nightly import", timeout=90),
                        self.server.lines)
        after_night = before + b"carol,10.0.0.3.log,carol,0\r\n"
        self.assertTrue(wait_until(lambda: self.ip_log() == after_night, timeout=30),
                        self.ip_log())
        count = len(self.calls())
        send(self.port, report("bob", "PC-2", "10.0.0.2"))
        self.assertTrue(wait_until(lambda: len(self.calls()) >= count + 2, timeout=30))
        self.assertTrue(wait_until(lambda: self.ip_log() == after_night, timeout=5),
                        self.ip_log())


if __name__ == "__main__":
    unittest.main()
