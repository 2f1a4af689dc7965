#!/usr/bin/env python3
"""Delimited-text benchmarks in one run, medians of repeated runs (warm page cache):

  * tabvora preview of a 1 KB, a ~100 MB and a ~1 GB CSV (a preview must not cost more for a
    bigger file), beside `cat` of the 1 GB file to /dev/null for scale;
  * tabvora tables (a full load) against sqlite3's `.import` on the ~100 MB file: wall time,
    rows per second and peak resident memory of each.

Builds a release tabvora in its own folder and the input generator, and writes the inputs
to /tmp (or --data DIR) unless they are already there.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))


def run(cmd, **kw):
    subprocess.run(cmd, check=True, **kw)


def build(build_dir):
    run(["cmake", "-S", ROOT, "-B", build_dir, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
         "-DTABVORA_SANITIZE=OFF", "-DTABVORA_TESTS=OFF"], stdout=subprocess.DEVNULL)
    run(["cmake", "--build", build_dir, "--target", "tabvora", "-j2"], stdout=subprocess.DEVNULL)
    return os.path.join(build_dir, "apps", "tabvora", "tabvora")


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


def measure(cmd, repetitions):
    """Median wall seconds and median peak RSS (KB) over the repetitions, after one warm-up."""
    times, peaks = [], []
    with tempfile.NamedTemporaryFile() as rss:
        for i in range(repetitions + 1):
            start = time.perf_counter()
            run(["/usr/bin/time", "-f", "%M", "-o", rss.name] + cmd,
                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            elapsed = time.perf_counter() - start
            if i == 0:
                continue
            times.append(elapsed)
            with open(rss.name) as f:
                peaks.append(int(f.read().split()[-1]))
    return statistics.median(times), statistics.median(peaks)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--data", default="/tmp", help="folder for the generated CSV files")
    parser.add_argument("--build", default=os.path.join(ROOT, "build-bench-delimited"))
    parser.add_argument("--repetitions", type=int, default=5)
    args = parser.parse_args()

    tabvora = build(args.build)
    files = generate(args.data, args.build)
    n = args.repetitions
    print(f"medians of {n} runs after one warm-up; peak RSS from /usr/bin/time -v's maximum resident set")

    print("\npreview (first 200 rows staged, 50 shown)")
    base = None
    for label in ("1kb", "100mb", "1gb"):
        path, _ = files[label]
        seconds, peak = measure([tabvora, "preview", path], n)
        base = base or seconds
        print(f"  {label:>6} {os.path.getsize(path):>14,} bytes  {seconds * 1000:8.1f} ms  "
              f"{peak / 1024:7.1f} MB  x{seconds / base:.2f} of 1 KB")
    seconds, peak = measure(["cat", files["1gb"][0]], max(1, n // 2))
    print(f"  cat of the 1 GB file to /dev/null: {seconds * 1000:8.1f} ms")

    path, rows = files["100mb"]
    print(f"\nfull load of {os.path.getsize(path):,} bytes, {rows:,} rows x 8 columns")
    reps = max(1, n // 2)
    for name, cmd in (
        ("tabvora tables", [tabvora, "tables", path]),
        ("sqlite3 .import", ["sqlite3", ":memory:", "-cmd", ".mode csv", "-cmd", f".import {path} t",
                             "select count(*) from t"]),
    ):
        seconds, peak = measure(cmd, reps)
        print(f"  {name:<16} {seconds:7.2f} s  {rows / seconds:12,.0f} rows/s  {peak / 1024:7.1f} MB peak")
    return 0


if __name__ == "__main__":
    sys.exit(main())
