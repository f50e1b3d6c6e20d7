"""Publish over a slow link: the real publishSite with CurlFtpClient, and lftp doing the
same FTP work, against pyftpdlib on this machine, at RTT 0 and RTT 50 ms; the publish run
also over explicit TLS (ftpes://), against a second server with a throwaway certificate
that the program folder's trust file pins.

    /usr/bin/python3 bench/publish_bench.py --build build/bench [--runs 5] [--rtt 0,50]
        [--clients vellumet,vellumet-ftpes,...] [--baseline OTHER_BUILD]

--baseline adds "vellumet-baseline": the publish run of another build (an older commit's
build/bench), interleaved with the rest, so that a change is measured as a ratio.

Needs root (network namespaces, TUN devices) and lftp. Prints the figures as
Markdown; bench/README.md explains them."""

import argparse
import collections
import os
import pathlib
import random
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import benchlib  # noqa: E402

HERE = pathlib.Path(__file__).resolve().parent
DIRECTORIES = ("/news", "/shop", "/about")
PAGES = 30
PARAGRAPHS = 20
USER = PASSWORD = "bench"
PORT = 21
TLS_PORT = 2121  # explicit TLS: AUTH TLS on the control connection

# TCP as the floor models it: 10 segments of 1448 bytes in the first round, doubling.
INITIAL_WINDOW = 10 * 1448


# ---------------------------------------------------------------------------- the site

def paragraph_text(n):
    line = ("Paragraph %d: open Monday to Friday 9 to 17 & Saturdays \"by appointment\"; "
            "children < 12 free." % n)
    return "\r\n".join([line] * 3)


