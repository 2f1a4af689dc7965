#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "drivers/parquet/parquet_metadata.hpp"
#include "drivers/parquet/parquet_values.hpp"

namespace tabvora::internal {

class TextArena;

// How the values of one leaf column become staged cells, chosen from its physical, logical
// and converted types so that each cell is what the DuckDB route stages for it:
//   BOOLEAN: a boolean; integers of every width and sign: an integer (an unsigned 64-bit
//   one past the signed range: a real); FLOAT, DOUBLE and FLOAT16: an integer when the
//   value is whole and within 64 bits, else a real (NaN and the infinities too);
//   DECIMAL: its digits with `scale` decimals ("-1.0000"); DATE: "2020-01-02" ("0045-03-15
//   (BC)" before year 1); TIME: "01:02:03" with the fraction's trailing zeros dropped
//   ("01:02:03.5"); TIMESTAMP (and INT96): the date, a space and the time; with UTC
//   adjustment "+00" follows; UUID: 8-4-4-4-12 lower-case hex digits; STRING, ENUM, JSON:
//   the text; other byte arrays: a blob's text (printable ASCII but quotes as it is, every
//   other byte "\xHH").
class ParquetCellFormat {
 public:
  enum class Kind : std::uint8_t { null, boolean, integer, real, text, json };
  struct Cell {
    Kind kind = Kind::null;
    std::int64_t integer = 0;
    double real = 0;
    std::string_view text;
  };

  // Throws DriverError for a column whose type the reader does not stage (INTERVAL, a
  // DECIMAL wider than 16 bytes, a type that does not fit its physical type).
  explicit ParquetCellFormat(const ParquetMetadata::SchemaElement& leaf);

  // The cell of value `i`; text may live in `scratch`.
  Cell cell(const ParquetValues& values, std::size_t i, std::string& scratch) const;
  // The cells of the next `count` slots of a flat column, slot k's at out[k * stride]: a
  // slot whose definition level (levels[k]; no levels: every slot has a value) is below
  // `maxDefinition` is null, the others take the values from index `next` on (which
  // advances). Their text goes into `arena`.
  void fillCells(const ParquetValues& values, const std::uint8_t* levels, std::uint8_t maxDefinition, std::size_t& next,
                 std::size_t count, Cell* out, std::size_t stride, TextArena& arena) const;
  // At most how many bytes of text the cells of values `from` ... `from + count - 1` take.
  std::size_t textBytesAtMost(const ParquetValues& values, std::size_t from, std::size_t count) const;
  // Value `i` as DuckDB's JSON writes it inside a list, map or struct: booleans and
  // numbers bare (an unsigned 64-bit integer exact, a float in JavaScript's shortest form,
  // NaN, Infinity, -Infinity), everything else as a JSON string of the cell's text.
  void appendJSON(const ParquetValues& values, std::size_t i, std::string& out, std::string& scratch) const;
  // Whether a cell may be a real: FLOAT, DOUBLE, FLOAT16 and unsigned 64-bit integers.
  bool mayBeReal() const {
    return conversion_ == Conversion::floating || conversion_ == Conversion::float16 ||
           conversion_ == Conversion::unsigned64;
  }
  // Whether cell may refuse a value: a DECIMAL wider than 16 bytes.
  bool refusesSomeValues() const { return conversion_ == Conversion::decimal; }
  // `text` as a JSON string, escaped as JavaScript's JSON.stringify escapes.
  static void appendJSONString(std::string_view text, std::string& out);

 private:
  enum class Conversion : std::uint8_t {
    boolean,
    integer,
    unsigned32,
    unsigned64,
    floating,
    float16,
    decimal,
    date,
    time,
    timestamp,
    int96,
    uuid,
    text,
    blob,
    alwaysNull,
  };
  // The cell of value `i` for conversion kConversion (conversion_), its text put by `out`.
  template <Conversion kConversion, typename Text>
  Cell cellAs(const ParquetValues& values, std::size_t i, Text& out) const;
  // body.operator()<conversion_>().
  template <typename Body>
  decltype(auto) withConversion(Body&& body) const;

  Conversion conversion_ = Conversion::integer;
  std::int32_t scale_ = 0;
  std::int16_t unit_ = 2;  // 1 millis, 2 micros, 3 nanos
  bool adjustedToUTC_ = false;
};

}  // namespace tabvora::internal
