#!/usr/bin/python3
"""Offline stand-in for the classified-ads site, for the tests and ./run.sh --demo.

The city is the first label of a Host ending in ".localhost" (newyork.localhost:PORT); curl and Chromium send
every *.localhost name to loopback, so no resolver set-up is needed. Plain localhost / 127.0.0.1 is the maker's
host (demo home page and banner). Some city codes misbehave on purpose; see README.md. Every answer is
deterministic.
"""

import argparse
import os
import re
import signal
import socket
import socketserver
import sys
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MIB = 1024 * 1024
CHUNK = 64 * 1024
USER_AGENT_CITY = "useragent"

# Set on SIGTERM/SIGINT; stalled answers wait on it so they end with the server.
stopping = threading.Event()


def escape(text):
    # Only what the tests look for; ' is left alone on purpose.
    return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace('"', "&quot;")


def head_lines(city, count):
    """The first count lines of a page, without line ends."""
    lines = ["<!DOCTYPE html>", "<html><head><title>%s search</title></head><body>" % escape(city)]
    lines += ["<p>header line %d</p>" % i for i in range(3, count + 1)]
    return lines[:count]


def foot_lines(count):
    """count closing lines, the last one closing the document."""
    if count <= 0:
        return []
    return ["<p>footer line %d</p>" % i for i in range(1, count)] + ["</body></html>"]


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def version_string(self):
        return "SampleSite/1"

    def log_message(self, format, *args):
        if self.server.options.verbose:
            super().log_message(format, *args)

    # --- answers -------------------------------------------------------------------------------------------

    def send_page(self, status, body, extra_headers=(), declared_length=None):
        data = body.encode("utf-8") if isinstance(body, str) else body
        self.send_response(status)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(len(data) if declared_length is None else declared_length))
        for name, value in extra_headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def not_found(self):
        self.send_page(404, "<!DOCTYPE html>\n<html><body><p>Not here.</p></body></html>\n")

    # --- dispatch ------------------------------------------------------------------------------------------

    def do_GET(self):
        host = (self.headers.get("Host") or "").strip().lower()
        if host.startswith("["):
            name = host[: host.find("]") + 1]
        else:
            name = host.rsplit(":", 1)[0] if ":" in host else host
        raw_path, _, raw_query = self.path.partition("?")

        if name in ("localhost", "127.0.0.1", "[::1]"):
            self.maker_host(raw_path)
        elif name.endswith(".localhost") and name.split(".")[0]:
            self.city_host(name.split(".")[0], raw_path, raw_query)
        else:
            self.not_found()

    def maker_host(self, path):
        if path == "/":
            self.send_page(
                200,
                "<!DOCTYPE html>\n"
                "<html><head><title>Quillobrand demo home</title></head><body>\n"
                "<h1>Quillobrand demo</h1>\n"
                "<p>This is the offline sample site: every city answers from this computer, nothing goes to the"
                " internet. Press the Search Builder button to put a search together and start it.</p>\n"
                "</body></html>\n",
            )
        elif path == "/banner.html":
            self.send_page(
                200,
                "<!DOCTYPE html>\n"
                "<html><head><title>Banner</title></head><body style=\"margin:0\">\n"
                "<div style=\"width:748px;height:120px;background:#2a6f97;color:#fff;font:bold 32px sans-serif;"
                "display:flex;align-items:center;justify-content:center\">Quillobrand sample site</div>\n"
                "</body></html>\n",
            )
        else:
            self.not_found()

    def city_host(self, city, raw_path, raw_query):
        if city == "moved":
            target = "http://newyork.localhost:%d%s" % (self.server.server_address[1], self.path)
            self.send_page(302, "<p>Moved.</p>\n", [("Location", target)])
            return
        match = re.fullmatch(r"/search/([^/]+)", raw_path)
        if city == "gone" or not match:
            self.not_found()
            return
        category = urllib.parse.unquote(match.group(1))
        words = urllib.parse.parse_qs(raw_query, keep_blank_values=True).get("query", [""])[0]

        odd_cities = {
            "closes": self.closes,
            "stalls": self.stalls,
            "empty": lambda: self.send_page(200, b""),
            "nomarker": lambda: self.send_page(200, self.no_marker_page()),
            "localonly": lambda: self.send_page(200, self.local_only_page(category, words)),
            "both": lambda: self.send_page(200, self.both_page()),
            "huge": self.huge,
            USER_AGENT_CITY: lambda: self.send_page(200, escape(self.headers.get("User-Agent") or "")),
        }
        if city in odd_cities:
            odd_cities[city]()
        elif re.search(r"\bnothing\b", words, re.IGNORECASE):
            self.send_page(200, self.nothing_found_page(city))
        else:
            self.send_page(200, self.normal_page(city, category, words))

    # --- pages ---------------------------------------------------------------------------------------------

    def ads(self, city, category, words, count):
        return "".join(
            '<p class="row" data-pid="%s%d"><a href="/%s/%s-%d.html" class="title">%s ad %d for %s</a></p>'
            % (escape(city), i, escape(category), escape(city), i, escape(city), i, escape(words))
            for i in range(1, count + 1)
        )

    def normal_page(self, city, category, words):
        o = self.server.options
        marker = (
            self.ads(city, category, words, o.ads)
            + '<a href="http://other.example/abs.html">abs</a>'
            + "<a href='/single.html'>single</a>"
            + "<a href=/unquoted.html>unquoted</a>"
            + '<span class="request">%s</span>' % escape(self.path)
        )
        # Lines up to the marker end in "\n", the footer's in "\r\n": the cutter has to cope with both.
        top = head_lines(city, o.marker_line - 1) + [marker]
        return "".join(line + "\n" for line in top) + "".join(
            line + "\r\n" for line in foot_lines(o.lines - o.marker_line)
        )

    def nothing_found_page(self, city):
        lines = head_lines(city, 3) + [
            '<div class="noresults"><hr><br>Nothing found for that search.<hr><br></div>',
            "</body></html>",
        ]
        return "".join(line + "\n" for line in lines)

    def no_marker_page(self):
        lines = head_lines("nomarker", 3) + [
            "<p>NOTHING FOUND HERE</p>",
            "<p>local results: none</p>",
            "<p>an ordinary line</p>",
            "</body></html>",
        ]
        return "".join(line + "\n" for line in lines)

    def local_only_page(self, category, words):
        lines = head_lines("localonly", 4) + [
            '<p class="local">3 LOCAL results found.</p>',
            self.ads("localonly", category, words, 3),
        ] + foot_lines(2)
        return "".join(line + "\n" for line in lines)

    def both_page(self):
        marker = (
            '<div class="noresults"><hr><br>Nothing found for that search.<hr><br></div>'
            '<p class="row" data-pid="both1"><a href="/x.html" class="title">both ad 1</a></p>'
        )
        lines = head_lines("both", 3) + [marker] + foot_lines(2)
        return "".join(line + "\n" for line in lines)

    # --- misbehaving answers -------------------------------------------------------------------------------

    def closes(self):
        # Promises 5000 bytes, sends 200, hangs up.
        self.send_page(200, ("<!DOCTYPE html>\n<html><body>" + "c" * 200)[:200], declared_length=5000)
        self.close_connection = True

    def stalls(self):
        # One body byte only: curl averages its low-speed check over about 5 s, so a bigger first piece would
        # put its stall verdict seconds later.
        self.send_page(200, "<", declared_length=5000)
        stopping.wait(self.server.options.stall_seconds)
        self.close_connection = True

    def huge(self):
        # Streamed so that the server never holds the page: 20 x 5 MiB, a 1 MiB marker line, 10 x 5 MiB.
        start = '<p class="row" data-pid="1">'
        end = "</p>\n"
        marker = (start + "m" * (MIB - len(start) - len(end)) + end).encode()
        total = 30 * 5 * MIB + len(marker)
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Content-Length", str(total))
        self.end_headers()
        filler = b"x" * CHUNK

        def plain_line():
            left = 5 * MIB - 1
            while left > 0:
                n = min(left, CHUNK)
                self.wfile.write(filler[:n])
                left -= n
            self.wfile.write(b"\n")

        try:
            for _ in range(20):
                plain_line()
            for i in range(0, len(marker), CHUNK):
                self.wfile.write(marker[i : i + CHUNK])
            for _ in range(10):
                plain_line()
        except (BrokenPipeError, ConnectionResetError):
            self.close_connection = True


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def server_bind(self):
        # HTTPServer.server_bind asks the resolver for a name we never use.
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = "localhost", self.server_address[1]

    def handle_error(self, request, client_address):
        # A client that hangs up mid-answer is normal here (the tests do it on purpose).
        if self.options.verbose:
            super().handle_error(request, client_address)


