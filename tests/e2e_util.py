"""Helpers shared by the end-to-end tests: a temporary install, its registry
file and logs, free ports, and the built programs started with the right
environment, and what a rendered page's picture holds."""

import base64
import glob
import os
import shutil
import socket
import struct
import subprocess
import tempfile
import threading
import time
import unittest
import zlib

BIN = os.environ.get("QUORVANE_BIN", os.path.join(os.path.dirname(__file__), "..", "build", "bin"))
SOURCE = os.environ.get("QUORVANE_SOURCE", os.path.join(os.path.dirname(__file__), ".."))


def program(name):
    return os.path.join(BIN, name)


def find_faketime():
    """libfaketime's preload library: $FAKETIME_LIB when set, else where
    Debian installs it on any architecture (as scripts/demo_day.sh looks)."""
    if os.environ.get("FAKETIME_LIB"):
        candidates = [os.environ["FAKETIME_LIB"]]
    else:
        candidates = sorted(glob.glob("/usr/lib/*/faketime/libfaketime.so.1")) + [
            "/usr/lib/faketime/libfaketime.so.1", "/usr/local/lib/faketime/libfaketime.so.1"]
    return next((path for path in candidates if os.path.isfile(path)), None)


FAKETIME_LIB = find_faketime()
FAKETIME_MISSING = (
    "FAKETIME_LIB=%s is not a file" % os.environ["FAKETIME_LIB"] if os.environ.get("FAKETIME_LIB")
    else "libfaketime is not installed (no /usr/lib/*/faketime/libfaketime.so.1; "
         "Debian: apt-get install libfaketime, or set FAKETIME_LIB)")


def needs_faketime(test):
    """Skips a test or class, saying why, where libfaketime is missing."""
    return unittest.skipUnless(FAKETIME_LIB, FAKETIME_MISSING)(test)


def faketime_env(**settings):
    """The environment that runs a program under libfaketime: `settings` are
    libfaketime's own variables (FAKETIME=..., FAKETIME_TIMESTAMP_FILE=...).
    Only the wall clock is faked (timed waits measure the monotonic clock,
    and a faked one would put the workers to sleep for decades), and the
    sanitizer build's runtime is told not to insist on coming first. A test
    that asks for it where libfaketime is missing is skipped, saying why."""
    if not FAKETIME_LIB:
        raise unittest.SkipTest(FAKETIME_MISSING)
    options = os.environ.get("ASAN_OPTIONS", "")
    env = {"LD_PRELOAD": FAKETIME_LIB, "FAKETIME_DONT_FAKE_MONOTONIC": "1",
           "DONT_FAKE_MONOTONIC": "1",
           "ASAN_OPTIONS": (options + ":" if options else "") + "verify_asan_link_order=0"}
    env.update({k: str(v) for k, v in settings.items()})
    return env


