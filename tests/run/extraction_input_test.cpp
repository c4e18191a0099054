// The extraction step on hostile values and files: parameter-file values that would break
// their line are refused before the package starts, and the status file is read only as far
// as its fields need, whatever the length of its lines.
#include <gtest/gtest.h>

#include <fstream>

#include "cii/translator.h"
#include "run/history.h"
#include "run/package_handoff.h"
#include "run_bench.h"

namespace edi::run {
namespace {

std::string StatusLine(const std::string& tail = "") {
  return "0" + std::string("0101") + std::string(12, ' ') + "000010" + "000007" + "00" + tail;
}

class ExtractionInput : public ::testing::Test {
 protected:
  // The package: a shell command that copies the status file prepared by the test.
  void Prepare(const std::string& partner = "P1") {
    test::BenchOptions o;
    o.packageCommand = "cp {root}/prepared.txt {root}/status/00000001_Z_OUT_STATUS.TXT; touch {root}/started #";
    bench_ = std::make_unique<test::RunBench>(o);
    bench_->AddCenter("C1");
    bench_->AddPartner("C1", partner);
    bench_->AddInfoCode("C1", "0101");
    ASSERT_FALSE(bench_->Start());
    translator_ = std::make_unique<cii::Translator>(*bench_->ws.db, bench_->root / "ERR.LOG");
    ctx_ = std::make_unique<RunContext>(RunContext{bench_->ws, listener_, *translator_});
    HistoryStartRecord start{"S", "2", kWorkRun, "C1", 0, "", 0, {}, 0};
    StartRunHistory(bench_->master(), start);
  }
  std::vector<Row> Branches() {
    return bench_->master().Query("SELECT * FROM FL1102処理履歴ファイル WHERE 枝番 > 0 ORDER BY 枝番");
  }
  bool Logged(const std::string& part) const {
    for (const auto& line : listener_.log)
      if (line.find(part) != std::string::npos) return true;
    return false;
  }

  std::unique_ptr<test::RunBench> bench_;
  test::RecordingListener listener_;
  std::unique_ptr<cii::Translator> translator_;
  std::unique_ptr<RunContext> ctx_;
};

TEST_F(ExtractionInput, ValuesThatWouldBreakTheirLineAreRefusedBeforeThePackageStarts) {
  for (const std::string& operatorCode : {std::string("OP\r\n/[EDI]MAKER='X'"), std::string("O'P"),
                                          std::string("OP\x01")}) {
    SCOPED_TRACE(operatorCode);
    Prepare();
    test::WriteBytes(bench_->root / "prepared.txt", StatusLine() + "\r\n");
    bench_->ws.operatorCode = operatorCode;
    EXPECT_EQ(ExtractViaPackage(*ctx_, "C1", 1), "4100");
    auto rows = Branches();
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].Text("終了コード"), "4100");
    EXPECT_EQ(rows[0].Text("詳細コード"), "0001");
    EXPECT_TRUE(Logged("パラメータファイルに書けない値です: オペレータコード (P1)"));
    EXPECT_FALSE(std::filesystem::exists(ParameterFilePath(ReadPackageSettings(bench_->ws.ini()), 1)));
    EXPECT_FALSE(std::filesystem::exists(bench_->root / "started"));
    listener_.log.clear();
  }
  // A partner code with a quote: the same, named as such.
  Prepare("P'1");
  test::WriteBytes(bench_->root / "prepared.txt", StatusLine() + "\r\n");
  EXPECT_EQ(ExtractViaPackage(*ctx_, "C1", 1), "4100");
  EXPECT_TRUE(Logged("相手先企業コード"));
  EXPECT_EQ(RefusedParameterValue({"01\n01"}, "C1", "OP", "/s", "P"), "情報区分コード");
  EXPECT_EQ(RefusedParameterValue({"0101"}, "C1", "OP", "/s\rx", "P"), "ステータスファイル名");
  EXPECT_EQ(RefusedParameterValue({"0101"}, "C1", "オペ", "/status/x.TXT", "P1"), std::nullopt);
}

TEST_F(ExtractionInput, StatusLinesOfAnyLengthAreReadByTheirFirstCharacters) {
  Prepare();
  // A line of 8 MB before its end, then the end mark, then a line that must not be read.
  test::WriteBytes(bench_->root / "prepared.txt",
                   StatusLine(std::string(8 << 20, 'x')) + "\r\n1\r\n" + StatusLine().replace(29, 2, "01"));
  EXPECT_EQ(ExtractViaPackage(*ctx_, "C1", 1), "0000");
  auto rows = Branches();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Text("終了コード"), "0000");
  EXPECT_EQ(rows[0].Text("取引情報区分"), "0101");
  EXPECT_EQ(rows[0].Text("入力レコード数"), "10");
  EXPECT_EQ(rows[0].Text("出力レコード数"), "7");
}

}  // namespace
}  // namespace edi::run
