#!/usr/bin/env node
// Runs one SQL statement in the DuckDB engine of npm and prints nothing: DuckDB's own read
// of a Parquet file, beside which tabvora is measured.  Usage: node engine_run.cjs SQL
'use strict';
const { DuckDBInstance } = require('@duckdb/node-api');

(async () => {
  const connection = await (await DuckDBInstance.create(':memory:')).connect();
  await connection.run(process.argv[2]);
})();
