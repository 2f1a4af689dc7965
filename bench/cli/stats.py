#!/usr/bin/python3
"""Statistics of a whole 1,000,000-row CSV file: `tabvora stats` beside DuckDB's SUMMARIZE.

Usage: bench/cli/stats.py [FOLDER]
  FOLDER   scratch folder (default /tmp/tabvora-cli-bench): the input rows.csv (written by
           generate.py when missing) and the DuckDB engine of npm, installed there the
           first time
Environment: TABVORA, REPS and ROWS as for run.py; BEFORE names an earlier tabvora binary
whose tables and stats lines are measured too, in the same run.

The lines, each the median of REPS runs after one warm-up, in one run so they share the
machine's load:
  tabvora tables   the full load every stats does first (staging the rows)
  tabvora stats    the load, with every column's statistics added up on a third thread as
                   the rows are staged (text table)
  duckdb SUMMARIZE SUMMARIZE SELECT * FROM 'rows.csv' on the DuckDB engine of npm (reads the
                   file and summarises every column: min, max, distinct estimate, average,
                   quartiles, null share)
It also prints the size of the staged table (its SQLite pages), the figure peak memory is
set against: the target is a stats peak below twice that, and a time no worse than
SUMMARIZE's.
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from run import csv_bench_setup, measure_lines, ratio, sql_text  # noqa: E402


def main():
    folder, reps, source, node_env, tabvora = csv_bench_setup()

    staged = subprocess.run([tabvora, "query", source,
                             "SELECT page_count * page_size FROM pragma_page_count(), pragma_page_size()"],
                            capture_output=True, text=True, check=True).stdout.split()[-1]
    staged_mb = int(staged) / 1e6
    lines = [  # name, command, environment
        ("tabvora tables", [tabvora, "tables", source], None),
        ("tabvora stats", [tabvora, "stats", source], None),
    ]
    if os.environ.get("BEFORE"):
        lines += [("before: tables", [os.environ["BEFORE"], "tables", source], None),
                  ("before: stats", [os.environ["BEFORE"], "stats", source], None)]
    lines += [
        ("duckdb SUMMARIZE", ["node", os.path.join(HERE, "duckdb_run.cjs"), f"SUMMARIZE SELECT * FROM {sql_text(source)}"],
         node_env),
    ]
    print(f"input: {os.path.getsize(source) / 1e6:.1f} MB, staged table {staged_mb:.1f} MB; "
          f"medians of {reps} runs after one warm-up")
    results = measure_lines(lines, reps, 18)
    stats, summarize = results["tabvora stats"], results["duckdb SUMMARIZE"]
    print(f"stats: {ratio(stats.seconds, summarize.seconds)} the wall time of SUMMARIZE "
          f"({ratio(stats.cpu_seconds, summarize.cpu_seconds)} its CPU time; target at most 1), "
          f"peak {stats.peak_mb:.1f} MB = {ratio(stats.peak_mb, staged_mb)} the staged table (target below 2)")


if __name__ == "__main__":
    main()
