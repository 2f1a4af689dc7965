#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "model/column_type.hpp"
#include "platform/byte_order_mark.hpp"

namespace tabvora::internal {

// Splits one contiguous buffer of UTF-8 bytes into records and fields without building a
// string per cell. Fields are index ranges: into the input when the bytes can be used as
// they stand, into a scratch buffer when they had to be rewritten (quoted fields, fields
// that held NUL bytes). The field list and the scratch buffer are reused from record to
// record, so steady-state parsing allocates nothing per row.
//
// Splitting rules: a UTF-8 byte-order mark at the start is skipped; CR LF, a lone LF and a
// lone CR each end one record outside quotes; a quote opens a quoted field only at the start
// of a field (spaces before it are dropped), anywhere else it is an ordinary byte; inside
// quotes a doubled quote is one quote, CR LF and a lone CR become LF and delimiters are
// content; NUL bytes are dropped everywhere; a record that is one empty unquoted field (a
// blank line) is not delivered, while one empty quoted field ("") is: it is how a writer
// keeps a row whose only value is empty; an unterminated quote runs to the end of the input.
class DelimitedByteParser {
 public:
  struct Field {
    std::size_t start = 0;
    std::size_t end = 0;     // one past the last byte
    bool inScratch = false;  // false: indexes the input; true: indexes the scratch buffer
  };

  // What the non-empty cells of a column look like; the order is a ranking (see merge).
  enum class ColumnKind : std::uint8_t { empty, integer, real, text };

  // Fields kept per record. A record may have more; those are only counted (and whether
  // any of them held bytes is noted), so one enormous line cannot grow the field list
  // without bound. The limit is far above any column count the staging store accepts.
  static constexpr std::size_t kMaxStoredFields = 32768;

  // One record as delivered to the consumer. Valid only during the callback.
  class Record {
   public:
    Record(const std::vector<Field>& fields, std::span<const std::uint8_t> input, std::span<const std::uint8_t> scratch,
           std::size_t fieldCount, bool overflowHasContent)
        : fields_(fields),
          input_(input),
          scratch_(scratch),
          fieldCount_(fieldCount),
          overflowHasContent_(overflowHasContent) {}

    // Fields kept (at most kMaxStoredFields).
    std::size_t size() const { return fields_.size(); }
    const Field& field(std::size_t i) const { return fields_[i]; }
    // Every field of the record, kept or not.
    std::size_t fieldCount() const { return fieldCount_; }
    // Whether a field past the kept ones was non-empty.
    bool overflowHasContent() const { return overflowHasContent_; }

    std::string_view bytes(std::size_t i) const {
      const Field& f = fields_[i];
      const std::uint8_t* base = f.inScratch ? scratch_.data() : input_.data();
      return {reinterpret_cast<const char*>(base) + f.start, f.end - f.start};
    }
    std::string text(std::size_t i) const { return fieldText(fields_[i], input_, scratch_); }
    std::span<const std::uint8_t> input() const { return input_; }
    std::span<const std::uint8_t> scratch() const { return scratch_; }

   private:
    const std::vector<Field>& fields_;
    std::span<const std::uint8_t> input_;
    std::span<const std::uint8_t> scratch_;
    std::size_t fieldCount_;
    bool overflowHasContent_;
  };

  struct Result {
    // Index one past the last input byte the splitter looked at: everything a stopped parse
    // depended on lies below it.
    std::size_t examinedEnd = 0;
    // The consumer declined a record (and so every record after it).
    bool stopped = false;
    // Index one past the last line break that ended a record (0 when none did). When the
    // input is only the start of a text, the records before it are exactly the text's own.
    std::size_t afterLastLineBreak = 0;
  };

  // Calls onRecord(const Record&) for each record in file order. The consumer may return
  // bool: false ends the parse at once (a row limit reached); a void consumer sees every
  // record. Exceptions of the consumer propagate unchanged. When `textContinues`, the input
  // is only the start of the text, and the record its end cuts is not delivered.
  template <typename OnRecord>
  static Result parse(std::span<const std::uint8_t> input, std::uint8_t delimiter, OnRecord&& onRecord,
                      bool textContinues = false);
  // Like parse, from input[from] on, which must be the start or follow a line break that
  // ended a record (a parse from the start is between records there, in a state that
  // depends on nothing before). No byte-order mark is looked for past the start; field
  // ranges index the whole input.
  template <typename OnRecord>
  static Result parseFrom(std::span<const std::uint8_t> input, std::size_t from, std::uint8_t delimiter,
                          OnRecord&& onRecord, bool textContinues = false);

