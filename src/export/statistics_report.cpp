#include "tabvora/column_statistics.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include <nlohmann/json.hpp>

#include "platform/display_width.hpp"
#include "platform/double_format.hpp"

namespace tabvora {

// Defines public types (include/tabvora/) with internal helpers.
using namespace internal;

namespace {

constexpr std::size_t kFields = 10;
// Display columns of a shown value (min, max, each sample).
constexpr std::size_t kMaxShownColumns = 24;
constexpr std::array<const char*, kFields> kHeader{"column",   "type", "rows", "nulls",   "null %",
                                                   "distinct", "min",  "max",  "average", "samples"};
// Averages from this magnitude on are written in exponent form.
constexpr double kLargestFixed = 1e15;
constexpr std::array<bool, kFields> kRightAligned{false, false, true, true, true, true, false, false, true, false};

std::string oneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r' || c == '\t') c = ' ';
  }
  return text;
}

std::string shown(const std::string& text) { return cutToWidth(oneLine(text), kMaxShownColumns); }

// Fixed decimals while the whole part is short; past that, the shortest exact form
// ("1e+308"), which stays one readable field however large the value.
std::string number(double value, int decimals) {
  if (!std::isfinite(value) || std::fabs(value) >= kLargestFixed) return shortestDoubleText(value);
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (error != std::errc()) return shortestDoubleText(value);
  return std::string(buffer, end);
}

std::array<std::string, kFields> fieldsOf(const ColumnStatistics& statistics) {
  std::string samples;
  for (const std::string& sample : statistics.sampleValues) samples += (samples.empty() ? "" : ", ") + shown(sample);
  return {cutToWidth(oneLine(statistics.column.name), 2 * kMaxShownColumns),
          statistics.column.type,
          std::to_string(statistics.totalCount),
          std::to_string(statistics.nullCount),
          number(statistics.nullPercentage(), 1),
          (statistics.distinctIsEstimate ? "~" : "") + std::to_string(statistics.distinctCount),
          statistics.min ? shown(*statistics.min) : "",
          statistics.max ? shown(*statistics.max) : "",
          statistics.average ? number(*statistics.average, 4) : "",
          samples};
}

nlohmann::ordered_json optionalText(const std::optional<std::string>& text) {
  return text ? nlohmann::ordered_json(*text) : nlohmann::ordered_json(nullptr);
}

}  // namespace

std::string statisticsText(const std::vector<ColumnStatistics>& columns) {
  std::vector<std::array<std::string, kFields>> lines;
  std::array<std::string, kFields> header;
  std::copy(kHeader.begin(), kHeader.end(), header.begin());
  lines.push_back(header);
  for (const ColumnStatistics& statistics : columns) lines.push_back(fieldsOf(statistics));

  std::array<std::size_t, kFields> widths{};
  for (const auto& line : lines) {
    for (std::size_t f = 0; f < kFields; ++f) widths[f] = std::max(widths[f], displayWidth(line[f]));
  }
  std::string text;
  for (const auto& line : lines) {
    std::string out;
    for (std::size_t f = 0; f < kFields; ++f) {
      const std::string padding(widths[f] - displayWidth(line[f]), ' ');
      if (f > 0) out += "  ";
      out += kRightAligned[f] ? padding + line[f] : line[f] + (f + 1 < kFields ? padding : "");
    }
    text += out + '\n';
  }
  return text;
}

std::string statisticsJSON(const std::vector<ColumnStatistics>& columns) {
  nlohmann::ordered_json array = nlohmann::ordered_json::array();
  for (const ColumnStatistics& statistics : columns) {
    nlohmann::ordered_json object;
    object["column"] = statistics.column.name;
    object["type"] = statistics.column.type;
    object["rows"] = statistics.totalCount;
    object["nulls"] = statistics.nullCount;
    object["nullPercentage"] = statistics.nullPercentage();
    object["distinct"] = statistics.distinctCount;
    object["distinctIsEstimate"] = statistics.distinctIsEstimate;
    object["min"] = optionalText(statistics.min);
    object["max"] = optionalText(statistics.max);
    object["average"] =
        statistics.average ? nlohmann::ordered_json(*statistics.average) : nlohmann::ordered_json(nullptr);
    object["samples"] = statistics.sampleValues;
    array.push_back(std::move(object));
  }
  return array.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + '\n';
}

}  // namespace tabvora
