// The conversion step on its own: which files belong to the run, the adoption of the
// unnumbered 9001 file, and one history branch per file carrying the translator's result.
// The in-house files here are not translatable, so every translation fails, which the
// placeholder translator and the real one both report.
#include <gtest/gtest.h>

#include <fstream>

#include "cii/translator.h"
#include "run/conversion_dispatch.h"
#include "run/history.h"
#include "run_bench.h"

namespace edi::run {
namespace {

class ConversionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bench_.AddCenter("C1", "Z", "C", std::string("/dev/null"));
    bench_.master().Execute("UPDATE FL1903EDI制御マスタ SET 相手先種別 = '2' WHERE センターコード = 'C1'");
    ASSERT_FALSE(bench_.Start());
    translator_ = std::make_unique<cii::Translator>(*bench_.ws.db, bench_.root / "ERR.LOG");
    ctx_ = std::make_unique<RunContext>(RunContext{bench_.ws, listener_, *translator_});
    HistoryStartRecord start{"S", "2", kWorkRun, "C1", 0, "", 0, {}, 0};
    StartRunHistory(bench_.master(), start);
  }
  std::vector<Row> Branches() {
    return bench_.master().Query("SELECT * FROM FL1102処理履歴ファイル WHERE 枝番 > 0 ORDER BY 枝番");
  }

  test::RunBench bench_;
  test::RecordingListener listener_;
  std::unique_ptr<cii::Translator> translator_;
  std::unique_ptr<RunContext> ctx_;
};

TEST_F(ConversionTest, NoFileOfTheRunGives7200WithoutBranches) {
  test::WriteBytes(bench_.out / "00000002_SND_C1__________0101.LOC", "other serial");
  test::WriteBytes(bench_.out / "00000001_SND_C2__________0101.LOC", "other center");
  EXPECT_EQ(ConvertSendFiles(*ctx_, "C1", 1), "7200");
  EXPECT_TRUE(Branches().empty());
}

TEST_F(ConversionTest, MissingControlRowGives9999) {
  EXPECT_EQ(ConvertSendFiles(*ctx_, "NONE", 1), "9999");
  EXPECT_TRUE(Branches().empty());
}

TEST_F(ConversionTest, OneBranchPerFileWithTheTranslatorsCode) {
  test::WriteBytes(bench_.out / "00000001_SND_C1__________0101.LOC", "garbage\r\n");
  test::WriteBytes(bench_.out / "00000001_SND_C1__________0102.LOC", "garbage\r\n");
  test::WriteBytes(bench_.out / "00000001_SND_C1__________0103.cii", "garbage");
  test::WriteBytes(bench_.out / "SND_C1__________9001.LOC", "unnumbered");

  EXPECT_EQ(ConvertSendFiles(*ctx_, "C1", 1), "7200");

  // The unnumbered file became a file of this run.
  EXPECT_FALSE(std::filesystem::exists(bench_.out / "SND_C1__________9001.LOC"));
  EXPECT_EQ(test::ReadBytes(bench_.out / "00000001_SND_C1__________9001.LOC"), "unnumbered");

  auto rows = Branches();
  ASSERT_EQ(rows.size(), 4u);
  const std::vector<std::string> names = {"00000001_SND_C1__________0101.LOC", "00000001_SND_C1__________0102.LOC",
                                          "00000001_SND_C1__________0103.cii", "00000001_SND_C1__________9001.LOC"};
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const Row& r = rows[i];
    SCOPED_TRACE(names[i]);
    EXPECT_EQ(r.Int("通番"), 1);
    EXPECT_EQ(r.Int("枝番"), static_cast<long long>(i + 1));
    EXPECT_EQ(r.Text("送受信種別"), "S");
    EXPECT_EQ(r.Text("相手先種別"), "2");
    EXPECT_EQ(r.Text("処理種別"), i == 2 ? "31" : "32");
    EXPECT_EQ(r.Text("センターコード"), "C1");
    EXPECT_EQ(r.Text("ファイル名"), (bench_.out / names[i]).string());
    EXPECT_NE(r.Text("終了コード"), "0000");
    EXPECT_EQ(r.Text("終了コード").size(), 4u);
    EXPECT_EQ(r.Text("詳細コード"), r.Text("終了コード"));
    EXPECT_TRUE(r.Get("処理終了日付").has_value());
  }
}

TEST_F(ConversionTest, FailedConversionsLeaveNoResultOrTheEarlierOne) {
  // C1's files fail: their result file, which did not exist, is not left behind (empty).
  test::WriteBytes(bench_.out / "00000001_SND_C1__________0101.LOC", "garbage\r\n");
  std::vector<std::string> leftBehind;
  EXPECT_EQ(ConvertSendFiles(*ctx_, "C1", 1, &leftBehind), "7200");
  EXPECT_FALSE(std::filesystem::exists(bench_.out / "00000001_SND_C1__________.CII"));
  EXPECT_TRUE(leftBehind.empty());

  // A result file that was there before keeps its bytes.
  test::WriteBytes(bench_.out / "00000001_SND_C1__________.CII", "EARLIER");
  EXPECT_EQ(ConvertSendFiles(*ctx_, "C1", 1, &leftBehind), "7200");
  EXPECT_EQ(test::ReadBytes(bench_.out / "00000001_SND_C1__________.CII"), "EARLIER");
}

TEST_F(ConversionTest, ATranslationWhoseLogCannotBeWrittenCountsAsFailed) {
  // An empty in-house file converts without an error, but its log lines are lost.
  test::WriteBytes(bench_.out / "00000001_SND_C1__________0101.LOC", "");
  cii::Translator lost(*bench_.ws.db, bench_.root / "no-such-folder" / "ERR.LOG");
  RunContext ctx{bench_.ws, listener_, lost};
  EXPECT_EQ(ConvertSendFiles(ctx, "C1", 1), "7200");
  auto rows = Branches();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Text("終了コード"), "0036");
}

}  // namespace
}  // namespace edi::run
