#!/usr/bin/python3
"""Peer: openpyxl in read-only mode iterates the first sheet's rows (values only)."""
import sys

import openpyxl

book = openpyxl.load_workbook(sys.argv[1], read_only=True)
rows = sum(1 for _ in book.worksheets[0].iter_rows(values_only=True))
print(rows - 1)
