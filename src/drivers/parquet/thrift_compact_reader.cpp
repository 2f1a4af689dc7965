#include "drivers/parquet/thrift_compact_reader.hpp"

#include <limits>

namespace tabvora::internal {

bool ThriftCompactReader::readVarint(std::uint64_t& out) {
  if (failed_ || !cursor_.readVarint64(out)) return fail();
  return true;
}

bool ThriftCompactReader::readZigzag(std::int64_t& out) {
  std::uint64_t raw = 0;
  if (!readVarint(raw)) return false;
  out = static_cast<std::int64_t>(raw >> 1) ^ -static_cast<std::int64_t>(raw & 1);
  return true;
}

bool ThriftCompactReader::readFieldHeader(std::int16_t& previousId, FieldHeader& out) {
  std::uint8_t byte = 0;
  if (failed_ || !cursor_.readU8(byte)) return fail();
  const std::uint8_t type = byte & 0x0F;
  const std::uint8_t delta = byte >> 4;
  if (type == 0) {
    out = {Type::stop, 0};
    return true;
  }
  if (!isValueType(type)) return fail();
  std::int64_t id = previousId + delta;
  if (delta == 0 && !readZigzag(id)) return false;
  if (id < std::numeric_limits<std::int16_t>::min() || id > std::numeric_limits<std::int16_t>::max()) return fail();
  out = {static_cast<Type>(type), static_cast<std::int16_t>(id)};
  previousId = out.id;
  return true;
}

bool ThriftCompactReader::readI32(std::int32_t& out) {
  std::int64_t value = 0;
  if (!readZigzag(value)) return false;
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
    return fail();
  out = static_cast<std::int32_t>(value);
  return true;
}

bool ThriftCompactReader::readI64(std::int64_t& out) { return readZigzag(out); }

bool ThriftCompactReader::readBinary(std::span<const std::uint8_t>& out) {
  std::uint64_t length = 0;
  if (!readVarint(length)) return false;
  if (!cursor_.readBytes(length, out)) return fail();
  return true;
}

bool ThriftCompactReader::readByte(std::int8_t& out) {
  std::uint8_t byte = 0;
  if (failed_ || !cursor_.readU8(byte)) return fail();
  out = static_cast<std::int8_t>(byte);
  return true;
}

bool ThriftCompactReader::readListHeader(ListHeader& out) {
  std::uint8_t byte = 0;
  if (failed_ || !cursor_.readU8(byte)) return fail();
  std::uint64_t size = byte >> 4;
  if (size == 15 && !readVarint(size)) return false;
  const std::uint8_t type = byte & 0x0F;
  // Every element takes at least one byte, so a larger count cannot be true.
  if (!isValueType(type) || size > cursor_.remaining()) return fail();
  out = {static_cast<Type>(type), static_cast<std::uint32_t>(size)};
  return true;
}

bool ThriftCompactReader::skip(Type type, int depth, bool inCollection) {
  if (failed_) return false;
  if (depth > deepestNesting_) return fail();
  std::int64_t ignored = 0;
  std::span<const std::uint8_t> bytes;
  switch (type) {
    case Type::booleanTrue:
    case Type::booleanFalse: return !inCollection || (cursor_.skip(1) || fail());
    case Type::byte: return cursor_.skip(1) || fail();
    case Type::i16:
    case Type::i32:
    case Type::i64: return readZigzag(ignored);
    case Type::double_: return cursor_.skip(8) || fail();
    case Type::binary: return readBinary(bytes);
    case Type::list:
    case Type::set: {
      ListHeader header;
      if (!readListHeader(header)) return false;
      for (std::uint32_t i = 0; i < header.size; ++i)
        if (!skip(header.elementType, depth + 1, true)) return false;
      return true;
    }
    case Type::map: {
      std::uint64_t size = 0;
      if (!readVarint(size)) return false;
      if (size == 0) return true;
      std::uint8_t types = 0;
      if (!cursor_.readU8(types)) return fail();
      const std::uint8_t keyType = types >> 4;
      const std::uint8_t valueType = types & 0x0F;
      if (!isValueType(keyType) || !isValueType(valueType) || size > cursor_.remaining() / 2) return fail();
      for (std::uint64_t i = 0; i < size; ++i) {
        if (!skip(static_cast<Type>(keyType), depth + 1, true) || !skip(static_cast<Type>(valueType), depth + 1, true))
          return false;
      }
      return true;
    }
    case Type::structure: {
      std::int16_t previousId = 0;
      for (FieldHeader field; readFieldHeader(previousId, field);) {
        if (field.type == Type::stop) return true;
        if (!skip(field.type, depth + 1)) return false;
      }
      return false;
    }
    case Type::stop: break;
  }
  return fail();
}

}  // namespace tabvora::internal
