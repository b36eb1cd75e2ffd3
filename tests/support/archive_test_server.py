#!/usr/bin/env python3
"""Loopback stand-in of the Internet Archive's advanced search, metadata and download services
and of the Wayback Machine's capture index and captures, shaped like their documented answers.
Binds 127.0.0.1 on a free port and prints the port on its first line.

/advancedsearch.php: the first word inside "AND (...)" of q picks the answer:
  badger      three Flash items: two movies (one named in Chinese with ".SWF"), none, and one
              whose title is an array (its movie in a subfolder, no size)
  awkward     an item answering {}, one answering an HTML page, an identifier the download path
              cannot hold, and one with a number as title and its files under "result"
  pages       45 items (numFound as a string), 20 a page, each with one movie
  htmlpage    an HTML error page with status 200
  endless     a JSON answer that never ends
  retry       429 with Retry-After: 1 once per query, then one item with one movie
  busy        always 503 with Retry-After: 1
  busylong    429 with Retry-After: 120
  slowN       N items whose file lists take 1.5 s each (the peak of requests in flight is kept)
/metadata/ID: the item's record; /download/ID/FILE: a 302 to /data/ID/FILE, the movie bytes.
/cdx/search/cdx: url=SITE/* with limit; flash.example.cn has 45 movie captures, mixed.example.cn
three of which one is not a ".swf" name, empty.example.cn none, html.example.cn an HTML page.
/web/TSid_/ORIGINAL: the capture's bytes. /log: "path<TAB>User-Agent" per request so far;
/peak: the most requests in flight at once; /reset clears both.
"""
import json
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler

import loopback_server

MOVIES = []
LOG = []
LOCK = threading.Lock()
STATE = {"inflight": 0, "peak": 0, "retried": set()}


def item(identifier, title, files, key="files"):
    return {"created": 1616004182, "d1": "ia600308.us.archive.org", "server": "evil.example",
            "dir": "/21/items/" + identifier, key: files,
            "metadata": {"identifier": identifier, "title": title,
                         "collection": ["softwarelibrary_flash"]}}


def f(name, size=None):
    entry = {"name": name, "source": "original", "format": "Shockwave Flash", "mtime": "1479169618"}
    if size is not None:
        entry["size"] = size
    return entry


ITEMS = {
    "badger-toons": item("badger-toons", "Badger Toons",
                         [f("Badger Dance.swf", "419170"), f("badger-toons_thumb.png", "200"),
                          f("中文 獾.SWF", 2048), f("badger-toons_files.xml")]),
    "badger-notes": item("badger-notes", "Badger notes",
                         [f("notes.txt", "10"), f("screen.png", "99")]),
    "badger-array": item("badger-array", ["Badger Array", "Other title"],
                         [f("games/badger run.swf"), f("games/readme.txt", "5")]),
    "ghost-item": {},
    "number-item": item("number-item", 1999, [f("year.swf", "77")], key="result"),
    "calm-item": item("calm-item", "Calm", [f("calm.swf", "1")]),
}
for _i in range(45):
    ITEMS["page-%02d" % _i] = item("page-%02d" % _i, "Page %d" % _i, [f("p%d.swf" % _i, "10")])
for _i in range(20):
    ITEMS["slow-%02d" % _i] = item("slow-%02d" % _i, "Slow %d" % _i, [f("s%d.swf" % _i, "10")])

SEARCHES = {
    "badger": [{"identifier": "badger-toons", "title": "Badger Toons", "year": "2004"},
               {"identifier": "badger-notes", "title": "Badger notes", "creator": ["a", "b"]},
               {"identifier": "badger-array", "title": ["Badger Array", "Other title"]}],
    "awkward": [{"identifier": "ghost-item"}, {"identifier": "html-item", "title": "HTML"},
                {"identifier": "bad/../item", "title": "Bad"},
                {"identifier": ["number-item"], "title": 1999}],
    "retry": [{"identifier": "calm-item", "title": "Calm"}],
}


def words_of(query):
    q = urllib.parse.parse_qs(query).get("q", [""])[0]
    at = q.find(" AND (")
    inner = q[at + 6:-1] if at >= 0 else ""
    return inner.replace("\\", "").split(" ")[0] if inner else ""


