"""FTP server for the publish benchmark, run with Debian's /usr/bin/python3.

Serves --root to one user on --address:--port. Every command, reply and data
connection event is appended to --log with a CLOCK_MONOTONIC time stamp, which is
the same clock in every network namespace, so the bench can line the server's
view of a run up with the client's:

    <seconds> <connection> > <command line>      (passwords masked)
    <seconds> <connection> < <reply line>
    <seconds> <connection> * <event>

With --certificate and --key it serves explicit TLS (AUTH TLS, encrypted data
connections required) and logs each completed TLS handshake as an event, "tls full"
or "tls resumed", on the control connection ("control") or a data connection ("data").

Exits when its standard input closes, so a bench that dies leaves no server behind.
"""

import argparse
import itertools
import os
import threading
import time

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import DTPHandler, FTPHandler, TLS_DTPHandler, TLS_FTPHandler
from pyftpdlib.servers import FTPServer

_connections = itertools.count(1)


def make_handler(args):
    log = open(args.log, "a", encoding="utf-8", buffering=1)

    def note(conn, mark, text):
        log.write("%.6f %d %s %s\n" % (time.monotonic(), conn, mark, text))

    tls = bool(args.certificate)

    def handshake(channel, conn, where):
        from OpenSSL._util import lib
        reused = lib.SSL_session_reused(channel.socket._ssl)
        note(conn, "*", "tls %s %s" % ("resumed" if reused else "full", where))

    class BenchData(TLS_DTPHandler if tls else DTPHandler):
        def handle_ssl_established(self):
            handshake(self, self.cmd_channel.connection_id, "data")

        # pyftpdlib 1.5.7 drops a data connection that turns readable before its
        # transfer command, as a client's TLS handshake makes it.
        def readable(self):
            return getattr(self, "_ssl_accepting", False) or super().readable()

    class BenchHandler(TLS_FTPHandler if tls else FTPHandler):
        banner = "Vellumet bench server ready."
        dtp_handler = BenchData
        if tls:
            certfile, keyfile = args.certificate, args.key
            tls_control_required = tls_data_required = True

        def handle_ssl_established(self):
            handshake(self, self.connection_id, "control")

        def on_connect(self):
            self.connection_id = next(_connections)
            note(self.connection_id, "*", "connect")

        def on_disconnect(self):
            note(self.connection_id, "*", "disconnect")

        def pre_process_command(self, line, cmd, arg):
            note(self.connection_id, ">", "PASS ******" if cmd == "PASS" else line)
            super().pre_process_command(line, cmd, arg)

        def respond(self, resp, *rest, **options):
            note(self.connection_id, "<", resp)
            super().respond(resp, *rest, **options)

        def _on_dtp_connection(self):
            note(self.connection_id, "*", "data connection open")
            super()._on_dtp_connection()

        def on_file_sent(self, file):
            note(self.connection_id, "*", "sent " + os.path.basename(file))

        def on_file_received(self, file):
            note(self.connection_id, "*", "received " + os.path.basename(file))

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    BenchHandler.authorizer = authorizer
    return BenchHandler


def exit_when_parent_goes():
    while os.read(0, 4096):
        pass
    os._exit(0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--address", required=True)
    parser.add_argument("--port", type=int, default=21)
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--certificate", default="")
    parser.add_argument("--key", default="")
    args = parser.parse_args()

    threading.Thread(target=exit_when_parent_goes, daemon=True).start()
    server = FTPServer((args.address, args.port), make_handler(args))
    print("READY", flush=True)
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
