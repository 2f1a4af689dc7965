#pragma once

#include <cstdint>
#include <string_view>

namespace tabvora::internal {

// The display text of an integer or a real, as CellValue::displayString writes it, written
// into a buffer of its own instead of a new string: valid until the next call.
class NumberText {
 public:
  std::string_view integer(std::int64_t value);
  std::string_view real(double value);

 private:
  char buffer_[64];
};

}  // namespace tabvora::internal
