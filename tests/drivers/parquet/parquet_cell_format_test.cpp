#include "drivers/parquet/parquet_cell_format.hpp"

#include <gtest/gtest.h>

#include "drivers/parquet/parquet_value_decoder.hpp"
#include "platform/double_format.hpp"
#include "platform/text_arena.hpp"
#include "support/case_file.hpp"

namespace tabvora::internal {
namespace {

// The schema element a case's words describe: a physical type, its length, and an
// annotation ("decimal:S", "time:UNIT:utc|local", "timestamp:...", "uint", "string",
// "uuid", "float16", "converted:N" or "-").
ParquetMetadata::SchemaElement elementOf(const testing::TextCase& c) {
  static const std::vector<std::string> kPhysical = {"BOOLEAN", "INT32",  "INT64",      "INT96",
                                                     "FLOAT",   "DOUBLE", "BYTE_ARRAY", "FIXED_LEN_BYTE_ARRAY"};
  ParquetMetadata::SchemaElement element;
  element.name = "c";
  element.type = static_cast<std::int32_t>(std::find(kPhysical.begin(), kPhysical.end(), c.word(0)) - kPhysical.begin());
  element.typeLength = std::stoi(c.word(1));
  const std::string annotation = c.word(2);
  ParquetMetadata::LogicalType& logical = element.logicalType;
  const auto part = [&](std::size_t i) {
    std::size_t start = 0;
    for (std::size_t k = 0; k < i; ++k) start = annotation.find(':', start) + 1;
    return annotation.substr(start, annotation.find(':', start) - start);
  };
  if (part(0) == "decimal") logical = {parquet_logical::kDecimal, std::stoi(part(1))};
  if (part(0) == "time" || part(0) == "timestamp") {
    logical.kind = part(0) == "time" ? parquet_logical::kTime : parquet_logical::kTimestamp;
    logical.unit = static_cast<std::int16_t>(std::stoi(part(1)));
    logical.adjustedToUTC = part(2) == "utc";
  }
  if (part(0) == "uint") logical = {.kind = parquet_logical::kInteger, .bitWidth = 64, .isSigned = false};
  if (part(0) == "string") logical.kind = parquet_logical::kString;
  if (part(0) == "uuid") logical.kind = parquet_logical::kUuid;
  if (part(0) == "float16") logical.kind = parquet_logical::kFloat16;
  if (part(0) == "converted") element.convertedType = std::stoi(part(1));
  return element;
}

// Each value (its PLAIN bytes) staged as a cell and written as JSON inside a nested value
// (drivers/parquet/parquet_cell_format.cases).
TEST(ParquetCellFormatTest, ValuesStageAsDuckDBPrintsThem) {
  std::vector<std::vector<std::string>> found;
  for (const testing::TextCase& c : testing::readTextCases("drivers/parquet/parquet_cell_format.cases")) {
    std::vector<std::string>& lines = found.emplace_back();
    const ParquetMetadata::SchemaElement element = elementOf(c);
    try {
      const ParquetCellFormat format(element);
      const ParquetValueDecoder::Physical physical{*element.type, element.typeLength};
      // The case's values together, formatted as a column with a null before each: the same
      // cells as one at a time.
      ParquetValues all;
      all.form = ParquetValueDecoder::formOf(physical);
      DecodeBudget budget(1 << 20);
      for (const std::string& input : c.input)
        ParquetValueDecoder::decode(0, physical, {reinterpret_cast<const std::uint8_t*>(input.data()), input.size()}, 1,
                                    1, nullptr, all, budget);
      std::vector<std::uint8_t> levels;
      for (std::size_t i = 0; i < all.size(); ++i) levels.insert(levels.end(), {0, 1});
      std::vector<ParquetCellFormat::Cell> column(levels.size());
      TextArena arena;
      std::size_t next = 0;
      format.fillCells(all, levels.data(), 1, next, levels.size(), column.data(), 1, arena);
      EXPECT_EQ(next, all.size()) << c.where;
      for (const std::string& input : c.input) {
        ParquetValues values;
        values.form = ParquetValueDecoder::formOf(physical);
        ParquetValueDecoder::decode(0, physical, {reinterpret_cast<const std::uint8_t*>(input.data()), input.size()},
                                    1, 1, nullptr, values, budget);
        std::string scratch, json;
        const ParquetCellFormat::Cell cell = format.cell(values, 0, scratch);
        const std::size_t slot = 2 * lines.size();
        EXPECT_EQ(column[slot].kind, ParquetCellFormat::Kind::null) << c.where;
        EXPECT_EQ(column[slot + 1].kind, cell.kind) << c.where;
        EXPECT_EQ(column[slot + 1].text, cell.text) << c.where;
        EXPECT_EQ(column[slot + 1].integer, cell.integer) << c.where;
        EXPECT_TRUE(column[slot + 1].real == cell.real || cell.real != cell.real) << c.where;
        EXPECT_LE(format.textBytesAtMost(all, lines.size(), 1), 0u + 4 * input.size() + 96) << c.where;
        EXPECT_GE(format.textBytesAtMost(all, lines.size(), 1), cell.text.size()) << c.where;
        static const char* kKinds[] = {"null", "boolean", "integer", "real", "text", "json"};
        std::string line = kKinds[static_cast<int>(cell.kind)];
        if (cell.kind == ParquetCellFormat::Kind::real) line += " " + shortestDoubleText(cell.real);
        else if (cell.kind == ParquetCellFormat::Kind::text) line += " " + std::string(cell.text);
        else if (cell.kind != ParquetCellFormat::Kind::null) line += " " + std::to_string(cell.integer);
        format.appendJSON(values, 0, json, scratch);
        lines.push_back(line + " | " + json);
      }
    } catch (const DriverError& error) {
      lines.push_back("error " + error.message());
    }
    if (!testing::updatingExpected()) {
      EXPECT_EQ(lines, c.expected) << c.where;
    }
  }
  if (testing::updatingExpected()) testing::rewriteExpected("drivers/parquet/parquet_cell_format.cases", found);
}

}  // namespace
}  // namespace tabvora::internal
