// The golden corpus: every file under tests/data/<format>/ read through the public API and
// compared with the text beside it (<file>.expected): its format, warnings, tables, each
// table's columns and its rows as CSV (text quoted, numbers bare, NULL unquoted), or the
// error the open gives. Small files are kept many to a file instead, as cases of
// tests/data/<format>/*.cases (see tests/support/case_file.hpp): a file name, the file's
// bytes, "----" and what it reads as. TABVORA_UPDATE_EXPECTED=1 rewrites the texts for review.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "support/case_file.hpp"
#include "support/test_support.hpp"
#include "tabvora/tabvora.hpp"

namespace tabvora::internal {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFormats[] = {"delimited", "json", "parquet", "spreadsheet", "sqlite", "sqlscript"};
// Tables of more rows show the first kHead and the last kTail.
constexpr std::int64_t kHead = 40, kTail = 10;
// Longer texts show their start, their size and a hash of the whole.
constexpr std::size_t kMaxTextBytes = 100;

// Every data file of the corpus (or every file of cases), relative to tests/data, in order.
std::vector<std::string> corpusFiles(bool cases) {
  std::vector<std::string> files;
  for (const char* format : kFormats) {
    for (const auto& entry : fs::directory_iterator(testing::testData(format))) {
      const std::string name = entry.path().filename().string();
      const std::string extension = entry.path().extension().string();
      const bool data = extension != ".expected" && extension != ".cjs" && extension != ".py";
      if (entry.is_regular_file() && data && (extension == ".cases") == cases)
        files.push_back(std::string(format) + "/" + name);
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

using testing::escapeText;

std::string quotedText(std::string_view text) {
  std::string out = "\"";
  std::size_t cut = std::min(text.size(), kMaxTextBytes);
  while (cut < text.size() && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  for (const char c : escapeText(text.substr(0, cut), false)) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  out += '"';
  if (cut < text.size()) {
    std::uint32_t hash = 2166136261u;  // FNV-1a
    for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", hash);
    out += "...[" + std::to_string(text.size()) + " bytes, hash " + digits + "]";
  }
  return out;
}

// A cell as its kind shows it: 1 is an integer, 1.0 a real, "1" text.
std::string cell(const Value& value) {
  switch (value.kind) {
    case Value::Kind::null: return "NULL";
    case Value::Kind::integer: return std::to_string(std::get<std::int64_t>(value.data));
    case Value::Kind::real: {
      const double v = std::get<double>(value.data);
      if (v != v || v - v != 0) return value.text;  // NaN, Infinity
      char buffer[64];
      std::string text(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
      if (text.find_first_of(".e") == std::string::npos) text += ".0";
      return text;
    }
    case Value::Kind::text: return quotedText(std::get<std::string>(value.data));
    case Value::Kind::blob: {
      std::string hex = "x'";
      for (const std::uint8_t byte : std::get<Value::Bytes>(value.data)) {
        if (hex.size() == 66) return hex + "...' [" + value.text + "]";
        const char digits[] = "0123456789ABCDEF";
        hex += {digits[byte >> 4], digits[byte & 15]};
      }
      return hex + "'";
    }
    default: return "<" + value.text + ">";  // booleans, dates and JSON documents
  }
}

std::string count(const std::optional<std::int64_t>& n) { return n ? std::to_string(*n) : "?"; }

std::string errorLine(const Error& error) {
  return "error: " + error.domain() + " " + std::to_string(error.code()) + ": " + escapeText(error.message()) + "\n";
}

std::string rowLines(const Rows& rows) {
  std::string out;
  for (const auto& row : rows.rows) {
    out += "  ";
    for (std::size_t i = 0; i < row.size(); ++i) out += (i ? "," : "") + cell(row[i]);
    out += "\n";
  }
  return out;
}

// Each column with the type a page gives it, and the type its table declares where that
// says more ("DATETIME", "JSON", "VARCHAR(20)").
std::string columnLines(Document& document, const std::string& table, const std::vector<Column>& columns) {
  std::string name;
  for (const char c : table) name += c == '"' ? std::string("\"\"") : std::string(1, c);
  const Rows declared = document.query("PRAGMA table_info(\"" + name + "\")", Document::kMaxRows);
  std::string out;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    out += "  column " + escapeText(columns[i].name) + " " + columns[i].type;
    const std::string type = i < declared.rows.size() ? declared.rows[i].at(2).text : "";
    if (!type.empty() && type != columns[i].type) out += " (declared " + escapeText(type) + ")";
    out += "\n";
  }
  return out;
}

// What a user of the API gets from the file, as the .expected texts hold it.
std::string describe(const fs::path& file) {
  std::string out;
  try {
    Document document = Document::open(file);
    out += "format: " + document.format() + "\n";
    for (const std::string& warning : document.warnings()) out += "warning: " + escapeText(warning) + "\n";
    for (const TableInfo& table : document.tables()) {
      out += "\ntable: " + escapeText(table.name) + " (" + table.kind + ", " + count(table.rowCount) + " rows, " +
             count(table.columnCount) + " columns)\n";
      if (table.unreadableReason) {
        out += "  unreadable: " + escapeText(*table.unreadableReason) + "\n";
        continue;
      }
      try {
        const Rows head = document.page(table.name, kHead + kTail);
        out += columnLines(document, table.name, head.columns);
        out += "rows: " + std::to_string(head.totalRowCount) + "\n";
        if (head.totalRowCount <= kHead + kTail) {
          out += rowLines(head);
          continue;
        }
        Rows first = head;
        first.rows.resize(kHead);
        out += rowLines(first) + "  ...\n" + rowLines(document.page(table.name, kTail, head.totalRowCount - kTail));
      } catch (const Error& error) {
        out += "  " + errorLine(error);
      }
    }
  } catch (const Error& error) {
    out += errorLine(error);
  }
  return out;
}

class GoldenFile : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenFile, ReadsAsExpected) {
  const fs::path file = testing::testData(GetParam());
  if (file.extension() == ".parquet") {
    // Rows of a Parquet file come from DuckDB: the engine the set-up installs, never another.
    const fs::path engine = TABVORA_DUCKDB_ENGINE;
    if (::access(engine.c_str(), X_OK) != 0) GTEST_SKIP() << "no DuckDB engine at " << engine;
    preferDuckDBAt(engine);
  }
  const std::string actual = describe(file);
  const fs::path expectedFile = file.string() + ".expected";
  if (testing::updatingExpected()) {
    testing::writeFile(expectedFile, actual);
    return;
  }
  ASSERT_TRUE(fs::exists(expectedFile)) << "no " << expectedFile << " (TABVORA_UPDATE_EXPECTED=1 writes it)";
  EXPECT_EQ(actual, testing::readFile(expectedFile));
}

std::string testName(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param;
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Corpus, GoldenFile, ::testing::ValuesIn(corpusFiles(false)), testName);

class GoldenCases : public ::testing::TestWithParam<std::string> {};

TEST_P(GoldenCases, ReadAsExpected) {
  const std::string relative = "data/" + GetParam();
  std::vector<std::vector<std::string>> found;
  for (const testing::TextCase& c : testing::readTextCases(relative)) {
    testing::TempDir dir;
    found.push_back(testing::linesOf(describe(dir.write(c.word(0), c.joinedInput()))));
    if (!testing::updatingExpected()) {
      EXPECT_EQ(found.back(), c.expected) << c.where;
    }
  }
  if (testing::updatingExpected()) testing::rewriteExpected(relative, found);
}

INSTANTIATE_TEST_SUITE_P(Corpus, GoldenCases, ::testing::ValuesIn(corpusFiles(true)), testName);

}  // namespace
}  // namespace tabvora::internal
