#include "model/column_statistics.hpp"

#include <algorithm>
#include <utility>

#include "platform/localized_text.hpp"

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

StatisticsAccumulator::StatisticsAccumulator(const DataColumn& column, std::size_t distinctBytes,
                                             std::size_t medianValues)
    : distinct_(distinctBytes), medianValues_(std::max<std::size_t>(medianValues, 2)) {
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
  addPresent(&value, value.kind(), value.displayString());
}

void StatisticsAccumulator::add(const RowView& row, std::size_t column) {
  const CellValue::Kind kind = row.kind(column);
  switch (kind) {
    case CellValue::Kind::null: addMissing(); return;
    case CellValue::Kind::integer: {
      const CellValue value = CellValue::integer(row.integer(column));
      addPresent(&value, kind, value.displayString());
      return;
    }
    case CellValue::Kind::real: {
      const CellValue value = CellValue::real(row.real(column));
      addPresent(&value, kind, value.displayString());
      return;
    }
    case CellValue::Kind::text: addPresent(nullptr, kind, row.bytes(column)); return;
    default: {
      const std::string_view bytes = row.bytes(column);
      const CellValue value = CellValue::blob(Bytes(bytes.begin(), bytes.end()));
      addPresent(&value, kind, value.displayString());
      return;
    }
  }
}

void StatisticsAccumulator::addNumber(double number) {
  sum_ += number;
  ++numericCount_;
  // Past the bound, every stride_-th number is kept: the kept ones are thinned to every
  // second and the stride doubles, so they stay an even spread of all the numbers.
  if (numbersSeen_++ % stride_ != 0) return;
  if (numbers_.size() >= medianValues_) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < numbers_.size(); i += 2) numbers_[kept++] = numbers_[i];
    numbers_.resize(kept);
    stride_ *= 2;
    statistics_.medianIsEstimate = true;
    if ((numbersSeen_ - 1) % stride_ != 0) return;
  }
  numbers_.push_back(number);
}

void StatisticsAccumulator::weighText(std::string_view text) {
  // Both text: the ordering is the collation of the texts, so no value need be made.
  if (localizedStandardCompare(text, min_->stringValue()) < 0) min_ = CellValue::text(std::string(text));
  if (localizedStandardCompare(max_->stringValue(), text) < 0) max_ = CellValue::text(std::string(text));
}

void StatisticsAccumulator::addPresent(const CellValue* value, CellValue::Kind kind, std::string_view display) {
  ++statistics_.totalCount;
  const DistinctCounter::Novelty novelty = distinct_.add(display, static_cast<unsigned>(kind));
  if (novelty.text && statistics_.sampleValues.size() < ColumnStatistics::kSampleLimit)
    statistics_.sampleValues.emplace_back(display.substr(0, utf8PrefixLength(display, ColumnStatistics::kSampleBytes)));
  const bool numeric = kind == CellValue::Kind::integer || kind == CellValue::Kind::real;
  if (numeric) addNumber(*value->numericValue());
  // Values of one ordering class (numbers, or one other kind) order transitively, so a value
  // met before (same kind, same text) was already weighed against a minimum and maximum that
  // have only moved outward since: it cannot be either now. Only new values are compared,
  // which matters where comparing text means collating it. The mixed-kind ordering need not
  // be transitive; then every value is compared.
  const int orderingClass = numeric ? -1 : static_cast<int>(kind);
  if (!min_) {
    min_ = value ? *value : CellValue::text(std::string(display));
    max_ = min_;
    orderingClass_ = orderingClass;
    return;
  }
  if (orderingClass != orderingClass_) mixedOrdering_ = true;
  if (!mixedOrdering_ && !novelty.textOfKind && !distinct_.isEstimate()) return;
  if (!value && !mixedOrdering_) {
    weighText(display);
    return;
  }
  const CellValue made = value ? CellValue() : CellValue::text(std::string(display));
  const CellValue& weighed = value ? *value : made;
  // Two separate tests: a value can sort before the minimum and after the maximum at once
  // when the ordering is not transitive.
  if (weighed < *min_) min_ = weighed;
  if (*max_ < weighed) max_ = weighed;
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
  if (!numbers_.empty()) {
    std::vector<double> ordered(numbers_.begin(), numbers_.end());
    const std::size_t middle = ordered.size() / 2;
    std::nth_element(ordered.begin(), ordered.begin() + static_cast<std::ptrdiff_t>(middle), ordered.end());
    double median = ordered[middle];
    if (ordered.size() % 2 == 0) {
      const double below = *std::max_element(ordered.begin(), ordered.begin() + static_cast<std::ptrdiff_t>(middle));
      median = below / 2 + median / 2;
    }
    statistics.median = median;
  }
  for (auto& [text, count] : distinct_.mostFrequent(ColumnStatistics::kFrequentLimit)) {
    text.resize(utf8PrefixLength(text, ColumnStatistics::kSampleBytes));
    statistics.mostFrequent.push_back({std::move(text), count});
  }
  return statistics;
}

}  // namespace tabvora::internal
