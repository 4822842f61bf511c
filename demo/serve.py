#!/usr/bin/env python3
"""Serves the demo publication the way its web server would.

    serve.py SITE_DIR [--bind 127.0.0.1] [--port 8611] [--log FILE]

Static files from SITE_DIR; "vornistools.php" is sent as an HTML page, a folder as its
index.html, also when it is named without a trailing "/". Each request line is appended
to --log (flushed at once), so a caller can see when the manager has fetched the
catalogue and the archives.
"""

import argparse
import functools
import http.server
import os
import sys
import urllib.parse


class Handler(http.server.SimpleHTTPRequestHandler):
    extensions_map = {
        **http.server.SimpleHTTPRequestHandler.extensions_map,
        ".php": "text/html; charset=utf-8",
        ".html": "text/html; charset=utf-8",
        ".xml": "text/xml",
        ".ini": "text/plain",
        ".zip": "application/zip",
        ".exe": "application/octet-stream",
    }
    log_file = None

    def send_head(self):
        # A folder named without its trailing "/" is answered with its index page
        # directly, as the publisher's server answers "/ad/vornisshow/id/25".
        parts = urllib.parse.urlsplit(self.path)
        if not parts.path.endswith("/") and os.path.isdir(self.translate_path(self.path)):
            self.path = parts.path + "/" + ("?" + parts.query if parts.query else "")
        return super().send_head()

    def log_message(self, format, *args):
        line = "%s %s\n" % (self.log_date_time_string(), format % args)
        if self.log_file is not None:
            self.log_file.write(line)
            self.log_file.flush()
        else:
            sys.stderr.write(line)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("site")
    parser.add_argument("--bind", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=8611)
    parser.add_argument("--log")
    args = parser.parse_args()
    if args.log:
        Handler.log_file = open(args.log, "a", encoding="utf-8")
    handler = functools.partial(Handler, directory=args.site)
    http.server.ThreadingHTTPServer.allow_reuse_address = True
    # Clients that open hundreds of connections at once are queued, not reset.
    http.server.ThreadingHTTPServer.request_queue_size = 256
    with http.server.ThreadingHTTPServer((args.bind, args.port), handler) as server:
        server.serve_forever()


if __name__ == "__main__":
    main()
