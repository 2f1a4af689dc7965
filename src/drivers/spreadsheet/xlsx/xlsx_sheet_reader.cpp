#include "drivers/spreadsheet/xlsx/xlsx_sheet_reader.hpp"

#include <algorithm>
#include <deque>
#include <exception>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>

#include "drivers/spreadsheet/xlsx/xlsx_escaped_text.hpp"
#include "drivers/spreadsheet/xlsx/xlsx_serial_date.hpp"
#include "drivers/spreadsheet/xml/xml_parse_settings.hpp"
#include "platform/ascii_case.hpp"
#include "platform/number_parsing.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

constexpr std::int64_t kBeyondLastColumn = XLSXSheetReader::kMaxColumnIndex + 1;

// The 0-based column of a reference such as "B7" or "aa10": its leading letters read as a
// base-26 number with A = 1; 0 without letters; kBeyondLastColumn past the last column.
std::int64_t columnIndex(std::string_view reference) {
  std::int64_t value = 0;
  for (const char c : reference) {
    const char letter = asciiUpper(c);
    if (letter < 'A' || letter > 'Z') break;
    value = std::min(value * 26 + (letter - 'A' + 1), kBeyondLastColumn + 1);
  }
  return value == 0 ? 0 : value - 1;
}

}  // namespace

XLSXSheetReader::XLSXSheetReader(const std::vector<std::string>& sharedStrings,
                                 const std::unordered_set<std::int64_t>& dateStyles, bool uses1904Dates)
    : sharedStrings_(&sharedStrings), dateStyles_(&dateStyles), uses1904Dates_(uses1904Dates) {}

XLSXSheetReader::XLSXSheetReader(const std::unordered_set<std::int64_t>& dateStyles, bool uses1904Dates)
    : dateStyles_(&dateStyles), uses1904Dates_(uses1904Dates) {}

void XLSXSheetReader::setLimits(std::int64_t maxGridCells, std::int64_t maxGridTextBytes) {
  maxGridCells_ = maxGridCells;
  maxGridTextBytes_ = maxGridTextBytes;
}

void XLSXSheetReader::setElementLimits(std::int64_t maxRowElements, std::int64_t maxCellElements) {
  maxRowElements_ = maxRowElements;
  maxCellElements_ = maxCellElements;
}

namespace {

// A part held whole, handed out in chunks.
class SpanSource final : public XLSXSheetReader::Source {
 public:
  explicit SpanSource(std::span<const std::uint8_t> part) : part_(part) {}
  std::span<const std::uint8_t> next() override {
    const std::span<const std::uint8_t> chunk = part_.subspan(offset_, std::min(kChunkBytes, part_.size() - offset_));
    offset_ += chunk.size();
    return chunk;
  }
  void rewind() override { offset_ = 0; }

