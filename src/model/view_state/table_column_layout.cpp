#include "model/view_state/table_column_layout.hpp"

#include <string>

#include <nlohmann/json.hpp>

#include "model/driver_error.hpp"

namespace tabvora::internal {

namespace {

[[noreturn]] void refuse(const std::string& detail) {
  throw DriverError("TableColumnLayout", -1, "The saved column layout cannot be read: " + detail + ".");
}

// The JSON type a refused value had, as a message names it.
std::string kindOf(const nlohmann::json& value) { return std::string("a JSON ") + value.type_name(); }

const nlohmann::json& requiredKey(const nlohmann::json& coded, const char* key) {
  const auto found = coded.find(key);
  if (found == coded.end()) refuse(std::string("expected the key \"") + key + "\", found none");
  return *found;
}

}  // namespace

nlohmann::json TableColumnLayout::toJSON() const {
  nlohmann::json coded = nlohmann::json::object();
  coded["widths"] = nlohmann::json::object();
  for (const auto& [name, width] : widths) coded["widths"][name] = width;
  coded["hidden"] = nlohmann::json::array();
  for (const std::string& name : hidden) coded["hidden"].push_back(name);
  return coded;
}

TableColumnLayout TableColumnLayout::fromJSON(const nlohmann::json& coded) {
  if (!coded.is_object())
    refuse("expected a JSON object with the keys \"widths\" and \"hidden\", found " + kindOf(coded));
  const nlohmann::json& widths = requiredKey(coded, "widths");
  const nlohmann::json& hidden = requiredKey(coded, "hidden");
  if (!widths.is_object()) refuse("expected \"widths\" to be an object of column widths, found " + kindOf(widths));
  if (!hidden.is_array()) refuse("expected \"hidden\" to be an array of column names, found " + kindOf(hidden));

  TableColumnLayout layout;
  for (const auto& [name, width] : widths.items()) {
    if (!width.is_number()) refuse("expected a number as the width of \"" + name + "\", found " + kindOf(width));
    layout.widths.emplace(name, width.get<double>());
  }
  for (const nlohmann::json& name : hidden) {
    if (!name.is_string()) refuse("expected column names in \"hidden\", found " + kindOf(name));
    layout.hidden.insert(name.get<std::string>());
  }
  return layout;
}

TableColumnLayout TableColumnLayout::fromJSONText(std::string_view text) {
  nlohmann::json coded = nlohmann::json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (coded.is_discarded()) refuse("expected JSON text, found text that does not parse");
  return fromJSON(coded);
}

}  // namespace tabvora::internal
