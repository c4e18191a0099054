// XML to CII: any bytes as an XML document. The conversion must not crash, must answer with
// a four-digit code, whatever it leaves must be whole groups (251-byte blocks ending with a
// trailer), and a successful conversion's file must read back through CII to XML (only its
// first message group, by design).
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
  if (!std::filesystem::exists(out)) return 0;
  const std::string cii = edi::test::ReadBytes(out);
  if (cii.size() % 251 != 0) std::abort();
  if (cii.empty()) return 0;
  if (cii.compare(cii.size() - 251, 2, "0E") != 0) std::abort();
  if (code != "0000") return 0;
  auto& reader = engine.Fresh();
  edi::test::WriteBytes(engine.dir / "back.cii", cii);
  const std::string back = edi::xml::ConvertCiiToXmlFile(reader, engine.dir / "back.cii", engine.dir / "back.xml");
  if (back != "0000" && back != "0042") std::abort();
  return 0;
}
