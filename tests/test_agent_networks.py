"""End-to-end tests of whom the server hears: ListenAddress, AgentNetworks
(read afresh while running, failing closed on a value that does not parse)
and AgentAddressCheck, with the built Orbeline and the stand-in tool."""

import json
import os
import socket
import struct
import time
import unittest

from e2e_util import Install, Server, free_port, wait_for_port, wait_until


def report(ip, user="alice"):
    return b"<user>%s</user><computer>PC-7</computer><ip>%s</ip>\n" % (user.encode(), ip.encode())


def send(port, data, source="127.0.0.1"):
    """One report on its own connection from `source`; the server may close
    it unread, so a reset is no failure."""
    with socket.create_connection(("127.0.0.1", port), timeout=10,
                                  source_address=(source, 0)) as s:
        try:
            s.sendall(data)
            s.shutdown(socket.SHUT_WR)
            while s.recv(4096):
                pass
        except OSError:
            pass


def listening_addresses(port):
    """The local addresses with a listening TCP socket on `port`."""
    found = set()
    with open("/proc/net/tcp") as f:
        for line in f.readlines()[1:]:
            fields = line.split()
            address, _, hex_port = fields[1].partition(":")
            if int(hex_port, 16) == port and fields[3] == "0A":
                found.add(socket.inet_ntoa(struct.pack("<I", int(address, 16))))
    return found


class AgentNetworks(unittest.TestCase):
    def start(self, port=None, **values):
        self.port = port or free_port()
        self.install = Install(values=dict(DBServerPort=self.port, **values))
        self.addCleanup(self.install.__exit__)
        folder = self.install.private_bin()
        self.calls_file = os.path.join(self.install.root, "calls.jsonl")
        env = self.install.env(FAKE_LEDGERIX_LOG=self.calls_file)
        self.server = Server(self.install, env=env, exe=os.path.join(folder, "Orbeline"))
        self.addCleanup(self.server.__exit__)
        return self.server

    def set_value(self, name, value):
        self.install.values[name] = value
        self.install.write_registry()

    def users(self):
        return [argv[1] for argv in self.recorded()]

    def send_until_recorded(self, user, seconds=30):
        """Sends `user`'s report every half second until the tool has one.
        Reports from one sender reach the tool in the order they were sent,
        so any report of this sender let in before is recorded by then."""
        deadline = time.time() + seconds
        while user not in self.users() and time.time() < deadline:
            send(self.port, report("127.0.0.1", user))
            wait_until(lambda: user in self.users(), timeout=0.5)
        self.assertIn(user, self.users())

    def recorded(self):
        if not os.path.exists(self.calls_file):
            return []
        with open(self.calls_file) as f:
            return [json.loads(line)["argv"] for line in f if line.startswith("{\"argv\": [\"6\"")]

    def lines_with(self, text):
        return [line for line in self.server.lines if text in line]

    def test_agent_networks_are_followed_while_running_and_fail_closed(self):
        self.start(AgentNetworks="10.0.0.0/8")
        # Probing by connecting would itself be refused, so look instead.
        self.assertTrue(wait_until(lambda: listening_addresses(self.port)))
        for _ in range(3):
            send(self.port, report("127.0.0.1", "refused"))
        self.assertTrue(self.server.wait_for_line("Agent connection from 127.0.0.1 refused"))
        self.assertEqual(len(self.lines_with("refused by AgentNetworks")), 1, self.server.lines)

        # Changed while running: heard within seconds, without a restart;
        # the reports refused before never reach the tool.
        self.set_value("AgentNetworks", "10.0.0.0/8, 127.0.0.0/8")
        self.send_until_recorded("heard")
        self.assertEqual(self.recorded()[0], ["6", "heard", "PC-7", "127.0.0.1"])

        # A value that does not parse: said once, and no one is heard until
        # it is fixed.
        self.set_value("AgentNetworks", "127.0.0.0/33")
        deadline = time.time() + 30
        while not self.lines_with("cannot be read") and time.time() < deadline:
            send(self.port, report("127.0.0.1", "probe"))  # the value is read on a connection
            wait_until(lambda: self.lines_with("cannot be read"), timeout=0.5)
        self.assertEqual(self.lines_with("cannot be read"),
                         ['AgentNetworks "127.0.0.0/33" cannot be read: '
                          'no agent is heard until it is fixed'])
        send(self.port, report("127.0.0.1", "unheard"))
        self.set_value("AgentNetworks", "127.0.0.0/8")
        self.send_until_recorded("fixed")
        self.assertNotIn("unheard", self.users())
        self.assertNotIn("refused", self.users())
        self.assertIsNone(self.server.proc.poll())

    def test_address_check_records_only_reports_naming_their_sender(self):
        self.start(AgentAddressCheck=1)
        self.assertTrue(wait_for_port(self.port))
        send(self.port, report("192.168.0.7"))
        send(self.port, report("127.000.000.001"))
        send(self.port, report("127.0.0.2"), source="127.0.0.2")
        send(self.port, report("127.0.0.1"))
        # In order of arrival: the last two are recorded, so the first two
        # were taken and dropped.
        self.assertTrue(wait_until(lambda: len(self.recorded()) >= 2, 30), self.recorded())
        self.assertEqual(self.recorded(), [["6", "alice", "PC-7", "127.0.0.2"],
                                           ["6", "alice", "PC-7", "127.0.0.1"]])
        self.assertEqual(len(self.lines_with("Agent report from 127.0.0.1 refused by "
                                             "AgentAddressCheck")), 1, self.server.lines)

    def test_listen_address_binds_that_address_only(self):
        self.start(ListenAddress="127.0.0.1")
        self.assertTrue(wait_for_port(self.port))
        self.assertEqual(listening_addresses(self.port), {"127.0.0.1"})
        with self.assertRaises(ConnectionRefusedError):
            socket.create_connection(("127.0.0.2", self.port), timeout=10).close()
        send(self.port, report("10.0.0.1"))
        self.assertTrue(wait_until(lambda: self.recorded(), 30))
        self.server.stop()

        # An address not on this machine: said once; the server runs on.
        server = self.start(ListenAddress="192.0.2.1")
        self.assertTrue(server.wait_for_line("Crash in Run Server Socket: cannot listen on "
                                             'ListenAddress "192.0.2.1"'))
        self.assertEqual(listening_addresses(self.port), set())
        self.assertEqual(server.stop(), 0)  # it ran on, and ends as it should
        self.assertEqual(len(self.lines_with("Crash")), 1, server.lines)

    def test_a_port_in_use_is_said_once_and_listened_on_once_it_is_free(self):
        holder = socket.socket()
        self.addCleanup(holder.close)
        holder.bind(("0.0.0.0", 0))
        holder.listen(1)
        port = holder.getsockname()[1]
        server = self.start(port=port)
        self.assertTrue(server.wait_for_line("Crash in Run Server Socket: cannot listen on port %d: "
                                             "Address already in use; trying again every 3 "
                                             "seconds" % port, timeout=30), server.lines)
        time.sleep(7)  # two more tries
        self.assertEqual(len(self.lines_with("cannot listen")), 1, server.lines)
        holder.close()
        self.assertTrue(server.wait_for_line("Listening on port %d now" % port, timeout=30),
                        server.lines)
        self.assertTrue(wait_for_port(port))
        self.send_until_recorded("alice")
        self.assertEqual(server.stop(), 0)


if __name__ == "__main__":
    unittest.main()
