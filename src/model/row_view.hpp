#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "model/cell_value.hpp"

namespace tabvora::internal {

// One row of a result as it is being read, without copying its values: valid only during
// the call that hands it over. A value is an integer, a real, text, a blob or null (the
// storage classes of the database engine).
class RowView {
 public:
  virtual ~RowView() = default;

  virtual std::size_t size() const = 0;
  // integer, real, text, blob or null; null past the last column.
  virtual CellValue::Kind kind(std::size_t column) const = 0;
  virtual std::int64_t integer(std::size_t column) const = 0;
  virtual double real(std::size_t column) const = 0;
  // The bytes of a text or blob value.
  virtual std::string_view bytes(std::size_t column) const = 0;
};

}  // namespace tabvora::internal
