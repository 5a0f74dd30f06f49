"""End-to-end tests of the agents' port under hostile load, with the built
Orbeline and the stand-in tool: silent connections, a flood from one
address, bursts of connections, the caps on connections and the reports
refused on arrival. Other agents speak from 127.0.0.2 and up. Deadlines here
are generous; the tight figures are listener_bench's."""

import json
import os
import socket
import struct
import threading
import time
import unittest

from e2e_util import Install, Server, free_port, send_report, wait_for_port, wait_until


def report(user, ip="127.0.0.1"):
    return b"<user>%s</user><computer>PC-7</computer><ip>%s</ip>\n" % (user.encode(), ip.encode())


def connect(port, source="127.0.0.1"):
    return socket.create_connection(("127.0.0.1", port), timeout=10, source_address=(source, 0))


def send(port, data, source="127.0.0.1"):
    send_report(port, data, source, timeout=10)


def abort(s):
    """Closes with a reset: a client port left in TIME_WAIT on another
    loopback address would keep other tests' servers from binding it."""
    s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    s.close()


def closed_by_server(s, timeout=10):
    s.settimeout(timeout)
    try:
        return s.recv(1) == b""
    except ConnectionResetError:
        return True
    except socket.timeout:
        return False


def listen_overflows():
    with open("/proc/net/netstat") as f:
        lines = f.readlines()
    for names, values in zip(lines[::2], lines[1::2]):
        if names.startswith("TcpExt:"):
            return int(dict(zip(names.split(), values.split()))["ListenOverflows"])
    raise AssertionError("no TcpExt in /proc/net/netstat")