 private:
  static constexpr std::size_t kChunkBytes = std::size_t{1} << 20;
  std::span<const std::uint8_t> part_;
  std::size_t offset_ = 0;
};

std::span<const std::uint8_t> bytesOf(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

bool XLSXSheetReader::parse(std::span<const std::uint8_t> part) {
  SpanSource source(part);
  return parse(source);
}

bool XLSXSheetReader::parse(Source& part) {
  const bool parsed = read(part);
  if (sharedStrings_ != nullptr && !resolveSharedStrings(*sharedStrings_)) return false;
  return parsed;
}

// One segment of a part and the reader of it, on a thread of its own.
struct XLSXSheetReader::Segment {
  Segment(const XLSXSheetReader& whole, std::string text, bool last)
      : reader(*whole.dateStyles_, whole.uses1904Dates_), bytes(std::move(text)), last(last) {
    reader.setLimits(whole.maxGridCells_, whole.maxGridTextBytes_);
    reader.setElementLimits(whole.maxRowElements_, whole.maxCellElements_);
    reader.setBudget(whole.account_.budget());
  }

  // Reads the segment after the prefix: the last to the document's end, any other as far as
  // its cut, which must hold. Since the segment's own start held, the events it reads are
  // those of the whole part, so an error it meets is the part's.
  void read(const XLSXSheetSplit& split) {
    try {
      SpreadsheetMLStreamParser parser(reader);
      parsed = parser.feed(bytesOf(split.prefix)) && parser.feed(bytesOf(bytes));
      if (last) {
        parsed = parsed && parser.finish();
        holds = true;
      } else {
        holds = split.holdsAfterPrefix(parser, bytes.size());
      }
    } catch (...) {
      failure = std::current_exception();
    }
  }

  XLSXSheetReader reader;
  std::string bytes;
  bool last;
  bool parsed = false;  // read without an error or a stop
  bool holds = false;   // its end is where the next segment starts
  std::exception_ptr failure;
  std::jthread thread;  // joined before the rest is looked at
};

// The segments being read, oldest first, and the bytes they hold charged while they live.
class XLSXSheetReader::Segments {
 public:
  explicit Segments(WorkbookBudget* budget) : held_(budget) {}
  ~Segments() { abandon(); }
  Segments(const Segments&) = delete;
  Segments& operator=(const Segments&) = delete;

  bool empty() const { return running_.empty(); }
  std::size_t size() const { return running_.size(); }
  bool charge(std::size_t bytes) { return held_.tryCharge(static_cast<std::int64_t>(bytes)); }
  void release(std::size_t bytes) { held_.release(static_cast<std::int64_t>(bytes)); }

  void start(const XLSXSheetReader& whole, const XLSXSheetSplit& split, std::string bytes, bool last) {
    auto segment = std::make_unique<Segment>(whole, std::move(bytes), last);
    segment->reader.abandoned_ = &abandoned_;
    Segment& started = *segment;
    running_.push_back(std::move(segment));
    try {
      started.thread = std::jthread([&started, &split] { started.read(split); });
    } catch (const std::system_error&) {
      started.read(split);  // no thread to be had
    }
  }

  // The oldest segment, read: its reader gives its rows away, the segment its bytes.
  std::unique_ptr<Segment> finishOldest() {
    std::unique_ptr<Segment> oldest = std::move(running_.front());
    running_.pop_front();
    if (oldest->thread.joinable()) oldest->thread.join();
    held_.release(static_cast<std::int64_t>(oldest->bytes.size()));
    if (oldest->failure) std::rethrow_exception(oldest->failure);
    return oldest;
  }

  // Stops every segment soon and waits for them.
  void abandon() {
    abandoned_ = true;
    for (const std::unique_ptr<Segment>& segment : running_) {
      if (segment->thread.joinable()) segment->thread.join();
    }
    running_.clear();
    abandoned_ = false;
  }

 private:
  std::deque<std::unique_ptr<Segment>> running_;
  std::atomic<bool> abandoned_ = false;
  WorkbookBudget::Account held_;
};

bool XLSXSheetReader::read(Source& part) {
  readInSegments_ = false;
  if (rowLimit_ != SIZE_MAX) return readInOnePass(part);
  XMLParseSettings::initialize();
  std::optional<XLSXSheetSplit> split;  // outlives the segments, which read it
  Segments segments(account_.budget());
  std::string pending;       // bytes past those read, held until a cut is found
  std::size_t searched = 0;  // where in them the next row end is sought from

  // The first segment is read here as the part comes, and may turn out to be the part.
  SpreadsheetMLStreamParser parser(*this);
  std::size_t fed = 0;
  std::span<const std::uint8_t> chunk = part.next();
  if (!chunk.empty()) split = XLSXSheetSplit::find(chunk, 0);
  for (; !chunk.empty(); chunk = part.next()) {
    if (!split || (pending.empty() && fed + chunk.size() <= splitPartBytes_)) {
      if (!parser.feed(chunk)) return false;
      fed += chunk.size();
      continue;
    }
    if (!segments.charge(chunk.size())) {
      outOfBudget_ = reachedLimit_ = true;
      return false;
    }
    pending.append(reinterpret_cast<const char*>(chunk.data()), chunk.size());
    const std::size_t segmentEnd = splitPartBytes_ - std::min(fed, splitPartBytes_);  // in `pending`
    searched = std::max(searched, segmentEnd);
    const std::optional<std::size_t> cut = split->nextCut(pending, searched);
    // A row end may straddle the chunks.
    if (!cut) searched = std::max(searched, pending.size() - std::min<std::size_t>(pending.size(), 64));
    if (!cut && pending.size() <= segmentEnd + kMaxUncutBytes) continue;
    // Read up to the cut, which holds or else the part is read on in one pass.
    const std::size_t upTo = cut.value_or(pending.size());
    if (!parser.feed(bytesOf(std::string_view(pending).substr(0, upTo)))) return false;
    fed += upTo;
    split->cut = fed;
    if (cut && split->holdsFor(parser)) {
      pending.erase(0, upTo);
      segments.release(upTo);
      break;
    }
    if (!parser.feed(bytesOf(std::string_view(pending).substr(upTo)))) return false;
    segments.release(pending.size());
    pending.clear();
    split.reset();
  }
  if (chunk.empty()) return (pending.empty() || parser.feed(bytesOf(pending))) && parser.finish();

  // Takes the oldest segment's rows; false when reading ends there: `parsed` then says
  // whether the part was well-formed, or is empty when it must be read again in one pass.
  std::optional<bool> parsed;
  auto takeOldest = [&] {
    const std::unique_ptr<Segment> segment = segments.finishOldest();
    if (segment->parsed && !segment->holds) {
      parsed.reset();
      return false;
    }
    const bool within = adopt(segment->reader);
    parsed = within && segment->parsed;
    return within && segment->parsed && !segment->last;
  };
  readInSegments_ = true;
  searched = splitPartBytes_;
  bool stopped = false;
  bool uncut = false;
  auto startSegments = [&] {
    while (!stopped && pending.size() > searched) {
      const std::optional<std::size_t> cut = split->nextCut(pending, searched);
      if (!cut) {
        searched = std::max(searched, pending.size() - std::min<std::size_t>(pending.size(), 64));
        uncut = pending.size() > splitPartBytes_ + kMaxUncutBytes;
        break;
      }
      std::string rest = pending.substr(*cut);
      pending.resize(*cut);
      segments.start(*this, *split, std::move(pending), false);
      pending.swap(rest);
      pending.reserve(splitPartBytes_ + (std::size_t{1} << 19));
      searched = splitPartBytes_;
      while (!stopped && segments.size() >= kSegmentsAtOnce) stopped = !takeOldest();
    }
  };
  startSegments();
  for (chunk = part.next(); !chunk.empty() && !stopped && !uncut; chunk = part.next()) {
    if (!segments.charge(chunk.size())) {
      outOfBudget_ = reachedLimit_ = true;
      return false;
    }
    pending.append(reinterpret_cast<const char*>(chunk.data()), chunk.size());
    startSegments();
  }
  if (!stopped && !uncut) segments.start(*this, *split, std::move(pending), true);
  while (!stopped && !uncut && !segments.empty()) stopped = !takeOldest();
  if (parsed && !uncut) return *parsed;
  // A cut that did not hold, or a row too long to cut after: the part read again.
  segments.abandon();
  forgetRows();
  part.rewind();
  readInSegments_ = false;
  return readInOnePass(part);
}

bool XLSXSheetReader::readInOnePass(Source& part) {
  SpreadsheetMLStreamParser parser(*this);
  for (std::span<const std::uint8_t> chunk = part.next(); !chunk.empty(); chunk = part.next()) {
    if (!parser.feed(chunk)) return false;
  }
  return parser.finish();
}

// Takes a segment's rows as if this reader had read them after its own, up to the first
// that would take the grid past a limit.
bool XLSXSheetReader::adopt(XLSXSheetReader& segment) {
  const SheetGrid& rows = segment.grid_;
  std::size_t kept = 0;
  for (; kept < rows.rowCount(); ++kept) {
    const auto width = static_cast<std::int64_t>(rows.width(kept));
    const std::int64_t textBytes = rows.textBytes(kept);
    const ElementsRead elements = segment.elementsAtRowEnds_[kept];
    if (gridCells_ + width > maxGridCells_ || gridTextBytes_ + textBytes > maxGridTextBytes_ ||
        rowElements_ + elements.rows > maxRowElements_ || cellElements_ + elements.cells > maxCellElements_) {
      reachedLimit_ = true;
      break;
    }
    gridCells_ += width;
    gridTextBytes_ += textBytes;
  }
  grid_.append(std::move(segment.grid_), kept);
  account_.adopt(segment.account_);
  outOfBudget_ = outOfBudget_ || segment.outOfBudget_;
  reachedLimit_ = reachedLimit_ || segment.reachedLimit_ || outOfBudget_ ||
                  rowElements_ + segment.rowElements_ > maxRowElements_ ||
                  cellElements_ + segment.cellElements_ > maxCellElements_;
  rowElements_ += segment.rowElements_;
  cellElements_ += segment.cellElements_;
  return !reachedLimit_;
}

void XLSXSheetReader::forgetRows() {
  grid_ = SheetGrid();
  gridCells_ = gridTextBytes_ = rowElements_ = cellElements_ = 0;
  reachedLimit_ = outOfBudget_ = false;
  account_.releaseAll();
}

bool XLSXSheetReader::resolveSharedStrings(const std::vector<std::string>& sharedStrings) {
  grid_.resolveSharedStrings(sharedStrings);
  const std::size_t kept = grid_.rowsWithinTextBytes(maxGridTextBytes_);
  if (kept == grid_.rowCount()) return true;
  grid_.truncate(kept);
  reachedLimit_ = true;
  return false;
}

std::int64_t XLSXSheetReader::maxColIndex() const {
  return grid_.empty() ? 0 : static_cast<std::int64_t>(grid_.maxWidth()) - 1;
}

void XLSXSheetReader::startElement(SpreadsheetMLStreamParser::Name name,
                                   const SpreadsheetMLStreamParser::Attributes& attributes) {
  if (name == "c") {
    if (++cellElements_ > maxCellElements_) return stopAtLimit();
    startCell(attributes);
  } else if (name == "v") {
    capturing_ = true;
  } else if (name == "t") {
    capturing_ = inInlineString_ && phoneticDepth_ == 0;
  } else if (name == "row") {
    if (!countRowElement()) return;
    startRow();
  } else if (name == "is") {
    inInlineString_ = true;
    cellInline_ = true;
  } else if (name == "rPh") {
    ++phoneticDepth_;
  }
}

void XLSXSheetReader::endElement(SpreadsheetMLStreamParser::Name name) {
  if (name == "v" || name == "t") {
    capturing_ = false;
  } else if (name == "c") {
    endCell();
  } else if (name == "row") {
    endRow();
  } else if (name == "is") {
    inInlineString_ = false;
  } else if (name == "rPh") {
    if (phoneticDepth_ > 0) --phoneticDepth_;
  }
}

void XLSXSheetReader::characters(std::string_view text) {
  if (capturing_) cellValue_ += text;
}

void XLSXSheetReader::startRow() {
  row_.clear();
  nextColIndex_ = 0;
}

// Counts a row element and checks both element limits. A segment checks its own counts;
// the reader taking its rows checks them against the whole part's (adopt).
bool XLSXSheetReader::countRowElement() {
  ++rowElements_;
  if (rowElements_ > maxRowElements_ || cellElements_ > maxCellElements_) {
    stopAtLimit();
    return false;
  }
  return true;
}

bool XLSXSheetReader::abandoned() const { return abandoned_ != nullptr && abandoned_->load(std::memory_order_relaxed); }

void XLSXSheetReader::endRow() {
  if (abandoned()) return stopParsing();
  const auto width = static_cast<std::int64_t>(row_.width());
  if (width == 0) return;
  if (grid_.rowCount() >= rowLimit_) {
    rowsRemain_ = true;
    return stopParsing();
  }
  // A segment's own use past a limit puts the whole part's past it too.
  if (gridCells_ + width > maxGridCells_ || gridTextBytes_ + row_.textBytes() > maxGridTextBytes_) return stopAtLimit();
  if (!account_.tryCharge(row_.gridBytes())) {
    outOfBudget_ = true;
    return stopAtLimit();
  }
  if (!grid_.append(row_)) return stopAtLimit();
  gridCells_ += width;
  gridTextBytes_ += row_.textBytes();
  if (abandoned_ != nullptr) elementsAtRowEnds_.push_back({rowElements_, cellElements_});
}

void XLSXSheetReader::startCell(const SpreadsheetMLStreamParser::Attributes& attributes) {
  const std::optional<std::string_view> reference = attributes.value("r");
  cellCol_ = reference ? columnIndex(*reference) : nextColIndex_;
  const std::string_view type = attributes.value("t").value_or("");
  if (type == "s") {
    cellType_ = CellType::sharedString;
  } else if (type == "b") {
    cellType_ = CellType::boolean;
  } else if (type == "inlineStr" || type == "str" || type == "e" || type == "d") {
    cellType_ = CellType::text;
  } else {
    cellType_ = CellType::number;
  }
  const std::optional<std::string_view> style = attributes.value("s");
  cellStyle_ = style ? parseInt64(*style).value_or(-1) : -1;
  cellValue_.clear();
  cellInline_ = false;
}

void XLSXSheetReader::endCell() {
  if (abandoned()) return stopParsing();
  nextColIndex_ = std::min(cellCol_ + 1, kBeyondLastColumn);
  if (cellCol_ > kMaxColumnIndex) return;
  const auto column = static_cast<std::size_t>(cellCol_);
  if (cellType_ == CellType::sharedString) {
    row_.setSharedString(column, cellValue_);
  } else {
    row_.setText(column, resolvedCellText());
  }
}

std::string_view XLSXSheetReader::resolvedCellText() {
  switch (cellType_) {
    case CellType::boolean: return cellValue_ == "1" ? "TRUE" : "FALSE";
    case CellType::sharedString:  // resolved with the grid
      return cellValue_;
    case CellType::text:
      if (cellInline_) decodeXLSXEscapes(cellValue_);
      // A recovering parse passes damaged bytes through; a text cell is always UTF-8.
      if (!isValidUTF8(cellValue_)) cellValue_ = repairUTF8(cellValue_);
      return cellValue_;
    case CellType::number: break;
  }
  if (dateStyles_->empty() || !dateStyles_->contains(cellStyle_)) return cellValue_;
  // Whole-day serials are the common case; integer text reads to the same double as
  // through strtod, without its copy.
  std::optional<double> serial;
  if (const std::optional<std::int64_t> day = parseInt64(cellValue_)) {
    serial = static_cast<double>(*day);
  } else {
    serial = parseDouble(cellValue_);
  }
  if (serial && formatXLSXSerialDate(*serial, uses1904Dates_, dateText_)) return dateText_;
  return cellValue_;
}

void XLSXSheetReader::stopAtLimit() {
  reachedLimit_ = true;
  stopParsing();
}

}  // namespace tabvora::internal
