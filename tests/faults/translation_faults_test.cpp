// `edi translate` writing into a full disk: every direction fails, and the output folder is
// left exactly as it was. The translators write their results through large buffers, so the
// write that fails may well be the last one, made as the output file is closed.
#include <gtest/gtest.h>

#include "fault_bench.h"

namespace edi::test {
namespace {

TEST(TranslationFaults, FullDiskFailsEveryDirectionAndLeavesTheOutputAsItWas) {
  ConvertingBench cb;
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  // One partner's demo lines (one message group, as an XML document holds), repeated to
  // outgrow the room left in the last page of an earlier file, in every form, made while
  // there is room.
  const auto local = b.root / "demo.LOC", cii = b.root / "demo.CII", xml = b.root / "demo.XML";
  const std::string lines = ReadBytes(std::filesystem::path(EDI_SOURCE_DIR) / "db/demo/local/MAKER002_0101.LOC");
  std::string many;
  for (int k = 0; k < 40; ++k) many += lines;
  WriteBytes(local, many);
  ASSERT_EQ(RunEdi(b, "translate local-to-cii " + local.string() + " " + cii.string()).exitCode, 0);
  const auto toXml = RunEdi(b, "translate cii-to-xml " + cii.string() + " " + xml.string());
  ASSERT_EQ(toXml.exitCode, 0) << toXml.out;

  const auto full = b.root / "full";
  TmpfsMount disk(full, "64k");
  if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  // Earlier files at the names the translations append to keep their bytes.
  WriteBytes(full / "out.CII", "an earlier CII file");
  WriteBytes(full / "back0101.LOC", "an earlier in-house line\r\n");
  FillDisk(full / "filler");
  const auto before = Snapshot(full);

  const struct {
    const char* direction;
    std::filesystem::path input;
    const char* output;
  } cases[] = {
      {"local-to-cii", local, "out.CII"},
      {"cii-to-local", cii, "back.LOC"},
      {"cii-to-xml", cii, "out.XML"},
      {"xml-to-cii", xml, "out.CII"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.direction);
    const auto r = RunEdi(b, std::string("translate ") + c.direction + " " + c.input.string() + " " +
                                 (full / c.output).string());
    EXPECT_NE(r.exitCode, 0) << r.out;
    const auto after = Snapshot(full);
    EXPECT_EQ(after.size(), before.size());
    for (const auto& [name, bytes] : after)
      EXPECT_TRUE(before.count(name) && before.at(name) == bytes) << name << " changed or left behind";
  }
}

}  // namespace
}  // namespace edi::test
