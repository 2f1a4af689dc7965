#include "drivers/spreadsheet/spreadsheetml_stream_parser.hpp"

#include <libxml/parser.h>

#include <algorithm>
#include <memory>
#include <string>

#include "drivers/spreadsheet/xml_parse_settings.hpp"

namespace tabvora {

namespace {

constexpr std::string_view kTransitionalNamespace = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kStrictNamespace = "http://purl.oclc.org/ooxml/spreadsheetml/main";

// Bytes handed to the push parser at a time: large enough that the per-chunk work vanishes,
// small enough that the parser never holds a copy of a large part.
constexpr std::size_t kChunkBytes = 256 * 1024;

using Delegate = SpreadsheetMLStreamParser::Delegate;

// What the callbacks reach through the parser context's private pointer.
struct StreamState {
  Delegate* delegate = nullptr;
  std::string prefixedName;  // reused for names reported with their prefix
  bool refusedDocumentType = false;
};

std::string_view text(const xmlChar* bytes) { return reinterpret_cast<const char*>(bytes); }

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
  state.delegate->startElement(elementName(state, localName, prefix, uri),
                               SpreadsheetMLStreamParser::Attributes(attributes, attributeCount));
  stopIfRequested(context, state);
}

void onEnd(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri) {
  StreamState& state = stateOf(context);
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

struct ContextDeleter {
  void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
};

}  // namespace

std::optional<std::string_view> SpreadsheetMLStreamParser::Attributes::value(std::string_view name) const {
  for (int i = 0; i < count_; ++i) {
    const unsigned char** field = fields_ + 5 * i;
    if (field[1] == nullptr && SpreadsheetMLStreamParser::Name(reinterpret_cast<const char*>(field[0])) == name)
      return std::string_view(reinterpret_cast<const char*>(field[3]), static_cast<std::size_t>(field[4] - field[3]));
  }
  return std::nullopt;
}

bool SpreadsheetMLStreamParser::parse(std::span<const std::uint8_t> bytes, Delegate& delegate) {
  const XMLParseSettings::Quiet quiet;
  static xmlSAXHandler handler = eventHandler();
  StreamState state;
  state.delegate = &delegate;
  const char* data = reinterpret_cast<const char*>(bytes.data());
  // The first bytes go in with the context, so it can detect the encoding from them.
  std::size_t offset = std::min<std::size_t>(bytes.size(), 4);
  const std::unique_ptr<xmlParserCtxt, ContextDeleter> context(
      xmlCreatePushParserCtxt(&handler, nullptr, data, static_cast<int>(offset), nullptr));
  if (!context) return false;
  context->_private = &state;
  xmlCtxtUseOptions(context.get(), XMLParseSettings::options(false));
  auto running = [&] { return context->wellFormed && context->instate != XML_PARSER_EOF; };
  while (offset < bytes.size() && running()) {
    const std::size_t length = std::min(kChunkBytes, bytes.size() - offset);
    xmlParseChunk(context.get(), data + offset, static_cast<int>(length), 0);
    offset += length;
  }
  if (running()) xmlParseChunk(context.get(), nullptr, 0, 1);
  return context->wellFormed && !state.refusedDocumentType && !delegate.stopRequested();
}

}  // namespace tabvora
