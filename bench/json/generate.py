#!/usr/bin/env python3
"""Writes the JSON benchmark inputs (default folder /tmp/tabvora-json-bench):
  records.json   1,000,000 records in one array (about 170 MB)
  records.jsonl  the same records, one per line
  huge.jsonl     about 1.5 GB of JSON Lines, for the preview
  small.jsonl    about 1 KB of JSON Lines, for the preview
and documents of other shapes, about 300 MB each, for peak memory:
  mixed.json     small records whose keys change type (one early record holds strings),
                 so nearly every cell is a TEXT cell staged from a number, boolean or array
  deep.json      records holding a value nested 500 levels deep
  huge_string.json  one record holding one 300 MB string
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


SHAPE_BYTES = 300_000_000


def write_array(path, make_record, target_bytes):
    """A JSON array of records made by make_record(i) until about target_bytes."""
    with open(path, "w") as out:
        out.write("[\n")
        written, i, batch = 0, 0, []
        while written < target_bytes:
            text = make_record(i)
            batch.append(text)
            written += len(text) + 2
            i += 1
            if len(batch) == 10000:
                out.write((",\n" if i > 10000 else "") + ",\n".join(batch))
                batch = []
        if batch:
            out.write((",\n" if i > len(batch) else "") + ",\n".join(batch))
        out.write("\n]\n")


def mixed_record(i):
    if i == 1:
        return '{"a": "text", "b": "text", "c": "text", "d": "text"}'
    return '{"a": %d, "b": %d.5, "c": %s, "d": [%d, 2]}' % (i, i % 1000, "true" if i % 2 else "false", i % 10)


def deep_record(i):
    return '{"id": %d, "tree": %s%d%s}' % (i, "[" * 500, i, "]" * 500)


def write_shapes(folder):
    path = os.path.join(folder, "mixed.json")
    if not os.path.exists(path):
        write_array(path, mixed_record, SHAPE_BYTES)
    path = os.path.join(folder, "deep.json")
    if not os.path.exists(path):
        write_array(path, deep_record, SHAPE_BYTES)
    path = os.path.join(folder, "huge_string.json")
    if not os.path.exists(path):
        with open(path, "w") as out:
            out.write('[{"id": 1, "s": "')
            piece = "abcdefghij" * 100_000
            for _ in range(SHAPE_BYTES // len(piece)):
                out.write(piece)
            out.write('"}]\n')


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
    write_shapes(folder)
    for name in ("records.json", "records.jsonl", "huge.jsonl", "small.jsonl", "mixed.json", "deep.json",
                 "huge_string.json"):
        print("%-14s %14d bytes" % (name, os.path.getsize(os.path.join(folder, name))))


if __name__ == "__main__":
    main()