def page_text(rng, size, title):
    words = ("the", "shop", "opens", "early", "and", "closes", "late", "on", "Fridays",
             "with", "fresh", "bread", "coffee", "cakes", "for", "everyone")
    head = "<html>\r\n<head><title>%s</title></head>\r\n<body>\r\n" % title
    tail = "</body>\r\n</html>\r\n"
    body = []
    length = len(head) + len(tail)
    while length < size:
        sentence = "<p>" + " ".join(rng.choice(words) for _ in range(12)) + "</p>\r\n"
        body.append(sentence)
        length += len(sentence)
    # Every paragraph's marker once, spread over the page.
    step = max(1, len(body) // (PARAGRAPHS + 1))
    for n in range(PARAGRAPHS, 0, -1):
        body.insert(min(n * step, len(body)), "<div>@{para%02d}@</div>\r\n" % n)
    return (head + "".join(body) + tail).encode("cp1252")


def make_site(work):
    """Server root, program folder and lftp's folder; returns the pages as
    (directory, source, target)."""
    rng = random.Random(20240611)
    server, client, lftp = work / "server", work / "client", work / "lftp"
    for d in (server, client, lftp):
        d.mkdir()
    # 5 KB to 200 KB, spread evenly on a log scale and shuffled over the directories.
    sizes = [round(5000 * 40 ** (i / (PAGES - 1))) for i in range(PAGES)]
    rng.shuffle(sizes)
    pages = []
    ini = ["SERVER=%s" % benchlib.DelayedLink.SERVER_ADDRESS, "LOGIN=" + USER,
           "PASSWORD=" + PASSWORD, "TITLE=Publish bench"]
    for i, size in enumerate(sizes):
        directory = DIRECTORIES[i * len(DIRECTORIES) // PAGES]
        source, target = "page%02d.tpl" % (i + 1), "page%02d.htm" % (i + 1)
        (server / directory.strip("/")).mkdir(exist_ok=True)
        (server / directory.strip("/") / source).write_bytes(page_text(rng, size, source))
        pages.append((directory, source, target))
        ini.append("PAGE=%s,%s,%s" % (source, target, directory))
    for n in range(1, PARAGRAPHS + 1):
        ini.append("PARAGRAPH=para%02d,Paragraph %d" % (n, n))
        (client / ("para%02d.txt" % n)).write_bytes(paragraph_text(n).encode("cp1252"))
    (client / "vellumet.ini").write_bytes(("\r\n".join(ini) + "\r\n").encode("cp1252"))
    return pages


LFTP_SETTINGS = ["set cmd:fail-exit yes", "set ftp:ssl-allow no", "set xfer:clobber yes",
                 "set net:max-retries 1", "set net:timeout 30"]
# SIZE, MDTM and MFMT off (without FEAT lftp does not know MFMT), commands pipelined.
LFTP_TUNED = ["set ftp:use-feat no", "set ftp:use-size no", "set ftp:use-mdtm no",
              "set ftp:use-site-utime no", "set ftp:use-site-utime2 no", "set ftp:sync-mode off"]


def lftp_script(work, pages, variant):
    """lftp's script for one variant: "same" does the old publish run's commands (get the
    source, put it back, put the target) on one connection; "minimal" gets the source and
    puts the target only; "parallel" and "tuned" get every source of a directory with
    mget -P 4, then put every target with mput -P 4, tuned with lftp's extras off."""
    local = work / "lftp"
    lines = LFTP_SETTINGS + (LFTP_TUNED if variant == "tuned" else [])
    lines.append("open -u %s,%s ftp://%s" % (USER, PASSWORD, benchlib.DelayedLink.SERVER_ADDRESS))
    by_directory = collections.OrderedDict()
    for directory, source, target in pages:
        by_directory.setdefault(directory, []).append((source, target))
    for directory, files in by_directory.items():
        lines.append("cd " + directory)
        if variant in ("parallel", "tuned"):
            lines.append("mget -P 4 -O %s %s" % (local, " ".join(s for s, _ in files)))
            lines.append("mput -P 4 %s" % " ".join(str(local / t) for _, t in files))
            continue
        for source, target in files:
            lines.append("get %s -o %s" % (source, local / source))
            if variant == "same":
                lines.append("put %s" % (local / source))
            lines.append("put %s" % (local / target))
    lines.append("bye")
    path = work / ("lftp-%s.script" % variant)
    path.write_text("\n".join(lines) + "\n")
    return path


CLIENTS = ("vellumet", "vellumet-1", "vellumet-ftpes", "vellumet-baseline", "lftp-same",
           "lftp-minimal", "lftp-parallel", "lftp-tuned")


def make_certificate(work):
    """A self-signed certificate for the TLS server, its key pinned in the program
    folder's trust file as the user would pin it."""
    import base64
    import datetime
    import hashlib
    import ipaddress
    from cryptography import x509
    from cryptography.hazmat.primitives import hashes, serialization as ser
    from cryptography.hazmat.primitives.asymmetric import ec
    from cryptography.x509.oid import NameOID
    key = ec.generate_private_key(ec.SECP256R1())
    name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "bench")])
    now = datetime.datetime.utcnow()
    address = x509.IPAddress(ipaddress.ip_address(benchlib.DelayedLink.SERVER_ADDRESS))
    certificate = (x509.CertificateBuilder().subject_name(name).issuer_name(name)
                   .public_key(key.public_key()).serial_number(x509.random_serial_number())
                   .not_valid_before(now - datetime.timedelta(days=1))
                   .not_valid_after(now + datetime.timedelta(days=30))
                   .add_extension(x509.SubjectAlternativeName([address]), False)
                   .sign(key, hashes.SHA256()))
    (work / "cert.pem").write_bytes(certificate.public_bytes(ser.Encoding.PEM))
    (work / "key.pem").write_bytes(key.private_bytes(
        ser.Encoding.PEM, ser.PrivateFormat.TraditionalOpenSSL, ser.NoEncryption()))
    info = key.public_key().public_bytes(ser.Encoding.DER, ser.PublicFormat.SubjectPublicKeyInfo)
    pin = "sha256//" + base64.b64encode(hashlib.sha256(info).digest()).decode()
    (work / "client" / "vellumet-trust.txt").write_text(
        "%s %s\n" % (benchlib.DelayedLink.SERVER_ADDRESS, pin))


