"""An FTP relay that breaks the connection on cue, for Vellumet's fault tests.

Run with /usr/bin/python3. Listens on 127.0.0.1 and a free port, which it prints as
"PORT <n>", and relays every FTP session to 127.0.0.1:--target, its data connections
included: the server's passive replies (227, 229) are rewritten to ports of the relay,
so every byte of a transfer passes through here and can be counted.

--cut CMD:K:BYTES   cuts the session once the K-th CMD transfer (RETR, STOR) has carried
                    BYTES data bytes: exactly that many are passed on, then every
                    connection of the session is reset at once. An upload's data
                    connection to the server is closed in order instead, so the server
                    keeps what it got of the file, as it does after a real network
                    failure.
--cut CMD:K         cuts the session when the client sends its K-th CMD, before the
                    server sees it.
--silence           at the cut, goes silent instead: nothing more is relayed and no
                    connection is closed, like a link that drops without a word.

Every client command is appended to --log as "<session> <command line>" (passwords
masked), and each cut as "CUT <what>". Exits when its standard input closes, so a test
that dies leaves no relay behind.
"""

import argparse
import os
import re
import selectors
import socket
import struct
import threading

TRANSFER_COMMANDS = {"RETR", "STOR", "STOU", "APPE", "LIST", "NLST", "MLSD"}
EPSV_REPLY = re.compile(rb"^229 .*\(\|\|\|(\d+)\|\)")
PASV_REPLY = re.compile(rb"^227 .*?(\d+),(\d+),(\d+),(\d+),(\d+),(\d+)")


class Rule:
    def __init__(self, text):
        parts = text.split(":")
        self.command = parts[0].upper()
        self.occurrence = int(parts[1]) if len(parts) > 1 else 1
        self.after = int(parts[2]) if len(parts) > 2 else None


