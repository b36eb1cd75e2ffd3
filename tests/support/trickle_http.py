#!/usr/bin/python3
"""Serves the current folder on 127.0.0.1, sending each body in small pieces with pauses, so
that a client sees its download progress. Usage: trickle_http.py PORT PIECES"""
import http.server
import os
import sys
import time

PIECES = int(sys.argv[2]) if len(sys.argv) > 2 else 20


class Handler(http.server.SimpleHTTPRequestHandler):
    def do_GET(self):
        path = self.translate_path(self.path)
        if not os.path.isfile(path):
            self.send_error(404)
            return
        with open(path, "rb") as f:
            body = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/x-shockwave-flash")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        step = max(1, len(body) // PIECES)
        for i in range(0, len(body), step):
            self.wfile.write(body[i:i + step])
            self.wfile.flush()
            time.sleep(0.1)

    def log_message(self, *args):
        pass


http.server.ThreadingHTTPServer(("127.0.0.1", int(sys.argv[1])), Handler).serve_forever()
