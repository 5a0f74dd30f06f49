"""The e-mail reports end to end: the built Orbeline, running under a faked
clock just before the report hour on a Friday the 1st, has the stand-in
ledgerix write each report and the real Notivo post it, wrapped in the mail
template, to a local endpoint."""

import json
import os
import subprocess
import time
import unittest

import e2e_util
from e2e_util import Install, RecordingHttpServer, Server

FAKETIME_LIB = e2e_util.FAKETIME_LIB
ADDRESS = "boss@example.com"
TEMPLATE = b"<html><body>\r\n@logip@\r\n</body></html>\r\n"
REPORTS = ["1 1 0 0", "4 1", "1 2 2 0", "4 2", "1 7 2 0", "4 7"]
SWITCHES = ["RegDaily", "RegDayFilter", "RegWeekly", "RegWeekFilter", "RegMonthly",
            "RegMonFilter"]


def configure(inst, values):
    """Writes the values with the configuration tool."""
    tool = e2e_util.program("QuorvaneServerConfig")
    for name, value in values.items():
        result = subprocess.run([tool, "set", name, str(value)], capture_output=True,
                                env=inst.env(), timeout=60)
        if result.returncode != 0:
            raise AssertionError("QuorvaneServerConfig set %s: %r" % (name, result.stderr))


@unittest.skipUnless(os.path.exists(FAKETIME_LIB), "libfaketime is not installed")
class ReportHourTest(unittest.TestCase):
    def test_friday_the_first_posts_all_six_reports_in_the_template(self):
        with RecordingHttpServer() as endpoint, Install(apppath=False) as inst:
            values = {"DBServerPort": e2e_util.free_port(), "apppath": inst.install,
                      "apppPath": inst.install, "ReportTime": "9",
                      "EmailAddress": ADDRESS, "NotifyHost": endpoint.url_host}
            values.update({name: 1 for name in SWITCHES})
            configure(inst, values)
            os.makedirs(inst.path("templates/En"))
            with open(inst.path("templates/En/email"), "wb") as f:
                f.write(TEMPLATE)
            with open(inst.path("dbdata"), "wb") as f:
                f.write(b"stale report\n")
            tool_log = os.path.join(inst.root, "ledgerix.log")
            bin_dir = inst.private_bin(programs=("Orbeline", "Notivo"))
            env = inst.env(**e2e_util.faketime_env(FAKETIME="@2026-05-01 08:59:50"),
                           TZ="UTC0", FAKE_LEDGERIX_LOG=tool_log)
            started = time.time()
            with Server(inst, env=env, exe=os.path.join(bin_dir, "Orbeline")) as server:
                self.assertTrue(endpoint.wait_for_requests(6, timeout=180),
                                "requests: %d; server said %r %r" % (
                                    len(endpoint.requests), server.lines, server.err_lines))
                elapsed = time.time() - started
                # Give a stray seventh batch a chance to show before stopping.
                time.sleep(4)
                self.assertEqual(server.stop(), 0)

            # The faked clock starts ten seconds before the report hour, and
            # nothing may go out before it.
            self.assertGreaterEqual(elapsed, 8)
            self.assertEqual(len(endpoint.requests), 6)
            for request, args in zip(endpoint.requests, REPORTS):
                self.assertEqual(request["request_line"], "POST /vantry.php HTTP/1.1")
                message = b"<html><body>\nreport " + args.encode() + b"\n\n\n</body></html>\n\n"
                body = b"name=" + message + b"&userid=" + ADDRESS.encode()
                self.assertEqual(request["body"], body)
                self.assertEqual(request["headers"]["content-length"], str(len(body)))

            with open(tool_log) as f:
                runs = [json.loads(line) for line in f]
            self.assertEqual([" ".join(run["argv"]) for run in runs], REPORTS)
            install = os.path.realpath(inst.install)
            self.assertTrue(all(run["cwd"] == install for run in runs), runs)


if __name__ == "__main__":
    unittest.main()
