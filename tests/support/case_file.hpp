#pragma once

// Case tables kept as text files beside their tests, read by a small loop in the test.
//
// A case is a first line of words (what the case is about, the mode it runs in), the lines
// of its input, a line "----", the lines of its expected output, and a blank line. Lines
// starting with # between cases are comments. Each input or output line is one text with
// the escapes \n \r \t \b \f \v \\ \" \' \0 and \xHH (exactly two digits); a line "" is the empty
// text, and spaces at either end are written \x20.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tabvora::testing {

struct TextCase {
  std::string where;  // file:line, for failure messages
  std::vector<std::string> words, input, expected;
  std::size_t separator = 0, end = 0;  // 0-based lines of "----" (0: none) and of the blank line after
  std::string word(std::size_t i) const { return i < words.size() ? words[i] : std::string(); }
  std::string joinedInput() const;  // the input lines with a line end between them
};

// The cases of tests/<relative>.
std::vector<TextCase> readTextCases(std::string_view relative);
// Writes the file again with each case's expected lines replaced by `expected` (one list per
// case, in order), for review.
void rewriteExpected(std::string_view relative, const std::vector<std::vector<std::string>>& expected);
// Whether TABVORA_UPDATE_EXPECTED=1 asks tests to write what they found instead of checking it.
bool updatingExpected();

std::string unescapeText(std::string_view text);
// Backslashes, control characters and bytes that are not UTF-8 as escapes; the rest as it is.
// As a whole line, a space at its end is escaped too, and "" is written \"\".
std::string escapeText(std::string_view text, bool wholeLine = true);

}  // namespace tabvora::testing