# ------------------------------------------------------------------------------ floor

def slow_start_extra_rounds(size):
    rounds, sent = 1, INITIAL_WINDOW
    while sent < size:
        rounds += 1
        sent += INITIAL_WINDOW * 2 ** (rounds - 1)
    return rounds - 1


def floor_rounds(work, pages):
    """Round trips a run must wait for, one command at a time (see bench/README.md)."""
    rounds = collections.OrderedDict()
    rounds["connect and banner"] = 2
    rounds["USER, PASS, PWD"] = 3
    rounds["TYPE I (once)"] = 1
    changes, current = 0, None
    for directory, _, _ in pages:
        if directory != current:
            changes, current = changes + 1, directory
    rounds["CWD + PWD per directory change"] = 2 * changes
    rounds["3 per transfer (EPSV; RETR/STOR; data + reply), 2 per page"] = 3 * 2 * len(pages)
    extra = 0
    for directory, source, target in pages:
        src = (work / "server" / directory.strip("/") / source).stat().st_size
        tgt = (work / "client" / target).stat().st_size
        extra += slow_start_extra_rounds(src) + slow_start_extra_rounds(tgt)
    rounds["slow start, extra rounds"] = extra
    return rounds


# ------------------------------------------------------------------------ server's log

def read_events(log, offset):
    events = []
    with open(log, encoding="utf-8") as f:
        f.seek(offset)
        for line in f:
            t, conn, mark, text = line.rstrip("\n").split(" ", 3)
            events.append((float(t), int(conn), mark, text))
    return events


def summarise(events):
    commands = [e for e in events if e[2] == ">"]
    verbs = collections.Counter(e[3].split(" ", 1)[0].upper() for e in commands)
    connections = len({e[1] for e in events if e[2] == "*" and e[3] == "connect"})
    handshakes = collections.Counter(e[3][4:] for e in events
                                     if e[2] == "*" and e[3].startswith("tls "))
    return {"commands": len(commands), "verbs": verbs, "connections": connections,
            "handshakes": handshakes}


def server_seconds(events):
    """The server's own time: from each command's arrival to its last reply, summed.
    Measured at RTT 0, this is what the server costs any client, whatever the link."""
    total, command = 0.0, None
    last_reply = None
    for t, _, mark, _ in events:
        if mark == ">":
            if command is not None and last_reply is not None:
                total += last_reply - command
            command, last_reply = t, None
        elif mark == "<" and command is not None:
            last_reply = t
    if command is not None and last_reply is not None:
        total += last_reply - command
    return total


def stalls(events, threshold=0.5):
    """Waits of more than threshold seconds between a passive-mode reply and the data
    connection it announces."""
    count, reply = 0, None
    for t, _, mark, text in events:
        if mark == "<" and text[:3] in ("227", "229"):
            reply = t
        elif mark == "*" and text == "data connection open" and reply is not None:
            count += (t - reply) > threshold
            reply = None
    return count


# ----------------------------------------------------------------------------- runs

def check_uploads(work, pages):
    """The publish run did its job: every target on the server is the spliced page, and
    every source there still holds its markers."""
    for directory, source, target in pages:
        remote = work / "server" / directory.strip("/")
        spliced = (remote / target).read_bytes()
        if spliced != (work / "client" / target).read_bytes() or b"@{para" in spliced \
                or b"@{para" not in (remote / source).read_bytes():
            raise RuntimeError("publish run left %s%s wrong" % (directory, target))


def timed(cmd, **kwargs):
    start = time.monotonic()
    proc = subprocess.run(cmd, capture_output=True, text=True, **kwargs)
    elapsed = time.monotonic() - start
    if proc.returncode != 0:
        raise RuntimeError("%s failed (%d):\n%s%s" % (cmd, proc.returncode, proc.stdout, proc.stderr))
    return elapsed, proc.stdout