def site_captures(site):
    if site == "flash.example.cn":
        return [["cn,example,flash)/m%02d.swf" % i, "2005%02d%02d120000" % (i % 12 + 1, i % 28 + 1),
                 "http://flash.example.cn/m%02d.swf" % i, "application/x-shockwave-flash", "200",
                 "DIGEST%02d" % i, "1234"] for i in range(45)]
    if site == "mixed.example.cn":
        rows = []
        for i, path in enumerate(("a.swf", "play.php?id=3", "B.SWF")):
            rows.append(["cn,example,mixed)/" + path, "2007010%d000000" % (i + 1),
                         "http://mixed.example.cn/" + path, "application/x-shockwave-flash", "200",
                         "D%d" % i, "9"])
        return rows
    return []


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send_body(self, body, ctype="application/json", status=200, headers=()):
        self.send_response(status)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        for k, v in headers:
            self.send_header(k, v)
        self.end_headers()
        self.wfile.write(body)

    def movie_bytes(self, key):
        if MOVIES:
            with open(MOVIES[sum(key.encode()) % len(MOVIES)], "rb") as fh:
                return fh.read()
        return b"FWS\x06" + b"\0" * 16

    def search(self, query):
        word = words_of(query)
        params = urllib.parse.parse_qs(query)
        page = int(params.get("page", ["1"])[0])
        rows = int(params.get("rows", ["50"])[0])
        if word == "htmlpage":
            return self.send_body(b"<html><body>Service overloaded</body></html>", "text/html")
        if word == "endless":
            self.send_response(200)
            self.send_header("Content-Type", "application/json")
            self.end_headers()
            self.wfile.write(b'{"response":{"numFound":1,"docs":[')
            chunk = b'{"identifier":"x","title":"' + b"y" * 4000 + b'"},' * 1
            while True:
                self.wfile.write(chunk * 16)
        if word == "retry":
            with LOCK:
                first = query not in STATE["retried"]
                STATE["retried"].add(query)
            if first:
                return self.send_body(b"slow down", "text/plain", 429, [("Retry-After", "1")])
        if word == "busy":
            return self.send_body(b"busy", "text/html", 503, [("Retry-After", "1")])
        if word == "busylong":
            return self.send_body(b"busy", "text/html", 429, [("Retry-After", "120")])
        if word == "pages":
            ids = sorted(k for k in ITEMS if k.startswith("page-"))
            docs = [{"identifier": i, "title": ITEMS[i]["metadata"]["title"]}
                    for i in ids[(page - 1) * rows:page * rows]]
            found = str(len(ids))
        elif word.startswith("slow"):
            n = int(word[4:] or 0)
            docs = [{"identifier": "slow-%02d" % i} for i in range(n)]
            found = n
        else:
            docs = SEARCHES.get(word, [])
            found = len(docs)
        answer = {"responseHeader": {"status": 0, "QTime": 3, "params": {"q": "x", "rows": str(rows)}},
                  "response": {"numFound": found, "start": (page - 1) * rows, "docs": docs}}
        self.send_body(json.dumps(answer, ensure_ascii=False).encode())

    def metadata(self, identifier):
        if identifier.startswith("slow-"):
            time.sleep(1.5)
        if identifier == "html-item":
            return self.send_body(b"<html><body>Item unavailable</body></html>", "text/html")
        self.send_body(json.dumps(ITEMS.get(identifier, {}), ensure_ascii=False).encode())

    def cdx(self, query):
        params = urllib.parse.parse_qs(query)
        url = params.get("url", [""])[0]
        limit = int(params.get("limit", ["1000000"])[0])
        site = url[:-2] if url.endswith("/*") else url
        if site == "html.example.cn":
            return self.send_body(b"<html><body>Error</body></html>", "text/html")
        if params.get("output") != ["json"] or params.get("collapse") != ["digest"] or \
                sorted(params.get("filter", [])) != ["mimetype:application/x-shockwave-flash",
                                                     "statuscode:200"]:
            return self.send_body(b"bad query", "text/plain", 400)
        rows = site_captures(site)[:limit]
        header = ["urlkey", "timestamp", "original", "mimetype", "statuscode", "digest", "length"]
        self.send_body(json.dumps([header] + rows if rows else []).encode())

    def do_GET(self):
        if self.path in ("/log", "/peak", "/reset"):
            return self.route()
        with LOCK:
            LOG.append("%s\t%s" % (self.path, self.headers.get("User-Agent", "")))
            STATE["inflight"] += 1
            STATE["peak"] = max(STATE["peak"], STATE["inflight"])
        try:
            self.route()
        except (BrokenPipeError, ConnectionResetError):
            pass
        finally:
            with LOCK:
                STATE["inflight"] -= 1

    def route(self):
        url = urllib.parse.urlsplit(self.path)
        path = urllib.parse.unquote(url.path)
        if url.path == "/advancedsearch.php":
            self.search(url.query)
        elif url.path.startswith("/metadata/"):
            self.metadata(path[len("/metadata/"):])
        elif url.path.startswith("/download/"):
            self.send_body(b"", "text/html", 302,
                           [("Location", "/data" + url.path[len("/download"):])])
        elif url.path.startswith("/data/"):
            self.send_body(self.movie_bytes(path), "application/x-shockwave-flash")
        elif url.path == "/cdx/search/cdx":
            self.cdx(url.query)
        elif url.path.startswith("/web/"):
            self.send_body(self.movie_bytes(path), "application/x-shockwave-flash")
        elif url.path == "/log":
            with LOCK:
                body = "".join(line + "\n" for line in LOG)
            self.send_body(body.encode(), "text/plain")
        elif url.path == "/peak":
            self.send_body(str(STATE["peak"]).encode(), "text/plain")
        elif url.path == "/reset":
            with LOCK:
                LOG.clear()
                STATE["peak"] = 0
                STATE["retried"].clear()
            self.send_body(b"ok", "text/plain")
        else:
            self.send_body(b"not found", "text/plain", 404)


def main():
    MOVIES.extend(loopback_server.movie_files(sys.argv[1:]))
    loopback_server.serve(Handler)


if __name__ == "__main__":
    sys.exit(main())
