#!/usr/bin/python3
"""Full load and preview of a 1,000,000-row workbook by tabvora, beside SheetJS and openpyxl.

Usage: bench/xlsx/run.py [FOLDER]
  FOLDER   where the workbooks live (default /tmp/tabvora-xlsx-bench); made by generate.py
           when missing (needs python3-xlsxwriter)
Environment:
  TABVORA  the tabvora binary (default: the release build, see bench_support.py)
  BEFORE   another tabvora binary, measured right after TABVORA on each of its lines
  PEERS    0 leaves the peers out (default 1)
  REPS     repetitions of tabvora's runs (default 3; the peers run once); medians
  ROWS     data rows when generating (default 1,000,000)
Each line ends with the one-minute load average when the line was measured (the machine
has 2 cores; others' work there slows every reader alike).
Peers: SheetJS (`npm install` in bench/xlsx, node), openpyxl read-only (python3-openpyxl).
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from bench_support import measure, release_tabvora  # noqa: E402


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-xlsx-bench"
    rows = int(os.environ.get("ROWS", "1000000"))
    reps = int(os.environ.get("REPS", "3"))
    peers = os.environ.get("PEERS", "1") != "0"
    before = os.environ.get("BEFORE")
    if not os.path.exists(os.path.join(folder, "rows-inline.xlsx")):
        subprocess.run(["/usr/bin/python3", os.path.join(HERE, "generate.py"), folder, str(rows)], check=True)
    if peers and not os.path.isdir(os.path.join(HERE, "node_modules")):
        subprocess.run(["npm", "install", "--no-audit", "--no-fund"], cwd=HERE, check=True, stdout=subprocess.PIPE)
    binary = release_tabvora()

    print(f"{'workbook':>18} {'reader':>22} {'seconds':>8} {'rows/s':>10} {'peak MB':>8} {'load':>5}")
    for name in ("rows-shared.xlsx", "rows-inline.xlsx"):
        path = os.path.join(folder, name)
        runs = []
        for command in ("tables", "preview"):
            runs.append((f"tabvora {command}", [binary, command, path], reps))
            if before:
                runs.append((f"before {command}", [before, command, path], reps))
        if peers:
            runs += [
                ("SheetJS (node)", ["node", "--max-old-space-size=8192", os.path.join(HERE, "sheetjs_load.js"), path], 1),
                ("openpyxl read-only", ["/usr/bin/python3", os.path.join(HERE, "openpyxl_load.py"), path], 1),
            ]
        for label, command, repetitions in runs:
            m = measure(command, repetitions, warmup=repetitions > 1)
            load = os.getloadavg()[0]
            print(f"{name:>18} {label:>22} {m.seconds:>8.2f} {rows / m.seconds:>10,.0f} {m.peak_mb:>8.0f} {load:>5.2f}",
                  flush=True)


if __name__ == "__main__":
    main()
