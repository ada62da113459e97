#!/usr/bin/python3
"""An HTTP server for the tests on 127.0.0.1.

  http_server.py --port-file FILE --record-dir DIR [--serve-dir DIR]

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
GET /redirect?to=URL       302 to URL.
GET|POST /trickle?n=N&every=MS  N bytes (with a Content-Length), one every MS ms.
GET /cut?n=N&send=M        a Content-Length of N, then M bytes and a close.
POST /bomb?mib=M           M MiB of zeros compressed with gzip (Content-Encoding).
POST /text?n=N             N bytes of the Korean text compressed with gzip.
GET /file/NAME             NAME from --serve-dir, sent with sendfile.
"""
import argparse
import gzip
import os
import signal
import sys
import time
import zlib
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlparse

KOREAN = ("가" * 5000).encode("utf-8")  # 15000 bytes, 3 per character


def pattern(length):
    return bytes(i % 256 for i in range(length))


def gzip_of_zeros(mebibytes):
    """Compressed a mebibyte at a time, so the server never holds the whole."""
    packer = zlib.compressobj(9, zlib.DEFLATED, 16 + zlib.MAX_WBITS)
    block = bytes(1 << 20)
    pieces = [packer.compress(block) for _ in range(mebibytes)]
    pieces.append(packer.flush())
    return b"".join(pieces)


def korean_text(length):
    return (KOREAN * (length // len(KOREAN) + 1))[:length]


def make_handler(record_dir, serve_dir):
    counter = {"requests": 0}
    cache = {}

    def cached(key, make):
        if key not in cache:
            cache[key] = make()
        return cache[key]

    class Handler(BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"
        # Headers and body go out in separate writes: without this the body
        # would wait for the client's delayed acknowledgement.
        disable_nagle_algorithm = True

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
            elif path == "/trickle":
                query = parse_qs(urlparse(self.path).query)
                self._trickle(int(query["n"][0]), int(query["every"][0]) / 1000.0)
            elif path == "/bomb":
                mebibytes = int(parse_qs(urlparse(self.path).query)["mib"][0])
                self._reply(200, cached(("bomb", mebibytes), lambda: gzip_of_zeros(mebibytes)),
                            [("Content-Encoding", "gzip")])
            elif path == "/text":
                length = int(parse_qs(urlparse(self.path).query)["n"][0])
                self._reply(200, cached(("text", length), lambda: gzip.compress(korean_text(length), 6)),
                            [("Content-Type", "text/plain; charset=utf-8"), ("Content-Encoding", "gzip")])
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
            elif url.path == "/redirect":
                self.send_response(302)
                self.send_header("Location", query["to"][0])
                self.send_header("Content-Length", "0")
                self.end_headers()
            elif url.path == "/trickle":
                self._trickle(int(query["n"][0]), int(query["every"][0]) / 1000.0)
            elif url.path == "/cut":
                self._cut(int(query["n"][0]), int(query["send"][0]))
            elif url.path.startswith("/file/") and serve_dir:
                self._send_file(os.path.join(serve_dir, os.path.basename(url.path)))
            else:
                self._reply(404, b"not here", [("Content-Type", "text/plain")])

        def _trickle(self, length, every):
            self.send_response(200)
            self.send_header("Content-Length", str(length))
            self.end_headers()
            self.wfile.flush()
            try:
                for byte in pattern(length):
                    time.sleep(every)
                    self.wfile.write(bytes([byte]))
                    self.wfile.flush()
            except OSError:
                pass  # the client gave up
            self.close_connection = True

        def _cut(self, length, send):
            self.send_response(200)
            self.send_header("Content-Length", str(length))
            self.end_headers()
            self.wfile.write(pattern(send))
            self.wfile.flush()
            self.close_connection = True

        def _send_file(self, path):
            with open(path, "rb") as source:
                size = os.fstat(source.fileno()).st_size
                self.send_response(200)
                self.send_header("Content-Type", "application/octet-stream")
                self.send_header("Content-Length", str(size))
                self.end_headers()
                self.wfile.flush()
                self.connection.sendfile(source)

    return Handler


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--record-dir", required=True)
    parser.add_argument("--serve-dir", default=None)
    options = parser.parse_args()
    server = ThreadingHTTPServer(("127.0.0.1", 0), make_handler(options.record_dir, options.serve_dir))
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    temporary = options.port_file + ".tmp"
    with open(temporary, "w") as out:
        out.write(str(server.server_address[1]))
    os.rename(temporary, options.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
