// The fast paths of the statistics pass against the plain ones they stand for: number texts
// against CellValue's display text, the ASCII collation shortcut against the collator, and
// values added a block of rows at a time against values added one by one.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "model/ascii_collation.hpp"
#include "model/column_statistics.hpp"
#include "model/number_text.hpp"
#include "platform/localized_text.hpp"

namespace tabvora::internal {
namespace {

TEST(NumberTextTest, WritesTheDisplayTextOfEveryNumber) {
  std::vector<double> reals = {0.0, -0.0, 1.0, -1.0, 0.1, 2.5, 1e-4, 9.99e-5, 1e15, 999999999999999.0, -1e15,
                               1e308, 5e-324, 123.456, std::nan(""), std::numeric_limits<double>::infinity(),
                               -std::numeric_limits<double>::infinity(), 4503599627370496.5, 0.30000000000000004};
  std::vector<std::int64_t> integers = {0, -1, 1, std::numeric_limits<std::int64_t>::min(),
                                        std::numeric_limits<std::int64_t>::max()};
  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    reals.push_back(std::bit_cast<double>(random()));
    reals.push_back(static_cast<double>(static_cast<std::int64_t>(random() % 2000001) - 1000000) / 100);
    integers.push_back(static_cast<std::int64_t>(random()) >> (random() % 64));
  }
  NumberText text;
  for (double value : reals) EXPECT_EQ(text.real(value), CellValue::real(value).displayString()) << value;
  for (std::int64_t value : integers) EXPECT_EQ(text.integer(value), CellValue::integer(value).displayString());
}

// Where the shortcut answers, the collator answers the same; and it answers most ASCII pairs.
TEST(AsciiCollationTest, AgreesWithTheCollator) {
  const std::string alphabet = "aAbBzZ09 1-_.,~!@^\x01";
  std::mt19937 random(11);
  std::vector<std::string> texts = {"", "a", "A", "é", "a\x01", "01", "1", "001a", "1a", std::string(120, '9')};
  for (int i = 0; i < 1500; ++i) {
    std::string text;
    for (std::size_t n = random() % 7; n > 0; --n) text += alphabet[random() % alphabet.size()];
    texts.push_back(text);
  }
  std::size_t decided = 0;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    for (std::size_t j = i % 7; j < texts.size(); j += 7) {
      const int quick = AsciiCollation::compare(texts[i], texts[j]);
      const int full = localizedStandardCompare(texts[i], texts[j]);
      if (quick != 0) {
        ++decided;
        EXPECT_EQ(quick, (full > 0) - (full < 0)) << '"' << texts[i] << "\" vs \"" << texts[j] << '"';
      }
      EXPECT_EQ(standardTextCompare(texts[i], texts[j]), full);
    }
  }
  EXPECT_GT(decided, texts.size() * texts.size() / 7 / 2);
}

// A row of CellValues read through RowView, as the statistics pass reads staged rows.
class ValuesRow final : public RowView {
 public:
  explicit ValuesRow(const std::vector<CellValue>& values) : values_(values) {}
  std::size_t size() const override { return values_.size(); }
  CellValue::Kind kind(std::size_t column) const override {
    return column < values_.size() ? values_[column].kind() : CellValue::Kind::null;
  }
  std::int64_t integer(std::size_t column) const override { return values_[column].integerValue(); }
  double real(std::size_t column) const override { return values_[column].realValue(); }
  std::string_view bytes(std::size_t column) const override {
    const CellValue& value = values_[column];
    if (value.kind() == CellValue::Kind::text) return value.stringValue();
    const Bytes& bytes = value.blobValue();
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }

 private:
  const std::vector<CellValue>& values_;
};

struct Rows {
  const std::vector<std::vector<CellValue>>& rows;
  std::size_t first;
  std::size_t end;
  template <typename Body>
  void forEachRow(Body&& body) const {
    for (std::size_t r = first; r < end; ++r) body(ValuesRow(rows[r]));
  }
};

// Ties, 1 beside 1.0 and the text "1", nulls, blobs and mixed kinds; with room to count
// exactly, and with so little that counting turns to estimates and the median thins.
TEST(StatisticsPassTest, BlocksOfRowsGiveWhatValuesOneByOneGive) {
  using C = CellValue;
  const std::vector<CellValue> pool = {C::integer(1), C::real(1.0),  C::text("1"),   C::real(2.5),   C::text("b10"),
                                       C::text("B9"), C::text("b9"), C::text("é"),   C::blob({1, 2}), C::integer(-7),
                                       C::null(),     C::real(-0.0), C::integer(0), C::text(""),     C::real(1e300)};
  std::mt19937 random(3);
  for (const bool textOnly : {false, true}) {
    std::vector<std::vector<CellValue>> rows;
    for (int i = 0; i < 12000; ++i) {  // past the numbers a column remembers texts after
      const CellValue& value = pool[random() % pool.size()];
      const bool fresh = random() % 3 == 0;
      if (textOnly) {
        rows.push_back({C::null(), fresh ? C::text("w" + std::to_string(i)) : C::text("x" + std::to_string(i % 9))});
      } else {
        rows.push_back({C::null(), fresh ? C::integer(i) : value});
      }
    }
    for (const std::size_t distinctBytes : {DistinctCounter::kExactBytes, std::size_t{2000}}) {
      DataColumn column;
      column.index = 1;
      StatisticsAccumulator oneByOne(column, distinctBytes, 64);
      StatisticsAccumulator inBlocks(column, distinctBytes, 64);
      for (const auto& row : rows) oneByOne.add(row[1]);
      for (std::size_t first = 0; first < rows.size(); first += 37) {
        inBlocks.addColumn(Rows{rows, first, std::min(first + 37, rows.size())}, 1);
      }
      EXPECT_EQ(inBlocks.result(), oneByOne.result()) << textOnly << distinctBytes;
      EXPECT_EQ(inBlocks.finish(), oneByOne.result()) << textOnly << distinctBytes;
    }
  }
}

// The median chosen in place, across the blocks that hold the numbers, is the one chosen in a
// copy of them.
TEST(StatisticsPassTest, MedianInPlaceAcrossBlocks) {
  std::mt19937_64 random(5);
  for (const std::size_t count : {2 * StatisticsAccumulator::kNumberBlock + 1, 2 * StatisticsAccumulator::kNumberBlock}) {
    DataColumn column;
    StatisticsAccumulator copied(column);
    StatisticsAccumulator inPlace(column);
    for (std::size_t i = 0; i < count; ++i) {
      const CellValue value = CellValue::real(static_cast<double>(random() % 1000003) / 7);
      copied.add(value);
      inPlace.add(value);
    }
    EXPECT_EQ(inPlace.finish(), copied.result()) << count;
  }
}

}  // namespace
}  // namespace tabvora::internal
