#!/usr/bin/python3
"""Hostile workbooks of about 1 MB whose worksheet inflates to 1 GB: what they cost tabvora.

Usage: bench/xlsx/bomb.py [FOLDER]   (default /tmp/tabvora-xlsx-bomb)
Writes, with Python's zipfile (DEFLATE at level 9):
  zeros.xlsx   the worksheet part is 1 GiB of zero bytes (not XML: refused at its first byte)
  rows.xlsx    the worksheet part is 1 GiB of valid XML: empty rows <row r="1"/> repeated
  cells.xlsx   the worksheet part is 1 GiB of one-cell rows, which hits the grid limits
and prints, for `tabvora tables` and `tabvora preview` on each, the wall seconds, peak resident
memory, exit status and the first line of its error (of the preview: its error page's reason,
or its "Showing ..." footer).
"""
import os
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from bench_support import release_tabvora, run_once  # noqa: E402

GIB = 1 << 30
CONTENT_TYPES = (b'<?xml version="1.0"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
                 b'<Default Extension="xml" ContentType="application/xml"/></Types>')
WORKBOOK = (b'<?xml version="1.0"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" '
            b'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">'
            b'<sheets><sheet name="Bomb" sheetId="1" r:id="rId1"/></sheets></workbook>')
RELS = (b'<?xml version="1.0"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">'
        b'<Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" '
        b'Target="worksheets/sheet1.xml"/></Relationships>')


def write_bomb(path, head, unit, tail):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        archive.writestr("[Content_Types].xml", CONTENT_TYPES)
        archive.writestr("xl/workbook.xml", WORKBOOK)
        archive.writestr("xl/_rels/workbook.xml.rels", RELS)
        with archive.open("xl/worksheets/sheet1.xml", "w", force_zip64=True) as part:
            part.write(head)
            block = unit * ((1 << 20) // len(unit))
            written = len(head)
            while written + len(block) + len(tail) <= GIB:
                part.write(block)
                written += len(block)
            part.write(tail)


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-xlsx-bomb"
    os.makedirs(folder, exist_ok=True)
    head = b'<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData>'
    bombs = {
        "zeros.xlsx": (b"", b"\0" * 64, b""),
        "rows.xlsx": (head, b'<row r="1"/>', b"</sheetData></worksheet>"),
        "cells.xlsx": (head, b'<row><c t="inlineStr"><is><t>x</t></is></c></row>', b"</sheetData></worksheet>"),
    }
    binary = release_tabvora()
    print(f"{'workbook':>11} {'command':>8} {'file MB':>8} {'seconds':>8} {'peak MB':>8} {'exit':>4}  message")
    for name, (start, unit, end) in bombs.items():
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            write_bomb(path, start, unit, end)
        for command in ("tables", "preview"):
            seconds, peak_mb, status, message = run_once(binary, command, path)
            print(f"{name:>11} {command:>8} {os.path.getsize(path) / 1e6:>8.2f} {seconds:>8.2f} {peak_mb:>8.0f} "
                  f"{status:>4}  {message}", flush=True)


if __name__ == "__main__":
    main()
