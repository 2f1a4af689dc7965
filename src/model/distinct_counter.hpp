#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <functional>
#include <unordered_map>

namespace tabvora::internal {

// Counts the distinct texts it is given in bounded memory: exactly while they number at
// most kExactLimit and hold at most `exactBytes` (texts and their bookkeeping), then by a
// HyperLogLog estimate (2^14 one-byte registers, a standard error of about 0.8%) fed with
// every text from the start.
class DistinctCounter {
 public:
  static constexpr std::size_t kExactLimit = 100'000;
  static constexpr std::size_t kExactBytes = std::size_t{16} << 20;

  explicit DistinctCounter(std::size_t exactBytes = kExactBytes) : exactByteLimit_(exactBytes) {}

  // What the exact count knows of a text added with a kind (any small number, below 16):
  // whether the text is new, and whether it is new with that kind. Both false once counting
  // estimates.
  struct Novelty {
    bool text = false;
    bool textOfKind = false;
  };
  Novelty add(std::string_view text, unsigned kind = 0);

  std::int64_t count() const;
  bool isEstimate() const { return estimating_; }

 private:
  static constexpr int kRegisterBits = 14;
  static constexpr std::size_t kRegisters = std::size_t{1} << kRegisterBits;

  // Transparent, so a text is looked up without being copied.
  struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  std::unordered_map<std::string, std::uint16_t, TextHash, std::equal_to<>> exact_;  // text -> kinds seen
  std::size_t exactByteLimit_;
  std::size_t exactBytes_ = 0;
  bool estimating_ = false;
  std::array<std::uint8_t, kRegisters> registers_{};
};

}  // namespace tabvora::internal
