#!/usr/bin/python3
"""Full load and preview of a 65,535-row legacy workbook by tabvora, beside xlrd.

Usage: bench/xls/run.py [FOLDER]
  FOLDER   where the workbook lives (default /tmp/tabvora-xls-bench); made by generate.py
           when missing (needs python3-xlwt)
Environment:
  TABVORA  the tabvora binary (default: the release build, see bench_support.py)
  REPS     repetitions of every run (default 5); medians
Each line ends with the one-minute load average when the line was measured (the machine
has 2 cores; others' work there slows every reader alike).
Peer: xlrd (python3-xlrd), reading alone and reading into an in-memory SQLite table.
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from bench_support import measure, release_tabvora  # noqa: E402

ROWS = 65535


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-xls-bench"
    reps = int(os.environ.get("REPS", "5"))
    path = os.path.join(folder, "rows.xls")
    if not os.path.exists(path):
        subprocess.run(["/usr/bin/python3", os.path.join(HERE, "generate.py"), folder, str(ROWS)], check=True)
    binary = release_tabvora()
    peer = os.path.join(HERE, "xlrd_load.py")

    print(f"{'reader':>22} {'seconds':>8} {'rows/s':>10} {'peak MB':>8} {'load':>5}")
    runs = [
        ("tabvora tables", [binary, "tables", path]),
        ("tabvora preview", [binary, "preview", path]),
        ("xlrd", ["/usr/bin/python3", peer, path]),
        ("xlrd + SQLite", ["/usr/bin/python3", peer, path, "--sqlite"]),
    ]
    for label, command in runs:
        m = measure(command, reps)
        load = os.getloadavg()[0]
        print(f"{label:>22} {m.seconds:>8.3f} {ROWS / m.seconds:>10,.0f} {m.peak_mb:>8.0f} {load:>5.2f}", flush=True)


if __name__ == "__main__":
    main()
