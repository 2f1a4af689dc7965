// Table exports of hostile values: the SQL export read back by SQLite gives exactly the
// values written, the JSON export parses, and a Markdown or CSV row never spills over
// lines it does not own; the text grid of the same page fits any pane. Filter expressions
// parse or are refused, never crash.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "command_line.hpp"
#include "drivers/sqlite/filter_sql.hpp"
#include "drivers/sqlite/sqlite_driver.hpp"
#include "export/table_export_writer.hpp"
#include "fuzz/fuzz_support.hpp"
#include "filter_expression.hpp"
#include "platform/display_width.hpp"
#include "platform/sql_quoting.hpp"
#include "preview/text_grid_generator.hpp"

namespace {

using namespace tabvora;
using namespace tabvora::internal;
using tabvora::fuzzing::check;

// Reads the input as a small table: one byte picks each cell's kind, the next bytes its
// payload, up to a length byte.
struct Input {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos = 0;
  bool done() const { return pos >= size; }
  std::uint8_t byte() { return pos < size ? data[pos++] : 0; }
  std::string text() {
    const std::size_t length = byte() % 24;
    std::string out;
    for (std::size_t i = 0; i < length && !done(); ++i) out += static_cast<char>(byte());
    return out;
  }
  CellValue cell() {
    switch (byte() % 6) {
      case 0: return CellValue::null();
      case 1: {
        std::int64_t value = 0;
        for (int i = 0; i < 8; ++i) value = (value << 8) | byte();
        return CellValue::integer(value);
      }
      case 2: {
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits = (bits << 8) | byte();
        double value;
        static_assert(sizeof value == sizeof bits);
        __builtin_memcpy(&value, &bits, sizeof value);
        return CellValue::real(value);
      }
      case 3: {
        const std::string raw = text();
        return CellValue::blob(Bytes(raw.begin(), raw.end()));
      }
      default: return CellValue::text(text());
    }
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input{data, size};
  try {
    (void)cli::parseFilterExpression(std::string(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 64)));
  } catch (const cli::UsageError&) {
  }

  const std::size_t columnCount = 1 + input.byte() % 4;
  std::vector<DataColumn> columns;
  for (std::size_t j = 0; j < columnCount; ++j) {
    DataColumn column;
    column.name = input.text() + "#" + std::to_string(j);
    column.type = ColumnType::null;
    columns.push_back(column);
  }
  DataTable page("t", columns, {});
  while (!input.done() && page.rows.size() < 16) {
    DataRow row;
    for (std::size_t j = 0; j < columnCount; ++j) row.values.push_back(input.cell());
    page.rows.push_back(std::move(row));
  }
  const std::string table = "t\"" + input.text();

  auto exported = [&](ExportFormat format) {
    auto writer = TableExportWriter::make(format, table, columns);
    return writer->begin() + writer->rows(page) + writer->end();
  };

  SQLiteDriver loaded;
  loaded.openInMemory();
  loaded.executeRawSQL(exported(ExportFormat::sqlInsert));
  std::vector<DataRow> back;
  // Names lose a NUL as quoteIdentifier leaves it out, in the export as here.
  loaded.streamRows("SELECT * FROM " + quoteIdentifier(table), {}, 64, [&](const DataTable& rows) {
    back.insert(back.end(), rows.rows.begin(), rows.rows.end());
    return true;
  });
  check(back.size() == page.rows.size());
  for (std::size_t i = 0; i < back.size(); ++i) {
    for (std::size_t j = 0; j < columnCount; ++j) {
      const CellValue& written = page.rows[i].values[j];
      const CellValue& read = back[i].values[j];
      if (written.kind() != CellValue::Kind::real) {
        check(written == read);
        continue;
      }
      // NaN has no SQL literal and is written as NULL. The shortest decimal text of a real
      // is exact, but SQLite's own decimal reader is one unit in the last place off for a
      // few values (mostly below 1e-300): that much is SQLite's, not the export's.
      const double value = written.realValue();
      check(value != value ? read.isNull()
                           : read.kind() == CellValue::Kind::real &&
                                 (read.realValue() == value || read.realValue() == std::nextafter(value, INFINITY) ||
                                  read.realValue() == std::nextafter(value, -INFINITY)));
    }
  }

  // A filter on any column with any value runs as a statement: the name and the value
  // never become SQL text.
  const std::string& filtered = columns[input.byte() % columnCount].name;
  if (filtered.find('\0') == std::string::npos && table.find('\0') == std::string::npos) {
    const ColumnFilter filter(filtered, ColumnFilter::Operator::allCases[input.byte() % 12], input.text());
    const BoundSQL select = filteredSelect(table, {filter, filter}, FilterCombination::any);
    loaded.streamRows(select.text, select.parameters, 64, [](const DataTable&) { return true; });
  }

  check(!nlohmann::json::parse(exported(ExportFormat::json), nullptr, false).is_discarded());
  const std::string markdown = exported(ExportFormat::markdown);
  check(static_cast<std::size_t>(std::count(markdown.begin(), markdown.end(), '\n')) == page.rows.size() + 2);

  // The text grid of the same hostile page fits any pane: no line wider than the width
  // (colour escapes aside), no more lines than the height.
  TextGridOptions options;
  options.width = 1 + input.byte() % 120;
  options.height = 1 + input.byte() % 30;
  options.color = input.byte() % 2 == 1;
  DatabaseMetadata metadata;
  metadata.name = table;
  metadata.tables.push_back(TableMetadata{table, TableType::table, 16, 4, std::nullopt, std::nullopt});
  page.totalRowCount = static_cast<std::int64_t>(page.rows.size());
  const std::string grid = TextGridGenerator::generateText(metadata, table, page, options);
  std::size_t lines = 0;
  std::istringstream in(grid);
  for (std::string line; std::getline(in, line); ++lines) {
    std::string plain;
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (line[i] != '\x1b') plain += line[i];
      else while (i < line.size() && line[i] != 'm') ++i;
    }
    check(displayWidth(plain) <= options.width);
  }
  check(lines <= *options.height);
  return 0;
}
