#include "drivers/json/json_text.hpp"

#include <cmath>
#include <cstdlib>

#include "platform/double_format.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

std::string jsonNumberText(double value) {
  if (!std::isfinite(value)) return "null";
  return shortestDoubleText(value);
}

std::string jsonNumberDescription(double value) {
  std::string text = jsonNumberText(value);
  if (text.ends_with(".0")) text.resize(text.size() - 2);
  return text;
}

void appendJSONString(std::string& out, std::string_view text) {
  std::string repaired;
  unsigned char high = 0;  // plain ASCII, the common case, needs no validation
  for (char c : text) high |= static_cast<unsigned char>(c);
  if (high >= 0x80 && !isValidUTF8(text)) text = repaired = repairUTF8(text);
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  std::size_t plain = 0;  // the start of the run copied as it is
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(text, plain, i - plain);
    plain = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 0x0F];
    }
  }
  out.append(text, plain);
  out += '"';
}

void appendCompactJSON(std::string& out, const simdjson::dom::element& value) {
  using simdjson::dom::element_type;
  switch (value.type()) {
    case element_type::OBJECT: {
      out += '{';
      bool first = true;
      for (auto field : simdjson::dom::object(value)) {
        if (!first) out += ',';
        first = false;
        appendJSONString(out, field.key);
        out += ':';
        appendCompactJSON(out, field.value);
      }
      out += '}';
      break;
    }
    case element_type::ARRAY: {
      out += '[';
      bool first = true;
      for (auto element : simdjson::dom::array(value)) {
        if (!first) out += ',';
        first = false;
        appendCompactJSON(out, element);
      }
      out += ']';
      break;
    }
    case element_type::STRING: appendJSONString(out, std::string_view(value)); break;
    case element_type::INT64: out += std::to_string(int64_t(value)); break;
    case element_type::UINT64: out += std::to_string(uint64_t(value)); break;
    case element_type::DOUBLE: out += jsonNumberText(double(value)); break;
    case element_type::BOOL: out += bool(value) ? "true" : "false"; break;
    case element_type::NULL_VALUE: out += "null"; break;
  }
}

nlohmann::json toJSONValue(const simdjson::dom::element& value) {
  using simdjson::dom::element_type;
  switch (value.type()) {
    case element_type::OBJECT: {
      nlohmann::json object = nlohmann::json::object();
      for (auto field : simdjson::dom::object(value)) object[std::string(field.key)] = toJSONValue(field.value);
      return object;
    }
    case element_type::ARRAY: {
      nlohmann::json array = nlohmann::json::array();
      for (auto element : simdjson::dom::array(value)) array.push_back(toJSONValue(element));
      return array;
    }
    case element_type::STRING: return std::string(std::string_view(value));
    case element_type::INT64: return int64_t(value);
    case element_type::UINT64: return uint64_t(value);
    case element_type::DOUBLE: return double(value);
    case element_type::BOOL: return bool(value);
    case element_type::NULL_VALUE: break;
  }
  return nullptr;
}

void appendIndent(std::string& out, int indentLevel) { out.append(static_cast<std::size_t>(indentLevel) * 2, ' '); }

void appendJSON(std::string& out, const nlohmann::json& value, bool pretty, int indentLevel) {
  using value_t = nlohmann::json::value_t;
  switch (value.type()) {
    case value_t::object:
    case value_t::array: {
      bool isObject = value.is_object();
      if (value.empty()) {
        out += isObject ? "{}" : "[]";
        return;
      }
      out += isObject ? '{' : '[';
      bool first = true;
      for (auto it = value.begin(); it != value.end(); ++it) {
        if (!first) out += ',';
        first = false;
        if (pretty) {
          out += '\n';
          appendIndent(out, indentLevel + 1);
        }
        if (isObject) {
          appendJSONString(out, it.key());
          out += pretty ? " : " : ":";
        }
        appendJSON(out, *it, pretty, indentLevel + 1);
      }
      if (pretty) {
        out += '\n';
        appendIndent(out, indentLevel);
      }
      out += isObject ? '}' : ']';
      return;
    }
    case value_t::string: appendJSONString(out, value.get_ref<const std::string&>()); return;
    case value_t::number_integer: out += std::to_string(value.get<std::int64_t>()); return;
    case value_t::number_unsigned: out += std::to_string(value.get<std::uint64_t>()); return;
    case value_t::number_float: out += jsonNumberText(value.get<double>()); return;
    case value_t::boolean: out += value.get<bool>() ? "true" : "false"; return;
    default: out += "null"; return;
  }
}

}  // namespace tabvora::internal
