#!/usr/bin/env node
// Writes the Parquet files of this folder that arrow-rs writes (through parquet-wasm), for
// what DuckDB does not write: the Hadoop LZ4 framing, a dictionary that falls back to plain
// values mid-column, DELTA_BYTE_ARRAY, version 2 pages without compression, FLOAT16:
//   npm install --prefix /tmp/arrow parquet-wasm@0.8.0 apache-arrow@21.2.0
//   NODE_PATH=/tmp/arrow/node_modules node make_arrow_files.cjs
'use strict';
const fs = require('fs');
const path = require('path');
const arrow = require('apache-arrow');
const wasm = require('parquet-wasm');

const rows = 3000;
const ids = Int32Array.from({ length: rows }, (_, i) => i * 7 - 1000);
const table = arrow.tableFromArrays({
  id: ids,
  // Few distinct names first, then many: the dictionary outgrows its page and falls back.
  name: Array.from({ length: rows }, (_, i) => (i < 1000 ? `name ${i % 10}` : `name ${i} ${'x'.repeat(i % 13)}`)),
  half: arrow.vectorFromArray(Array.from({ length: rows }, (_, i) => (i % 9 === 0 ? null : i / 8 - 100)),
                              new arrow.Float16()),
  score: Float64Array.from({ length: rows }, (_, i) => Math.sqrt(i) - 20),
  items: arrow.vectorFromArray(Array.from({ length: rows }, (_, i) => (i % 5 === 0 ? null : [i, i % 3])),
                               new arrow.List(new arrow.Field('item', new arrow.Int32(), true))),
});
const wasmTable = () => wasm.Table.fromIPCStream(arrow.tableToIPC(table, 'stream'));
const write = (name, properties) =>
  fs.writeFileSync(path.join(__dirname, name), wasm.writeParquet(wasmTable(), properties.build()));

write('arrow_lz4_hadoop.parquet', new wasm.WriterPropertiesBuilder()
  .setCompression(wasm.Compression.LZ4).setDictionaryPageSizeLimit(512).setDataPageSizeLimit(4096)
  .setMaxRowGroupSize(2000));
write('arrow_delta_v2.parquet', new wasm.WriterPropertiesBuilder()
  .setWriterVersion(wasm.WriterVersion.V2).setCompression(wasm.Compression.UNCOMPRESSED)
  .setDictionaryEnabled(false).setColumnEncoding('name', wasm.Encoding.DELTA_BYTE_ARRAY)
  .setColumnEncoding('id', wasm.Encoding.DELTA_BINARY_PACKED)
  .setColumnEncoding('score', wasm.Encoding.BYTE_STREAM_SPLIT).setDataPageSizeLimit(4096));
