#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

namespace tabvora::internal {

// What saving needs to write back the JSON value of a TEXT cell whose staged text is not
// simply that value, for a file opened to be edited. Kept by column index and row id, at
// two bits per row for columns that have any such cell, so a key that changes type costs
// almost nothing:
//   value      the text of a number, boolean, array or object (the value is that text parsed
//              again, which gives the same JSON value back);
//   wholeReal  a real staged like an integer ("1" for 1.0), read back as a real;
//   string     a string staged without its NUL characters, kept whole (rare).
class JSONOriginalValues {
 public:
  enum class Kind : std::uint8_t { value, wholeReal, string };

  void record(std::size_t column, std::int64_t row, Kind kind, std::string original = {});
  void clear() { columns_.clear(); }
  // The columns that have any value recorded.
  std::vector<std::size_t> columns() const;

  // The JSON value of the cell staged at (column, row) with the text `stagedText`; nothing
  // when that cell's staged text was its value as a string.
  std::optional<nlohmann::json> valueOf(std::size_t column, std::int64_t row, std::string_view stagedText) const;

 private:
  struct Column {
    std::vector<bool> value;      // by row id
    std::vector<bool> wholeReal;  // by row id
    std::unordered_map<std::int64_t, std::string> strings;
    bool empty() const { return value.empty() && strings.empty(); }
  };
  std::vector<Column> columns_;
};

}  // namespace tabvora::internal
