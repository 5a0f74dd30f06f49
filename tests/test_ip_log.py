"""The IP log at network scale, run through the built Orbeline: a long list
reaches the files whole, a failed list leaves them as they were, a burst of
reports is recorded in arrival order with one list after it, the night and
the next report write the same list, and a stop works off what waits."""

import json
import os
import re
import stat
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
        # A run the stop ended may have recorded its contact just before.
        self.assertIn(recorded + left, (reports, reports + 1), self.server.lines)
        # Work went on after the stop. (How much depends on the machine: five
        # seconds of tool runs, most of the 500 on a quiet one.)
        with open(self.calls_file) as f:
            after = [c for c in map(json.loads, f) if c["argv"][0] == "6" and c["time"] > stopped_at]
        self.assertGreater(len(after), 1, self.server.lines)

    def test_a_link_planted_at_the_ip_log_decides_nothing(self):
        # A member of the logs' group makes a world-writable set-id file of
        # its own and links the IP log's name to it before the first write.
        self.start()
        bait = self.inst.path("Logs/bait")
        with open(bait, "wb") as f:
            f.write(b"the member's own file\n")
        member = 65534 if os.geteuid() == 0 else os.geteuid()
        os.chown(bait, member, member)
        os.chmod(bait, 0o6777)
        os.symlink(bait, self.inst.path("Logs/logip2.log"))
        with open(self.list_file, "wb") as f:
            f.write(b"alice,10.0.0.1,PC,1\r\n")
        send(self.port, report("alice"))
        self.assertTrue(wait_until(lambda: os.path.exists(self.inst.path("quorvane.size")), 30))
        self.assertEqual(self.server.stop(), 0)
        for name in ("Logs/logip2.log", "quorvane.size"):
            st = os.lstat(self.inst.path(name))
            self.assertTrue(stat.S_ISREG(st.st_mode), name)
            self.assertEqual((stat.S_IMODE(st.st_mode), st.st_uid), (0o644, os.geteuid()), name)
        self.assertEqual(self.ip_log(), b"alice,10.0.0.1,PC,1\r\n")
        with open(bait, "rb") as f:
            self.assertEqual(f.read(), b"the member's own file\n")
        st = os.stat(bait)
        self.assertEqual((stat.S_IMODE(st.st_mode), st.st_uid), (0o6777, member))

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
