#include "model/column_statistics.hpp"

#include <utility>

#include "platform/unicode_text.hpp"

namespace tabvora {

double ColumnStatistics::nullPercentage() const {
  if (totalCount < 1) return 0;
  return static_cast<double>(nullCount) / static_cast<double>(totalCount) * 100;
}

ColumnStatistics ColumnStatistics::calculate(const DataColumn& column, const std::vector<DataRow>& rows) {
  Accumulator accumulator(column);
  const auto position = static_cast<std::size_t>(column.index);
  for (const DataRow& row : rows) {
    if (column.index >= 0 && position < row.values.size()) {
      accumulator.add(row.values[position]);
    } else {
      accumulator.addMissing();
    }
  }
  return accumulator.result();
}

ColumnStatistics::Accumulator::Accumulator(DataColumn column, std::size_t distinctBytes) : distinct_(distinctBytes) {
  statistics_.column = std::move(column);
}

void ColumnStatistics::Accumulator::addMissing() {
  ++statistics_.totalCount;
  ++statistics_.nullCount;
}

void ColumnStatistics::Accumulator::add(const CellValue& value) {
  if (value.isNull()) {
    addMissing();
    return;
  }
  ++statistics_.totalCount;
  std::string text = value.displayString();
  if (distinct_.add(text) && statistics_.sampleValues.size() < kSampleLimit) {
    if (text.size() > kSampleBytes) text.resize(utf8PrefixLength(text, kSampleBytes));
    statistics_.sampleValues.push_back(std::move(text));
  }
  if (const std::optional<double> number = value.numericValue()) {
    sum_ += *number;
    ++numericCount_;
  }
  // Two separate tests: the mixed-kind ordering need not be transitive, so a value can
  // sort before the minimum and after the maximum at once.
  if (!min_) {
    min_ = value;
    max_ = value;
    return;
  }
  if (value < *min_) min_ = value;
  if (*max_ < value) max_ = value;
}

ColumnStatistics ColumnStatistics::Accumulator::result() const {
  ColumnStatistics statistics = statistics_;
  statistics.distinctCount = distinct_.count();
  statistics.distinctIsEstimate = distinct_.isEstimate();
  if (min_) {
    statistics.min = min_->displayString();
    statistics.max = max_->displayString();
  }
  if (numericCount_ > 0) statistics.average = static_cast<double>(sum_ / static_cast<long double>(numericCount_));
  return statistics;
}

}  // namespace tabvora
