#!/usr/bin/python3
"""Peer reader for the XLS benchmark: reads every cell of every sheet with xlrd (Debian's
python3-xlrd) and, with --sqlite, also inserts the rows into an in-memory SQLite table,
the way tabvora stages them.

Usage: bench/xls/xlrd_load.py FILE [--sqlite]
"""
import sqlite3
import sys

import xlrd


def main():
    book = xlrd.open_workbook(sys.argv[1])
    stage = "--sqlite" in sys.argv[2:]
    database = sqlite3.connect(":memory:") if stage else None
    cells = 0
    for index, sheet in enumerate(book.sheets()):
        rows = [sheet.row_values(r) for r in range(sheet.nrows)]
        cells += sum(len(r) for r in rows)
        if database is None or not rows:
            continue
        width = len(rows[0])
        columns = ", ".join(f'"c{i}"' for i in range(width))
        database.execute(f'CREATE TABLE "t{index}" ({columns})')
        database.executemany(f'INSERT INTO "t{index}" VALUES ({", ".join("?" * width)})', rows[1:])
        database.commit()
    print(cells)


if __name__ == "__main__":
    main()
