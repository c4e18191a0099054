// The sending step on its own: the transfer methods, the hand-off in both directions and
// the history branch of the sending.
#include <gtest/gtest.h>

#include "cii/translator.h"
#include "run/backup.h"
#include "run/history.h"
#include "run/send_dispatch.h"
#include "run_bench.h"

namespace edi::run {
namespace {

class SendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bench_.AddCenter("Z1", "Z", "C", (bench_.send / "z1.dat").string());
    bench_.AddCenter("ZX", "Z", "X", (bench_.send / "zx.dat").string());
    bench_.AddCenter("ZW", "Z", "Ｃ", (bench_.send / "zw.dat").string());
    bench_.AddCenter("ZY", "Z", "Y", (bench_.send / "zy.dat").string());
    bench_.AddCenter("ZB", "Z", "C", std::string("   "));
    bench_.AddCenter("ZN", "Z", "C", std::nullopt);
    bench_.AddCenter("LZ", "z", "C", (bench_.send / "lz.dat").string());
    bench_.AddCenter("MN", "M", "C", std::nullopt, std::nullopt);
    ASSERT_FALSE(bench_.Start());
    translator_ = std::make_unique<cii::Translator>(*bench_.ws.db, bench_.root / "ERR.LOG");
    ctx_ = std::make_unique<RunContext>(RunContext{bench_.ws, listener_, *translator_});
    // Every test sends under serial 5, which the run opened.
    HistoryStartRecord start{"S", "2", kWorkRun, "Z1", 0, "", 0, {}, 0};
    for (int i = 0; i < 5; ++i) StartRunHistory(bench_.master(), start);
  }
  std::string Send(const std::string& center) { return SendCenterFiles(*ctx_, center, 5); }
  void WriteSendFile(const std::string& center, const std::string& ext, const std::string& bytes = "DATA") {
    test::WriteBytes(bench_.out / SendFileName(center, 5, ext), bytes);
  }
  Row SendRow() {
    auto rows = bench_.master().Query("SELECT * FROM FL1102処理履歴ファイル WHERE 通番 = 5 AND 処理種別 = '20'");
    EXPECT_EQ(rows.size(), 1u);
    return rows.at(0);
  }

  test::RunBench bench_;
  test::RecordingListener listener_;
  std::unique_ptr<cii::Translator> translator_;
  std::unique_ptr<RunContext> ctx_;
};

TEST_F(SendTest, PackageMethodCopiesTheResultFileAndRecordsTheCiiName) {
  WriteSendFile("Z1", "CII", "CII-BYTES");
  EXPECT_EQ(Send("Z1"), "0000");
  EXPECT_EQ(test::ReadBytes(bench_.send / "z1.dat"), "CII-BYTES");
  EXPECT_TRUE(std::filesystem::exists(bench_.out / SendFileName("Z1", 5, "CII")));  // copied, not moved

  const Row r = SendRow();
  EXPECT_EQ(r.Int("枝番"), 1);
  EXPECT_EQ(r.Text("送受信種別"), "S");
  EXPECT_EQ(r.Text("相手先種別"), "2");
  EXPECT_EQ(r.Text("センターコード"), "Z1");
  EXPECT_EQ(r.Text("終了コード"), "0000");
  EXPECT_EQ(r.Text("詳細コード"), "0000");
  EXPECT_EQ(r.Text("相手先企業コード"), " ");
  EXPECT_EQ(r.Text("取引情報区分"), " ");
  EXPECT_EQ(r.Int("入力レコード数"), 0);
  EXPECT_EQ(r.Text("ファイル名"), (bench_.out / "00000005_SND_Z1__________.CII").string());

  // An existing file at the package path is overwritten.
  WriteSendFile("Z1", "CII", "NEWER");
  EXPECT_EQ(SendCenterFiles(*ctx_, "Z1", 5), "0000");
  EXPECT_EQ(test::ReadBytes(bench_.send / "z1.dat"), "NEWER");
}

