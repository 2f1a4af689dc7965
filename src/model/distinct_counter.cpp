#include "model/distinct_counter.hpp"

#include <bit>
#include <cmath>

namespace tabvora::internal {

namespace {

// 64-bit FNV-1a, then a finaliser that spreads the bits (HyperLogLog needs every bit of
// the hash to be uniform, which FNV alone is not in its high bits).
std::uint64_t hashOf(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001b3ULL;
  }
  hash ^= hash >> 33;
  hash *= 0xff51afd7ed558ccdULL;
  hash ^= hash >> 33;
  hash *= 0xc4ceb9fe1a85ec53ULL;
  hash ^= hash >> 33;
  return hash;
}

// Bookkeeping of one kept text beside its bytes (node, bucket and string header).
constexpr std::size_t kEntryOverhead = 64;

}  // namespace

DistinctCounter::Novelty DistinctCounter::add(std::string_view text, unsigned kind) {
  const std::uint64_t hash = hashOf(text);
  const std::size_t index = hash >> (64 - kRegisterBits);
  const std::uint64_t rest = hash << kRegisterBits;
  const auto rank = static_cast<std::uint8_t>(rest == 0 ? 64 - kRegisterBits + 1 : std::countl_zero(rest) + 1);
  if (rank > registers_[index]) registers_[index] = rank;

  if (estimating_) return {};
  const auto kindBit = static_cast<std::uint16_t>(1u << (kind % 16));
  Novelty novelty;
  if (auto found = exact_.find(text); found != exact_.end()) {
    novelty.textOfKind = (found->second & kindBit) == 0;
    found->second |= kindBit;
    return novelty;
  }
  exact_.emplace(std::string(text), kindBit);
  exactBytes_ += text.size() + kEntryOverhead;
  if (exact_.size() > kExactLimit || exactBytes_ > exactByteLimit_) {
    estimating_ = true;
    exact_ = {};
    return {};
  }
  return {true, true};
}

std::int64_t DistinctCounter::count() const {
  if (!estimating_) return static_cast<std::int64_t>(exact_.size());
  const double m = static_cast<double>(kRegisters);
  double sum = 0;
  std::size_t zeros = 0;
  for (std::uint8_t r : registers_) {
    sum += std::ldexp(1.0, -r);
    if (r == 0) ++zeros;
  }
  const double alpha = 0.7213 / (1 + 1.079 / m);
  double estimate = alpha * m * m / sum;
  // Small ranges are counted better by the empty registers (linear counting).
  if (estimate <= 2.5 * m && zeros > 0) estimate = m * std::log(m / static_cast<double>(zeros));
  return static_cast<std::int64_t>(std::llround(estimate));
}

}  // namespace tabvora::internal
