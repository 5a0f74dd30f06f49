"""End-to-end tests of Orbeline's start, registration and control: the built
program run against a registry file and a unit folder in a temporary folder."""

import os
import re
import signal
import socket
import subprocess
import unittest

from e2e_util import Install, Server, program, free_port, wait_until

GUID = "{5E7D2C41-8A3B-4F0E-9C6D-2B1A0F3E4D51}"
GUID_KEY = "HKEY_CLASSES_ROOT\\AppID\\" + GUID
EXE_KEY = "HKEY_CLASSES_ROOT\\AppID\\Orbeline.EXE"
PORT_MESSAGE = ("Unable to get the Server port from registry. Please run "
                "QuorvaneServerConfig.exe in order to fix this problem")
PATH_MESSAGE = ("Unable to get the Server Path from registry. Please run "
                "QuorvaneServerConfig.exe in order to fix this problem")


def read_registry(path):
    """Sections of a .reg file: lower-cased key -> {lower-cased value name: text}.
    String values are unquoted; other values are kept as written."""
    keys = {}
    current = None
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\r\n")
            if line.startswith("[") and line.endswith("]"):
                current = keys.setdefault(line[1:-1].lower(), {})
                continue
            match = re.match(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$', line)
            if match and current is not None:
                name = "" if match.group(1) == "@" else match.group(1)[1:-1]
                value = match.group(2)
                if value.startswith('"'):
                    value = value[1:-1].replace('\\"', '"').replace("\\\\", "\\")
                current[name.lower()] = value
    return keys


def configured(install, **extra):
    """An install whose port and paths are set, so the server starts quietly."""
    values = {"DBServerPort": free_port(), "apppPath": install.install}
    values.update(extra)
    install.values.update(values)
    install.write_registry()
    return install


def run(install, *args, env=None):
    return subprocess.run([program("Orbeline"), *args], capture_output=True, text=True,
                          env=env or install.env(), cwd=install.root, timeout=60)


NOT_REGISTERED = ("VantryServer: Orbeline is not registered: run Orbeline -RegServer (or Orbeline "
                  "-Service for a service) first")


def unit_file(install):
    return os.path.join(install.unit_dir, "VantryServer.service")


def stays_alive(proc, seconds=1.0):
    """True when the process is still running after `seconds`."""
    return not wait_until(lambda: proc.poll() is not None, timeout=seconds)


class NeverRegisteredTest(unittest.TestCase):
    def test_ends_at_once_with_code_2_after_the_two_messages(self):
        with Install(registered=False, apppath=False) as install:
            result = run(install)
            self.assertEqual(result.returncode, 2)
            self.assertEqual(result.stdout.splitlines(), [PORT_MESSAGE, PATH_MESSAGE])
            self.assertNotIn("Service started", result.stdout)
            self.assertEqual(result.stderr, NOT_REGISTERED + "\n")

    def test_a_registry_file_it_cannot_read_is_named(self):
        with Install(registered=False, apppath=False) as install:
            with open(install.registry, "w") as f:
                f.write("[Quorvane]\nport = 8585\n")
            result = run(install)
            self.assertEqual(result.returncode, 2)
            self.assertEqual(result.stdout.splitlines(), [
                "The registry file %s cannot be read: line 1 cannot be read: [Quorvane] "
                "(and 1 more)" % install.registry, PORT_MESSAGE, PATH_MESSAGE])
            # Saved as UTF-16 without a byte-order mark, a configured file is read.
            configured(install)
            with open(install.registry) as f:
                text = f.read()
            with open(install.registry, "wb") as f:
                f.write(text.encode("utf-16-le"))
            result = run(install)
            self.assertEqual((result.returncode, result.stdout), (2, ""))

    def test_configured_but_unregistered_still_ends_with_2(self):
        with Install(registered=False) as install:
            configured(install)
            for args in ([], ["-Service", "x"], ["-RegServerx"], ["--version", "x"], ["-version"]):
                result = run(install, *args)
                self.assertEqual(result.returncode, 2, args)
                self.assertEqual(result.stdout, "", args)
                self.assertEqual(result.stderr, NOT_REGISTERED + "\n", args)
            # Asked for its version, it answers and starts nothing.
            result = run(install, "--version")
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertRegex(result.stdout, r"^Orbeline \d+\.\d+\.\d+\.\d+\n$")


class RegistrationTest(unittest.TestCase):
    def test_regserver_writes_appid_entries_without_local_service(self):
        with Install(registered=False) as install:
            configured(install)
            result = run(install, "-RegServer")
            self.assertEqual(result.returncode, 0, result.stderr)
            keys = read_registry(install.registry)
            self.assertEqual(keys[GUID_KEY.lower()], {"": "Orbeline"})
            self.assertEqual(keys[EXE_KEY.lower()], {"appid": GUID})
            # The configuration under HKEY_LOCAL_MACHINE is kept as it was.
            quorvane = keys["hkey_local_machine\\software\\quorvane"]
            self.assertEqual(quorvane["apppath"], install.install)
            self.assertEqual(os.listdir(install.unit_dir), [])

    def test_service_switch_in_any_case_writes_service_values_and_unit(self):
        exe = os.path.realpath(program("Orbeline"))
        for switch in ("/SERVICE", "-service", "/SeRvIcE"):
            with self.subTest(switch=switch), Install(registered=False) as install:
                configured(install)
                result = run(install, switch)
                self.assertEqual(result.returncode, 0, result.stderr)
                entries = read_registry(install.registry)[GUID_KEY.lower()]
                self.assertEqual(entries, {"": "Orbeline", "localservice": "Orbeline",
                                           "serviceparameters": "-Service"})
                with open(unit_file(install)) as f:
                    unit = f.read().splitlines()
                self.assertIn("Type=notify", unit)
                self.assertIn("ExecStart=" + exe, unit)
                self.assertNotIn("[Install]", unit)

    def test_regserver_after_service_drops_local_service_and_the_unit(self):
        with Install(registered=False) as install:
            configured(install)
            self.assertEqual(run(install, "-Service").returncode, 0)
            self.assertEqual(run(install, "-RegServer").returncode, 0)
            entries = read_registry(install.registry)[GUID_KEY.lower()]
            self.assertNotIn("localservice", entries)
            self.assertFalse(os.path.exists(unit_file(install)))

    def test_registering_again_replaces_an_earlier_unit(self):
        with Install(registered=False) as install:
            configured(install)
            with open(unit_file(install), "w") as f:
                f.write("[Service]\nExecStart=/old/Orbeline\n")
            self.assertEqual(run(install, "-Service").returncode, 0)
            with open(unit_file(install)) as f:
                text = f.read()
            self.assertNotIn("/old/Orbeline", text)
            self.assertIn("Type=notify", text)

    def test_unregserver_removes_both_keys_and_the_unit_but_not_the_parent(self):
        with Install(registered=False) as install:
            configured(install)
            self.assertEqual(run(install, "-Service").returncode, 0)
            result = run(install, "-UnregServer")
            self.assertEqual(result.returncode, 0, result.stderr)
            keys = read_registry(install.registry)
            self.assertNotIn(GUID_KEY.lower(), keys)
            self.assertNotIn(EXE_KEY.lower(), keys)
            self.assertIn("hkey_classes_root\\appid", keys)
            self.assertFalse(os.path.exists(unit_file(install)))
            self.assertEqual(run(install).returncode, 2)

    def test_missing_unit_folder_fails_registration_with_a_message(self):
        with Install(registered=False) as install:
            configured(install)
            env = install.env(QUORVANE_UNIT_DIR=os.path.join(install.root, "no-such-folder"))
            result = run(install, "-Service", env=env)
            self.assertNotEqual(result.returncode, 0)
            self.assertEqual(result.stderr, "VantryServer: Couldn't open service manager: the unit "
                             "folder %s is missing or not writable; nothing was registered\n"
                             % env["QUORVANE_UNIT_DIR"])
            # Nothing registered: a start still says so.
            self.assertNotIn(GUID_KEY.lower(), read_registry(install.registry))
            self.assertEqual(run(install).returncode, 2)
            # -RegServer needs no service, so it still succeeds there.
            self.assertEqual(run(install, "-RegServer", env=env).returncode, 0)

    def test_a_unit_that_cannot_be_removed_fails_both_switches(self):
        with Install(registered=False) as install:
            configured(install)
            os.makedirs(unit_file(install))  # in the way, and no file to delete
            for switch in ("-UnregServer", "-Service"):
                result = run(install, switch)
                self.assertNotEqual(result.returncode, 0, switch)
                self.assertIn("VantryServer: Couldn't open service", result.stderr)


class OrdinaryRunTest(unittest.TestCase):
    def test_runs_until_sigterm_and_ignores_sighup(self):
        with Install(registered=False) as install:
            configured(install)
            self.assertEqual(run(install, "-RegServer").returncode, 0)
            with Server(install) as server:
                self.assertTrue(server.wait_for_line("Service started", 30), server.err_lines)
                server.proc.send_signal(signal.SIGHUP)
                self.assertTrue(stays_alive(server.proc))
                self.assertEqual(server.stop(signal.SIGTERM, timeout=30), 0)

    def test_sigint_ends_it_cleanly_too(self):
        with Install() as install:
            configured(install)
            with Server(install) as server:
                self.assertTrue(server.wait_for_line("Service started", 30))
                self.assertEqual(server.stop(signal.SIGINT, timeout=30), 0)

    def test_missing_configuration_is_reported_and_the_server_still_runs(self):
        with Install(apppath=False) as install:
            install.values["DBServerPort"] = free_port()
            install.write_registry()
            with Server(install) as server:
                self.assertTrue(server.wait_for_line("Service started", 30))
                self.assertEqual(server.lines[0], PATH_MESSAGE)
                self.assertEqual(server.stop(timeout=30), 0)

    def test_service_switch_with_an_argument_after_it_just_runs(self):
        with Install() as install:
            configured(install)
            with Server(install, args=["-Service", "x"]) as server:
                self.assertTrue(server.wait_for_line("Service started", 30))
                self.assertEqual(server.stop(timeout=30), 0)
            entries = read_registry(install.registry)[GUID_KEY.lower()]
            self.assertNotIn("localservice", entries)
            self.assertEqual(os.listdir(install.unit_dir), [])

    def test_registered_as_service_but_started_by_hand_runs_as_ordinary_process(self):
        with Install(registered=False) as install:
            configured(install)
            self.assertEqual(run(install, "-Service").returncode, 0)
            with Server(install) as server:
                self.assertTrue(server.wait_for_line("Service started", 30))
                self.assertEqual(server.stop(timeout=30), 0)


class NotifySocket:
    """A datagram socket standing in for systemd's notification socket."""

    def __init__(self, folder):
        self.path = os.path.join(folder, "notify")
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
        self.sock.bind(self.path)
        self.messages = []

    def wait_for(self, text, timeout=30):
        """Receives until a datagram holds the line `text`."""
        self.sock.settimeout(timeout)
        while not any(text in m.split("\n") for m in self.messages):
            try:
                self.messages.append(self.sock.recv(4096).decode())
            except socket.timeout:
                return False
        return True

    def close(self):
        self.sock.close()


class ServiceModeTest(unittest.TestCase):
    def test_reports_ready_and_stopping_to_the_notify_socket(self):
        with Install(registered=False) as install:
            configured(install)
            self.assertEqual(run(install, "-Service").returncode, 0)
            notify = NotifySocket(install.root)
            try:
                with Server(install, env=install.env(NOTIFY_SOCKET=notify.path)) as server:
                    self.assertTrue(notify.wait_for("READY=1"), notify.messages)
                    self.assertFalse(any("STOPPING=1" in m for m in notify.messages))
                    server.proc.send_signal(signal.SIGHUP)
                    self.assertTrue(stays_alive(server.proc))
                    self.assertFalse(any("STOPPING=1" in m for m in notify.messages))
                    server.proc.send_signal(signal.SIGTERM)
                    self.assertTrue(notify.wait_for("STOPPING=1"), notify.messages)
                    self.assertEqual(server.proc.wait(30), 0)
                    # In service mode messages go to the system log, not stdout.
                    self.assertNotIn("Service started", server.lines)
                notify.wait_for("STATUS=Stopped", timeout=5)
                order = [m for m in notify.messages if m in ("READY=1", "STOPPING=1")]
                self.assertEqual(order, ["READY=1", "STOPPING=1"])
            finally:
                notify.close()

    def test_notify_socket_without_service_registration_runs_ordinarily(self):
        with Install() as install:
            configured(install)
            notify = NotifySocket(install.root)
            try:
                with Server(install, env=install.env(NOTIFY_SOCKET=notify.path)) as server:
                    self.assertTrue(server.wait_for_line("Service started", 30))
                    self.assertEqual(server.stop(timeout=30), 0)
                self.assertFalse(notify.wait_for("READY=1", timeout=0.5))
            finally:
                notify.close()


if __name__ == "__main__":
    unittest.main()
