#include "drivers/spreadsheet/xml/spreadsheetml_stream_parser.hpp"

#include <libxml/parser.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "drivers/spreadsheet/xml/xml_parse_settings.hpp"

namespace tabvora::internal {

namespace {

constexpr std::string_view kTransitionalNamespace = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kStrictNamespace = "http://purl.oclc.org/ooxml/spreadsheetml/main";

// Bytes handed to the push parser at a time: large enough that the per-chunk work vanishes,
// small enough that the parser never holds a copy of a large part.
constexpr std::size_t kChunkBytes = std::size_t{256} * 1024;

using Delegate = SpreadsheetMLStreamParser::Delegate;

struct ContextDeleter {
  void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
};

}  // namespace

// What the callbacks reach through the parser context's private pointer.
struct SpreadsheetMLStreamParser::State {
  State(Delegate& d, bool recover) : delegate(&d), recovering(recover) {}

  const XMLParseSettings::Quiet quiet;
  Delegate* delegate;
  bool recovering;
  std::unique_ptr<xmlParserCtxt, ContextDeleter> context;  // made by the first feed
  std::string prefixedName;                                // reused for names reported with their prefix
  bool refusedDocumentType = false;
  int depth = 0;
  std::int64_t startTagEnds[2] = {-1, -1};
};

namespace {

using StreamState = SpreadsheetMLStreamParser::State;

std::string_view text(const xmlChar* bytes) { return reinterpret_cast<const char*>(bytes); }

// -1 while the text is converted from another encoding: counting the bytes consumed then
// costs a conversion of what is left of the input.
std::int64_t bytesConsumed(xmlParserCtxt* context) {
  if (context->input == nullptr || (context->input->buf != nullptr && context->input->buf->encoder != nullptr))
    return -1;
  return xmlByteConsumed(context);
}

StreamState& stateOf(void* context) {
  return *static_cast<StreamState*>(static_cast<xmlParserCtxtPtr>(context)->_private);
}

void stopIfRequested(void* context, const StreamState& state) {
  if (state.delegate->stopRequested()) xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
}

SpreadsheetMLStreamParser::Name elementName(StreamState& state, const xmlChar* localName, const xmlChar* prefix,
                                            const xmlChar* uri) {
  using Name = SpreadsheetMLStreamParser::Name;
  if (prefix == nullptr) return Name(reinterpret_cast<const char*>(localName));
  if (uri != nullptr && (text(uri) == kTransitionalNamespace || text(uri) == kStrictNamespace))
    return Name(reinterpret_cast<const char*>(localName));
  state.prefixedName.assign(text(prefix)).append(1, ':').append(text(localName));
  return Name(state.prefixedName.c_str());
}

void onStart(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri, int, const xmlChar**,
             int attributeCount, int, const xmlChar** attributes) {
  StreamState& state = stateOf(context);
  // Called with the input at the ">" (or "/>") that ends the tag.
  if (++state.depth <= 2) state.startTagEnds[state.depth - 1] = bytesConsumed(static_cast<xmlParserCtxtPtr>(context));
  state.delegate->startElement(elementName(state, localName, prefix, uri),
                               SpreadsheetMLStreamParser::Attributes(attributes, attributeCount));
  stopIfRequested(context, state);
}

void onEnd(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri) {
  StreamState& state = stateOf(context);
  if (state.depth > 0 && --state.depth < 2) state.startTagEnds[state.depth] = -1;
  state.delegate->endElement(elementName(state, localName, prefix, uri));
  stopIfRequested(context, state);
}

void onCharacters(void* context, const xmlChar* bytes, int length) {
  StreamState& state = stateOf(context);
  state.delegate->characters(std::string_view(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length)));
  stopIfRequested(context, state);
}

void onDocumentType(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
  stateOf(context).refusedDocumentType = true;
  SpreadsheetMLStreamParser::noteDocumentType(*stateOf(context).delegate);
  xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
}

xmlSAXHandler eventHandler() {
  xmlSAXHandler handler{};
  handler.initialized = XML_SAX2_MAGIC;
  handler.startElementNs = onStart;
  handler.endElementNs = onEnd;
  handler.characters = onCharacters;
  handler.ignorableWhitespace = onCharacters;
  handler.cdataBlock = onCharacters;
  handler.internalSubset = onDocumentType;
  handler.serror = XMLParseSettings::ignoreError;
  return handler;
}

}  // namespace

