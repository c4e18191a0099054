#include "app/catalogue.h"
#include "xml/xml_input.h"

#include <libxml/encoding.h>
#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "xml/file_feed.h"

namespace edi::xml {

namespace {

struct StreamState {
  std::vector<std::string_view> units;
  XmlUnitHandler* handler = nullptr;
  int depth = 0;       // of the element being read (the root is 1)
  int unitDepth = -1;  // of the unit being read, -1 outside any unit
  // Of the outermost open element whose text the handler reads, -1 when none is open: text
  // anywhere else (layout between elements, text outside the units) is not kept in the tree.
  int textDepth = -1;
  // Bytes of the run of text left out since the last node: the library refuses a text node
  // beyond its limit, and a document refused so stays refused when its text is left out.
  std::size_t droppedRun = 0;
  bool textTooLong = false;
  bool stopped = false;
  // File bytes read when the tree last lost everything complete: what was read since is
  // what the tree may hold.
  std::size_t heldSince = 0;
  // Nodes added to the tree since then (elements, attributes, text, comments, instructions):
  // a node costs far more memory than its bytes in the document ("<!---->" is seven bytes).
  std::size_t nodesHeld = 0;
  bool tooLarge = false;
  bool tooManyNodes = false;  // of the two bounds, the node bound was passed
  // The library's own handlers, which the stream's handlers call first.
  charactersSAXFunc characters = nullptr, whitespace = nullptr;
  commentSAXFunc comment = nullptr;
  cdataBlockSAXFunc cdata = nullptr;
  processingInstructionSAXFunc instruction = nullptr;
};

struct ReadState {
  StreamState* stream = nullptr;      // streaming units, or building the whole tree
  FileFeed* feed = nullptr;           // reading a file
  const std::string* bytes = nullptr; // or a buffer
  std::size_t offset = 0;
  std::size_t bytesRead = 0;          // from the file or buffer so far
  bool readError = false;
  bool badBytes = false;
  bool refusedDoctype = false;
};

int ReadCallback(void* context, char* buffer, int len) {
  auto* state = static_cast<ReadState*>(context);
  if (state->feed != nullptr) {
    const int n = state->feed->Read(buffer, len);
    state->bytesRead = state->feed->bytesRead();
    state->readError = state->feed->readError();
    state->badBytes = state->feed->badBytes();
    return n;
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

ReadState& StateOf(void* ctx) {
  return *static_cast<ReadState*>(static_cast<xmlParserCtxtPtr>(ctx)->_private);
}

// Stops the parse when the tree holds more than a unit may, in bytes of the document or in
// nodes: checked at every piece of content the parser adds.
void CheckHeld(void* ctx) {
  ReadState& state = StateOf(ctx);
  StreamState& stream = *state.stream;
  if (stream.tooLarge) return;
  if (state.bytesRead - stream.heldSince <= kMaxUnitBytes && stream.nodesHeld <= kMaxUnitNodes) return;
  stream.tooLarge = true;
  stream.tooManyNodes = stream.nodesHeld > kMaxUnitNodes;
  xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
}

void StreamStartDocument(void* ctx) {
  xmlSAX2StartDocument(ctx);
  auto* parser = static_cast<xmlParserCtxtPtr>(ctx);
  const bool declared = parser->encoding != nullptr || (parser->input != nullptr && parser->input->encoding != nullptr);
  StateOf(ctx).stream->handler->DocumentStart(declared);
}

void StreamStartElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri,
                        int namespaceCount, const xmlChar** namespaces, int attributeCount, int defaultedCount,
                        const xmlChar** attributes) {
  xmlSAX2StartElementNs(ctx, localname, prefix, uri, namespaceCount, namespaces, attributeCount, defaultedCount,
                        attributes);
  StreamState& stream = *StateOf(ctx).stream;
  ++stream.depth;
  stream.droppedRun = 0;
  // The element, each attribute with its value's text node, each namespace declaration.
  stream.nodesHeld += 1 + 2 * static_cast<std::size_t>(std::max(attributeCount, 0)) +
                      static_cast<std::size_t>(std::max(namespaceCount, 0));
  CheckHeld(ctx);
  const std::string_view name(reinterpret_cast<const char*>(localname));
  if (stream.unitDepth < 0) {
    for (std::string_view unit : stream.units) {
      if (name == unit) {
        stream.unitDepth = stream.depth;
        break;
      }
    }
  }
  if (stream.unitDepth >= 0 && stream.textDepth < 0 && stream.handler->ReadsTextOf(name))
    stream.textDepth = stream.depth;
}

// Text and CDATA reach the tree only inside an element whose text is read. Text left out
// still counts against the library's limit on one text node.
void DropText(void* ctx, StreamState& stream, int len) {
  const auto* parser = static_cast<xmlParserCtxtPtr>(ctx);
  const std::size_t n = static_cast<std::size_t>(std::max(len, 0));
  if (stream.droppedRun > 0 && stream.droppedRun + n > XML_MAX_TEXT_LENGTH && (parser->options & XML_PARSE_HUGE) == 0) {
    stream.textTooLong = true;
    xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
    return;
  }
  stream.droppedRun += n;
}

// The node the parser added last: the last child of the open element, or of the document
// outside the root.
const xmlNode* LastAdded(const xmlParserCtxt* parser) {
  if (parser->node != nullptr) return parser->node->last;
  return parser->myDoc != nullptr ? parser->myDoc->last : nullptr;
}

// Every piece of content goes through here: `add` runs the library's handler (or leaves the
// content out), a node it added counts against the unit's bound (text joined to the text
// before it adds none), and then what the tree holds is checked.
template <typename Add>
void AddContent(void* ctx, Add add) {
  const auto* parser = static_cast<xmlParserCtxtPtr>(ctx);
  StreamState& stream = *StateOf(ctx).stream;
  const xmlNode* before = LastAdded(parser);
  add(stream);
  if (LastAdded(parser) != before) ++stream.nodesHeld;
  CheckHeld(ctx);
}

void StreamCharacters(void* ctx, const xmlChar* text, int len) {
  AddContent(ctx, [&](StreamState& stream) {
    if (stream.textDepth >= 0) stream.characters(ctx, text, len);
    else DropText(ctx, stream, len);
  });
}
void StreamWhitespace(void* ctx, const xmlChar* text, int len) {
  AddContent(ctx, [&](StreamState& stream) {
    if (stream.textDepth >= 0) stream.whitespace(ctx, text, len);
    else DropText(ctx, stream, len);
  });
}
// CDATA, comments and instructions are nodes of their own: text after them starts a new one.
void StreamCdata(void* ctx, const xmlChar* text, int len) {
  AddContent(ctx, [&](StreamState& stream) {
    stream.droppedRun = 0;
    if (stream.textDepth >= 0) stream.cdata(ctx, text, len);
  });
}
void StreamComment(void* ctx, const xmlChar* text) {
  AddContent(ctx, [&](StreamState& stream) {
    stream.droppedRun = 0;
    stream.comment(ctx, text);
  });
}
void StreamInstruction(void* ctx, const xmlChar* target, const xmlChar* data) {
  AddContent(ctx, [&](StreamState& stream) {
    stream.droppedRun = 0;
    stream.instruction(ctx, target, data);
  });
}

// Frees every child of an element. The parser no longer refers to any of them: they are
// all complete, and the next text starts a fresh node because the element has no last child.
void FreeChildren(xmlNode* parent) {
  xmlNode* child = parent->children;
  while (child != nullptr) {
    xmlNode* next = child->next;
    xmlUnlinkNode(child);
    xmlFreeNode(child);
    child = next;
  }
}

void StreamEndElement(void* ctx, const xmlChar* localname, const xmlChar* prefix, const xmlChar* uri) {
  auto* parser = static_cast<xmlParserCtxtPtr>(ctx);
  xmlNode* element = parser->node;  // the element this end tag closes
  xmlSAX2EndElementNs(ctx, localname, prefix, uri);
  StreamState& stream = *StateOf(ctx).stream;
  const int depth = stream.depth--;
  stream.droppedRun = 0;
  if (depth == stream.textDepth) stream.textDepth = -1;
  if (stream.unitDepth >= 0 && depth > stream.unitDepth) return;  // inside a unit: kept for it
  if (element == nullptr || element->type != XML_ELEMENT_NODE) return;
  bool goOn = true;
  if (stream.unitDepth == depth) {
    stream.unitDepth = -1;
    goOn = stream.handler->Unit(element);
  }
  // The element and everything before it in its parent are done with. The root itself
  // stays until the end (its parent is the document).
  if (element->parent != nullptr && element->parent->type == XML_ELEMENT_NODE) {
    FreeChildren(element->parent);
    stream.heldSince = StateOf(ctx).bytesRead;
    stream.nodesHeld = 0;
  }
  if (!goOn) {
    stream.stopped = true;
    xmlStopParser(parser);
  }
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
    error = Tr("XML パーサを作れません");
    return nullptr;
  }
  parser->_private = &state;
  parser->sax->internalSubset = RefuseInternalSubset;
  parser->sax->externalSubset = nullptr;
  parser->sax->resolveEntity = nullptr;
  if (state.stream != nullptr) {
    parser->sax->startDocument = StreamStartDocument;
    parser->sax->startElementNs = StreamStartElement;
    parser->sax->endElementNs = StreamEndElement;
    StreamState& stream = *state.stream;
    stream.characters = parser->sax->characters;
    stream.whitespace = parser->sax->ignorableWhitespace;
    stream.comment = parser->sax->comment;
    stream.cdata = parser->sax->cdataBlock;
    stream.instruction = parser->sax->processingInstruction;
    if (stream.characters) parser->sax->characters = StreamCharacters;
    if (stream.whitespace) parser->sax->ignorableWhitespace = StreamWhitespace;
    if (stream.comment) parser->sax->comment = StreamComment;
    if (stream.cdata) parser->sax->cdataBlock = StreamCdata;
    if (stream.instruction) parser->sax->processingInstruction = StreamInstruction;
  }
  xmlDocPtr doc = xmlCtxtReadIO(parser, ReadCallback, CloseCallback, &state, nullptr, nullptr, kParseOptions);
  const bool wellFormed = parser->wellFormed != 0;
  std::string message;
  if (const xmlError* last = xmlCtxtGetLastError(parser); last != nullptr && last->message != nullptr) {
    message = last->message;
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) message.pop_back();
  }
  xmlFreeParserCtxt(parser);

