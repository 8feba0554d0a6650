#!/usr/bin/env python3
"""Loopback stand-in for the dealer's portal, for the tests, the benchmarks and the demo.

It serves what the tool relies on: the login address, a portal start page with one order
page per device type (their addresses carry "DownloadFB" and the order markers), and the
statistics page, under both host layouts ("/Corvana/(S(...))/" of the German host and
"/(S(...))/" of the international one). Every request it gets is recorded.

    portal.py [--port N] [--log FILE] [--session ID] [--order FB:NUMBER ...]
              [--stats-status CODE] [--stats-body TEXT] [--beacon] [--big-order FB]

It listens on 127.0.0.1 only and prints the port it got as the first line on stdout.
Recorded requests: appended to --log (one request line each), and given back as plain
text by GET /__requests (one line each: the request line; /__requests itself is not
recorded). POST /__reset forgets them. With --beacon every page, once loaded, requests
/__loaded?<its path> (recorded too), so a benchmark sees when the page is up. With
--big-order the start page also offers that order as one large link over the top 200 pixels
of the page, so a test that drives the tool by mouse hits it at a known place.

Pages: /Login.aspx (302 into a new session; a failure page without id or passcode),
<session>/Default.aspx (the start page with the orders), <session>/DownloadFB.aspx?a=..&FB=..
(an order page), <session>/Frames.aspx?FB=.. (an order page inside a frame),
<session>/Statistik.aspx (answer set by --stats-status and --stats-body).
"""

import argparse
import html
import http.server
import random
import re
import string
import sys
import threading
import time
import urllib.parse

# Device-type code -> remote number of the order the start page offers for it.
DEFAULT_ORDERS = {"00": "10000", "01": "10001", "02": "12345", "03": "10003",
                  "04": "10004", "05": "10005"}
TYPE_NAMES = {"00": "TV1", "01": "VCR1", "02": "DVD", "03": "STB1", "04": "TVC1", "05": "TVC2"}

SESSION_IN_PATH = re.compile(r"^(/Corvana)?/\(S\(([^)]*)\)\)/(.*)$")


def new_session_id():
    # ASP.NET cookieless session ids: 24 characters of a-z and 0-5.
    return "".join(random.choice(string.ascii_lowercase + "012345") for _ in range(24))


class Portal:
    def __init__(self, args):
        self.args = args
        self.orders = dict(DEFAULT_ORDERS)
        for spec in args.order or []:
            fb, _, number = spec.partition(":")
            self.orders[fb] = number
        self.lock = threading.Lock()
        self.requests = []
        self.log = open(args.log, "a", buffering=1, encoding="utf-8") if args.log else None

    def record(self, line):
        with self.lock:
            self.requests.append(line)
            if self.log:
                self.log.write(line + "\n")
                self.log.flush()

    def session_for_login(self):
        return self.args.session or new_session_id()


BEACON = ("<script>addEventListener('load',function(){new Image().src='/__loaded?'"
          "+encodeURIComponent(location.pathname)})</script>")


def page(title, body, lang="de"):
    if Handler.portal and Handler.portal.args.beacon:
        body += BEACON
    return ("<!DOCTYPE html>\n<html lang=\"%s\"><head><meta charset=\"utf-8\">"
            "<title>%s</title><style>"
            "body{font-family:Tahoma,Verdana,sans-serif;font-size:13px;margin:0;background:#f4f6f9}"
            "header{background:linear-gradient(#1c3f73,#2d5c9e);color:#fff;padding:14px 24px}"
            "header h1{margin:0;font-size:20px} header p{margin:4px 0 0;font-size:12px;opacity:.8}"
            "main{padding:18px 24px} table{border-collapse:collapse;background:#fff}"
            "td,th{border:1px solid #c8d0dc;padding:6px 12px;text-align:left}"
            "th{background:#e3e9f2} a{color:#1c3f73}"
            "</style></head><body><header><h1>Corvana Halvern GmbH</h1>"
            "<p>Ersatzteile &middot; Fernbedienungen &middot; Service</p></header>"
            "<main>%s</main></body></html>\n" % (lang, html.escape(title), body))


