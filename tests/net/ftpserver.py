#!/usr/bin/python3
"""A real FTP server on 127.0.0.1 for the upload tests and benchmarks.

Listens on a free port and prints it as the first line of stdout, then serves
until killed. One user with a password and full rights in --home, and the
user "reader" (same password) who may not store files.
--throttle limits the receive speed (bytes/s) so a transfer lasts;
--drop-after closes the data connection in the middle of an upload after that
many bytes and answers 426, as a server that loses the transfer does.
"""
import argparse
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--home", required=True)
    p.add_argument("--user", required=True)
    p.add_argument("--password", required=True)
    p.add_argument("--throttle", type=int, default=0)
    p.add_argument("--drop-after", type=int, default=0)
    a = p.parse_args()

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)

    auth = DummyAuthorizer()
    auth.add_user(a.user, a.password, a.home, perm="elradfmwMT")
    # May log in and look, but not store.
    auth.add_user("reader", a.password, a.home, perm="elr")

    class Handler(FTPHandler):
        pass

    Handler.authorizer = auth
    Handler.banner = "test server ready."

    if a.throttle:
        class Throttled(ThrottledDTPHandler):
            read_limit = a.throttle
        Handler.dtp_handler = Throttled
    elif a.drop_after:
        class Dropping(DTPHandler):
            def handle_read(self):
                DTPHandler.handle_read(self)
                if not self._closed and self.tot_bytes_received >= a.drop_after:
                    self._resp = ("426 Connection closed; transfer aborted.", logging.info)
                    self.close()
            # DTPHandler binds the event to its own handle_read.
            handle_read_event = handle_read
        Handler.dtp_handler = Dropping

    server = FTPServer(("127.0.0.1", 0), Handler)
    print(server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
