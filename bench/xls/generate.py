#!/usr/bin/python3
"""Writes the legacy workbook the XLS benchmark reads, with xlwt (Debian's python3-xlwt).

Usage: bench/xls/generate.py FOLDER [ROWS]
  rows.xls: one sheet of a header and ROWS data rows (default 65,535, the most a BIFF8
  sheet holds with its header) of 8 columns: an integer, a real, a short string repeated
  through the shared-string table, a date, a date and time, a unique string, a real with
  two decimals and a boolean.
"""
import datetime
import os
import sys

import xlwt


def main():
    folder = sys.argv[1]
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 65535
    os.makedirs(folder, exist_ok=True)
    book = xlwt.Workbook(encoding="utf-8")
    sheet = book.add_sheet("Rows")
    date = xlwt.easyxf(num_format_str="yyyy-mm-dd")
    stamp = xlwt.easyxf(num_format_str="yyyy-mm-dd hh:mm:ss")
    for column, name in enumerate(["id", "amount", "region", "day", "updated", "label", "price", "ok"]):
        sheet.write(0, column, name)
    regions = ["North", "South", "East", "West", "Zürich", "東京"]
    start = datetime.datetime(2020, 1, 1, 8, 0, 0)
    for row in range(1, rows + 1):
        sheet.write(row, 0, row)
        sheet.write(row, 1, row * 0.37)
        sheet.write(row, 2, regions[row % len(regions)])
        sheet.write(row, 3, (start + datetime.timedelta(days=row % 3000)).date(), date)
        sheet.write(row, 4, start + datetime.timedelta(minutes=row * 7), stamp)
        sheet.write(row, 5, f"item-{row:06d}")
        sheet.write(row, 6, (row % 1000) / 100 + 1)
        sheet.write(row, 7, row % 3 == 0)
    book.save(os.path.join(folder, "rows.xls"))


if __name__ == "__main__":
    main()
