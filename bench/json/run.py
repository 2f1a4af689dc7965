#!/usr/bin/env python3
"""Times the JSON driver in one run, with repetitions and medians.

  bench/json/run.py [DATA_DIR] [REPEATS]

Uses the release tabvora (see bench_support.py), writes the inputs with
generate.py when missing (default /tmp/tabvora-json-bench), then measures:
  - preview of a 1 KB and of a 1.5 GB JSON Lines file (page of the first 200 lines);
  - `tabvora tables` on the 1M-record array and on the same records as JSON Lines;
  - SQLite's own route for the array: json_each over readfile into an in-memory table.
Each line gives the median wall time, median peak RSS and median CPU% (200% = two cores).
"""
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from bench_support import measure as timed, release_tabvora  # noqa: E402

COLUMNS = ["id", "name", "score", "active", "city", "tags", "created"]


def measure(label, command, repeats):
    m = timed(command, repeats, warmup=False)
    wall, rss, cpu = m.seconds, m.peak_mb, m.cpu_percent
    unit = "%8.1f ms" % (wall * 1000) if wall < 1 else "%8.2f s " % wall
    print("%-44s %s %8.0f MB %6d%%" % (label, unit, rss, cpu), flush=True)
    return wall


def main():
    data = sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-json-bench"
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    TABVORA = release_tabvora()
    subprocess.run([sys.executable, os.path.join(os.path.dirname(__file__), "generate.py"), data], check=True)
    path = lambda name: os.path.join(data, name)
    print("%-44s %11s %11s %7s" % ("", "median", "peak RSS", "CPU"))
    small = measure("preview small.jsonl (1 KB)", [TABVORA, "preview", path("small.jsonl")], repeats * 4)
    huge = measure("preview huge.jsonl (1.5 GB)", [TABVORA, "preview", path("huge.jsonl")], repeats * 4)
    print("%-44s %10.2fx" % ("  huge / small", huge / small))
    measure("tabvora tables records.json (1M array)", [TABVORA, "tables", path("records.json")], repeats)
    measure("tabvora tables records.jsonl (1M lines)", [TABVORA, "tables", path("records.jsonl")], repeats)
    select = ", ".join("value->>'$.%s' AS %s" % (c, c) for c in COLUMNS)
    sql = "CREATE TABLE t AS SELECT %s FROM json_each(readfile('%s'));" % (select, path("records.json"))
    measure("sqlite3 json_each records.json", ["sqlite3", ":memory:", sql], repeats)


if __name__ == "__main__":
    main()
