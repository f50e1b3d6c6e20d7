"""The tests' server, run by Debian's /usr/bin/python3 (the one that sees pyftpdlib).

Serves --root on 127.0.0.1 and a free port to one user: by pyftpdlib over FTP, or over FTPS
(--tls explicit|implicit) with a certificate of --certificate made here; or by OpenSSH's
sshd over SFTP (--sftp, as root). Prints "PORT <n> <pin>" once it listens, the pin being
the key a trust file would pin. Logs "Connection from" and "password for" lines as sshd
does. Exits, sshd and its sessions too, when its standard input closes.
"""

import argparse, base64, datetime, hashlib, ipaddress, os, signal, socket, struct
import shutil, subprocess, sys, threading, time
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization as ser
from cryptography.hazmat.primitives.asymmetric import ec, ed25519
from cryptography.x509.oid import NameOID

held = []  # connections gone silent: never read, written or closed again


def certificate(subject, key, issuer, issuer_key, hosts, ca=False):
    now, name = datetime.datetime.utcnow(), lambda n: x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, n)])
    builder = (x509.CertificateBuilder().subject_name(name(subject)).issuer_name(name(issuer))
               .public_key(key.public_key()).serial_number(x509.random_serial_number())
               .not_valid_before(now - datetime.timedelta(days=1))
               .not_valid_after(now + datetime.timedelta(days=30))
               .add_extension(x509.BasicConstraints(ca=ca, path_length=None), critical=True))
    if hosts:
        builder = builder.add_extension(x509.SubjectAlternativeName(hosts), critical=False)
    return builder.sign(issuer_key, hashes.SHA256())


def make_certificate(args):
    """authority.pem, and cert.pem + key.pem of the kind asked for; gives the key's pin."""
    pem = lambda path, data: open(os.path.join(args.dir, path), "wb").write(data)
    authority_key, key = ec.generate_private_key(ec.SECP256R1()), ec.generate_private_key(ec.SECP256R1())
    authority = certificate("Test Authority", authority_key, "Test Authority", authority_key, [], True)
    pem("authority.pem", authority.public_bytes(ser.Encoding.PEM))
    local = [x509.IPAddress(ipaddress.ip_address("127.0.0.1")), x509.DNSName("localhost")]
    if args.certificate == "self-signed":
        cert = certificate("self", key, "self", key, local)
    else:
        hosts = [x509.DNSName("other.example")] if args.certificate == "other-name" else local
        cert = certificate("server", key, "Test Authority", authority_key, hosts)
    pem("cert.pem", cert.public_bytes(ser.Encoding.PEM))
    pem("key.pem", key.private_bytes(ser.Encoding.PEM, ser.PrivateFormat.TraditionalOpenSSL,
                                     ser.NoEncryption()))
    info = key.public_key().public_bytes(ser.Encoding.DER, ser.PublicFormat.SubjectPublicKeyInfo)
    return "sha256//" + base64.b64encode(hashlib.sha256(info).digest()).decode()


def make_handler(args, log):
    from pyftpdlib.authorizers import DummyAuthorizer
    from pyftpdlib.handlers import DTPHandler, FTPHandler, TLS_DTPHandler, TLS_FTPHandler
    from OpenSSL._util import lib
    cut = (args.cut.split(":") + ["", ""])[:4] if args.cut else None  # CMD, K, bytes, "stall"
    seen = {}

    def break_off(*channels):
        held.extend(channels)
        for channel in filter(None, channels):
            channel.del_channel()
            if cut[3] != "stall":  # reset, as a broken link does
                channel.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                channel.socket.close()

    class Data(TLS_DTPHandler if args.tls else DTPHandler):
        # pyftpdlib 1.5.7 drops a data connection that turns readable before its
        # transfer command, as a client's TLS handshake makes it; 1.5.8 waits for it.
        def readable(self):
            return getattr(self, "_ssl_accepting", False) or super().readable()

        def handle_ssl_established(self):  # as many hosts: the control's session or nothing
            if not lib.SSL_session_reused(self.socket._ssl):
                self.close()

        def moved(self):
            if self.cmd_channel.cut_here and self.tot_bytes_sent + self.tot_bytes_received >= int(cut[2]):
                break_off(self, self.cmd_channel)

        def send(self, data):
            sent = super().send(data)
            self.moved()
            return sent

        def handle_read(self):
            super().handle_read()
            self.moved()

        handle_read_event = handle_read

    class Handler(TLS_FTPHandler if args.tls else FTPHandler):
        auth_failed_timeout, use_sendfile, dtp_handler, cut_here = 0, False, Data, False
        if args.tls:
            certfile, keyfile = os.path.join(args.dir, "cert.pem"), os.path.join(args.dir, "key.pem")
            tls_control_required = tls_data_required = True

        def on_connect(self):
            log.write("Connection from 127.0.0.1\n")
            if args.tls == "implicit":
                self.secure_connection(self.ssl_context)

        def on_login(self, username):
            self.fs.cwd = args.start_dir or "/"

        def ftp_RNTO(self, path):
            if args.no_rename_over and os.path.lexists(path):
                self._rnfr = None
                return self.respond("550 Cannot create a file when that file already exists.")
            return super().ftp_RNTO(path)

        def pre_process_command(self, line, cmd, arg):
            if cmd == "PASS":
                log.write("password for %s\n" % self.username)
            if cut and cmd == cut[0]:
                seen[cmd] = seen.get(cmd, 0) + 1
                self.cut_here = seen[cmd] == int(cut[1])
                if self.cut_here and not cut[2]:
                    return break_off(self)
            if getattr(self, "stalled", False) or cmd in args.stall_on:
                self.stalled = True  # from here on the client hears nothing
            elif any(refused in line for refused in args.refuse):
                self.respond("550 Refused by the test server.")
            else:
                super().pre_process_command(line, cmd, arg)

    authorizer = DummyAuthorizer()
    authorizer.add_user(args.user, args.password, args.root, perm="elradfmwMT")
    Handler.authorizer = authorizer
    return Handler


