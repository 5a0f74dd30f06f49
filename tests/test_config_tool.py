"""End-to-end tests of QuorvaneServerConfig on a registry file in a temporary
folder."""

import os
import shutil
import stat
import subprocess
import tempfile
import unittest

import e2e_util

KEY = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]"


class ConfigToolTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.mkdtemp(prefix="quorvane-config-")
        self.registry = os.path.join(self.root, "etc", "registry.reg")
        os.mkdir(os.path.dirname(self.registry))

    def tearDown(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def tool(self, *args):
        env = dict(os.environ, QUORVANE_REGISTRY=self.registry)
        return subprocess.run([e2e_util.program("QuorvaneServerConfig"), *args], env=env,
                              capture_output=True, text=True, errors="replace", timeout=60)

    def ok(self, *args):
        result = self.tool(*args)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout

    def file_bytes(self):
        with open(self.registry, "rb") as f:
            return f.read()

    def write_file(self, data):
        os.makedirs(os.path.dirname(self.registry), exist_ok=True)
        with open(self.registry, "wb") as f:
            f.write(data)

    def shown(self):
        values = {}
        for line in self.ok("show").splitlines():
            name, _, value = line.partition(" ")
            values[name] = value.strip()
        return values

    def test_set_get_show_unset(self):
        shown = self.shown()
        self.assertEqual(len(shown), 22)
        self.assertTrue(all(v == "(not set)" for v in shown.values()), shown)
        help_lines = self.ok("help").splitlines()
        self.assertTrue(help_lines[0].startswith("usage:"))
        for name in shown:
            self.assertTrue(any(line.split()[:1] == [name] for line in help_lines), name)

        self.ok("set", "dbserverport", "8585")
        self.ok("set", "APPPATH", "/srv/quorvane")
        self.ok("set", "apppPath", "/srv/quorvane/")
        self.ok("set", "ReportTime", "9")
        self.ok("set", "RegDaily", "1")
        self.ok("set", "regweekly", "0")
        self.ok("set", "NotifyHost", "mail.example.com:8080")
        self.assertEqual(self.ok("get", "DBServerPort"), "8585\n")
        self.assertEqual(self.ok("get", "apppath"), "/srv/quorvane/\n")
        shown = self.shown()
        self.assertEqual(shown["RegDaily"], "1")
        self.assertEqual(shown["RegWeekly"], "0")
        self.assertEqual(shown["RegMonthly"], "(not set)")
        self.assertEqual(shown["ReportTime"], "9")

        text = self.file_bytes().decode("latin-1")
        self.assertTrue(text.startswith("Windows Registry Editor Version 5.00"))
        self.assertIn(KEY, text)
        self.assertIn('"DBServerPort"=dword:00002189', text)
        self.assertIn('"RegWeekly"=dword:00000000', text)
        self.assertIn('"apppath"="/srv/quorvane/"', text)
        self.assertIn('"ReportTime"="9"', text)
        self.assertEqual(os.listdir(os.path.dirname(self.registry)), ["registry.reg"])

        self.ok("unset", "DBSERVERPORT")
        self.assertNotIn("DBServerPort", self.file_bytes().decode("latin-1"))
        result = self.tool("get", "DBServerPort")
        self.assertEqual(result.returncode, 1)
        self.assertIn("not set", result.stderr)
        self.ok("unset", "DBServerPort")  # unsetting twice is no error

    def test_values_are_rewritten_in_their_canonical_spelling(self):
        self.write_file(("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\software\\quorvane]\n"
                         '"dbserverport"=dword:00000050\n').encode())
        self.assertEqual(self.ok("get", "DBServerPort"), "80\n")
        self.ok("set", "DBServerPort", "8080")
        text = self.file_bytes().decode()
        self.assertIn('"DBServerPort"=dword:00001f90', text)
        self.assertNotIn("dbserverport", text)

    def test_email_address_is_stored_scrambled(self):
        # "U" raised by seven is a backslash, which the file must escape.
        address = "Ulrike.Ross@example.com"
        self.ok("set", "emailaddress", address)
        self.assertEqual(self.ok("get", "EmailAddress"), address + "\n")
        scrambled = bytes((b + 7) % 256 for b in address.encode())
        escaped = scrambled.replace(b"\\", b"\\\\").replace(b'"', b'\\"')
        self.assertIn(b'"EmailAddress"="' + escaped + b'"', self.file_bytes())
        self.assertNotIn(address.encode(), self.file_bytes())

    def test_rejected_values_leave_the_file_unchanged(self):
        self.ok("set", "DBServerPort", "8585")
        self.ok("set", "EmailAddress", "admin@example.com")
        before = self.file_bytes()
        cases = [
            ("DBServerPort", "0"), ("DBServerPort", "65536"), ("DBServerPort", "80a"),
            ("DBServerPort", "-1"), ("RegDaily", "2"), ("RegMonFilter", "yes"),
            ("ReportTime", "24"), ("ReportTime", ""), ("ReportTime", "9am"),
            ("apppath", "relative/folder"), ("apppath", ""),
            ("EmailAddress", ""), ("EmailAddress", "a b@example.com"),
            ("EmailAddress", "a\x7fb@example.com"),
            ("NotifyHost", "host:0"), ("NotifyHost", "http://host/"), ("NotifyHost", ""),
            ("NoSuchValue", "1"),
        ]
        for name, value in cases:
            with self.subTest(name=name, value=value):
                result = self.tool("set", name, value)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn(name, result.stderr)
                self.assertEqual(self.file_bytes(), before)

        result = self.tool("set", "ReportTime", "09")
        self.assertEqual(result.returncode, 1)
        self.assertIn('"9"', result.stderr)
        self.assertEqual(self.file_bytes(), before)

        for args in ([], ["frob"], ["get"], ["set", "RegDaily"], ["show", "x"],
                     ["unset", "a", "b"]):
            with self.subTest(args=args):
                result = self.tool(*args)
                self.assertEqual(result.returncode, 2)
                self.assertIn("usage:", result.stderr)
                self.assertEqual(self.file_bytes(), before)

    def test_other_keys_and_windows_files_are_kept(self):
        bom_file = ("Windows Registry Editor Version 5.00\r\n\r\n"
                    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\r\n"
                    '"apppath"="/opt/q/"\r\n"Custom"=hex:01,02\r\n\r\n'
                    "[HKEY_CLASSES_ROOT\\AppID\\{5E7D2C41-8A3B-4F0E-9C6D-2B1A0F3E4D51}]\r\n"
                    '@="Orbeline"\r\n')
        # As the registry editor saves it, and as some text editors do: no mark.
        for mark in (b"\xff\xfe", b""):
            with self.subTest(mark=mark):
                self.write_file(mark + bom_file.encode("utf-16-le"))
                result = self.tool("get", "apppath")
                self.assertEqual((result.returncode, result.stdout, result.stderr),
                                 (0, "/opt/q/\n", ""))
                self.ok("set", "RegDayFilter", "1")
                text = self.file_bytes().decode()
                self.assertIn('"apppath"="/opt/q/"', text)
                self.assertIn('"Custom"=hex:01,02', text)
                self.assertIn('"RegDayFilter"=dword:00000001', text)
                self.assertIn("[HKEY_CLASSES_ROOT\\AppID\\{5E7D2C41-8A3B-4F0E-9C6D-2B1A0F3E4D51}]\n"
                              '@="Orbeline"', text)

    def test_a_file_it_cannot_read_whole_is_never_rewritten(self):
        damaged = ("Windows Registry Editor Version 5.00\r\n\r\n"
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]\r\n"
                   '"DBServerPort"=dword:00002189\r\n"apppath"="/opt/q/\r\n'
                   '"ReportTime"="9"\r\n').encode()
        big_endian = "\ufeffWindows Registry Editor Version 5.00\r\n".encode("utf-16-be")
        for data, line in ((damaged, 5), (b"\x00\x01garbage\n", 1), (big_endian, 1)):
            with self.subTest(line=line, data=data[:12]):
                self.write_file(data)
                for args in (["set", "RegDaily", "1"], ["unset", "ReportTime"]):
                    result = self.tool(*args)
                    self.assertEqual(result.returncode, 1, args)
                    self.assertIn("registry.reg", result.stderr)
                    self.assertIn("line %d cannot be read" % line, result.stderr)
                    self.assertEqual(self.file_bytes(), data)
                    self.assertEqual(os.listdir(os.path.dirname(self.registry)), ["registry.reg"])
        # What can be read is shown as the server reads it, with the line named.
        self.write_file(damaged)
        result = self.tool("get", "ReportTime")
        self.assertEqual(result.stdout, "9\n")
        self.assertIn("line 5 cannot be read", result.stderr)

    def test_unreadable_registry_is_never_replaced(self):
        os.makedirs(self.registry)  # something that exists but is no file
        result = self.tool("set", "RegDaily", "1")
        self.assertEqual(result.returncode, 1)
        self.assertIn("registry.reg", result.stderr)
        self.assertTrue(os.path.isdir(self.registry))
        self.assertEqual(os.listdir(os.path.dirname(self.registry)), ["registry.reg"])
        for args in (["show"], ["get", "RegDaily"]):
            result = self.tool(*args)
            self.assertEqual(result.returncode, 1, args)
            self.assertIn("cannot read", result.stderr)

    def test_only_a_regular_file_is_replaced_and_a_missing_folder_is_not_made(self):
        # A device (root makes one for the test) or a link under the name
        # is refused and left exactly as it was, as is the link's target.
        target = os.path.join(self.root, "target")
        with open(target, "wb") as f:
            f.write(b"not the registry\n")
        os.chmod(target, 0o604)
        os.symlink(target, self.registry)
        cases = [("link", lambda: os.lstat(self.registry))]
        if os.geteuid() == 0:
            device = os.path.join(self.root, "etc", "device.reg")
            os.mknod(device, 0o600 | stat.S_IFCHR, os.makedev(1, 3))
            cases.append(("device", lambda: os.lstat(device)))
        for name, what in cases:
            with self.subTest(name):
                path = self.registry if name == "link" else device
                before = what()
                env = dict(os.environ, QUORVANE_REGISTRY=path)
                result = subprocess.run(
                    [e2e_util.program("QuorvaneServerConfig"), "set", "DBServerPort", "9000"],
                    env=env, capture_output=True, text=True, timeout=60)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn(path + " is not a regular file", result.stderr)
                after = what()
                self.assertEqual((after.st_mode, after.st_rdev, after.st_ino, after.st_uid),
                                 (before.st_mode, before.st_rdev, before.st_ino, before.st_uid))
        with open(target, "rb") as f:
            self.assertEqual(f.read(), b"not the registry\n")
        self.assertEqual(stat.S_IMODE(os.stat(target).st_mode), 0o604)
        self.assertFalse([n for n in os.listdir(os.path.dirname(self.registry)) if ".tmp" in n])

        # A new file gets the package's mode whatever the umask; a folder
        # that is not there is not made.
        os.remove(self.registry)
        old = os.umask(0o022)
        try:
            self.ok("set", "DBServerPort", "9000")
        finally:
            os.umask(old)
        self.assertEqual(stat.S_IMODE(os.stat(self.registry).st_mode), 0o640)
        self.registry = os.path.join(self.root, "missing", "registry.reg")
        result = self.tool("set", "DBServerPort", "9000")
        self.assertEqual(result.returncode, 1)
        self.assertIn("does not exist", result.stderr)
        self.assertFalse(os.path.exists(os.path.dirname(self.registry)))


if __name__ == "__main__":
    unittest.main()
