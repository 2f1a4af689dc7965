#include "drivers/json/json_original_values.hpp"

#include <simdjson.h>

#include "drivers/json/json_text.hpp"
#include "platform/number_parsing.hpp"

namespace tabvora::internal {

namespace {

void set(std::vector<bool>& bits, std::int64_t row) {
  const auto index = static_cast<std::size_t>(row);
  if (bits.size() <= index) bits.resize(index + 1);
  bits[index] = true;
}

bool test(const std::vector<bool>& bits, std::int64_t row) {
  return row >= 0 && static_cast<std::size_t>(row) < bits.size() && bits[static_cast<std::size_t>(row)];
}

}  // namespace

void JSONOriginalValues::record(std::size_t column, std::int64_t row, Kind kind, std::string original) {
  if (columns_.size() <= column) columns_.resize(column + 1);
  Column& entry = columns_[column];
  switch (kind) {
    case Kind::wholeReal: set(entry.wholeReal, row); [[fallthrough]];
    case Kind::value: set(entry.value, row); break;
    case Kind::string: entry.strings[row] = std::move(original); break;
  }
}

std::vector<std::size_t> JSONOriginalValues::columns() const {
  std::vector<std::size_t> indexes;
  for (std::size_t i = 0; i < columns_.size(); ++i)
    if (!columns_[i].empty()) indexes.push_back(i);
  return indexes;
}

std::optional<nlohmann::json> JSONOriginalValues::valueOf(std::size_t column, std::int64_t row,
                                                          std::string_view stagedText) const {
  if (column >= columns_.size()) return std::nullopt;
  const Column& entry = columns_[column];
  if (auto kept = entry.strings.find(row); kept != entry.strings.end()) return kept->second;
  if (!test(entry.value, row)) return std::nullopt;
  if (test(entry.wholeReal, row)) {
    if (const std::optional<double> real = parseDouble(stagedText)) return *real;
    return std::nullopt;
  }
  thread_local simdjson::dom::parser parser;
  simdjson::padded_string padded(stagedText);
  simdjson::dom::element value;
  if (parser.parse(padded).get(value)) return std::nullopt;
  return toJSONValue(value);
}

}  // namespace tabvora::internal
