#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tabvora::internal {

// Counts the distinct texts it is given, and how often each comes, in bounded memory:
// exactly while they number at most kExactLimit and hold at most `exactBytes` (texts and
// their bookkeeping), then by a HyperLogLog estimate (2^14 one-byte registers, a standard
// error of about 0.8%) fed with every text from the start. When exact counting stops, the
// kCandidates most frequent texts so far stay and go on being counted exactly; other texts
// are then only estimated.
class DistinctCounter {
 public:
  static constexpr std::size_t kExactLimit = 100'000;
  static constexpr std::size_t kExactBytes = std::size_t{16} << 20;
  static constexpr std::size_t kCandidates = 64;

  explicit DistinctCounter(std::size_t exactBytes = kExactBytes);

  // What the exact count knows of a text added with a kind (any small number, below 16):
  // whether the text is new, and whether it is new with that kind. Both false once counting
  // estimates.
  struct Novelty {
    bool text = false;
    bool textOfKind = false;
  };
  Novelty add(std::string_view text, unsigned kind = 0) { return add(text, kind, hashOf(text)); }
  // The same, with the text's hashOf worked out already.
  Novelty add(std::string_view text, unsigned kind, std::uint64_t hash);

  // The hash every text is counted by.
  static std::uint64_t hashOf(std::string_view text);

  // Hints that a text of this hash will be added soon: the first fetches its place in the
  // table into the cache, the second (once that has arrived) the entry found there. They
  // change nothing, so a text can be added without them or after other texts.
  void prefetchSlot(std::uint64_t hash) const;
  void prefetchEntry(std::uint64_t hash) const;

  std::int64_t count() const;
  bool isEstimate() const { return estimating_; }

  // The texts added more than once, most often first (ties: the one added first first), at
  // most `limit`, with their counts. Once estimating, only the candidates kept are looked at.
  std::vector<std::pair<std::string, std::int64_t>> mostFrequent(std::size_t limit) const;

 private:
  static constexpr int kRegisterBits = 14;
  static constexpr std::size_t kRegisters = std::size_t{1} << kRegisterBits;

  // One text kept, its bytes in arena_; entries_ are in order of first addition. `head`
  // holds its first (up to) 8 bytes, so a short text is compared without the arena.
  struct Entry {
    std::uint64_t head;
    std::uint32_t offset;
    std::uint32_t length;
    std::int64_t count;
    std::uint16_t kinds;  // bit k: added with kind k
  };

  Entry* find(std::uint64_t hash, std::string_view text);
  void insert(std::uint64_t hash, std::string_view text, std::uint16_t kinds, std::int64_t count);
  void grow();
  void place(std::uint64_t hash, std::size_t index);
  void keepCandidates();
  std::string_view textOf(const Entry& entry) const {
    return std::string_view(arena_).substr(entry.offset, entry.length);
  }

  // Open addressing: a slot holds an entry's index + 1 in its low 17 bits and 15 bits of the
  // text's hash above them (so most probes of other texts end without reading the entry),
  // 0 when free; at most half are used.
  std::vector<std::uint32_t> slots_;
  std::vector<Entry> entries_;
  std::string arena_;
  std::size_t exactByteLimit_;
  std::size_t exactBytes_ = 0;
  bool estimating_ = false;
  std::array<std::uint8_t, kRegisters> registers_{};
};

}  // namespace tabvora::internal
