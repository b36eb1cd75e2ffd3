#!/usr/bin/env python3
"""Loopback HTTP server for the network tests. Binds 127.0.0.1 on a free port and prints the
port on its first line. Paths:
  /bytes/N              N pattern bytes with Content-Length
  /nolength/N           N pattern bytes, no Content-Length, end of body = closed connection
  /slow/N               N pattern bytes in 8 pieces with short pauses
  /truncated/N          declares N bytes, sends half, closes
  /status/C             status C with a short body
  /redirect/C?to=PATH   status C with Location PATH (taken as given)
  /chain/K              K redirects, then /bytes/10
  /stall-headers        reads the request and never answers
  /stall-body/N         declares 2N bytes, sends N, then waits
  /drip/N/MS            declares N pattern bytes and sends them one at a time, MS ms apart
  /name/ANYTHING        100 pattern bytes (for file-name tests)
"""
import sys
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler

import loopback_server


PERIOD = bytes(((i * 31 + 7) % 251) for i in range(251))
BLOCK = PERIOD * (65536 // 251 + 2)


def pattern(start, count):
    """Byte i of a body is (i * 31 + 7) % 251; it repeats every 251 bytes."""
    out = bytearray()
    while count > 0:
        offset = start % 251
        take = min(count, len(BLOCK) - offset)
        out += BLOCK[offset:offset + take]
        start += take
        count -= take
    return bytes(out)


class Handler(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def send_pattern(self, n, length=True, pieces=1, pause=0.0):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if length:
            self.send_header("Content-Length", str(n))
        self.end_headers()
        step = max(1, (n + pieces - 1) // pieces)
        boundary = step
        sent = 0
        while sent < n:
            chunk = min(65536, n - sent)
            if pieces > 1:
                chunk = min(chunk, boundary - sent)
            self.wfile.write(pattern(sent, chunk))
            sent += chunk
            if pieces > 1 and sent == boundary:
                self.wfile.flush()
                time.sleep(pause)
                boundary += step

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        parts = url.path.split("/")
        kind = parts[1] if len(parts) > 1 else ""
        arg = parts[2] if len(parts) > 2 else ""
        try:
            if kind == "bytes":
                self.send_pattern(int(arg))
            elif kind == "nolength":
                self.send_pattern(int(arg), length=False)
                self.close_connection = True
            elif kind == "slow":
                self.send_pattern(int(arg), pieces=8, pause=0.05)
            elif kind == "truncated":
                n = int(arg)
                self.send_response(200)
                self.send_header("Content-Length", str(n))
                self.end_headers()
                self.wfile.write(pattern(0, n // 2))
                self.wfile.flush()
                self.close_connection = True
            elif kind == "status":
                body = ("status " + arg).encode()
                self.send_response(int(arg))
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)
            elif kind == "redirect":
                target = urllib.parse.parse_qs(url.query).get("to", ["/bytes/10"])[0]
                self.send_response(int(arg))
                self.send_header("Location", target)
                self.send_header("Content-Length", "0")
                self.end_headers()
            elif kind == "chain":
                k = int(arg)
                self.send_response(302)
                self.send_header("Location", "/chain/%d" % (k - 1) if k > 1 else "/bytes/10")
                self.send_header("Content-Length", "0")
                self.end_headers()
            elif kind == "stall-headers":
                time.sleep(120)
            elif kind == "stall-body":
                n = int(arg)
                self.send_response(200)
                self.send_header("Content-Length", str(2 * n))
                self.end_headers()
                self.wfile.write(pattern(0, n))
                self.wfile.flush()
                time.sleep(120)
            elif kind == "drip":
                n, pause = int(arg), int(parts[3]) / 1000.0
                self.send_response(200)
                self.send_header("Content-Length", str(n))
                self.end_headers()
                for i in range(n):
                    self.wfile.write(pattern(i, 1))
                    self.wfile.flush()
                    time.sleep(pause)
            elif kind == "name":
                self.send_pattern(100)
            else:
                self.send_error(404)
        except (BrokenPipeError, ConnectionResetError):
            pass


def main():
    loopback_server.serve(Handler)


if __name__ == "__main__":
    sys.exit(main())
