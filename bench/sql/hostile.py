#!/usr/bin/python3
"""Scripts that take time or memory out of proportion to their size. What they cost tabvora.

Usage: bench/sql/hostile.py [FOLDER]   (default /tmp/tabvora-sql-hostile)
Writes, each once:
  slow.sql      thirty statements (3.4 KB) that each count an endless recursive query, so each
                runs until the statement bound stops it
  heap.sql      one table and a view whose row needs more memory than the heap allows
  versions.sql  executable comments for versions no server reaches, beside a table
and prints, for `tabvora tables` and `tabvora preview` on each, the wall seconds, peak resident
memory, exit status and the first line of the answer.
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from bench_support import release_tabvora, run_once  # noqa: E402

ENDLESS = ("CREATE TABLE t{0} AS WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r) "
           "SELECT count(*) AS n FROM r WHERE x % 7 = {0};\n")

HOSTILE = {
    "slow.sql": lambda: "-- thirty statements that never end on their own\n" + "".join(
        ENDLESS.format(i) for i in range(30)),
    "heap.sql": lambda: ("CREATE TABLE t (a);\nINSERT INTO t VALUES (1);\n"
                         "CREATE VIEW big AS SELECT group_concat(zeroblob(100000000)) AS b "
                         "FROM (WITH RECURSIVE r(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM r WHERE x < 40) "
                         "SELECT x FROM r);\n"),
    "versions.sql": lambda: ("CREATE TABLE my (a);\nINSERT INTO my VALUES (1);\n"
                             "/*!999999 DROP TABLE my */;\n/*M!999999 DROP TABLE my */;\n"),
}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-sql-hostile"
    os.makedirs(folder, exist_ok=True)
    binary = release_tabvora()
    print(f"{'script':>14} {'command':>8} {'file KB':>8} {'seconds':>8} {'peak MB':>8} {'exit':>4}  message")
    for name, text in HOSTILE.items():
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            with open(path, "w") as out:
                out.write(text())
        for command in ("tables", "preview"):
            seconds, peak_mb, status, message = run_once(binary, command, path)
            print(f"{name:>14} {command:>8} {os.path.getsize(path) / 1e3:>8.1f} {seconds:>8.2f} {peak_mb:>8.0f} "
                  f"{status:>4}  {message}", flush=True)


if __name__ == "__main__":
    main()
