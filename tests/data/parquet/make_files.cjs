#!/usr/bin/env node
// Writes the hand-made Parquet files of this folder with the DuckDB engine of npm:
//   npm install --prefix /tmp/engine @duckdb/node-api
//   NODE_PATH=/tmp/engine/node_modules node make_files.cjs
// The other files come from third-party writers as they are.
'use strict';
const path = require('path');
const { DuckDBInstance } = require('@duckdb/node-api');

(async () => {
  const connection = await (await DuckDBInstance.create(':memory:')).connect();
  const here = (name) => path.join(__dirname, name).replaceAll("'", "''");
  const copy = (select, name, options = '') =>
    connection.run(`COPY (${select}) TO '${here(name)}' (FORMAT PARQUET${options})`);
  const wide = Array.from({ length: 700 }, (_, i) => `${i} AS c${i + 1}`).join(', ');
  await copy(`SELECT ${wide} FROM range(3)`, 'wide_700.parquet');
  // A DOUBLE column holding whole and fractional values, a column of nulls only, a map.
  await copy(`SELECT i AS id, CASE WHEN i = 1 THEN 1.0::DOUBLE ELSE 2.5 END AS ratio, NULL::INTEGER AS nothing,
                     i % 2 = 0 AS even, MAP {'k': i} AS attrs, 'it''s ' || i AS note
              FROM range(1, 4) t(i)`, 'values.parquet');

  // Every flat type DuckDB writes, with nulls, negative and edge values.
  const flat = `SELECT i AS id,
      CASE WHEN i % 7 = 0 THEN NULL ELSE (i % 256 - 128)::TINYINT END AS i8,
      (i * 301 % 65536 - 32768)::SMALLINT AS i16, (i * 1000003 % 2147483647 - 1073741823)::INTEGER AS i32,
      (i * 9007199254740993 - 4611686018427387904)::BIGINT AS i64,
      (i % 256)::UTINYINT AS u8, (i * 7 % 65536)::USMALLINT AS u16, (4294967295 - i)::UINTEGER AS u32,
      (18446744073709551615 - i * 1000)::UBIGINT AS u64,
      CASE WHEN i % 5 = 0 THEN NULL WHEN i = 3 THEN 'NaN'::FLOAT WHEN i = 4 THEN 'inf'::FLOAT
           ELSE (i / 8 - 20)::FLOAT END AS f32,
      CASE WHEN i = 1 THEN 'NaN'::DOUBLE WHEN i = 2 THEN '-inf'::DOUBLE WHEN i = 9 THEN 1e300
           ELSE i * 0.1 - 7 END AS f64,
      CASE WHEN i % 3 = 0 THEN NULL ELSE 'text ' || i || ' ünï ''q"' END AS txt,
      ('\\x00\\x41\\xFF' || i::VARCHAR)::BLOB AS bin,
      (i * 0.37 - 50)::DECIMAL(4, 1) AS dec4, (i * 123.45 - 9999)::DECIMAL(9, 2) AS dec9,
      (i * 1234567.891 - 99999999)::DECIMAL(18, 3) AS dec18,
      (i::HUGEINT * 123456789012345678901 - 99999999999999999999)::DECIMAL(38, 5) AS dec38,
      DATE '1969-12-25' + (i * 37)::INTEGER AS day, DATE '0101-01-01 (BC)' + i::INTEGER AS bc_day,
      TIME '00:00:00' + INTERVAL (i * 3001) MILLISECOND AS tod,
      TIMESTAMP '1969-12-31 23:59:00' + INTERVAL (i * 1234567) MICROSECOND AS ts,
      (TIMESTAMP '2024-02-29 12:00:00' + INTERVAL (i * 250) MILLISECOND)::TIMESTAMP_MS AS ts_ms,
      (TIMESTAMP '2000-01-01 00:00:00' + INTERVAL (i * 1001) MICROSECOND)::TIMESTAMP_NS AS ts_ns,
      (TIMESTAMP '2024-06-01 08:30:00' + INTERVAL (i) SECOND)::TIMESTAMPTZ AS ts_tz,
      ('0000' || lpad(i::VARCHAR, 4, '0') || '-1234-5678-9abc-def012345678')::UUID AS uid,
      (['red', 'green', 'blue'])[i % 3 + 1]::ENUM('red', 'green', 'blue') AS colour,
      CASE WHEN i % 4 = 0 THEN NULL ELSE i % 2 = 0 END AS flag
    FROM range(1, 301) t(i)`;
  await copy(flat, 'flat_types.parquet');
  // The same rows through every codec DuckDB writes, and with version 2 pages, which are
  // delta-encoded; small row groups and pages make several of each.
  for (const codec of ['uncompressed', 'gzip', 'zstd', 'lz4', 'brotli'])
    await copy(flat, `flat_${codec}.parquet`, `, COMPRESSION ${codec}, ROW_GROUP_SIZE 128`);
  await copy(flat, 'flat_v2.parquet', `, PARQUET_VERSION V2, ROW_GROUP_SIZE 100`);
  await copy(`${flat} LIMIT 0`, 'zero_rows.parquet');
  // Lists, maps and structs within each other, null and empty at every level.
  const nested = `SELECT i AS id,
      CASE WHEN i % 5 = 0 THEN NULL WHEN i % 5 = 1 THEN [] ELSE [i, NULL, i * 2] END AS ints,
      [[i, i + 1], [], NULL, [NULL]] AS lists,
      CASE WHEN i % 4 = 0 THEN NULL ELSE {'a': i, 'b': CASE WHEN i % 3 = 0 THEN NULL ELSE 'x' || i END,
                                          'c': [i * 0.5, 1e300, 1e-7, 123456789012345680000]} END AS rec,
      MAP {'k' || i: i, 'z': NULL} AS m,
      CASE WHEN i % 3 = 0 THEN MAP {} ELSE MAP {i: DATE '2020-01-01' + i::INTEGER} END AS int_keys,
      [{'s': 'q"uote' || chr(10) || chr(1), 'd': 1.5::DECIMAL(4, 2), 'u': 18446744073709551615::UBIGINT,
        'f': 0.1::FLOAT, 't': TIMESTAMP '2020-01-01 01:02:03.5', 'bl': '\\x01\\x22'::BLOB, 'bo': i % 2 = 0}] AS structs
    FROM range(1, 101) t(i)`;
  await copy(nested, 'nested.parquet');
  await copy(nested, 'nested_v2.parquet', ', PARQUET_VERSION V2, ROW_GROUP_SIZE 30');
  // unreadable_page.parquet is values.parquet with byte 7, inside its first page, XORed with
  // 0x5A: the page no longer decompresses to its stated size.
  // An INTERVAL, which only DuckDB reads: without it the rows cannot be read.
  await copy(`SELECT i AS id, INTERVAL (i) DAY AS span FROM range(3) t(i)`, 'unreadable_interval.parquet');
  // 200,000 rows in four row groups: every command counts them all.
  await copy(`SELECT i AS id, 'row ' || (i % 1000) AS label, (i % 1000) * 0.5 AS half FROM range(200000) t(i)`,
             'rows_200000.parquet', ', ROW_GROUP_SIZE 50000');
  // Columns whose values begin in a later row group (reals of 17 digits, text) or change
  // type there (whole numbers, then halves), and one that stays empty.
  await copy(`SELECT i AS id, CASE WHEN i < 2048 THEN NULL ELSE 1.0::DOUBLE / 3 + i END AS late_real,
                     CASE WHEN i < 3000 THEN i::DOUBLE ELSE i + 0.5 END AS whole_then_half, NULL::DOUBLE AS never,
                     CASE WHEN i < 2100 THEN NULL ELSE 'x' || i END AS late_text
              FROM range(5000) t(i)`, 'late_types.parquet', ', ROW_GROUP_SIZE 2048');
  // Texts long enough that a few hundred rows of them, flat or in a list, fill the reader's
  // batch of cells before its count of cells does.
  await copy(`SELECT i AS id, repeat(chr((65 + i % 26)::INTEGER), 13000) || i AS body,
                     [repeat('x', 9000) || i, NULL, repeat(chr((97 + i % 26)::INTEGER), 9000), repeat('y', 9000)] AS parts
              FROM range(700) t(i)`, 'long_texts.parquet', ', COMPRESSION zstd');
  // A dictionary of 4000 texts of some 80 bytes, each row a new one until all are met: a
  // preview decodes it only as far as its rows' indexes reach.
  await copy(`SELECT i AS id, 'customer ' || lpad((i * 7919 % 4000)::VARCHAR, 6, '0') || repeat(' of the dictionary', 4) AS name,
                     (i % 3000)::DOUBLE / 4 AS amount
              FROM range(20000) t(i)`, 'dictionary_zstd.parquet', ', COMPRESSION zstd');
})();
