// Feeds arbitrary bytes to the native Parquet reader as a whole file: footer, schema, row
// groups, pages, codecs, encodings and nested levels. Beyond not crashing, hanging or
// allocating past its stated limits, a file it reads must keep its promises: the table has
// the schema's top-level columns and exactly the rows its row groups state, and a preview of
// its first rows exactly those, and read a row group at a time it gives the same types and
// every row once.

#include <algorithm>
#include <cstdint>
#include <optional>

#include "drivers/parquet/parquet_native_reader.hpp"
#include "drivers/sqlite/sqlite_driver.hpp"
#include "fuzz/fuzz_support.hpp"
#include "platform/file_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tabvora::internal;
  const std::filesystem::path path = tabvora::fuzzing::privateFolder() / "input.parquet";
  tabvora::fuzzing::writeBytes(path, data, size);
  const FileReader file(path);
  std::optional<ParquetNativeReader> reader;
  if (!tabvora::fuzzing::refusalAllowed([&] { reader.emplace(file, size); })) return 0;
  // A preview of the first rows reads only the parts of pages they lie in, typed from a
  // few more; it holds at most those.
  SQLiteDriver preview;
  preview.openInMemory();
  if (tabvora::fuzzing::refusalAllowed([&] { reader->stage(preview, "t", 3, 20); })) {
    const std::vector<TableMetadata> tables = preview.fetchTables();
    tabvora::fuzzing::check(tables.size() == 1 && tables[0].rowCount == std::min<std::int64_t>(3, reader->rowCount()));
  }
  SQLiteDriver staging;
  staging.openInMemory();
  if (!tabvora::fuzzing::refusalAllowed([&] { reader->stage(staging, "t", std::nullopt); })) return 0;
  const std::vector<TableMetadata> tables = staging.fetchTables();
  tabvora::fuzzing::check(tables.size() == 1 && tables[0].rowCount == reader->rowCount());
  // Read in turns, as an export reads it: typed as the whole table, every row once.
  const std::vector<DataColumn> columns = reader->columnsOfAllRows();
  const std::vector<DataColumn> staged = staging.fetchSchema("t");
  tabvora::fuzzing::check(std::ranges::equal(columns, staged, {}, &DataColumn::type, &DataColumn::type));
  SQLiteDriver turns;
  turns.openInMemory();
  std::int64_t rows = 0;
  reader->stageInTurns(turns, "t", columns, [&] {
    rows += turns.fetchTables().at(0).rowCount.value_or(0);
    return true;
  });
  tabvora::fuzzing::check(rows == reader->rowCount());
  return 0;
}
