#include "tabvora/column_statistics.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>

#include <nlohmann/json.hpp>

#include "platform/display_width.hpp"
#include "platform/double_format.hpp"
#include "model/cell_value.hpp"

namespace tabvora {

// Defines public types (include/tabvora/) with internal helpers.
using namespace internal;

namespace {

constexpr std::size_t kFields = 12;
constexpr std::size_t kFrequentField = 10;
constexpr std::size_t kSamplesField = 11;
// Display columns of a shown value (min, max, each frequent value, each sample).
constexpr std::size_t kMaxShownColumns = 24;
constexpr std::string_view kSeparator = "  ";
constexpr std::array<const char*, kFields> kHeader{"column", "type", "rows",    "nulls",  "null %",        "distinct",
                                                   "min",    "max",  "average", "median", "most frequent", "samples"};
// Averages from this magnitude on are written in exponent form.
constexpr double kLargestFixed = 1e15;
constexpr std::array<bool, kFields> kRightAligned{false, false, true, true, true,  true,
                                                  false, false, true, true, false, false};

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

// One line of the table: its fields, the last two as lists that may be cut short.
struct Line {
  std::array<std::string, kFields> fields;
  std::vector<std::string> frequent;
  std::vector<std::string> samples;
};

std::string joined(const std::vector<std::string>& items, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count && i < items.size(); ++i) text += (i > 0 ? ", " : "") + items[i];
  return text;
}

Line lineOf(const ColumnStatistics& statistics) {
  Line line;
  for (const ColumnStatistics::Frequency& frequency : statistics.mostFrequent)
    line.frequent.push_back(shown(frequency.value) + " (" + std::to_string(frequency.count) + ")");
  for (const std::string& sample : statistics.sampleValues) line.samples.push_back(shown(sample));
  line.fields = {cutToWidth(oneLine(statistics.column.name), 2 * kMaxShownColumns),
                 statistics.column.type,
                 std::to_string(statistics.totalCount),
                 std::to_string(statistics.nullCount),
                 number(statistics.nullPercentage(), 1),
                 (statistics.distinctIsEstimate ? "~" : "") + std::to_string(statistics.distinctCount),
                 statistics.min ? shown(*statistics.min) : "",
                 statistics.max ? shown(*statistics.max) : "",
                 statistics.average ? number(*statistics.average, 4) : "",
                 statistics.median
                     ? (statistics.medianIsEstimate ? "~" : "") + CellValue::real(*statistics.median).displayString()
                     : "",
                 joined(line.frequent, line.frequent.size()),
                 joined(line.samples, line.samples.size())};
  return line;
}

std::array<std::size_t, kFields> widthsOf(const std::vector<Line>& lines) {
  std::array<std::size_t, kFields> widths{};
  for (const Line& line : lines) {
    for (std::size_t f = 0; f < kFields; ++f) widths[f] = std::max(widths[f], displayWidth(line.fields[f]));
  }
  return widths;
}

std::size_t lineWidth(const std::array<std::size_t, kFields>& widths) {
  std::size_t total = 0;
  for (std::size_t f = 0; f < kFields; ++f) total += widths[f] + (f > 0 ? kSeparator.size() : 0);
  return total;
}

// Drops items of list `field` from the end, line by line, until the table fits `width`
// (an empty list still takes its header's width).
void shorten(std::vector<Line>& lines, std::size_t field, std::size_t width) {
  auto widths = widthsOf(lines);
  if (lineWidth(widths) <= width) return;
  const std::size_t others = lineWidth(widths) - widths[field];
  const std::size_t room = std::max(width > others ? width - others : 0, displayWidth(kHeader[field]));
  for (std::size_t l = 1; l < lines.size(); ++l) {
    Line& line = lines[l];
    std::vector<std::string>& items = field == kSamplesField ? line.samples : line.frequent;
    std::size_t count = items.size();
    while (count > 0 && displayWidth(joined(items, count)) > room) --count;
    line.fields[field] = joined(items, count);
  }
}

nlohmann::ordered_json optionalText(const std::optional<std::string>& text) {
  return text ? nlohmann::ordered_json(*text) : nlohmann::ordered_json(nullptr);
}

}  // namespace

std::string statisticsText(const std::vector<ColumnStatistics>& columns, std::optional<std::size_t> width) {
  std::vector<Line> lines(1);
  std::copy(kHeader.begin(), kHeader.end(), lines.front().fields.begin());
  for (const ColumnStatistics& statistics : columns) lines.push_back(lineOf(statistics));
  if (width) {
    shorten(lines, kSamplesField, *width);
    shorten(lines, kFrequentField, *width);
  }

  const std::array<std::size_t, kFields> widths = widthsOf(lines);
  std::string text;
  for (const Line& line : lines) {
    std::string out;
    for (std::size_t f = 0; f < kFields; ++f) {
      const std::string padding(widths[f] - displayWidth(line.fields[f]), ' ');
      if (f > 0) out += kSeparator;
      out += kRightAligned[f] ? padding + line.fields[f] : line.fields[f] + (f + 1 < kFields ? padding : "");
    }
    // Trailing padding of empty last fields goes; the line is then cut at the width.
    out.erase(out.find_last_not_of(' ') + 1);
    if (width && displayWidth(out) > *width) out = cutToWidth(out, *width);
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
    object["median"] = statistics.median ? nlohmann::ordered_json(*statistics.median) : nlohmann::ordered_json(nullptr);
    object["medianIsEstimate"] = statistics.medianIsEstimate;
    nlohmann::ordered_json frequent = nlohmann::ordered_json::array();
    for (const ColumnStatistics::Frequency& frequency : statistics.mostFrequent)
      frequent.push_back({{"value", frequency.value}, {"count", frequency.count}});
    object["mostFrequent"] = std::move(frequent);
    object["samples"] = statistics.sampleValues;
    array.push_back(std::move(object));
  }
  return array.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + '\n';
}

}  // namespace tabvora
