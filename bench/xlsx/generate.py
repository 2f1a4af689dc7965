#!/usr/bin/python3
"""Writes the benchmark workbooks with XlsxWriter (Debian: python3-xlsxwriter).

Usage: bench/xlsx/generate.py FOLDER [ROWS]
  FOLDER   where rows-shared.xlsx (shared strings, as Excel writes them) and rows-inline.xlsx
           (XlsxWriter's constant-memory mode: inline strings) go
  ROWS     data rows of the one sheet (default 1,000,000); 8 columns of mixed kinds:
           an id, a label (shared string), an amount, a date, a category (shared string,
           20 values), a flag, a quantity and a note (shared string)
"""
import datetime
import os
import sys

import xlsxwriter


def write(path, rows, constant_memory):
    book = xlsxwriter.Workbook(path, {"constant_memory": constant_memory})
    sheet = book.add_worksheet("Rows")
    dates = book.add_format({"num_format": "yyyy-mm-dd"})
    sheet.write_row(0, 0, ["id", "label", "amount", "day", "category", "flag", "quantity", "note"])
    start = datetime.date(2020, 1, 1)
    for r in range(1, rows + 1):
        sheet.write_number(r, 0, r)
        sheet.write_string(r, 1, f"item-{r}")
        sheet.write_number(r, 2, (r % 10000) / 8)
        sheet.write_datetime(r, 3, start + datetime.timedelta(days=r % 2000), dates)
        sheet.write_string(r, 4, f"category {r % 20}")
        sheet.write_boolean(r, 5, r % 3 == 0)
        sheet.write_number(r, 6, r % 97)
        sheet.write_string(r, 7, f"note for row {r} of the benchmark")
    book.close()


def main():
    folder = sys.argv[1]
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    os.makedirs(folder, exist_ok=True)
    for name, constant in (("rows-shared.xlsx", False), ("rows-inline.xlsx", True)):
        path = os.path.join(folder, name)
        write(path, rows, constant)
        print(f"wrote {path}: {os.path.getsize(path):,} bytes", flush=True)


if __name__ == "__main__":
    main()