class Relay:
    def __init__(self, args):
        self.target = args.target
        self.rule = Rule(args.cut) if args.cut else None
        self.silence = args.silence
        self.log = open(args.log, "a", encoding="utf-8", buffering=1) if args.log else None
        self.selector = selectors.DefaultSelector()
        self.sessions = 0
        self.seen = {}  # command -> how many times any client has sent it
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.selector.register(self.listener, selectors.EVENT_READ, ("listen", None))

    def note(self, line):
        if self.log:
            self.log.write(line + "\n")

    # --- sessions -------------------------------------------------------------------

    def accept_session(self):
        client, _ = self.listener.accept()
        server = socket.create_connection(("127.0.0.1", self.target))
        self.sessions += 1
        session = {
            "id": self.sessions,
            "client": client,
            "server": server,
            "sockets": [client, server],
            "from_client": b"",
            "from_server": b"",
            "transfer": None,  # (command, occurrence) of the transfer under way
            "counted": 0,
            "dead": False,
        }
        self.selector.register(client, selectors.EVENT_READ, ("client", session))
        self.selector.register(server, selectors.EVENT_READ, ("server", session))

    def client_command(self, session, line):
        text = line.decode("utf-8", "replace").rstrip("\r\n")
        command = text.split(" ", 1)[0].upper()
        self.note("%d %s" % (session["id"], "PASS ******" if command == "PASS" else text))
        self.seen[command] = self.seen.get(command, 0) + 1
        occurrence = self.seen[command]
        if command in TRANSFER_COMMANDS:
            session["transfer"] = (command, occurrence)
            session["counted"] = 0
        rule = self.rule
        if rule and rule.after is None and rule.command == command and rule.occurrence == occurrence:
            self.cut(session, "on %s #%d" % (command, occurrence))
            return False
        return True

    def from_client(self, session):
        data = self.receive(session["client"])
        if data is None:
            return self.close(session)
        session["from_client"] += data
        while b"\n" in session["from_client"] and not session["dead"]:
            line, _, rest = session["from_client"].partition(b"\n")
            session["from_client"] = rest
            if not self.client_command(session, line + b"\n"):
                return
            session["server"].sendall(line + b"\n")

    def from_server(self, session):
        data = self.receive(session["server"])
        if data is None:
            return self.close(session)
        session["from_server"] += data
        while b"\n" in session["from_server"]:
            line, _, rest = session["from_server"].partition(b"\n")
            session["from_server"] = rest
            session["client"].sendall(self.rewrite(session, line + b"\n"))

    # Passive replies name a port of the server; the client is sent to one of ours.
    def rewrite(self, session, line):
        epsv = EPSV_REPLY.match(line)
        pasv = PASV_REPLY.match(line)
        if not epsv and not pasv:
            return line
        port = int(epsv.group(1)) if epsv else int(pasv.group(5)) * 256 + int(pasv.group(6))
        listener = socket.create_server(("127.0.0.1", 0))
        session["sockets"].append(listener)
        self.selector.register(listener, selectors.EVENT_READ, ("data-listen", (session, port)))
        ours = listener.getsockname()[1]
        if epsv:
            return b"229 Entering Extended Passive Mode (|||%d|)\r\n" % ours
        return b"227 Entering Passive Mode (127,0,0,1,%d,%d).\r\n" % (ours // 256, ours % 256)

    # --- data connections -----------------------------------------------------------

    def accept_data(self, listener, session, port):
        self.selector.unregister(listener)
        client, _ = listener.accept()
        listener.close()
        session["sockets"].remove(listener)
        server = socket.create_connection(("127.0.0.1", port))
        session["sockets"] += [client, server]
        pair = {"client": client, "server": server}
        self.selector.register(client, selectors.EVENT_READ, ("data", (session, pair, "client")))
        self.selector.register(server, selectors.EVENT_READ, ("data", (session, pair, "server")))

    def relay_data(self, session, pair, side):
        source = pair[side]
        sink = pair["server" if side == "client" else "client"]
        data = self.receive(source)
        if data is None:
            # One side is done: pass the end on, as FTP marks a transfer's end by it.
            for s in (source, sink):
                self.drop(session, s, shutdown=True)
            return
        rule = self.rule
        transfer = session["transfer"]
        if rule and rule.after is not None and transfer == (rule.command, rule.occurrence):
            left = rule.after - session["counted"]
            if len(data) >= left:
                sink.sendall(data[:left])
                if side == "client":
                    # The server gets an orderly end of the cut-off upload.
                    self.drop(session, sink, shutdown=True)
                self.cut(session, "%s #%d after %d bytes" % (transfer[0], transfer[1], rule.after))
                return
            session["counted"] += len(data)
        sink.sendall(data)

    # --- cutting --------------------------------------------------------------------

    def cut(self, session, what):
        self.note("CUT " + what)
        self.rule = None  # one cut per run
        session["dead"] = True
        for s in list(session["sockets"]):
            try:
                self.selector.unregister(s)
            except (KeyError, ValueError):
                pass
            if self.silence:
                continue  # held open, never read or written again
            try:
                # Reset rather than close: the peer learns at once, as after a broken link.
                s.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            except OSError:
                pass
            s.close()
        if not self.silence:
            session["sockets"].clear()

    def drop(self, session, s, shutdown=False):
        try:
            self.selector.unregister(s)
        except (KeyError, ValueError):
            pass
        if shutdown:
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
        s.close()
        if s in session["sockets"]:
            session["sockets"].remove(s)

    def close(self, session):
        for s in list(session["sockets"]):
            self.drop(session, s, shutdown=True)

    @staticmethod
    def receive(s):
        try:
            data = s.recv(65536)
        except OSError:
            return None
        return data or None

    def serve(self):
        print("PORT %d" % self.listener.getsockname()[1], flush=True)
        while True:
            for key, _ in self.selector.select():
                kind, context = key.data
                try:
                    if kind == "listen":
                        self.accept_session()
                    elif kind == "client":
                        self.from_client(context)
                    elif kind == "server":
                        self.from_server(context)
                    elif kind == "data-listen":
                        self.accept_data(key.fileobj, *context)
                    elif kind == "data":
                        self.relay_data(*context)
                except OSError:
                    if kind in ("client", "server"):
                        self.close(context)
                    elif kind in ("data-listen", "data"):
                        session = context[0]
                        if key.fileobj in session["sockets"]:
                            self.drop(session, key.fileobj)


def exit_when_parent_goes():
    while os.read(0, 4096):
        pass
    os._exit(0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--target", type=int, required=True)
    parser.add_argument("--cut", default="")
    parser.add_argument("--silence", action="store_true")
    parser.add_argument("--log", default="")
    args = parser.parse_args()
    threading.Thread(target=exit_when_parent_goes, daemon=True).start()
    Relay(args).serve()


if __name__ == "__main__":
    main()
