"""The portal stand-in: login redirect, order pages, statistics and the request record."""

import http.client
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.environ.get("CORVANA_PORTAL_SCRIPT") or os.path.join(
    os.path.dirname(__file__), "..", "..", "tools", "portal", "portal.py")


class StandIn:
    def __init__(self, *args):
        self.proc = subprocess.Popen([sys.executable, "-u", SCRIPT, *args],
                                     stdout=subprocess.PIPE, text=True)
        self.port = int(self.proc.stdout.readline())

    def get(self, path, method="GET"):
        c = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        c.request(method, path)
        r = c.getresponse()
        body = r.read().decode("utf-8")
        c.close()
        return r.status, r.getheader("Location"), body

    def stop(self):
        self.proc.terminate()
        self.proc.wait(10)
        self.proc.stdout.close()


class PortalStandIn(unittest.TestCase):
    def setUp(self):
        self.log = tempfile.NamedTemporaryFile("r", suffix=".log", delete=False)
        self.portal = StandIn("--session", "s0", "--log", self.log.name, "--order", "05:77777")

    def tearDown(self):
        self.portal.stop()
        self.log.close()
        os.unlink(self.log.name)

    def test_login_redirects_into_the_session_and_lists_one_order_per_type(self):
        status, where, _ = self.portal.get("/Login.aspx?SPK=EN&userid=u1&passcode=p1")
        self.assertEqual(status, 302)
        self.assertEqual(where, "/(S(s0))/Default.aspx?SPK=EN&user=u1")
        status, _, body = self.portal.get(where)
        self.assertEqual(status, 200)
        for fb, number in [("00", "10000"), ("01", "10001"), ("02", "12345"), ("03", "10003"),
                           ("04", "10004"), ("05", "77777")]:
            self.assertIn('href="/(S(s0))/DownloadFB.aspx?a=QYX%s-PQ&amp;FB=%s"' % (number, fb), body)
        self.assertIn("Welcome", body)

    def test_big_order_link_leads_to_that_order_page(self):
        other = StandIn("--session", "s1", "--big-order", "01")
        try:
            _, _, body = other.get("/(S(s1))/Default.aspx")
            self.assertIn('<a id="big-order" href="/(S(s1))/DownloadFB.aspx?a=QYX10001-PQ&amp;FB=01"',
                          body)
        finally:
            other.stop()
        self.assertNotIn("big-order", self.portal.get("/(S(s0))/Default.aspx")[2])

    def test_login_without_id_or_passcode_fails_on_the_page(self):
        for query in ("SPK=DE&userid=&passcode=p", "SPK=DE&userid=u&passcode="):
            status, where, body = self.portal.get("/Login.aspx?" + query)
            self.assertEqual((status, where), (200, None))
            self.assertIn("Login failed", body)

    def test_pages_under_both_host_layouts_and_the_record(self):
        for prefix in ("", "/Corvana"):
            status, _, body = self.portal.get(prefix + "/(S(s0))/DownloadFB.aspx?a=QYX12345-PQ&FB=02")
            self.assertEqual(status, 200)
            self.assertIn("QYX12345-PQ", body)
            status, _, body = self.portal.get(prefix + "/(S(s0))/Statistik.aspx?QYX=QYX12345-PQ")
            self.assertEqual((status, body), (200, "OK"))
        _, _, record = self.portal.get("/__requests")
        lines = [
            "GET /(S(s0))/DownloadFB.aspx?a=QYX12345-PQ&FB=02 HTTP/1.1",
            "GET /(S(s0))/Statistik.aspx?QYX=QYX12345-PQ HTTP/1.1",
            "GET /Corvana/(S(s0))/DownloadFB.aspx?a=QYX12345-PQ&FB=02 HTTP/1.1",
            "GET /Corvana/(S(s0))/Statistik.aspx?QYX=QYX12345-PQ HTTP/1.1",
        ]
        self.assertEqual(record.splitlines(), lines)
        self.assertEqual(self.log.read().splitlines(), lines)
        self.portal.get("/__reset", "POST")
        self.assertEqual(self.portal.get("/__requests")[2], "")

    def test_statistics_answer_can_be_chosen(self):
        for args, want in [(("--stats-body", ""), (200, None, "")),
                           (("--stats-status", "302"), (302, "/", "")),
                           (("--stats-status", "500", "--stats-body", "x"), (500, None, "x"))]:
            other = StandIn(*args)
            try:
                self.assertEqual(other.get("/(S(s))/Statistik.aspx?QYX=QYX1-PQ"), want)
            finally:
                other.stop()


if __name__ == "__main__":
    unittest.main()
