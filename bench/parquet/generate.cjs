#!/usr/bin/env node
// Writes FILE, a Parquet file of ROWS rows (default 1,000,000) of 8 columns in row groups
// of DuckDB's default size, compressed with CODEC (default snappy): an id, a text, a
// double, a decimal, a date, a timestamp, a flag and a list.
// Usage: node generate.cjs FILE [ROWS] [CODEC]
'use strict';
const { DuckDBInstance } = require('@duckdb/node-api');

(async () => {
  const [file, rows = '1000000', codec = 'snappy'] = process.argv.slice(2);
  const connection = await (await DuckDBInstance.create(':memory:')).connect();
  await connection.run(`COPY (
      SELECT i AS id, 'customer ' || (i % 50000) AS name, i * 0.25 AS amount,
             (i % 100000 / 100)::DECIMAL(12, 2) AS price, DATE '2020-01-01' + (i % 2000)::INTEGER AS day,
             TIMESTAMP '2024-01-01' + to_seconds(i) AS seen, i % 3 = 0 AS flag, [i % 7, i % 11] AS pair
      FROM range(${Number(rows)}) t(i)) TO '${file.replaceAll("'", "''")}'
      (FORMAT PARQUET, COMPRESSION ${codec === 'zstd' ? 'zstd' : 'snappy'})`);
})();
