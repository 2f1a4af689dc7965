#include "platform/localized_text.hpp"

#include <memory>
#include <string>

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include "platform/ascii_case.hpp"

namespace tabvora::internal {

namespace {

bool isASCII(std::string_view text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

// Root-locale collator that ignores case (secondary strength) and compares digit runs by
// value. Built once per thread: creating a collator costs far more than a comparison, and
// a collator is not safe to share between threads while comparing.
icu::Collator* standardCollator() {
  thread_local std::unique_ptr<icu::Collator> collator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> c(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !c) return std::unique_ptr<icu::Collator>();
    c->setStrength(icu::Collator::SECONDARY);
    c->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    c->setAttribute(UCOL_NORMALIZATION_MODE, UCOL_ON, status);
    return c;
  }();
  return collator.get();
}

icu::UnicodeString foldedCase(std::string_view text) {
  icu::UnicodeString s = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  s.foldCase(U_FOLD_CASE_DEFAULT);
  return s;
}

}  // namespace

int localizedStandardCompare(std::string_view a, std::string_view b) {
  if (a == b) return 0;
  icu::Collator* collator = standardCollator();
  if (collator != nullptr) {
    UErrorCode status = U_ZERO_ERROR;
    const UCollationResult result =
        collator->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                              icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
    if (U_SUCCESS(status)) return result == UCOL_LESS ? -1 : (result == UCOL_GREATER ? 1 : 0);
  }
  // Without collation data, fall back to code point order so sorting stays total.
  return a < b ? -1 : 1;
}

bool localizedCaseInsensitiveContains(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return true;
  if (isASCII(haystack) && isASCII(needle)) {
    // For ASCII text, case folding is exactly ASCII lower-casing.
    if (needle.size() > haystack.size()) return false;
    for (std::size_t start = 0; start + needle.size() <= haystack.size(); ++start) {
      std::size_t k = 0;
      while (k < needle.size() && asciiLower(haystack[start + k]) == asciiLower(needle[k])) ++k;
      if (k == needle.size()) return true;
    }
    return false;
  }
  return foldedCase(haystack).indexOf(foldedCase(needle)) >= 0;
}

}  // namespace tabvora::internal
