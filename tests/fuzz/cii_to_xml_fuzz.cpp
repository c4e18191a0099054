// CII to XML: any bytes as a CII file. The conversion must not crash and must answer with a
// four-digit code; it must never leave its temporary file behind; and a document it keeps
// must be well-formed XML that libxml2 reads back; and a document reported as complete
// ("0000") must convert back to CII.
#include <libxml/parser.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "cii_fuzz_engine.h"
#include "xml/cii_to_xml.h"
#include "xml/inbound.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static edi::fuzz::FuzzEngine engine;
  if (size == 0) return 0;
  // The first byte picks the document's encoding (XML文字コード), the rest is the file.
  static const char* codes[] = {"M", "S", "U", "J"};
  auto& translator = engine.Fresh(codes[data[0] % 4]);
  const auto in = engine.dir / "in.cii";
  const auto out = engine.dir / "out.xml";
  edi::test::WriteBytes(in, std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  const std::string code = edi::xml::ConvertCiiToXmlFile(translator, in, out);
  if (!edi::fuzz::IsCode(code)) std::abort();
  if (std::filesystem::exists(edi::xml::PartialOutputPath(out))) std::abort();
  if (std::filesystem::exists(out)) {
    const std::string xml = edi::test::ReadBytes(out);
    xmlDocPtr doc = xmlReadMemory(xml.data(), static_cast<int>(xml.size()), "out.xml", nullptr,
                                  XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc) std::abort();
    xmlFreeDoc(doc);
    if (code == "0000") {
      auto& writer = engine.Fresh();
      edi::test::WriteBytes(engine.dir / "back.xml", xml);
      const std::string back = edi::xml::ConvertXmlToCiiFile(writer, engine.dir / "back.xml", engine.dir / "back.cii");
      if (back != "0000") std::abort();
    }
  }
  return 0;
}
