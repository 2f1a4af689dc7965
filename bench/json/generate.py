#!/usr/bin/env python3
"""Writes the JSON benchmark inputs (default folder /tmp/tabvora-json-bench):
  records.json   1,000,000 records in one array (about 170 MB)
  records.jsonl  the same records, one per line
  huge.jsonl     about 1.5 GB of JSON Lines, for the preview
  small.jsonl    about 1 KB of JSON Lines, for the preview
Files that exist already are kept."""
import os
import sys

CITIES = ["Springfield", "Riverside", "Franklin", "Greenville", "Bristol", "Clinton", "Fairview", "Salem"]


def record(i):
    return ('{"id": %d, "name": "user_%d", "score": %d.%02d, '
            '"active": %s, "city": "%s", "tags": ["t%d", "t%d"], "created": "2024-%02d-%02dT10:30:00Z"}'
            % (i, i, i % 1000, i % 100, "true" if i % 3 else "false", CITIES[i % len(CITIES)],
               i % 10, i % 7, i % 12 + 1, i % 28 + 1))


def write_lines(path, count, start=0):
    with open(path, "w") as out:
        batch = []
        for i in range(start, start + count):
            batch.append(record(i))
            if len(batch) == 10000:
                out.write("\n".join(batch) + "\n")
                batch = []
        if batch:
            out.write("\n".join(batch) + "\n")


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-json-bench"
    os.makedirs(folder, exist_ok=True)
    path = os.path.join(folder, "records.jsonl")
    if not os.path.exists(path):
        write_lines(path, 1_000_000)
    path = os.path.join(folder, "records.json")
    if not os.path.exists(path):
        with open(os.path.join(folder, "records.jsonl")) as lines, open(path, "w") as out:
            out.write("[\n")
            first = True
            for line in lines:
                out.write(("" if first else ",\n") + line.rstrip("\n"))
                first = False
            out.write("\n]\n")
    path = os.path.join(folder, "small.jsonl")
    if not os.path.exists(path):
        write_lines(path, 6)
    path = os.path.join(folder, "huge.jsonl")
    if not os.path.exists(path):
        # The 1M-record file repeated until about 1.5 GB.
        chunk = open(os.path.join(folder, "records.jsonl"), "rb").read()
        with open(path, "wb") as out:
            written = 0
            while written < 1_500_000_000:
                out.write(chunk)
                written += len(chunk)
    for name in ("records.json", "records.jsonl", "huge.jsonl", "small.jsonl"):
        print("%-14s %14d bytes" % (name, os.path.getsize(os.path.join(folder, name))))


if __name__ == "__main__":
    main()