  // The field's bytes as UTF-8 text, invalid sequences replaced by U+FFFD. Never fails.
  static std::string fieldText(const Field& field, std::span<const std::uint8_t> input,
                               std::span<const std::uint8_t> scratch);
  static ColumnKind classify(std::string_view bytes);
  // The later of the two kinds in the order empty < integer < real < text.
  static ColumnKind merge(ColumnKind old, ColumnKind next) { return next > old ? next : old; }
  static ColumnType columnType(ColumnKind kind) {
    switch (kind) {
      case ColumnKind::integer: return ColumnType::integer;
      case ColumnKind::real: return ColumnType::real;
      default: return ColumnType::text;
    }
  }

 private:
  template <typename OnRecord>
  class Splitter;
};

// The splitter keeps its state in members so the hot loops stay small. Unquoted runs are
// skipped with a byte-class table; inside quotes whole runs are copied at once.
template <typename OnRecord>
class DelimitedByteParser::Splitter {
 public:
  Splitter(std::span<const std::uint8_t> input, std::uint8_t delimiter, OnRecord& onRecord, bool textContinues)
      : p_(input.data()),
        n_(input.size()),
        input_(input),
        delimiter_(delimiter),
        onRecord_(onRecord),
        textContinues_(textContinues) {
    // Outside quotes only these bytes end an ordinary run; inside quotes, these.
    for (std::uint8_t b : {delimiter, std::uint8_t{0}, kCR, kLF}) outsideStop_[b] = true;
    for (std::uint8_t b : {kQuote, std::uint8_t{0}, kCR}) insideStop_[b] = true;
  }

  Result run(std::size_t from) {
    std::size_t pos = from;
    if (from == 0 && ByteOrderMark::sniff(input_).isUTF8()) pos = kUTF8ByteOrderMark.size();
    if (pos >= n_) return {n_, false, 0};
    fieldStart_ = pos;
    atFieldStart_ = true;
    while (pos < n_) {
      if (inQuotes_) {
        pos = scanQuoted(pos);
        continue;
      }
      if (!atFieldStart_) {
        // An ordinary run: nothing in it changes state.
        std::size_t runStart = pos;
        pos = skipRun(pos, outsideStop_, delimiter_, 0, kCR, kLF);
        if (inScratch_ && pos > runStart) scratch_.insert(scratch_.end(), p_ + runStart, p_ + pos);
        if (pos >= n_) break;
      }
      const std::uint8_t b = p_[pos];
      if (b == delimiter_) {
        endField(pos);
        atFieldStart_ = true;
        inScratch_ = false;
        fieldStart_ = ++pos;
      } else if (b == 0) {
        if (!inScratch_) moveFieldToScratch(pos);
        ++pos;
      } else if (b == kCR || b == kLF) {
        endField(pos);
        std::size_t next = pos + 1;
        if (b == kCR && next < n_ && p_[next] == kLF) ++next;
        examined_ = next + 1;
        afterLastLineBreak_ = next;
        if (!deliver()) return {std::min(n_, examined_), true, afterLastLineBreak_};
        fieldStart_ = pos = next;
        atFieldStart_ = true;
        inScratch_ = false;
      } else if (b == kQuote) {
        // Only reached at a field start: elsewhere the run loop passed the quote.
        atFieldStart_ = false;
        scratchStart_ = scratch_.size();
        inScratch_ = true;
        inQuotes_ = true;
        quoted_ = true;
        ++pos;
      } else {
        if (inScratch_) scratch_.push_back(b);
        if (b != kSpace) atFieldStart_ = false;
        ++pos;
      }
    }
    if (!textContinues_) finish();
    return {n_, stoppedAtEnd_, afterLastLineBreak_};
  }

 private:
  static constexpr std::uint8_t kCR = 0x0D, kLF = 0x0A, kQuote = 0x22, kSpace = 0x20;

  // The first index from pos on whose byte is one of a, b, c, d (all marked in `stop`), or
  // the end. Sixteen bytes at a time where the input allows, never past the end.
  std::size_t skipRun(std::size_t pos, const std::array<bool, 256>& stop, std::uint8_t a, std::uint8_t b,
                      std::uint8_t c, std::uint8_t d) const {
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(static_cast<char>(a)), vb = _mm_set1_epi8(static_cast<char>(b));
    const __m128i vc = _mm_set1_epi8(static_cast<char>(c)), vd = _mm_set1_epi8(static_cast<char>(d));
    while (pos + 16 <= n_) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p_ + pos));
      const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb)),
                                        _mm_or_si128(_mm_cmpeq_epi8(v, vc), _mm_cmpeq_epi8(v, vd)));
      const int mask = _mm_movemask_epi8(hits);
      if (mask != 0) return pos + static_cast<std::size_t>(__builtin_ctz(static_cast<unsigned>(mask)));
      pos += 16;
    }
