#include "drivers/sqlite/real_affinity_converter.hpp"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <string>

namespace tabvora::internal {

RealAffinityConverter::RealAffinityConverter() {
  // Only its owner's thread uses the connection: it needs no mutex.
  if (sqlite3_open_v2(":memory:", &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(db_);
    db_ = nullptr;
    return;
  }
  std::string sql = "SELECT ";
  for (int i = 1; i <= kTextsPerStep; ++i) sql += (i > 1 ? ", CAST(?" : "CAST(?") + std::to_string(i) + " AS REAL)";
  if (cast_.prepare(db_, sql) != SQLITE_OK) cast_.finalize();
}

RealAffinityConverter::~RealAffinityConverter() {
  cast_.finalize();
  sqlite3_close(db_);
}

bool RealAffinityConverter::convert(std::span<const std::string_view> texts, std::span<double> values) {
  sqlite3_stmt* cast = cast_.get();
  if (cast == nullptr || values.size() < texts.size()) return false;
  bool converted = true;
  for (std::size_t done = 0; converted && done < texts.size(); done += kTextsPerStep) {
    const std::size_t count = std::min<std::size_t>(kTextsPerStep, texts.size() - done);
    for (std::size_t i = 0; converted && i < static_cast<std::size_t>(kTextsPerStep); ++i) {
      const int parameter = static_cast<int>(i) + 1;
      if (i >= count) {
        sqlite3_bind_null(cast, parameter);
        continue;
      }
      const std::string_view text = texts[done + i];
      converted = text.size() <= static_cast<std::size_t>(INT_MAX);
      if (converted) sqlite3_bind_text(cast, parameter, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    }
    converted = converted && sqlite3_step(cast) == SQLITE_ROW;
    for (std::size_t i = 0; converted && i < count; ++i) {
      converted = sqlite3_column_type(cast, static_cast<int>(i)) == SQLITE_FLOAT;
      values[done + i] = sqlite3_column_double(cast, static_cast<int>(i));
    }
    sqlite3_reset(cast);
  }
  sqlite3_clear_bindings(cast);  // no pointer into the texts stays behind
  return converted;
}

}  // namespace tabvora::internal
