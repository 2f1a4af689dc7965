#!/usr/bin/env python3
"""Times the JSON driver in one run, with repetitions and medians.

  bench/json/run.py [DATA_DIR] [REPEATS] [shapes]

Uses the release tabvora (see bench_support.py), writes the inputs with
generate.py when missing (default /tmp/tabvora-json-bench), then measures:
  - preview of a 1 KB and of a 1.5 GB JSON Lines file (page of the first 200 lines);
  - `tabvora tables` on the 1M-record array and on the same records as JSON Lines;
  - SQLite's own route for the array: json_each over readfile into an in-memory table;
  - peak memory of `tabvora preview` and `tabvora tables` on documents of several shapes
    (plain, keys changing type, deep nesting, one huge string), beside the SQLite route,
    as a multiple of the file size (only these with the word "shapes").
Each line gives the median wall time, median peak RSS and median CPU% (200% = two cores).
Output of the measured programs goes to a temporary file.
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from bench_support import release_tabvora  # noqa: E402

COLUMNS = ["id", "name", "score", "active", "city", "tags", "created"]
SHAPES = [  # file, the columns of the SQLite route
    ("records.json", COLUMNS),
    ("mixed.json", ["a", "b", "c", "d"]),
    ("deep.json", ["id", "tree"]),
    ("huge_string.json", ["id", "s"]),
]


def run_once(command):
    """Wall seconds, peak RSS in MB and CPU percent of one run of the command."""
    with tempfile.TemporaryFile() as output:
        started = time.perf_counter()
        child = subprocess.Popen(command, stdout=output, stderr=output)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - started
        if status != 0:
            output.seek(0)
            raise RuntimeError("%s failed: %s" % (command, output.read()[-500:].decode(errors="replace")))
    return wall, usage.ru_maxrss / 1024, 100 * (usage.ru_utime + usage.ru_stime) / wall


def measure(label, command, repeats, size=None):
    try:
        runs = [run_once(command) for _ in range(repeats)]
    except RuntimeError as failure:
        print("%-44s %s" % (label, str(failure).split("failed: ")[-1].strip()), flush=True)
        return None
    wall, rss, cpu = (statistics.median(r[k] for r in runs) for k in range(3))
    unit = "%8.1f ms" % (wall * 1000) if wall < 1 else "%8.2f s " % wall
    ratio = "  %5.2fx size" % (rss * 1024 * 1024 / size) if size else ""
    print("%-44s %s %8.0f MB %6d%%%s" % (label, unit, rss, cpu, ratio), flush=True)
    return wall


def sqlite_route(path, columns):
    select = ", ".join("value->>'$.%s' AS %s" % (c, c) for c in columns)
    return ["sqlite3", ":memory:", "CREATE TABLE t AS SELECT %s FROM json_each(readfile('%s'));" % (select, path)]


def main():
    data = sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-json-bench"
    repeats = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    TABVORA = release_tabvora()
    subprocess.run([sys.executable, os.path.join(os.path.dirname(__file__), "generate.py"), data], check=True)
    path = lambda name: os.path.join(data, name)
    print("%-44s %11s %11s %7s" % ("", "median", "peak RSS", "CPU"))
    if sys.argv[3:] != ["shapes"]:
        timings(TABVORA, path, repeats)
    print("\nPeak memory by document shape")
    shape_repeats = max(1, repeats // 2)
    for name, columns in SHAPES:
        size = os.path.getsize(path(name))
        print("%s (%.0f MB)" % (name, size / 1e6))
        measure("  tabvora preview", [TABVORA, "preview", path(name)], shape_repeats, size)
        measure("  tabvora tables", [TABVORA, "tables", path(name)], shape_repeats, size)
        measure("  sqlite3 json_each", sqlite_route(path(name), columns), shape_repeats, size)


def timings(TABVORA, path, repeats):
    small = measure("preview small.jsonl (1 KB)", [TABVORA, "preview", path("small.jsonl")], repeats * 4)
    huge = measure("preview huge.jsonl (1.5 GB)", [TABVORA, "preview", path("huge.jsonl")], repeats * 4)
    print("%-44s %10.2fx" % ("  huge / small", huge / small))
    measure("tabvora tables records.json (1M array)", [TABVORA, "tables", path("records.json")], repeats)
    measure("tabvora tables records.jsonl (1M lines)", [TABVORA, "tables", path("records.jsonl")], repeats)
    measure("sqlite3 json_each records.json", sqlite_route(path("records.json"), COLUMNS), repeats)


if __name__ == "__main__":
    main()
