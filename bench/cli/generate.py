#!/usr/bin/python3
"""Writes the export benchmark's input: a CSV file of ROWS rows (default 1,000,000, about 75 MB)
and 8 columns, the same bytes on every run:

  id        integer key, 1..ROWS
  name      text; every 97th holds a comma, so it is quoted
  amount    real with two decimals; every 13th empty
  quantity  integer; every 17th empty
  city      one of eight words
  created   a date as text
  note      text; every 10th quoted with doubled quotes and a comma, every 1000th holding a
            line break, every 7th empty
  ratio     real; every 19th empty

Usage: generate.py PATH [ROWS]"""
import os
import sys

CITIES = ["Springfield", "Riverside", "Franklin", "Greenville", "Bristol", "Clinton", "Fairview", "Salem"]
HEADER = "id,name,amount,quantity,city,created,note,ratio\n"


def row(i):
    name = f'"Smith, J{i}"' if i % 97 == 0 else f"user_{i}"
    amount = "" if i % 13 == 0 else f"{(i * 7919) % 100000 / 100:.2f}"
    quantity = "" if i % 17 == 0 else str((i * 31) % 1000)
    created = f"2024-{i % 12 + 1:02d}-{i % 28 + 1:02d}"
    if i % 1000 == 0:
        note = f'"first line {i}\nsecond line"'
    elif i % 10 == 0:
        note = f'"said ""hi {i}"", then left"'
    elif i % 7 == 0:
        note = ""
    else:
        note = f"plain note {i % 5000}"
    ratio = "" if i % 19 == 0 else f"{(i % 1000) / 8:.3f}"
    return f"{i + 1},{name},{amount},{quantity},{CITIES[i % 8]},{created},{note},{ratio}\n"


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    path, rows = sys.argv[1], int(sys.argv[2]) if len(sys.argv) == 3 else 1_000_000
    with open(path + ".part", "w", newline="") as out:
        out.write(HEADER)
        for start in range(0, rows, 10_000):
            out.write("".join(row(i) for i in range(start, min(start + 10_000, rows))))
    os.replace(path + ".part", path)


if __name__ == "__main__":
    main()
