#include "model/column_statistics.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <utility>

#include "model/ascii_collation.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

// The kept numbers in their blocks as one sequence, so the median is selected where they are.
class NumberCursor {
 public:
  using iterator_category = std::random_access_iterator_tag;
  using value_type = double;
  using difference_type = std::ptrdiff_t;
  using pointer = double*;
  using reference = double&;

  NumberCursor() = default;
  NumberCursor(std::vector<std::vector<double>>& blocks, std::size_t index)
      : blocks_(&blocks), index_(static_cast<difference_type>(index)) {}

  reference operator*() const { return (*this)[0]; }
  reference operator[](difference_type offset) const {
    const auto index = static_cast<std::size_t>(index_ + offset);
    return (*blocks_)[index / StatisticsAccumulator::kNumberBlock][index % StatisticsAccumulator::kNumberBlock];
  }
  NumberCursor& operator++() { return *this += 1; }
  NumberCursor& operator--() { return *this -= 1; }
  NumberCursor operator++(int) {
    NumberCursor before = *this;
    ++*this;
    return before;
  }
  NumberCursor operator--(int) {
    NumberCursor before = *this;
    --*this;
    return before;
  }
  NumberCursor& operator+=(difference_type offset) {
    index_ += offset;
    return *this;
  }
  NumberCursor& operator-=(difference_type offset) { return *this += -offset; }
  friend NumberCursor operator+(NumberCursor cursor, difference_type offset) { return cursor += offset; }
  friend NumberCursor operator+(difference_type offset, NumberCursor cursor) { return cursor += offset; }
  friend NumberCursor operator-(NumberCursor cursor, difference_type offset) { return cursor -= offset; }
  friend difference_type operator-(const NumberCursor& a, const NumberCursor& b) { return a.index_ - b.index_; }
  friend bool operator==(const NumberCursor& a, const NumberCursor& b) { return a.index_ == b.index_; }
  friend auto operator<=>(const NumberCursor& a, const NumberCursor& b) { return a.index_ <=> b.index_; }

 private:
  std::vector<std::vector<double>>* blocks_ = nullptr;
  difference_type index_ = 0;
};

// The median of the numbers in [begin, end), which it reorders.
template <typename Iterator>
double medianOf(Iterator begin, Iterator end) {
  const auto middle = (end - begin) / 2;
  std::nth_element(begin, begin + middle, end);
  double median = begin[middle];
  if ((end - begin) % 2 == 0) median = *std::max_element(begin, begin + middle) / 2 + median / 2;
  return median;
}

}  // namespace

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
  drain();
  if (value.isNull()) {
    addMissing();
    return;
  }
  const std::string display = value.displayString();
  addPresent(&value, value.kind(), display, DistinctCounter::hashOf(display));
}

void StatisticsAccumulator::queue(CellValue::Kind kind, std::int64_t integer, double real, std::string_view bytes) {
  if (pendingCount_ == kLookahead) {
    addPending(pending_[pendingFirst_]);
    pendingFirst_ = (pendingFirst_ + 1) % kLookahead;
    --pendingCount_;
  }
  Pending& pending = pending_[(pendingFirst_ + pendingCount_) % kLookahead];
  ++pendingCount_;
  pending.kind = kind;
  switch (kind) {
    case CellValue::Kind::integer:
      pending.integer = integer;
      describeNumber(pending, std::bit_cast<std::uint64_t>(pending.integer));
      break;
    case CellValue::Kind::real:
      pending.real = real;
      describeNumber(pending, std::bit_cast<std::uint64_t>(pending.real));
      break;
    case CellValue::Kind::text:
      pending.display = bytes;
      pending.hash = DistinctCounter::hashOf(pending.display);
      break;
    default:
      pending.bytes = bytes;
      pending.owned = CellValue::blob(Bytes(pending.bytes.begin(), pending.bytes.end())).displayString();
      pending.display = pending.owned;
      pending.hash = DistinctCounter::hashOf(pending.display);
      break;
  }
  distinct_.prefetchSlot(pending.hash);
  // The slot of a value queued half the lookahead ago has arrived by now: fetch its entry.
  if (pendingCount_ > kLookahead / 2) {
    distinct_.prefetchEntry(pending_[(pendingFirst_ + pendingCount_ - 1 - kLookahead / 2) % kLookahead].hash);
  }
}

void StatisticsAccumulator::describeNumber(Pending& pending, std::uint64_t bits) {
  const auto kind = static_cast<std::uint8_t>(static_cast<unsigned>(pending.kind) + 1);
  NumberMemo* memo = nullptr;
  if (memo_) {
    memo = &memo_[((bits ^ kind) * 0x9e3779b97f4a7c15ULL) >> 54];
    static_assert(kMemoEntries == std::size_t{1} << (64 - 54));
    if (memo->kind == kind && memo->bits == bits) {
      std::memcpy(pending.remembered.data(), memo->text.data(), memo->length);
      pending.display = std::string_view(pending.remembered.data(), memo->length);
      pending.hash = memo->hash;
      return;
    }
  } else if (++numbersQueued_ == kMemoAfter) {
    memo_ = std::make_unique<NumberMemo[]>(kMemoEntries);
  }
  pending.display = pending.kind == CellValue::Kind::integer ? pending.digits.integer(pending.integer)
                                                             : pending.digits.real(pending.real);
  pending.hash = DistinctCounter::hashOf(pending.display);
  if (memo && pending.display.size() <= memo->text.size()) {
    *memo = NumberMemo{bits, pending.hash, kind, static_cast<std::uint8_t>(pending.display.size()), {}};
    std::memcpy(memo->text.data(), pending.display.data(), pending.display.size());
  }
}

