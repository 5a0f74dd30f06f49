#!/usr/bin/env python3
"""A local notification endpoint for trying the product out: it takes the
reports Notivo posts to http://<NotifyHost>/vantry.php and keeps each one as
a file you can open in a browser.

  scripts/notify_sink.py MAIL_FOLDER [--port PORT]     default port 8080

Point NotifyHost at it (QuorvaneServerConfig set NotifyHost 127.0.0.1:8080).
The body Notivo posts is "name=<message>&userid=<address>", not encoded; the
message is everything between "name=" and the last "&userid=" (a report may
itself contain "&userid="). Each mail is saved as MAIL_FOLDER/mail-<n>.html,
numbered on from the files already there, and one line is printed:

  mail 1 to boss@example.com, 5120 bytes: MAIL_FOLDER/mail-1.html

The first line printed is "listening on http://127.0.0.1:<port>/vantry.php";
with --port 0 the system picks a free port and that line names it. Runs until
interrupted (Ctrl-C or SIGTERM)."""

import argparse
import http.server
import os
import re
import signal
import sys
import threading

PATH = "/vantry.php"
PREFIX = b"name="
SEPARATOR = b"&userid="


def split_body(body):
    """(message, recipient) of a posted body, or None when it is not one."""
    end = body.rfind(SEPARATOR)
    if not body.startswith(PREFIX) or end < len(PREFIX):
        return None
    return body[len(PREFIX):end], body[end + len(SEPARATOR):]


class MailFolder:
    """Numbers and writes the saved mails; safe from several threads."""

    def __init__(self, folder):
        self.folder = folder
        self.lock = threading.Lock()
        numbers = [int(m.group(1)) for m in
                   (re.fullmatch(r"mail-(\d+)\.html", name) for name in os.listdir(folder)) if m]
        self.last = max(numbers, default=0)

    def save(self, message):
        with self.lock:
            self.last += 1
            path = os.path.join(self.folder, "mail-%d.html" % self.last)
            # Written under another name first, so whoever watches the folder
            # never opens half a mail.
            temporary = path + ".part"
            with open(temporary, "wb") as f:
                f.write(message)
            os.replace(temporary, path)
            return self.last, path


def make_handler(mails):
    class Handler(http.server.BaseHTTPRequestHandler):
        def do_POST(self):
            if self.path.split("?", 1)[0] != PATH:
                self.answer(404, b"unknown path\n")
                return
            try:
                length = int(self.headers.get("Content-Length", ""))
            except ValueError:
                self.answer(411, b"length required\n")
                return
            parts = split_body(self.rfile.read(length))
            if parts is None:
                print("refused a post without name= and &userid=", flush=True)
                self.answer(400, b"expected name=...&userid=...\n")
                return
            message, recipient = parts
            number, path = mails.save(message)
            print("mail %d to %s, %d bytes: %s" % (
                number, recipient.decode("utf-8", "replace"), len(message), path), flush=True)
            self.answer(200, b"OK")

        def answer(self, status, text):
            self.send_response(status)
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(text)))
            self.end_headers()
            self.wfile.write(text)

        def log_message(self, *args):
            pass  # one line per mail is printed instead

    return Handler


def main(argv):
    parser = argparse.ArgumentParser(description="Saves the reports Notivo posts.")
    parser.add_argument("folder", help="where the mails are saved")
    parser.add_argument("--port", type=int, default=8080, help="0: any free port")
    args = parser.parse_args(argv)
    os.makedirs(args.folder, exist_ok=True)
    server = http.server.ThreadingHTTPServer(
        ("127.0.0.1", args.port), make_handler(MailFolder(args.folder)))
    # SIGTERM ends the process as Ctrl-C does, through KeyboardInterrupt.
    signal.signal(signal.SIGTERM, signal.default_int_handler)
    print("listening on http://127.0.0.1:%d%s" % (server.server_address[1], PATH), flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
