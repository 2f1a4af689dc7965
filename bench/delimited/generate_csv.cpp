// Writes a CSV of N rows x 8 mixed columns to standard output, deterministic for a given N:
// integers, ASCII text, decimals, dates, flags, zero-padded codes and quoted comments with commas,
// doubled quotes and the odd line break. About 100 bytes a row.
//
// A second argument picks a variant of the same rows (plain, the default, is the above):
//   latin1          most names hold accented letters as single Latin-1 bytes (é = E9), so the
//                   file, from its first rows on, is not UTF-8;
//   unclosed-quote  the file opens with a quote that never closes (no other quote follows), so
//                   the whole file is one header field.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
  const char* variant = argc == 3 ? argv[2] : "plain";
  const bool latin1 = std::strcmp(variant, "latin1") == 0;
  const bool unclosedQuote = std::strcmp(variant, "unclosed-quote") == 0;
  if ((argc != 2 && argc != 3) || (!latin1 && !unclosedQuote && std::strcmp(variant, "plain") != 0)) {
    std::fprintf(stderr, "usage: generate_csv ROWS [plain|latin1|unclosed-quote] > out.csv\n");
    return 2;
  }
  const long long rows = std::atoll(argv[1]);
  static const char* const kNames[] = {"Alice Martin", "Bob Li", "Chloe Dubois", "Dmitri Ivanov", "Eve O'Neil",
                                       "Farah Khan", "Gustav Mueller", "Hana Sato"};
  static const char* const kLatin1Names[] = {"Alice Mart\xEDn", "Bob L\xEF", "Chlo\xE9 Dubois", "Dmitri Ivanov",
                                             "\xC8ve O'Neil", "Farah Kh\xE2n", "Gustav M\xFCller", "Hana Sat\xF4"};
  static const char* const kComments[] = {"\"fragile, handle with care, keep upright in transit\"",
                                          "plain note about the order and nothing special",
                                          "\"customer said \"\"ok\"\" on the phone yesterday\"",
                                          "",
                                          "\"two\nlines of delivery instructions for the courier\"",
                                          "restock soon from the second warehouse in the north",
                                          "\"a, b, c and d are the sizes that were asked for\"",
                                          "n/a"};
  static const char* const kPlainComments[] = {"fragile and handle with care and keep upright in transit",
                                               "plain note about the order and nothing special",
                                               "customer said ok on the phone yesterday",
                                               "",
                                               "two lines of delivery instructions for the courier",
                                               "restock soon from the second warehouse in the north",
                                               "a and b and c and d are the sizes that were asked for",
                                               "n/a"};
  const char* const* names = latin1 ? kLatin1Names : kNames;
  const char* const* comments = unclosedQuote ? kPlainComments : kComments;
  unsigned long long state = 0x9E3779B97F4A7C15ull;
  auto next = [&] {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  };
  std::string out = unclosedQuote ? "\"" : "";
  out += "id,name,price,quantity,shipped,express,code,comment\n";
  char line[512];
  for (long long i = 1; i <= rows; ++i) {
    const unsigned long long r = next();
    const int n = std::snprintf(line, sizeof line, "%lld,%s,%llu.%02llu,%llu,2024-%02llu-%02llu,%s,%06llu,%s\n", i,
                                names[r % 8], (r >> 8) % 10000, (r >> 20) % 100, (r >> 28) % 500, 1 + (r >> 36) % 12,
                                1 + (r >> 40) % 28, (r >> 45) & 1 ? "true" : "false", (r >> 46) % 1000000,
                                comments[(r >> 3) % 8]);
    out.append(line, static_cast<std::size_t>(n));
    if (out.size() > (1 << 20)) {
      std::fwrite(out.data(), 1, out.size(), stdout);
      out.clear();
    }
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
