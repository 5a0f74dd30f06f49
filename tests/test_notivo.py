"""Notivo against a local HTTP endpoint that records the raw request."""

import os
import ssl
import subprocess
import tempfile
import unittest

import e2e_util
from e2e_util import Install, RecordingHttpServer

NOTIVO = e2e_util.program("Notivo")
ADDRESS = "boss@example.com"


class NotivoCase(unittest.TestCase):
    """An install whose NotifyHost is a recording endpoint; Notivo runs in
    the install folder."""

    timeout = 60  # seconds one Notivo run may take

    def setUp(self):
        self.endpoint = RecordingHttpServer()
        self.inst = Install({"NotifyHost": self.endpoint.url_host})

    def tearDown(self):
        self.endpoint.close()
        self.inst.__exit__()

    def write(self, relative, data):
        path = self.inst.path(relative)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def run_notivo(self, *args, env=None):
        return subprocess.run([NOTIVO, *args], capture_output=True, cwd=self.inst.install,
                              env=env or self.inst.env(), timeout=self.timeout)


class NotivoTest(NotivoCase):
    def send(self, report, flag, template=None):
        self.write("dbdata", report)
        if template is not None:
            self.write("templates/En/email", template)
        result = self.run_notivo(ADDRESS, "dbdata", flag)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr, b"")
        self.assertEqual(len(self.endpoint.requests), 1)
        return self.endpoint.requests[0]

    def test_report_alone_is_posted_as_form_body(self):
        request = self.send(b"a\r\nb\r\n", "0")
        self.assertEqual(request["request_line"], "POST /vantry.php HTTP/1.1")
        self.assertEqual(request["headers"]["host"], self.endpoint.url_host)
        expected = b"name=a\nb\n\n&userid=" + ADDRESS.encode()
        self.assertEqual(request["body"], expected)
        self.assertEqual(request["headers"]["content-length"], str(len(expected)))

    def test_report_wrapped_in_template(self):
        request = self.send(b"a\nb\n", "1", template=b"x\n@logip@\ny\n")
        self.assertEqual(request["body"], b"name=x\na\nb\n\n\ny\n\n&userid=" + ADDRESS.encode())

    def test_template_without_placeholder_is_sent_unchanged(self):
        request = self.send(b"the report\n", "1", template=b"Dear reader,\nnothing here.\n")
        self.assertEqual(request["body"],
                         b"name=Dear reader,\nnothing here.\n\n&userid=" + ADDRESS.encode())

    def test_form_characters_and_other_bytes_are_not_encoded(self):
        report = b"a&b=c %41+\xe9\n"
        request = self.send(report, "0")
        self.assertEqual(request["body"], b"name=a&b=c %41+\xe9\n\n&userid=" + ADDRESS.encode())
        self.assertEqual(request["headers"]["content-length"], str(len(request["body"])))

    def test_empty_report(self):
        request = self.send(b"", "0")
        self.assertEqual(request["body"], b"name=&userid=" + ADDRESS.encode())
        self.assertEqual(request["headers"]["content-length"], str(len(request["body"])))

    def test_only_flag_one_uses_template(self):
        self.write("templates/En/email", b"T@logip@T\n")
        for flag in ("2", "0", "x"):
            self.write("dbdata", b"r\n")
            self.assertEqual(self.run_notivo(ADDRESS, "dbdata", flag).returncode, 0)
        self.assertEqual(self.run_notivo(ADDRESS, "dbdata", "01").returncode, 0)
        bodies = [r["body"] for r in self.endpoint.requests]
        self.assertEqual(bodies[:3], [b"name=r\n\n&userid=" + ADDRESS.encode()] * 3)
        self.assertEqual(bodies[3], b"name=Tr\n\nT\n\n&userid=" + ADDRESS.encode())

    def test_large_report_arrives_whole(self):
        line = b"0123456789" * 10
        report = b"\r\n".join([line] * 4000) + b"\r\n"
        request = self.send(report, "0")
        self.assertEqual(request["body"],
                         b"name=" + b"\n".join([line] * 4000) + b"\n\n&userid=" + ADDRESS.encode())


