#!/usr/bin/python3
"""A 1,000,000-row, 8-column Parquet file (SNAPPY and ZSTD): tabvora's native reader beside
the DuckDB route and DuckDB itself, in one run.

Usage: bench/parquet/run.py [FOLDER]
  FOLDER   where the files live (default /tmp/tabvora-parquet-bench); written by generate.cjs
           with the DuckDB engine of npm when missing
Environment:
  TABVORA  the tabvora binary (default: the release build, see bench_support.py)
  REPS     repetitions of each quick line (default 5; the full reads take 3); medians
  ROWS     rows when generating (default 1,000,000)
  ONLY     measure only the lines whose name contains this text ("export csv, native"), or one
           of several such texts separated by "|" ("full load|read to table")
  BEFORE   another tabvora binary (an earlier build): each of tabvora's lines is measured with
           it too, right before the same line with TABVORA, and marked "(before)"
The DuckDB program is the test suite's stand-in (tests/drivers/parquet/duckdb_command.cjs), the
npm engine behind the command-line contract; `npm install` puts it into bench/parquet/node_modules
the first time. Lines, per file:
  preview, native        the page by the built-in reader (TABVORA_DUCKDB=none)
  preview, duckdb route  the page with TABVORA_DUCKDB naming the DuckDB program
  duckdb alone           that program running the preview's query (LIMIT 5000)
  tables, native         the table list by the built-in reader (the footer alone)
  full load, native      every row staged by the built-in reader (a query of count(*))
  export csv, native     every row as CSV by the built-in reader, output dropped (staged a
                         row group at a time: its peak memory is that of a row group)
  export csv, duckdb     the same by the DuckDB route (batches of 100,000 rows)
  duckdb COPY TO csv     DuckDB's own COPY (SELECT * FROM file) TO a CSV file
  duckdb read to table   DuckDB's own CREATE TABLE AS SELECT * FROM file (in memory)
Each line gives the median wall time, the median CPU time (user and system, all threads) and
the median peak resident memory, and ends with the one-minute load average when it was
measured (2 shared cores).
"""
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.dirname(HERE))
from bench_support import measure, release_tabvora  # noqa: E402


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-parquet-bench"
    rows = int(os.environ.get("ROWS", "1000000"))
    reps = int(os.environ.get("REPS", "5"))
    os.makedirs(folder, exist_ok=True)
    if not os.path.isdir(os.path.join(HERE, "node_modules", "@duckdb")):
        subprocess.run(["npm", "install", "--no-audit", "--no-fund"], cwd=HERE, check=True, stdout=subprocess.PIPE)
    duckdb = os.path.join(HERE, "node_modules", ".duckdb-command", "duckdb")
    os.makedirs(os.path.dirname(duckdb), exist_ok=True)
    shutil.copyfile(os.path.join(ROOT, "tests", "drivers", "parquet", "duckdb_command.cjs"), duckdb)
    os.chmod(duckdb, 0o755)
    binary = release_tabvora()
    engine = ["node", os.path.join(HERE, "engine_run.cjs")]
    environment = dict(os.environ, NODE_PATH=os.path.join(HERE, "node_modules"))

    before = os.environ.get("BEFORE")
    print(f"{'file':>14} {'line':>31} {'ms':>9} {'cpu ms':>9} {'peak MB':>8} {'load':>5}")
    for codec in ("snappy", "zstd"):
        path = os.path.join(folder, f"rows-{codec}.parquet")
        if not os.path.exists(path):
            subprocess.run(["node", os.path.join(HERE, "generate.cjs"), path, str(rows), codec], cwd=HERE,
                           check=True)
        real = os.path.realpath(path).replace("'", "''")
        table = f"rows_{codec}"
        query = f"SELECT * FROM '{real}' LIMIT 5000;"
        with tempfile.TemporaryDirectory() as scratch:
            csv = os.path.join(scratch, "out.csv").replace("'", "''")
            lines = [
                ("preview, native", "none", [binary, "preview", path], reps),
                ("preview, duckdb route", duckdb, [binary, "preview", path], reps),
                ("duckdb alone", None, [duckdb, "-json", "-c", query], reps),
                ("tables, native", "none", [binary, "tables", path], 3),
                ("full load, native", "none", [binary, "query", path, f"SELECT count(*) FROM {table}"], 3),
                ("export csv, native", "none", [binary, "export", path, "--format", "csv"], 3),
                ("export csv, duckdb", duckdb, [binary, "export", path, "--format", "csv"], 3),
                ("duckdb COPY TO csv", None, engine + [f"COPY (SELECT * FROM '{real}') TO '{csv}' (HEADER)"], 3),
                ("duckdb read to table", None, engine + [f"CREATE TABLE t AS SELECT * FROM '{real}'"], 3),
            ]
            runs = []
            for name, program, command, repetitions in lines:
                if not any(only in name for only in os.environ.get("ONLY", "").split("|")):
                    continue
                if before and command[0] == binary:
                    runs.append((name + " (before)", program, [before] + command[1:], repetitions))
                runs.append((name, program, command, repetitions))
            for name, program, command, repetitions in runs:
                env = dict(environment)
                if program:
                    env["TABVORA_DUCKDB"] = program
                saved = os.environ.copy()
                os.environ.clear()
                os.environ.update(env)
                m = measure(command, repetitions)
                os.environ.clear()
                os.environ.update(saved)
                load = os.getloadavg()[0]
                size = f"{os.path.getsize(path) / 1e6:.1f}MB"
                cpu = m.seconds * m.cpu_percent / 100
                print(f"{codec + ' ' + size:>14} {name:>31} {m.seconds * 1000:9.1f} {cpu * 1000:9.1f} {m.peak_mb:8.0f} "
                      f"{load:5.2f}", flush=True)


if __name__ == "__main__":
    main()
