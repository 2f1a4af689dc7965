#include "drivers/sqlscript/copy_data_converter.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drivers/sqlite/sqlite_driver.hpp"

namespace tabvora::internal::SQLDialectNormalizer {
namespace {

using namespace std::string_literals;
using Types = std::vector<std::optional<std::string>>;

std::vector<std::string> batches(std::string_view data, const std::vector<std::string>& columns, const Types& types,
                                 std::size_t batchRows = kCopyBatchRows) {
  std::vector<std::string> sent;
  const bool failed = forEachCopyInsert(data, "t", columns, types, batchRows, [&](const std::string& sql) {
    sent.push_back(sql);
    return true;
  });
  EXPECT_FALSE(failed);
  return sent;
}

TEST(CopyDataConverter, TurnsLinesIntoTypedRows) {
  EXPECT_EQ(batches("1\t\\N\tt\n", {}, {"INTEGER", "TEXT", "BOOLEAN"}),
            (std::vector<std::string>{"INSERT INTO \"t\" VALUES\n('1',NULL,1);"}));

  const std::vector<std::pair<std::string, std::string>> fields = {
      {"\\b\\f\\n\\r\\t\\v\\101\\1010\\x41\\x4G\\\\\\q\\", "'\b\f\n\r\t\vAA0A\x04G\\q\\'"},
      {"a\\Nb", "'aNb'"},
      {"it's \\0", "'it''s '||char(0)||''"},
      {"\xFF\xC3\xA9", "'\xFF\xC3\xA9'"},
  };
  for (const auto& [field, literal] : fields) {
    EXPECT_EQ(batches(field, {"a"}, {}),
              (std::vector<std::string>{"INSERT INTO \"t\" (\"a\") VALUES\n(" + literal + ");"}))
        << field;
  }
  EXPECT_EQ(batches("f\t\\\\x0A0b\t\\\\xABC\tyes\t\\\\x\tt\n", {"b", "x", "y", "z", "e", "s"},
                    {"BOOLEAN", "BLOB", "BLOB", "BOOLEAN", "BLOB"}),
            (std::vector<std::string>{"INSERT INTO \"t\" (\"b\", \"x\", \"y\", \"z\", \"e\", \"s\") VALUES\n"
                                      "(0,X'0A0b','\\xABC','yes',X'','t');"}));
  // Empty lines are rows only when one column is expected; CR LF line ends.
  EXPECT_EQ(batches("a\r\n\r\n\nb", {}, {"TEXT"}),
            (std::vector<std::string>{"INSERT INTO \"t\" VALUES\n('a'),\n(''),\n(''),\n('b');"}));
  EXPECT_EQ(batches("a\r\n\r\n\nb\n", {}, {}), (std::vector<std::string>{"INSERT INTO \"t\" VALUES\n('a'),\n('b');"}));
  EXPECT_TRUE(batches("", {"a"}, {}).empty());
}

TEST(CopyDataConverter, SendsBoundedBatches) {
  std::string lines;
  for (int i = 0; i < 1001; ++i) lines += std::to_string(i) + "\n";
  std::vector<std::string> sent = batches(lines, {}, {});
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(std::count(sent[0].begin(), sent[0].end(), '('), 500);
  EXPECT_EQ(std::count(sent[1].begin(), sent[1].end(), '('), 500);
  EXPECT_EQ(sent[2], "INSERT INTO \"t\" VALUES\n('1000');");

  // A batch closes once its text passes the byte bound.
  const std::string wide(1'000'000, 'x');
  std::string wideLines;
  for (int i = 0; i < 6; ++i) wideLines += wide + "\n";
  sent = batches(wideLines, {}, {});
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_GT(sent[0].size(), kCopyBatchMaxBytes);
  EXPECT_LT(sent[1].size(), 1'000'100u);
}

TEST(CopyDataConverter, FindsColumnTypes) {
  const std::vector<std::pair<std::string, std::string>> rebuilt = {{"Id", "INTEGER"}, {"flag", "BOOLEAN"}};
  EXPECT_EQ(copyColumnTypes(&rebuilt, {}), (Types{"INTEGER", "BOOLEAN"}));
  EXPECT_EQ(copyColumnTypes(&rebuilt, {"FLAG", "other", "id"}), (Types{"BOOLEAN", std::nullopt, "INTEGER"}));
  EXPECT_TRUE(copyColumnTypes(nullptr, {"id"}).empty());
}

TEST(CopyDataConverter, LosesOnlyTheFailingBatch) {
  SQLiteDriver staging;
  staging.openInMemory();
  staging.executeRawSQL("CREATE TABLE t (a INTEGER, b BOOLEAN);");
  // The second batch holds a row of three fields.
  const bool failed = copyToInserts("1\tt\n2\tf\n3\tt\tx\n4\tf\n5\tt\n", "t", {}, {"INTEGER", "BOOLEAN"}, staging, 2);
  EXPECT_TRUE(failed);
  const DataTable table = staging.query("SELECT a, b FROM t ORDER BY a");
  ASSERT_EQ(table.rows.size(), 3u);
  EXPECT_EQ(table.rows[2].values, (std::vector<CellValue>{CellValue::integer(5), CellValue::integer(1)}));
  EXPECT_FALSE(copyToInserts("6\tf\n", "t", {"a", "b"}, {"INTEGER", "BOOLEAN"}, staging));
}

}  // namespace
}  // namespace tabvora::internal::SQLDialectNormalizer
