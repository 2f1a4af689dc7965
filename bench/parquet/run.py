#!/usr/bin/python3
"""Preview of a 1,000,000-row Parquet file: tabvora beside the DuckDB program alone.

Usage: bench/parquet/run.py [FOLDER]
  FOLDER   where the file lives (default /tmp/tabvora-parquet-bench); written by generate.cjs
           with the DuckDB engine of npm when missing
Environment:
  TABVORA  the tabvora binary (default: the release build, see bench_support.py)
  REPS     repetitions of each line (default 7); medians
  ROWS     rows when generating (default 1,000,000)
The DuckDB program is the test suite's stand-in (tests/drivers/parquet/duckdb_command.cjs), the
npm engine behind the command-line contract; `npm install` puts it into bench/parquet/node_modules
the first time. The lines:
  duckdb alone       the program running the driver's query, output read and dropped
  tabvora preview    the page, with TABVORA_DUCKDB naming that program
  replay alone       a program that prints that query's saved output (cat), alone
  tabvora (replay)   the page with the replay program: minus the line above, the driver's own
                     cost of parsing 5000 rows of JSON and staging them
  tabvora, no duckdb the page from the footer only
Each line ends with the one-minute load average when it was measured (2 shared cores).
"""
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.dirname(HERE))
from bench_support import measure, release_tabvora  # noqa: E402


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-parquet-bench"
    rows = int(os.environ.get("ROWS", "1000000"))
    reps = int(os.environ.get("REPS", "7"))
    os.makedirs(folder, exist_ok=True)
    if not os.path.isdir(os.path.join(HERE, "node_modules", "@duckdb")):
        subprocess.run(["npm", "install", "--no-audit", "--no-fund"], cwd=HERE, check=True, stdout=subprocess.PIPE)
    duckdb = os.path.join(HERE, "node_modules", ".duckdb-command", "duckdb")
    os.makedirs(os.path.dirname(duckdb), exist_ok=True)
    shutil.copyfile(os.path.join(ROOT, "tests", "drivers", "parquet", "duckdb_command.cjs"), duckdb)
    os.chmod(duckdb, 0o755)
    path = os.path.join(folder, "rows.parquet")
    if not os.path.exists(path):
        subprocess.run(["node", os.path.join(HERE, "generate.cjs"), path, str(rows)], cwd=HERE, check=True)

    query = "SELECT * FROM '" + os.path.realpath(path).replace("'", "''") + "' LIMIT 5000;"
    saved = os.path.join(folder, "rows-5000.json")
    with open(saved, "wb") as out:
        subprocess.run([duckdb, "-json", "-c", query], stdout=out, check=True)
    replay = os.path.join(folder, "replay")
    with open(replay, "w") as out:
        out.write(f"#!/bin/sh\nexec cat '{saved}'\n")
    os.chmod(replay, 0o755)
    binary = release_tabvora()

    size_mb = os.path.getsize(path) / 1e6
    print(f"file: {rows:,} rows, {size_mb:.1f} MB; the query's output: {os.path.getsize(saved) / 1e6:.1f} MB")
    print(f"{'line':>20} {'ms':>8} {'peak MB':>8} {'load':>5}")
    lines = [
        ("duckdb alone", None, [duckdb, "-json", "-c", query]),
        ("tabvora preview", duckdb, [binary, "preview", path]),
        ("replay alone", None, [replay, "-json", "-c", query]),
        ("tabvora (replay)", replay, [binary, "preview", path]),
        ("tabvora, no duckdb", "/nonexistent/duckdb", [binary, "preview", path]),
    ]
    for name, program, command in lines:
        if program:
            os.environ["TABVORA_DUCKDB"] = program
        m = measure(command, reps)
        os.environ.pop("TABVORA_DUCKDB", None)
        load = os.getloadavg()[0]
        print(f"{name:>20} {m.seconds * 1000:8.1f} {m.peak_mb:8.0f} {load:5.2f}")


if __name__ == "__main__":
    main()
