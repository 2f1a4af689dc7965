#!/usr/bin/env python3
"""Full loads of 1,000,000 JSON records (7 keys), as one array (149 MB) and as JSON Lines
(148 MB): `tabvora tables` beside DuckDB's CREATE TABLE AS read_json and sqlite3's
json_each, all in one run (the machine is shared: compare within a run).

Usage: bench/json/load.py [FOLDER]
  FOLDER   scratch folder (default /tmp/tabvora-json-load): records.json and records.jsonl
           (written with generate.py's records when missing) and the DuckDB engine of npm
Environment: TABVORA, REPS (default 5); BEFORE names an earlier tabvora binary whose lines are
measured too, in the same run.

Each line is the median of REPS runs after one warm-up. Targets: the array load at most
0.8 times DuckDB's, the JSON Lines load no slower than DuckDB's.
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CLI = os.path.join(os.path.dirname(HERE), "cli")
sys.path.insert(0, HERE)
import generate  # noqa: E402

sys.path.insert(0, CLI)  # its run.py, not this folder's
from run import duckdb_engine, measure_lines, ratio, release_tabvora, sql_text  # noqa: E402

COLUMNS = ["id", "name", "score", "active", "city", "tags", "created"]


def write_inputs(folder):
    lines, array = os.path.join(folder, "records.jsonl"), os.path.join(folder, "records.json")
    if not os.path.exists(lines):
        generate.write_lines(lines + ".part", 1_000_000)
        os.replace(lines + ".part", lines)
    if not os.path.exists(array):
        with open(lines) as source, open(array + ".part", "w") as out:
            out.write("[\n" + ",\n".join(line.rstrip("\n") for line in source) + "\n]\n")
        os.replace(array + ".part", array)
    return array, lines


def main():
    folder = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-json-load")
    reps = int(os.environ.get("REPS", "5"))
    os.makedirs(folder, exist_ok=True)
    array, lines = write_inputs(folder)
    node_env = dict(os.environ, NODE_PATH=duckdb_engine(folder))
    tabvora = release_tabvora()

    def duckdb(path, form):
        return ["node", os.path.join(CLI, "duckdb_run.cjs"),
                f"CREATE TABLE t AS SELECT * FROM read_json({sql_text(path)}, format = '{form}')"]

    def sqlite(path, each):
        select = ", ".join(f"value->>'$.{c}' AS {c}" for c in COLUMNS)
        return ["sqlite3", ":memory:", f"CREATE TABLE t AS SELECT {select} FROM {each};"]

    quoted = lambda path: "'" + path.replace("'", "''") + "'"
    runs = [  # name, command, environment
        ("tabvora tables array", [tabvora, "tables", array], None),
    ]
    before = os.environ.get("BEFORE")
    if before:
        runs.append(("before: tables array", [before, "tables", array], None))
    runs += [
        ("duckdb read_json array", duckdb(array, "array"), node_env),
        ("sqlite3 json_each array", sqlite(array, f"json_each(readfile({quoted(array)}))"), None),
        ("tabvora tables lines", [tabvora, "tables", lines], None),
    ]
    if before:
        runs.append(("before: tables lines", [before, "tables", lines], None))
    runs += [
        ("duckdb read_json lines", duckdb(lines, "newline_delimited"), node_env),
    ]
    print(f"inputs: {os.path.getsize(array) / 1e6:.1f} MB array, {os.path.getsize(lines) / 1e6:.1f} MB lines; "
          f"medians of {reps} runs after one warm-up")
    results = measure_lines(runs, reps, 24)
    for form in ("array", "lines"):
        ours, theirs = results[f"tabvora tables {form}"], results[f"duckdb read_json {form}"]
        print(f"{form}: {ratio(ours.seconds, theirs.seconds)} the wall time of DuckDB "
              f"({ratio(ours.cpu_seconds, theirs.cpu_seconds)} its CPU time)")


if __name__ == "__main__":
    main()
