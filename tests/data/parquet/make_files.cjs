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
  const wide = Array.from({ length: 700 }, (_, i) => `${i} AS c${i + 1}`).join(', ');
  await connection.run(`COPY (SELECT ${wide} FROM range(3)) TO '${here('wide_700.parquet')}' (FORMAT PARQUET)`);
  // A DOUBLE column holding whole and fractional values, a column of nulls only, a map.
  await connection.run(`COPY (
      SELECT i AS id, CASE WHEN i = 1 THEN 1.0::DOUBLE ELSE 2.5 END AS ratio, NULL::INTEGER AS nothing,
             i % 2 = 0 AS even, MAP {'k': i} AS attrs, 'it''s ' || i AS note
      FROM range(1, 4) t(i)) TO '${here('values.parquet')}' (FORMAT PARQUET)`);
})();
