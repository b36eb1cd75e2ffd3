#!/usr/bin/env python3
"""Loopback server shaped like the four search engines, for the net-search tests. Binds
127.0.0.1 on a free port and prints the port on its first line.

Query paths as the engines have them: /m (engine 0, GBK words in "word", offset "pn"),
/search (engines 1 and 2, UTF-8 words in "q"), /s (engine 3, UTF-8 words in "p", offset "b").
The first search word picks what the result page holds:
  linksN    N movie links (engines 1, 2: direct; 0: intermediate pages that each lead to a
            movie; 3: site-relative "下载" links to such pages)
  mixedN    N intermediate links of which the first 10 lead to movies
  none      links, none of them to a movie
  split     one movie link straddling byte 102,400 of the page, after filler
  unsafe    a movie link with onclick, a script and a remote image in its text
  long      a fragment over 5,120 bytes and a 261-byte movie address, then one good link
  stall     intermediate links to a page that never answers
  endless   a page without a declared length that sends movie links until the client leaves
  drip      two movie links (engines 1, 2), then one byte every 200 ms until the client leaves
  escape    engine 3: "下载" links that try to leave the site ("//host", "@host", absolute),
            and one site-relative link to the intermediate page of movie 3
Other paths: /inter/N (an intermediate page; N >= 10 with "mixed" has no movie), /stall
(never answers), /movie/N.swf (the N-th movie of --movies DIR in name order, else a tiny
body), /pixel.png, /log (the paths asked for so far, one a line).
"""
import sys
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler

import loopback_server

MOVIES = []
LOG = []


def words_of(path, query):
    q = urllib.parse.parse_qs(query, keep_blank_values=True, encoding="latin-1")
    if path == "/m":
        raw = q.get("word", [""])[0].encode("latin-1")
        return 0, raw.decode("gbk", "replace"), int(q.get("pn", ["0"])[0] or 0)
    if path == "/search":
        raw = q.get("q", [""])[0].encode("latin-1").decode("utf-8", "replace")
        raw = raw.replace(" filetype:swf", "")
        engine = 1 if q.get("hl", [""])[0] == "zh-CN" else 2
        return engine, raw, int(q.get("start", ["0"])[0] or 0)
    if path == "/s":
        raw = q.get("p", [""])[0].encode("latin-1").decode("utf-8", "replace")
        return 3, raw, int(q.get("b", ["0"])[0] or 0)
    return None, "", 0


