// Transfer runs that fail in the package hand-off, in the serial allocation or on a center
// code that cannot name files; two partner companies; and the demo centers run to the end
// when the demo formats are in the tree.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "app/text.h"
#include "run/run_driver.h"
#include "run_bench.h"

namespace edi::test {
namespace {

struct Outcome {
  std::string extract, convert, send;
  int state;
  bool operator==(const Outcome&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Outcome& o) {
  return os << o.extract << "|" << o.convert << "|" << o.send << "|" << o.state;
}

Outcome OutcomeOf(RunBench& b, const std::string& center) {
  CenterRow r = b.ws.centers.at(RowOf(b.ws, center));
  return {r.extractStatus, r.convertStatus, r.sendStatus, r.rowState};
}

// Marks the centers and runs one pass.
void RunCenters(RunBench& b, const std::vector<std::string>& centers, RecordingListener& listener) {
  for (const auto& c : centers) b.ws.centers.SetMarked(RowOf(b.ws, c), true);
  run::RunDriver driver(b.ws, listener);
  driver.RunMarkedCenters(0);
}

std::vector<std::string> Codes(RunBench& b, long long serial) {
  std::vector<std::string> codes;
  for (const auto& r : b.History())
    if (r.Int("通番") == serial) codes.push_back(r.Text("処理種別") + ":" + r.Text("終了コード") + "/" + r.Text("詳細コード"));
  return codes;
}

TEST(RunFailures, PackageThatCannotStartOrHangs) {
  {
    BenchOptions o;
    o.packageCommand = "/nonexistent/mgpkg";
    RunBench b(o);
    b.AddCenter("C1");
    b.AddPartner("C1", "P1");
    ASSERT_FALSE(b.Start());
    RecordingListener l;
    RunCenters(b, {"C1"}, l);
    EXPECT_EQ(OutcomeOf(b, "C1"), (Outcome{"抽出ｴﾗｰ", "", "", 9}));
    EXPECT_EQ(Codes(b, 1), (std::vector<std::string>{"04:4100/ ", "42:4100/0001"}));
  }
  {
    BenchOptions o;
    o.timeoutSeconds = 1;
    RunBench b(o);
    b.AddCenter("C1");
    b.AddCenter("C2");
    b.AddPartner("C1", "P1");
    b.AddPartner("C2", "P2");
    b.AddInfoCode("C1", "0101");
    b.AddInfoCode("C2", "0101");
    b.WriteData("0101", "x\r\n");
    b.ConfigurePackage({"HANG@P1=1"});
    ASSERT_FALSE(b.Start());
    RecordingListener l;
    RunCenters(b, {"C1", "C2"}, l);
    EXPECT_EQ(OutcomeOf(b, "C1"), (Outcome{"抽出ｴﾗｰ", "", "", 9}));
    EXPECT_EQ(Codes(b, 1), (std::vector<std::string>{"04:4100/ ", "42:4100/0003"}));
    // The next center still runs after the first one failed.
    EXPECT_EQ(OutcomeOf(b, "C2").extract, "OK");
    EXPECT_FALSE(std::filesystem::exists(b.out / "00000001_SND_C1__________0101.LOC"));
  }
}

TEST(RunFailures, SerialErrorLeavesNoHistoryAndSkipsTheOtherSteps) {
  RunBench b;
  b.AddCenter("C1");
  b.AddCenter("C2");
  b.AddPartner("C2", "P2");
  ASSERT_FALSE(b.Start());
  b.ws.centers.SetStatus(RowOf(b.ws, "C1"), kColConvert, "前回");
  int inserts = 0;
  b.ws.db->SetFaultHook([&](const std::string& sql) {
    if (sql.rfind("INSERT", 0) == 0 && ++inserts == 1) throw DatabaseError("refused");
  });
  RecordingListener l;
  RunCenters(b, {"C1", "C2"}, l);
  b.ws.db->SetFaultHook(nullptr);
  EXPECT_EQ(OutcomeOf(b, "C1"), (Outcome{"通番ｴﾗｰ", "前回", "", 9}));
  // C2 got serial 1 and ran; C1 left no row behind.
  auto rows = b.History();
  ASSERT_FALSE(rows.empty());
  for (const auto& r : rows) EXPECT_EQ(r.Text("センターコード"), "C2");
  EXPECT_EQ(Codes(b, 1).front(), "04:7200/ ");
}

TEST(RunFailures, CenterCodeThatCannotNameFilesFailsWith9999) {
  RunBench b;
  for (const char* c : {"../ESC", "ABCDEFGHIJKLM", "A/B"}) {
    b.AddCenter(c);
    b.AddPartner(c, "P");
    b.AddInfoCode(c, "0101");
  }
  b.WriteData("0101", "x\r\n");
  ASSERT_FALSE(b.Start());
  RecordingListener l;
  RunCenters(b, {"../ESC", "ABCDEFGHIJKLM", "A/B"}, l);
  for (const char* c : {"../ESC", "ABCDEFGHIJKLM", "A/B"}) EXPECT_EQ(OutcomeOf(b, c), (Outcome{"抽出ｴﾗｰ", "", "", 9}));
  auto rows = b.History();
  ASSERT_EQ(rows.size(), 3u);
  for (const auto& r : rows) {
    EXPECT_EQ(r.Int("枝番"), 0);
    EXPECT_EQ(r.Text("終了コード"), "9999");
  }
  // The package was never started and nothing was written anywhere.
  EXPECT_FALSE(std::filesystem::exists(b.mgpkgLog));
  EXPECT_TRUE(b.FileNames(b.param).empty());
  EXPECT_TRUE(b.FileNames(b.out).empty());
  EXPECT_FALSE(std::filesystem::exists(b.root / "ESC"));
}

TEST(RunFailures, TwoPartnersRunThePackageTwiceWithTheSectionCodes) {
  BenchOptions o;
  o.defaultInfoCodes = {"0201", "0202"};
  RunBench b(o);
  b.AddCenter("C1");
  b.AddPartner("C1", "P1", 1);
  b.AddPartner("C1", "P2", 2);
  b.WriteData("0201", "a\r\n");
  b.ConfigurePackage({"RESULT@P1=01"});
  ASSERT_FALSE(b.Start());
  RecordingListener l;
  RunCenters(b, {"C1"}, l);
  // P2 succeeded, so the run went on to the conversion; P1's failure is not hidden by it.
  EXPECT_EQ(OutcomeOf(b, "C1").extract, "一部ｴﾗｰ");
  EXPECT_EQ(OutcomeOf(b, "C1").state, 9);
  auto codes = Codes(b, 1);
  ASSERT_GE(codes.size(), 3u);
  EXPECT_EQ(codes[0], "04:9999/ ");
  EXPECT_EQ(codes[1], "42:9999/0000");
  EXPECT_EQ(codes[2], "42:0000/0000");

  // The package ran twice, each time with its own partner and both section codes.
  const std::string log = FromAnsiBytes(ReadBytes(b.mgpkgLog));
  const std::string lines = "/[EDI]0201TXT='%EDI_OUT%00000001_SND_C1__________0201.LOC'\r\n"
                            "/[EDI]0202TXT='%EDI_OUT%00000001_SND_C1__________0202.LOC'\r\n"
                            "/[EDI]OPERATOR='OP01'\r\n";
  EXPECT_NE(log.find(lines + "/[EDI]STATUS_FILE='" + (b.status / "00000001_Z_OUT_STATUS.TXT").string() +
                     "'\r\n/[EDI]MAKER='P1'"),
            std::string::npos);
  EXPECT_NE(log.find("/[EDI]MAKER='P2'"), std::string::npos);
  std::size_t makers = 0;
  for (std::size_t p = 0; (p = log.find("/[EDI]MAKER=", p)) != std::string::npos; ++p) ++makers;
  EXPECT_EQ(makers, 2u);
}

// A status file left by the first partner must not stand for the second partner's package.
TEST(RunFailures, StatusFileOfAnEarlierPartnerIsNotReadAgain) {
  RunBench b;
  b.AddCenter("C1");
  b.AddPartner("C1", "P1", 1);
  b.AddPartner("C1", "P2", 2);
  b.ConfigurePackage({"STATUS@P2=skip"});
  ASSERT_FALSE(b.Start());
  RecordingListener l;
  RunCenters(b, {"C1"}, l);
  // P1 extracted (nothing), P2 reported nothing: the run went on and failed on P2's code.
  EXPECT_EQ(OutcomeOf(b, "C1"), (Outcome{"一部ｴﾗｰ", "変換ｴﾗｰ", "", 9}));
  EXPECT_EQ(Codes(b, 1), (std::vector<std::string>{"04:4100/ ", "42:0000/0000", "42:4100/0002"}));
}

// A status file without a single line reports nothing, which is no success; one with only
// the end line is a package that had nothing to extract. Both complete the partner's row.
TEST(RunFailures, StatusFileWithoutLinesOrWithOnlyTheEndLine) {
  for (const auto& [writer, expected] : {std::pair<std::string, std::string>{":", "42:9999/0000"},
                                         {"printf '1\\r\\n'", "42:0000/0000"}}) {
    SCOPED_TRACE(writer);
    BenchOptions o;
    o.packageCommand = writer + " > '{root}/status/00000001_Z_OUT_STATUS.TXT' #";
    RunBench b(o);
    b.AddCenter("C1");
    b.AddPartner("C1", "P1");
    ASSERT_FALSE(b.Start());
    RecordingListener l;
    RunCenters(b, {"C1"}, l);
    auto codes = Codes(b, 1);
    ASSERT_EQ(codes.size(), 2u);
    EXPECT_EQ(codes[1], expected);
    EXPECT_EQ(b.History().at(1).Text("相手先企業コード"), "P1");
  }
}

// Without the parameter folder the package cannot be given its parameters.
TEST(RunFailures, MissingParameterFolderGives4100) {
  RunBench b;
  b.AddCenter("C1");
  b.AddPartner("C1", "P1");
  ASSERT_FALSE(b.Start());
  std::filesystem::remove_all(b.param);
  RecordingListener l;
  RunCenters(b, {"C1"}, l);
  EXPECT_EQ(Codes(b, 1), (std::vector<std::string>{"04:4100/ ", "42:4100/0001"}));
  EXPECT_FALSE(std::filesystem::exists(b.mgpkgLog));
}

TEST(RunFailures, MissingControlRowFailsTheConversionWith9999) {
  RunBench b;
  b.AddCenter("C1");
  b.AddPartner("C1", "P1");
  ASSERT_FALSE(b.Start());
  b.master().Execute("DELETE FROM FL1903EDI制御マスタ");
  RecordingListener l;
  RunCenters(b, {"C1"}, l);
  EXPECT_EQ(OutcomeOf(b, "C1"), (Outcome{"OK", "変換ｴﾗｰ", "", 9}));
  EXPECT_EQ(Codes(b, 1), (std::vector<std::string>{"04:9999/ ", "42:0000/0000"}));
}

// The demo centers with the demo formats: extraction, conversion and sending succeed.
TEST(RunDemo, DemoCentersRunToTheEnd) {
  const std::filesystem::path demo = std::filesystem::path(EDI_SOURCE_DIR) / "db" / "demo";
  if (!std::filesystem::exists(demo / "formats") || !std::filesystem::exists(demo / "local"))
    GTEST_SKIP() << "the demo formats are not in the tree yet";
  RunBench b;
  ASSERT_TRUE(LoadDemoFormats(b.master()));
  ASSERT_TRUE(LoadDemoCenters(b));
  std::ofstream(b.mgpkgConfig) << "DATA=" << (demo / "local").string() << "\nOUT=" << b.out.string() << "\n";
  auto failed = b.Start();
  ASSERT_FALSE(failed) << failed->message << ": " << failed->detail;
  RecordingListener l;
  RunCenters(b, {"CENTER01", "XMLCTR02"}, l);
  EXPECT_EQ(OutcomeOf(b, "CENTER01"), (Outcome{"OK", "OK", "OK", 2}));
  EXPECT_EQ(OutcomeOf(b, "XMLCTR02"), (Outcome{"OK", "OK", "OK", 2}));
  EXPECT_TRUE(std::filesystem::exists(b.send / "CENTER01.CII"));
  EXPECT_TRUE(std::filesystem::exists(b.send / "XMLCTR02.XML"));
  EXPECT_EQ(Codes(b, 1), (std::vector<std::string>{"04:0000/ ", "42:0000/0000", "32:0000/0000", "20:0000/0000"}));
  EXPECT_EQ(Codes(b, 2),
            (std::vector<std::string>{"04:0000/ ", "42:0000/0000", "32:0000/0000", "33:0000/0000", "20:0000/0000"}));
  EXPECT_TRUE(std::filesystem::exists(b.old / "00000002_SND_XMLCTR02____.XML"));
  EXPECT_TRUE(std::filesystem::exists(b.old / "00000002_SND_XMLCTR02____.CII"));
}

}  // namespace
}  // namespace edi::test
