#pragma once

#include <cstdint>
#include <span>

#include "platform/byte_cursor.hpp"

namespace tabvora::internal {

// Reads values of the Thrift compact protocol from a byte view. Every read checks its
// bounds; a read that cannot be completed (bytes missing, a malformed varint, an unknown
// type, a count larger than the bytes left could hold, nesting deeper than the limit)
// returns false and marks the reader failed, after which every read fails.
//
// Encoding: a field header is one byte, the type in the low 4 bits and the field-id delta
// in the high 4 bits (delta 0: a zigzag varint id follows); type 0 ends a struct. Integers
// are zigzag varints. A list or set header holds the size in the high 4 bits (15: a varint
// size follows) and the element type in the low 4 bits. A map has a varint size, then
// (when not empty) one byte of key and value types. Binary is a varint length and bytes.
class ThriftCompactReader {
 public:
  enum class Type : std::uint8_t {
    stop = 0,
    booleanTrue = 1,
    booleanFalse = 2,
    byte = 3,
    i16 = 4,
    i32 = 5,
    i64 = 6,
    double_ = 7,
    binary = 8,
    list = 9,
    set = 10,
    map = 11,
    structure = 12,
  };

  struct FieldHeader {
    Type type = Type::stop;
    std::int16_t id = 0;
  };
  struct ListHeader {
    Type elementType = Type::stop;
    std::uint32_t size = 0;
  };

  ThriftCompactReader(std::span<const std::uint8_t> bytes, int deepestNesting)
      : cursor_(bytes), deepestNesting_(deepestNesting) {}

  bool failed() const { return failed_; }
  int deepestNesting() const { return deepestNesting_; }
  // Bytes read so far.
  std::size_t position() const { return cursor_.position(); }
  // Marks the reader failed (a value read whole but not acceptable); returns false.
  bool markFailed() { return fail(); }

  // `previousId` is the id of the struct's last field (0 at its start) and is updated.
  bool readFieldHeader(std::int16_t& previousId, FieldHeader& out);
  bool readI32(std::int32_t& out);
  bool readI64(std::int64_t& out);
  bool readBinary(std::span<const std::uint8_t>& out);
  // A byte (i8) value: one byte as it is.
  bool readByte(std::int8_t& out);
  // A boolean struct field: its value is its header's type (false for another type).
  static bool booleanField(const FieldHeader& field) { return field.type == Type::booleanTrue; }
  // A list or set header; the size is at most the bytes left, each element taking one.
  bool readListHeader(ListHeader& out);

  // Skips one value of `type` found `depth` levels deep (1 for a field of the outermost
  // struct). `inCollection`: an element of a list, set or map, where a boolean is a byte
  // (a boolean field has its value in its header's type).
  bool skip(Type type, int depth, bool inCollection = false);

 private:
  bool fail() {
    failed_ = true;
    return false;
  }
  bool readVarint(std::uint64_t& out);
  bool readZigzag(std::int64_t& out);
  static bool isValueType(std::uint8_t type) { return type >= 1 && type <= 12; }

  ByteCursor cursor_;
  int deepestNesting_;
  bool failed_ = false;
};

}  // namespace tabvora::internal
