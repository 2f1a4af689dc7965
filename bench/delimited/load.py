#!/usr/bin/env python3
"""Full load of a 1,000,000-row CSV file (8 columns, 71 MB): `tabvora tables` beside DuckDB's
CREATE TABLE AS read_csv and sqlite3's .import, and beside the floor of the load: the same
rows inserted into the same in-memory table on one thread, already split and converted
(insert_floor.cpp, timed from BEGIN to COMMIT).

Usage: bench/delimited/load.py [FOLDER]
  FOLDER   scratch folder (default /tmp/tabvora-cli-bench, shared with bench/cli): rows.csv
           (bench/cli/generate.py writes it when missing) and the DuckDB engine of npm
Environment: TABVORA, REPS (default 5), ROWS (default 1,000,000); BEFORE names an earlier
tabvora binary whose `tables` line is measured too, in the same run.

Each line is the median of REPS runs after one warm-up, all in one run (the machine is shared:
compare within a run). tabvora parses and converts on one thread while a second inserts; the
target is a load no slower than DuckDB's.
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CLI = os.path.join(os.path.dirname(HERE), "cli")
sys.path.insert(0, CLI)
from run import csv_bench_setup, measure_lines, ratio, sql_text  # noqa: E402


def insert_floor(folder, tabvora, source, reps):
    """Median seconds of the insert alone, as insert_floor reports it."""
    program = os.path.join(folder, "tabvora-insert-floor")
    subprocess.run(["g++", "-O2", "-std=c++20", "-o", program, os.path.join(HERE, "insert_floor.cpp"), "-lsqlite3"],
                   check=True)
    ddl = subprocess.run([tabvora, "query", source, "SELECT sql FROM sqlite_master WHERE type = 'table'"],
                         capture_output=True, text=True, check=True).stdout.splitlines()[1].strip('"').replace('""', '"')
    times = []
    for _ in range(reps):
        out = subprocess.run([program, ddl, source], capture_output=True, text=True, check=True).stdout
        times.append(float(out.split()[0]))
    return sorted(times)[len(times) // 2]


def main():
    folder, reps, source, node_env, tabvora = csv_bench_setup()
    lines = [  # name, command, environment
        ("tabvora tables", [tabvora, "tables", source], None),
    ]
    if os.environ.get("BEFORE"):
        lines.append(("before: tables", [os.environ["BEFORE"], "tables", source], None))
    lines += [
        ("duckdb read_csv", ["node", os.path.join(CLI, "duckdb_run.cjs"),
                             f"CREATE TABLE t AS SELECT * FROM read_csv({sql_text(source)})"], node_env),
        ("sqlite3 .import", ["sqlite3", ":memory:", "-cmd", f".import --csv {source} t", "SELECT count(*) FROM t;"],
         None),
    ]
    print(f"input: {os.path.getsize(source) / 1e6:.1f} MB; medians of {reps} runs after one warm-up")
    results = measure_lines(lines, reps, 16)
    floor = insert_floor(folder, tabvora, source, reps)
    print(f"| {'insert floor':<16} | {floor:6.2f} |        |         |      | {os.getloadavg()[0]:5.2f} |")
    tables = results["tabvora tables"]
    print(f"tabvora tables: {ratio(tables.seconds, results['duckdb read_csv'].seconds)} the wall time of DuckDB "
          f"(target at most 1), {ratio(tables.seconds, results['sqlite3 .import'].seconds)} that of sqlite3, "
          f"{ratio(tables.seconds, floor)} the insert floor")


if __name__ == "__main__":
    main()
