"""pure-ftpd for Vellumet's fault tests, run as root with /usr/bin/python3.

Starts the pure-ftpd found under --prefix (the Debian package unpacked by
scripts/fetch-pure-ftpd, since installing it would clash with vsftpd) on 127.0.0.1 and
a free port, which it prints as "PORT <n>" once the server listens. One virtual user,
--user with --password, is shut in --root and works there as nobody, so the server's
file permissions apply to it as to a hosting account. Options after "--" go to pure-ftpd
as they are.

Ends the server and every session of it when its standard input closes; the server
dies with this script too, so a test that dies leaves none behind.
"""

import argparse
import ctypes
import os
import pwd
import signal
import socket
import subprocess
import sys
import time
import warnings

with warnings.catch_warnings():
    warnings.simplefilter("ignore", DeprecationWarning)
    import crypt

PR_SET_PDEATHSIG = 1


def die_with_parent():
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_PDEATHSIG, signal.SIGKILL)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def listening(port):
    wanted = "0100007F:%04X" % port
    with open("/proc/net/tcp") as table:
        for line in table.readlines()[1:]:
            fields = line.split()
            if fields[1] == wanted and fields[3] == "0A":
                return True
    return False


def main():
    argv = sys.argv[1:]
    extra = argv[argv.index("--") + 1:] if "--" in argv else []
    own = argv[:argv.index("--")] if "--" in argv else argv
    parser = argparse.ArgumentParser()
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--root", required=True)
    parser.add_argument("--work", required=True)  # for the user database and the log
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    args = parser.parse_args(own)

    nobody = pwd.getpwnam("nobody")
    hashed = crypt.crypt(args.password, crypt.mksalt(crypt.METHOD_SHA512))
    users = os.path.join(args.work, "pureftpd.passwd")
    database = os.path.join(args.work, "pureftpd.pdb")
    with open(users, "w") as f:
        # "/./" shuts the user in its home.
        f.write("%s:%s:%d:%d::%s/./::::::::::::\n"
                % (args.user, hashed, nobody.pw_uid, nobody.pw_gid, args.root))
    subprocess.run([os.path.join(args.prefix, "usr/bin/pure-pw"), "mkdb", database, "-f", users],
                   check=True, stdout=subprocess.DEVNULL)

    log_path = os.path.join(args.work, "pure-ftpd.out")
    # The free port may be taken by another test before pure-ftpd binds it: try again.
    for attempt in range(3):
        port = free_port()
        with open(log_path, "wb") as log:
            server = subprocess.Popen(
                [os.path.join(args.prefix, "usr/sbin/pure-ftpd"), "--bind", "127.0.0.1,%d" % port,
                 "--login", "puredb:" + database, "--noanonymous", "--dontresolve",
                 "--maxidletime", "1"] + extra,
                stdin=subprocess.DEVNULL, stdout=log, stderr=subprocess.STDOUT,
                start_new_session=True, preexec_fn=die_with_parent)
        deadline = time.monotonic() + 10
        while not listening(port) and server.poll() is None and time.monotonic() < deadline:
            time.sleep(0.02)
        if listening(port) and server.poll() is None:
            break
        server.kill()
        server.wait()
    else:
        with open(log_path, "rb") as f:
            sys.stderr.write(f.read().decode("utf-8", "replace"))
        sys.exit("pure-ftpd did not start")
    print("PORT %d" % port, flush=True)

    while os.read(0, 4096):
        pass
    # Sessions are processes of their own, in the server's process group.
    try:
        os.killpg(server.pid, signal.SIGTERM)
        server.wait(timeout=3)
    except (ProcessLookupError, subprocess.TimeoutExpired):
        pass
    try:
        os.killpg(server.pid, signal.SIGKILL)  # whatever outlived the server
    except ProcessLookupError:
        pass
    server.wait()


if __name__ == "__main__":
    main()
