#include "drivers/spreadsheet/xml/xml_parse_settings.hpp"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <mutex>

namespace tabvora::internal {

int XMLParseSettings::options(bool recover) {
  int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  if (recover) options |= XML_PARSE_RECOVER;
  return options;
}

void XMLParseSettings::initialize() {
  static std::once_flag once;
  std::call_once(once, [] { xmlInitParser(); });
}

namespace {

void ignoreMessage(void*, const char*, ...) {}

}  // namespace

void XMLParseSettings::ignoreError(void*, _xmlError*) {}

// libxml2 is initialised before any of its per-thread state is read.
XMLParseSettings::Quiet::Quiet()
    : structuredContext_((initialize(), xmlStructuredErrorContext)),
      structured_(xmlStructuredError),
      genericContext_(xmlGenericErrorContext),
      generic_(xmlGenericError) {
  xmlSetStructuredErrorFunc(nullptr, ignoreError);
  xmlSetGenericErrorFunc(nullptr, ignoreMessage);
}

XMLParseSettings::Quiet::~Quiet() {
  xmlSetStructuredErrorFunc(structuredContext_, structured_);
  xmlSetGenericErrorFunc(genericContext_, generic_);
}

void XMLParseSettings::silence(_xmlParserCtxt* context) {
  // The structured handler is consulted only on a SAX2 handler, which every context made
  // here has.
  context->sax->serror = ignoreError;
}

}  // namespace tabvora::internal
