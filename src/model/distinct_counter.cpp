#include "model/distinct_counter.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace tabvora::internal {

// 64-bit FNV-1a, then a finaliser that spreads the bits (HyperLogLog needs every bit of
// the hash to be uniform, which FNV alone is not in its high bits).
std::uint64_t DistinctCounter::hashOf(std::string_view text) {
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

namespace {

// The first (up to) 8 bytes of a text, in one word; the rest zero.
std::uint64_t headOf(std::string_view text) {
  std::uint64_t head = 0;
  if (!text.empty()) std::memcpy(&head, text.data(), std::min<std::size_t>(text.size(), sizeof head));
  return head;
}

// The bits of a slot that hold the entry's index + 1, and the hash's bits kept above them.
constexpr int kIndexBits = 17;
static_assert(DistinctCounter::kExactLimit < (std::size_t{1} << kIndexBits), "every kept entry's index fits a slot");
constexpr std::uint32_t kIndexMask = (std::uint32_t{1} << kIndexBits) - 1;
std::uint32_t tagOf(std::uint64_t hash) { return static_cast<std::uint32_t>(hash >> 32) & ~kIndexMask; }

// What one kept text is reckoned to cost beside its bytes, for the memory bound.
constexpr std::size_t kEntryOverhead = 64;
constexpr std::size_t kFirstSlots = 64;

}  // namespace

DistinctCounter::DistinctCounter(std::size_t exactBytes) : slots_(kFirstSlots, 0), exactByteLimit_(exactBytes) {}

DistinctCounter::Entry* DistinctCounter::find(std::uint64_t hash, std::string_view text) {
  const std::size_t mask = slots_.size() - 1;
  const std::uint32_t tag = tagOf(hash);
  const std::uint64_t head = headOf(text);
  for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const std::uint32_t held = slots_[slot];
    if (held == 0) return nullptr;
    if ((held & ~kIndexMask) != tag) continue;
    Entry& entry = entries_[(held & kIndexMask) - 1];
    if (entry.length != text.size() || entry.head != head) continue;
    if (text.size() <= sizeof head || textOf(entry) == text) return &entry;
  }
}

void DistinctCounter::place(std::uint64_t hash, std::size_t index) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = hash & mask;
  while (slots_[slot] != 0) slot = (slot + 1) & mask;
  slots_[slot] = tagOf(hash) | static_cast<std::uint32_t>(index + 1);
}

void DistinctCounter::insert(std::uint64_t hash, std::string_view text, std::uint16_t kinds, std::int64_t count) {
  entries_.push_back(Entry{headOf(text), static_cast<std::uint32_t>(arena_.size()),
                           static_cast<std::uint32_t>(text.size()), count, kinds});
  arena_.append(text);
  if (2 * entries_.size() > slots_.size()) {
    grow();
    return;
  }
  place(hash, entries_.size() - 1);
}

void DistinctCounter::grow() {
  std::size_t size = slots_.size();
  while (2 * entries_.size() > size) size *= 2;
  slots_.assign(size, 0);
  // Entries keep no hash (memory is what bounds them); the few regrowths work it out again.
  for (std::size_t i = 0; i < entries_.size(); ++i) place(hashOf(textOf(entries_[i])), i);
}

void DistinctCounter::prefetchSlot(std::uint64_t hash) const {
  __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
}

void DistinctCounter::prefetchEntry(std::uint64_t hash) const {
  // Only the entry of the first slot: a text met before mostly sits there.
  const std::uint32_t held = slots_[hash & (slots_.size() - 1)];
  if (held != 0 && (held & ~kIndexMask) == tagOf(hash)) __builtin_prefetch(&entries_[(held & kIndexMask) - 1]);
}

DistinctCounter::Novelty DistinctCounter::add(std::string_view text, unsigned kind, std::uint64_t hash) {
  const std::size_t index = hash >> (64 - kRegisterBits);
  const std::uint64_t rest = hash << kRegisterBits;
  const auto rank = static_cast<std::uint8_t>(rest == 0 ? 64 - kRegisterBits + 1 : std::countl_zero(rest) + 1);
  if (rank > registers_[index]) registers_[index] = rank;

  const auto kindBit = static_cast<std::uint16_t>(1u << (kind % 16));
  if (Entry* found = find(hash, text)) {
    ++found->count;
    if (estimating_) return {};
    Novelty novelty;
    novelty.textOfKind = (found->kinds & kindBit) == 0;
    found->kinds |= kindBit;
    return novelty;
  }
  if (estimating_) return {};
  // The text that would pass a bound is not kept: counting turns to the estimate.
  const std::size_t bytes = exactBytes_ + text.size() + kEntryOverhead;
  if (entries_.size() + 1 > kExactLimit || bytes > exactByteLimit_) {
    keepCandidates();
    return {};
  }
  exactBytes_ = bytes;
  insert(hash, text, kindBit, 1);
  return {true, true};
}

void DistinctCounter::keepCandidates() {
  estimating_ = true;
  std::vector<std::uint32_t> order(entries_.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  const std::size_t kept = std::min(kCandidates, order.size());
  std::partial_sort(order.begin(), order.begin() + static_cast<std::ptrdiff_t>(kept), order.end(),
                    [&](std::uint32_t a, std::uint32_t b) {
                      return entries_[a].count != entries_[b].count ? entries_[a].count > entries_[b].count : a < b;
                    });
  order.resize(kept);
  std::sort(order.begin(), order.end());  // first additions first, as before
  std::vector<Entry> entries = std::move(entries_);
  std::string arena = std::move(arena_);
  entries_ = {};
  arena_ = {};
  slots_.assign(kFirstSlots, 0);
  for (std::uint32_t i : order) {
    const Entry& entry = entries[i];
    const std::string_view text = std::string_view(arena).substr(entry.offset, entry.length);
    insert(hashOf(text), text, entry.kinds, entry.count);
  }
}

std::vector<std::pair<std::string, std::int64_t>> DistinctCounter::mostFrequent(std::size_t limit) const {
  std::vector<std::uint32_t> repeated;
  for (std::uint32_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].count > 1) repeated.push_back(i);
  const std::size_t kept = std::min(limit, repeated.size());
  std::partial_sort(repeated.begin(), repeated.begin() + static_cast<std::ptrdiff_t>(kept), repeated.end(),
                    [&](std::uint32_t a, std::uint32_t b) {
                      return entries_[a].count != entries_[b].count ? entries_[a].count > entries_[b].count : a < b;
                    });
  std::vector<std::pair<std::string, std::int64_t>> result;
  for (std::size_t i = 0; i < kept; ++i)
    result.emplace_back(std::string(textOf(entries_[repeated[i]])), entries_[repeated[i]].count);
  return result;
}

std::int64_t DistinctCounter::count() const {
  if (!estimating_) return static_cast<std::int64_t>(entries_.size());
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
