#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "drivers/json/json_line_chunks.hpp"
#include "drivers/json/json_record_source.hpp"
#include "platform/mapped_file.hpp"

namespace tabvora {

// The records of a JSON Lines file: one JSON object per non-blank line. The file is mapped,
// its lines found by a byte scan, and each chunk of lines is one unit of work. A line that
// does not parse, or holds anything but an object, is skipped and counted once (by the
// schema reader).
class JSONLinesSource final : public JSONRecordSource {
 public:
  // With lineLimit only the first lines of the first chunk are read (see JSONLineChunks).
  // Throws DriverError "Failed to read file at ..." when the file cannot be read.
  JSONLinesSource(const std::filesystem::path& url, std::optional<std::size_t> lineLimit);

  std::size_t byteCount() const { return file_->size(); }
  bool linesLeftOut() const { return lines_.linesLeftOut; }

  std::size_t unitCount() const override { return lines_.chunks.size(); }
  std::string_view orderingText() const override { return file_->text(); }
  SchemaReader makeSchemaReader() const override;
  RowReader makeRowReader(const std::vector<JSONColumn>& columns, const JSONKeyIndex& index) const override;

 private:
  std::optional<MappedFile> file_;
  JSONLineChunks lines_;
};

}  // namespace tabvora
