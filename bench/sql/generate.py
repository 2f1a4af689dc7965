#!/usr/bin/env python3
"""Writes the inputs of the SQL script benchmark.

  bench/sql/generate.py [DATA_DIR] [ROWS]

Into DATA_DIR (default /tmp/tabvora-sql-bench), for ROWS rows (default 1,000,000):
  - sqlite_dump.sql: `sqlite3 .dump` of a database holding one table of ROWS rows (about
    150 MB for a million), made by the sqlite3 program itself;
  - pg_copy.sql: the same rows as pg_dump 15 writes them in its plain format: the
    preamble (\\restrict line, SET lines), CREATE TABLE, ALTER ... OWNER TO, one COPY block
    of tab-separated lines ended by "\\.", the primary key added by ALTER TABLE, the closing
    \\unrestrict line.
Existing files are kept.
"""
import os
import subprocess
import sys

DATA_DIR = sys.argv[1] if len(sys.argv) > 1 else "/tmp/tabvora-sql-bench"
ROWS = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000

# One row: an id, a name, a price, a quantity, a timestamp and a note of some length.
ROW_SQL = """
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < {rows})
SELECT i, 'item ' || i || ' (' || substr('redgreenblue', 1 + i % 10, 3) || ')', i * 0.25, i % 100,
       '2024-01-' || printf('%02d', 1 + i % 28) || ' ' || printf('%02d:%02d:00', i % 24, i % 60),
       'note for row ' || i || ': it''s ordinary text, with punctuation; and a tab' || char(9) || 'inside'
FROM n"""

PG_HEAD = """--
-- PostgreSQL database dump
--

\\restrict bEnchbEnchbEnchbEnchbEnchbEnchbEnchbEnchbEnchbEnchbEnchbEnchbEn

-- Dumped from database version 15.18 (Debian 15.18-0+deb12u1)
-- Dumped by pg_dump version 15.18 (Debian 15.18-0+deb12u1)

SET statement_timeout = 0;
SET lock_timeout = 0;
SET idle_in_transaction_session_timeout = 0;
SET client_encoding = 'UTF8';
SET standard_conforming_strings = on;
SELECT pg_catalog.set_config('search_path', '', false);
SET check_function_bodies = false;
SET xmloption = content;
SET client_min_messages = warning;
SET row_security = off;

SET default_tablespace = '';

SET default_table_access_method = heap;

--
-- Name: items; Type: TABLE; Schema: public; Owner: postgres
--

CREATE TABLE public.items (
    id integer NOT NULL,
    name text,
    price double precision,
    qty integer,
    created timestamp without time zone,
    note text
);


ALTER TABLE public.items OWNER TO postgres;

--
-- Data for Name: items; Type: TABLE DATA; Schema: public; Owner: postgres
--

COPY public.items (id, name, price, qty, created, note) FROM stdin;
"""

PG_TAIL = """\\.


--
-- Name: items items_pkey; Type: CONSTRAINT; Schema: public; Owner: postgres
--

ALTER TABLE ONLY public.items
    ADD CONSTRAINT items_pkey PRIMARY KEY (id);


--
-- PostgreSQL database dump complete
--

\\unrestrict bEnchbEnchbEnchbEnchbEnchbEnchbEnchbEnchbEnchbEnchbEnchbEnchbEn

"""


def copy_field(value):
    """A value as pg_dump's text format writes it."""
    if value is None:
        return "\\N"
    text = repr(value) if isinstance(value, float) else str(value)
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r")


def main():
    os.makedirs(DATA_DIR, exist_ok=True)
    database = os.path.join(DATA_DIR, "source.sqlite")
    dump = os.path.join(DATA_DIR, "sqlite_dump.sql")
    copy = os.path.join(DATA_DIR, "pg_copy.sql")
    if not os.path.exists(dump) or not os.path.exists(copy):
        if os.path.exists(database):
            os.remove(database)
        subprocess.run(["sqlite3", database, "CREATE TABLE items (id INTEGER PRIMARY KEY, name TEXT, price REAL, "
                        "qty INTEGER, created TEXT, note TEXT); INSERT INTO items " + ROW_SQL.format(rows=ROWS) + ";"],
                       check=True)
    if not os.path.exists(dump):
        with open(dump, "wb") as out:
            subprocess.run(["sqlite3", database, ".dump"], stdout=out, check=True)
    if not os.path.exists(copy):
        rows = subprocess.run(["sqlite3", "-separator", "\x1f", "-newline", "\x1e", database,
                               "SELECT id, name, price, qty, created, note FROM items ORDER BY id"],
                              stdout=subprocess.PIPE, check=True).stdout.decode()
        with open(copy, "w", encoding="utf-8", newline="\n") as out:
            out.write(PG_HEAD)
            for line in rows.split("\x1e"):
                if line:
                    fields = line.split("\x1f")
                    price = repr(float(fields[2]))  # float8 text: shortest form, no ".0"
                    fields[2] = price[:-2] if price.endswith(".0") else price
                    out.write("\t".join(copy_field(field) for field in fields) + "\n")
            out.write(PG_TAIL)
    if os.path.exists(database):
        os.remove(database)
    for name in ("sqlite_dump.sql", "pg_copy.sql"):
        print("%s: %.1f MB" % (name, os.path.getsize(os.path.join(DATA_DIR, name)) / 1e6))


if __name__ == "__main__":
    main()
