#!/usr/bin/python3
"""Export of a whole 1,000,000-row CSV file: tabvora beside sqlite3 and DuckDB.

Usage: bench/cli/run.py [FOLDER]
  FOLDER   scratch folder (default /tmp/tabvora-cli-bench): the input rows.csv (written by
           generate.py when missing), the outputs, and the DuckDB engine of npm, installed
           there the first time
Environment:
  TABVORA  the tabvora binary (default: the release build, see bench_support.py)
  REPS     repetitions of each line (default 5); medians after one warm-up run
  ROWS     rows when generating (default 1,000,000)

The lines, each but the first writing its output into FOLDER (removed before every run):
  tabvora tables        the full load into the staging database every export needs anyway
  tabvora export csv    export --format csv -o out.csv
  tabvora export json   export --format json -o out.json
  sqlite3 csv / json    sqlite3 :memory: with .import --csv, then .mode csv (with headers) or
                        .mode json, .output and SELECT * FROM t
  duckdb csv / json     COPY (SELECT * FROM 'rows.csv') TO ... (FORMAT JSON, ARRAY true for
                        JSON) on the DuckDB engine of npm (duckdb_run.cjs)
Each line gives wall seconds, CPU seconds (user + system: the steadier figure when the shared
machine is loaded), peak resident memory, CPU% (200 = both cores busy), the output's size and
the one-minute load average when it was measured (2 shared cores).
"""
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from bench_support import Measurement, release_tabvora  # noqa: E402

DUCKDB_PACKAGE = "@duckdb/node-api@1.5.6-r.1"


def measure(command, output, repetitions, env=None):
    """Medians under /usr/bin/time after one warm-up run; `output` (when given) is removed
    before each run, standard output goes to a pipe and is dropped."""
    runs = []
    with tempfile.NamedTemporaryFile("r") as report:
        for i in range(repetitions + 1):
            if output and os.path.exists(output):
                os.remove(output)
            started = time.perf_counter()
            process = subprocess.Popen(["/usr/bin/time", "-f", "%M %P %U %S", "-o", report.name] + command,
                                       stdout=subprocess.PIPE, env=env)
            while process.stdout.read(1 << 20):
                pass
            if process.wait() != 0:
                raise subprocess.CalledProcessError(process.returncode, command)
            elapsed = time.perf_counter() - started
            if i == 0:
                continue
            report.seek(0)
            rss_kb, cpu, user, system = report.read().split()[-4:]
            runs.append((elapsed, int(rss_kb) / 1024, int(cpu.rstrip("%") or 0), float(user) + float(system)))
    m = Measurement(*(statistics.median(r[k] for r in runs) for k in range(3)))
    m.cpu_seconds = statistics.median(r[3] for r in runs)
    return m


def measure_lines(lines, repetitions, width):
    """Measures each (name, command, env) of `lines` and prints it as a row of a Markdown table
    as soon as it is measured: wall and CPU seconds, peak memory, CPU percent, the load.
    Returns the measurements by name."""
    print(f"| {'line':<{width}} | {'s':>6} | {'CPU s':>6} | {'peak MB':>7} | {'CPU%':>4} | {'load':>5} |")
    print(f"|{'-' * (width + 2)}|{'-' * 7}:|{'-' * 7}:|{'-' * 8}:|{'-' * 5}:|{'-' * 6}:|")
    results = {}
    for name, command, env in lines:
        m = results[name] = measure(command, None, repetitions, env)
        print(f"| {name:<{width}} | {m.seconds:6.2f} | {m.cpu_seconds:6.2f} | {m.peak_mb:7.1f} | {m.cpu_percent:4.0f} | "
              f"{os.getloadavg()[0]:5.2f} |", flush=True)
    return results


def duckdb_engine(folder):
    """NODE_PATH under which duckdb_run.cjs finds the engine, installed on first use."""
    engine = os.path.join(folder, "engine")
    if not os.path.exists(os.path.join(engine, "node_modules", "@duckdb", "node-api", "package.json")):
        subprocess.run(["npm", "install", "--no-audit", "--no-fund", "--prefix", engine, DUCKDB_PACKAGE],
                       check=True, stdout=subprocess.PIPE)
    return os.path.join(engine, "node_modules")


