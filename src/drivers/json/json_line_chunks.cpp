#include "drivers/json/json_line_chunks.hpp"

#include <cstring>

namespace tabvora::internal {

bool JSONLineChunks::nextLine(std::string_view text, const JSONRange& chunk, std::size_t& pos, JSONRange& line) {
  const char* data = text.data();
  while (pos < chunk.end) {
    std::size_t begin = pos;
    const void* lf = std::memchr(data + pos, '\n', chunk.end - pos);
    std::size_t end = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - data) : chunk.end;
    pos = lf ? end + 1 : chunk.end;
    if (lf && end > begin && data[end - 1] == '\r') --end;
    while (begin < end && (data[begin] == ' ' || data[begin] == '\t')) ++begin;
    if (begin < end) {
      line = {begin, end};
      return true;
    }
  }
  return false;
}

JSONLineChunks JSONLineChunks::scan(std::string_view text, std::optional<std::size_t> lineLimit, bool complete) {
  JSONLineChunks result;
  if (!lineLimit && complete) {
    // Every line is read: a chunk ends at the first LF kChunkBytes past its start (or at the
    // text's end), found without looking at the lines between. Blank lines are left to
    // nextLine; a chunk of nothing but blank lines is not kept.
    for (std::size_t begin = 0; begin < text.size();) {
      std::size_t end = text.size();
      if (text.size() - begin > kChunkBytes) {
        const std::size_t lf = text.find('\n', begin + kChunkBytes - 1);
        if (lf != std::string_view::npos) end = lf + 1;
      }
      std::size_t pos = begin;
      JSONRange line;
      if (nextLine(text, JSONRange{begin, end}, pos, line)) result.chunks.push_back(JSONRange{begin, end});
      begin = end;
    }
    return result;
  }
  std::size_t end = text.size();
  if (!complete) {
    const std::size_t lastLF = text.rfind('\n');
    end = lastLF == std::string_view::npos ? 0 : lastLF + 1;
  }

  const JSONRange all{0, end};
  JSONRange chunk{0, 0};
  std::size_t chunkLines = 0, chunkBytes = 0, pos = 0;
  JSONRange line;
  while (nextLine(text, all, pos, line)) {
    if (lineLimit && (chunkLines >= *lineLimit || chunkBytes >= kChunkBytes)) {
      result.linesLeftOut = true;
      break;
    }
    ++chunkLines;
    chunkBytes += line.size();
    chunk.end = pos;
    if (!lineLimit && chunkBytes >= kChunkBytes) {
      result.chunks.push_back(chunk);
      chunk = {pos, pos};
      chunkLines = chunkBytes = 0;
    }
  }
  if (lineLimit) result.limitReached = chunkLines >= *lineLimit || chunkBytes >= kChunkBytes;
  if (chunkLines > 0) result.chunks.push_back(chunk);
  return result;
}

}  // namespace tabvora::internal
