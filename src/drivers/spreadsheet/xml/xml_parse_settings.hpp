#pragma once

struct _xmlError;
struct _xmlParserCtxt;

namespace tabvora::internal {

// The one safe way every libxml2 parse of a package part is set up, shared by the document
// and streaming readers.
class XMLParseSettings {
 public:
  // Parser options: no DTD loading, no entity substitution, no network, the default size
  // and depth limits (10 MB text nodes, 256 levels), nothing printed. `recover` adds
  // libxml2's recovery from well-formedness errors.
  static int options(bool recover);

  // Initialises libxml2 once per process, before the first parse of any thread; a thread
  // that starts others that parse calls it first.
  static void initialize();

  // Makes the context report its errors to a handler that drops them, instead of printing
  // them on standard error.
  static void silence(_xmlParserCtxt* context);
  // A structured error handler that drops the error.
  static void ignoreError(void* context, _xmlError* error);

  // While it lives, this thread's libxml2 error handlers drop what they are given: some
  // errors bypass the context's handler (encoding conversion, I/O) and would print. Every
  // parse and query holds one; it also initialises libxml2.
  class Quiet {
   public:
    Quiet();
    ~Quiet();
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

   private:
    void* structuredContext_;
    void (*structured_)(void*, _xmlError*);
    void* genericContext_;
    void (*generic_)(void*, const char*, ...);
  };
};

}  // namespace tabvora::internal
