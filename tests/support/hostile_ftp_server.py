"""A small FTP server that misbehaves on purpose: ROOT on 127.0.0.1 to any login, starting
in /site, with one fault MODE. Prints "PORT <n> <pin>" once it listens and exits when its
standard input closes. Run by Debian's /usr/bin/python3. Modes: plain; drip:BYTES:SECONDS
and endless (a RETR that never ends); slow-stor:SECONDS (per 4 KB stored); rnfr:REPLY;
pwd:REPLY (escapes such as \\r undone); prot (TLS, and PROT P refused after the login).
A path with ".." in it is refused, as a server that does not resolve it would."""

import base64, datetime, hashlib, os, socket, ssl, sys, tempfile, threading, time

root, mode = sys.argv[1], sys.argv[2]
kind, _, arg = mode.partition(":")


def tls_context():
    from cryptography import x509
    from cryptography.hazmat.primitives import hashes, serialization as ser
    from cryptography.hazmat.primitives.asymmetric import ec
    key, now = ec.generate_private_key(ec.SECP256R1()), datetime.datetime.utcnow()
    name = x509.Name([x509.NameAttribute(x509.oid.NameOID.COMMON_NAME, "hostile")])
    cert = (x509.CertificateBuilder().subject_name(name).issuer_name(name).public_key(key.public_key())
            .serial_number(1).not_valid_before(now - datetime.timedelta(days=1))
            .not_valid_after(now + datetime.timedelta(days=1)).sign(key, hashes.SHA256()))
    fd, pem = tempfile.mkstemp()
    os.write(fd, cert.public_bytes(ser.Encoding.PEM) + key.private_bytes(
        ser.Encoding.PEM, ser.PrivateFormat.TraditionalOpenSSL, ser.NoEncryption()))
    os.close(fd)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(pem)
    os.remove(pem)
    info = key.public_key().public_bytes(ser.Encoding.DER, ser.PublicFormat.SubjectPublicKeyInfo)
    return context, "sha256//" + base64.b64encode(hashlib.sha256(info).digest()).decode()


def session(control, context):
    cwd, listener, renaming, stream = "/site", None, None, control.makefile("rb")

    def say(text):
        control.sendall(text.encode("latin-1") + b"\r\n")

    def local(path):
        path = path if path.startswith("/") else cwd + "/" + path
        return None if ".." in path.split("/") else root + path

    while True:
        line = stream.readline().decode("latin-1").rstrip("\r\n")
        command, _, path = line.partition(" ")
        command, file = command.upper(), local(path)
        if not line or command == "QUIT":
            return say("221 Bye")
        if command == "AUTH" and context:
            say("234 Go ahead")
            control = context.wrap_socket(control, server_side=True)
            stream = control.makefile("rb")
        elif command in ("USER", "PASS"):
            say("331 Password please" if command == "USER" else "230 Logged in")
        elif command in ("TYPE", "PBSZ"):
            say("200 OK")
        elif command == "PROT":
            say("534 PROT P not allowed here")
        elif command == "PWD":
            say(arg.encode().decode("unicode_escape") if kind == "pwd" else '257 "%s"' % cwd)
        elif command == "CWD":
            cwd = path if file and os.path.isdir(file) else cwd
            say("250 OK" if file and os.path.isdir(file) else "550 No such directory")
        elif command == "EPSV":
            listener = socket.create_server(("127.0.0.1", 0))
            say("229 Passive (|||%d|)" % listener.getsockname()[1])
        elif command in ("RETR", "STOR") and file and listener:
            say("150 Here it comes")
            data = listener.accept()[0]
            listener = listener.close()
            say(transfer(command, file, data))
        elif command == "RNFR" and kind == "rnfr":
            say(arg)
        elif command == "RNFR" and file and os.path.exists(file):
            renaming = file
            say("350 Go on")
        elif command == "RNTO" and file and renaming and os.path.exists(renaming):
            os.replace(renaming, file)
            renaming = say("250 Renamed")
        elif command == "DELE" and file and os.path.exists(file):
            os.remove(file)
            say("250 Deleted")
        else:
            say("550 No" if command in ("RETR", "STOR", "RNFR", "RNTO", "DELE") else "502 Not implemented")


def transfer(command, file, data):
    try:
        if command == "STOR":  # straight into the file, as real servers do
            with open(file, "wb") as out:
                while chunk := data.recv(4096):
                    out.write(chunk)
                    out.flush()
                    time.sleep(float(arg) if kind == "slow-stor" else 0)
        elif kind == "drip":
            while True:
                data.sendall(b"x" * int(arg.split(":")[0]))
                time.sleep(float(arg.split(":")[1]))
        elif kind == "endless":
            while True:
                data.sendall(b"x" * 65536)
        else:
            data.sendall(open(file, "rb").read())
        return "226 Done"
    except OSError:
        return "426 Transfer aborted"
    finally:
        data.close()


def guarded(control, context):
    try:
        session(control, context)
    except OSError:
        pass
    finally:
        control.close()


context, pin = tls_context() if kind == "prot" else (None, "-")
server = socket.create_server(("127.0.0.1", 0))
print("PORT %d %s" % (server.getsockname()[1], pin), flush=True)
threading.Thread(target=lambda: (sys.stdin.buffer.read(), os._exit(0)), daemon=True).start()
while True:
    connection = server.accept()[0]
    connection.sendall(b"220 Hostile test server\r\n")
    threading.Thread(target=guarded, args=(connection, context), daemon=True).start()
