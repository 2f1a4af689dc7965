// Text forms, parsing, ordering and identity of cell values.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <unordered_set>

#include <nlohmann/json.hpp>

#include "model/cell_value.hpp"

namespace tabvora {
namespace {

TEST(CellValueText, DisplayRawAndCSVForms) {
  struct Case {
    CellValue value;
    const char *display, *raw, *csv;
  };
  const Case cases[] = {
      {CellValue::integer(-42), "-42", "-42", "-42"},
      {CellValue::integer(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808", "-9223372036854775808",
       "-9223372036854775808"},
      {CellValue::boolean(true), "TRUE", "true", "true"},
      {CellValue::boolean(false), "FALSE", "false", "false"},
      {CellValue::null(), "NULL", "", ""},
      // Reals show whole numbers plainly below 1e15; the raw form is the shortest round trip.
      {CellValue::real(42.0), "42", "42.0", "42.0"},
      {CellValue::real(-0.0), "-0", "-0.0", "-0.0"},
      {CellValue::real(3.25), "3.25", "3.25", "3.25"},
      {CellValue::real(0.1), "0.1", "0.1", "0.1"},
      {CellValue::real(999999999999999.0), "999999999999999", "999999999999999.0", "999999999999999.0"},
      {CellValue::real(1e15), "1e+15", "1e+15", "1e+15"},
      {CellValue::real(1e20), "1e+20", "1e+20", "1e+20"},
      {CellValue::real(1234567890123456.0), "1.234567890123456e+15", "1.234567890123456e+15",
       "1.234567890123456e+15"},
      {CellValue::real(std::nan("")), "NaN", "nan", "nan"},
      {CellValue::real(INFINITY), "Infinity", "inf", "inf"},
      {CellValue::real(-INFINITY), "-Infinity", "-inf", "-inf"},
      {CellValue::date(Date{1705314600}), "2024-01-15T10:30:00.000Z", "1705314600.0", "2024-01-15T10:30:00Z"},
      {CellValue::date(Date{0.25}), "1970-01-01T00:00:00.250Z", "0.25", "1970-01-01T00:00:00Z"},
      {CellValue::blob({'M', 'a', 'n', 0xFF}), "BLOB [4 bytes]", "TWFu/w==", "TWFu/w=="},
      {CellValue::blob({}), "BLOB [Zero KB]", "", ""},
      // CSV quotes only when needed.
      {CellValue::text("plain text"), "plain text", "plain text", "plain text"},
      {CellValue::text("a\"b"), "a\"b", "a\"b", "\"a\"\"b\""},
      {CellValue::text("a,b"), "a,b", "a,b", "\"a,b\""},
      {CellValue::text("line\r"), "line\r", "line\r", "\"line\r\""},
      {CellValue::json("{\"a\":1,\"b\":2}"), "{\"a\":1,\"b\":2}", "{\"a\":1,\"b\":2}",
       "\"{\"\"a\"\":1,\"\"b\"\":2}\""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.value.displayString(), c.display) << c.raw;
    EXPECT_EQ(c.value.rawValueString(), c.raw) << c.display;
    EXPECT_EQ(c.value.csvEscaped(), c.csv) << c.display;
  }
  EXPECT_EQ(CellValue::blob(Bytes(1500)).displayString(), "BLOB [2 KB]");
  EXPECT_TRUE(CellValue::null().jsonObject().is_null());
  EXPECT_EQ(CellValue::real(2.5).jsonObject(), nlohmann::json(2.5));
  EXPECT_EQ(CellValue::date(Date{1705314600}).jsonObject(), nlohmann::json("2024-01-15T10:30:00Z"));
  EXPECT_EQ(CellValue::blob({'M', 'a', 'n', 0xFF}).jsonObject(), nlohmann::json("TWFu/w=="));
}

TEST(CellValueText, JSONObjectParsesOnlyObjectsAndArrays) {
  EXPECT_EQ(CellValue::json("{\"a\": [1, 2]}").jsonObject(), nlohmann::json::parse("{\"a\":[1,2]}"));
  EXPECT_EQ(CellValue::json("[true]").jsonObject(), nlohmann::json::parse("[true]"));
  EXPECT_EQ(CellValue::json("42").jsonObject(), nlohmann::json("42"));
  EXPECT_EQ(CellValue::json("{broken").jsonObject(), nlohmann::json("{broken"));
  EXPECT_EQ(CellValue::text("{\"a\":1}").jsonObject(), nlohmann::json("{\"a\":1}"));
  EXPECT_EQ(CellValue::text("Caf\xE9").jsonObject().dump(), "\"Caf\uFFFD\"");  // serialisable
  EXPECT_EQ(CellValue::json("[\"\xE9\"]").jsonObject(), nlohmann::json("[\"\uFFFD\"]"));
  EXPECT_TRUE(CellValue::json(std::string(100000, '[')).jsonObject().is_string());
  const auto nested = [](int depth) { return std::string(depth, '[') + std::string(depth, ']'); };
  EXPECT_TRUE(CellValue::json(nested(512)).jsonObject().is_array());
  EXPECT_TRUE(CellValue::json(nested(513)).jsonObject().is_string());
  // Brackets inside strings, escaped quotes included, do not nest.
  EXPECT_TRUE(CellValue::json("[\"\\\"" + std::string(600, '[') + "\"]").jsonObject().is_array());
}

TEST(CellValueParse, NullSpellingsAndBlankInput) {
  for (ColumnType type : ColumnType::allCases) {
    EXPECT_TRUE(CellValue::parse(" nUlL\n", type).isNull()) << type.rawValue();
  }
  EXPECT_EQ(CellValue::parse("", ColumnType::text), CellValue::text(""));
  EXPECT_EQ(CellValue::parse("   ", ColumnType::text), CellValue::text("   "));
  EXPECT_TRUE(CellValue::parse("   ", ColumnType::integer).isNull());
  EXPECT_TRUE(CellValue::parse("x", ColumnType::null).isNull());
}

// Numbers fall back to the untrimmed text.
TEST(CellValueParse, EachTargetType) {
  const std::tuple<const char*, ColumnType::Value, CellValue> cases[] = {
      {" 12 ", ColumnType::integer, CellValue::integer(12)},
      {"+7", ColumnType::integer, CellValue::integer(7)},
      {"12abc ", ColumnType::integer, CellValue::text("12abc ")},
      {"9223372036854775808", ColumnType::integer, CellValue::text("9223372036854775808")},
      {"1.5", ColumnType::integer, CellValue::text("1.5")},
      {" 2.5e1", ColumnType::real, CellValue::real(25)},
      {"0x1p3", ColumnType::real, CellValue::real(8)},
      {"-inf", ColumnType::real, CellValue::real(-INFINITY)},
      {"1,5", ColumnType::real, CellValue::text("1,5")},
      {"T", ColumnType::boolean, CellValue::boolean(true)},
      {" 1 ", ColumnType::boolean, CellValue::boolean(true)},
      {"yes", ColumnType::boolean, CellValue::boolean(false)},
      {" {x ", ColumnType::json, CellValue::json(" {x ")},
      {"2024-01-15", ColumnType::date, CellValue::text("2024-01-15")},
      {" b ", ColumnType::unknown, CellValue::text(" b ")},
  };
  for (const auto& [text, type, value] : cases) EXPECT_EQ(CellValue::parse(text, type), value) << text;
  EXPECT_TRUE(std::isnan(CellValue::parse("nan", ColumnType::real).realValue()));
}

TEST(CellValueOrder, NullsFirstThenByKind) {
  const std::tuple<CellValue, CellValue, bool> cases[] = {
      {CellValue::null(), CellValue::integer(-5), true},
      {CellValue::null(), CellValue::null(), false},
      {CellValue::text(""), CellValue::null(), false},
      {CellValue::integer(2), CellValue::real(2.5), true},
      {CellValue::real(-1.5), CellValue::integer(-1), true},
      {CellValue::integer(9007199254740992), CellValue::integer(9007199254740993), true},
      {CellValue::text("file9"), CellValue::text("file10"), true},
      {CellValue::text("B"), CellValue::text("a"), false},
      {CellValue::boolean(false), CellValue::boolean(true), true},
      {CellValue::date(Date{-1}), CellValue::date(Date{0}), true},
      {CellValue::json("B"), CellValue::json("a"), true},               // plain code point order
      {CellValue::json("\u00E9"), CellValue::json("e\u0301"), false},  // canonically equal
      // Mixed kinds compare their display texts: "10" against "9" by number.
      {CellValue::text("9"), CellValue::integer(10), true},
      {CellValue::blob({1}), CellValue::text("c"), true},
  };
  for (const auto& [a, b, less] : cases) EXPECT_EQ(a < b, less) << a.displayString() << " < " << b.displayString();
  EXPECT_TRUE(CellValue::integer(1) <= CellValue::integer(1));
  EXPECT_TRUE(CellValue::integer(2) > CellValue::null());
}

TEST(CellValueIdentity, EqualityNeedsTheSameKind) {
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

}  // namespace
}  // namespace tabvora
