"""Start-up shared by the test servers: a threaded HTTP server on a free loopback port, which
prints its port on the first line of standard output and serves until it is killed."""

import os
import sys
from http.server import ThreadingHTTPServer


class Server(ThreadingHTTPServer):
    daemon_threads = True
    request_queue_size = 64


def movie_files(args):
    """The movies of the folder named by "--movies FOLDER" in the arguments, sorted by name."""
    if len(args) == 2 and args[0] == "--movies":
        folder = args[1]
        return sorted(os.path.join(folder, n) for n in os.listdir(folder)
                      if n.lower().endswith(".swf"))
    return []


def serve(handler):
    server = Server(("127.0.0.1", 0), handler)
    print(server.server_address[1], flush=True)
    server.serve_forever()