TEST_F(SendTest, XmlAndFullWidthFormatsPickTheirExtension) {
  WriteSendFile("ZX", "XML", "<xml/>");
  EXPECT_EQ(Send("ZX"), "0000");
  EXPECT_EQ(test::ReadBytes(bench_.send / "zx.dat"), "<xml/>");
  EXPECT_EQ(SendRow().Text("ファイル名"), (bench_.out / "00000005_SND_ZX__________.CII").string());

  WriteSendFile("ZW", "CII", "W");
  EXPECT_EQ(Send("ZW"), "0000");
  EXPECT_EQ(test::ReadBytes(bench_.send / "zw.dat"), "W");
}

TEST_F(SendTest, HandOffFailuresGive5100WithDetail0002) {
  WriteSendFile("ZY", "CII");
  EXPECT_EQ(Send("ZY"), "5100");  // unknown format "Y"
  Row r = SendRow();
  EXPECT_EQ(r.Text("終了コード"), "5100");
  EXPECT_EQ(r.Text("詳細コード"), "0002");
  EXPECT_EQ(r.Text("ファイル名"), " ");
  EXPECT_FALSE(std::filesystem::exists(bench_.send / "zy.dat"));

  EXPECT_EQ(Send("Z1"), "5100");  // no result file of this run
  EXPECT_FALSE(std::filesystem::exists(bench_.send / "z1.dat"));
}

TEST_F(SendTest, BlankOrNullPackagePathGives6102AndSendsNothing) {
  WriteSendFile("ZB", "CII");
  WriteSendFile("ZN", "CII");
  EXPECT_EQ(Send("ZB"), "6102");
  EXPECT_EQ(Send("ZN"), "6102");
  auto rows = bench_.master().Query("SELECT 終了コード FROM FL1102処理履歴ファイル WHERE 処理種別 = '20' ORDER BY 枝番");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].Text("終了コード"), "6102");
  EXPECT_EQ(rows[1].Text("終了コード"), "6102");
  EXPECT_TRUE(bench_.FileNames(bench_.send).empty());
}

TEST_F(SendTest, OtherMethodsSendNothingAndSucceed) {
  WriteSendFile("LZ", "CII");
  EXPECT_EQ(Send("LZ"), "0000");
  EXPECT_TRUE(bench_.FileNames(bench_.send).empty());
}

TEST_F(SendTest, MailFailureGives5100WithTheMailCode) {
  WriteSendFile("MN", "CII");
  EXPECT_EQ(Send("MN"), "5100");  // null address: the mail transfer refuses it
  const Row r = SendRow();
  EXPECT_EQ(r.Text("終了コード"), "5100");
  EXPECT_EQ(r.Text("詳細コード"), "9999");
}

TEST_F(SendTest, ControlRowFaultsGive7002) {
  EXPECT_EQ(Send("NOPE"), "7002");
  EXPECT_EQ(SendRow().Text("終了コード"), "7002");
  bench_.ws.db->SetFaultHook([](const std::string& sql) {
    if (sql.find("FL1903EDI制御マスタ") != std::string::npos) throw DatabaseError("gone");
  });
  EXPECT_EQ(Send("Z1"), "7002");
  bench_.ws.db->SetFaultHook(nullptr);
}

TEST_F(SendTest, AFailedBranchInsertLeavesOtherRowsAlone) {
  bench_.ws.db->SetFaultHook([](const std::string& sql) {
    if (sql.rfind("INSERT", 0) == 0) throw DatabaseError("full");
  });
  EXPECT_EQ(Send("Z1"), "9999");
  bench_.ws.db->SetFaultHook(nullptr);
  auto rows = bench_.master().Query("SELECT 処理終了日付 FROM FL1102処理履歴ファイル WHERE 通番 = 5");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_FALSE(rows[0].Get("処理終了日付").has_value());  // branch 0 is not touched
}