class NotivoFailureTest(NotivoCase):
    """Each failure ends with a non-zero code and one line on standard error;
    no mail goes out."""

    timeout = 120

    def setUp(self):
        super().setUp()
        self.write("dbdata", b"report\n")

    def assert_failed(self, result, code, words, stdout=b""):
        self.assertEqual(result.returncode, code, result.stderr)
        self.assertEqual(result.stdout, stdout)
        lines = result.stderr.decode("latin-1").splitlines()
        self.assertEqual(len(lines), 1, lines)
        for word in words:
            self.assertIn(word, lines[0])

    def test_missing_arguments(self):
        for args in ((), (ADDRESS,), (ADDRESS, "dbdata")):
            self.assert_failed(self.run_notivo(*args), 2, ["usage"])
        self.assertEqual(self.endpoint.requests, [])

    def test_unreadable_report_file(self):
        self.assert_failed(self.run_notivo(ADDRESS, "nosuchfile", "0"), 3,
                           ["report file", "nosuchfile"])
        self.assertEqual(self.endpoint.requests, [])

    def test_missing_template_sends_nothing(self):
        self.assert_failed(self.run_notivo(ADDRESS, "dbdata", "1"), 3,
                           ["template", self.inst.path("templates/En/email")])
        self.assertEqual(self.endpoint.requests, [])

    def test_dead_endpoint(self):
        self.inst.values["NotifyHost"] = "127.0.0.1:%d" % e2e_util.free_port()
        self.inst.write_registry()
        self.assert_failed(self.run_notivo(ADDRESS, "dbdata", "0"), 4,
                           ["/vantry.php", "failed"])

    def test_error_status_is_a_failure(self):
        # The endpoint took the request but did not send the mail: exit 5.
        # A redirect is not followed, so the report was not delivered
        # either; only a 2xx answer counts as sent.
        for status, code in ((500, 5), (404, 5), (302, 5), (307, 5), (204, 0)):
            with RecordingHttpServer(status=status) as endpoint:
                self.inst.values["NotifyHost"] = endpoint.url_host
                self.inst.write_registry()
                result = self.run_notivo(ADDRESS, "dbdata", "0")
                self.assertEqual(len(endpoint.requests), 1)
            if code == 0:
                self.assertEqual((result.returncode, result.stderr), (0, b""))
            else:
                # Also on standard output, for the server's line.
                self.assert_failed(result, code, ["/vantry.php", "HTTP status %d" % status],
                                   stdout=b"HTTP status %d\n" % status)

    def test_endpoint_that_never_answers_is_given_up(self):
        with RecordingHttpServer(silent=True) as silent:
            self.inst.values["NotifyHost"] = silent.url_host
            self.inst.write_registry()
            result = self.run_notivo(ADDRESS, "dbdata", "0",
                                     env=self.inst.env(NOTIVO_REQUEST_TIMEOUT=2))
            self.assert_failed(result, 4, ["failed"])


class NotivoHttpsTest(NotivoCase):
    """An https:// NotifyHost: the endpoint's certificate must chain to the
    system's CAs, or to NotifyCAFile when set, and name the host."""

    def test_self_signed_endpoint_is_trusted_only_through_its_ca_file(self):
        self.write("dbdata", b"report\n")
        with tempfile.TemporaryDirectory() as folder:
            cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
            subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes",
                            "-days", "2", "-subj", "/CN=127.0.0.1",
                            "-addext", "subjectAltName=IP:127.0.0.1",
                            "-keyout", key, "-out", cert],
                           check=True, capture_output=True, timeout=120)
            tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            tls.load_cert_chain(cert, key)
            with RecordingHttpServer(tls=tls) as endpoint:
                outcomes = []
                for host, ca_file in ((endpoint.url_host, ""), (endpoint.url_host, cert),
                                      ("https://localhost:%d" % endpoint.port, cert)):
                    self.inst.values.update(NotifyHost=host, NotifyCAFile=ca_file)
                    self.inst.write_registry()
                    result = self.run_notivo(ADDRESS, "dbdata", "0")
                    outcomes.append((result.returncode, result.stderr.decode("latin-1")))
                requests = endpoint.requests
        # Unknown CA, then trusted, then a name the certificate does not hold.
        self.assertEqual([code for code, _ in outcomes], [4, 0, 4], outcomes)
        for _, err in (outcomes[0], outcomes[2]):
            self.assertEqual(len(err.splitlines()), 1, err)
            self.assertIn("https://", err)
            self.assertIn("certificate", err)
        self.assertEqual(outcomes[1][1], "")
        self.assertEqual([r["body"] for r in requests], [b"name=report\n\n&userid=" + ADDRESS.encode()])


if __name__ == "__main__":
    unittest.main()