#else
    (void)a, (void)b, (void)c, (void)d;
#endif
    while (pos < n_ && !stop[p_[pos]]) ++pos;
    return pos;
  }

  std::size_t scanQuoted(std::size_t pos) {
    std::size_t runStart = pos;
    pos = skipRun(pos, insideStop_, kQuote, 0, kCR, kCR);
    if (pos > runStart) scratch_.insert(scratch_.end(), p_ + runStart, p_ + pos);
    if (pos >= n_) return pos;
    const std::uint8_t b = p_[pos];
    if (b == kQuote) {
      if (pos + 1 < n_ && p_[pos + 1] == kQuote) {
        scratch_.push_back(kQuote);
        return pos + 2;
      }
      inQuotes_ = false;
      return pos + 1;
    }
    if (b == kCR) {
      // CR LF keeps only the LF (appended with the next run); a lone CR becomes LF.
      if (!(pos + 1 < n_ && p_[pos + 1] == kLF)) scratch_.push_back(kLF);
    }
    return pos + 1;  // NUL: dropped
  }

  void moveFieldToScratch(std::size_t pos) {
    scratchStart_ = scratch_.size();
    scratch_.insert(scratch_.end(), p_ + fieldStart_, p_ + pos);
    inScratch_ = true;
  }

  void endField(std::size_t pos) {
    Field f = inScratch_ ? Field{scratchStart_, scratch_.size(), true} : Field{fieldStart_, pos, false};
    ++fieldCount_;
    if (fields_.size() < kMaxStoredFields) {
      fields_.push_back(f);
    } else if (f.end > f.start) {
      overflowHasContent_ = true;
    }
  }

  // Delivers the record unless it is a blank line; resets the per-record state.
  bool deliver() {
    bool keepGoing = true;
    if (!(fieldCount_ == 1 && fields_[0].start == fields_[0].end && !quoted_)) {
      Record record(fields_, input_, scratch_, fieldCount_, overflowHasContent_);
      if constexpr (std::is_same_v<std::invoke_result_t<OnRecord&, const Record&>, void>) {
        onRecord_(record);
      } else {
        keepGoing = static_cast<bool>(onRecord_(record));
      }
    }
    fields_.clear();
    scratch_.clear();
    fieldCount_ = 0;
    overflowHasContent_ = false;
    inQuotes_ = false;
    quoted_ = false;
    return keepGoing;
  }

  void finish() {
    if (fieldCount_ == 0 && !inScratch_) {
      if (fieldStart_ >= n_) return;
    }
    endField(n_);
    stoppedAtEnd_ = !deliver();
  }

  const std::uint8_t* p_;
  std::size_t n_;
  std::span<const std::uint8_t> input_;
  std::uint8_t delimiter_;
  OnRecord& onRecord_;
  bool textContinues_;
  std::array<bool, 256> outsideStop_{};
  std::array<bool, 256> insideStop_{};

  std::vector<Field> fields_;
  std::vector<std::uint8_t> scratch_;
  std::size_t fieldCount_ = 0;
  bool overflowHasContent_ = false;
  std::size_t fieldStart_ = 0;
  std::size_t scratchStart_ = 0;
  std::size_t examined_ = 0;
  std::size_t afterLastLineBreak_ = 0;
  bool inQuotes_ = false;
  bool quoted_ = false;  // a quote opened a field of the current record
  bool atFieldStart_ = true;
  bool inScratch_ = false;
  bool stoppedAtEnd_ = false;
};

template <typename OnRecord>
DelimitedByteParser::Result DelimitedByteParser::parse(std::span<const std::uint8_t> input, std::uint8_t delimiter,
                                                       OnRecord&& onRecord, bool textContinues) {
  return parseFrom(input, 0, delimiter, onRecord, textContinues);
}

template <typename OnRecord>
DelimitedByteParser::Result DelimitedByteParser::parseFrom(std::span<const std::uint8_t> input, std::size_t from,
                                                           std::uint8_t delimiter, OnRecord&& onRecord,
                                                           bool textContinues) {
  Splitter<std::remove_reference_t<OnRecord>> splitter(input, delimiter, onRecord, textContinues);
  return splitter.run(from);
}

}  // namespace tabvora::internal
