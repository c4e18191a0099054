// Local to CII under random masters: the input describes the 'E' and 'L' item tables (levels,
// attributes, lengths, positions, repeat counts up to the largest a row can hold, multi-detail
// numbers) and then the in-house file. Whatever the tables say, the writer must answer with a
// four-digit code within the fuzzer's time and memory limits and leave whole 251-byte blocks.
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cii_fuzz_engine.h"

namespace {

constexpr std::size_t kItemBytes = 8;

std::unique_ptr<edi::cii::MemoryMasters> MastersFrom(const std::uint8_t* rows, std::size_t items) {
  static const char* attributes[] = {"X", "N", "9", "Y", "K", "B", "M", "M", "Z"};
  static const int repeats[] = {0, 1, 2, 3, 5, 100, 65535, 1000000, INT_MAX};
  static const char* multiDetail[] = {"0", "1", "A", "12", "70000", "", "Z9", "-3"};
  std::vector<edi::cii::ItemFormat> edi, local;
  for (std::size_t k = 0; k < items; ++k) {
    const std::uint8_t* b = rows + k * kItemBytes;
    const int seq = static_cast<int>(k) + 1;
    const int level = b[0] % 4;
    const std::string attribute = attributes[b[1] % 9];
    const int decimals = b[3] % 4;
    long long itemNo = (b[4] << 8 | b[5]);
    if (b[4] >= 0xF0) itemNo *= 8;  // beyond the extended tags
    const int repeat = repeats[b[6] % 9];
    const std::string mdn = multiDetail[b[7] % 8];
    edi.push_back(edi::fuzz::Item(seq, 0, level, itemNo, "", attribute, b[2], decimals, mdn, repeat));
    local.push_back(edi::fuzz::Item(seq, seq, level, 0, std::to_string(1 + b[7]), attribute, b[2] % 64,
                                    decimals, mdn, repeat));
  }
  auto m = std::make_unique<edi::cii::MemoryMasters>();
  m->AddMessageGroup(edi::cii::test::Pad12("PART"), edi::cii::test::Pad12("OWN"), "0101",
                     edi::cii::test::GroupInfo());
  edi::cii::FormatInfo f;
  f.formId = "F1";
  f.xmlCharCode = "M";
  m->AddFormat("0101", "ABCD0101", f);
  m->SetItems('E', "0101", "ABCD0101", edi);
  m->SetItems('L', "0101", "ABCD0101", local);
  return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static edi::fuzz::FuzzEngine engine;
  if (size == 0) return 0;
  const std::size_t items = 1 + data[0] % 12;
  if (size < 1 + items * kItemBytes) return 0;
  auto& translator = engine.FreshWith(MastersFrom(data + 1, items));
  const std::size_t head = 1 + items * kItemBytes;
  const auto in = engine.dir / "in.loc";
  const auto out = engine.dir / "out.cii";
  edi::test::WriteBytes(in, std::string(reinterpret_cast<const char*>(data) + head, size - head));
  const std::string code = translator.RunOutboundTranslation("PART", 1, "1", in, out);
  if (!edi::fuzz::IsCode(code)) std::abort();
  if (std::filesystem::exists(out) && edi::test::ReadBytes(out).size() % 251 != 0) std::abort();
  return 0;
}