class AgentPort(unittest.TestCase):
    def setUp(self):
        self.port = free_port()
        self.install = Install(values=dict(DBServerPort=self.port))
        self.addCleanup(self.install.__exit__)
        folder = self.install.private_bin()
        self.calls_file = os.path.join(self.install.root, "calls.jsonl")
        env = self.install.env(FAKE_LEDGERIX_LOG=self.calls_file)
        self.exe = os.path.join(folder, "Orbeline")
        self.server = Server(self.install, env=env, exe=self.exe)
        self.addCleanup(lambda: self.server.__exit__(None, None, None))
        self.assertTrue(wait_for_port(self.port))
        self.sockets = []
        self.addCleanup(lambda: [abort(s) for s in self.sockets])

    def restart_server(self, **env):
        self.server.stop()
        self.server.__exit__(None, None, None)
        env = self.install.env(FAKE_LEDGERIX_LOG=self.calls_file, **env)
        self.server = Server(self.install, env=env, exe=self.exe)
        self.assertTrue(wait_for_port(self.port))

    def calls(self):
        if not os.path.exists(self.calls_file):
            return []
        with open(self.calls_file) as f:
            return [json.loads(line)["argv"] for line in f if line.strip()]

    def recorded(self, user):
        return ["6", user, "PC-7", "127.0.0.2"] in self.calls()

    def lines_with(self, text):
        return [line for line in self.server.lines if text in line]

    def open_silent(self, count, source):
        for _ in range(count):
            self.sockets.append(connect(self.port, source))
        return self.sockets[-count:]

    def test_silent_connections_hold_up_nobody_within_the_caps(self):
        # 1,024 in all: the connection silent longest makes room, then the
        # next silent longest (all are accepted by then), not one that sent
        # a byte since.
        self.open_silent(1, "127.0.0.9")
        for i in range(16):
            self.open_silent(64 if i < 15 else 63, "127.0.0.%d" % (20 + i))
        self.open_silent(1, "127.0.0.99")
        self.assertTrue(closed_by_server(self.sockets[0]), self.server.lines)
        self.sockets[1].sendall(b"<user>")
        self.open_silent(1, "127.0.0.98")
        self.assertTrue(closed_by_server(self.sockets[2]))
        self.assertFalse(closed_by_server(self.sockets[1], 0.2))
        self.assertTrue(self.server.wait_for_line("closed to make room"))
        self.assertEqual(self.lines_with("closed to make room"),
                         ["Agent connection from 127.0.0.9 closed to make room: 1024 agent "
                          "connections are open, and it was silent longest (1 refused since "
                          "start; more are only counted until none comes for 60 s)"])
        for s in self.sockets:
            abort(s)
        self.sockets = []

        # 200 silent connections from four addresses, opened again as the
        # server's time limit closes them.
        stop = threading.Event()

        def hold(source):
            held = []
            while not stop.is_set():
                held = [s for s in held if not closed_by_server(s, 0.01)]
                while len(held) < 50:
                    held.append(connect(self.port, source))
            for s in held:
                abort(s)
        holders = [threading.Thread(target=hold, args=("127.0.0.%d" % (10 + i),)) for i in range(4)]
        for t in holders:
            t.start()
        try:
            time.sleep(0.5)  # the holders' connections are open by now
            send(self.port, report("bob", "127.0.0.2"), source="127.0.0.2")
            self.assertTrue(wait_until(lambda: self.recorded("bob"), 30), self.calls())
        finally:
            stop.set()
            for t in holders:
                t.join()

        # 64 from one address: the next ones are closed unread, said once.
        self.open_silent(64, "127.0.0.3")
        extra = [connect(self.port, "127.0.0.3") for _ in range(3)]
        self.sockets += extra
        self.assertTrue(all(closed_by_server(s, 3) for s in extra))
        self.assertTrue(self.server.wait_for_line("connections from that address are open"))
        self.assertEqual(self.lines_with("refused: 64 connections from that address are open"),
                         ["Agent connection from 127.0.0.3 refused: 64 connections from that "
                          "address are open (1 refused since start; more are only counted until "
                          "none comes for 60 s)"])

    def test_a_flood_delays_only_its_own_sender_and_a_burst_overflows_nothing(self):
        # A queue the flood can fill, and a tool that takes 3 s over each pass
        # with the flood's reports (at most 2,000), so that it fills and stays
        # full even when a loaded machine sends the flood slowly.
        self.restart_server(QUORVANE_QUEUE_ENTRIES_FOR_TESTING=10000, FAKE_LEDGERIX_PAUSE="flood*:3")
        overflows = listen_overflows()
        stop = time.time() + 3
        count = [0, 0]

        def connect_in_a_loop(i):
            while time.time() < stop:
                send(self.port, report("loop%d-%d" % (i, count[i])))
                count[i] += 1
        loopers = [threading.Thread(target=connect_in_a_loop, args=(i,)) for i in range(2)]
        for t in loopers:
            t.start()
        for t in loopers:
            t.join()
        # A machine-wide counter: nothing else here should overflow a queue.
        self.assertEqual(listen_overflows() - overflows, 0, count)

        sent = [0]

        def flood():
            for i in range(20000):
                send(self.port, report("flood%d" % i))
                sent[0] += 1
        flooder = threading.Thread(target=flood)
        flooder.start()
        try:
            self.assertTrue(wait_until(lambda: sent[0] >= 12000, 120))
            send(self.port, report("carol", "127.0.0.2"), source="127.0.0.2")
            self.assertTrue(wait_until(lambda: self.recorded("carol"), 30))
        finally:
            flooder.join()
        self.assertTrue(self.server.wait_for_line("Request queue full"))
        # One line per burst, not per report dropped.
        lines = self.lines_with("Request queue full")
        self.assertLessEqual(len(lines), 3, lines)
        self.assertEqual(set(lines), {"Request queue full: reports are dropped until it drains"})

    def test_reports_that_name_no_one_are_refused_on_arrival(self):
        for text in (b"hello\n", b"<user>alice\n", b"</computer></ip>\n"):
            send(self.port, text)
        send(self.port, report("dave", "127.0.0.2"), source="127.0.0.2")
        self.assertTrue(wait_until(lambda: self.calls()[-1:] == [["7"]], 30), self.calls())
        # Not queued, so no tool run: dave's two runs are the only ones.
        self.assertEqual([argv[0] for argv in self.calls()], ["6", "7"])
        self.assertTrue(self.server.wait_for_line("names no user"))
        self.assertEqual(self.lines_with("names no user"),
                         ["Agent report from 127.0.0.1 refused: it names no user, computer or IP "
                          "address (1 refused since start; more are only counted until none "
                          "comes for 60 s)"])


if __name__ == "__main__":
    unittest.main()
