#!/usr/bin/python3
"""Offline stand-in for the classified-ads site, for the tests and ./run.sh --demo.

The city is the first label of a Host ending in ".localhost" (newyork.localhost:PORT); curl and Chromium send
every *.localhost name to loopback, so no resolver set-up is needed. Plain localhost / 127.0.0.1 is the maker's
host (demo home page and banner). Some city codes misbehave on purpose; see README.md. Every answer is
deterministic.
"""

import argparse
import gzip
import html
import json
import os
import re
import signal
import socket
import socketserver
import ssl
import sys
import threading
import urllib.parse
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

MIB = 1024 * 1024
CHUNK = 64 * 1024
USER_AGENT_CITY = "useragent"
# Cities that answer as the site does when it refuses a client, with that status.
REFUSING_CITIES = {"blocked": 403, "ratelimited": 429, "unavailable": 503}
# With --canonical, cities whose odd answers the tests need still answer on their own host.
CITIES_KEPT_ON_THEIR_HOST = {"gone", "closes", "stalls", "empty", "tohttps", "moved", "huge", "hugelist", USER_AGENT_CITY}

# Set on SIGTERM/SIGINT; stalled answers wait on it so they end with the server.
stopping = threading.Event()
request_log_lock = threading.Lock()


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


# --- today's shape ---------------------------------------------------------------------------------------------

TITLE_PATTERNS = [
    "%s - like new",
    "Vintage %s",
    "%s, barely used",
    "Solid %s for sale",
    "%s &amp; accessories",
    "Moving sale: %s",
    "Quality %s, pick up only",
    "%s in great shape",
]
PLACES = ["downtown", "north side", "east end", "old town", "riverside", "university district", "west hills"]
ID_ALPHABET = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"


def stable_number(*parts):
    """A number that depends only on the parts (Python's hash() changes from run to run)."""
    n = 1469598103934665603
    for byte in "\x1f".join(str(p) for p in parts).encode():
        n = ((n ^ byte) * 1099511628211) % (1 << 64)
    return n


def post_id(*parts):
    n = stable_number(*parts)
    digits = []
    for _ in range(22):
        n, r = divmod(n * 2654435761 + 40503, 62)
        digits.append(ID_ALPHABET[r])
    return "".join(digits)


def slug(text):
    return re.sub(r"[^a-z0-9]+", "-", text.lower()).strip("-") or "item"


def today_head_lines(city, count, pictures_line=None):
    """count lines of a head like the site's: meta tags, JSON-LD scripts (the list's pictures among them), styles."""
    lines = [
        "<!DOCTYPE html>",
        '<html class="no-js">',
        "<head>",
        '    <meta charset="UTF-8">',
        "    <title>%s search</title>" % escape(city),
        '    <script type="application/ld+json" id="ld_breadcrumb_data">',
        '    {"@context":"https://schema.org","@type":"BreadcrumbList","itemListElement":[]}',
        "    </script>",
    ]
    if pictures_line is not None:
        lines.append(pictures_line)
    lines += [
        "    <style>",
    ]
    i = 0
    while len(lines) < count - 3:
        i += 1
        lines.append("        .cl-rule-%d { margin: %dpx; }" % (i, i % 7))
    lines += ["    </style>", "</head>", '<body class="no-js">']
    return lines[-count:] if len(lines) > count else lines


def today_item_lines(title, link, price, place):
    """One ad of the list, spread over eleven lines as the site writes it."""
    return [
        '<li class="cl-static-search-result" title="%s">' % title,
        '    <a href="%s">' % link,
        '        <div class="title">%s</div>' % title,
        '        <div class="details">',
        '            <div class="price">%s</div>' % price,
        '            <div class="location">',
        "                %s" % place,
        "            </div>",
        "        </div>",
        "    </a>",
        "</li>",
    ]


SEE_ALSO_LINES = [
    '<li class="cl-static-hub-links">',
    "    <div>see also</div>",
    '    <p><a href="https://www.example.org/search/area/x?hub=deals">deals near you</a></p>',
    "</li>",
]


