#!/usr/bin/env python3
"""Times `tabvora preview` on a ~1 GB SQLite database against the sqlite3 shell running the
statements a preview needs: a row count per table, the first page and that page's count.

Usage: bench/sqlite/bench_preview.py [DATABASE]
  DATABASE      where the generated database lives (default /tmp/tabvora-bench.sqlite);
                made once and reused while its row counts match
Environment:
  TABVORA       the tabvora binary (default: the release build, see bench_support.py)
  REPS          repetitions per measurement (default 5); medians are reported
  EVENTS_ROWS   rows of the largest table (default 10,000,000, giving a file just under 1e9 bytes)

Two measurements: the file as generated (below 1,000,000,000 bytes, so the preview counts
every table) and the same file grown past that size with a sparse tail (the preview then lists
tables without counts). The tail is cut off again afterwards. Runs are warm: after the first
repetition the file is in the page cache.
"""
import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from bench_support import measure, release_tabvora  # noqa: E402
COUNT_LIMIT = 1_000_000_000  # above this a preview lists tables without row counts
PAGE = 50                    # rows on a preview page

EVENTS_ROWS = int(os.environ.get("EVENTS_ROWS", "10000000"))
TABLES = {"events": EVENTS_ROWS, "sessions": EVENTS_ROWS // 8, "users": EVENTS_ROWS // 50}


def generate(path):
    sessions, users = TABLES["sessions"], TABLES["users"]
    sql = f"""
PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; PRAGMA cache_size = -200000;
CREATE TABLE events(id INTEGER PRIMARY KEY, user_id INTEGER NOT NULL, kind TEXT NOT NULL,
  amount REAL, happened_at TEXT, note TEXT);
CREATE TABLE sessions(id INTEGER PRIMARY KEY, user_id INTEGER, started TEXT, agent TEXT, seconds INTEGER);
CREATE TABLE users(id INTEGER PRIMARY KEY, name TEXT, email TEXT, joined TEXT, score REAL);
WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM s WHERE x < {EVENTS_ROWS})
INSERT INTO events SELECT x, abs(random()) % {users}, char(97 + x % 26, 98 + x % 23, 99 + x % 19) || '_event',
  (x % 10000) / 100.0, datetime(1600000000 + x * 7, 'unixepoch'), printf('note %d for user %d', x, x % 977) FROM s;
WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM s WHERE x < {sessions})
INSERT INTO sessions SELECT x, abs(random()) % {users}, datetime(1600000000 + x * 60, 'unixepoch'),
  printf('Mozilla/5.0 (X11; Linux x86_64; build %d) Gecko/%d Firefox/%d.0', x % 9973, 20100101 + x % 97, 100 + x % 30),
  abs(random()) % 7200 FROM s;
WITH RECURSIVE s(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM s WHERE x < {users})
INSERT INTO users SELECT x, printf('User Number %d', x), printf('user%d@example.org', x),
  date(1500000000 + x * 3600, 'unixepoch'), (x % 1000) / 10.0 FROM s;
"""
    if os.path.exists(path):
        os.remove(path)
    started = time.monotonic()
    subprocess.run(["sqlite3", path], input=sql, text=True, check=True, stdout=subprocess.PIPE)
    print(f"generated {path}: {os.path.getsize(path):,} bytes in {time.monotonic() - started:.1f} s", flush=True)


def matches(path):
    if not os.path.exists(path):
        return False
    counts = " UNION ALL ".join(f"SELECT COUNT(*) FROM {t}" for t in TABLES)
    out = subprocess.run(["sqlite3", "-readonly", path, counts + ";"], capture_output=True, text=True)
    return out.returncode == 0 and [int(v) for v in out.stdout.split()] == list(TABLES.values())


def peer_statements(counted):
    # What the preview runs: counts while listing (skipped above the size limit), then the
    # first page of the first table by name, with its rowid, and that table's count.
    first = sorted(TABLES)[0]
    counts = [f'SELECT COUNT(*) FROM "{t}";' for t in sorted(TABLES)] if counted else []
    page = [f'SELECT rowid AS __tabvora_rowid, * FROM "{first}" LIMIT {PAGE} OFFSET 0;',
            f'SELECT COUNT(*) FROM "{first}";']
    return " ".join(counts + page)


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-bench.sqlite"
    reps = int(os.environ.get("REPS", "5"))
    binary = release_tabvora()
    if not matches(path):
        generate(path)
    size = os.path.getsize(path)
    if size > COUNT_LIMIT:
        print(f"warning: {size:,} bytes is above the counting limit; lower EVENTS_ROWS", file=sys.stderr)

    print(f"{reps} repetitions, medians in seconds; tables {TABLES}")
    print(f"{'file size':>15}  {'tabvora preview':>15}  {'sqlite3 same SQL':>16}  ratio")
    for grown in (False, True):
        try:
            if grown:
                os.truncate(path, COUNT_LIMIT + 50_000_000)  # sparse: no disk used
            current = os.path.getsize(path)
            ours = measure([binary, "preview", path], reps).seconds  # the page goes to a pipe
            peer = measure(["sqlite3", "-readonly", path, peer_statements(current <= COUNT_LIMIT)], reps).seconds
            print(f"{current:>15,}  {ours:>15.3f}  {peer:>16.3f}  {ours / peer:5.2f}", flush=True)
        finally:
            os.truncate(path, size)


if __name__ == "__main__":
    main()
