#pragma once

#include <string_view>

namespace tabvora::internal {

// The order localizedStandardCompare gives two texts, worked out without the collator where
// that is sure: both printable ASCII up to the first place where their letters (either
// case), punctuation or digit runs (by value) differ. Such characters each weigh one
// primary weight in the collation, digit runs one number, so the first difference decides;
// their weights are learnt from the collator itself, once.
class AsciiCollation {
 public:
  // -1 or 1 when the order is settled so; 0 when only the collator can tell (including
  // texts it might find equal).
  static int compare(std::string_view a, std::string_view b);
};

// localizedStandardCompare's result, through AsciiCollation where that settles it.
int standardTextCompare(std::string_view a, std::string_view b);

}  // namespace tabvora::internal
