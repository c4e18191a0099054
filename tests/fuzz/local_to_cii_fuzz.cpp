// Local to CII (mode "1"): any bytes as an in-house file under the fixed masters; the first
// byte picks the 16-bit code of the header ("M", "S" or "U"). The writer must answer with a
// four-digit code and leave whole 251-byte blocks. A file it converts without an error must
// read back (mode "2") without an error, and every line read back must be clean Shift_JIS:
// a half character in a field would come back as a broken byte.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cii/sjis.h"
#include "cii_fuzz_engine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static edi::fuzz::FuzzEngine engine;
  if (size == 0) return 0;
  static const char* codes[] = {"M", "S", "U"};
  auto& translator = engine.Fresh("M", codes[data[0] % 3]);
  const auto in = engine.dir / "in.loc";
  const auto out = engine.dir / "out.cii";
  edi::test::WriteBytes(in, std::string(reinterpret_cast<const char*>(data) + 1, size - 1));
  const std::string code = translator.RunOutboundTranslation("PART", 1, "1", in, out);
  if (!edi::fuzz::IsCode(code)) std::abort();
  if (!std::filesystem::exists(out)) return 0;
  const std::string cii = edi::test::ReadBytes(out);
  if (cii.size() % 251 != 0) std::abort();
  if (code != "0000" || cii.empty()) return 0;
  const std::string back = translator.RunOutboundTranslation("PART", 1, "2", out, engine.dir / "back.loc");
  if (back != "0000") std::abort();
  for (const auto& e : std::filesystem::directory_iterator(engine.dir.path())) {
    if (e.path().filename().string().rfind("back", 0) != 0) continue;
    const std::string lines = edi::test::ReadBytes(e.path());
    if (!edi::cii::IsWellFormedShiftJis(lines)) std::abort();
  }
  return 0;
}
