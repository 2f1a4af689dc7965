#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tabvora::internal {

// Converts text in any encoding ICU knows (by a converter name or alias) to UTF-8, a piece
// at a time: a character cut between two pieces is completed by the next. Strict: a byte
// sequence the encoding does not define fails, naming its offset.
class TextConverter {
 public:
  class Failure : public std::runtime_error {
   public:
    using std::runtime_error::runtime_error;
  };

  // Throws Failure for a name ICU does not know.
  explicit TextConverter(std::string_view encodingName);
  ~TextConverter();
  TextConverter(const TextConverter&) = delete;
  TextConverter& operator=(const TextConverter&) = delete;

  // Appends the UTF-8 of `bytes` to `out`; `last` marks the end of the text, where a cut
  // character fails. Throws Failure.
  void convert(std::span<const std::uint8_t> bytes, bool last, std::vector<std::uint8_t>& out);

  static bool isKnown(std::string_view encodingName);
  // ICU's canonical converter names.
  static std::vector<std::string> names();

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::uint64_t offset_ = 0;
  std::string name_;
};

}  // namespace tabvora::internal
