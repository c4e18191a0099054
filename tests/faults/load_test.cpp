// Four workstations at once: four `edi run` processes on four terminals against one
// PostgreSQL database, 25 centers each. Every run gets a serial of its own, every history
// row is completed, and every run's files are in the output, backup and send folders.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <set>

#include "fault_bench.h"

namespace edi::test {
namespace {

TEST(Load, FourWorkstationsOnOneDatabase) {
  BenchOptions options;
  options.postgres = true;
  ConvertingBench cb(options);
  if (!cb.bench.available()) GTEST_SKIP() << "no PostgreSQL server (scripts/test starts one)";
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  const std::vector<std::string> terminals = {"T1", "T2", "T3", "T4"};
  const int perTerminal = 25;
  std::set<std::string> centers;
  for (const auto& t : terminals)
    for (int i = 0; i < perTerminal; ++i) {
      const std::string c = t + "C" + std::to_string(i);
      cb.AddConvertingCenter(c, t);
      centers.insert(c);
    }

  std::string command;
  for (const auto& t : terminals) {
    const auto out = (b.root / (t + ".out")).string(), rc = (b.root / (t + ".rc")).string();
    command += "('" + std::string(EDI_CLI_PATH) + "' --ini '" + b.ini.string() + "' run --all --terminal " + t +
               " > '" + out + "' 2>&1; echo $? > '" + rc + "') & ";
  }
  ASSERT_EQ(std::system((command + "wait").c_str()), 0);
  for (const auto& t : terminals)
    EXPECT_EQ(ReadBytes(b.root / (t + ".rc")), "0\n") << ReadBytes(b.root / (t + ".out"));

  const auto rows = b.History();
  ExpectEveryRowCompleted(rows);
  std::map<long long, std::vector<std::string>> codesOfSerial;
  std::map<long long, std::set<std::string>> centersOfSerial;
  std::map<std::string, long long> serialOfCenter;
  for (const auto& r : rows) {
    const long long serial = r.Int("通番");
    codesOfSerial[serial].push_back(r.Text("処理種別") + ":" + r.Text("終了コード"));
    centersOfSerial[serial].insert(r.Text("センターコード"));
    if (r.Int("枝番") == 0) EXPECT_TRUE(serialOfCenter.emplace(r.Text("センターコード"), serial).second);
  }
  EXPECT_EQ(serialOfCenter.size(), centers.size());  // each center ran once, on its own serial
  EXPECT_EQ(codesOfSerial.size(), centers.size());
  for (const auto& [serial, codes] : codesOfSerial) {
    SCOPED_TRACE(serial);
    EXPECT_EQ(centersOfSerial[serial].size(), 1u);
    EXPECT_EQ(codes, (std::vector<std::string>{"04:0000", "42:0000", "32:0000", "20:0000"}));
  }
  // Nothing lost: each run's in-house file and result in the output and backup folders,
  // and each center's send file.
  const std::string local = DemoLocalFile();
  for (const auto& [center, serial] : serialOfCenter) {
    SCOPED_TRACE(center);
    char s[16];
    std::snprintf(s, sizeof s, "%08lld", serial);
    const std::string stem = std::string(s) + "_SND_" + (center + "____________").substr(0, 12);
    EXPECT_EQ(ReadBytes(b.out / (stem + "0101.LOC")), local);
    EXPECT_EQ(ReadBytes(b.old / (stem + "0101.LOC")), local);
    const std::string result = ReadBytes(b.out / (stem + ".CII"));
    EXPECT_FALSE(result.empty());
    EXPECT_EQ(ReadBytes(b.old / (stem + ".CII")), result);
    EXPECT_EQ(ReadBytes(b.send / (center + ".CII")), result);
  }
  const std::string out = ReadBytes(b.root / "T1.out") + ReadBytes(b.root / "T2.out") +
                          ReadBytes(b.root / "T3.out") + ReadBytes(b.root / "T4.out");
  EXPECT_EQ(out.find("通番ｴﾗｰ"), std::string::npos) << out;
}

}  // namespace
}  // namespace edi::test
