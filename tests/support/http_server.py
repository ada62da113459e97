#!/usr/bin/python3
"""An HTTP server for the tests on 127.0.0.1.

  http_server.py --port-file FILE --record-dir DIR

POST /form      200, echoes nothing; the request (request line, header lines
                in the order received, then the body) is saved as
                DIR/request-N.txt, N counting from 1.
POST /korean    200, text/plain UTF-8: "가" repeated so that characters cross
                every 4096-byte boundary.
POST /gzip      200, the Korean text compressed with gzip (Content-Encoding).
POST /deflate   200, the Korean text compressed with deflate.
POST /missing   404 with a short body.
GET /bytes?n=N  N bytes (0..255 repeating) with a Content-Length.
GET /chunked?sizes=A,B,..  chunked, no Content-Length: chunks of A, B... bytes.
GET /missing    404.
"""
import argparse
import gzip
import os
import signal
import sys
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlparse

KOREAN = ("가" * 5000).encode("utf-8")  # 15000 bytes, 3 per character


def pattern(length):
    return bytes(i % 256 for i in range(length))


def make_handler(record_dir):
    counter = {"requests": 0}

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"

        def log_message(self, *_):
            pass

        def _reply(self, status, body, headers=()):
            self.send_response(status)
            for name, value in headers:
                self.send_header(name, value)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0"))
            body = self.rfile.read(length)
            counter["requests"] += 1
            lines = [self.requestline] + ["%s: %s" % (k, v) for k, v in self.headers.items()]
            record = ("\n".join(lines) + "\n\n").encode("utf-8") + body
            with open(os.path.join(record_dir, "request-%d.txt" % counter["requests"]), "wb") as out:
                out.write(record)
            path = urlparse(self.path).path
            if path == "/form":
                self._reply(200, b"ok", [("Content-Type", "text/plain")])
            elif path == "/korean":
                self._reply(200, KOREAN, [("Content-Type", "text/plain; charset=utf-8")])
            elif path == "/gzip":
                self._reply(200, gzip.compress(KOREAN), [("Content-Encoding", "gzip")])
            elif path == "/deflate":
                self._reply(200, zlib.compress(KOREAN), [("Content-Encoding", "deflate")])
            else:
                self._reply(404, b"not here", [("Content-Type", "text/plain")])

        def do_GET(self):
            url = urlparse(self.path)
            query = parse_qs(url.query)
            if url.path == "/bytes":
                self._reply(200, pattern(int(query["n"][0])), [("Content-Type", "application/octet-stream")])
            elif url.path == "/chunked":
                sizes = [int(s) for s in query["sizes"][0].split(",")]
                self.send_response(200)
                self.send_header("Transfer-Encoding", "chunked")
                self.end_headers()
                data = pattern(sum(sizes))
                at = 0
                for size in sizes:
                    self.wfile.write(b"%x\r\n" % size + data[at:at + size] + b"\r\n")
                    self.wfile.flush()
                    at += size
                self.wfile.write(b"0\r\n\r\n")
            else:
                self._reply(404, b"not here", [("Content-Type", "text/plain")])

    return Handler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--record-dir", required=True)
    options = parser.parse_args()
    server = ThreadingHTTPServer(("127.0.0.1", 0), make_handler(options.record_dir))
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    temporary = options.port_file + ".tmp"
    with open(temporary, "w") as out:
        out.write(str(server.server_address[1]))
    os.rename(temporary, options.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
