#include "drivers/sqlite/text_match_function.hpp"

#include <sqlite3.h>

#include <string>
#include <string_view>

#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

std::string_view textArgument(sqlite3_value* value) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
  return text ? std::string_view(text, static_cast<std::size_t>(sqlite3_value_bytes(value))) : std::string_view();
}

void textMatch(sqlite3_context* context, int, sqlite3_value** arguments) {
  const std::string value = foldCase(textArgument(arguments[0]));
  const std::string needle = foldCase(textArgument(arguments[1]));
  bool found = false;
  switch (sqlite3_value_int(arguments[2])) {
    case 0: found = value.find(needle) != std::string::npos; break;
    case 1: found = value.starts_with(needle); break;
    case 2: found = value.ends_with(needle); break;
    default: break;
  }
  sqlite3_result_int(context, found ? 1 : 0);
}

}  // namespace

int registerTextMatchFunction(sqlite3* db) {
  return sqlite3_create_function_v2(db, kTextMatchFunction, 3, SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                    nullptr, textMatch, nullptr, nullptr, nullptr);
}

}  // namespace tabvora::internal
