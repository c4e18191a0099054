// CII reader (mode "2"): any bytes as a CII file, read into local lines with small fixed
// masters. It must not crash, must answer with a four-digit code, and every local line it
// writes must have the layout's width.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cii_fuzz_engine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static edi::fuzz::FuzzEngine engine;
  auto& translator = engine.Fresh();
  const auto in = engine.dir / "in.cii";
  edi::test::WriteBytes(in, std::string(reinterpret_cast<const char*>(data), size));
  const std::string code = translator.RunOutboundTranslation("PART", 1, "2", in, engine.dir / "out.loc");
  if (!edi::fuzz::IsCode(code)) std::abort();
  return 0;
}
