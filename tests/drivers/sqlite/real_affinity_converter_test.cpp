#include "drivers/sqlite/real_affinity_converter.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace tabvora::internal {
namespace {

// Decimals a CSV file may hold: the awkward ones, random ones of 1 to 19 significant digits
// with and without exponents, and many short ones.
std::vector<std::string> decimals() {
  std::vector<std::string> texts = {"0.1", "79.19", "1e5", "1.e5", ".5", "-.5", "+2.5", "1E+2", "-0.0", "0.000",
                                    "1e-400", "4.9e-324", "2.2250738585072011e-308", "1.7976931348623157e308",
                                    "0.30000000000000004", "9007199254740993.0", "123456789012345678901234.5",
                                    "0." + std::string(300, '0') + "1", std::string(400, '9') + ".5"};
  std::mt19937_64 random(23);
  for (int i = 0; i < 5000; ++i) {
    std::string digits = std::to_string(random() % 10'000'000'000'000'000'000ULL / (1ULL << (random() % 60)));
    const std::size_t point = random() % (digits.size() + 1);
    std::string text = (random() % 4 == 0 ? "-" : "") + digits.substr(0, point) + "." + digits.substr(point);
    if (i % 3 == 0) text += "e" + std::to_string(static_cast<int>(random() % 80) - 40);
    texts.push_back(text);
  }
  // Short decimals (at most 15 digits, 3 after the point), which may skip the CAST.
  for (int i = 0; i < 20000; ++i) {
    std::string digits = std::to_string(random() % 1'000'000'000'000'000ULL / (1ULL << (random() % 50)));
    digits.insert(digits.size() - std::min<std::size_t>(digits.size(), 1 + random() % 3), ".");
    texts.push_back((i % 2 == 0 ? "-" : "") + digits);
  }
  return texts;
}

// A REAL column stores the converted number exactly as it stores the text: same type, same bits.
TEST(RealAffinityConverterTest, NumbersStoreAsTheTextsStore) {
  const std::vector<std::string> texts = decimals();
  const std::vector<std::string_view> views(texts.begin(), texts.end());
  std::vector<double> values(views.size());
  RealAffinityConverter converter;
  ASSERT_TRUE(converter.convert(views, values));

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE t (text REAL, number REAL)", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?)", -1, &insert, nullptr);
  for (std::size_t i = 0; i < views.size(); ++i) {
    sqlite3_bind_text(insert, 1, views[i].data(), static_cast<int>(views[i].size()), SQLITE_STATIC);
    sqlite3_bind_double(insert, 2, values[i]);
    ASSERT_EQ(sqlite3_step(insert), SQLITE_DONE);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_stmt* read = nullptr;
  sqlite3_prepare_v2(db, "SELECT typeof(text), typeof(number), text, number FROM t ORDER BY rowid", -1, &read, nullptr);
  for (std::size_t i = 0; sqlite3_step(read) == SQLITE_ROW; ++i) {
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(read, 0)), "real") << texts[i];
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(read, 1)), "real") << texts[i];
    EXPECT_EQ(std::bit_cast<std::uint64_t>(sqlite3_column_double(read, 2)),
              std::bit_cast<std::uint64_t>(sqlite3_column_double(read, 3)))
        << texts[i];
  }
  sqlite3_finalize(read);
  sqlite3_close(db);
}

}  // namespace
}  // namespace tabvora::internal
