#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/cell_value.hpp"
#include "model/data_column.hpp"
#include "model/data_row.hpp"
#include "model/distinct_counter.hpp"
#include "model/number_text.hpp"
#include "model/row_view.hpp"
#include "tabvora/column_statistics.hpp"

namespace tabvora::internal {

// Statistics of the value at column.index of every row; a row too short for it counts as
// null.
ColumnStatistics calculateStatistics(const DataColumn& column, const std::vector<DataRow>& rows);

// Statistics fed one row's value at a time, so a table can be read row by row without
// being held whole. Memory is bounded: the distinct texts are counted exactly up to
// DistinctCounter's limit and estimated past it; the numbers for the median are held up to
// `medianValues`, then every second one of them and from there on, then every fourth, and
// so on; samples are cut to kSampleBytes.
class StatisticsAccumulator {
 public:
  static constexpr std::size_t kMedianValues = std::size_t{4} << 20;

  // `distinctBytes` bounds the memory of the exact distinct count (see DistinctCounter).
  explicit StatisticsAccumulator(const DataColumn& column, std::size_t distinctBytes = DistinctCounter::kExactBytes,
                                 std::size_t medianValues = kMedianValues);
  void add(const CellValue& value);
  // The value at `column` of a row being read (null past its end), without copying it
  // where the statistics do not keep it.
  void add(const RowView& row, std::size_t column) {
    take(row, column);
    drain();
  }
  // The same for each row of `rows` (anything with forEachRow calling back with a RowView),
  // in order. Values are taken a few rows ahead of adding them, so the memory the distinct
  // count will look at for the later ones is fetched while the earlier ones are added.
  template <typename Rows>
  void addColumn(const Rows& rows, std::size_t column) {
    // The row's own type, so its values are read without a virtual call.
    rows.forEachRow([&](const auto& row) { take(row, column); });
    drain();
  }
  // A row that has no value at the column's position.
  void addMissing();
  ColumnStatistics result() const;
  // The same, as the last call: the numbers kept for the median are put in order where they
  // are instead of in a copy of them.
  ColumnStatistics finish();

  // The numbers kept for the median are held in blocks of this many.
  static constexpr std::size_t kNumberBlock = std::size_t{1} << 16;

 private:
  // A value taken from a row, not yet added; its display text is in `digits` or `owned`, or
  // in the row's own bytes.
  struct Pending {
    CellValue::Kind kind = CellValue::Kind::null;
    std::int64_t integer = 0;
    double real = 0;
    std::string_view bytes;  // of a blob
    std::string_view display;
    std::uint64_t hash = 0;
    NumberText digits;
    std::array<char, 32> remembered;
    std::string owned;
  };
  static constexpr std::size_t kLookahead = 16;
  // The display texts and hashes of numbers met lately, by value: a column of numbers that
  // repeat need not write and hash them again. Kept once a column has many numbers.
  struct NumberMemo {
    std::uint64_t bits = 0;
    std::uint64_t hash = 0;
    std::uint8_t kind = 0;  // CellValue::Kind + 1; 0 when free
    std::uint8_t length = 0;
    std::array<char, 14> text;  // longer texts are not remembered
  };
  static_assert(sizeof(NumberMemo) == 32);
  static constexpr std::size_t kMemoEntries = 1024;
  static constexpr std::uint64_t kMemoAfter = 4096;

  template <typename Row>
  void take(const Row& row, std::size_t column) {
    using Kind = CellValue::Kind;
    const Kind kind = row.kind(column);
    if (kind == Kind::null) {
      addMissing();  // nulls are only counted, so need not wait their turn
      return;
    }
    queue(kind, kind == Kind::integer ? row.integer(column) : 0, kind == Kind::real ? row.real(column) : 0,
          kind == Kind::integer || kind == Kind::real ? std::string_view() : row.bytes(column));
  }
  // A non-null value of a row: its integer, real or bytes, by its kind.
  void queue(CellValue::Kind kind, std::int64_t integer, double real, std::string_view bytes);
  // Sets the display text and hash of a pending integer or real, whose payload is `bits`.
  void describeNumber(Pending& pending, std::uint64_t bits);
  void addPending(const Pending& pending);
  void drain();

  // A non-null value with its display text and that text's DistinctCounter::hashOf; `text` is
  // `value`'s text when `value` is absent.
  void addPresent(const CellValue* value, CellValue::Kind kind, std::string_view display, std::uint64_t hash);
  void addNumber(double number);
  // All of the result but the median.
  ColumnStatistics summary() const;
  double& numberAt(std::size_t index) { return numbers_[index / kNumberBlock][index % kNumberBlock]; }
  // Whether a text value of the same kind as the minimum and maximum moves them.
  void weighText(std::string_view text);

  ColumnStatistics statistics_;
  DistinctCounter distinct_;
  std::optional<CellValue> min_;
  std::optional<CellValue> max_;
  int orderingClass_ = 0;       // of the first value: -1 for numbers, else its kind
  bool mixedOrdering_ = false;  // a value of another class came since
  std::array<Pending, kLookahead> pending_;
  std::size_t pendingFirst_ = 0;
  std::size_t pendingCount_ = 0;
  std::unique_ptr<NumberMemo[]> memo_;
  std::uint64_t numbersQueued_ = 0;
  // Every stride_-th number, for the median; in blocks, so growing never copies them (the
  // first block grows as a vector, so a short column does not take a whole block).
  std::vector<std::vector<double>> numbers_;
  std::size_t numberCount_ = 0;
  std::size_t medianValues_;
  std::uint64_t stride_ = 1;
  std::uint64_t numbersSeen_ = 0;
  // On this platform a long double holds every int64 exactly and a sum of a very large
  // number of finite doubles without overflow, which a double sum would not.
  long double sum_ = 0;
  std::int64_t numericCount_ = 0;
};

}  // namespace tabvora::internal
