#!/usr/bin/python3
"""A real FTP server on 127.0.0.1 for the upload tests and benchmarks.

Listens on a free port and prints it as the first line of stdout, then serves
until killed. One user with a password and full rights in --home, and the
user "reader" (same password) who may not store files.
--throttle limits the receive speed (bytes/s) so a transfer lasts;
--drop-after closes the data connection in the middle of an upload after that
many bytes and answers 426, as a server that loses the transfer does.
--tls DIR makes a self-signed certificate for 127.0.0.1 (DIR/cert.pem, its
key in DIR/key.pem) and requires explicit TLS (AUTH TLS) on the control and data
connections: a client that logs in without it is refused.
--port listens on that port (a server started again where it was);
--log FILE appends the name of every file received completely, one a line;
--passive-only refuses PORT and EPRT, so only a passive client can send.
"""
import argparse
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def make_certificate(folder):
    """A fresh self-signed certificate for 127.0.0.1; returns its and its key's files."""
    from OpenSSL import crypto
    key = crypto.PKey()
    key.generate_key(crypto.TYPE_RSA, 2048)
    cert = crypto.X509()
    cert.get_subject().CN = "127.0.0.1"
    cert.set_serial_number(1)
    cert.gmtime_adj_notBefore(-60)
    cert.gmtime_adj_notAfter(24 * 3600)
    cert.set_issuer(cert.get_subject())
    cert.set_pubkey(key)
    cert.add_extensions([
        crypto.X509Extension(b"subjectAltName", False, b"IP:127.0.0.1"),
        crypto.X509Extension(b"basicConstraints", True, b"CA:TRUE"),
    ])
    cert.sign(key, "sha256")
    with open(folder + "/key.pem", "wb") as f:
        f.write(crypto.dump_privatekey(crypto.FILETYPE_PEM, key))
    with open(folder + "/cert.pem", "wb") as f:
        f.write(crypto.dump_certificate(crypto.FILETYPE_PEM, cert))
    return folder + "/cert.pem", folder + "/key.pem"


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--home", required=True)
    p.add_argument("--user", required=True)
    p.add_argument("--password", required=True)
    p.add_argument("--throttle", type=int, default=0)
    p.add_argument("--drop-after", type=int, default=0)
    p.add_argument("--tls", default="")
    p.add_argument("--port", type=int, default=0)
    p.add_argument("--log", default="")
    p.add_argument("--passive-only", action="store_true")
    a = p.parse_args()

    logging.basicConfig(level=logging.WARNING, stream=sys.stderr)

    auth = DummyAuthorizer()
    auth.add_user(a.user, a.password, a.home, perm="elradfmwMT")
    # May log in and look, but not store.
    auth.add_user("reader", a.password, a.home, perm="elr")

    base = FTPHandler
    if a.tls:
        from pyftpdlib.handlers import TLS_FTPHandler
        base = TLS_FTPHandler

    class Handler(base):
        def on_file_received(self, file):
            if a.log:
                with open(a.log, "a") as f:
                    f.write(file + "\n")

        def ftp_PORT(self, line):
            if a.passive_only:
                self.respond("502 Active mode is not allowed here.")
            else:
                base.ftp_PORT(self, line)

        def ftp_EPRT(self, line):
            if a.passive_only:
                self.respond("502 Active mode is not allowed here.")
            else:
                base.ftp_EPRT(self, line)

    if a.tls:
        Handler.certfile, Handler.keyfile = make_certificate(a.tls)
        from OpenSSL import SSL
        ctx = SSL.Context(SSL.TLS_SERVER_METHOD)
        ctx.use_certificate_chain_file(Handler.certfile)
        ctx.use_privatekey_file(Handler.keyfile)
        # The client resumes the control connection's session on the data
        # connection; OpenSSL refuses that without a session id context.
        ctx.set_session_id(b"lumivark-test")
        Handler.ssl_context = ctx
        Handler.tls_control_required = True
        Handler.tls_data_required = True

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

    server = FTPServer(("127.0.0.1", a.port), Handler)
    print(server.socket.getsockname()[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
