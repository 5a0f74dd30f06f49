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
its environment on to the tool, so tests set these on the server."""

import json
import os
import signal
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
    mode = args[0] if args else ""
    hang = mode == os.environ.get("FAKE_LEDGERIX_HANG")
    if hang and os.environ.get("FAKE_LEDGERIX_IGNORE_TERM"):
        # Before the call is logged, so a test that saw it knows this holds.
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
    log = os.environ.get("FAKE_LEDGERIX_LOG")
    if log:
        with open(log, "a") as f:
            f.write(json.dumps({"argv": args, "cwd": os.getcwd(), "time": time.time(),
                                "sockets": sockets, "fds": fds,
                                "pid": os.getpid()}) + "\n")
    while hang:
        time.sleep(60)
    real = os.environ.get("FAKE_LEDGERIX_REAL")
    if real:
        os.execv(real, [real, *args])
    if mode == "7":
        listing = os.environ.get("FAKE_LEDGERIX_LIST")
        if listing and os.path.exists(listing):
            with open(listing, "rb") as f:
                sys.stdout.buffer.write(f.read())
    elif mode in ("1", "4"):
        text = os.environ.get("FAKE_LEDGERIX_REPORT", "report " + " ".join(args))
        sys.stdout.write(text + "\n")
    sys.stdout.flush()
    if mode == os.environ.get("FAKE_LEDGERIX_FAIL"):
        sys.exit(1)


if __name__ == "__main__":
    main()