class Handler(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def base(self):
        return "http://127.0.0.1:%d" % self.server.server_address[1]

    def send_body(self, body, ctype="text/html; charset=utf-8", status=200):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def movie(self, n):
        return "%s/movie/%d.swf" % (self.base(), n)

    def link_to(self, engine, n, kind):
        """An anchor for result n: direct for engines 1 and 2, intermediate for 0 and 3."""
        if engine in (1, 2):
            return '<a href="%s" class=l onmousedown="return rwt(this)">Movie <b>%d</b></a>' % (
                self.movie(n), n)
        target = "/inter/%d?kind=%s&amp;f=%d.swf" % (n, kind, n)
        if engine == 0:
            return '<a href="%s%s" target="_blank">%d.swf</a>' % (self.base(), target, n)
        return '<a href="%s" class="dl">%d.swf 下载</a>' % (target, n)

    def result_page(self, engine, words, offset):
        token = words.split(" ")[0] if words else ""
        parts = []
        if token.startswith("links") or token.startswith("mixed"):
            count = int(token[5:] or 0)
            kind = token[:5]
            for i in range(count):
                parts.append(self.link_to(engine, offset + i, kind))
                parts.append('<a href="http://127.0.0.1/cache?%d">cache</a>' % i)
        elif token == "none":
            parts.append('<a href="http://127.0.0.1/page.html">page</a> <a href="/x">x</a>')
        elif token == "split":
            filler = b"<p>" + b"x" * 200 + b"</p>\n"
            lead = bytearray(b"<html><body>")
            while len(lead) < 102400 - 30:
                lead += filler
            lead = lead[: 102400 - 30]
            tail = self.link_to(engine, 7, "links").encode()
            return bytes(lead) + tail + b"</body></html>"
        elif token == "unsafe":
            parts.append('<a href="%s" onclick="alert(1)">Evil<script>alert(2)</script>'
                         '<img src=%s/pixel.png> game &amp; fun</a>' % (self.movie(1), self.base()))
        elif token == "long":
            parts.append('<a href="%s">%s</a>' % (self.movie(2), "y" * 5200))
            parts.append('<a href="%s/%s.swf">long</a>' % (self.base(), "z" * 240))
            parts.append(self.link_to(engine, 3, "links"))
        elif token == "escape":
            port = self.server.server_address[1]
            for href in ("//127.0.0.2:%d/inter/1?kind=links&amp;f=1.swf" % port,
                         "@127.0.0.2:%d/inter/2?kind=links&amp;f=2.swf" % port,
                         "http://127.0.0.2:%d/inter/4?kind=links&amp;f=4.swf" % port,
                         "/inter/3?kind=links&amp;f=3.swf"):
                parts.append('<a href="%s" class="dl">%s 下载</a>' % (href, href[-5:]))
        elif token == "stall":
            for i in range(3):
                if engine == 3:
                    parts.append('<a href="/stall?f=%d.swf">%d.swf 下载</a>' % (i, i))
                else:
                    parts.append('<a href="%s/stall?f=%d.swf">%d.swf</a>' % (self.base(), i, i))
        body = "<html><head><title>results</title></head><body>\n%s\n</body></html>" % "\n".join(parts)
        return body.encode("gbk" if engine in (0, 1) else "utf-8", "replace")

    def do_GET(self):
        LOG.append(self.path)
        url = urllib.parse.urlsplit(self.path)
        try:
            engine, words, offset = words_of(url.path, url.query)
            if engine is not None and words.split(" ")[0] == "endless":
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.end_headers()
                chunk = "".join(self.link_to(engine, i, "links") + "\n" for i in range(100)).encode()
                while True:
                    self.wfile.write(chunk)
            elif engine is not None and words.split(" ")[0] == "drip":
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.end_headers()
                head = "<html><body>" + self.link_to(engine, 0, "links") + "\n" + \
                    self.link_to(engine, 1, "links") + "\n"
                self.wfile.write(head.encode())
                self.wfile.flush()
                while True:
                    time.sleep(0.2)
                    self.wfile.write(b" ")
                    self.wfile.flush()
            elif engine is not None:
                self.send_body(self.result_page(engine, words, offset))
            elif url.path.startswith("/inter/"):
                n = int(url.path.split("/")[2])
                kind = urllib.parse.parse_qs(url.query).get("kind", ["links"])[0]
                if kind == "mixed" and n % 20 >= 10:
                    body = '<html><body><a href="/other.html">no movie here</a></body></html>'
                else:
                    body = ('<html><body><a href="/home">home</a> <a href="%s" title="t">'
                            'Movie %d</a></body></html>' % (self.movie(n), n))
                self.send_body(body.encode())
            elif url.path == "/stall":
                time.sleep(60)
            elif url.path.startswith("/movie/"):
                n = int(url.path.split("/")[2].split(".")[0])
                if MOVIES:
                    with open(MOVIES[n % len(MOVIES)], "rb") as f:
                        body = f.read()
                else:
                    body = b"FWS\x06" + b"\0" * 16
                self.send_body(body, "application/x-shockwave-flash")
            elif url.path == "/pixel.png":
                self.send_body(b"\x89PNG", "image/png")
            elif url.path == "/log":
                self.send_body(("\n".join(LOG) + "\n").encode(), "text/plain")
            else:
                self.send_error(404)
        except (BrokenPipeError, ConnectionResetError):
            pass


def main():
    MOVIES.extend(loopback_server.movie_files(sys.argv[1:]))
    loopback_server.serve(Handler)


if __name__ == "__main__":
    sys.exit(main())
