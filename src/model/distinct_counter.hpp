#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>

namespace tabvora {

// Counts the distinct texts it is given in bounded memory: exactly while they number at
// most kExactLimit and hold at most `exactBytes` (texts and their bookkeeping), then by a
// HyperLogLog estimate (2^14 one-byte registers, a standard error of about 0.8%) fed with
// every text from the start.
class DistinctCounter {
 public:
  static constexpr std::size_t kExactLimit = 100'000;
  static constexpr std::size_t kExactBytes = std::size_t{16} << 20;

  explicit DistinctCounter(std::size_t exactBytes = kExactBytes) : exactByteLimit_(exactBytes) {}

  // Whether the text is new, as far as the exact count knows; false once counting estimates.
  bool add(std::string_view text);

  std::int64_t count() const;
  bool isEstimate() const { return estimating_; }

 private:
  static constexpr int kRegisterBits = 14;
  static constexpr std::size_t kRegisters = std::size_t{1} << kRegisterBits;

  std::unordered_set<std::string> exact_;
  std::size_t exactByteLimit_;
  std::size_t exactBytes_ = 0;
  bool estimating_ = false;
  std::array<std::uint8_t, kRegisters> registers_{};
};

}  // namespace tabvora
