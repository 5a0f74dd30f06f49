#!/usr/bin/env python3
"""Stand-in for the database tool in the end-to-end tests.

Every call appends one JSON line {"argv": [...], "cwd": ..., "time": ...,
"sockets": [...], "fds": [...], "pid": ...} to the file named by
$FAKE_LEDGERIX_LOG; "sockets" names the descriptors the tool inherited that
are sockets (it should have none), "fds" every descriptor it inherited with
what it names ([fd, target] pairs; 0, 1 and 2 only). Mode 7 prints the bytes
of the file named by $FAKE_LEDGERIX_LIST (nothing when unset). Report modes
(1 and 4) print $FAKE_LEDGERIX_REPORT, or a line naming the arguments. The
mode named by $FAKE_LEDGERIX_FAIL prints its output and exits 1; the mode
named by $FAKE_LEDGERIX_HANG never ends, and ignores SIGTERM when
$FAKE_LEDGERIX_IGNORE_TERM is set. With $FAKE_LEDGERIX_REAL set, the call is
recorded and then handed whole to that real tool instead. The server passes
its environment on to the tool, so tests set these on the server.

`record` (contacts on standard input, "user TAB computer TAB ip" lines) is
logged as one line per contact, with the argv of that contact's mode-6 call
and "batch" the run's pid, and is mode "6" for the variables above. With
$FAKE_LEDGERIX_OLD set the tool is an older one that does not know
`record`: it logs {"argv": ["record"], "refused": true} and exits 2 with a
usage line. $FAKE_LEDGERIX_FAIL_TIMES=N makes the first N calls of the
failing mode fail (counted in $FAKE_LEDGERIX_LOG + ".fails"), then every
call succeed. $FAKE_LEDGERIX_PAUSE=user:seconds sleeps after a call that
records that user ("name*:seconds": any user whose name starts with "name")."""

import json
import os
import signal
import subprocess
import sys
import time


def inherited_sockets():
    found = []
    for fd in os.listdir("/proc/self/fd"):
        try:
            if os.readlink("/proc/self/fd/" + fd).startswith("socket:"):
                found.append(int(fd))
        except OSError:
            pass
    return found


def inherited_fds():
    # libfaketime, when the tests preload it, opens a memory file in every
    # process (this one and the server) and keeps it open across exec: that
    # descriptor belongs to the test's clock, not to the server.
    found = []
    for fd in os.listdir("/proc/self/fd"):
        try:
            target = os.readlink("/proc/self/fd/" + fd)
            if not target.startswith("/dev/shm/faketime_shm_"):
                found.append([int(fd), target])
        except OSError:
            pass  # the listing's own descriptor, closed by now
    return sorted(found)


def main():
    fds = inherited_fds()  # before this script opens anything
    sockets = inherited_sockets()
    args = sys.argv[1:]
    log = os.environ.get("FAKE_LEDGERIX_LOG")
    batch = args == ["record"]
    if batch and os.environ.get("FAKE_LEDGERIX_OLD"):
        if log:
            with open(log, "a") as f:
                f.write(json.dumps({"argv": args, "refused": True, "time": time.time()}) + "\n")
        sys.stderr.write("usage: ledgerix 6 <user> <computer> <ip> | 7\n")
        sys.exit(2)
    data = sys.stdin.buffer.read() if batch else b""
    calls = ([["6", *line.decode("latin-1").split("\t")] for line in data.splitlines()]
             if batch else [args])
    mode = "6" if batch else (args[0] if args else "")
    hang = mode == os.environ.get("FAKE_LEDGERIX_HANG")
    if hang and os.environ.get("FAKE_LEDGERIX_IGNORE_TERM"):
        # Before the call is logged, so a test that saw it knows this holds.
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
    if log:
        with open(log, "a") as f:
            for argv in calls:
                entry = {"argv": argv, "cwd": os.getcwd(), "time": time.time(),
                         "sockets": sockets, "fds": fds, "pid": os.getpid()}
                if batch:
                    entry["batch"] = os.getpid()
                f.write(json.dumps(entry) + "\n")
    while hang:
        time.sleep(60)
    fails = mode == os.environ.get("FAKE_LEDGERIX_FAIL")
    if fails and os.environ.get("FAKE_LEDGERIX_FAIL_TIMES"):
        with open(log + ".fails", "a+") as f:
            f.seek(0)
            failed = len(f.read())
            fails = failed < int(os.environ["FAKE_LEDGERIX_FAIL_TIMES"])
            if fails:
                f.write("x")
    pause_user, _, pause = os.environ.get("FAKE_LEDGERIX_PAUSE", "").partition(":")
    # "name*" pauses for every user whose name starts with "name".
    named = ((lambda u: u.startswith(pause_user[:-1])) if pause_user.endswith("*")
             else (lambda u: u == pause_user))
    pause = float(pause) if any(len(c) > 1 and named(c[1]) for c in calls) else 0
    real = os.environ.get("FAKE_LEDGERIX_REAL")
    if real and not fails and (batch or pause):
        code = subprocess.run([real, *args], input=data).returncode
        if pause:
            time.sleep(pause)
        sys.exit(code)
    if real and not fails:
        os.execv(real, [real, *args])
    if pause:
        time.sleep(pause)
    if mode == "7":
        listing = os.environ.get("FAKE_LEDGERIX_LIST")
        if listing and os.path.exists(listing):
            with open(listing, "rb") as f:
                sys.stdout.buffer.write(f.read())
    elif mode in ("1", "4"):
        text = os.environ.get("FAKE_LEDGERIX_REPORT", "report " + " ".join(args))
        sys.stdout.write(text + "\n")
    sys.stdout.flush()
    if fails:
        sys.exit(1)


if __name__ == "__main__":
    main()
