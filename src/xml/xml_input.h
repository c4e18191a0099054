// Loading XML documents without trusting them.
//
// Documents come from partners. They are parsed without network access, without loading
// any DTD or external entity and without substituting entities, with the library's size
// limits on (text nodes, names, nesting depth). A document with a DOCTYPE is refused: the
// documents of this system never carry one, and refusing it keeps entity declarations
// (external ones, and the expanding kind) out entirely.
#pragma once

#include <libxml/tree.h>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace edi::xml {

// Once per process, before the first parse: the library's own initialisation, and
// "Shift_JIS" read and written as Windows code page 932 (the library's own Shift_JIS
// table turns 0x5C and 0x7E into other characters and lacks the NEC and IBM characters).
void InitXmlLibrary();

struct XmlDocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XmlDocument = std::unique_ptr<xmlDoc, XmlDocFree>;

// The parsed document, or nullptr when the file cannot be read, does not parse, or is
// refused; `error` then says why (in English, for the log).
XmlDocument LoadXmlDocument(const std::filesystem::path& path, std::string& error);
XmlDocument ParseXmlMemory(const std::string& bytes, std::string& error);

// Reading a document piece by piece, so that memory stays flat however large it is. The
// parser builds the tree as usual, but each outermost element with one of the unit names is
// handed over as soon as its end tag is read and then freed together with everything before
// it; elements outside any unit are freed at their end tag as well.
class XmlUnitHandler {
 public:
  virtual ~XmlUnitHandler() = default;
  // Before the first element: whether the document's declaration names an encoding.
  virtual void DocumentStart(bool declaresEncoding) = 0;
  // One complete unit element. False stops the parse.
  virtual bool Unit(const xmlNode* element) = 0;
  // Whether the handler reads the text inside elements of this name (the unit's own name
  // included). Text and CDATA that no such element encloses are left out of the tree, so
  // that layout between elements costs no nodes. All text by default.
  virtual bool ReadsTextOf(std::string_view /*elementName*/) const { return true; }
};

enum class StreamOutcome {
  Complete,  // the whole document was read and is well-formed
  Stopped,   // the handler stopped it
  Failed,    // the file cannot be read, does not parse, or is refused (`error` says why)
  TooLarge,  // one unit (or what lies between two units) is larger than a bound (bytes or nodes)
};

// The most document bytes held in memory at once: one unit with everything in it (text,
// comments, unknown elements), or the material between two units. Far above any real
// message; it keeps the memory of one conversion flat whatever a document holds.
constexpr std::size_t kMaxUnitBytes = 16u << 20;
// The most nodes the tree holds at once, counted over the same stretch: elements, attributes
// (two nodes each, the attribute and its text), namespace declarations, text, CDATA, comments
// and processing instructions. A node takes 100 to 250 bytes of memory, so a unit of a million
// empty comments would hold some 170 MB within its 7 MB. A message of this system holds one
// element and one text node per data element: 100,000 nodes are some 50,000 data elements.
constexpr std::size_t kMaxUnitNodes = 100000;

StreamOutcome StreamXmlUnits(const std::filesystem::path& path, std::initializer_list<std::string_view> unitNames,
                             XmlUnitHandler& handler, std::string& error);

}  // namespace edi::xml
