#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

#include "drivers/json/json_line_chunks.hpp"
#include "drivers/json/json_record_source.hpp"

namespace tabvora::internal {

// The records of a JSON Lines file: one JSON object per non-blank line, each chunk of
// lines one unit of work. A line that does not parse, or holds anything but an object, is
// skipped and counted once (by the schema reader).
class JSONLinesSource final : public JSONRecordSource {
 public:
  // A preview reads a prefix of the file, grown from kFirstPreviewBytes until the limited
  // lines are complete or the file ends, and never past kMostPreviewBytes; a line cut by
  // that cap is not read.
  static constexpr std::uint64_t kFirstPreviewBytes = 1'000'000;
  static constexpr std::uint64_t kMostPreviewBytes = 64'000'000;

  // Without lineLimit the whole file is read. With it only the first lines of the first
  // chunk are (see JSONLineChunks). Throws DriverError as JSONFileText does, and when a
  // preview finds no end to the first line within kMostPreviewBytes.
  JSONLinesSource(const std::filesystem::path& url, std::optional<std::size_t> lineLimit);

  bool linesLeftOut() const { return linesLeftOut_; }

 private:
  bool nextRecord(const JSONRange& chunk, std::size_t& pos, JSONRange& record) const override {
    return JSONLineChunks::nextLine(text_.text(), chunk, pos, record);
  }
  void readPreview(std::size_t lineLimit);

  bool linesLeftOut_ = false;
};

}  // namespace tabvora::internal