class Server6(Server):
    address_family = socket.AF_INET6


def parse_args(argv):
    p = argparse.ArgumentParser(description="Offline sample classified-ads site.")
    p.add_argument("--port", type=int, default=0, help="port to listen on; 0 picks a free one")
    p.add_argument("--port-file", help="write the port number here once listening")
    p.add_argument("--lines", type=int, default=12, help="lines of a normal page")
    p.add_argument("--marker-line", type=int, default=6, help="1-based line holding the ads")
    p.add_argument("--ads", type=int, default=3, help="ads on a normal page")
    p.add_argument("--stall-seconds", type=float, default=30, help="how long the 'stalls' city stays silent")
    p.add_argument("--verbose", action="store_true", help="log every request to stderr")
    o = p.parse_args(argv)
    if not 1 <= o.marker_line < o.lines:
        p.error("need 1 <= --marker-line < --lines")
    if o.ads < 0 or o.stall_seconds < 0 or not 0 <= o.port <= 65535:
        p.error("--ads, --stall-seconds and --port can't be negative")
    return o


def write_port_file(path, port):
    tmp = path + ".tmp"
    with open(tmp, "w") as f:
        f.write("%d\n" % port)
    os.replace(tmp, path)


def main(argv):
    o = parse_args(argv)
    servers = [Server(("127.0.0.1", o.port), Handler)]
    try:
        servers.append(Server6(("::1", servers[0].server_address[1]), Handler))
    except OSError:
        pass  # no IPv6 loopback: clients fall back to 127.0.0.1
    for s in servers:
        s.options = o
        threading.Thread(target=s.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True).start()

    signal.signal(signal.SIGTERM, lambda *_: stopping.set())
    signal.signal(signal.SIGINT, lambda *_: stopping.set())
    port = servers[0].server_address[1]
    if o.port_file:
        write_port_file(o.port_file, port)
    print("sample site listening on port %d" % port, flush=True)

    while not stopping.wait(0.2):
        pass
    for s in servers:
        s.shutdown()
        s.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
