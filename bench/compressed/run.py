#!/usr/bin/env python3
"""Compressed-input benchmarks in one run, medians of repeated runs (warm page cache):

  * tabvora preview --text of a large CSV (--rows, default 10,000,000 rows, about 750 MB)
    compressed with gzip -6 and zstd -3, beside the same for a 1 KB CSV: a preview decompresses
    only its first part, so the large file must cost about what the small one does;
  * tabvora tables (a full load) of the large .csv.gz and .csv.zst beside the plain .csv, and
    DuckDB's read_csv of each compressed file (the DuckDB engine of npm, as bench/cli runs it).

The inputs are written to /tmp (or --data DIR) by bench/cli/generate.py and the system's gzip
and zstd, and kept between runs.
"""
import argparse
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "cli"))
from bench_support import measure, release_tabvora  # noqa: E402
from run import duckdb_engine, sql_text  # noqa: E402  (bench/cli/run.py)


def inputs(data_dir, rows):
    os.makedirs(data_dir, exist_ok=True)
    files = {}
    for label, count in (("small", 10), ("large", rows)):
        plain = os.path.join(data_dir, f"tabvora-compressed-{label}-{count}.csv")
        if not os.path.exists(plain):
            subprocess.run([sys.executable, os.path.join(os.path.dirname(HERE), "cli", "generate.py"), plain + ".part",
                            str(count)], check=True)
            os.replace(plain + ".part", plain)
        for suffix, tool in ((".gz", ["gzip", "-6", "-n", "-c"]), (".zst", ["zstd", "-3", "-q", "-c"])):
            if not os.path.exists(plain + suffix):
                with open(plain + suffix + ".part", "wb") as out:
                    subprocess.run(tool + [plain], stdout=out, check=True)
                os.replace(plain + suffix + ".part", plain + suffix)
        files[label] = plain
    return files


def line(label, m, base=None):
    versus = f"  x{m.seconds / base.seconds:.2f}" if base and base.seconds > 0 else ""
    print(f"{label:<44} {m.seconds * 1000:9.1f} ms  {m.peak_mb:8.1f} MB{versus}")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--data", default="/tmp")
    parser.add_argument("--rows", type=int, default=10_000_000)
    parser.add_argument("--repetitions", type=int, default=5)
    parser.add_argument("--full-repetitions", type=int, default=2)
    args = parser.parse_args()
    tabvora = release_tabvora()
    files = inputs(args.data, args.rows)
    small, large = files["small"], files["large"]
    print(f"large: {os.path.getsize(large) / 1e6:.0f} MB plain, {os.path.getsize(large + '.gz') / 1e6:.0f} MB .gz, "
          f"{os.path.getsize(large + '.zst') / 1e6:.0f} MB .zst ({args.rows:,} rows)")

    print("\npreview --text (median of %d)" % args.repetitions)
    for suffix in (".gz", ".zst"):
        base = measure([tabvora, "preview", "--text", small + suffix], args.repetitions)
        line(f"1 KB csv{suffix}", base)
        line(f"large csv{suffix}", measure([tabvora, "preview", "--text", large + suffix], args.repetitions), base)

    print("\nfull load: tabvora tables, DuckDB read_csv (median of %d)" % args.full_repetitions)
    plain = measure([tabvora, "tables", large], args.full_repetitions)
    line("tabvora tables .csv", plain)
    for suffix in (".gz", ".zst"):
        line(f"tabvora tables .csv{suffix}", measure([tabvora, "tables", large + suffix], args.full_repetitions), plain)
    env = dict(os.environ, NODE_PATH=duckdb_engine(os.path.join(args.data, "tabvora-duckdb")))
    os.environ.update(env)
    for suffix in (".gz", ".zst"):
        sql = f"CREATE TABLE t AS SELECT * FROM read_csv({sql_text(large + suffix)})"
        line(f"duckdb read_csv .csv{suffix}",
             measure(["node", os.path.join(os.path.dirname(HERE), "cli", "duckdb_run.cjs"), sql],
                     args.full_repetitions), plain)


if __name__ == "__main__":
    main()
