#!/usr/bin/env python3
"""Previews of small crafted databases that ask for endless work or huge values: each must
end within a few seconds with a page of bounded size and bounded memory.

Usage: bench/sqlite/bench_hostile.py
Environment:
  TABVORA   the tabvora binary (default: the release build, see bench_support.py)
  REPS      repetitions per measurement (default 3); medians are reported

For each database it reports the file size, the preview's wall time, peak resident memory
and page size, and beside it the sqlite3 shell reading the same first page
(`SELECT * FROM <first object> LIMIT 50`) with a 60-second timeout.
"""
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from bench_support import measure, release_tabvora  # noqa: E402

CASES = {
    "printf_view": "CREATE VIEW a AS SELECT printf('%.*c', 200000000, 'x') AS v "
                   "FROM (SELECT 1 UNION ALL SELECT 2 UNION ALL SELECT 3);",
    "zeroblob_view": "CREATE VIEW a AS SELECT zeroblob(200000000) AS v, zeroblob(200000000) AS w;",
    "generated_column": "CREATE TABLE a(x, big AS (printf('%.*c', 200000000, 'y'))); "
                        "INSERT INTO a VALUES (1), (2), (3), (4), (5);",
    "endless_view": "CREATE VIEW a AS WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) "
                    "SELECT x FROM r;",
    "cross_join_view": "CREATE TABLE n(x); WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r "
                       "WHERE x < 1000) INSERT INTO n SELECT x FROM r; "
                       "CREATE VIEW a AS SELECT p.x, q.x, r.x, s.x FROM n p, n q, n r, n s ORDER BY 1 DESC;",
}


def page_size(binary, path):
    out = subprocess.run([binary, "preview", path], capture_output=True, check=True).stdout
    return len(out)


def peer(path):
    started = time.perf_counter()
    with tempfile.NamedTemporaryFile("r") as report:
        try:
            subprocess.run(["/usr/bin/time", "-f", "%M", "-o", report.name, "timeout", "60", "sqlite3", "-readonly",
                            path, "SELECT * FROM a LIMIT 50;"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        finally:
            report.seek(0)
            lines = report.read().split()
    rss = int(lines[-1]) / 1024 if lines and lines[-1].isdigit() else float("nan")
    return time.perf_counter() - started, rss


def main():
    reps = int(os.environ.get("REPS", "3"))
    binary = release_tabvora()
    print(f"{reps} repetitions, medians")
    print(f"{'database':>17} {'bytes':>7} | {'preview s':>9} {'peak MB':>8} {'page KB':>8} | "
          f"{'sqlite3 s':>9} {'peak MB':>8}")
    with tempfile.TemporaryDirectory() as folder:
        for name, sql in CASES.items():
            path = os.path.join(folder, name + ".sqlite")
            subprocess.run(["sqlite3", path, sql], check=True)
            ours = measure([binary, "preview", path], reps, warmup=False)
            page = page_size(binary, path)
            peer_seconds, peer_rss = peer(path)
            print(f"{name:>17} {os.path.getsize(path):>7} | {ours.seconds:>9.2f} {ours.peak_mb:>8.0f} "
                  f"{page / 1024:>8.0f} | {peer_seconds:>9.2f} {peer_rss:>8.0f}", flush=True)


if __name__ == "__main__":
    main()
