#include "drivers/json/json_columns.hpp"

#include <algorithm>
#include <optional>

#include "model/table_naming.hpp"
#include "platform/text_encoding.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

std::string searchText(std::string_view key) {
  std::string escaped;
  for (char c : key) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
  std::string quoted = "\"";
  for (char c : escaped) {
    if (c == '"') quoted += '\\';
    quoted += c;
  }
  return quoted + '"';
}

}  // namespace

std::vector<std::string> orderKeysByFirstOccurrence(std::vector<std::string> keys, std::string_view fileStart) {
  std::string_view text = fileStart.substr(0, kColumnOrderScanBytes);
  if (fileStart.size() > kColumnOrderScanBytes) text = text.substr(0, utf8CompleteLength(text));
  std::string latin1;
  if (!isValidUTF8(text)) {
    latin1 = decodeText({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()}, TextEncoding::isoLatin1)
                 .value_or(std::string());
    text = latin1;
  }
  std::vector<std::pair<std::optional<std::size_t>, std::string>> positioned;
  positioned.reserve(keys.size());
  for (std::string& key : keys) {
    std::size_t found = text.find(searchText(key));
    positioned.emplace_back(found == std::string_view::npos ? std::nullopt : std::optional(found), std::move(key));
  }
  std::stable_sort(positioned.begin(), positioned.end(), [](const auto& a, const auto& b) {
    if (a.first && b.first) return *a.first < *b.first;
    if (a.first || b.first) return a.first.has_value();
    return a.second < b.second;
  });
  std::vector<std::string> ordered;
  ordered.reserve(positioned.size());
  for (auto& entry : positioned) ordered.push_back(std::move(entry.second));
  return ordered;
}

std::vector<JSONColumn> makeJSONColumns(const std::vector<std::string>& orderedKeys,
                                        const JSONDriver::SchemaAccumulator& schema) {
  std::vector<JSONColumn> columns;
  ColumnNamer namer(/*trimNames=*/false);  // keys are names exactly as written
  for (std::size_t i = 0; i < orderedKeys.size(); ++i) {
    const std::string& key = orderedKeys[i];
    std::string name = key;
    std::erase(name, '\0');
    columns.push_back({namer.accept(name, i + 1), key, schema.keyType(key).value_or(ColumnType::text)});
  }
  return columns;
}

}  // namespace tabvora::internal
