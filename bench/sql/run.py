#!/usr/bin/env python3
"""Times the SQL script driver against the sqlite3 program, in one run.

  bench/sql/run.py [DATA_DIR] [REPEATS]

Uses the release tabvora of build/release (see bench_support.py) unless TABVORA names
another binary; writes the inputs with generate.py when missing (default
/tmp/tabvora-sql-bench), then measures, each as the median of REPEATS runs (default 3)
after one warm-up run:
  - `tabvora tables` on the sqlite3 .dump of 1,000,000 rows, beside
    `sqlite3 :memory: '.read sqlite_dump.sql'` (the same engine running the same INSERTs);
  - `tabvora tables` on the pg_dump-style COPY block of the same rows (no sqlite3 line:
    sqlite3 cannot read it).
Each line gives wall seconds, rows per second, peak resident memory and CPU%.
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from bench_support import measure, release_tabvora  # noqa: E402

DATA_DIR = sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-sql-bench"
REPEATS = int(sys.argv[2]) if len(sys.argv) > 2 else 3
ROWS = 1_000_000


def main():
    subprocess.run([sys.executable, os.path.join(HERE, "generate.py"), DATA_DIR, str(ROWS)], check=True)
    binary = release_tabvora()
    dump = os.path.join(DATA_DIR, "sqlite_dump.sql")
    copy = os.path.join(DATA_DIR, "pg_copy.sql")
    for name, path in (("sqlite_dump.sql", dump), ("pg_copy.sql", copy)):
        listing = subprocess.run([binary, "tables", path], check=True, stdout=subprocess.PIPE).stdout.decode()
        if "\t%d\t" % ROWS not in listing:
            raise RuntimeError("%s: unexpected listing %r" % (name, listing))
    lines = [
        ("tabvora tables sqlite_dump.sql", [binary, "tables", dump]),
        ("sqlite3 :memory: .read sqlite_dump.sql", ["sqlite3", ":memory:", ".read " + dump]),
        ("tabvora tables pg_copy.sql", [binary, "tables", copy]),
    ]
    print("%-42s %8s %12s %9s %6s" % ("", "seconds", "rows/s", "peak MB", "CPU%"))
    for label, command in lines:
        m = measure(command, REPEATS)
        print("%-42s %8.2f %12.0f %9.0f %6.0f" % (label, m.seconds, ROWS / m.seconds, m.peak_mb, m.cpu_percent))


if __name__ == "__main__":
    main()