void StatisticsAccumulator::addPending(const Pending& pending) {
  switch (pending.kind) {
    case CellValue::Kind::integer: {
      const CellValue value = CellValue::integer(pending.integer);
      addPresent(&value, pending.kind, pending.display, pending.hash);
      return;
    }
    case CellValue::Kind::real: {
      const CellValue value = CellValue::real(pending.real);
      addPresent(&value, pending.kind, pending.display, pending.hash);
      return;
    }
    case CellValue::Kind::text: addPresent(nullptr, pending.kind, pending.display, pending.hash); return;
    default: {
      const CellValue value = CellValue::blob(Bytes(pending.bytes.begin(), pending.bytes.end()));
      addPresent(&value, pending.kind, pending.display, pending.hash);
      return;
    }
  }
}

void StatisticsAccumulator::drain() {
  for (; pendingCount_ > 0; --pendingCount_) {
    addPending(pending_[pendingFirst_]);
    pendingFirst_ = (pendingFirst_ + 1) % kLookahead;
  }
  pendingFirst_ = 0;
}

void StatisticsAccumulator::addNumber(double number) {
  sum_ += number;
  ++numericCount_;
  // Past the bound, every stride_-th number is kept: the kept ones are thinned to every
  // second and the stride doubles, so they stay an even spread of all the numbers.
  if ((numbersSeen_++ & (stride_ - 1)) != 0) return;  // stride_ is a power of two
  if (numberCount_ >= medianValues_) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < numberCount_; i += 2) numberAt(kept++) = numberAt(i);
    numberCount_ = kept;
    numbers_.resize((kept + kNumberBlock - 1) / kNumberBlock);
    if (kept % kNumberBlock != 0) numbers_.back().resize(kept % kNumberBlock);
    stride_ *= 2;
    statistics_.medianIsEstimate = true;
    if (((numbersSeen_ - 1) & (stride_ - 1)) != 0) return;
  }
  if (numbers_.empty() || numbers_.back().size() == kNumberBlock) {
    numbers_.emplace_back();
    if (numbers_.size() > 1) numbers_.back().reserve(kNumberBlock);
  }
  numbers_.back().push_back(number);
  ++numberCount_;
}

void StatisticsAccumulator::weighText(std::string_view text) {
  // Both text: the ordering is the collation of the texts, so no value need be made.
  if (standardTextCompare(text, min_->stringValue()) < 0) min_ = CellValue::text(std::string(text));
  if (standardTextCompare(max_->stringValue(), text) < 0) max_ = CellValue::text(std::string(text));
}

void StatisticsAccumulator::addPresent(const CellValue* value, CellValue::Kind kind, std::string_view display,
                                       std::uint64_t hash) {
  ++statistics_.totalCount;
  const DistinctCounter::Novelty novelty = distinct_.add(display, static_cast<unsigned>(kind), hash);
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

ColumnStatistics StatisticsAccumulator::summary() const {
  ColumnStatistics statistics = statistics_;
  statistics.distinctCount = distinct_.count();
  statistics.distinctIsEstimate = distinct_.isEstimate();
  if (min_) {
    statistics.min = min_->displayString();
    statistics.max = max_->displayString();
  }
  if (numericCount_ > 0) statistics.average = static_cast<double>(sum_ / static_cast<long double>(numericCount_));
  for (auto& [text, count] : distinct_.mostFrequent(ColumnStatistics::kFrequentLimit)) {
    text.resize(utf8PrefixLength(text, ColumnStatistics::kSampleBytes));
    statistics.mostFrequent.push_back({std::move(text), count});
  }
  return statistics;
}

ColumnStatistics StatisticsAccumulator::result() const {
  ColumnStatistics statistics = summary();
  if (numberCount_ > 0) {
    std::vector<double> ordered;
    ordered.reserve(numberCount_);
    for (const std::vector<double>& block : numbers_) ordered.insert(ordered.end(), block.begin(), block.end());
    statistics.median = medianOf(ordered.begin(), ordered.end());
  }
  return statistics;
}

ColumnStatistics StatisticsAccumulator::finish() {
  ColumnStatistics statistics = summary();
  if (numberCount_ > 0) {
    statistics.median = medianOf(NumberCursor(numbers_, 0), NumberCursor(numbers_, numberCount_));
  }
  return statistics;
}

}  // namespace tabvora::internal
