"""Start-up: process start to the first painted window, and peak resident memory, of the
real program on a site of 200 paragraphs, 50 pages and 200 local copies, against an
empty Qt main window. Both are timed by the same probe (first_paint.cpp, preloaded).

    /usr/bin/python3 bench/startup_bench.py --build build/bench [--runs 21] [--baseline PROGRAM]

Needs Xvfb for the xcb platform; also measures the offscreen platform. The probe also
reports when the libraries are loaded (before main) and when the window is shown, which
tells where the time goes."""

import argparse
import os
import pathlib
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import benchlib  # noqa: E402

PARAGRAPHS = 200
PAGES = 50


def make_program_folder(folder, program, pages=PAGES, paragraphs=PARAGRAPHS, local_copies=True):
    """The program beside its site definition and local copies, as a client has it:
    the program folder is the executable's own."""
    rng = random.Random(7)
    folder.mkdir()
    shutil.copy2(program, folder / "vellumet")
    # The network module too (where the build has one), though start-up never loads it.
    module = pathlib.Path(program).parent / "libvellumet_network.so"
    if module.exists():
        shutil.copy2(module, folder)
    ini = ["SERVER=ftp.example.invalid", "LOGIN=client", "PASSWORD=secret",
           "DIRECTORY=/www/site", "TITLE=Start-up bench", "DEVELOPER=A. Developer",
           "EMAIL=dev@example.invalid", "PHONE=0123 456789"]
    for n in range(1, pages + 1):
        ini.append("PAGE=page%02d.tpl,page%02d.htm,/www/site/section%d" % (n, n, n % 5))
    words = ("opening", "hours", "fresh", "bread", "daily", "from", "our", "bakery",
             "in", "the", "old", "town", "cakes", "to", "order")
    for n in range(1, paragraphs + 1):
        name = "para%03d" % n
        ini.append("PARAGRAPH=%s,Section %d: %s" % (name, n // 10, " ".join(rng.choice(words) for _ in range(4))))
        lines = [" ".join(rng.choice(words) for _ in range(rng.randint(6, 14)))
                 for _ in range(rng.randint(1, 20))]
        if local_copies:
            (folder / (name + ".txt")).write_bytes("\r\n".join(lines).encode("cp1252"))
    (folder / "vellumet.ini").write_bytes(("\r\n".join(ini) + "\r\n").encode("cp1252"))


def run_once(program, env):
    """Milliseconds from process start to each step the probe reports (libraries loaded,
    window shown, first paint), the peak resident memory in MiB, and the window class."""
    start = time.monotonic()
    proc = subprocess.Popen(program, env=env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = status
    steps = {m.group(1): (float(m.group(2)) - start) * 1000
             for m in re.finditer(r"^STEP (\S+) (\S+)$", err, re.M)}
    paint = re.search(r"^FIRST_PAINT (\S+) (\S+)$", err, re.M)
    if not paint or "loaded" not in steps or "shown" not in steps:
        raise RuntimeError("%s gave no first paint:\n%s" % (program, err))
    steps["painted"] = (float(paint.group(1)) - start) * 1000
    # ru_maxrss is what /usr/bin/time -v reports as the maximum resident set size.
    return steps, usage.ru_maxrss / 1024, paint.group(2)


def measure(programs, env, runs):
    results = {name: [] for name in programs}
    for name, program in programs.items():  # fonts, caches, page cache
        for _ in range(2):
            run_once(program, env)
    for i in range(runs):
        order = list(programs) if i % 2 == 0 else list(reversed(programs))
        for name in order:
            results[name].append(run_once(programs[name], env))
    return results


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--runs", type=int, default=21)
    parser.add_argument("--baseline", help="a vellumet built from another commit, measured "
                        "on the same site in the same rounds")
    args = parser.parse_args()
    build = pathlib.Path(args.build).resolve()
    probe = build / "bench" / "libvellumet_bench_firstpaint.so"
    work = pathlib.Path(tempfile.mkdtemp(prefix="vellumet-bench-startup-"))
    try:
        built = build / "src" / "vellumet"
        empty = str(build / "bench" / "vellumet_bench_emptywindow")
        # The comparison, then variants that tell where the difference goes.
        programs = {"vellumet": "program", "empty window": [empty]}
        variants = (("vellumet, 50 pages, 200 paragraphs, no local copies", "no-copies",
                     dict(local_copies=False)),
                    ("vellumet, 50 pages, no paragraphs", "pages-only", dict(paragraphs=0)),
                    ("vellumet, no pages, no paragraphs", "empty-site", dict(pages=0, paragraphs=0)))
        make_program_folder(work / "program", built)
        programs["vellumet"] = [str(work / "program" / "vellumet")]
        for label, name, shape in variants:
            make_program_folder(work / name, built, **shape)
            programs[label] = [str(work / name / "vellumet")]
        if args.baseline:
            make_program_folder(work / "baseline", pathlib.Path(args.baseline))
            programs["baseline vellumet"] = [str(work / "baseline" / "vellumet")]
        programs["empty window with libcurl initialised"] = [
            str(build / "bench" / "vellumet_bench_emptywindow_curl")]
        programs["empty window with one label"] = [empty, "--text"]
        base_env = dict(os.environ, LD_PRELOAD=str(probe), HOME=str(work / "home"),
                        XDG_CONFIG_HOME=str(work / "home" / "config"),
                        XDG_CACHE_HOME=str(work / "home" / "cache"),
                        XDG_RUNTIME_DIR=str(work / "runtime"), LANG="C.UTF-8")
        os.makedirs(work / "runtime", mode=0o700)
        print("machine: " + benchlib.machine())
        print("site: %d paragraphs, %d pages, %d local copies; median of %d runs each"
              % (PARAGRAPHS, PAGES, PARAGRAPHS, args.runs))
        print("")
        print("| platform | program | libraries loaded ms | window shown ms | **first paint ms** | peak RSS MiB | window painted |")
        print("|---|---|---|---|---|---|---|")
        with benchlib.Xvfb() as xvfb, benchlib.SessionBus() as bus:
            base_env["DBUS_SESSION_BUS_ADDRESS"] = bus.address
            for platform, extra in (("xcb (Xvfb)", {"QT_QPA_PLATFORM": "xcb", "DISPLAY": xvfb.display}),
                                    ("offscreen", {"QT_QPA_PLATFORM": "offscreen"})):
                env = dict(base_env, **extra)
                results = measure(programs, env, args.runs)
                med = {}
                for name, rs in results.items():
                    step = lambda key: benchlib.median([r[0][key] for r in rs])
                    med[name] = (step("loaded"), step("shown"), step("painted"),
                                 benchlib.median([r[1] for r in rs]), rs[0][2])
                    print("| %s | %s | %.1f | %.1f | %.1f | %.1f | %s |" % ((platform, name) + med[name]))
                ours = med["vellumet"]
                for yardstick in ("empty window", "empty window with one label", "baseline vellumet"):
                    if yardstick not in med:
                        continue
                    print("| %s | **vellumet / %s** | | | **%.2f** | **%.2f** | |" % (
                        platform, yardstick, ours[2] / med[yardstick][2], ours[3] / med[yardstick][3]))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
