"""Turns the splice benchmark's JSON (medians of repetitions) into the README's table.

    python3 bench/splice_report.py splice.json"""

import json
import sys


def main():
    with open(sys.argv[1]) as f:
        data = json.load(f)
    rows = {}
    for b in data["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        name = b["run_name"]
        rows[name] = b
    # CPU time: other processes on a shared machine inflate real time, not this.
    ms = lambda b: b["cpu_time"] if b["time_unit"] == "ms" else b["cpu_time"] / 1e6
    scan = {int(n.split("/")[1]): rows[n] for n in rows if n.startswith("ScanBaseline/")}
    count = {int(n.split("/")[1]): rows[n] for n in rows if n.startswith("CountBaseline/")}
    print("| case | median ms | ms per paragraph pass | per-pass rate, G chars/s | / indexOf scan | / std::count scan | ns per (MiB x paragraph) |")
    print("|---|---|---|---|---|---|---|")
    for mib in sorted(scan):
        for label, b in (("QString::indexOf(absent char)", scan[mib]), ("std::count", count[mib])):
            print("| %s, %d MiB | %.2f | - | %.2f | - | - | - |" % (
                label, mib, ms(b), b["bytes_per_second"] / 1e9))
    for name, b in rows.items():
        if not name.startswith("Splice/"):
            continue
        parts = dict(p.split(":") for p in name.split("/")[1:])
        mib, paras, present = int(parts["MiB"]), int(parts["paras"]), parts["present"] == "1"
        rate = b["bytes_per_second"]
        print("| splice %d MiB, %d paragraphs, markers %s | %.0f | %.2f | %.2f | %.2f | %.2f | %.0f |" % (
            mib, paras, "present" if present else "absent", ms(b), ms(b) / paras, rate / 1e9,
            rate / scan[mib]["bytes_per_second"], rate / count[mib]["bytes_per_second"],
            ms(b) * 1e6 / (mib * paras)))


if __name__ == "__main__":
    main()
