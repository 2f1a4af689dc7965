#include "model/ascii_collation.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/localized_text.hpp"

namespace tabvora::internal {

namespace {

constexpr char kFirstPrintable = 0x20;
constexpr char kLastPrintable = 0x7e;
// Past this many significant digits the collator splits a number; left to it.
constexpr std::size_t kMaxDigits = 100;

bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

int sign(int value) { return (value > 0) - (value < 0); }

// Each printable ASCII character's rank among them in the collation (equal for letters
// that differ only in case; one rank for all digits); 0 for characters left to the collator.
struct Ranks {
  std::array<std::uint8_t, 128> rank{};
};

Ranks learnRanks() {
  Ranks ranks;
  const auto compare = [](char a, char b) { return localizedStandardCompare(std::string(1, a), std::string(1, b)); };
  // Only with numbers compared by value and case ignored does the shortcut hold.
  if (localizedStandardCompare("9", "10") >= 0 || localizedStandardCompare("a", "A") != 0) return ranks;
  std::vector<char> characters;
  for (char c = kFirstPrintable; c <= kLastPrintable; ++c) {
    if (c >= '1' && c <= '9') continue;                                  // '0' stands for every digit
    if (localizedStandardCompare(std::string(1, c), "") == 0) continue;  // weighs nothing
    if (c != '0' && (sign(compare(c, '0')) == 0 || sign(compare(c, '0')) != sign(compare(c, '9')))) {
      return ranks;  // a character among the digits: no single rank for them
    }
    characters.push_back(c);
  }
  std::stable_sort(characters.begin(), characters.end(), [&](char a, char b) { return compare(a, b) < 0; });
  std::uint8_t rank = 0;
  for (std::size_t i = 0; i < characters.size(); ++i) {
    if (i == 0 || compare(characters[i - 1], characters[i]) != 0) ++rank;
    ranks.rank[static_cast<unsigned char>(characters[i])] = rank;
  }
  for (char c = '1'; c <= '9'; ++c) ranks.rank[static_cast<unsigned char>(c)] = ranks.rank['0'];
  return ranks;
}

const Ranks& ranks() {
  static const Ranks learnt = learnRanks();
  return learnt;
}

std::uint8_t rankOf(const Ranks& ranks, unsigned char c) { return c < 128 ? ranks.rank[c] : 0; }

// The end of the digit run at `start`, and where its significant digits begin.
std::size_t digitRunEnd(std::string_view text, std::size_t start, std::size_t& significant) {
  significant = start;
  while (significant < text.size() && text[significant] == '0') ++significant;
  std::size_t end = significant;
  while (end < text.size() && isDigit(static_cast<unsigned char>(text[end]))) ++end;
  return end;
}

}  // namespace

int AsciiCollation::compare(std::string_view a, std::string_view b) {
  const Ranks& table = ranks();
  std::size_t i = 0;
  std::size_t j = 0;
  while (true) {
    if (i == a.size() || j == b.size()) {
      if (i == a.size() && j == b.size()) return 0;
      // The longer text goes after when what follows weighs something.
      const unsigned char next = static_cast<unsigned char>(i == a.size() ? b[j] : a[i]);
      if (rankOf(table, next) == 0) return 0;
      return i == a.size() ? -1 : 1;
    }
    const auto ca = static_cast<unsigned char>(a[i]);
    const auto cb = static_cast<unsigned char>(b[j]);
    const std::uint8_t ra = rankOf(table, ca);
    const std::uint8_t rb = rankOf(table, cb);
    if (ra == 0 || rb == 0) return 0;
    if (ra != rb) return ra < rb ? -1 : 1;
    if (isDigit(ca) && isDigit(cb)) {
      std::size_t sa = 0;
      std::size_t sb = 0;
      const std::size_t ea = digitRunEnd(a, i, sa);
      const std::size_t eb = digitRunEnd(b, j, sb);
      if (ea - sa > kMaxDigits || eb - sb > kMaxDigits) return 0;
      if (ea - sa != eb - sb) return ea - sa < eb - sb ? -1 : 1;
      if (const int order = a.substr(sa, ea - sa).compare(b.substr(sb, eb - sb))) return sign(order);
      i = ea;
      j = eb;
      continue;
    }
    ++i;
    ++j;
  }
}

int standardTextCompare(std::string_view a, std::string_view b) {
  if (const int order = AsciiCollation::compare(a, b)) return order;
  return localizedStandardCompare(a, b);
}

}  // namespace tabvora::internal
