"""End-to-end tests of the install layout and the Debian package: the build
installed into temporary folders and packed with CPack, then checked with
dpkg-deb, lintian, systemd-analyze and man, and run from the installed
programs alone."""

import glob
import gzip
import os
import re
import shutil
import socket
import subprocess
import tempfile
import unittest

from e2e_util import (BIN, SOURCE, Install, RecordingHttpServer, Server, free_port,
                      wait_for_port, wait_until)

BUILD = os.path.dirname(os.path.abspath(BIN))
UNIT = "usr/lib/systemd/system/VantryServer.service"
MANUALS = ["usr/share/man/man8/Orbeline.8.gz", "usr/share/man/man8/QuorvaneServerConfig.8.gz",
           "usr/share/man/man1/Notivo.1.gz", "usr/share/man/man1/ledgerix.1.gz"]
EXPECTED_FILES = sorted([
    "usr/sbin/Orbeline", "usr/bin/Notivo", "usr/bin/ledgerix", "usr/bin/QuorvaneServerConfig",
    UNIT, "usr/share/quorvane/templates/En/email",
    "usr/share/doc/quorvane-server/copyright", "usr/share/doc/quorvane-server/changelog.gz",
    "usr/share/doc/quorvane-server/README.md.gz",
] + MANUALS)
MAX_EXPOSURE = 2.0


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, timeout=300, **kwargs)


def checked(args, **kwargs):
    result = run(args, **kwargs)
    if result.returncode != 0:
        raise AssertionError("%s failed (%d):\n%s%s" % (args, result.returncode, result.stdout,
                                                        result.stderr))
    return result


def files_under(root):
    found = []
    for folder, _, names in os.walk(root):
        found += [os.path.relpath(os.path.join(folder, n), root) for n in names]
    return sorted(found)


def exposure(unit_path):
    result = run(["systemd-analyze", "security", "--offline=true", unit_path])
    match = re.search(r"Overall exposure level for \S+: ([0-9.]+)", result.stdout)
    if not match:
        raise AssertionError("no exposure figure:\n" + result.stdout + result.stderr)
    return float(match.group(1))


class Sandbox:
    """A throw-away copy of this machine for dpkg: the root file system under
    an overlay whose changes go to `folder`, entered with chroot in a private
    mount namespace, with the package's folder at /mnt/package. Installing,
    adding the account and the package's scripts happen there as on a real
    server; this machine's own /etc and /var/lib are never written."""

    def __init__(self, folder, package_folder):
        self.paths = {name: os.path.join(folder, name) for name in ("upper", "work", "merged")}
        for path in self.paths.values():
            os.makedirs(path)
        self.package_folder = package_folder

    def run(self, script):
        """Runs `script` with sh inside; its output, or an AssertionError."""
        merged = self.paths["merged"]
        enter = ('set -e\n'
                 'mount -t overlay overlay -o lowerdir=/,upperdir="$2",workdir="$3" "$4"\n'
                 'mount --rbind /dev "$4/dev"\n'
                 'mount -t proc proc "$4/proc"\n'
                 'mount -t tmpfs tmpfs "$4/run"\n'
                 'mkdir -p "$4/mnt/package"\n'
                 'mount --bind "$5" "$4/mnt/package"\n'
                 'exec chroot "$4" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin'
                 ' /bin/sh -ec "$1" 2>&1\n')
        return checked(["unshare", "--mount", "--propagation", "private", "sh", "-c", enter, "sh",
                        script, self.paths["upper"], self.paths["work"], merged,
                        self.package_folder]).stdout


class PackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="quorvane-package-")
        # The package's layout under DESTDIR, and a second install whose
        # prefix really exists, so the unit's programs can be checked.
        cls.dest = os.path.join(cls.root, "dest")
        checked(["cmake", "--install", BUILD, "--prefix", "/usr"],
                env=dict(os.environ, DESTDIR=cls.dest))
        cls.prefix = os.path.join(cls.root, "prefix", "usr")
        checked(["cmake", "--install", BUILD, "--prefix", cls.prefix])
        checked(["cpack", "--config", os.path.join(BUILD, "CPackConfig.cmake"),
                 "-B", os.path.join(cls.root, "cpack")])
        debs = glob.glob(os.path.join(cls.root, "cpack", "*.deb"))
        assert len(debs) == 1, debs
        cls.deb = debs[0]
        cls.unpacked = os.path.join(cls.root, "unpacked")
        checked(["dpkg-deb", "-x", cls.deb, cls.unpacked])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.root, ignore_errors=True)

    def installed(self, relative):
        return os.path.join(self.dest, relative)

    def field(self, name):
        return checked(["dpkg-deb", "-f", self.deb, name]).stdout.strip()

    def test_package_holds_the_layout_and_names_its_dependencies(self):
        self.assertEqual(files_under(self.unpacked), EXPECTED_FILES)
        self.assertEqual(files_under(self.dest), EXPECTED_FILES)
        version = self.field("Version")
        arch = checked(["dpkg", "--print-architecture"]).stdout.strip()
        self.assertEqual(os.path.basename(self.deb),
                         "quorvane-server_%s_%s.deb" % (version, arch))
        for name in ("ledgerix", "Notivo", "QuorvaneServerConfig"):
            result = checked([self.installed("usr/bin/" + name), "--version"])
            self.assertEqual(result.stdout, "%s %s\n" % (name, version))
        depends = self.field("Depends")
        for library in ("libcurl4", "libsqlite3-0", "libsystemd0", "libmicrohttpd12", "libc6",
                        "adduser"):
            self.assertRegex(depends, r"(^|, )%s\b" % library)
        scripts = checked(["dpkg-deb", "-I", self.deb]).stdout
        for script in ("postinst", "prerm", "postrm"):
            self.assertRegex(scripts, r"\b%s\b" % script)
        with open(os.path.join(self.unpacked, UNIT)) as f:
            unit = f.read()
        with open(self.installed(UNIT)) as f:
            self.assertEqual(f.read(), unit)
        self.assertIn("\nExecStart=/usr/sbin/Orbeline\n", unit)
        self.assertIn("\nUser=quorvane\n", unit)
        self.assertIn("\nReadWritePaths=/var/lib/quorvane\n", unit)
        self.assertIn("\nUMask=0077\n", unit)
        # Nothing installed points back into the build or the sources: no
        # text names them, no program looks for libraries there.
        for relative in EXPECTED_FILES:
            path = os.path.join(self.unpacked, relative)
            if "bin/" in relative:
                dynamic = checked(["readelf", "-d", path]).stdout
                self.assertNotRegex(dynamic, r"\((RPATH|RUNPATH)\)", relative)
                continue
            with open(path, "rb") as f:
                data = f.read()
            if relative.endswith(".gz"):
                data = gzip.decompress(data)
            for tree in (BUILD, os.path.abspath(SOURCE)):
                self.assertNotIn(tree.encode(), data, relative)

    @unittest.skipUnless(os.geteuid() == 0 and shutil.which("unshare"),
                         "installing the package in a sandbox needs root and unshare")
    def test_install_reinstall_and_purge_keep_the_account_to_its_own(self):
        box = Sandbox(os.path.join(self.root, "sandbox"), os.path.dirname(self.deb))
        install = "dpkg -i /mnt/package/" + os.path.basename(self.deb)
        modes = "stat -c '%n %U:%G %a %F' "
        data, config = "/var/lib/quorvane", "/etc/quorvane/registry.reg"
        out = box.run("rm -rf /etc/quorvane /var/lib/quorvane\n" + install)
        self.assertIn("\"Securing the agents' port\" in "
                      "/usr/share/doc/quorvane-server/README.md.gz", out)
        out = box.run(modes + " ".join([config, data, data + "/Logs"]) +
                      "\nQuorvaneServerConfig show")
        self.assertIn(config + " root:quorvane 640 regular file", out)
        self.assertIn(data + " quorvane:quorvane 710 directory", out)
        self.assertIn(data + "/Logs quorvane:quorvane 1770 directory", out)
        for value in ("AgentAddressCheck 1", "DBServerPort 8585", "apppath " + data + "/"):
            self.assertRegex(out, r"(?m)^%s$" % value.replace(" ", " +"))

        # The account swaps Logs/ for a link to a folder of root's, and an
        # earlier version left a database readable by the group; the
        # administrator turns the address check off. Then a reinstall.
        box.run("mkdir -m 0755 /srv/victim && echo x > /srv/victim/f\n"
                "cd " + data + " && setpriv --reuid=quorvane --regid=quorvane --clear-groups"
                " -- sh -c 'rmdir Logs && ln -s /srv/victim Logs"
                " && echo db > webfilter.dbs && chmod 0640 webfilter.dbs'\n"
                "QuorvaneServerConfig set AgentAddressCheck 0")
        out = box.run(install)
        self.assertIn(data + "/Logs is not a folder", out)
        out = box.run(modes + "/srv/victim /srv/victim/f " + data + "/Logs " + config + " " +
                      data + "/webfilter.dbs" +
                      "\nreadlink " + data + "/Logs\nQuorvaneServerConfig get AgentAddressCheck")
        self.assertEqual(out.splitlines(), [
            "/srv/victim root:root 755 directory", "/srv/victim/f root:root 644 regular file",
            data + "/Logs quorvane:quorvane 777 symbolic link",
            config + " root:quorvane 640 regular file",
            data + "/webfilter.dbs quorvane:quorvane 600 regular file", "/srv/victim", "0"])

        out = box.run("dpkg --purge quorvane-server\n"
                      "ls -d /etc/quorvane /var/lib/quorvane 2>/dev/null || :\n"
                      "cat /srv/victim/f")
        self.assertEqual(out.splitlines()[-1:], ["x"])
        self.assertNotIn("/quorvane\n", out)

    def test_lintian_reports_no_error(self):
        result = run(["lintian", "--fail-on", "error", self.deb])
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertNotRegex(result.stdout, r"(?m)^E: ")

    def test_units_verify_clean_and_the_packaged_one_is_confined(self):
        result = run(["systemd-analyze", "verify", os.path.join(self.prefix, "lib/systemd/system",
                                                                 os.path.basename(UNIT))],
                     env=dict(os.environ, MANPATH=os.path.join(self.prefix, "share", "man")))
        self.assertEqual((result.returncode, result.stdout + result.stderr), (0, ""))
        figure = exposure(os.path.join(self.unpacked, UNIT))
        print("\npackaged unit: exposure %.1f" % figure)
        self.assertLessEqual(figure, MAX_EXPOSURE)

        # Registered by hand, the program writes a unit that is just as
        # valid; beside a packaged unit it writes none and leaves that one.
        with Install() as install:
            checked([os.path.join(BIN, "Orbeline"), "-Service"], env=install.env())
            written = os.path.join(install.unit_dir, "VantryServer.service")
            result = run(["systemd-analyze", "verify", written])
            self.assertEqual((result.returncode, result.stdout + result.stderr), (0, ""))
            print("unit written by Orbeline -Service: exposure %.1f" % exposure(written))
            os.remove(written)
            installed_server = self.installed("usr/sbin/Orbeline")
            checked([installed_server, "-Service"], env=install.env())
            self.assertEqual(os.listdir(install.unit_dir), [])
            checked([installed_server, "-UnregServer"], env=install.env())
            self.assertTrue(os.path.exists(self.installed(UNIT)))

    def test_installed_programs_serve_an_agent_and_send_its_contact(self):
        port = free_port()
        with Install(values={"DBServerPort": port}) as install, RecordingHttpServer() as endpoint:
            install.values.update(apppPath=install.install, NotifyHost=endpoint.url_host)
            install.write_registry()
            os.makedirs(install.path("templates/En"))
            shutil.copy(self.installed("usr/share/quorvane/templates/En/email"),
                        install.path("templates/En/email"))
            # Only the installed programs can be found: the server looks
            # beside itself (usr/sbin), then on this PATH.
            env = install.env(PATH=self.installed("usr/bin") + ":/usr/bin:/bin")
            with Server(install, env=env, exe=self.installed("usr/sbin/Orbeline")) as server:
                self.assertTrue(wait_for_port(port, 30), server.lines + server.err_lines)
                with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
                    s.sendall(b"<user>alice</user><computer>PC-7</computer>"
                              b"<ip>192.168.0.7</ip>\n")
                logip = install.path("Logs/logip2.log")

                def listed():
                    return (os.path.exists(logip) and
                            b"alice,192.168.0.7,PC-7,1\r\n" in open(logip, "rb").read())
                self.assertTrue(wait_until(listed, 30), server.lines + server.err_lines)
                self.assertEqual(server.stop(timeout=30), 0)
            listing = checked([self.installed("usr/bin/ledgerix"), "7"], env=env).stdout
            report = os.path.join(install.root, "report")
            with open(report, "w") as f:
                f.write(listing)
            checked([self.installed("usr/bin/Notivo"), "admin@example.com", report, "1"], env=env)
            self.assertTrue(endpoint.wait_for_requests(1))
            body = endpoint.requests[0]["body"]
            self.assertIn(b"alice,192.168.0.7,PC-7,1", body)
            self.assertIn(b"Quorvane web filter", body)  # from the installed template
            self.assertTrue(body.endswith(b"&userid=admin@example.com"))

    def test_manual_pages_render_without_warnings_and_name_every_value(self):
        env = dict(os.environ, MANWIDTH="80", LC_ALL="C.UTF-8")
        for relative in MANUALS:
            result = run(["man", "--warnings", "-l", self.installed(relative)], env=env)
            self.assertEqual((result.returncode, result.stderr), (0, ""), relative)
            self.assertIn("EXIT STATUS", result.stdout, relative)
        # The configuration tool's help lists the settings table.
        helped = checked([self.installed("usr/bin/QuorvaneServerConfig"), "--help"]).stdout
        names = re.findall(r"(?m)^  (\S+) ", helped)
        self.assertIn("DBServerPort", names)
        with gzip.open(self.installed(MANUALS[1]), "rt") as f:
            page = f.read()
        for name in names:
            self.assertRegex(page, r"\b%s\b" % name)


if __name__ == "__main__":
    unittest.main()