TEST(DataFormatExtension, HalfAndFullWidthLetters) {
  for (const char* c : {"C", "c", "Ｃ", "ｃ", " C "}) EXPECT_EQ(DataFormatExtension(c), "CII") << c;
  for (const char* x : {"X", "x", "Ｘ", "ｘ"}) EXPECT_EQ(DataFormatExtension(x), "XML") << x;
  for (const char* e : {"", "Y", "CII", "Ｙ"}) EXPECT_EQ(DataFormatExtension(e), "Err") << e;
}

TEST(HandOffTransferFile, ReceiveMovesTheFileIntoTheInputFolder) {
  test::TempDir dir;
  PathSettings paths;
  paths.inFolder = (dir / "in").string() + "/";
  paths.outFolder = (dir / "out").string() + "/";
  std::filesystem::create_directories(dir / "in");
  mail::TransferFileRecord rec{"R1", 12, "ｒ", "x", (dir / "pkg.dat").string(), ""};
  HandOffTransferFile(rec, paths);
  EXPECT_EQ(rec.result, "9999");  // nothing to receive
  EXPECT_TRUE(std::filesystem::is_empty(dir / "in"));

  test::WriteBytes(dir / "pkg.dat", "RECEIVED");
  HandOffTransferFile(rec, paths);
  EXPECT_EQ(rec.result, "0000");
  EXPECT_FALSE(std::filesystem::exists(dir / "pkg.dat"));
  EXPECT_EQ(test::ReadBytes(dir / "in" / "00000012_RCV_R1__________.XML"), "RECEIVED");

  rec.direction = "Q";
  HandOffTransferFile(rec, paths);
  EXPECT_EQ(rec.result, "9999");
}

TEST(BackupRunFiles, CopiesTheSerialsFilesAndReportsFaults) {
  test::TempDir dir;
  PathSettings paths;
  paths.outFolder = (dir / "out").string() + "/";
  paths.inFolder = (dir / "in").string() + "/";
  paths.oldFolder = (dir / "old").string() + "/";
  test::WriteBytes(dir / "out" / "00000003_SND_A.LOC", "A");
  test::WriteBytes(dir / "out" / "00000003_SND_A.CII", "B");
  test::WriteBytes(dir / "out" / "00000030_SND_A.LOC", "other run");
  test::WriteBytes(dir / "in" / "00000003_RCV_A.CII", "received");

  // No backup folder: each copy fails, nothing throws.
  EXPECT_EQ(BackupRunFiles(paths, 3, 1).size(), 2u);

  std::filesystem::create_directories(dir / "old");
  test::WriteBytes(dir / "old" / "00000003_SND_A.CII", "stale");
  EXPECT_TRUE(BackupRunFiles(paths, 3, 1).empty());
  EXPECT_EQ(test::ReadBytes(dir / "old" / "00000003_SND_A.CII"), "B");
  EXPECT_EQ(test::ReadBytes(dir / "old" / "00000003_SND_A.LOC"), "A");
  EXPECT_FALSE(std::filesystem::exists(dir / "old" / "00000030_SND_A.LOC"));
  EXPECT_TRUE(std::filesystem::exists(dir / "out" / "00000003_SND_A.LOC"));  // sources stay

  EXPECT_TRUE(BackupRunFiles(paths, 3, 0).empty());
  EXPECT_EQ(test::ReadBytes(dir / "old" / "00000003_RCV_A.CII"), "received");

  // A result that a failed conversion left behind is not backed up.
  std::filesystem::remove(dir / "old" / "00000003_SND_A.CII");
  EXPECT_TRUE(BackupRunFiles(paths, 3, 1, {"00000003_SND_A.CII"}).empty());
  EXPECT_FALSE(std::filesystem::exists(dir / "old" / "00000003_SND_A.CII"));
  EXPECT_EQ(test::ReadBytes(dir / "old" / "00000003_SND_A.LOC"), "A");
}

}  // namespace
}  // namespace edi::run
