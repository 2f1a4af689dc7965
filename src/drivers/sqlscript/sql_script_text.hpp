#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tabvora::internal {

// The text forms of a script's bytes.
struct SQLScriptText {
  // A script that starts with a UTF-16 byte-order mark (FF FE or FE FF), re-encoded as
  // UTF-8 without the mark; nothing when it is not valid UTF-16. Other scripts are used
  // byte for byte: the caller keeps them as they are.
  static bool hasUTF16Mark(std::string_view bytes);
  static std::optional<std::string> fromUTF16(std::string_view bytes);

  // Bytes as text for SQLite, trying in order: UTF-8 (returned as is), Windows-1252,
  // ISO Latin-1, UTF-8 with every invalid sequence replaced.
  static std::string decode(std::string_view bytes);

  // A rewritten statement of a dump that declared its text UTF-8, with every single-quoted
  // literal whose bytes are not valid UTF-8 written as a blob literal X'...' of those bytes
  // (a literal the rewriter split around NUL characters, 'a'||char(0)||'b', counts as one).
  // Such literals are binary column values dumped as raw bytes; decoding the whole
  // statement in a legacy encoding instead would garble every other text in it.
  static std::string withBinaryLiteralsAsBlobs(std::string_view statement);
};

}  // namespace tabvora::internal
