#!/usr/bin/python3
"""A legacy workbook that amplifies: one long shared string named by many cells.

Usage: bench/xls/hostile.py [FOLDER]   (default /tmp/tabvora-xls-hostile)
Writes with xlwt (Debian's python3-xlwt), once: refs.xls, a header and 10,800 cells that all
name one shared string of 32,767 CJK characters (98 KB of UTF-8; xlwt writes no longer
string), about 230 KB on disk. Prints, for `tabvora tables` and `tabvora preview`, the wall
seconds, peak resident memory, exit status and the first line of the message; runs are held
to 16 GB of address space (prlimit).
"""
import os
import sys

import xlwt

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from bench_support import release_tabvora, run_once  # noqa: E402

CELLS = 10_800


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-xls-hostile"
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "refs.xls")
    if not os.path.exists(path):
        book = xlwt.Workbook(encoding="utf-8")
        sheet = book.add_sheet("Refs")
        sheet.write(0, 0, "head")
        text = "\u6771" * 32767
        for row in range(1, CELLS + 1):
            sheet.write(row, 0, text)
        book.save(path)
    binary = release_tabvora()
    print(f"{'command':>8} {'file KB':>8} {'seconds':>8} {'peak MB':>8} {'exit':>4}  message")
    for command in ("tables", "preview"):
        seconds, peak_mb, status, message = run_once(binary, command, path)
        print(f"{command:>8} {os.path.getsize(path) / 1e3:>8.0f} {seconds:>8.2f} {peak_mb:>8.0f} {status:>4}  "
              f"{message}", flush=True)


if __name__ == "__main__":
    main()
