#!/usr/bin/env python3
"""Opens mailed reports in headless Chromium and saves each as a PNG beside
it (mail-1.html -> mail-1.png), the way a reader's mail program would show
it in a pane 700 pixels wide.

  scripts/render_mail.py MAIL.html...

For each mail it prints one line of JSON: the file, the PNG, the page's
width at a phone's 360 pixels (what the content needs, in CSS pixels), its
width in the 700-pixel pane (above 700: the reader scrolls sideways) and
every error the page reported (uncaught exceptions, console errors, failed
loads). Exit status 0 when every mail was rendered, 1 when one was not, 2
when Chromium is not installed.

Chromium runs without network features and with a fresh profile that is
removed afterwards; it is driven over the DevTools protocol on a pipe
(--remote-debugging-pipe), so no port is opened."""

import base64
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

MAIL_PANE_WIDTH = 700
PHONE_WIDTH = 360
TIMEOUT = 60  # seconds for any one answer of the browser

FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--hide-scrollbars", "--mute-audio", "--remote-debugging-pipe"]


def find_chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    return None


class Browser:
    """One headless Chromium and the DevTools messages to and from it."""

    def __init__(self, chromium):
        self.profile = tempfile.mkdtemp(prefix="quorvane-chromium-")
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()

        def descriptors_3_and_4():
            # Chromium reads commands on 3 and writes answers on 4. Python's
            # own descriptors are not inherited (PEP 446), so only these and
            # the standard ones reach the browser.
            # Copies first: a pipe end may already be 3 or 4, and dup2 onto
            # itself would leave it closed at exec.
            commands, answers = os.dup(to_browser_r), os.dup(from_browser_w)
            os.dup2(commands, 3)
            os.dup2(answers, 4)

        self.proc = subprocess.Popen(
            [chromium, *FLAGS, "--user-data-dir=" + self.profile, "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            close_fds=False, preexec_fn=descriptors_3_and_4)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.buffer = b""
        self.next_id = 0
        self.events = []

    def close(self):
        try:
            self.send("Browser.close", wait=False)
            self.proc.wait(10)
        except (OSError, subprocess.TimeoutExpired):
            self.proc.kill()
            self.proc.wait()
        for fd in (self.to_browser, self.from_browser):
            try:
                os.close(fd)
            except OSError:
                pass
        shutil.rmtree(self.profile, ignore_errors=True)

    def receive(self, deadline):
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.from_browser], [], [], left)[0]:
                raise RuntimeError("the browser did not answer in time")
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise RuntimeError("the browser ended")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def send(self, method, session=None, wait=True, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        if not wait:
            return None
        deadline = time.monotonic() + TIMEOUT
        while True:
            answer = self.receive(deadline)
            if answer.get("id") == self.next_id:
                if "error" in answer:
                    raise RuntimeError("%s: %s" % (method, answer["error"].get("message")))
                return answer.get("result", {})
            self.events.append(answer)

    def wait_for_event(self, method, session):
        deadline = time.monotonic() + TIMEOUT
        while True:
            for event in self.events:
                if event.get("method") == method and event.get("sessionId") == session:
                    return event
            self.events.append(self.receive(deadline))


def page_errors(events, session):
    """What the page reported as an error, one text each."""
    errors = []
    for event in events:
        if event.get("sessionId") != session:
            continue
        method, params = event.get("method"), event.get("params", {})
        if method == "Runtime.exceptionThrown":
            details = params.get("exceptionDetails", {})
            errors.append(details.get("exception", {}).get("description") or details.get("text"))
        elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
            errors.append(" ".join(str(a.get("value", a.get("description")))
                                   for a in params.get("args", [])))
        elif method == "Log.entryAdded" and params.get("entry", {}).get("level") == "error":
            entry = params["entry"]
            errors.append("%s %s" % (entry.get("text"), entry.get("url", "")))
    return errors


def render(browser, mail, png):
    target = browser.send("Target.createTarget", url="about:blank")["targetId"]
    session = browser.send("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
    try:
        for domain in ("Page", "Runtime", "Log"):
            browser.send(domain + ".enable", session)

        def measure(width, height):
            browser.send("Emulation.setDeviceMetricsOverride", session, width=width,
                         height=height, deviceScaleFactor=1, mobile=False)
            size = browser.send("Runtime.evaluate", session, returnByValue=True, expression=(
                "[document.documentElement.scrollWidth, document.documentElement.scrollHeight]"))
            return size["result"]["value"]

        browser.send("Emulation.setDeviceMetricsOverride", session, width=PHONE_WIDTH,
                     height=640, deviceScaleFactor=1, mobile=False)
        browser.send("Page.navigate", session, url="file://" + os.path.abspath(mail))
        browser.wait_for_event("Page.loadEventFired", session)
        # On a narrow screen the page is as wide as its content needs.
        width, _ = measure(PHONE_WIDTH, 640)
        pane_width, height = measure(MAIL_PANE_WIDTH, 640)
        measure(MAIL_PANE_WIDTH, max(1, min(height, 16384)))
        shot = browser.send("Page.captureScreenshot", session, format="png")
        with open(png, "wb") as f:
            f.write(base64.b64decode(shot["data"]))
        return {"mail": mail, "png": png, "width": width, "pane_width": pane_width,
                "height": height,
                "errors": page_errors(browser.events, session)}
    finally:
        browser.send("Target.closeTarget", targetId=target)


def main(mails):
    chromium = find_chromium()
    if not chromium:
        print("render_mail: Chromium is not installed (Debian: apt-get install chromium)",
              file=sys.stderr)
        return 2
    if not mails:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    browser = Browser(chromium)
    status = 0
    try:
        for mail in mails:
            png = os.path.splitext(mail)[0] + ".png"
            try:
                print(json.dumps(render(browser, mail, png)), flush=True)
            except (OSError, RuntimeError, KeyError, ValueError) as e:
                print("render_mail: %s: %s" % (mail, e), file=sys.stderr)
                status = 1
    finally:
        browser.close()
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