def write_base64_log(path, records, line_end="\r\n"):
    """Writes a log as the agents and the filter leave them: each record
    Base64-encoded on a line of its own."""
    with open(path, "w", newline="") as f:
        for record in records:
            f.write(base64.b64encode(record.encode()).decode() + line_end)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def send_report(port, data, source="127.0.0.1", timeout=30):
    """`data`, ending in a line feed, on a connection of its own from
    `source`; waits until the server closes it (it may close it unread). The
    server closes first, so that a flood leaves no client ports in TIME_WAIT,
    which would keep other tests' servers from binding them."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout,
                                  source_address=(source, 0)) as s:
        try:
            s.sendall(data)
            while s.recv(4096):
                pass
        except OSError:
            pass


def reg_string(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


class Install:
    """A temporary install folder with a Logs/ folder and a registry file.

    values: name -> int (dword) or str (string) under SOFTWARE\\Quorvane.
    Use as a context manager; everything is removed at the end."""

    def __init__(self, values=None, registered=True, apppath=True):
        self.root = tempfile.mkdtemp(prefix="quorvane-e2e-")
        self.install = os.path.join(self.root, "install") + "/"
        os.makedirs(os.path.join(self.install, "Logs"))
        self.registry = os.path.join(self.root, "registry.reg")
        self.unit_dir = os.path.join(self.root, "units")
        os.makedirs(self.unit_dir)
        self.values = dict(values or {})
        if apppath:
            self.values.setdefault("apppath", self.install)
        self.registered = registered
        self.write_registry()

    def write_registry(self):
        lines = ["Windows Registry Editor Version 5.00", "",
                 "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Quorvane]"]
        for name, value in self.values.items():
            if isinstance(value, int):
                lines.append('"%s"=dword:%08x' % (name, value & 0xFFFFFFFF))
            else:
                lines.append('"%s"=%s' % (name, reg_string(value)))
        if self.registered:
            guid = "{5E7D2C41-8A3B-4F0E-9C6D-2B1A0F3E4D51}"
            lines += ["", "[HKEY_CLASSES_ROOT\\AppID\\%s]" % guid, '@="Orbeline"']
        # Replaced in one step: a server running meanwhile must never read
        # a half-written file.
        with open(self.registry + ".new", "w") as f:
            f.write("\n".join(lines) + "\n")
        os.replace(self.registry + ".new", self.registry)

    def private_bin(self, programs=("Orbeline",), fake_ledgerix=True):
        """Copies the built programs into <root>/bin, with the stand-in tool
        beside them as "ledgerix" when asked, and returns that folder. The
        server looks for its tools in its own folder first, so a private copy
        keeps the real tool in the build folder out of the way."""
        folder = os.path.join(self.root, "bin")
        os.makedirs(folder, exist_ok=True)
        for name in programs:
            shutil.copy2(program(name), os.path.join(folder, name))
        if fake_ledgerix:
            target = os.path.join(folder, "ledgerix")
            shutil.copy2(os.path.join(SOURCE, "tests", "fake_ledgerix.py"), target)
            os.chmod(target, 0o755)
        return folder

    def path(self, relative):
        return os.path.join(self.install, relative)

    def env(self, **extra):
        env = dict(os.environ)
        env.pop("NOTIFY_SOCKET", None)
        env["QUORVANE_REGISTRY"] = self.registry
        env["QUORVANE_UNIT_DIR"] = self.unit_dir
        env.update({k: str(v) for k, v in extra.items()})
        return env

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        shutil.rmtree(self.root, ignore_errors=True)


class Server:
    """The built Orbeline running as an ordinary process, its standard output
    collected line by line."""

    def __init__(self, install, args=(), env=None, exe=None):
        self.proc = subprocess.Popen([exe or program("Orbeline"), *args],
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     env=env or install.env(), cwd=install.root)
        self.lines = []
        self.err_lines = []
        self._cond = threading.Condition()
        self._readers = [threading.Thread(target=self._read, args=(self.proc.stdout, self.lines)),
                         threading.Thread(target=self._read, args=(self.proc.stderr, self.err_lines))]
        for t in self._readers:
            t.daemon = True
            t.start()

    def _read(self, stream, into):
        for raw in stream:
            with self._cond:
                into.append(raw.decode("latin-1").rstrip("\r\n"))
                self._cond.notify_all()

    def wait_for_line(self, text, timeout=10):
        deadline = time.time() + timeout
        with self._cond:
            while not any(text in line for line in self.lines):
                left = deadline - time.time()
                if left <= 0:
                    return False
                self._cond.wait(left)
            return True

    def stop(self, sig=15, timeout=10):
        if self.proc.poll() is None:
            self.proc.send_signal(sig)
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        for t in self._readers:
            t.join(2)
        for stream in (self.proc.stdout, self.proc.stderr):
            stream.close()


def wait_until(predicate, timeout=10, step=0.05):
    deadline = time.time() + timeout
    while time.time() < deadline:
        if predicate():
            return True
        time.sleep(step)
    return predicate()


def wait_for_port(port, timeout=10):
    def listening():
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return True
        except OSError:
            return False
    return wait_until(listening, timeout)


class RecordingHttpServer:
    """An HTTP endpoint on 127.0.0.1 that records each raw request (request
    line, header lines, body bytes) and answers 200, or never answers when
    silent=True. Use as a context manager; `url_host` is "127.0.0.1:<port>".
    With an ssl.SSLContext as `tls` it speaks HTTPS and `url_host` starts
    with "https://"."""

    def __init__(self, silent=False, status=200, tls=None):
        self.requests = []
        self.tls = tls
        self.silent = silent
        self.status = status
        self._cond = threading.Condition()
        self._sock = socket.socket()
        self._sock.bind(("127.0.0.1", 0))
        self._sock.listen(16)
        self.port = self._sock.getsockname()[1]
        self.url_host = ("https://" if tls else "") + "127.0.0.1:%d" % self.port
        self._open = []
        self._thread = threading.Thread(target=self._serve, daemon=True)
        self._thread.start()

    def _serve(self):
        while True:
            try:
                conn, _ = self._sock.accept()
            except OSError:
                return
            self._open.append(conn)
            threading.Thread(target=self._handle, args=(conn,), daemon=True).start()

    def _handle(self, conn):
        try:
            if self.tls:
                conn = self.tls.wrap_socket(conn, server_side=True)
            data = b""
            while b"\r\n\r\n" not in data:
                chunk = conn.recv(65536)
                if not chunk:
                    return
                data += chunk
            head, body = data.split(b"\r\n\r\n", 1)
            lines = head.decode("latin-1").split("\r\n")
            headers = {}
            for line in lines[1:]:
                name, _, value = line.partition(":")
                headers[name.strip().lower()] = value.strip()
            if self.silent:
                conn.recv(1)  # hold the connection until the client gives up
                return
            if headers.get("expect", "").lower() == "100-continue":
                conn.sendall(b"HTTP/1.1 100 Continue\r\n\r\n")
            length = int(headers.get("content-length", "0"))
            while len(body) < length:
                chunk = conn.recv(65536)
                if not chunk:
                    break
                body += chunk
            with self._cond:
                self.requests.append({"request_line": lines[0], "header_lines": lines[1:],
                                      "headers": headers, "body": body})
                self._cond.notify_all()
            conn.sendall(b"HTTP/1.1 %d Whatever\r\nContent-Length: 2\r\n"
                         b"Connection: close\r\n\r\nok" % self.status)
        except OSError:
            pass
        finally:
            conn.close()

    def wait_for_requests(self, count, timeout=30):
        deadline = time.time() + timeout
        with self._cond:
            while len(self.requests) < count:
                left = deadline - time.time()
                if left <= 0:
                    return False
                self._cond.wait(left)
            return True

    def close(self):
        self._sock.close()
        for conn in self._open:
            try:
                conn.close()
            except OSError:
                pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def children_of(pid):
    """{pid: name} of the running processes whose parent is `pid`."""
    found = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                stat = f.read()
        except OSError:
            continue
        name = stat[stat.index("(") + 1:stat.rindex(")")]
        fields = stat[stat.rindex(")") + 2:].split()
        if int(fields[1]) == pid and fields[0] != "Z":
            found[int(entry)] = name
    return found


def is_running(pid):
    """True while `pid` is a process that has not ended (a zombie has)."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            stat = f.read()
    except OSError:
        return False
    return stat[stat.rindex(")") + 2] != "Z"


def png_pixels_vary(path):
    """(width, height, whether the image holds more than one colour) of a
    PNG file, read with the standard library only."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        return 0, 0, False
    width, height = struct.unpack(">II", data[16:24])
    idat, at = b"", 8
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        if kind == b"IDAT":
            idat += data[at + 8:at + 8 + length]
        at += 12 + length
    # Filtered scan lines of a one-colour image hold a handful of values.
    return width, height, len(set(zlib.decompress(idat))) > 16
