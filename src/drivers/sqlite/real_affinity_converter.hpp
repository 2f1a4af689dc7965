#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "drivers/sqlite/sqlite_statement.hpp"

struct sqlite3;

namespace tabvora::internal {

// Turns decimal texts into the numbers a REAL column makes of them, on whatever thread owns
// the converter rather than on the staging connection's: SQLite's own conversion (a CAST to
// REAL, which reads text as the column's affinity does) run by a private in-memory
// connection, so every value is exactly the one the column would store for the text. Short
// decimals (at most 15 digits, 3 after the point, no exponent) are divided out directly
// where the linked SQLite provably reads them as that quotient. One thread at a time.
class RealAffinityConverter {
 public:
  // Texts converted per step of the statement.
  static constexpr int kTextsPerStep = 64;

  // Opens the private connection; when that fails, convert always returns false.
  RealAffinityConverter();
  ~RealAffinityConverter();
  RealAffinityConverter(const RealAffinityConverter&) = delete;
  RealAffinityConverter& operator=(const RealAffinityConverter&) = delete;

  // Writes to values[i] the number texts[i] spells. Each text must be a whole decimal
  // number (no padding) written with a decimal point or an exponent: such text a REAL
  // column always stores as that number. False when SQLite failed: the values are then
  // unset and the texts are best bound as they are. No pointer into the texts is kept.
  bool convert(std::span<const std::string_view> texts, std::span<double> values);

 private:
  // Converts the texts named by rest_ with the CAST.
  bool castRest(std::span<const std::string_view> texts, std::span<double> values);

  bool shortDecimalsDirect_;
  sqlite3* db_ = nullptr;
  SQLiteStatement cast_;
  std::vector<std::size_t> rest_;  // indexes of the texts left to the CAST
};

}  // namespace tabvora::internal
