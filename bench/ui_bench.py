"""The window during a publish run over the 50 ms link: the longest time the UI thread's
event loop goes without turning, around the real MainWindow (bench_ui.cpp).

    /usr/bin/python3 bench/ui_bench.py --build build/bench [--runs 5] [--rtt 50]

Needs root (network namespaces, TUN devices) and Xvfb."""

import argparse
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import benchlib  # noqa: E402
import publish_bench  # noqa: E402


def parse(out):
    values = {}
    for line in out.splitlines():
        key, _, value = line.partition(" ")
        values[key] = float(value)
    return values


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--rtt", type=int, default=50)
    args = parser.parse_args()
    if os.geteuid() != 0:
        sys.exit("ui bench: needs root for network namespaces and TUN devices")
    build = pathlib.Path(args.build).resolve()
    work = pathlib.Path(tempfile.mkdtemp(prefix="vellumet-bench-ui-"))
    try:
        publish_bench.make_site(work)
        os.makedirs(work / "home")
        os.makedirs(work / "runtime", mode=0o700)
        runs = []
        with benchlib.Xvfb() as xvfb, \
                benchlib.DelayedLink(str(build / "bench" / "vellumet_bench_delaylink"), args.rtt / 2) as link:
            server = publish_bench.start_server(link, work, work / "server.log")
            try:
                env = dict(os.environ, QT_QPA_PLATFORM="xcb", DISPLAY=xvfb.display,
                           HOME=str(work / "home"), XDG_CONFIG_HOME=str(work / "home" / "config"),
                           XDG_RUNTIME_DIR=str(work / "runtime"), LANG="C.UTF-8")
                for _ in range(args.runs):
                    proc = subprocess.run(
                        link.command_in(link.client, str(build / "bench" / "vellumet_bench_ui"),
                                        str(work / "client")),
                        env=env, capture_output=True, text=True, timeout=300)
                    if proc.returncode != 0:
                        raise RuntimeError("ui bench run failed:\n" + proc.stdout + proc.stderr)
                    runs.append(parse(proc.stdout))
            finally:
                server.stdin.close()
                server.wait()
        med = lambda key: benchlib.median([r[key] for r in runs])
        print("machine: " + benchlib.machine())
        print("")
        print("| RTT | runs | publish run s (median) | longest loop gap ms: median of runs | worst run | 99th percentile gap ms | gaps > 50 ms (all runs) | most UI-thread CPU in one gap ms |")
        print("|---|---|---|---|---|---|---|---|")
        print("| %d ms | %d | %.1f | %.1f | %.1f | %.1f | %d | %.1f |" % (
            args.rtt, len(runs), med("RUN_MS") / 1000, med("MAX_GAP_MS"),
            max(r["MAX_GAP_MS"] for r in runs), med("P99_GAP_MS"),
            sum(r["GAPS_OVER_50_MS"] for r in runs), max(r["MAX_UI_CPU_IN_GAP_MS"] for r in runs)))
        print("")
        print("The longest gap of each run: when (ms after the loop started; Save is clicked at "
              "100 ms), the UI thread's CPU time in it, and its voluntary (waiting) and "
              "involuntary (pushed off the CPU) context switches:")
        print("")
        for r in runs:
            print("- %.1f ms gap at %.0f ms (run ends at %.0f ms): %.2f ms CPU, %d voluntary, %d involuntary" % (
                r["MAX_GAP_MS"], r["LONGEST_GAP_AT_MS"], 100 + r["RUN_MS"], r["LONGEST_GAP_CPU_MS"],
                r["LONGEST_GAP_VOLUNTARY_SWITCHES"], r["LONGEST_GAP_INVOLUNTARY_SWITCHES"]))
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
