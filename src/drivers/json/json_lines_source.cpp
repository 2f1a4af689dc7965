#include "drivers/json/json_lines_source.hpp"

#include <algorithm>

#include "model/driver_error.hpp"
#include "platform/byte_count.hpp"

namespace tabvora::internal {

JSONLinesSource::JSONLinesSource(const std::filesystem::path& url, std::optional<std::size_t> lineLimit)
    : JSONRecordSource(url) {
  if (lineLimit) {
    readPreview(*lineLimit);
    return;
  }
  text_.readAll();
  chunks_ = JSONLineChunks::scan(text_.text(), std::nullopt).chunks;
}

void JSONLinesSource::readPreview(std::size_t lineLimit) {
  std::uint64_t prefix = kFirstPreviewBytes;
  for (;;) {
    text_.readPrefix(prefix);
    JSONLineChunks lines = JSONLineChunks::scan(text_.text(), lineLimit, text_.complete());
    const bool capped = text_.bytesRead() >= kMostPreviewBytes;
    if (lines.limitReached || text_.complete() || capped) {
      if (lines.chunks.empty() && !lines.limitReached && !text_.complete()) {
        const std::string cap = formatByteCount(static_cast<std::int64_t>(kMostPreviewBytes));
        throw DriverError("JSONDriver", -1,
                          "The first line is larger than " + cap + "; a preview reads at most " + cap);
      }
      chunks_ = std::move(lines.chunks);
      // Past a prefix, lines may follow that were never looked at.
      linesLeftOut_ = lines.linesLeftOut || !text_.complete();
      return;
    }
    prefix = std::min(prefix * 2, kMostPreviewBytes);
  }
}

}  // namespace tabvora::internal
