#include "drivers/json/json_line_chunks.hpp"

#include <cstring>

namespace tabvora {

namespace {

// Finds the next non-blank line at or after `pos`; false at the end of the data.
bool nextLine(std::string_view data, std::size_t& pos, JSONRange& line) {
  while (pos < data.size()) {
    std::size_t begin = pos;
    const void* lf = std::memchr(data.data() + pos, '\n', data.size() - pos);
    std::size_t end = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - data.data()) : data.size();
    pos = lf ? end + 1 : data.size();
    if (lf && end > begin && data[end - 1] == '\r') --end;
    while (begin < end && (data[begin] == ' ' || data[begin] == '\t')) ++begin;
    if (begin < end) {
      line = {begin, end};
      return true;
    }
  }
  return false;
}

}  // namespace

JSONLineChunks JSONLineChunks::scan(std::string_view data, std::optional<std::size_t> lineLimit) {
  JSONLineChunks result;
  std::size_t pos = data.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
  JSONRangeChunk chunk;
  std::size_t chunkBytes = 0;
  JSONRange line;
  while (nextLine(data, pos, line)) {
    if (lineLimit && (chunk.size() >= *lineLimit || chunkBytes >= kChunkBytes)) {
      // The first chunk is complete or cut: every further line is left out.
      result.linesLeftOut = true;
      break;
    }
    chunk.push_back(line);
    chunkBytes += line.size();
    if (!lineLimit && chunkBytes >= kChunkBytes) {
      result.chunks.push_back(std::move(chunk));
      chunk.clear();
      chunkBytes = 0;
    }
  }
  if (!chunk.empty()) result.chunks.push_back(std::move(chunk));
  return result;
}

}  // namespace tabvora
