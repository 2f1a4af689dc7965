#!/usr/bin/env python3
"""Delimited-text benchmarks in one run, medians of repeated runs (warm page cache):

  * tabvora preview of a 1 KB, a ~100 MB and a ~1 GB CSV (a preview must not cost more for a
    bigger file), beside `cat` of the 1 GB file to /dev/null for scale;
  * tabvora tables (a full load) against sqlite3's `.import` on the ~100 MB file: wall time,
    rows per second and peak resident memory of each.

Uses the release tabvora (see bench_support.py), builds the input generator, and writes the
inputs to /tmp (or --data DIR) unless they are already there.
"""
import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from bench_support import RELEASE_BUILD, measure, release_tabvora  # noqa: E402


def run(cmd, **kw):
    subprocess.run(cmd, check=True, **kw)


def generate(data_dir, build_dir):
    generator = os.path.join(build_dir, "generate_csv")
    run(["g++", "-O2", "-o", generator, os.path.join(HERE, "generate_csv.cpp")])
    files = {}
    for label, rows in (("1kb", 10), ("100mb", 1_000_000), ("1gb", 10_000_000)):
        path = os.path.join(data_dir, f"tabvora-bench-{label}.csv")
        if not os.path.exists(path):
            with open(path + ".part", "wb") as out:
                run([generator, str(rows)], stdout=out)
            os.replace(path + ".part", path)
        files[label] = (path, rows)
    return files


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--data", default="/tmp", help="folder for the generated CSV files")
    parser.add_argument("--repetitions", type=int, default=5)
    args = parser.parse_args()

    tabvora = release_tabvora()
    files = generate(args.data, RELEASE_BUILD)
    n = args.repetitions
    print(f"medians of {n} runs after one warm-up; peak RSS from /usr/bin/time -v's maximum resident set")

    print("\npreview (first 200 rows staged, 50 shown)")
    base = None
    for label in ("1kb", "100mb", "1gb"):
        path, _ = files[label]
        m = measure([tabvora, "preview", path], n)
        base = base or m.seconds
        print(f"  {label:>6} {os.path.getsize(path):>14,} bytes  {m.seconds * 1000:8.1f} ms  "
              f"{m.peak_mb:7.1f} MB  x{m.seconds / base:.2f} of 1 KB")
    m = measure(["cat", files["1gb"][0]], max(1, n // 2))
    print(f"  cat of the 1 GB file to /dev/null: {m.seconds * 1000:8.1f} ms")

    path, rows = files["100mb"]
    print(f"\nfull load of {os.path.getsize(path):,} bytes, {rows:,} rows x 8 columns")
    reps = max(1, n // 2)
    for name, cmd in (
        ("tabvora tables", [tabvora, "tables", path]),
        ("sqlite3 .import", ["sqlite3", ":memory:", "-cmd", ".mode csv", "-cmd", f".import {path} t",
                             "select count(*) from t"]),
    ):
        m = measure(cmd, reps)
        print(f"  {name:<16} {m.seconds:7.2f} s  {rows / m.seconds:12,.0f} rows/s  {m.peak_mb:7.1f} MB peak  "
              f"{m.cpu_percent}% CPU")
    return 0


if __name__ == "__main__":
    sys.exit(main())