def descendants(pid):
    children = {}
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            ppid = int(open("/proc/%s/stat" % entry).read().rsplit(")", 1)[1].split()[1])
        except (OSError, IndexError):
            continue
        children.setdefault(ppid, []).append(int(entry))
    found = [pid]
    for p in found:
        found += children.get(p, [])
    return found


def serve_sftp(args, log):
    """sshd shuts the user in --root, which like its parents must be root's alone."""
    if subprocess.run(["id", args.user], capture_output=True).returncode:
        subprocess.run(["useradd", "--system", "--no-create-home", "--home-dir", "/", "--shell",
                        "/usr/sbin/nologin", args.user], check=True)
    subprocess.run(["chpasswd"], input=("%s:%s\n" % (args.user, args.password)).encode(), check=True)
    os.makedirs("/run/sshd", exist_ok=True)
    os.chmod(args.root, 0o755)
    for folder, subfolders, files in os.walk(args.root):  # the user's to write in, below it
        for name in subfolders + files:
            shutil.chown(os.path.join(folder, name), args.user, args.user)
    key = ed25519.Ed25519PrivateKey.generate()
    key_file = os.path.join(args.dir, "host_key")
    with os.fdopen(os.open(key_file, os.O_WRONLY | os.O_CREAT, 0o600), "wb") as f:
        f.write(key.private_bytes(ser.Encoding.PEM, ser.PrivateFormat.OpenSSH, ser.NoEncryption()))
    blob = base64.b64decode(key.public_key().public_bytes(ser.Encoding.OpenSSH, ser.PublicFormat.OpenSSH).split()[1])
    probe = socket.create_server(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    config = os.path.join(args.dir, "sshd_config")
    open(config, "w").write(
        "ListenAddress 127.0.0.1:%d\nHostKey %s\nPidFile none\nLogLevel VERBOSE\nUsePAM no\n"
        "PasswordAuthentication yes\nKbdInteractiveAuthentication no\nPubkeyAuthentication no\n"
        "AuthorizedKeysFile none\nAllowUsers %s\nChrootDirectory %s\n"
        "ForceCommand internal-sftp -d %s\nSubsystem sftp internal-sftp\n"
        % (port, key_file, args.user, args.root, args.start_dir or "/"))
    sshd = subprocess.Popen(["/usr/sbin/sshd", "-D", "-e", "-f", config], stdout=log, stderr=log)
    while "Server listening" not in open(log.name).read() and sshd.poll() is None:
        time.sleep(0.02)
    print("PORT %d SHA256:%s" % (port, base64.b64encode(hashlib.sha256(blob).digest()).decode().rstrip("=")), flush=True)
    sys.stdin.buffer.read()
    for pid in reversed(descendants(sshd.pid)):
        os.kill(pid, signal.SIGTERM)


def main():
    parser = argparse.ArgumentParser()
    for option in ["--root", "--dir", "--user", "--password", "--log", "--start-dir", "--cut",
                   "--tls", "--certificate"]:
        parser.add_argument(option, default="")
    for option in ["--stall-on", "--refuse"]:
        parser.add_argument(option, action="append", default=[])
    for option in ["--silent", "--no-rename-over", "--sftp"]:
        parser.add_argument(option, action="store_true")
    args = parser.parse_args()
    log = open(args.log, "a", buffering=1)
    if args.sftp:
        return serve_sftp(args, log)
    threading.Thread(target=lambda: (sys.stdin.buffer.read(), os._exit(0)), daemon=True).start()
    pin = make_certificate(args) if args.tls else "-"
    if args.silent:  # takes every connection and never says a word
        listener = socket.create_server(("127.0.0.1", 0))
        print("PORT %d %s" % (listener.getsockname()[1], pin), flush=True)
        while True:
            held.append(listener.accept())
    from pyftpdlib.servers import FTPServer
    server = FTPServer(("127.0.0.1", 0), make_handler(args, log))
    print("PORT %d %s" % (server.socket.getsockname()[1], pin), flush=True)
    server.serve_forever(handle_exit=False)


if __name__ == "__main__":
    main()
