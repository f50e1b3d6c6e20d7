"""The tests' server of DIR/root on 127.0.0.1 to one user: ftp, explicit or implicit by pyftpdlib,
sftp by sshd (as root). Prints "PORT <n> <pin>", logs as sshd does, exits when stdin closes.
Faults on request: cuts, silences, own replies, dripping or endless RETR, slow STOR; ".." refused."""

import argparse, base64, codecs, datetime, hashlib, ipaddress, os, shutil, socket, struct, subprocess, sys, threading, time
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization as ser
from cryptography.hazmat.primitives.asymmetric import ec, ed25519
from cryptography.x509.oid import NameOID


def make_certificate(args):
    """DIR/authority.pem, and cert.pem + key.pem of the kind asked for; gives the key's pin."""
    now, name = datetime.datetime.utcnow(), lambda n: x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, n)])
    local = [x509.IPAddress(ipaddress.ip_address("127.0.0.1")), x509.DNSName("localhost")]

    def sign(subject, key, issuer, issuer_key, hosts=None):
        builder = (x509.CertificateBuilder().subject_name(name(subject)).issuer_name(name(issuer))
                   .public_key(key.public_key()).serial_number(x509.random_serial_number())
                   .not_valid_before(now - datetime.timedelta(days=1))
                   .not_valid_after(now + datetime.timedelta(days=30))
                   .add_extension(x509.BasicConstraints(ca=not hosts, path_length=None), True))
        if hosts:
            builder = builder.add_extension(x509.SubjectAlternativeName(hosts), False)
        return builder.sign(issuer_key, hashes.SHA256()).public_bytes(ser.Encoding.PEM)

    ca_key, key = ec.generate_private_key(ec.SECP256R1()), ec.generate_private_key(ec.SECP256R1())
    hosts = [x509.DNSName("other.example")] if args.certificate == "other-name" else local
    files = {"authority.pem": sign("Test Authority", ca_key, "Test Authority", ca_key),
             "cert.pem": sign("server", key, "Test Authority", ca_key, hosts),
             "key.pem": key.private_bytes(ser.Encoding.PEM, ser.PrivateFormat.TraditionalOpenSSL,
                                          ser.NoEncryption())}
    for file, data in files.items():
        open(os.path.join(args.dir, file), "wb").write(data)
    info = key.public_key().public_bytes(ser.Encoding.DER, ser.PublicFormat.SubjectPublicKeyInfo)
    return "sha256//" + base64.b64encode(hashlib.sha256(info).digest()).decode()


def make_handler(args, log):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import DTPHandler, FTPHandler, TLS_DTPHandler, TLS_FTPHandler
    from OpenSSL._util import lib
    tls, cut, seen = args.kind in ("explicit", "implicit"), (args.cut.split(":") + ["0"] * 3)[:3], {}

    def reset(*channels):
        for channel in channels:
            channel.del_channel()
            channel.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            channel.socket.close()

    class Data(TLS_DTPHandler if tls else DTPHandler):
        # pyftpdlib 1.5.7 drops a data connection that turns readable before its
        # transfer command, as a client's TLS handshake makes it; 1.5.8 waits for it.
        def readable(self):
            return getattr(self, "_ssl_accepting", False) or super().readable()

        def handle_ssl_established(self):  # as many hosts: the control's session or nothing
            if not lib.SSL_session_reused(self.socket._ssl):
                self.close()

        def handle_read(self):
            before = self.tot_bytes_received
            super().handle_read()
            time.sleep(args.slow_stor * (self.tot_bytes_received - before) / 4096)
            self.moved()

        if not tls:  # cuts are for plain FTP; the TLS handler reads through its own
            handle_read_event = handle_read

        def moved(self):
            if self.cmd_channel.cut_here and self.tot_bytes_received >= int(cut[2]):
                reset(self, self.cmd_channel)

    class Handler(TLS_FTPHandler if tls else FTPHandler):
        auth_failed_timeout, use_sendfile, dtp_handler, cut_here, stalled = 0, False, Data, False, False
        certfile, keyfile = os.path.join(args.dir, "cert.pem"), os.path.join(args.dir, "key.pem")
        tls_control_required = tls_data_required = True

        def on_connect(self):
            log.write("Connection from 127.0.0.1\n")
            if args.kind == "implicit":
                self.secure_connection(self.ssl_context)

        def handle_ssl_established(self):  # counted: the run's extra logins should resume
            log.write("TLS %s\n" % ("resumed" if lib.SSL_session_reused(self.socket._ssl) else "handshake"))

        def on_login(self, username):
            self.fs.cwd = args.start_dir or "/"

        def ftp_RETR(self, path):
            if not args.retr:
                return super().ftp_RETR(path)
            size, pause = (float(n) for n in (args.retr + ":0").split(":")[:2])
            drip = type("Drip", (), {"more": lambda _: time.sleep(pause) or b"x" * int(size)})
            self.push_dtp_data(drip(), isproducer=True, cmd="RETR")

        def ftp_RNTO(self, path):
            if args.no_rename_over and os.path.lexists(path):
                self._rnfr = None
                return self.respond("550 Cannot create a file when that file already exists.")
            return super().ftp_RNTO(path)

        def pre_process_command(self, line, cmd, arg):
            if cmd == "PASS":
                log.write("password for %s\n" % self.username)
            if cmd == cut[0]:
                seen[cmd] = seen.get(cmd, 0) + 1
                self.cut_here = seen[cmd] == int(cut[1])
            self.stalled = self.stalled or cmd in args.stall_on  # then the client hears nothing
            reply = [r.split(":", 1)[1] for r in args.reply if r.split(":")[0] == cmd]
            if not self.stalled and (reply or ".." in arg.split("/")):
                self.respond(codecs.decode(reply[0], "unicode_escape") if reply else "550 No.")
            elif not self.stalled:
                super().pre_process_command(line, cmd, arg)

    Handler.authorizer = DummyAuthorizer()
    Handler.authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    return Handler


