// The model's values and names, mostly as case tables: cell values (their text forms,
// parsing, ordering and identity; cell_value.cases), column types (inference from text and
// SQL literals; column_type.cases), and table, column and format names from file names and
// headers (table_naming.cases).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <unordered_set>
#include <vector>

#include <nlohmann/json.hpp>

#include "model/cell_value.hpp"
#include "model/column_type.hpp"
#include "model/database_format.hpp"
#include "model/table_naming.hpp"
#include "support/case_file.hpp"

namespace tabvora::internal {
namespace {

constexpr const char* kKinds[] = {"integer", "real", "text", "boolean", "date", "blob", "json", "null"};

// A value written <kind>:<text>.
CellValue valueOf(const std::string& written) {
  const std::string kind = written.substr(0, written.find(':')), text = written.substr(written.find(':') + 1);
  if (kind == "integer") return CellValue::integer(std::stoll(text));
  if (kind == "real") return CellValue::real(std::strtod(text.c_str(), nullptr));
  if (kind == "boolean") return CellValue::boolean(text == "true");
  if (kind == "date") return CellValue::date(Date{std::strtod(text.c_str(), nullptr)});
  if (kind == "text") return CellValue::text(text);
  if (kind == "json") return CellValue::json(text);
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) bytes.push_back(static_cast<std::uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
  return kind == "blob" ? CellValue::blob(bytes) : CellValue::null();
}

std::string written(const CellValue& value) {
  return std::string(kKinds[static_cast<int>(value.kind())]) + ":" + value.rawValueString();
}

TEST(CellValue, FormsParsingAndOrderOfTheCaseTable) {
  for (const testing::TextCase& c : testing::readTextCases("model/cell_value.cases")) {
    if (c.word(0) == "forms") {
      const CellValue value = valueOf(c.input.at(0));
      EXPECT_EQ((std::vector<std::string>{value.displayString(), value.rawValueString(), value.csvEscaped()}), c.expected)
          << c.where;
    } else if (c.word(0) == "json") {
      EXPECT_EQ(valueOf(c.input.at(0)).jsonObject().dump(), c.expected.at(0)) << c.where;
    } else if (c.word(0) == "parse") {
      const CellValue value = CellValue::parse(c.input.at(0), *ColumnType::fromRawValue(c.word(1)));
      EXPECT_EQ(written(value), c.expected.at(0)) << c.where;
    } else {
      EXPECT_EQ(valueOf(c.input.at(0)) < valueOf(c.input.at(1)), c.expected.at(0) == "true") << c.where;
    }
  }
}

TEST(CellValue, FormsTheTableCannotHold) {
  EXPECT_EQ(CellValue::blob(Bytes(1500)).displayString(), "BLOB [2 KB]");
  for (ColumnType type : ColumnType::allCases) EXPECT_TRUE(CellValue::parse(" nUlL\n", type).isNull()) << type.rawValue();
  EXPECT_TRUE(std::isnan(CellValue::parse("nan", ColumnType::real).realValue()));
  EXPECT_TRUE(CellValue::integer(1) <= CellValue::integer(1));
  EXPECT_TRUE(CellValue::integer(2) > CellValue::null());
}

TEST(CellValue, JSONObjectParsesOnlyObjectsAndArrays) {
  EXPECT_TRUE(CellValue::json(std::string(100000, '[')).jsonObject().is_string());
  const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_TRUE(CellValue::json(nested(512)).jsonObject().is_array());
  EXPECT_TRUE(CellValue::json(nested(513)).jsonObject().is_string());
  // Brackets inside strings, escaped quotes included, do not nest.
  EXPECT_TRUE(CellValue::json("[\"\\\"" + std::string(600, '[') + "\"]").jsonObject().is_array());
}

TEST(CellValue, EqualityNeedsTheSameKind) {
  EXPECT_NE(CellValue::integer(1), CellValue::real(1.0));
  EXPECT_NE(CellValue::text("x"), CellValue::json("x"));
  EXPECT_EQ(CellValue::null(), CellValue());
  EXPECT_EQ(CellValue::real(0.0), CellValue::real(-0.0));
  EXPECT_EQ(CellValue::real(0.0).hash(), CellValue::real(-0.0).hash());
  EXPECT_NE(CellValue::integer(1).hash(), CellValue::boolean(true).hash());
  std::unordered_set<CellValue> set{CellValue::integer(1), CellValue::real(1.0), CellValue::text("1"),
                                    CellValue::json("1"), CellValue::integer(1)};
  EXPECT_EQ(set.size(), 4u);
  EXPECT_EQ(CellValue::integer(3).numericValue(), 3.0);
  EXPECT_FALSE(CellValue::text("3").numericValue().has_value());
  EXPECT_FALSE(CellValue::boolean(true).isNumeric());
}

std::string nameOf(std::optional<ColumnType> type) { return type ? std::string(type->rawValue()) : "none"; }

TEST(ColumnType, InferenceAndLiteralsOfTheCaseTable) {
  for (const testing::TextCase& c : testing::readTextCases("model/column_type.cases")) {
    const std::string& expected = c.expected.at(0);
    if (c.word(0) == "infer") {
      EXPECT_EQ(nameOf(ColumnType::infer(c.input.at(0))), expected) << c.where;
    }
    if (c.word(0) == "numeric") {
      EXPECT_EQ(nameOf(numericLiteralType(c.input.at(0))), expected) << c.where;
    }
    if (c.word(0) == "column") {
      EXPECT_EQ(nameOf(ColumnType::inferColumn(c.input)), expected) << c.where;
    }
    if (c.word(0) == "literal") {
      EXPECT_EQ(ColumnType(*ColumnType::fromRawValue(c.word(1))).sqlLiteral(c.input.at(0)), expected) << c.where;
    }
  }
  const std::vector<std::string_view> views{"3", "4.0"};
  EXPECT_EQ(ColumnType::inferColumn(views), ColumnType::real);
  EXPECT_FALSE(ColumnType::fromRawValue("integer").has_value());  // names are case-sensitive
}

TEST(TableNaming, CasesOfTheTable) {
  for (const testing::TextCase& c : testing::readTextCases("model/table_naming.cases")) {
    if (c.word(0) == "format") {
      const DatabaseFormat format = DatabaseFormat::fromURL(c.input.at(0));
      EXPECT_EQ((std::vector<std::string>{std::string(format.rawValue()), DatabaseFormat::lowerCasedExtension(c.input.at(0))}),
                c.expected)
          << c.where;
      continue;
    }
    if (c.word(0) == "staged") {
      EXPECT_EQ(stagedTableName(c.input.at(0), c.word(1), c.word(2) != "unguarded"), c.expected.at(0)) << c.where;
      continue;
    }
    ColumnNamer namer(c.word(1) != "untrimmed");
    std::vector<std::string> names;
    for (std::size_t i = 0; i < c.input.size(); ++i) names.push_back(namer.accept(c.input[i], i + 1));
    EXPECT_EQ(names, c.expected) << c.where;
  }
}

TEST(TableNaming, ThousandsOfDuplicatesKeepCounting) {
  ColumnNamer namer;
  std::string last;
  for (std::size_t i = 1; i <= 20000; ++i) last = namer.accept(i % 2 ? "name" : "NAME", i);
  EXPECT_EQ(last, "NAME_19999");
}

}  // namespace
}  // namespace tabvora::internal