def ad_attributes(n):
    """What the options of today's site filter on, for the ad numbered n."""
    return {
        "bedrooms": 1 + (n >> 12) % 4,
        "cats": (n >> 16) % 2 == 0,
        "dogs": (n >> 17) % 3 == 0,
        "employment_type": 1 + (n >> 18) % 3,  # 1 full-time, 2 part-time, 3 contract
        "is_telecommuting": (n >> 20) % 4 == 0,
        "is_internship": (n >> 22) % 5 == 0,
        "is_nonprofit": (n >> 24) % 6 == 0,
        "is_paid": "yes" if (n >> 26) % 2 == 0 else "no",
    }


def whole(query, name):
    try:
        return int(query[name][0])
    except (KeyError, ValueError, IndexError):
        return None


def passes_filters(query, price, attributes):
    """Today's names only, as the real site reads them; the old ones (minAsk, addTwo=purrr, ...) are ignored."""
    low, high = whole(query, "min_price"), whole(query, "max_price")
    if low is not None or high is not None:
        if not price:
            return False
        amount = int(price.lstrip("$"))
        if (low is not None and amount < low) or (high is not None and amount > high):
            return False
    rooms_low, rooms_high = whole(query, "min_bedrooms"), whole(query, "max_bedrooms")
    if rooms_low is not None and attributes["bedrooms"] < rooms_low:
        return False
    if rooms_high is not None and attributes["bedrooms"] > rooms_high:
        return False
    if query.get("pets_cat") == ["1"] and not attributes["cats"]:
        return False
    if query.get("pets_dog") == ["1"] and not attributes["dogs"]:
        return False
    types = [t for t in query.get("employment_type", []) if t.isdigit()]
    if types and str(attributes["employment_type"]) not in types:
        return False
    for flag in ("is_telecommuting", "is_internship", "is_nonprofit"):
        if query.get(flag) == ["1"] and not attributes[flag]:
            return False
    if query.get("is_paid") in (["yes"], ["no"]) and attributes["is_paid"] != query["is_paid"][0]:
        return False
    return True