def ratio(a, b):
    """a / b as "x1.23"; "x?" when b is too small to measure (a tiny input)."""
    return f"x{a / b:.2f}" if b > 0 else "x?"


def sql_text(path):
    return "'" + path.replace("'", "''") + "'"


def csv_bench_setup():
    """The benchmarks of the generated CSV: their folder (argument 1), REPS, the CSV of ROWS rows
    (written once), the environment that finds the DuckDB engine, and the tabvora to run."""
    folder = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-cli-bench")
    reps = int(os.environ.get("REPS", "5"))
    rows = int(os.environ.get("ROWS", "1000000"))
    os.makedirs(folder, exist_ok=True)
    source = os.path.join(folder, "rows.csv")
    if not os.path.exists(source):
        subprocess.run([sys.executable, os.path.join(HERE, "generate.py"), source, str(rows)], check=True)
    return folder, reps, source, dict(os.environ, NODE_PATH=duckdb_engine(folder)), release_tabvora()


def main():
    folder, reps, source, node_env, tabvora = csv_bench_setup()
    out = {name: os.path.join(folder, name) for name in ("out.csv", "out.json")}

    def sqlite(mode, output):
        return ["sqlite3", ":memory:", "-cmd", f".import --csv {source} t", "-cmd", ".headers on",
                "-cmd", f".mode {mode}", "-cmd", f".output {output}", "SELECT * FROM t;"]

    def duckdb(options, output):
        return ["node", os.path.join(HERE, "duckdb_run.cjs"),
                f"COPY (SELECT * FROM {sql_text(source)}) TO {sql_text(output)}{options}"]

    lines = [  # name, command, output file, environment
        ("tabvora tables", [tabvora, "tables", source], None, None),
        ("tabvora export csv", [tabvora, "export", source, "--format", "csv", "-o", out["out.csv"]], out["out.csv"], None),
        ("tabvora export json", [tabvora, "export", source, "--format", "json", "-o", out["out.json"]],
         out["out.json"], None),
        ("sqlite3 csv", sqlite("csv", out["out.csv"]), out["out.csv"], None),
        ("sqlite3 json", sqlite("json", out["out.json"]), out["out.json"], None),
        ("duckdb csv", duckdb("", out["out.csv"]), out["out.csv"], node_env),
        ("duckdb json", duckdb(" (FORMAT JSON, ARRAY true)", out["out.json"]), out["out.json"], node_env),
    ]
    print(f"input: {os.path.getsize(source) / 1e6:.1f} MB; medians of {reps} runs after one warm-up")
    print(f"| {'line':<20} | {'s':>6} | {'CPU s':>6} | {'peak MB':>7} | {'CPU%':>4} | {'output MB':>9} | {'load':>4} |")
    print(f"|{'-' * 22}|{'-' * 7}:|{'-' * 7}:|{'-' * 8}:|{'-' * 5}:|{'-' * 10}:|{'-' * 5}:|")
    results = {}
    for name, command, output, env in lines:
        m = results[name] = measure(command, output, reps, env)
        size = os.path.getsize(output) / 1e6 if output else 0
        print(f"| {name:<20} | {m.seconds:6.2f} | {m.cpu_seconds:6.2f} | {m.peak_mb:7.1f} | {m.cpu_percent:4.0f} | {size:9.1f} | "
              f"{os.getloadavg()[0]:4.2f} |", flush=True)

    tables = results["tabvora tables"]
    for kind in ("csv", "json"):
        export, sqlite3 = results[f"tabvora export {kind}"], results[f"sqlite3 {kind}"]
        print(f"export {kind}: {ratio(export.seconds, tables.seconds)} the wall time of tables "
              f"({ratio(export.cpu_seconds, tables.cpu_seconds)} its CPU time; target at most 1.5), "
              f"{ratio(export.seconds, sqlite3.seconds)} the wall time of sqlite3 "
              f"({ratio(export.cpu_seconds, sqlite3.cpu_seconds)} its CPU time; target below 1), "
              f"{export.peak_mb - tables.peak_mb:+.1f} MB peak beside tables (target a few MB)")


if __name__ == "__main__":
    main()
