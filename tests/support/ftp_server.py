#!/usr/bin/python3
"""An FTP server for the tests: pyftpdlib on 127.0.0.1, serving one folder to
one user, with optional faults that a client must survive.

  ftp_server.py --root DIR --port-file FILE [--port N] [--user U --password P]
                [--fault none|drop-first-retr|drop-first-stor|silent-first|escape-reply]
                [--drop-after BYTES]

The chosen port is written to FILE once the server listens. SIGTERM stops it.
escape-reply answers every RETR with a refusal full of terminal escape sequences.
"""
import argparse
import logging
import os
import signal
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler
from pyftpdlib.servers import FTPServer

STATE = {"armed": False, "used": False, "connections": 0}


def parse_arguments():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--user", default="kel")
    parser.add_argument("--password", default="secret")
    parser.add_argument("--fault", default="none",
                        choices=["none", "drop-first-retr", "drop-first-stor", "silent-first",
                                 "escape-reply"])
    parser.add_argument("--drop-after", type=int, default=65536)
    return parser.parse_args()


def make_handlers(options):
    class FaultyDTPHandler(DTPHandler):
        """Drops the data connection of the first faulted transfer after
        --drop-after bytes and answers 426, as a failing server would."""

        def use_sendfile(self):
            return False if STATE["armed"] else DTPHandler.use_sendfile(self)

        def _drop(self):
            STATE["armed"] = False
            self._resp = ("426 Data connection dropped by the test server; transfer aborted.", logging.info)
            self.close()

        def send(self, data):
            if not STATE["armed"]:
                return DTPHandler.send(self, data)
            room = options.drop_after - self.tot_bytes_sent
            if room <= 0:
                self._drop()
                return 0
            return DTPHandler.send(self, data[:room])

        def handle_read(self):
            DTPHandler.handle_read(self)
            if STATE["armed"] and self.receive and self.tot_bytes_received >= options.drop_after:
                self._drop()

        handle_read_event = handle_read  # the base class binds its own here

    class FaultyFTPHandler(FTPHandler):
        dtp_handler = FaultyDTPHandler

        def _arm(self, fault):
            if options.fault == fault and not STATE["used"]:
                STATE["armed"] = STATE["used"] = True

        def ftp_RETR(self, file):
            if options.fault == "escape-reply":
                # OSC title, bell, clear screen, a C1 CSI (sent as UTF-8) and DEL.
                self.respond("550 \x1b]0;owned\x07\x1b[2J gone\x9b31m\x7f.")
                return None
            self._arm("drop-first-retr")
            return FTPHandler.ftp_RETR(self, file)

        def ftp_STOR(self, file, mode="w"):
            self._arm("drop-first-stor")
            return FTPHandler.ftp_STOR(self, file, mode)

        def handle(self):
            STATE["connections"] += 1
            if options.fault == "silent-first" and STATE["connections"] == 1:
                return  # accept, then never say a word
            FTPHandler.handle(self)

    return FaultyFTPHandler


def main():
    options = parse_arguments()
    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)
    authorizer = DummyAuthorizer()
    authorizer.add_user(options.user, options.password, options.root, perm="elradfmwMT")
    handler = make_handlers(options)
    handler.authorizer = authorizer
    handler.banner = "kel test server ready."
    handler.auth_failed_timeout = 0.1  # the default 3 s would only slow the tests
    server = FTPServer(("127.0.0.1", options.port), handler)
    signal.signal(signal.SIGTERM, lambda *_: server.close_all())
    port = server.socket.getsockname()[1]
    temporary = options.port_file + ".tmp"
    with open(temporary, "w") as out:
        out.write(str(port))
    os.rename(temporary, options.port_file)
    try:
        server.serve_forever(handle_exit=True)
    except (KeyboardInterrupt, OSError):
        pass


if __name__ == "__main__":
    main()