  XmlDocument result(doc);
  if (state.stream != nullptr && (state.stream->stopped || state.stream->tooLarge)) return result;
  if (state.stream != nullptr && state.stream->textTooLong) {
    error = "xmlSAX2Characters: huge text node";  // as the library says when it keeps the text
    return nullptr;
  }
  if (state.refusedDoctype) {
    error = Tr("文書型宣言 (DOCTYPE) は受け付けません");
    return nullptr;
  }
  if (state.readError) {
    error = Tr("ファイルを読めません");
    return nullptr;
  }
  if (state.badBytes) {
    error = Tr("文書に Shift_JIS ではないバイトがあります");
    return nullptr;
  }
  if (!result || !wellFormed || xmlDocGetRootElement(result.get()) == nullptr) {
    error = message.empty() ? std::string(Tr("文書を解析できません")) : message;
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
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = Tr("ファイルを開けません");
    return nullptr;
  }
  FileFeed feed(file);
  ReadState state;
  state.feed = &feed;
  XmlDocument doc = Parse(state, error);
  std::fclose(file);
  return doc;
}

XmlDocument ParseXmlMemory(const std::string& bytes, std::string& error) {
  ReadState state;
  state.bytes = &bytes;
  return Parse(state, error);
}

StreamOutcome StreamXmlUnits(const std::filesystem::path& path, std::initializer_list<std::string_view> unitNames,
                             XmlUnitHandler& handler, std::string& error) {
  StreamState stream;
  stream.units.assign(unitNames.begin(), unitNames.end());
  stream.handler = &handler;
  ReadState state;
  state.stream = &stream;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    error = Tr("ファイルを開けません");
    return StreamOutcome::Failed;
  }
  FileFeed feed(file);
  state.feed = &feed;
  XmlDocument doc = Parse(state, error);
  std::fclose(file);
  if (stream.tooLarge) {
    error = stream.tooManyNodes
                ? TrArgs("文書の一部が {1} 個より多いノードを持っています", {std::to_string(kMaxUnitNodes)})
                : TrArgs("文書の一部が {1} バイトより大きいです", {std::to_string(kMaxUnitBytes)});
    return StreamOutcome::TooLarge;
  }
  if (stream.stopped) return StreamOutcome::Stopped;
  return doc ? StreamOutcome::Complete : StreamOutcome::Failed;
}

}  // namespace edi::xml