def picture_svg(name):
    """A small picture for an ad: a coloured square with the ad's first letters."""
    n = stable_number(name)
    colour = "#%02x%02x%02x" % (80 + n % 150, 80 + (n >> 8) % 150, 80 + (n >> 16) % 150)
    label = escape(re.sub(r"[^A-Za-z]", "", name)[:2].upper() or "AD")
    return (
        '<svg xmlns="http://www.w3.org/2000/svg" width="300" height="225" viewBox="0 0 300 225">'
        '<rect width="300" height="225" fill="%s"/>'
        '<text x="150" y="140" font-family="sans-serif" font-size="90" fill="#fff" text-anchor="middle">%s</text>'
        "</svg>" % (colour, label)
    )


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def version_string(self):
        return "SampleSite/1"

    def setup(self):
        # A real network's round trips: a new connection costs one.
        if self.server.options.delay_ms:
            stopping.wait(self.server.options.delay_ms / 1000)
        if self.server.options.connection_log:
            with request_log_lock, open(self.server.options.connection_log, "a") as log:
                log.write("%s:%d\n" % self.client_address[:2])
        super().setup()

    def log_message(self, format, *args):
        if self.server.options.verbose:
            super().log_message(format, *args)

    # --- answers -------------------------------------------------------------------------------------------

    def send_page(self, status, body, extra_headers=(), declared_length=None, content_type="text/html; charset=utf-8"):
        data = body.encode("utf-8") if isinstance(body, str) else body
        if self.server.options.delay_ms:
            stopping.wait(self.server.options.delay_ms / 1000)
        self.send_response(status)
        self.send_header("Content-Type", content_type)
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
        if self.server.options.request_log:
            with request_log_lock, open(self.server.options.request_log, "a") as log:
                log.write("%s %s\n" % (host, self.path))
        if host.startswith("["):
            name = host[: host.find("]") + 1]
        else:
            name = host.rsplit(":", 1)[0] if ":" in host else host
        raw_path, _, raw_query = self.path.partition("?")

        if name in ("localhost", "127.0.0.1", "[::1]"):
            self.maker_host(raw_path)
        elif name == "www.localhost":
            self.www_host(raw_path, raw_query)
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

    def www_host(self, raw_path, raw_query):
        """The site's canonical host: /search/area/CITY?cat=...&query=... and the ads' own pages."""
        query = urllib.parse.parse_qs(raw_query, keep_blank_values=True)
        area = re.fullmatch(r"/search/area/([^/]+)", raw_path)
        ad = re.fullmatch(r"/view/d/([^/]+)/([^/]+)", raw_path)
        picture = re.fullmatch(r"/images/([A-Za-z0-9_-]+)\.svg", raw_path)
        if area:
            # Every city answers here as it does on its own host: pages of both shapes, refusals and failures.
            city = urllib.parse.unquote(area.group(1))
            if city == "moved":
                target = "http://www.localhost:%d/search/area/newyork?%s" % (self.server.server_address[1], raw_query)
                self.send_page(302, "<p>Moved.</p>\n", [("Location", target)])
                return
            self.search_answer(city, query.get("cat", ["sss"])[0], raw_query)
        elif picture:
            self.send_page(200, picture_svg(picture.group(1)), content_type="image/svg+xml")
        elif ad:
            title = ad.group(1).replace("-", " ")
            self.send_page(
                200,
                "<!DOCTYPE html>\n<html><head><title>%s</title></head><body>\n<h2>%s</h2>\n"
                '<p>Reply: <a href="mailto:%s@reply.example.org?subject=%s">%s@reply.example.org</a></p>\n'
                "</body></html>\n" % (escape(title), escape(title), ad.group(2), slug(title), ad.group(2)),
            )
        else:
            self.not_found()

    def refuse(self, city):
        status = REFUSING_CITIES[city]
        self.send_page(
            status,
            "<!DOCTYPE html>\n<html><body><p>Your request has been blocked. blockID=%08x</p></body></html>\n"
            % (stable_number(city, self.path) % (1 << 32)),
        )

    def city_host(self, city, raw_path, raw_query):
        if city in REFUSING_CITIES:
            self.refuse(city)
            return
        if city == "redirects" or (self.server.options.canonical and city not in CITIES_KEPT_ON_THEIR_HOST):
            # As the real site does: the city's search goes to the canonical address on the www host, the
            # category as cat and every other parameter as it came.
            match = re.fullmatch(r"/search/([^/]+)", raw_path)
            pairs = [("cat", match.group(1) if match else "sss")]
            pairs += urllib.parse.parse_qsl(raw_query, keep_blank_values=True)
            target = "http://www.localhost:%d/search/area/%s?%s" % (
                self.server.server_address[1], city, urllib.parse.urlencode(pairs))
            self.send_page(301, "<p>Moved.</p>\n", [("Location", target)])
            return
        if city == "moved":
            target = "http://newyork.localhost:%d%s" % (self.server.server_address[1], self.path)
            self.send_page(302, "<p>Moved.</p>\n", [("Location", target)])
            return
        match = re.fullmatch(r"/search/([^/]+)", raw_path)
        if not match:
            self.not_found()
            return
        self.search_answer(city, urllib.parse.unquote(match.group(1)), raw_query)

    def search_answer(self, city, category, raw_query):
        """A city's answer to a search, on its own host or at the site's own address."""
        if city in REFUSING_CITIES:
            self.refuse(city)
            return
        if city == "tohttps" and self.server.options.tls_port:
            # A redirect to https: the download must still check the certificate it then meets.
            target = "https://localhost:%d/" % self.server.options.tls_port
            self.send_page(302, "<p>Moved.</p>\n", [("Location", target)])
            return
        if city == "gone":
            self.not_found()
            return
        query = urllib.parse.parse_qs(raw_query, keep_blank_values=True)
        words = query.get("query", [""])[0]

        odd_cities = {
            "closes": self.closes,
            "stalls": self.stalls,
            "empty": lambda: self.send_page(200, b""),
            "nomarker": lambda: self.send_page(200, self.no_marker_page()),
            "cutlist": self.cut_list,
            "localonly": lambda: self.send_page(200, self.local_only_page(category, words)),
            "both": lambda: self.send_page(200, self.both_page()),
            "huge": self.huge,
            "bomb": lambda: self.compressed("gzip"),
            "deflated": lambda: self.compressed("deflate"),
            "hugelist": self.huge_list,
            "hugelistline": lambda: self.huge_list(one_line=True),
            "hugepictures": lambda: self.huge_list(pictures_bytes=100 * MIB),
            "emptylist": lambda: self.send_page(200, self.today_page(city, category, words, empty_list=True)),
            USER_AGENT_CITY: lambda: self.send_page(200, escape(self.headers.get("User-Agent") or "")),
        }
        old_shape = self.server.options.old_shape
        if city in odd_cities:
            odd_cities[city]()
        elif "all" not in old_shape and city not in old_shape:
            self.send_page(200, self.today_page(city, category, words, query=query))
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

    def today_ad(self, city, category, words, i):
        """Title, link, price and place of ad i, all depending only on the search and i. Cities named cross...
        list the same ads (cross-posts: same ids and links); repost lists them again under ids of its own (the same
        title and price). Words beginning with "-" are not part of the titles."""
        id_city = city
        if city.startswith("cross") or city == "repost":
            city = "cross"
        n = stable_number(city, category, words, i)
        subject = escape(" ".join(w for w in words.split() if not w.startswith("-"))) or "item"
        title = TITLE_PATTERNS[n % len(TITLE_PATTERNS)] % subject
        title = title[0].upper() + title[1:]
        if self.server.options.distinct_titles:
            title += " no. %d" % (n % 1000003)
        ident = post_id(id_city if id_city == "repost" else city, category, words, i)
        if i % 5 == 0:  # older pages link to the city's own host
            link = "http://%s.localhost:%d/%s/d/%s/%s.html" % (
                city, self.server.server_address[1], category, slug(title), 7000000000 + n % 999999999)
        else:
            link = "http://www.localhost:%d/view/d/%s/%s" % (self.server.server_address[1], slug(title), ident)
        price = "" if n % 11 == 0 else "$%d" % (5 + n % 400)
        if city == "freebies":  # the site puts "$0" on ads without a price
            price = "$0"
        place = PLACES[(n >> 8) % len(PLACES)]
        return title, link, price, place

    def today_page(self, city, category, words, empty_list=False, query=None):
        """A search page as the site serves it today: a long head with the list's pictures as JSON-LD, the ads in
        one list, over many lines. Only the ads that pass today's filters are listed."""
        o = self.server.options
        matches_nothing = re.search(r"\bnothing\b", words, re.IGNORECASE)
        ads = []
        if not empty_list and not matches_nothing:
            for i in range(1, o.ads + 1):
                ad = self.today_ad(city, category, words, i)
                if passes_filters(query or {}, ad[2], ad_attributes(stable_number(city, category, words, i))):
                    ads.append(ad)
        lines = today_head_lines(city, o.list_line - 3, self.pictures_line(ads) if ads else None)
        lines += [
            '<div class="cl-static-header">',
            '    <a href="/">classifieds</a><h1>&quot;%s&quot; in %s</h1></div>' % (escape(words), escape(city)),
            '<ol class="cl-static-search-results">',
        ]
        if empty_list:
            lines += ["    ", "</ol>", '<script id="ads">{"items":[["%s"]]}</script>' % escape(words)]
        else:
            lines += SEE_ALSO_LINES
            for ad in ads:
                lines += today_item_lines(*ad)
            lines.append("</ol>")
        lines += ['<div class="cl-static-footer">&copy; sample site</div>', "</body>", "</html>"]
        return "".join(line + "\n" for line in lines)

    def pictures_line(self, ads):
        """The list again as JSON-LD, as the real site puts it in its head: numbered from 0, a picture for every
        ad but every seventh, which has no entry (real pages leave some out)."""
        entries = []
        for index, (title, link, price, place) in enumerate(ads):
            if index % 7 == 6:
                continue
            name = html.unescape(title)
            picture = "http://www.localhost:%d/images/%s.svg" % (self.server.server_address[1], slug(name))
            entries.append({
                "@type": "ListItem",
                "position": index,
                "item": {"@type": "Product", "name": name, "image": [picture], "offers": {"price": price}},
            })
        data = {"@context": "https://schema.org", "@type": "ItemList", "itemListElement": entries}
        return '<script type="application/ld+json" id="ld_searchpage_results">%s</script>' % json.dumps(data)

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

    def cut_list(self):
        # Today's page cut after its second ad: no "</ol>", no length, the connection closes.
        page = self.today_page("cutlist", "sss", "lamp")
        cut = page.index("</li>", page.index("</li>", page.index('class="cl-static-search-result"')) + 1) + 6
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        self.wfile.write(page[:cut].encode())

    def closes(self):
        # Promises 5000 bytes, sends 200, hangs up.
        self.send_page(200, ("<!DOCTYPE html>\n<html><body>" + "c" * 200)[:200], declared_length=5000)
        self.close_connection = True

    def compressed(self, encoding):
        # A few kilobytes that expand to 3 MiB, for the bound on a page's decoded size.
        body = b"<p>x</p>\n" * (3 * MIB // 9)
        data = gzip.compress(body) if encoding == "gzip" else zlib.compress(body)
        self.send_page(200, data, [("Content-Encoding", encoding)])

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


    def huge_list(self, one_line=False, pictures_bytes=0):
        # Today's shape, about 100 MB: 400,000 ads streamed in pieces so that the server never holds the page.
        # one_line: every ad on the list's one line. pictures_bytes: a JSON-LD line of about that size in the head.
        o = self.server.options
        top = "".join(line + "\n" for line in today_head_lines("hugelist", o.list_line - 1))
        bottom = "</ol>\n</body>\n</html>\n"
        end = "" if one_line else "\n"

        def piece(first):
            lines = []
            for i in range(first, first + 1000):
                link = "http://www.localhost/view/d/ad-%d/%s" % (i, post_id("hugelist", i))
                item = today_item_lines("Ad number %d" % i, link, "$%d" % (i % 1000), PLACES[i % len(PLACES)])
                lines += [line.strip() for line in item]
            return "".join(line + end for line in lines).encode()

        def pictures():
            entry = '{"position": %d, "item": {"name": "Ad number %d", "image": ["http://www.localhost/i/%d.jpg"]}}'
            self.wfile.write(b'<script type="application/ld+json" id="ld_searchpage_results">'
                             b'{"@type": "ItemList", "itemListElement": [')
            written, i = 0, 0
            while written < pictures_bytes:
                chunk = ",".join(entry % (n, n, n) for n in range(i, i + 1000))
                self.wfile.write((("," if i else "") + chunk).encode())
                written += len(chunk)
                i += 1000
            self.wfile.write(b"]}</script>\n")

        # No length: the answer ends when the connection closes, as HTTP/1.1 allows.
        self.send_response(200)
        self.send_header("Content-Type", "text/html; charset=utf-8")
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True
        try:
            self.wfile.write(top.encode())
            if pictures_bytes:
                pictures()
            self.wfile.write(b'<ol class="cl-static-search-results">' + end.encode())
            for k in range(400):
                self.wfile.write(piece(k * 1000 + 1))
            self.wfile.write(b"\n" + bottom.encode())
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
    p.add_argument("--list-line", type=int, default=280, help="1-based line of the list of ads (today's shape)")
    p.add_argument("--old-shape", default="", help="comma-separated cities that answer in the old one-line shape"
                   " ('all' for every city)")
    p.add_argument("--stall-seconds", type=float, default=30, help="how long the 'stalls' city stays silent")
    p.add_argument("--tls-cert", help="also serve https on a free loopback port with this certificate (PEM)")
    p.add_argument("--tls-key", help="the private key of --tls-cert (PEM)")
    p.add_argument("--delay-ms", type=float, default=0, help="added to each new connection and to each answer")
    p.add_argument("--canonical", action="store_true",
                   help="every city redirects to www.localhost, as the real site does (but the odd cities)")
    p.add_argument("--request-log", help="append 'HOST PATH' of every request to this file")
    p.add_argument("--connection-log", help="append 'ADDRESS:PORT' of the client for every new connection")
    p.add_argument("--distinct-titles", action="store_true",
                   help="a number in every title, so that ads of different cities are not alike (the benchmarks)")
    p.add_argument("--verbose", action="store_true", help="log every request to stderr")
    o = p.parse_args(argv)
    if not 1 <= o.marker_line < o.lines:
        p.error("need 1 <= --marker-line < --lines")
    if o.list_line < 4:
        p.error("need --list-line >= 4")
    o.old_shape = set(filter(None, o.old_shape.split(",")))
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
    o.tls_port = 0
    if o.tls_cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(o.tls_cert, o.tls_key)
        tls = Server(("127.0.0.1", 0), Handler)
        tls.socket = context.wrap_socket(tls.socket, server_side=True)
        o.tls_port = tls.server_address[1]
        servers.append(tls)
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
