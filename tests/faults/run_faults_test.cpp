// Faults in the middle of a run on SQLite: the package killed while it works, the output or
// backup folder missing or read-only, the disk full. Each time the run reports its codes,
// goes on with the next center, keeps every in-house file and earlier result, and leaves
// every history row it started completed.
#include <gtest/gtest.h>

#include <fstream>
#include <optional>

#include "fault_bench.h"

namespace edi::test {
namespace {

const std::string kDone = "OK|OK|OK|2";
const std::vector<std::string> kDoneCodes = {"04:0000/ ", "42:0000/0000", "32:0000/0000", "20:0000/0000"};

// Results of earlier runs and files of other centers in every folder the run touches.
struct EarlierFiles {
  explicit EarlierFiles(RunBench& b) : bench(b) {
    WriteBytes(b.in / "00000042_RCV_OTHER_______.CII", "received earlier");
    WriteBytes(b.out / "SND_OTHER_______0101.LOC", "another center's in-house file");
    WriteBytes(b.out / "00000042_SND_OTHER_______.CII", "an earlier result");
    WriteBytes(b.old / "00000042_SND_OTHER_______.CII", "an earlier backup");
    WriteBytes(b.send / "OTHER.CII", "an earlier send file");
    for (const auto& folder : {b.in, b.out, b.old, b.send})
      for (const auto& [name, bytes] : Snapshot(folder)) files[folder / name] = bytes;
  }
  void ExpectKept() const {
    for (const auto& [path, bytes] : files) {
      EXPECT_TRUE(std::filesystem::exists(path)) << path;
      EXPECT_EQ(ReadBytes(path), bytes) << path;
    }
  }
  RunBench& bench;
  std::map<std::filesystem::path, std::string> files;
};

std::string InHouseName(long long serial, const std::string& center, const std::string& code = "0101") {
  std::string field = center + "____________";
  char s[16];
  std::snprintf(s, sizeof s, "%08lld", serial);
  return std::string(s) + "_SND_" + field.substr(0, 12) + code + ".LOC";
}

std::string ResultName(long long serial, const std::string& center) {
  const std::string local = InHouseName(serial, center);
  return local.substr(0, local.size() - 8) + ".CII";
}

bool LogHas(const RecordingListener& l, const std::string& text) {
  for (const auto& line : l.log)
    if (line.find(text) != std::string::npos) return true;
  return false;
}

// Writes `file` until its file system is full.
void FillDisk(const std::filesystem::path& file) {
  std::ofstream f(file, std::ios::binary);
  const std::string chunk(1024, 'f');
  while (f.write(chunk.data(), chunk.size())) f.flush();
}

TEST(RunFaults, PackageKilledWhileItWorks) {
  ConvertingBench cb(StoppedPackageOptions());
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  AddTwoConvertingCenters(cb, /*hangFirst=*/true);
  EarlierFiles earlier(b);
  ASSERT_FALSE(b.Start());

  // The package of C1 hangs; stop it from outside as an operator or the system would.
  PackageStopper killer(b);
  RecordingListener l;
  RunCenters(b, {"C1", "C2"}, l);
  killer.Join();

  EXPECT_EQ(OutcomeOf(b, "C1"), "抽出ｴﾗｰ|||9");
  EXPECT_EQ(Codes(b, 1), (std::vector<std::string>{"04:4100/ ", "42:4100/0002"}));
  EXPECT_EQ(OutcomeOf(b, "C2"), kDone);
  EXPECT_EQ(Codes(b, 2), kDoneCodes);
  ExpectEveryRowCompleted(b.History());
  earlier.ExpectKept();
  EXPECT_TRUE(PackageGone(b));
}

TEST(RunFaults, OutputFolderMissing) {
  ConvertingBench cb;
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  AddTwoConvertingCenters(cb);
  ASSERT_FALSE(b.Start());
  std::filesystem::remove_all(b.out);
  RecordingListener l;
  RunCenters(b, {"C1", "C2"}, l);
  // The package cannot write the in-house files and says so; both centers ran.
  for (const char* c : {"C1", "C2"}) EXPECT_EQ(OutcomeOf(b, c), "抽出ｴﾗｰ|||9") << c;
  EXPECT_EQ(Codes(b, 1), (std::vector<std::string>{"04:9999/ ", "42:9999/0000"}));
  EXPECT_EQ(Codes(b, 2), (std::vector<std::string>{"04:9999/ ", "42:9999/0000"}));
  EXPECT_TRUE(LogHas(l, "C1: バックアップに失敗しました"));
  ExpectEveryRowCompleted(b.History());
}

TEST(RunFaults, OutputFolderReadOnlyWhileConverting) {
  ConvertingBench cb;
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  TmpfsMount out(b.out, "4m");
  if (!out.mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  AddTwoConvertingCenters(cb);
  EarlierFiles earlier(b);
  ASSERT_FALSE(b.Start());
  HookListener l;
  l.onLog = [&](const std::string& line) {
    if (line == "C1 変換: 変換中") ASSERT_TRUE(out.SetReadOnly(true));
  };
  l.onCenterFinished = [&](int) { out.SetReadOnly(false); };
  RunCenters(b, {"C1", "C2"}, l);

  EXPECT_EQ(OutcomeOf(b, "C1"), "OK|変換ｴﾗｰ||9");
  auto codes = Codes(b, 1);
  ASSERT_EQ(codes.size(), 3u);
  EXPECT_EQ(codes[0], "04:7200/ ");
  EXPECT_EQ(codes[1], "42:0000/0000");
  EXPECT_EQ(codes[2].substr(0, 3), "32:");
  EXPECT_NE(codes[2], "32:0000/0000");
  // The extracted file is still there and was backed up; no half result was left.
  EXPECT_EQ(ReadBytes(b.out / InHouseName(1, "C1")), DemoLocalFile());
  EXPECT_EQ(ReadBytes(b.old / InHouseName(1, "C1")), DemoLocalFile());
  EXPECT_FALSE(std::filesystem::exists(b.send / "C1.CII"));
  EXPECT_EQ(OutcomeOf(b, "C2"), kDone);
  EXPECT_EQ(Codes(b, 2), kDoneCodes);
  ExpectEveryRowCompleted(b.History());
  earlier.ExpectKept();
}

TEST(RunFaults, BackupFolderMissingOrReadOnlyDoesNotStopTheRun) {
  for (bool readOnly : {false, true}) {
    SCOPED_TRACE(readOnly ? "read-only" : "missing");
    ConvertingBench cb;
    if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
    RunBench& b = cb.bench;
    std::optional<TmpfsMount> old;
    if (readOnly) {
      old.emplace(b.old, "1m");
      if (!old->mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    }
    cb.AddConvertingCenter("C1");
    cb.AddConvertingCenter("C2");
    EarlierFiles earlier(b);
    if (readOnly) {
      ASSERT_TRUE(old->SetReadOnly(true));
    } else {
      std::filesystem::remove_all(b.old);
      earlier.files.erase(b.old / "00000042_SND_OTHER_______.CII");
    }
    ASSERT_FALSE(b.Start());
    RecordingListener l;
    RunCenters(b, {"C1", "C2"}, l);
    EXPECT_EQ(OutcomeOf(b, "C1"), kDone);
    EXPECT_EQ(OutcomeOf(b, "C2"), kDone);
    EXPECT_EQ(Codes(b, 1), kDoneCodes);
    EXPECT_EQ(Codes(b, 2), kDoneCodes);
    EXPECT_TRUE(LogHas(l, "C1: バックアップに失敗しました"));
    EXPECT_EQ(ReadBytes(b.out / InHouseName(1, "C1")), DemoLocalFile());
    ExpectEveryRowCompleted(b.History());
    if (old) old->SetReadOnly(false);
    earlier.ExpectKept();
  }
}

TEST(RunFaults, DiskFullWhileExtractingAndWhileConverting) {
  ConvertingBench cb;
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  TmpfsMount out(b.out, "64k");
  if (!out.mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  // C1 extracts a file larger than the disk; C2's conversion finds the disk full; C3 runs
  // once the space is back.
  b.AddCenter("C1", "Z", "C", (b.send / "C1.CII").string());
  b.AddPartner("C1", "PC1");
  b.AddInfoCode("C1", "0199");
  b.WriteData("0199", std::string(200 * 1024, 'x'));
  cb.AddConvertingCenter("C2");
  cb.AddConvertingCenter("C3");
  EarlierFiles earlier(b);
  ASSERT_FALSE(b.Start());
  const auto filler = b.out / "filler";
  HookListener l;
  l.onLog = [&](const std::string& line) {
    if (line != "C2 変換: 変換中") return;
    FillDisk(filler);
  };
  l.onCenterFinished = [&](int) { std::filesystem::remove(filler); };
  RunCenters(b, {"C1", "C2", "C3"}, l);

  EXPECT_EQ(OutcomeOf(b, "C1"), "抽出ｴﾗｰ|||9");
  EXPECT_EQ(Codes(b, 1), (std::vector<std::string>{"04:9999/ ", "42:9999/0000"}));
  EXPECT_FALSE(std::filesystem::exists(b.out / InHouseName(1, "C1", "0199")));  // no half file

  EXPECT_EQ(OutcomeOf(b, "C2"), "OK|変換ｴﾗｰ||9");
  auto codes = Codes(b, 2);
  ASSERT_EQ(codes.size(), 3u);
  EXPECT_EQ(codes[0], "04:7200/ ");
  EXPECT_NE(codes[2], "32:0000/0000");
  EXPECT_EQ(ReadBytes(b.out / InHouseName(2, "C2")), DemoLocalFile());
  EXPECT_EQ(ReadBytes(b.old / InHouseName(2, "C2")), DemoLocalFile());
  // The conversion that failed left no (empty) result behind, and none was backed up.
  EXPECT_FALSE(std::filesystem::exists(b.out / ResultName(2, "C2")));
  EXPECT_FALSE(std::filesystem::exists(b.old / ResultName(2, "C2")));
  EXPECT_FALSE(std::filesystem::exists(b.send / "C2.CII"));

  EXPECT_EQ(OutcomeOf(b, "C3"), kDone);
  EXPECT_EQ(Codes(b, 3), kDoneCodes);
  ExpectEveryRowCompleted(b.History());
  earlier.ExpectKept();
}

// Two in-house files share one result file: the first converts, the disk is full when the
// second is converted. The result is cut back to what the first file produced, which is
// what the backup holds; the step fails on its last file and nothing is sent.
TEST(RunFaults, DiskFullOnTheSecondFileKeepsTheFirstFilesMessages) {
  ConvertingBench cb;
  if (!cb.available()) GTEST_SKIP() << "the demo formats are not in the tree";
  RunBench& b = cb.bench;
  TmpfsMount out(b.out, "64k");
  if (!out.mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  cb.AddConvertingCenter("C1");
  b.AddInfoCode("C1", "0102", 1);
  // More messages than fit in the page the first file's messages left partly free.
  std::string second;
  for (int i = 0; i < 8; ++i) second += DemoLocalFile();
  b.WriteData("0102", second);
  EarlierFiles earlier(b);
  ASSERT_FALSE(b.Start());
  const auto filler = b.out / "filler";
  const auto result = b.out / ResultName(1, "C1");
  std::optional<std::string> afterFirst;
  HookListener l;
  l.onLog = [&](const std::string& line) {
    if (line.find("C1: 変換 " + InHouseName(1, "C1", "0102")) == std::string::npos) return;
    afterFirst = ReadBytes(result);
    FillDisk(filler);
  };
  RunCenters(b, {"C1"}, l);
  std::filesystem::remove(filler);

  // The first file's messages are sent; the run still ends in error for the second file.
  EXPECT_EQ(OutcomeOf(b, "C1"), "OK|一部ｴﾗｰ|OK|9");
  auto codes = Codes(b, 1);
  ASSERT_EQ(codes.size(), 5u);
  EXPECT_EQ(codes[0], "04:7200/ ");
  EXPECT_EQ(codes[2], "32:0000/0000");
  EXPECT_NE(codes[3], "32:0000/0000");
  EXPECT_EQ(codes[4], "20:0000/0000");
  ASSERT_TRUE(afterFirst.has_value());
  ASSERT_FALSE(afterFirst->empty());
  const std::string kept = ReadBytes(result), backup = ReadBytes(b.old / ResultName(1, "C1"));
  EXPECT_TRUE(kept == *afterFirst) << kept.size() << " bytes instead of " << afterFirst->size();
  EXPECT_TRUE(backup == *afterFirst) << backup.size() << " bytes instead of " << afterFirst->size();
  EXPECT_EQ(ReadBytes(b.out / InHouseName(1, "C1", "0102")), second);
  EXPECT_EQ(ReadBytes(b.send / "C1.CII"), *afterFirst);
  ExpectEveryRowCompleted(b.History());
  earlier.ExpectKept();
}

}  // namespace
}  // namespace edi::test
