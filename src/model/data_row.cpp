#include "model/data_row.hpp"

#include "platform/localized_text.hpp"

namespace tabvora::internal {

namespace {

bool inRange(std::ptrdiff_t column, std::size_t count) {
  return column >= 0 && static_cast<std::size_t>(column) < count;
}

}  // namespace

CellValue DataRow::operator[](std::ptrdiff_t column) const {
  if (!inRange(column, values.size())) return CellValue::null();
  return values[static_cast<std::size_t>(column)];
}

void DataRow::set(std::ptrdiff_t column, CellValue value) {
  if (!inRange(column, values.size())) return;
  values[static_cast<std::size_t>(column)] = std::move(value);
}

DataRow DataRow::updating(std::ptrdiff_t column, CellValue value) const {
  DataRow copy = *this;
  copy.set(column, std::move(value));
  return copy;
}

bool DataRow::matches(std::string_view query) const {
  if (query.empty()) return true;
  for (const CellValue& value : values) {
    if (localizedCaseInsensitiveContains(value.displayString(), query)) return true;
  }
  return false;
}

}  // namespace tabvora::internal
