#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string_view>

namespace tabvora::internal {

// One pass of libxml2's SAX2 parser over a SpreadsheetML part, reporting element starts
// (with their attributes), character data (CDATA sections included) and element ends in
// document order to a delegate. Element names reach the delegate as the readers compare
// them: an unprefixed name as written; a prefixed name without its prefix when the prefix
// is bound to the SpreadsheetML main namespace (transitional or strict URI), so producers
// that prefix every element are read alike; any other prefixed name as written, prefix
// included, so it matches nothing a reader looks for. A document type declaration stops
// the parse before anything inside it is read; no DTD is loaded, no entity expanded,
// nothing printed.
class SpreadsheetMLStreamParser {
 public:
  // An element name as reported: NUL-terminated text compared without measuring it first,
  // since every event of a large sheet compares one.
  class Name {
   public:
    explicit Name(const char* text) : text_(text) {}
    bool operator==(std::string_view other) const {
      std::size_t i = 0;
      for (; i < other.size(); ++i) {
        if (text_[i] != other[i] || other[i] == '\0') return false;
      }
      return text_[i] == '\0';
    }
    const char* text() const { return text_; }
    // The name without its prefix, if it has one.
    Name local() const;

   private:
    const char* text_;
  };

  // The attributes of one start tag: valid only during the start-element event.
  class Attributes {
   public:
    // The value of the attribute `name` (entity and character references replaced, except
    // for an escaped "&", see text): an unprefixed one, or for a name such as "r:id" the one
    // written with that prefix; nothing when the tag has none.
    std::optional<std::string_view> value(std::string_view name) const;
    // The same as a copy in which every "&" is itself: libxml2 hands an escaped ampersand
    // ("&amp;", "&#38;") on as "&#38;", since it does not replace entities.
    std::optional<std::string> text(std::string_view name) const;

    // SAX2's attribute array: five entries per attribute (name, prefix, URI, value start,
    // value end).
    Attributes(const unsigned char** fields, int count) : fields_(fields), count_(count) {}

   private:
    const unsigned char** fields_;
    int count_;
  };

  class Delegate {
   public:
    virtual ~Delegate() = default;
    virtual void startElement(Name name, const Attributes& attributes) = 0;
    virtual void endElement(Name name) = 0;
    // Text may arrive in several pieces.
    virtual void characters(std::string_view text) = 0;

    bool stopRequested() const { return stopRequested_; }
    // Whether the parse stopped at a document type declaration.
    bool refusedDocumentType() const { return refusedDocumentType_; }

   protected:
    // Ends the parse after the current event; the parse then reports failure.
    void stopParsing() { stopRequested_ = true; }

   private:
    friend class SpreadsheetMLStreamParser;
    bool stopRequested_ = false;
    bool refusedDocumentType_ = false;
  };

  // Streams `bytes` through `delegate`: true when the whole part was read as well-formed
  // XML, false when the parse stopped on an error, a document type declaration or the
  // delegate's request (the events before the stop have been delivered). A `recovering`
  // parse goes on after well-formedness errors, as far as libxml2's recovery can, and is
  // true when it reached the end that way.
  static bool parse(std::span<const std::uint8_t> bytes, Delegate& delegate, bool recovering = false);

  // A parse fed piece by piece, on the thread that made it: the pieces join into one
  // document. `delegate` must outlive the parser.
  explicit SpreadsheetMLStreamParser(Delegate& delegate, bool recovering = false);
  ~SpreadsheetMLStreamParser();
  SpreadsheetMLStreamParser(const SpreadsheetMLStreamParser&) = delete;
  SpreadsheetMLStreamParser& operator=(const SpreadsheetMLStreamParser&) = delete;

  // Parses the next bytes of the document as far as they go; false once the parse has
  // stopped (error, document type, the delegate's request).
  bool feed(std::span<const std::uint8_t> bytes);
  // Ends the document: what parse returns.
  bool finish();

  // Where the parser stands, for a caller checking that a document cut in two can be read
  // as two: the bytes of the document consumed so far (-1 when its text is being
  // converted from another encoding); how many elements are open; and for the open
  // elements at depths 1 and 2, the offset of the ">" that ends their start tag (-1 when
  // none is open there).
  std::int64_t consumedBytes() const;
  int depth() const;
  std::int64_t startTagEnd(int depth) const;

  // What the parse keeps between events; defined with the event handlers.
  struct State;
  // Marks the delegate's parse as stopped at a document type (for the event handlers).
  static void noteDocumentType(Delegate& delegate);

 private:
  std::unique_ptr<State> state_;
};

}  // namespace tabvora::internal
