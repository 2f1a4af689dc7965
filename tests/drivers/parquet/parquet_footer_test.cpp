#include "drivers/parquet/parquet_footer.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_reader.hpp"
#include "support/test_support.hpp"

namespace tabvora::internal {
namespace {

using testing::bytesOf;

// Thrift compact bytes, written the way Parquet writers write them.
struct Compact {
  enum : int { i32 = 5, i64 = 6, binary = 8, list = 9, structure = 12 };
  std::string bytes;
  int lastId = 0;

  Compact& field(int id, int type) {
    bytes += static_cast<char>((id - lastId) << 4 | type);
    lastId = id;
    return *this;
  }
  Compact& varint(std::uint64_t value) {
    for (; value >= 0x80; value >>= 7) bytes += static_cast<char>(value | 0x80);
    bytes += static_cast<char>(value);
    return *this;
  }
  Compact& integer(std::int64_t value) {
    return varint(static_cast<std::uint64_t>(value) << 1 ^ static_cast<std::uint64_t>(value >> 63));
  }
  Compact& text(std::string_view value) {
    varint(value.size()).bytes += value;
    return *this;
  }
  Compact& listHeader(std::uint64_t size, int type) {
    bytes += static_cast<char>(std::min<std::uint64_t>(size, 15) << 4 | type);
    return size < 15 ? *this : varint(size);
  }
  Compact& stop() {
    bytes += '\0';
    lastId = 0;
    return *this;
  }
};

std::string element(std::string_view name, std::optional<int> type, int children = 0,
                    std::optional<int> converted = std::nullopt) {
  Compact c;
  if (type) c.field(1, Compact::i32).integer(*type);
  c.field(4, Compact::binary).text(name);
  if (children) c.field(5, Compact::i32).integer(children);
  if (converted) c.field(6, Compact::i32).integer(*converted);
  return c.stop().bytes;
}

// FileMetaData: field 1 (the version, or `field1` when given: header and value), the
// schema elements, the row count.
std::string fileMetaData(const std::vector<std::string>& elements, std::int64_t rows, std::string_view field1 = {}) {
  Compact c;
  if (field1.empty()) c.field(1, Compact::i32).integer(1);
  c.bytes += field1;
  c.lastId = 1;
  c.field(2, Compact::list).listHeader(elements.size(), Compact::structure);
  for (const std::string& e : elements) c.bytes += e;
  c.field(3, Compact::i64).integer(rows);
  return c.stop().bytes;
}

std::vector<std::string> listed(const std::optional<ParquetFooter>& footer) {
  std::vector<std::string> out;
  if (footer)
    for (const auto& column : footer->columns) out.push_back(column.name + " " + column.typeName);
  return out;
}

TEST(ParquetFooterTest, ListsTopLevelColumnsOfTheSchemaTree) {
  const std::string bytes = fileMetaData(
      {element("root", std::nullopt, 6), element("a", 2), element("b", std::nullopt, 2), element("c", 1),
       element("d", std::nullopt, 1), element("e", 6, 0, 0), element("tags", std::nullopt, 1, 3),
       element("list", std::nullopt, 1), element("item", 6, 0, 0), element("m", std::nullopt, 1, 1),
       element("key_value", std::nullopt, 2, 2), element("key", 6), element("value", 1), element("f", 42),
       element("g", 1, 0, 2)},
      42);
  const std::optional<ParquetFooter> footer = ParquetFooter::decode(bytesOf(bytes));
  EXPECT_EQ(listed(footer), (std::vector<std::string>{"a INT64", "b STRUCT", "tags LIST", "m MAP", "f UNKNOWN",
                                                     "g INT32"}));
  EXPECT_EQ(footer->rowCount, 42);
}

TEST(ParquetFooterTest, TypeNamesAtTheEdgesOfTheirTables) {
  struct Case {
    std::optional<int> physical, converted;
    const char* name;
  } cases[] = {{7, {}, "FIXED_LEN_BYTE_ARRAY"}, {8, {}, "UNKNOWN"}, {-1, {}, "UNKNOWN"}, {6, 0, "STRING"},
               {2, 10, "TIMESTAMP"}, {6, 19, "JSON"}, {2, 2, "INT64"}, {2, 20, "INT64"}, {2, -1, "INT64"}};
  for (const Case& c : cases) EXPECT_EQ(ParquetFooter::typeName(c.physical, c.converted, false), c.name);
}

// A real footer read from its file, then decoded cut at every byte.
TEST(ParquetFooterTest, RealFooterWholeAndCutAnywhere) {
  const std::filesystem::path path = testing::testData("parquet/duckdb_types_7000.parquet");
  const FileReader file(path);
  const std::optional<ParquetFooter> whole = ParquetFooter::read(file, file.size());
  const std::vector<std::string> columns = {"id INT64",     "i32 INT32",  "dbl DOUBLE",   "name STRING",
                                            "flag BOOLEAN", "day DATE",   "ts TIMESTAMP", "tags LIST",
                                            "pt STRUCT",    "amount DECIMAL"};
  EXPECT_EQ(listed(whole), columns);
  EXPECT_EQ(whole->rowCount, 7000);

  const std::string bytes = testing::readFile(path);
  const std::uint32_t length = static_cast<std::uint8_t>(bytes[bytes.size() - 8]) |
                               static_cast<std::uint8_t>(bytes[bytes.size() - 7]) << 8;
  const std::string footer = bytes.substr(bytes.size() - 8 - length, length);
  for (std::size_t cut = 0; cut < footer.size(); ++cut) {
    const std::optional<ParquetFooter> part = ParquetFooter::decode(bytesOf(footer).first(cut));
    const std::vector<std::string> prefix = listed(part);
    ASSERT_LE(prefix.size(), columns.size()) << cut;
    EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), columns.begin())) << cut;
    EXPECT_TRUE(!part || part->rowCount == 0 || part->rowCount == 7000) << cut;
  }
}

// Each case puts a hostile field 1 before a good schema: the schema is listed only when
// the decoder gets past the field.
TEST(ParquetFooterTest, HostileFieldsStopTheDecoder) {
  const std::vector<std::string> one = {element("root", std::nullopt, 1), element("a", 2)};
  const auto nested = [](std::size_t levels) { return std::string(levels, '\x1C') + std::string(levels, '\0'); };
  struct Case {
    const char* what;
    std::string field1;
    std::size_t columns;
  } cases[] = {
      {"an integer", "\x15\x02", 1},
      {"structs nested 32 levels", nested(32), 1},
      {"structs nested 33 levels", nested(33), 0},
      {"structs nested 10,000 levels", nested(10'000), 0},
      {"unknown type", "\x1D", 0},
      {"a list of 2^31 doubles", Compact().listHeader(1u << 31, 7).bytes.insert(0, "\x19"), 0},
      {"a map of 2^62 entries", Compact().varint(1ull << 62).bytes.insert(0, "\x1B") + "\x55", 0},
      {"a varint of 11 bytes", "\x16" + std::string(11, '\xFF'), 0},
      {"binary longer than the footer", Compact().varint(1u << 31).bytes.insert(0, "\x18"), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(listed(ParquetFooter::decode(bytesOf(fileMetaData(one, 5, c.field1)))).size(), c.columns);
  }
  const std::string hugeSchema = Compact().field(2, Compact::list).listHeader(1u << 31, Compact::structure).bytes;
  EXPECT_FALSE(ParquetFooter::decode(bytesOf(hugeSchema)));
}

}  // namespace
}  // namespace tabvora::internal
