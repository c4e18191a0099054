#include "xml/xml_input.h"

#include <libxml/encoding.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cstdio>
#include <cstring>
#include <mutex>

namespace edi::xml {

namespace {

struct ReadState {
  std::FILE* file = nullptr;          // reading a file
  const std::string* bytes = nullptr; // or a buffer
  std::size_t offset = 0;
  bool readError = false;
  bool refusedDoctype = false;
};

int ReadCallback(void* context, char* buffer, int len) {
  auto* state = static_cast<ReadState*>(context);
  if (state->file != nullptr) {
    const std::size_t n = std::fread(buffer, 1, static_cast<std::size_t>(len), state->file);
    if (n == 0 && std::ferror(state->file)) {
      state->readError = true;
      return -1;
    }
    return static_cast<int>(n);
  }
  const std::size_t left = state->bytes->size() - state->offset;
  const std::size_t n = std::min(left, static_cast<std::size_t>(len));
  std::memcpy(buffer, state->bytes->data() + state->offset, n);
  state->offset += n;
  return static_cast<int>(n);
}

int CloseCallback(void*) { return 0; }

// A DOCTYPE stops the parse at once, before any of its declarations is read.
void RefuseInternalSubset(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
  auto* parser = static_cast<xmlParserCtxtPtr>(ctx);
  static_cast<ReadState*>(parser->_private)->refusedDoctype = true;
  xmlStopParser(parser);
}

// No external entity is ever fetched, whatever a document names.
xmlParserInputPtr RefuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) { return nullptr; }

// The library reports some faults (a huge text node) outside the parser's own channel:
// they are not for the terminal; the parse result says what happened.
void Silent(void*, const char*, ...) {}

constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

XmlDocument Parse(ReadState& state, std::string& error) {
  InitXmlLibrary();
  xmlSetGenericErrorFunc(nullptr, Silent);
  xmlParserCtxtPtr parser = xmlNewParserCtxt();
  if (parser == nullptr) {
    error = "cannot create an XML parser";
    return nullptr;
  }
  parser->_private = &state;
  parser->sax->internalSubset = RefuseInternalSubset;
  parser->sax->externalSubset = nullptr;
  parser->sax->resolveEntity = nullptr;
  xmlDocPtr doc = xmlCtxtReadIO(parser, ReadCallback, CloseCallback, &state, nullptr, nullptr, kParseOptions);
  const bool wellFormed = parser->wellFormed != 0;
  std::string message;
  if (const xmlError* last = xmlCtxtGetLastError(parser); last != nullptr && last->message != nullptr) {
    message = last->message;
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  }
  xmlFreeParserCtxt(parser);

  XmlDocument result(doc);
  if (state.refusedDoctype) {
    error = "document type declarations are not accepted";
    return nullptr;
  }
  if (state.readError) {
    error = "the file cannot be read";
    return nullptr;
  }
  if (!result || !wellFormed || xmlDocGetRootElement(result.get()) == nullptr) {
    error = message.empty() ? "the document does not parse" : message;
    return nullptr;
  }
  return result;
}

}  // namespace

void InitXmlLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    xmlAddEncodingAlias("CP932", "Shift_JIS");
    xmlAddEncodingAlias("CP932", "SHIFT_JIS");
    xmlSetExternalEntityLoader(RefuseExternalEntity);
  });
}

XmlDocument LoadXmlDocument(const std::filesystem::path& path, std::string& error) {
  ReadState state;
  state.file = std::fopen(path.c_str(), "rb");
  if (state.file == nullptr) {
    error = "the file cannot be opened";
    return nullptr;
  }
  XmlDocument doc = Parse(state, error);
  std::fclose(state.file);
  return doc;
}

XmlDocument ParseXmlMemory(const std::string& bytes, std::string& error) {
  ReadState state;
  state.bytes = &bytes;
  return Parse(state, error);
}

}  // namespace edi::xml
