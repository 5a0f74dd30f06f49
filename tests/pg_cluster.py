"""A throw-away PostgreSQL server for tests: initdb in a temporary folder,
run by an unprivileged account (PostgreSQL refuses root: as root the
cluster belongs to the "postgres" account, or "nobody"), listening on a
free port of 127.0.0.1 only, stopped and removed afterwards.

From Python:
    with PgCluster() as cluster:            # skips the test when it cannot
        cluster.connection("site_a")        # a libpq string, schema site_a

From the command line (the C++ tests' CTest fixture uses this):
    python3 pg_cluster.py start FOLDER      # writes FOLDER/connection
    python3 pg_cluster.py stop FOLDER
Where the PostgreSQL programs are missing, `start` writes the reason to
FOLDER/skipped and succeeds, unless CI=true, where it fails."""

import glob
import os
import pwd
import shutil
import socket
import subprocess
import sys
import tempfile
import unittest


def find_bin():
    """The newest installed server's program folder, or None."""
    folders = sorted(glob.glob("/usr/lib/postgresql/*/bin"),
                     key=lambda f: int(f.split("/")[-2]) if f.split("/")[-2].isdigit() else 0)
    for folder in reversed(folders):
        if all(os.access(os.path.join(folder, p), os.X_OK) for p in ("initdb", "pg_ctl", "postgres")):
            return folder
    return None


def missing_reason():
    """Why no cluster can be made here, or None."""
    if not find_bin():
        return ("the PostgreSQL server programs are missing (no /usr/lib/postgresql/*/bin/initdb; "
                "Debian: apt-get install postgresql)")
    if os.geteuid() == 0 and not shutil.which("runuser"):
        return "running as root without runuser to start PostgreSQL as another account"
    return None


def skip_or_fail(reason):
    """A skip with `reason`; under CI=true a failure, as CI must run them."""
    if os.environ.get("CI") == "true":
        raise AssertionError("PostgreSQL tests cannot run under CI: " + reason)
    raise unittest.SkipTest(reason)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def account():
    """The account the server runs as: this one, or when root an
    unprivileged one."""
    if os.geteuid() != 0:
        return None
    for name in ("postgres", "nobody"):
        try:
            return pwd.getpwnam(name)
        except KeyError:
            continue
    raise RuntimeError("no unprivileged account to run PostgreSQL as")


class PgCluster:
    def __init__(self, folder=None):
        self.bin = find_bin()
        self.folder = folder
        self.owned_folder = folder is None
        self.port = None
        self.user = account()

    def run(self, *args):
        command = [os.path.join(self.bin, args[0])] + list(args[1:])
        if self.user:
            command = ["runuser", "-u", self.user.pw_name, "--"] + command
        return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                              text=True, cwd=self.folder, timeout=120)

    def create(self):
        reason = missing_reason()
        if reason:
            skip_or_fail(reason)
        if self.owned_folder:
            self.folder = tempfile.mkdtemp(prefix="quorvane-pg-")
        os.makedirs(self.folder, exist_ok=True)
        if self.user:
            os.chown(self.folder, self.user.pw_uid, self.user.pw_gid)
        result = self.run("initdb", "-D", self.data, "-A", "trust", "-U", "postgres",
                          "-E", "UTF8", "--locale=C", "--no-sync")
        if result.returncode != 0:
            raise RuntimeError("initdb failed: " + result.stdout)
        self.port = free_port()
        self.start()
        return self

    @property
    def data(self):
        return os.path.join(self.folder, "data")

    def start(self):
        """Starts (again) on the same port."""
        options = ("-p %d -k %s -c listen_addresses=127.0.0.1 -c fsync=off "
                   "-c synchronous_commit=off -c full_page_writes=off" % (self.port, self.folder))
        result = self.run("pg_ctl", "-D", self.data, "-l", os.path.join(self.folder, "log"),
                          "-o", options, "-w", "-t", "60", "start")
        if result.returncode != 0:
            log = open(os.path.join(self.folder, "log")).read() if os.path.exists(
                os.path.join(self.folder, "log")) else ""
            raise RuntimeError("PostgreSQL did not start: " + result.stdout + log)

    def stop(self):
        if self.folder and os.path.exists(os.path.join(self.data, "postmaster.pid")):
            self.run("pg_ctl", "-D", self.data, "-m", "immediate", "-w", "stop")

    def remove(self):
        self.stop()
        if self.folder:
            shutil.rmtree(self.folder, ignore_errors=True)

    def connection(self, schema=None):
        """A libpq connection string; with `schema`, that schema is this
        connection's search_path."""
        text = "host=127.0.0.1 port=%d user=postgres dbname=postgres" % self.port
        if schema:
            text += " options=-csearch_path=" + schema
        return text

    def psql(self, sql, schema=None):
        """Runs `sql` with psql; its output, unaligned, without headers."""
        psql = os.path.join(self.bin, "psql")
        if not os.access(psql, os.X_OK):
            psql = shutil.which("psql")
        result = subprocess.run([psql, "-X", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-d",
                                 self.connection(schema), "-c", sql],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                timeout=120)
        if result.returncode != 0:
            raise RuntimeError("psql failed: " + result.stderr)
        return result.stdout.strip()

    def __enter__(self):
        try:
            return self.create()
        except BaseException:
            self.remove()
            raise

    def __exit__(self, *exc):
        self.remove()


def main(argv):
    if len(argv) != 3 or argv[1] not in ("start", "stop"):
        print("usage: pg_cluster.py start|stop FOLDER", file=sys.stderr)
        return 2
    folder = os.path.abspath(argv[2])
    # The cluster lives in a folder of its own under the temporary folder,
    # not in FOLDER: the account that runs the server may not be able to
    # reach FOLDER (a build tree inside a root-only checkout).
    record = os.path.join(folder, "cluster-folder")
    if os.path.exists(record):
        with open(record) as f:
            PgCluster(f.read().strip()).remove()
        os.remove(record)
    for name in ("connection", "skipped"):
        if argv[1] == "start" and os.path.exists(os.path.join(folder, name)):
            os.remove(os.path.join(folder, name))
    if argv[1] == "stop":
        return 0
    os.makedirs(folder, exist_ok=True)
    cluster = PgCluster()
    try:
        cluster.create()
        with open(record, "w") as f:
            f.write(cluster.folder + "\n")
    except unittest.SkipTest as skip:
        with open(os.path.join(folder, "skipped"), "w") as f:
            f.write(str(skip) + "\n")
        print("skipped: %s" % skip)
        return 0
    with open(os.path.join(folder, "connection"), "w") as f:
        f.write(cluster.connection() + "\n")
    print(cluster.connection())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