def serve_sftp(args, log):
    """sshd shuts the user in DIR/root, which like its parents must be root's alone."""
    if subprocess.run(["id", args.user], capture_output=True).returncode:
        subprocess.run(["useradd", "--system", "--no-create-home", "--home-dir", "/", "--shell",
                        "/usr/sbin/nologin", args.user], check=True)
    subprocess.run(["chpasswd"], input=("%s:%s\n" % (args.user, args.password)).encode(), check=True)
    os.makedirs("/run/sshd", exist_ok=True)
    os.chmod(args.root, 0o755)
    for folder, subfolders, files in os.walk(args.root):  # below it, the user's to write in
        for entry in subfolders + files:
            shutil.chown(os.path.join(folder, entry), args.user, args.user)
    key, key_file = ed25519.Ed25519PrivateKey.generate(), os.path.join(args.dir, "host_key")
    with os.fdopen(os.open(key_file, os.O_WRONLY | os.O_CREAT, 0o600), "wb") as f:
        f.write(key.private_bytes(ser.Encoding.PEM, ser.PrivateFormat.OpenSSH, ser.NoEncryption()))
    public = key.public_key().public_bytes(ser.Encoding.OpenSSH, ser.PublicFormat.OpenSSH)
    with socket.create_server(("127.0.0.1", 0)) as probe:
        port = probe.getsockname()[1]
    config = os.path.join(args.dir, "sshd_config")
    open(config, "w").write(
        "ListenAddress 127.0.0.1:%d\nHostKey %s\nPidFile none\nLogLevel VERBOSE\nUsePAM no\n"
        "KbdInteractiveAuthentication no\nPubkeyAuthentication no\nAllowUsers %s\n"
        "ChrootDirectory %s\nForceCommand internal-sftp -d %s\nSubsystem sftp internal-sftp\n"
        % (port, key_file, args.user, args.root, args.start_dir or "/"))
    sshd = subprocess.Popen(["/usr/sbin/sshd", "-D", "-e", "-f", config], stderr=log)
    while "Server listening" not in open(log.name).read() and sshd.poll() is None:
        time.sleep(0.02)
    fingerprint = base64.b64encode(hashlib.sha256(base64.b64decode(public.split()[1])).digest())
    print("PORT %d SHA256:%s" % (port, fingerprint.decode().rstrip("=")), flush=True)
    sys.stdin.buffer.read()
    sshd.terminate()  # its sessions end with their clients


held = []  # connections gone silent: never read, written or closed again
parser = argparse.ArgumentParser()
# --retr=BYTES:SECONDS, --slow-stor seconds per 4 KB, --reply=COMMAND:REPLY, --max-logins beyond: 421
for option, default in {"dir": None, "kind": None, "user": None, "password": None, "--start-dir": "",
                        "--cut": "", "--certificate": "", "--retr": "", "--slow-stor": 0.0, "--max-logins": 0,
                        "--stall-on": [], "--reply": [], "--silent": False, "--no-rename-over": False}.items():
    how = {list: {"action": "append"}, bool: {"action": "store_true"}, str: {}, type(None): {}}
    parser.add_argument(option, default=default, **how.get(type(default), {"type": type(default)}))
args = parser.parse_args()
args.root, log = os.path.join(args.dir, "root"), open(os.path.join(args.dir, "server.log"), "a", buffering=1)
if args.kind == "sftp":
    sys.exit(serve_sftp(args, log))
threading.Thread(target=lambda: (sys.stdin.buffer.read(), os._exit(0)), daemon=True).start()
pin = make_certificate(args) if args.kind != "ftp" else "-"
if args.silent:  # takes every connection and never says a word
    listener = socket.create_server(("127.0.0.1", 0))
    print("PORT %d %s" % (listener.getsockname()[1], pin), flush=True)
    while True:
        held.append(listener.accept())
from pyftpdlib.servers import FTPServer, ThreadedFTPServer  # threads: a drip holds only its client
server = (ThreadedFTPServer if args.retr or args.slow_stor else FTPServer)(("127.0.0.1", 0), make_handler(args, log))
server.max_cons_per_ip = args.max_logins
print("PORT %d %s" % (server.socket.getsockname()[1], pin), flush=True)
server.serve_forever(handle_exit=False)
