"""A TCP relay for Vellumet's tests that keeps what the client sent, run with /usr/bin/python3.

Listens on 127.0.0.1 and a free port, which it prints as "PORT <n>", and relays every
connection to 127.0.0.1:--target, appending each byte the client sends to --log, so that
a test can look at exactly what crossed the wire. Exits when its standard input closes.
"""

import argparse
import os
import socket
import threading


def relay(source, sink, log, lock):
    try:
        while True:
            data = source.recv(65536)
            if not data:
                break
            if log:
                with lock:
                    log.write(data)
                    log.flush()
            sink.sendall(data)
    except OSError:
        pass
    finally:
        for s in (source, sink):
            try:
                s.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass


def exit_when_parent_goes():
    while os.read(0, 4096):
        pass
    os._exit(0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--target", type=int, required=True)
    parser.add_argument("--log", required=True)
    args = parser.parse_args()

    threading.Thread(target=exit_when_parent_goes, daemon=True).start()
    log = open(args.log, "ab")
    lock = threading.Lock()
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print("PORT %d" % listener.getsockname()[1], flush=True)
    while True:
        client, _ = listener.accept()
        server = socket.create_connection(("127.0.0.1", args.target))
        threading.Thread(target=relay, args=(client, server, log, lock), daemon=True).start()
        threading.Thread(target=relay, args=(server, client, None, lock), daemon=True).start()


if __name__ == "__main__":
    main()