def start_server(link, work, log, tls=False):
    """The bench FTP server in the link's server namespace, serving work/server; stops
    when its standard input is closed."""
    tls_options = ["--port", str(TLS_PORT), "--certificate", str(work / "cert.pem"),
                   "--key", str(work / "key.pem")] if tls else ["--port", str(PORT)]
    server = subprocess.Popen(
        link.command_in(link.server, "/usr/bin/python3", str(HERE / "ftp_bench_server.py"),
                        "--address", link.SERVER_ADDRESS, *tls_options,
                        "--root", str(work / "server"), "--user", USER,
                        "--password", PASSWORD, "--log", str(log)),
        stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=open(work / "server.err", "a"),
        text=True)
    if server.stdout.readline().strip() != "READY":
        server.stdin.close()
        server.wait()
        raise RuntimeError("FTP server did not start")
    return server


def measure(args, work, pages, rtt_ms, results):
    build = pathlib.Path(args.build).resolve()
    publish = str(build / "bench" / "vellumet_bench_publish")
    delaylink = str(build / "bench" / "vellumet_bench_delaylink")
    log = work / ("server-rtt%d.log" % rtt_ms)
    log.touch()
    with benchlib.DelayedLink(delaylink, rtt_ms / 2) as link:
        server = start_server(link, work, log)
        tls_server = start_server(link, work, log, tls=True)
        try:
            measured = link.measured_rtt_ms(PORT)
            clients = {
                "vellumet": link.command_in(link.client, publish, str(work / "client")),
                "vellumet-1": link.command_in(link.client, publish, str(work / "client"),
                                              "--connections=1"),
                "vellumet-baseline": link.command_in(
                    link.client, str(pathlib.Path(args.baseline or ".").resolve() / "bench" /
                                     "vellumet_bench_publish"), str(work / "client")),
                "vellumet-ftpes": link.command_in(
                    link.client, publish, str(work / "client"),
                    "--server=ftpes://%s:%d" % (link.SERVER_ADDRESS, TLS_PORT)),
            }
            for variant in ("same", "minimal", "parallel", "tuned"):
                clients["lftp-" + variant] = link.command_in(
                    link.client, "lftp", "-f", str(lftp_script(work, pages, variant)))
            # One unmeasured run of each first: the page targets lftp uploads are the
            # ones the publish run writes.
            timed(clients["vellumet"])
            check_uploads(work, pages)
            for page in pages:
                shutil.copy(work / "client" / page[2], work / "lftp" / page[2])
            for name in args.clients[1:]:
                timed(clients[name])
            runs = collections.defaultdict(list)
            for i in range(args.runs):
                order = list(args.clients) if i % 2 == 0 else list(reversed(args.clients))
                for name in order:
                    offset = log.stat().st_size
                    elapsed, out = timed(clients[name])
                    time.sleep(0.2)  # let the server write its last lines
                    events = read_events(log, offset)
                    run = summarise(events)
                    run["wall"] = elapsed
                    run["events"] = events
                    if name.startswith("vellumet"):
                        run["in_process"] = float(out.split("RUN_MS", 1)[1].split()[0]) / 1000
                        check_uploads(work, pages)
                    runs[name].append(run)
            results[rtt_ms] = {"runs": runs, "measured_rtt_ms": measured}
        finally:
            for running in (server, tls_server):
                running.stdin.close()
                running.wait()