SpreadsheetMLStreamParser::Name SpreadsheetMLStreamParser::Name::local() const {
  const char* colon = std::strrchr(text_, ':');
  return colon == nullptr ? *this : Name(colon + 1);
}

std::optional<std::string_view> SpreadsheetMLStreamParser::Attributes::value(std::string_view name) const {
  const std::size_t colon = name.find(':');
  const std::string_view prefix = colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
  const std::string_view local = colon == std::string_view::npos ? name : name.substr(colon + 1);
  for (int i = 0; i < count_; ++i) {
    const unsigned char** field = fields_ + std::ptrdiff_t{5} * i;
    const bool prefixMatches = field[1] == nullptr
                                   ? prefix.empty()
                                   : !prefix.empty() && Name(reinterpret_cast<const char*>(field[1])) == prefix;
    if (prefixMatches && Name(reinterpret_cast<const char*>(field[0])) == local)
      return std::string_view(reinterpret_cast<const char*>(field[3]), static_cast<std::size_t>(field[4] - field[3]));
  }
  return std::nullopt;
}

void SpreadsheetMLStreamParser::noteDocumentType(Delegate& delegate) { delegate.refusedDocumentType_ = true; }

std::optional<std::string> SpreadsheetMLStreamParser::Attributes::text(std::string_view name) const {
  const std::optional<std::string_view> raw = value(name);
  if (!raw) return std::nullopt;
  std::string out;
  out.reserve(raw->size());
  for (std::size_t at = 0; at < raw->size();) {
    if (raw->compare(at, 5, "&#38;") == 0) {
      out += '&';
      at += 5;
    } else {
      out += (*raw)[at++];
    }
  }
  return out;
}

bool SpreadsheetMLStreamParser::parse(std::span<const std::uint8_t> bytes, Delegate& delegate, bool recovering) {
  SpreadsheetMLStreamParser parser(delegate, recovering);
  parser.feed(bytes);
  return parser.finish();
}

SpreadsheetMLStreamParser::SpreadsheetMLStreamParser(Delegate& delegate, bool recovering)
    : state_(std::make_unique<State>(delegate, recovering)) {}

SpreadsheetMLStreamParser::~SpreadsheetMLStreamParser() = default;

bool SpreadsheetMLStreamParser::feed(std::span<const std::uint8_t> bytes) {
  static xmlSAXHandler handler = eventHandler();
  const char* data = reinterpret_cast<const char*>(bytes.data());
  std::size_t offset = 0;
  if (!state_->context) {
    // The first bytes go in with the context, so it can detect the encoding from them.
    offset = std::min<std::size_t>(bytes.size(), 4);
    state_->context.reset(xmlCreatePushParserCtxt(&handler, nullptr, data, static_cast<int>(offset), nullptr));
    if (!state_->context) return false;
    state_->context->_private = state_.get();
    xmlCtxtUseOptions(state_->context.get(), XMLParseSettings::options(state_->recovering));
  }
  xmlParserCtxt* context = state_->context.get();
  auto running = [&] {
    return (context->wellFormed || state_->recovering) && context->instate != XML_PARSER_EOF &&
           !state_->delegate->stopRequested();
  };
  while (offset < bytes.size() && running()) {
    const std::size_t length = std::min(kChunkBytes, bytes.size() - offset);
    xmlParseChunk(context, data + offset, static_cast<int>(length), 0);
    offset += length;
  }
  return running() && !state_->refusedDocumentType && !state_->delegate->stopRequested();
}

bool SpreadsheetMLStreamParser::finish() {
  if (!state_->context && !feed({})) return false;
  xmlParserCtxt* context = state_->context.get();
  const bool readable = context->wellFormed || state_->recovering;
  if (readable && context->instate != XML_PARSER_EOF && !state_->delegate->stopRequested())
    xmlParseChunk(context, nullptr, 0, 1);
  return (context->wellFormed || state_->recovering) && !state_->refusedDocumentType &&
         !state_->delegate->stopRequested();
}

std::int64_t SpreadsheetMLStreamParser::consumedBytes() const {
  return state_->context ? bytesConsumed(state_->context.get()) : 0;
}

int SpreadsheetMLStreamParser::depth() const { return state_->depth; }

std::int64_t SpreadsheetMLStreamParser::startTagEnd(int depth) const {
  return depth >= 1 && depth <= 2 ? state_->startTagEnds[depth - 1] : -1;
}

}  // namespace tabvora::internal
