#!/usr/bin/python3
"""Workbooks that amplify: small files asking for much memory or time. What they cost tabvora.

Usage: bench/xlsx/hostile.py [FOLDER]   (default /tmp/tabvora-xlsx-hostile)
Writes, with Python's zipfile (DEFLATE at level 9), each once:
  refs.xlsx          one 9 MB shared string named by 190 cells
  twenty.xlsx        the sheet of refs.xlsx, listed as 20 sheets that all point at its part
  workbook-part.xlsx a workbook part that inflates to 1.9 GB (a sheet list padded with spaces)
  styles.xlsx        12,000,000 <xf> cell formats in the styles part
  strings-cut.xlsx   10,000,000 shared strings with a broken tag at the end
  strings-empty.xlsx 380,000,000 empty shared strings <si/>
  sheets.xlsx        1,000,000 <sheet/> entries beside 20,000 other archive entries
and prints, for `tabvora tables` and `tabvora preview` on each, the wall seconds, peak resident
memory, exit status and the first line of the message. Runs are held to 16 GB of address space
(prlimit) so that a reader asking for more fails instead of taking the machine.
"""
import os
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from bench_support import release_tabvora, run_once  # noqa: E402

MAIN = b'xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"'
RELS_NS = b'xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships"'
ADDRESS_SPACE = 16 << 30


def workbook(names):
    sheets = b"".join(b'<sheet name="%s" sheetId="%d" r:id="rId%d"/>' % (n, i + 1, i + 1) for i, n in enumerate(names))
    return b"<workbook " + MAIN + b" " + RELS_NS + b"><sheets>" + sheets + b"</sheets></workbook>"


def relationships(targets):
    return (b'<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">' +
            b"".join(b'<Relationship Id="rId%d" Target="%s"/>' % (i + 1, t) for i, t in enumerate(targets)) +
            b"</Relationships>")


def repeated(part, head, unit, count, tail):
    """Writes head, unit * count and tail into an open archive member, a megabyte at a time."""
    part.write(head)
    block_units = max(1, (1 << 20) // len(unit))
    while count > 0:
        n = min(count, block_units)
        part.write(unit * n)
        count -= n
    part.write(tail)


def write(path, members):
    """members: name -> bytes, or name -> (head, unit, count, tail) for a repeated part."""
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for name, content in members.items():
            if isinstance(content, bytes):
                archive.writestr(name, content)
            else:
                with archive.open(name, "w") as part:
                    repeated(part, *content)


REFS_SHEET = (b"<worksheet " + MAIN + b"><sheetData><row><c t=\"s\"><v>1</v></c></row>",
              b'<row><c t="s"><v>0</v></c></row>', 190, b"</sheetData></worksheet>")
REFS_STRINGS = (b"<sst " + MAIN + b"><si><t>", b"s", 9_000_000, b"</t></si><si><t>head</t></si></sst>")

HOSTILE = {
    "refs.xlsx": lambda: {"xl/workbook.xml": workbook([b"refs"]),
                          "xl/sharedStrings.xml": REFS_STRINGS, "xl/worksheets/sheet1.xml": REFS_SHEET},
    "twenty.xlsx": lambda: {"xl/workbook.xml": workbook([b"s%d" % k for k in range(20)]),
                            "xl/_rels/workbook.xml.rels": relationships([b"worksheets/one.xml"] * 20),
                            "xl/sharedStrings.xml": REFS_STRINGS, "xl/worksheets/one.xml": REFS_SHEET},
    "workbook-part.xlsx": lambda: {
        "xl/workbook.xml": (b"<workbook " + MAIN + b"><sheets>", b" " * 1024, 1_900_000, b"</sheets></workbook>")},
    "styles.xlsx": lambda: {
        "xl/workbook.xml": workbook([b"a"]),
        "xl/styles.xml": (b"<styleSheet " + MAIN + b"><cellXfs>", b'<xf numFmtId="14"/>', 12_000_000,
                          b"</cellXfs></styleSheet>")},
    "strings-cut.xlsx": lambda: {
        "xl/workbook.xml": workbook([b"a"]),
        "xl/sharedStrings.xml": (b"<sst " + MAIN + b">", b"<si><t>x</t></si>", 10_000_000, b"<si><t>broken</sst>")},
    "strings-empty.xlsx": lambda: {
        "xl/workbook.xml": workbook([b"a"]),
        "xl/sharedStrings.xml": (b"<sst " + MAIN + b">", b"<si/>", 380_000_000, b"</sst>")},
    "sheets.xlsx": lambda: dict(
        [("xl/workbook.xml", (b"<workbook " + MAIN + b"><sheets>", b"<sheet/>", 1_000_000, b"</sheets></workbook>"))] +
        [("xl/media/image%d.png" % i, b"") for i in range(20_000)]),
}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-xlsx-hostile"
    os.makedirs(folder, exist_ok=True)
    binary = release_tabvora()
    print(f"{'workbook':>18} {'command':>8} {'file KB':>8} {'seconds':>8} {'peak MB':>8} {'exit':>4}  message")
    for name, members in HOSTILE.items():
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            write(path, members())
        for command in ("tables", "preview"):
            seconds, peak_mb, status, message = run_once(binary, command, path, ADDRESS_SPACE)
            print(f"{name:>18} {command:>8} {os.path.getsize(path) / 1e3:>8.0f} {seconds:>8.2f} {peak_mb:>8.0f} "
                  f"{status:>4}  {message}", flush=True)


if __name__ == "__main__":
    main()