def report(results, work, pages, rtt_list, clients):
    rounds = floor_rounds(work, pages)
    total_rounds = sum(rounds.values())
    med = benchlib.median
    runs_each = len(next(iter(results.values()))["runs"][clients[0]])
    out = []
    w = out.append
    w("machine: " + benchlib.machine())
    w("")
    w("Round trips one connection must wait for, one command at a time (the floor):")
    w("")
    w("| part | round trips |")
    w("|---|---|")
    for k, v in rounds.items():
        w("| %s | %d |" % (k, v))
    w("| **total** | **%d** |" % total_rounds)
    w("")
    fixed = 0.0
    if 0 in results and {"vellumet-1", "lftp-minimal"} & set(clients):
        fixed = min(med([server_seconds(r["events"]) for r in results[0]["runs"][c]])
                    for c in ("vellumet-1", "lftp-minimal") if c in clients)
        w("The server's own time at RTT 0: %.3f s" % fixed)
        w("")
    references = ("vellumet", "lftp-parallel", "lftp-tuned", "lftp-same")
    w("| RTT set (measured) | client | wall s, median of %d | in-process s | commands per page | "
      "connections | TLS handshakes per run, full / resumed (control; data) | waits > 0.5 s | "
      "/ one-connection floor | / vellumet (FTP) | / lftp -P 4 | / lftp tuned | "
      "/ lftp same commands |" % runs_each)
    w("|---|---|---|---|---|---|---|---|---|---|---|---|---|")
    for rtt in rtt_list:
        res = results[rtt]
        floor = total_rounds * res["measured_rtt_ms"] / 1000 + fixed
        walls = {c: med([r["wall"] for r in res["runs"][c]]) for c in clients}
        for name in clients:
            runs = res["runs"][name]
            inproc = ("%.2f" % med([r["in_process"] for r in runs])) if "in_process" in runs[0] else "-"
            tls = "-"
            if any(r["handshakes"] for r in runs):
                each = {k: med([r["handshakes"][k] for r in runs])
                        for k in ("full control", "resumed control", "full data", "resumed data")}
                tls = "%g / %g; %g / %g" % (each["full control"], each["resumed control"],
                                            each["full data"], each["resumed data"])
            ratios = ["%.2f" % (walls[name] / walls[ref]) if ref in walls else "-"
                      for ref in references]
            w("| %d ms (%.2f ms) | %s | %.2f | %s | %.1f | %d | %s | %d | %.2f | %s |" % (
                rtt, res["measured_rtt_ms"], name, walls[name], inproc,
                med([r["commands"] for r in runs]) / PAGES, max(r["connections"] for r in runs),
                tls, sum(stalls(r["events"]) for r in runs), walls[name] / floor,
                " | ".join(ratios)))
    w("")
    for rtt in rtt_list:
        for name in clients:
            verbs = results[rtt]["runs"][name][0]["verbs"]
            w("- commands at RTT %d, %s: %s" % (
                rtt, name, ", ".join("%s %d" % kv for kv in sorted(verbs.items()))))
    return "\n".join(out)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--rtt", default="0,50")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    parser.add_argument("--clients", default=",".join(CLIENTS),
                        help="a comma-separated subset of " + ", ".join(CLIENTS))
    parser.add_argument("--baseline", help="another build folder, for vellumet-baseline")
    args = parser.parse_args()
    args.clients = [c for c in CLIENTS if c in args.clients.split(",") + ["vellumet-baseline"]
                    and (c != "vellumet-baseline" or args.baseline)]
    if not args.clients or "vellumet" not in args.clients:
        sys.exit("publish bench: --clients must name vellumet (its run fills the targets)")
    if os.geteuid() != 0:
        sys.exit("publish bench: needs root for network namespaces and TUN devices")
    if not shutil.which("lftp"):
        sys.exit("publish bench: lftp is missing (apt-get install lftp)")
    rtt_list = [int(x) for x in args.rtt.split(",")]
    work = pathlib.Path(tempfile.mkdtemp(prefix="vellumet-bench-publish-"))
    try:
        pages = make_site(work)
        make_certificate(work)
        results = {}
        for rtt in rtt_list:
            measure(args, work, pages, rtt, results)
        print(report(results, work, pages, rtt_list, args.clients))
    finally:
        if args.keep:
            print("work folder kept: %s" % work, file=sys.stderr)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
