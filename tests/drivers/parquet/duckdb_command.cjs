#!/usr/bin/env node
// A stand-in for the DuckDB command-line program built on the DuckDB engine of npm
// (@duckdb/node-api, installed beside this file by the test set-up). It honours only the
// contract the Parquet driver relies on:
//   duckdb -json -c SQL   prints the result as one JSON array of row objects (members in
//                         column order), exit status 0
//   on any error          a message on standard error, exit status 1
// Values print as the command-line program prints them: integers (also 64-bit ones) and
// doubles as JSON numbers (NaN, Infinity and -Infinity bare, as JSON has none), DECIMAL, dates, times and timestamps as strings, lists as
// arrays, structs and maps as objects.
'use strict';

const args = process.argv.slice(2);
if (args.length !== 3 || args[0] !== '-json' || args[1] !== '-c') {
  process.stderr.write('usage: duckdb -json -c SQL\n');
  process.exit(1);
}

const duckdb = require('@duckdb/node-api');

function json(value) {
  if (value === null || value === undefined) return 'null';
  switch (typeof value) {
    case 'boolean': return value ? 'true' : 'false';
    case 'bigint': return value.toString();
    case 'number':
      if (Number.isFinite(value)) return JSON.stringify(value);
      return Number.isNaN(value) ? 'NaN' : value > 0 ? 'Infinity' : '-Infinity';
    case 'string': return JSON.stringify(value);
  }
  if (value instanceof duckdb.DuckDBListValue || value instanceof duckdb.DuckDBArrayValue)
    return '[' + value.items.map(json).join(',') + ']';
  if (value instanceof duckdb.DuckDBStructValue)
    return '{' + Object.entries(value.entries).map(([k, v]) => JSON.stringify(k) + ':' + json(v)).join(',') + '}';
  if (value instanceof duckdb.DuckDBMapValue)
    return '{' + value.entries.map((e) => JSON.stringify(String(e.key)) + ':' + json(e.value)).join(',') + '}';
  return JSON.stringify(String(value));
}

(async () => {
  const instance = await duckdb.DuckDBInstance.create(':memory:');
  const connection = await instance.connect();
  const reader = await connection.runAndReadAll(args[2]);
  const names = reader.columnNames().map((name) => JSON.stringify(name));
  const rows = reader.getRows();
  const chunks = ['['];
  rows.forEach((row, r) => {
    chunks.push((r ? ',\n' : '') + '{' + row.map((v, c) => names[c] + ':' + json(v)).join(',') + '}');
  });
  chunks.push(']\n');
  process.stdout.write(chunks.join(''), () => process.exit(0));
})().catch((error) => {
  process.stderr.write('Error: ' + error.message + '\n');
  process.exit(1);
});
