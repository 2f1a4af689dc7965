#include "model/column_statistics.hpp"

#include <utility>

#include "platform/unicode_text.hpp"

namespace tabvora::internal {

ColumnStatistics calculateStatistics(const DataColumn& column, const std::vector<DataRow>& rows) {
  StatisticsAccumulator accumulator(column);
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

StatisticsAccumulator::StatisticsAccumulator(const DataColumn& column, std::size_t distinctBytes)
    : distinct_(distinctBytes) {
  statistics_.column = Column{column.name, std::string(column.type.rawValue())};
}

void StatisticsAccumulator::addMissing() {
  ++statistics_.totalCount;
  ++statistics_.nullCount;
}

void StatisticsAccumulator::add(const CellValue& value) {
  if (value.isNull()) {
    addMissing();
    return;
  }
  ++statistics_.totalCount;
  std::string text = value.displayString();
  const DistinctCounter::Novelty novelty = distinct_.add(text, static_cast<unsigned>(value.kind()));
  if (novelty.text && statistics_.sampleValues.size() < ColumnStatistics::kSampleLimit) {
    if (text.size() > ColumnStatistics::kSampleBytes)
      text.resize(utf8PrefixLength(text, ColumnStatistics::kSampleBytes));
    statistics_.sampleValues.push_back(std::move(text));
  }
  if (const std::optional<double> number = value.numericValue()) {
    sum_ += *number;
    ++numericCount_;
  }
  // Values of one ordering class (numbers, or one other kind) order transitively, so a value
  // met before (same kind, same text) was already weighed against a minimum and maximum that
  // have only moved outward since: it cannot be either now. Only new values are compared,
  // which matters where comparing text means collating it. The mixed-kind ordering need not
  // be transitive; then every value is compared.
  const int orderingClass = value.isNumeric() ? -1 : static_cast<int>(value.kind());
  if (!min_) {
    min_ = value;
    max_ = value;
    orderingClass_ = orderingClass;
    return;
  }
  if (orderingClass != orderingClass_) mixedOrdering_ = true;
  if (!mixedOrdering_ && !novelty.textOfKind && !distinct_.isEstimate()) return;
  // Two separate tests: a value can sort before the minimum and after the maximum at once
  // when the ordering is not transitive.
  if (value < *min_) min_ = value;
  if (*max_ < value) max_ = value;
}

ColumnStatistics StatisticsAccumulator::result() const {
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

}  // namespace tabvora::internal