class Handler(http.server.BaseHTTPRequestHandler):
    server_version = "PortalStandIn/1.0"
    protocol_version = "HTTP/1.1"
    portal = None  # set by main()

    def log_message(self, fmt, *args):  # quiet: the record is the log
        pass

    def reply(self, status, body=b"", ctype="text/html; charset=utf-8", headers=()):
        if isinstance(body, str):
            body = body.encode("utf-8")
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        for k, v in headers:
            self.send_header(k, v)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def do_POST(self):
        if self.path == "/__reset":
            with self.portal.lock:
                self.portal.requests.clear()
            return self.reply(200, "", "text/plain")
        self.portal.record(self.requestline)
        length = int(self.headers.get("Content-Length") or 0)
        if length:
            self.rfile.read(length)
        self.reply(405, "method not allowed", "text/plain")

    def do_HEAD(self):
        self.do_GET()

    def do_GET(self):
        if self.path == "/__requests":
            with self.portal.lock:
                text = "".join(line + "\n" for line in self.portal.requests)
            return self.reply(200, text, "text/plain; charset=utf-8")
        self.portal.record(self.requestline)
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
        m = SESSION_IN_PATH.match(url.path)
        if url.path.lower() == "/login.aspx":
            return self.login(query)
        if m:
            prefix, session, rest = m.group(1) or "", m.group(2), m.group(3)
            base = "%s/(S(%s))/" % (prefix, session)
            name = rest.lower()
            if name in ("", "default.aspx"):
                return self.start_page(base, session, query)
            if name == "downloadfb.aspx":
                return self.order_page(query)
            if name == "statistik.aspx":
                return self.statistics()
            if name == "frames.aspx":
                return self.frames_page(base, query)
        if url.path in ("/favicon.ico", "/__loaded"):
            return self.reply(404, "", "text/plain")
        self.reply(404, page("Nicht gefunden", "<p>Seite nicht gefunden / Page not found</p>"))

    def login(self, query):
        lang = (query.get("SPK") or [""])[0]
        user = (query.get("userid") or [""])[0]
        code = (query.get("passcode") or [""])[0]
        if not user or not code:
            body = ("<h2>Anmeldung fehlgeschlagen / Login failed</h2>"
                    "<p>Benutzer oder Kennwort fehlt. Bitte pruefen Sie die Zugangsdaten "
                    "(Zahnrad-Knopf). / User id or password missing.</p>")
            return self.reply(200, page("Login", body))
        session = self.portal.session_for_login()
        where = "/(S(%s))/Default.aspx?SPK=%s&user=%s" % (
            session, urllib.parse.quote(lang), urllib.parse.quote(user))
        self.reply(302, "", headers=[("Location", where)])

    def start_page(self, base, session, query):
        english = (query.get("SPK") or ["DE"])[0] == "EN"
        user = (query.get("user") or [""])[0]
        rows = []
        for fb in sorted(self.portal.orders):
            number = self.portal.orders[fb]
            href = "%sDownloadFB.aspx?a=QYX%s-PQ&FB=%s" % (base, number, fb)
            rows.append("<tr><td>QYX%s-PQ</td><td>QYX PQ %s</td><td><a href=\"%s\">%s</a></td></tr>"
                        % (html.escape(number), TYPE_NAMES.get(fb, html.escape(fb)),
                           html.escape(href), "Program remote" if english
                           else "Fernbedienung programmieren"))
        head = ("<h2>%s, %s</h2><p>%s</p>" % (
            "Welcome" if english else "Willkommen", html.escape(user),
            "Your open orders:" if english else "Ihre offenen Auftraege:"))
        table = ("<table><tr><th>%s</th><th>%s</th><th></th></tr>%s</table>" % (
            "Article" if english else "Artikel", "Device" if english else "Geraet", "".join(rows)))
        big = ""
        fb = self.portal.args.big_order
        if fb in self.portal.orders:
            href = "%sDownloadFB.aspx?a=QYX%s-PQ&FB=%s" % (base, self.portal.orders[fb], fb)
            big = ("<a id=\"big-order\" href=\"%s\" style=\"position:fixed;left:0;top:0;"
                   "width:100%%;height:200px;display:block;background:#2d5c9e;color:#fff;"
                   "font-size:28px;text-align:center;line-height:200px\">QYX%s-PQ</a>"
                   % (html.escape(href), html.escape(self.portal.orders[fb])))
        foot = "<p style=\"color:#889\">Session %s</p>" % html.escape(session)
        self.reply(200, page("Portal", big + head + table + foot, "en" if english else "de"))

    def order_page(self, query):
        article = (query.get("a") or [""])[0]
        body = ("<h2>Download %s</h2><p>Der Assistent Corvana Pellquin programmiert jetzt die "
                "Fernbedienung. / The Corvana Pellquin wizard now programs the remote.</p>"
                % html.escape(article))
        self.reply(200, page("DownloadFB", body))

    def frames_page(self, base, query):
        # A page without the marker that holds an order page in a frame.
        fb = (query.get("FB") or ["02"])[0]
        inner = "%sDownloadFB.aspx?a=QYX%s-PQ&FB=%s" % (base, self.portal.orders.get(fb, "12345"), fb)
        body = ("<h2>Auftrag</h2><iframe src=\"%s\" width=\"600\" height=\"200\"></iframe>"
                % html.escape(inner))
        self.reply(200, page("Frames", body))

    def statistics(self):
        status = self.portal.args.stats_status
        if 300 <= status < 400:
            return self.reply(status, "", headers=[("Location", "/")])
        self.reply(status, self.portal.args.stats_body, "text/html; charset=utf-8")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--port", type=int, default=0, help="port to listen on (0: a free one)")
    ap.add_argument("--log", help="append each request line to this file")
    ap.add_argument("--session", help="session id handed out at login (default: random)")
    ap.add_argument("--order", action="append", metavar="FB:NUMBER",
                    help="offer this remote number for a device-type code")
    ap.add_argument("--stats-status", type=int, default=200, help="status of Statistik.aspx")
    ap.add_argument("--stats-body", default="OK", help="body of Statistik.aspx (may be empty)")
    ap.add_argument("--beacon", action="store_true", help="pages report when they have loaded")
    ap.add_argument("--big-order", metavar="FB", help="offer this order as a large link at the top")
    args = ap.parse_args()

    Handler.portal = Portal(args)
    http.server.ThreadingHTTPServer.request_queue_size = 64
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    server.daemon_threads = True
    print(server.server_address[1], flush=True)
    try:
        server.serve_forever(poll_interval=0.2)
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
