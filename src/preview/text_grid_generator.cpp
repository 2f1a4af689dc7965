#include "preview/text_grid_generator.hpp"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/byte_count.hpp"
#include "platform/display_width.hpp"
#include "tabvora/terminal_text.hpp"
#include "platform/unicode_text.hpp"

namespace tabvora::internal {

namespace {

constexpr std::string_view kBold = "\x1b[1m";
constexpr std::string_view kDim = "\x1b[2m";
constexpr std::string_view kReset = "\x1b[0m";
constexpr std::string_view kColumnSeparator = " \u2502 ";
constexpr std::string_view kRuleSeparator = "\u2500\u253C\u2500";
constexpr std::string_view kRule = "\u2500";
constexpr std::string_view kInfoSeparator = " \u00B7 ";
constexpr std::size_t kSeparatorWidth = 3;
// Header, names, rule and footer: the lines that are not rows.
constexpr std::size_t kFrameLines = 4;

// One output line: pieces of terminal-safe text, each with its own style.
class StyledLine {
 public:
  void add(std::string_view text, std::string_view style = {}) {
    if (text.empty()) return;
    pieces_.push_back({plain_.size(), text.size(), style});
    plain_ += text;
  }
  // The line cut to `maxColumns`, styled when `color`; a piece cut off loses its style
  // at the cut, and the cut mark is never styled.
  std::string render(std::size_t maxColumns, bool color) const {
    if (maxColumns == 0) return {};
    const std::string cut = cutToWidth(plain_, maxColumns);
    const bool wasCut = cut != plain_;
    const std::size_t kept = wasCut ? cut.size() - kCutMark.size() : cut.size();
    std::string out;
    for (const Piece& piece : pieces_) {
      if (piece.start >= kept) break;
      const std::string_view text =
          std::string_view(plain_).substr(piece.start, std::min(piece.size, kept - piece.start));
      const bool styled = color && !piece.style.empty();
      if (styled) out += piece.style;
      out += text;
      if (styled) out += kReset;
    }
    if (wasCut) out += kCutMark;
    return out;
  }

