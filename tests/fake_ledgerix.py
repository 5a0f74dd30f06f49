#!/usr/bin/env python3
"""Stand-in for the database tool in the end-to-end tests.

Every call appends one JSON line {"argv": [...], "cwd": ..., "time": ...,
"sockets": [...]} to the file named by $FAKE_LEDGERIX_LOG; "sockets" names
the descriptors the tool inherited that are sockets (it should have none). Mode 7 prints the bytes of the file
named by $FAKE_LEDGERIX_LIST (nothing when unset). Report modes (1 and 4)
print $FAKE_LEDGERIX_REPORT, or a line naming the arguments. The server
passes its environment on to the tool, so tests set these on the server."""

import json
import os
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


def main():
    sockets = inherited_sockets()  # before this script opens anything
    args = sys.argv[1:]
    log = os.environ.get("FAKE_LEDGERIX_LOG")
    if log:
        with open(log, "a") as f:
            f.write(json.dumps({"argv": args, "cwd": os.getcwd(), "time": time.time(),
                                "sockets": sockets}) + "\n")
    mode = args[0] if args else ""
    if mode == "7":
        listing = os.environ.get("FAKE_LEDGERIX_LIST")
        if listing and os.path.exists(listing):
            with open(listing, "rb") as f:
                sys.stdout.buffer.write(f.read())
    elif mode in ("1", "4"):
        text = os.environ.get("FAKE_LEDGERIX_REPORT", "report " + " ".join(args))
        sys.stdout.write(text + "\n")
    sys.stdout.flush()


if __name__ == "__main__":
    main()
