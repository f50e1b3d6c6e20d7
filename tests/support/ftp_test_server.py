"""FTP server for Vellumet's tests, run with Debian's /usr/bin/python3.

Serves --root to one user on 127.0.0.1 and a free port, which it prints as
"PORT <n>" once it listens. Every command a client sends is appended to --log
as "<connection> <command line>" (passwords masked), so a test can count what
reached the server. Exits when its standard input closes, so a test process that
dies never leaves a server behind.

With --tls-cert and --tls-key it requires TLS on the control and the data connections,
set up by AUTH TLS or, with --implicit-tls, at once; "<connection> [TLS]" is logged
when the control connection's handshake is complete.
"""

import argparse
import itertools
import os
import socket
import threading

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer

_connections = itertools.count(1)


def make_handler(args):
    log = open(args.log, "a", encoding="utf-8", buffering=1) if args.log else None
    stall_on = set(v.upper() for v in args.stall_on)
    refused = set(v.upper() for v in args.refuse)
    base = FTPHandler
    if args.tls_cert:
        from pyftpdlib.handlers import TLS_DTPHandler, TLS_FTPHandler

        class TlsDataHandler(TLS_DTPHandler):
            # pyftpdlib 1.5.7 drops a data connection that turns readable before its
            # transfer command arrives, as a client's TLS handshake makes it (libcurl
            # starts it at once); 1.5.8 waits for the handshake.
            def readable(self):
                return self._ssl_accepting or super().readable()

        base = TLS_FTPHandler

    class TestHandler(base):
        auth_failed_timeout = 0  # the default 3 s delay only slows the tests down
        banner = "Vellumet test server ready."

        def on_connect(self):
            self.connection_id = next(_connections)
            self.stalled = False

        if args.tls_cert:
            certfile = args.tls_cert
            keyfile = args.tls_key
            tls_control_required = True
            tls_data_required = True
            dtp_handler = TlsDataHandler

            def handle(self):
                if args.implicit_tls:
                    self.secure_connection(self.ssl_context)
                super().handle()

            def handle_ssl_established(self):
                if log:
                    log.write("%d [TLS]\n" % self.connection_id)

        def on_login(self, username):
            if args.start_dir:
                self.fs.cwd = args.start_dir

        def ftp_RNTO(self, path):
            # As some servers do: a rename only ever to a free name.
            if args.no_rename_over and self._rnfr and os.path.lexists(path):
                self._rnfr = None
                self.respond("550 Cannot create a file when that file already exists.")
                return None
            return super().ftp_RNTO(path)

        def pre_process_command(self, line, cmd, arg):
            if log:
                shown = "PASS ******" if cmd == "PASS" else line
                log.write("%d %s\n" % (self.connection_id, shown))
            if self.stalled or cmd in stall_on:
                self.stalled = True  # from here on the client hears nothing
                return
            if cmd in refused:
                self.respond("502 Command not implemented.")
                return
            super().pre_process_command(line, cmd, arg)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    for folder in args.read_only:
        authorizer.override_perm(args.user, os.path.join(args.root, folder.lstrip("/")),
                                 perm="elr", recursive=True)
    TestHandler.authorizer = authorizer
    return TestHandler


def serve_silently(listener):
    """Accepts every connection and never says a word on any of them."""
    held = []
    while True:
        conn, _ = listener.accept()
        held.append(conn)


def exit_when_parent_goes():
    while os.read(0, 4096):
        pass
    os._exit(0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    parser.add_argument("--log", default="")
    parser.add_argument("--start-dir", default="")
    parser.add_argument("--stall-on", action="append", default=[])
    parser.add_argument("--refuse", action="append", default=[])
    parser.add_argument("--silent", action="store_true")
    parser.add_argument("--no-rename-over", action="store_true")
    parser.add_argument("--read-only", action="append", default=[])
    parser.add_argument("--tls-cert", default="")
    parser.add_argument("--tls-key", default="")
    parser.add_argument("--implicit-tls", action="store_true")
    args = parser.parse_args()

    threading.Thread(target=exit_when_parent_goes, daemon=True).start()

    if args.silent:
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.bind(("127.0.0.1", 0))
        listener.listen(8)
        print("PORT %d" % listener.getsockname()[1], flush=True)
        serve_silently(listener)
        return

    server = FTPServer(("127.0.0.1", 0), make_handler(args))
    print("PORT %d" % server.socket.getsockname()[1], flush=True)
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