 private:
  struct Piece {
    std::size_t start;
    std::size_t size;
    std::string_view style;
  };
  std::string plain_;
  std::vector<Piece> pieces_;
};

bool isLineBreak(char32_t c) {
  return c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// Text from the file as one line a terminal prints as it is: at most kMaxCellBytes of it
// looked at (then the cut mark), each line break (CR LF counted as one) and tab a space,
// and whatever else a terminal would act on escaped.
std::string shownText(std::string_view text) {
  const bool truncated = text.size() > TextGridGenerator::kMaxCellBytes;
  const std::string_view looked = text.substr(0, utf8PrefixLength(text, TextGridGenerator::kMaxCellBytes));
  std::string oneLine;
  oneLine.reserve(looked.size());
  std::size_t pos = 0;
  while (pos < looked.size()) {
    const std::size_t start = pos;
    const char32_t c = decodeUTF8(looked, pos);
    if (c == '\t' || isLineBreak(c)) {
      oneLine += ' ';
      if (c == '\r' && pos < looked.size() && looked[pos] == '\n') ++pos;
    } else {
      oneLine.append(looked.substr(start, pos - start));
    }
  }
  std::string shown = visibleOnTerminal(oneLine);
  if (truncated) shown += kCutMark;
  return shown;
}

struct ShownCell {
  std::string text;
  bool rightAligned = false;
  bool null = false;
};

struct ShownColumn {
  std::string name;
  bool numeric = false;
  std::vector<ShownCell> cells;
  std::size_t naturalWidth = 1;
  std::size_t width = 0;
};

// No column is wider than kMaxColumnWidth, so a name or cell is cut to that at once: the
// same text as cutting it later to its column's width, and far cheaper to measure.
std::string columnText(std::string_view text) {
  return cutToWidth(shownText(text), TextGridGenerator::kMaxColumnWidth);
}

ShownCell shownCell(const CellValue& value, bool numericColumn) {
  const bool right = numericColumn || value.isNumeric();
  switch (value.kind()) {
    case CellValue::Kind::null: return {"NULL", right, true};
    case CellValue::Kind::text:
    case CellValue::Kind::json: return {columnText(value.stringValue()), right, false};
    default: return {columnText(value.displayString()), right, false};
  }
}

ShownColumn shownColumn(const DataTable& data, std::size_t index, std::size_t rows) {
  static const CellValue kMissing = CellValue::null();
  const DataColumn& column = data.columns[index];
  ShownColumn shown;
  shown.name = columnText(column.name);
  shown.numeric = column.type == ColumnType::integer || column.type == ColumnType::real;
  std::size_t widest = displayWidth(shown.name);
  shown.cells.reserve(rows);
  for (std::size_t i = 0; i < rows; ++i) {
    // One cell per column: a short row is padded with NULL, extra values are not shown.
    const std::vector<CellValue>& values = data.rows[i].values;
    shown.cells.push_back(shownCell(index < values.size() ? values[index] : kMissing, shown.numeric));
    widest = std::max(widest, displayWidth(shown.cells.back().text));
  }
  shown.naturalWidth = std::clamp<std::size_t>(widest, 1, TextGridGenerator::kMaxColumnWidth);
  return shown;
}

std::size_t separatorsWidth(std::size_t columns) { return columns == 0 ? 0 : (columns - 1) * kSeparatorWidth; }

// The columns that fit in `width`, each at least its natural width or kMinColumnWidth,
// whichever is less; at least the first, however narrow. Reads columns only while they
// can still fit, so a table of thousands of columns costs no more than a narrow one.
std::vector<ShownColumn> fittingColumns(const DataTable& data, std::size_t rows, std::size_t width) {
  std::vector<ShownColumn> columns;
  std::size_t least = 0;
  for (std::size_t index = 0; index < data.columns.size(); ++index) {
    ShownColumn column = shownColumn(data, index, rows);
    least += std::min(column.naturalWidth, TextGridGenerator::kMinColumnWidth);
    if (!columns.empty() && least + separatorsWidth(columns.size() + 1) > width) break;
    columns.push_back(std::move(column));
  }
  return columns;
}

// Shrinks the widest columns first: every column is capped at one level, the largest
// that fits, and the columns above it share what room is left, one column each from the left.
void assignWidths(std::vector<ShownColumn>& columns, std::size_t width) {
  if (columns.empty()) return;
  const std::size_t room = width > separatorsWidth(columns.size()) ? width - separatorsWidth(columns.size()) : 0;
  auto totalAt = [&](std::size_t level) {
    std::size_t total = 0;
    for (const ShownColumn& column : columns) total += std::min(column.naturalWidth, level);
    return total;
  };
  std::size_t level = TextGridGenerator::kMaxColumnWidth;
  while (level > 1 && totalAt(level) > room) --level;
  std::size_t left = room - std::min(room, totalAt(level));
  for (ShownColumn& column : columns) {
    column.width = std::min(column.naturalWidth, level);
    if (left > 0 && column.naturalWidth > level) {
      ++column.width;
      --left;
    }
  }
  // Narrower than one column per shown column: only the first column, as wide as allowed.
  if (totalAt(level) > room) {
    columns.resize(1);
    columns[0].width = std::min(columns[0].naturalWidth, width);
  }
}

void addPadded(StyledLine& line, std::string_view text, std::size_t width, bool right, bool last,
               std::string_view style) {
  const std::string cut = cutToWidth(text, width);
  const std::size_t padding = width - std::min(width, displayWidth(cut));
  if (right) line.add(std::string(padding, ' '));
  line.add(cut, style);
  if (!right && !last) line.add(std::string(padding, ' '));
}

StyledLine headerLine(const DatabaseMetadata& metadata, const std::string& tableName, std::size_t width) {
  std::string name = shownText(metadata.name);
  std::string rest = std::string(kInfoSeparator) + formatByteCount(metadata.fileSize) + std::string(kInfoSeparator) +
                     std::to_string(metadata.tables.size()) + (metadata.tables.size() == 1 ? " table" : " tables");
  std::string table =
      metadata.tables.size() > 1 ? cutToWidth(shownText(tableName), TextGridGenerator::kMaxColumnWidth) : "";
  StyledLine line;
  line.add(metadata.format.displayName(), kBold);
  line.add(kInfoSeparator);
  // A long file name is cut first, so that the size and counts after it stay in view.
  const std::size_t others = displayWidth(metadata.format.displayName()) + displayWidth(kInfoSeparator) +
                             displayWidth(rest) +
                             (table.empty() ? 0 : displayWidth(kInfoSeparator) + displayWidth(table));
  if (others + displayWidth(name) > width && width > others + TextGridGenerator::kMinColumnWidth) {
    name = cutToWidth(name, width - others);
  }
  line.add(name);
  line.add(rest);
  if (!table.empty()) {
    line.add(kInfoSeparator);
    line.add(table, kBold);
  }
  return line;
}

// The first of the footer's forms that fits, shortest last; that one is cut if need be.
StyledLine footerLine(std::size_t shownRows, const std::string& totalRows, std::size_t hiddenColumns,
                      std::size_t width) {
  const std::string counts = std::to_string(shownRows) + " of " + totalRows + " rows";
  std::string hidden;
  std::string shortHidden;
  if (hiddenColumns > 0) {
    hidden = ", +" + std::to_string(hiddenColumns) + (hiddenColumns == 1 ? " column" : " columns");
    shortHidden = " +" + std::to_string(hiddenColumns) + (hiddenColumns == 1 ? " col" : " cols");
  }
  const std::string forms[] = {"Showing " + counts + hidden, counts + hidden,
                               std::to_string(shownRows) + "/" + totalRows + " rows" + shortHidden};
  StyledLine line;
  for (const std::string& form : forms) {
    if (displayWidth(form) <= width || &form == &forms[std::size(forms) - 1]) {
      line.add(form);
      break;
    }
  }
  return line;
}

}  // namespace

std::string TextGridGenerator::generateText(const DatabaseMetadata& metadata, const std::string& tableName,
                                            const DataTable& data, const TextGridOptions& options) {
  const std::size_t width = options.width;
  const std::size_t height = options.height.value_or(kFrameLines + kMaxRenderedRows);
  const bool hasColumns = !data.columns.empty();
  const std::size_t rowRoom = height > kFrameLines ? height - kFrameLines : 0;
  const std::size_t rows = hasColumns ? std::min({data.rows.size(), kMaxRenderedRows, rowRoom}) : 0;

  std::vector<ShownColumn> columns = fittingColumns(data, rows, width);
  assignWidths(columns, width);

  std::vector<StyledLine> grid;  // names, rule, rows
  if (hasColumns && height >= 3) {
    StyledLine names;
    StyledLine rule;
    for (std::size_t j = 0; j < columns.size(); ++j) {
      const bool last = j + 1 == columns.size();
      addPadded(names, columns[j].name, columns[j].width, columns[j].numeric, last, kBold);
      std::string line;
      for (std::size_t k = 0; k < columns[j].width; ++k) line += kRule;
      rule.add(line);
      if (!last) {
        names.add(kColumnSeparator);
        rule.add(kRuleSeparator);
      }
    }
    grid.push_back(std::move(names));
    if (height >= kFrameLines) grid.push_back(std::move(rule));
    for (std::size_t i = 0; i < rows; ++i) {
      StyledLine line;
      for (std::size_t j = 0; j < columns.size(); ++j) {
        const ShownCell& cell = columns[j].cells[i];
        const bool last = j + 1 == columns.size();
        addPadded(line, cell.text, columns[j].width, cell.rightAligned, last, cell.null ? kDim : std::string_view());
        if (!last) line.add(kColumnSeparator);
      }
      grid.push_back(std::move(line));
    }
  }

  std::string out;
  auto emit = [&](const StyledLine& line) {
    out += line.render(width, options.color);
    out += '\n';
  };
  if (height >= 1) emit(headerLine(metadata, tableName, width));
  for (const StyledLine& line : grid) emit(line);
  const std::string total = std::to_string(data.totalRowCount) + (data.totalRowCountIsLowerBound ? "+" : "");
  if (height >= 2) emit(footerLine(rows, total, data.columns.size() - columns.size(), width));
  return out;
}

}  // namespace tabvora::internal
