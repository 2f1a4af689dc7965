#include "drivers/delimited/delimited_schema_scan.hpp"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <system_error>
#include <thread>

#include "model/table_naming.hpp"
#include "platform/limits.hpp"

namespace tabvora::internal {

bool DelimitedSchemaScan::operator()(const DelimitedByteParser::Record& record) {
  if (rowLimit_ && *rowLimit_ < recordsSeen_) return false;
  ++recordsSeen_;

  if (!foundHeader_) {
    foundHeader_ = true;
    headerFieldCount_ = record.fieldCount();
    headerNames_.reserve(record.size());
    for (std::size_t i = 0; i < record.size(); ++i) headerNames_.push_back(record.text(i));
    kinds_.assign(record.size(), ColumnKind::empty);
    return true;
  }

  const std::size_t n = record.size();
  if (kinds_.size() < n || record.overflowHasContent()) {
    // Trailing empty fields do not widen the table.
    std::size_t effectiveWidth = n;
    while (effectiveWidth > 0 && record.field(effectiveWidth - 1).start == record.field(effectiveWidth - 1).end) {
      --effectiveWidth;
    }
    if (kinds_.size() < limits::kMaxColumns && kinds_.size() < effectiveWidth) {
      kinds_.resize(std::min(effectiveWidth, limits::kMaxColumns), ColumnKind::empty);
    }
    if (effectiveWidth > columnCount() || record.overflowHasContent()) droppedContent_ = true;
  }

  const std::size_t shared = std::min(kinds_.size(), n);
  for (std::size_t i = 0; i < shared; ++i) {
    if (kinds_[i] == ColumnKind::text) continue;
    kinds_[i] = DelimitedByteParser::merge(kinds_[i], DelimitedByteParser::classify(record.bytes(i)));
  }
  return true;
}

DelimitedSchemaScan DelimitedSchemaScan::ofWholeText(std::span<const std::uint8_t> text, std::uint8_t delimiter,
                                                     std::size_t minSplitBytes) {
  DelimitedSchemaScan head(std::nullopt);
  const std::size_t middle = text.size() / 2;
  const void* lineFeed =
      text.size() >= minSplitBytes ? std::memchr(text.data() + middle, '\n', text.size() - middle) : nullptr;
  const std::size_t split = lineFeed != nullptr
                                ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(lineFeed) - text.data()) + 1
                                : text.size();
  if (split >= text.size()) {
    DelimitedByteParser::parse(text, delimiter, head);
    return head;
  }

  DelimitedSchemaScan tail = ofDataRecords();
  std::atomic<bool> dropped{false};
  std::exception_ptr failure;
  std::thread second;
  try {
    second = std::thread([&] {
      try {
        DelimitedByteParser::parseFrom(text, split, delimiter, [&](const DelimitedByteParser::Record& record) {
          return !dropped.load(std::memory_order_relaxed) && tail(record);
        });
      } catch (...) {
        failure = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    DelimitedByteParser::parse(text, delimiter, head);  // no second thread to be had
    return head;
  }

  DelimitedByteParser::Result first;
  try {
    first = DelimitedByteParser::parse(text.first(split), delimiter, head, true);
  } catch (...) {
    dropped = true;
    second.join();
    throw;
  }
  if (first.afterLastLineBreak != split) {
    // The break is inside a quoted field: the second thread started mid-record.
    dropped = true;
    second.join();
    DelimitedByteParser::parseFrom(text, first.afterLastLineBreak, delimiter, head);
    return head;
  }
  second.join();
  if (failure) std::rethrow_exception(failure);
  head.absorb(tail);
  return head;
}

DelimitedSchemaScan DelimitedSchemaScan::ofDataRecords() {
  DelimitedSchemaScan scan(std::nullopt);
  scan.foundHeader_ = true;
  return scan;
}

void DelimitedSchemaScan::absorb(const DelimitedSchemaScan& later) {
  if (kinds_.size() < later.kinds_.size()) kinds_.resize(later.kinds_.size(), ColumnKind::empty);
  for (std::size_t i = 0; i < later.kinds_.size(); ++i)
    kinds_[i] = DelimitedByteParser::merge(kinds_[i], later.kinds_[i]);
  droppedContent_ = droppedContent_ || later.droppedContent_;
  recordsSeen_ += later.recordsSeen_;
}

std::size_t DelimitedSchemaScan::columnCount() const { return std::max(headerFieldCount_, kinds_.size()); }

std::vector<DataColumn> DelimitedSchemaScan::columns() const {
  std::vector<DataColumn> columns;
  columns.reserve(kinds_.size());
  ColumnNamer namer;
  for (std::size_t i = 0; i < kinds_.size(); ++i) {
    const std::string raw = i < headerNames_.size() ? headerNames_[i] : std::string();
    DataColumn column;
    column.name = namer.accept(raw, i + 1);
    column.type = DelimitedByteParser::columnType(kinds_[i]);
    column.index = static_cast<int>(i);
    columns.push_back(std::move(column));
  }
  return columns;
}

}  // namespace tabvora::internal
