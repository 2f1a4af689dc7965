#!/usr/bin/env node
// Runs one SQL statement on an in-memory database of the DuckDB engine of npm and exits:
// 0 when it ran, 1 with the engine's message on standard error otherwise. run.py installs the
// engine into the benchmark's scratch folder and names it through NODE_PATH.
//   node duckdb_run.cjs SQL
'use strict';

if (process.argv.length !== 3) {
  process.stderr.write('usage: duckdb_run.cjs SQL\n');
  process.exit(1);
}

const duckdb = require('@duckdb/node-api');

(async () => {
  const instance = await duckdb.DuckDBInstance.create(':memory:');
  const connection = await instance.connect();
  await connection.run(process.argv[2]);
  connection.closeSync();
})().catch((error) => {
  process.stderr.write(`duckdb: ${error.message}\n`);
  process.exit(1);
});
