#include "cell_json.hpp"

#include <charconv>
#include <cmath>
#include <limits>

#include "request_error.hpp"

namespace tabvora::workspace {

namespace {

constexpr const char* kKindNames[] = {"null", "integer", "real", "text", "boolean", "date", "blob", "json"};

[[noreturn]] void malformed(const std::string& message) { throw RequestError(400, message); }

Value::Kind kindNamed(const std::string& name) {
  for (std::size_t i = 0; i < std::size(kKindNames); ++i) {
    if (name == kKindNames[i]) return static_cast<Value::Kind>(i);
  }
  malformed("\"" + name + "\" is not a kind of value.");
}

nlohmann::json realJSON(double number) {
  if (std::isnan(number)) return "nan";
  if (std::isinf(number)) return number > 0 ? "inf" : "-inf";
  return number;
}

double realFrom(const nlohmann::json& data) {
  if (data.is_number()) return data.get<double>();
  if (data == "nan") return std::numeric_limits<double>::quiet_NaN();
  if (data == "inf") return std::numeric_limits<double>::infinity();
  if (data == "-inf") return -std::numeric_limits<double>::infinity();
  malformed("A real value must be a number.");
}

std::optional<std::int64_t> integerFrom(const std::string& text) {
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  return value;
}

std::optional<double> realFromText(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string::npos) return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string hexOf(const Value::Bytes& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (std::uint8_t byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0xf];
  }
  return text;
}

Value::Bytes bytesOf(const std::string& hex) {
  if (hex.size() % 2 != 0) malformed("A blob's hexadecimal digits come in pairs.");
  Value::Bytes bytes;
  bytes.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    std::uint8_t byte = 0;
    const auto [end, error] = std::from_chars(hex.data() + i, hex.data() + i + 2, byte, 16);
    if (error != std::errc() || end != hex.data() + i + 2) malformed("A blob is written in hexadecimal digits.");
    bytes.push_back(byte);
  }
  return bytes;
}

const nlohmann::json& dataOf(const nlohmann::json& cell) {
  if (cell.size() < 3) malformed("A value of this kind needs its data.");
  return cell[2];
}

std::int64_t integerField(const nlohmann::json& value) {
  if (value.is_number_integer()) return value.get<std::int64_t>();
  malformed("A row's position and storage identity are whole numbers.");
}

}  // namespace

nlohmann::json cellJSON(const Value& value) {
  nlohmann::json cell = nlohmann::json::array({kKindNames[static_cast<int>(value.kind)], value.text});
  if (const auto* integer = std::get_if<std::int64_t>(&value.data)) {
    cell.push_back(std::to_string(*integer));
  } else if (const auto* real = std::get_if<double>(&value.data)) {
    cell.push_back(realJSON(*real));
  } else if (const auto* boolean = std::get_if<bool>(&value.data)) {
    cell.push_back(*boolean);
  } else if (const auto* text = std::get_if<std::string>(&value.data)) {
    if (*text != value.text) cell.push_back(*text);
  } else if (const auto* bytes = std::get_if<Value::Bytes>(&value.data)) {
    cell.push_back(hexOf(*bytes));
  }
  return cell;
}

Value cellFromJSON(const nlohmann::json& cell) {
  if (!cell.is_array() || cell.size() < 2 || cell.size() > 3 || !cell[0].is_string() || !cell[1].is_string())
    malformed("A value must be [kind, text] or [kind, text, data].");
  Value value;
  value.kind = kindNamed(cell[0].get<std::string>());
  value.text = cell[1].get<std::string>();
  switch (value.kind) {
    case Value::Kind::null: break;
    case Value::Kind::integer: {
      const nlohmann::json& data = dataOf(cell);
      std::optional<std::int64_t> integer = data.is_string() ? integerFrom(data.get<std::string>()) : std::nullopt;
      if (!integer) malformed("An integer value must be decimal text.");
      value.data = *integer;
      break;
    }
    case Value::Kind::real:
    case Value::Kind::date: value.data = realFrom(dataOf(cell)); break;
    case Value::Kind::boolean:
      if (!dataOf(cell).is_boolean()) malformed("A boolean value must be true or false.");
      value.data = dataOf(cell).get<bool>();
      break;
    case Value::Kind::text:
    case Value::Kind::json:
      if (cell.size() == 3 && !cell[2].is_string()) malformed("A text value must be text.");
      value.data = cell.size() == 3 ? cell[2].get<std::string>() : value.text;
      break;
    case Value::Kind::blob:
      if (!dataOf(cell).is_string()) malformed("A blob must be hexadecimal text.");
      value.data = bytesOf(dataOf(cell).get<std::string>());
      break;
  }
  return value;
}

nlohmann::json rowsJSON(const Rows& rows) {
  nlohmann::json columns = nlohmann::json::array();
  for (const Column& column : rows.columns) columns.push_back({{"name", column.name}, {"type", column.type}});
  nlohmann::json list = nlohmann::json::array();
  for (std::size_t i = 0; i < rows.rows.size(); ++i) {
    nlohmann::json cells = nlohmann::json::array();
    for (const Value& value : rows.rows[i]) cells.push_back(cellJSON(value));
    nlohmann::json rowid = nullptr;
    if (i < rows.rowids.size() && rows.rowids[i]) rowid = *rows.rowids[i];
    list.push_back({{"p", i < rows.positions.size() ? rows.positions[i] : 0}, {"r", rowid}, {"c", std::move(cells)}});
  }
  return {{"columns", std::move(columns)},
          {"rows", std::move(list)},
          {"total", rows.totalRowCount},
          {"totalIsLowerBound", rows.totalRowCountIsLowerBound}};
}

Rows rowFromJSON(const nlohmann::json& row) {
  if (!row.is_object() || !row.contains("p") || !row.contains("c") || !row["c"].is_array())
    malformed("A row must be {\"p\": position, \"r\": rowid, \"c\": [values]}.");
  Rows rows;
  rows.positions.push_back(integerField(row["p"]));
  const auto rowid = row.find("r");
  rows.rowids.push_back(rowid == row.end() || rowid->is_null() ? std::nullopt
                                                               : std::optional<std::int64_t>(integerField(*rowid)));
  std::vector<Value> values;
  for (const nlohmann::json& cell : row["c"]) values.push_back(cellFromJSON(cell));
  rows.rows.push_back(std::move(values));
  rows.totalRowCount = 1;
  return rows;
}

Value enteredValue(const std::string& type, const nlohmann::json& input) {
  Value value;
  if (input.is_null()) return value;
  if (!input.is_string()) malformed("A cell's new value must be text or null.");
  const std::string text = input.get<std::string>();
  if (type == "INTEGER") {
    if (std::optional<std::int64_t> integer = integerFrom(text)) {
      value.kind = Value::Kind::integer;
      value.data = *integer;
      value.text = text;
      return value;
    }
  }
  if (type == "REAL" || type == "INTEGER") {
    if (std::optional<double> real = realFromText(text)) {
      value.kind = Value::Kind::real;
      value.data = *real;
      value.text = text;
      return value;
    }
  }
  if (type == "BOOLEAN" && (text == "true" || text == "false" || text == "TRUE" || text == "FALSE")) {
    value.kind = Value::Kind::boolean;
    value.data = text == "true" || text == "TRUE";
    value.text = text;
    return value;
  }
  value.kind = Value::Kind::text;
  value.data = text;
  value.text = text;
  return value;
}

std::string jsonText(const nlohmann::json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace tabvora::workspace
