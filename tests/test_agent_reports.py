"""End-to-end tests of agent reports: the built Orbeline takes reports over
TCP, hands each contact to the database tool (the stand-in, beside the
program) and rewrites the IP log and the size file from the tool's list."""

import json
import os
import socket
import struct
import time
import unittest

from e2e_util import Install, Server, free_port, wait_for_port, wait_until

ALICE = b"<user>alice</user><computer>PC-7</computer><ip>192.168.0.7</ip>\n"
LISTING = b"bob,10.0.0.2,PC-2,1\r\nann,10.0.0.3,PC-3,0\r\n"


def send(port, data, linger_reset=False):
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        if linger_reset:
            s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            return
        if data:
            s.sendall(data)
        s.shutdown(socket.SHUT_WR)
        # The server closes after its one receive; wait for that.
        s.settimeout(30)
        try:
            while s.recv(4096):
                pass
        except OSError:
            pass


def report(user, computer=b"PC", ip=b"10.0.0.1"):
    return b"<user>%s</user><computer>%s</computer><ip>%s</ip>\n" % (user, computer, ip)


class AgentReports(unittest.TestCase):
    def start(self, port=None, listing=LISTING, values=None):
        """Orbeline on a free port (or `port`), with the stand-in tool."""
        self.port = port or free_port()
        self.install = Install(values=dict({"DBServerPort": self.port}, **(values or {})))
        self.addCleanup(self.install.__exit__)
        folder = self.install.private_bin()
        self.calls_file = os.path.join(self.install.root, "calls.jsonl")
        list_file = os.path.join(self.install.root, "listing")
        with open(list_file, "wb") as f:
            f.write(listing)
        env = self.install.env(FAKE_LEDGERIX_LOG=self.calls_file, FAKE_LEDGERIX_LIST=list_file)
        self.server = Server(self.install, env=env, exe=os.path.join(folder, "Orbeline"))
        self.addCleanup(self.server.__exit__)
        return self.server

    def calls(self):
        if not os.path.exists(self.calls_file):
            return []
        with open(self.calls_file) as f:
            return [json.loads(line) for line in f if line.endswith("\n")]

    def wait_calls(self, count, timeout=30):
        self.assertTrue(wait_until(lambda: len(self.calls()) >= count, timeout),
                        "calls: %r" % self.calls())
        return self.calls()

    def read(self, relative):
        with open(self.install.path(relative), "rb") as f:
            return f.read()

    def test_report_reaches_the_tool_and_the_ip_log(self):
        self.start()
        self.assertTrue(wait_for_port(self.port))
        send(self.port, ALICE)
        calls = self.wait_calls(2)
        self.assertEqual([c["argv"] for c in calls],
                         [["6", "alice", "PC-7", "192.168.0.7"], ["7"]])
        # The tool inherits neither the listening socket nor a connection.
        self.assertEqual([[fd for fd in c["sockets"] if fd > 2] for c in calls], [[], []])
        self.assertTrue(wait_until(lambda: os.path.exists(self.install.path("quorvane.size"))))
        self.assertEqual(self.read("Logs/logip2.log"), LISTING)
        self.assertEqual(self.read("quorvane.size"),
                         b"bob,10.0.0.2,PC-2,0\r\nann,10.0.0.3,PC-3,0\r\n")
        self.assertEqual(self.server.stop(), 0)

    def test_what_is_not_a_report_queues_nothing(self):
        self.start()
        self.assertTrue(wait_for_port(self.port))  # that probe is an empty connection too
        send(self.port, b"<user>x</user><computer>PC</computer><ip>1</ip> no line feed")
        send(self.port, b"")
        send(self.port, b"<user>z\0</user><computer>PC</computer><ip>1</ip>\n")
        # A zero byte after the line feed cuts the text there; it is queued.
        send(self.port, b"<user>first</user><computer>PC</computer><ip>1</ip>\n\0tail")
        calls = self.wait_calls(2)
        time.sleep(0.5)  # a wrongly queued report would show up by now
        self.assertEqual([c["argv"] for c in self.calls()],
                         [["6", "first", "PC", "1"], ["7"]])

    def test_full_size_report_and_arrival_order(self):
        self.start()
        self.assertTrue(wait_for_port(self.port))
        # Values of the longest the tool takes, the line filled up behind them.
        user = b"u" * 256
        head = b"<user>" + user + b"</user><computer>PC</computer><ip>10.9.9.9</ip>"
        big = head + b" " * (16384 - len(head) - 1) + b"\n"
        self.assertEqual(len(big), 16384)
        send(self.port, big)
        send(self.port, report(b"second"))
        # One pass or two, as they arrive: in order, the list after each pass.
        self.assertTrue(wait_until(lambda: [c["argv"][0] for c in self.calls()][-2:] in
                                   (["7", "7"], ["6", "7"]) and len(self.calls()) >= 3, 30))
        calls = self.calls()
        argv = [c["argv"] for c in calls]
        self.assertEqual([a for a in argv if a[0] == "6"],
                         [["6", user.decode(), "PC", "10.9.9.9"], ["6", "second", "PC", "10.0.0.1"]])
        self.assertIn(argv, ([argv[0], ["7"], argv[2], ["7"]], [argv[0], argv[1], ["7"]]))

    def test_silent_and_reset_connections_do_not_stop_the_listener(self):
        self.start()
        self.assertTrue(wait_for_port(self.port))
        silent = socket.create_connection(("127.0.0.1", self.port))
        self.addCleanup(silent.close)
        # While the listener waits on the silent one, a peer resets before
        # it is accepted, and an agent reports.
        send(self.port, None, linger_reset=True)
        send(self.port, report(b"patient"))
        calls = self.wait_calls(2, timeout=60)
        self.assertEqual(calls[0]["argv"], ["6", "patient", "PC", "10.0.0.1"])
        for i in range(3):
            send(self.port, None, linger_reset=True)
        send(self.port, report(b"after"))
        self.wait_calls(4)
        self.assertEqual(self.calls()[2]["argv"], ["6", "after", "PC", "10.0.0.1"])
        self.assertIsNone(self.server.proc.poll())

    def test_port_is_the_low_16_bits(self):
        port = free_port()
        self.start(port=port, values={"DBServerPort": 65536 + port})
        self.assertTrue(wait_for_port(port))
        send(port, ALICE)
        self.assertEqual(self.wait_calls(2)[0]["argv"], ["6", "alice", "PC-7", "192.168.0.7"])

    def test_port_in_use_is_said_once_and_shared_with_no_one(self):
        # The other program offers to share its port: a server that took the
        # offer would be handed some of the reports below.
        blocker = socket.socket()
        self.addCleanup(blocker.close)
        blocker.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEPORT, 1)
        blocker.bind(("0.0.0.0", 0))
        blocker.listen(16)
        blocker.settimeout(10)
        port = blocker.getsockname()[1]
        server = self.start(port=port)
        time.sleep(1.5)  # give the listener its chance to fail
        for n in range(8):
            data = report(b"user%d" % n)
            with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
                s.sendall(data)
                s.shutdown(socket.SHUT_WR)
                conn, _ = blocker.accept()  # times out when the server had it
                with conn:
                    self.assertEqual(conn.recv(4096), data)
        self.assertIsNone(server.proc.poll())
        self.assertEqual(server.stop(), 0)
        # Said once, naming the port and why, however often it is tried again.
        self.assertEqual([l for l in server.lines if "Crash" in l],
                         ["Crash in Run Server Socket: cannot listen on port %d: Address already "
                          "in use; trying again every 3 seconds" % port], server.lines)
        self.assertEqual(self.calls(), [])

    def test_a_report_in_two_segments_is_recorded(self):
        self.start()
        self.assertTrue(wait_for_port(self.port))
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as s:
            s.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            s.sendall(b"<user>slow</user>")
            time.sleep(0.3)  # as over a slow link: the listener has taken the first part
            s.sendall(b"<computer>PC-9</computer><ip>10.0.0.9</ip>\n")
            s.shutdown(socket.SHUT_WR)
            s.recv(1)
        self.assertEqual(self.wait_calls(2)[0]["argv"], ["6", "slow", "PC-9", "10.0.0.9"])

    def test_identical_reports_wait_in_the_queue_once(self):
        self.start()
        # The tool takes its time over "busy", so that the reports sent
        # meanwhile wait in the queue together.
        folder = os.path.dirname(self.server.proc.args[0])
        os.rename(os.path.join(folder, "ledgerix"), os.path.join(folder, "fake_ledgerix"))
        with open(os.path.join(folder, "ledgerix"), "w") as f:
            f.write('#!/bin/sh\n"$(dirname "$0")/fake_ledgerix" "$@"\n'
                    'case "$*" in *busy*) sleep 1.5;; esac\n')
        os.chmod(os.path.join(folder, "ledgerix"), 0o755)
        self.assertTrue(wait_for_port(self.port))
        send(self.port, report(b"busy"))
        self.wait_calls(1)
        for user in (b"alice", b"alice", b"bob", b"alice", b"bob"):
            send(self.port, report(user))
        self.wait_calls(5)
        time.sleep(0.5)  # a repeat would have been taken by now
        # The two that waited are taken in one pass, with one list after it.
        self.assertEqual([c["argv"][:2] for c in self.calls()],
                         [["6", "busy"], ["7"], ["6", "alice"], ["6", "bob"], ["7"]])


if __name__ == "__main__":
    unittest.main()
