#!/usr/bin/env python3
"""Drawings per second: quorvane.extract from Python (1 and 2 reading threads)
against quorvane-batch writing CSV, on the same list of drawings.

    PYTHONPATH=build/python /usr/bin/python3 bench/python/bench_extract.py \
        [--folder DIR] [--times N] [--rounds R] [--batch build/bin/quorvane-batch]

The list is the folder's drawings (default: the corpus's 300-drawing batch)
repeated N times, so that starting the command weighs little. Each figure is
the median of R rounds. The batch command's time is the whole process: start,
reading, and its CSV file; "extract + csv" adds writing the same rows from
Python.
"""

import argparse
import csv
import os
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "build" / "python"))
import quorvane  # noqa: E402

TAGS = ["DWG_NO", "TITLE", "REV", "SHEET"]


def median_seconds(rounds, run):
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--folder", default=ROOT.parent / "shared" / "corpus" / "generated" / "batch")
    parser.add_argument("--times", type=int, default=10)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--batch", default=ROOT / "build" / "bin" / "quorvane-batch")
    args = parser.parse_args()

    folder = os.path.abspath(args.folder)
    paths = [os.path.join(folder, e.name) for e in os.scandir(folder) if e.name.lower().endswith(".dwg")]
    paths *= args.times
    count = len(paths)

    with tempfile.TemporaryDirectory() as tmp:
        template, file_list, out = (os.path.join(tmp, name) for name in ("t.xat", "l.xal", "out.csv"))
        with open(template, "w", encoding="utf-8-sig", newline="") as f:
            f.writelines(f"1\t{t}\t{t}\t\tM\r\n" for t in TAGS)
        with open(file_list, "w", encoding="utf-8-sig", newline="") as f:
            f.writelines(f"1\t{p}\r\n" for p in paths)
        command = [str(args.batch), "--template", template, "--file-list", file_list,
                   "--output", out, "--kind", "csv", "--quiet"]

        def batch():
            subprocess.run(command, check=True, stderr=subprocess.DEVNULL)

        def extract_and_write(jobs):
            rows = quorvane.extract(paths, TAGS, jobs=jobs)
            with open(out, "w", encoding="utf-8", newline="") as f:
                writer = csv.writer(f, quoting=csv.QUOTE_ALL, lineterminator="\r\n")
                writer.writerow(["File Name", *TAGS])
                writer.writerows(["" if v is None else v for v in row] for row in rows)

        print(f"{count} drawings ({len(paths) // args.times} in {folder}, {args.times} times), "
              f"median of {args.rounds} rounds")
        reference = count / median_seconds(args.rounds, batch)
        print(f"  quorvane-batch                {reference:8.0f} drawings/s")
        for jobs in (1, 2):
            for label, run in (("extract", lambda: quorvane.extract(paths, TAGS, jobs=jobs)),
                               ("extract + csv", lambda: extract_and_write(jobs))):
                rate = count / median_seconds(args.rounds, run)
                print(f"  python {label:<14} jobs={jobs} {rate:8.0f} drawings/s  ({rate / reference:5.0%} of batch)")


if __name__ == "__main__":
    main()
