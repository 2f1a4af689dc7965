#!/usr/bin/env python3
"""Delimited-text benchmarks in one run, medians of repeated runs (warm page cache):

  * tabvora preview of a 1 KB, a ~100 MB and a ~1 GB CSV (a preview must not cost more for a
    bigger file), beside `cat` of the 1 GB file into a pipe for scale;
  * tabvora tables (a full load) against sqlite3's `.import` on the ~100 MB file: wall time,
    rows per second and peak resident memory of each;
  * previews of hostile files of ~300 MB: one in Latin 1 (not UTF-8 from its first rows on),
    and one whose first quote never closes (the whole file one header field), each beside
    sqlite3's `.import` of the same file, and beside an earlier tabvora when --before names one.

Uses the release tabvora (see bench_support.py), builds the input generator, and writes the
inputs to /tmp (or --data DIR) unless they are already there. Every program's output is read
from a pipe and dropped.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from bench_support import Measurement, release_tabvora  # noqa: E402

INPUTS = (  # label, rows, generator variant
    ("1kb", 10, "plain"),
    ("100mb", 1_000_000, "plain"),
    ("1gb", 10_000_000, "plain"),
    ("latin1-300mb", 3_200_000, "latin1"),
    ("unclosed-300mb", 3_200_000, "unclosed-quote"),
)


def generate(data_dir):
    generator = os.path.join(data_dir, "tabvora-generate-csv")
    subprocess.run(["g++", "-O2", "-o", generator, os.path.join(HERE, "generate_csv.cpp")], check=True)
    files = {}
    for label, rows, variant in INPUTS:
        path = os.path.join(data_dir, f"tabvora-bench-{label}.csv")
        if not os.path.exists(path):
            with open(path + ".part", "wb") as out:
                subprocess.run([generator, str(rows), variant], stdout=out, check=True)
            os.replace(path + ".part", path)
        files[label] = (path, rows)
    return files


def measure(command, repetitions, warmup=True, check=True):
    """Medians under /usr/bin/time after an optional warm-up run; the command's output is
    drained from a pipe. With check=False a failing exit status is measured too, and the last
    one is kept as `status`."""
    runs = []
    with tempfile.NamedTemporaryFile("r") as report:
        for i in range(repetitions + (1 if warmup else 0)):
            started = time.perf_counter()
            process = subprocess.Popen(["/usr/bin/time", "-f", "%M %P", "-o", report.name] + command,
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            while process.stdout.read(1 << 20):
                pass
            process.stderr.read()
            status = process.wait()
            elapsed = time.perf_counter() - started
            if check and status != 0:
                raise subprocess.CalledProcessError(status, command)
            if warmup and i == 0:
                continue
            report.seek(0)
            rss_kb, cpu = report.read().split()[-2:]
            runs.append((elapsed, int(rss_kb) / 1024, int(cpu.rstrip("%") or 0)))
    result = Measurement(*(statistics.median(r[k] for r in runs) for k in range(3)))
    result.status = status
    return result


def sqlite_import(path):
    return ["sqlite3", ":memory:", "-cmd", ".mode csv", "-cmd", f".import {path} t", "select count(*) from t"]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--data", default="/tmp", help="folder for the generated CSV files")
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--before", help="an earlier tabvora binary to measure beside the hostile previews")
    args = parser.parse_args()

    tabvora = release_tabvora()
    files = generate(args.data)
    n = args.repetitions
    print(f"medians of {n} runs after one warm-up; peak RSS from /usr/bin/time's maximum resident set")

    print("\npreview (first 200 rows staged, 50 shown)")
    base = None
    for label in ("1kb", "100mb", "1gb"):
        path, _ = files[label]
        m = measure([tabvora, "preview", path], n)
        base = base or m.seconds
        print(f"  {label:>6} {os.path.getsize(path):>14,} bytes  {m.seconds * 1000:8.1f} ms  "
              f"{m.peak_mb:7.1f} MB  x{m.seconds / base:.2f} of 1 KB")
    m = measure(["cat", files["1gb"][0]], max(1, n // 2))
    print(f"  cat of the 1 GB file into a pipe: {m.seconds * 1000:8.1f} ms")

    path, rows = files["100mb"]
    print(f"\nfull load of {os.path.getsize(path):,} bytes, {rows:,} rows x 8 columns")
    reps = max(1, n // 2)
    for name, cmd in (("tabvora tables", [tabvora, "tables", path]), ("sqlite3 .import", sqlite_import(path))):
        m = measure(cmd, reps)
        print(f"  {name:<16} {m.seconds:7.2f} s  {rows / m.seconds:12,.0f} rows/s  {m.peak_mb:7.1f} MB peak  "
              f"{m.cpu_percent}% CPU")

    print("\nhostile previews")
    for label in ("latin1-300mb", "unclosed-300mb"):
        path, _ = files[label]
        print(f"  {label} ({os.path.getsize(path):,} bytes)")
        runs = [("tabvora preview", [tabvora, "preview", path])]
        if args.before:
            runs.append(("earlier tabvora preview", [args.before, "preview", path]))
        runs.append(("sqlite3 .import", sqlite_import(path)))
        for name, cmd in runs:
            m = measure(cmd, reps, check=False)
            print(f"    {name:<24} {m.seconds * 1000:9.1f} ms  {m.peak_mb:8.1f} MB peak  exit status {m.status}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
