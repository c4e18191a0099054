// Failures that must not pass as success on the command line: a CII file cut before its
// trailer (every direction says so), a failed local-to-CII translation (it takes back what it
// wrote), --explain on the line where the translation stops, and closing a run left open.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "app/database.h"
#include "run/history.h"
#include "test_support.h"

namespace edi {
namespace {

struct Result {
  int exitCode;
  std::string out, err;
};

class OperatorCli : public ::testing::Test {
 protected:
  void SetUp() override {
    tdb = test::TestDatabase::Sqlite(dir.path());
    // A whole workspace (the translations and `edi history` start the workstation); the log
    // is dir/ERR.LOG.
    test::WriteAnsiText(dir / "EDI.ini", test::StandardIni(dir.path(), tdb->iniSection()));
    ASSERT_EQ(Edi("format import " + (demo / "formats").string()).exitCode, 0);
  }
  Result Edi(const std::string& arguments) {
    std::string command = std::string("env -u EDI_INI ") + EDI_PROGRAM + " --ini " + (dir / "EDI.ini").string() + " " +
                          arguments + " >" + (dir / "out.txt").string() + " 2>" + (dir / "err.txt").string() +
                          " </dev/null";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadBytes(dir / "out.txt"),
            test::ReadBytes(dir / "err.txt")};
  }
  Database& Db() { return tdb->db(); }
  std::string P(const std::string& name) { return (dir / name).string(); }
  test::TempDir dir;
  std::unique_ptr<test::TestDatabase> tdb;
  const std::filesystem::path demo = std::filesystem::path(EDI_SOURCE_DIR) / "db" / "demo";
};

TEST_F(OperatorCli, ACiiFileCutBeforeItsTrailerIsIncompleteInEveryDirection) {
  // One message group: the demo file's first two lines share their key.
  std::ifstream in(demo / "local" / "0101.LOC", std::ios::binary);
  std::string first, second;
  std::getline(in, first);
  std::getline(in, second);
  test::WriteBytes(dir / "one.loc", first + "\n" + second + "\n");
  ASSERT_EQ(Edi("translate local-to-cii " + P("one.loc") + " " + P("whole.cii")).out, "0000\n");
  const std::string whole = test::ReadBytes(dir / "whole.cii");
  ASSERT_GT(whole.size(), 251u * 3);
  // The last block, the trailer, is missing: block boundaries are intact, nothing else is odd.
  test::WriteBytes(dir / "cut.cii", whole.substr(0, whole.size() - 251));

  Result r = Edi("translate cii-to-local " + P("cut.cii") + " " + P("back.loc"));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out, "0007\n");
  // The lines read before the end are taken back with the rest of the reading.
  EXPECT_FALSE(std::filesystem::exists(dir / "back0101.loc"));
  r = Edi("dump " + P("cut.cii"));
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("破損: メッセージグループのトレーラの前でファイルが終わっています (0007)"), std::string::npos)
      << r.out;
  r = Edi("translate cii-to-xml " + P("cut.cii") + " " + P("cut.xml"));
  EXPECT_EQ(r.out, "0007\n");
  EXPECT_EQ(r.exitCode, 1);

  // A whole file reads cleanly, and a second group cut short fails the whole file.
  EXPECT_EQ(Edi("translate cii-to-local " + P("whole.cii") + " " + P("back.loc")).out, "0000\n");
  EXPECT_EQ(Edi("dump " + P("whole.cii")).exitCode, 0);
  test::WriteBytes(dir / "second-cut.cii", whole + whole.substr(0, whole.size() - 251));
  const std::string before = test::ReadBytes(dir / "back0101.loc");
  EXPECT_EQ(Edi("translate cii-to-local " + P("second-cut.cii") + " " + P("back.loc")).out, "0007\n");
  EXPECT_EQ(test::ReadBytes(dir / "back0101.loc"), before);  // the earlier lines stay, nothing added
}

TEST_F(OperatorCli, AFailedTranslationTakesBackWhatItWroteAndExplainSaysWhereItStops) {
  // Line 2 holds a lead byte without its trail byte: the translation stops there with 0027,
  // after line 1's message was written.
  std::ifstream in(demo / "local" / "0101.LOC", std::ios::binary);
  std::string first, second;
  std::getline(in, first);
  std::getline(in, second);
  second.replace(60, 2, "\x82 ");
  test::WriteBytes(dir / "broken.loc", first + "\n" + second + "\n");

  Result r = Edi("translate local-to-cii " + P("broken.loc") + " " + P("new.cii"));
  EXPECT_EQ(r.out, "0027\n");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "new.cii"));
  // Appending to an earlier file: its content stays, only this translation's bytes go.
  test::WriteBytes(dir / "earlier.cii", "EARLIER");
  EXPECT_EQ(Edi("translate local-to-cii " + P("broken.loc") + " " + P("earlier.cii")).out, "0027\n");
  EXPECT_EQ(test::ReadBytes(dir / "earlier.cii"), "EARLIER");
  // A translation that finds no format leaves no empty file either.
  test::WriteBytes(dir / "unknown.loc", std::string("00000999") + std::string(31, ' ') + "x\r\n");
  EXPECT_EQ(Edi("translate local-to-cii " + P("unknown.loc") + " " + P("none.cii")).exitCode, 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "none.cii"));

  r = Edi("translate local-to-cii " + P("broken.loc") + " " + P("x.cii") + " --explain 2");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("変換はこの行で 0027 により止まります: 61 バイト目が Shift_JIS として正しくありません"),
            std::string::npos)
      << r.out << r.err;
  r = Edi("translate local-to-cii " + P("broken.loc") + " " + P("x.cii") + " --explain 1");
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.out.find("止まります"), std::string::npos) << r.out;
  // A line after the stop is never reached.
  test::WriteBytes(dir / "three.loc", first + "\n" + second + "\n" + first + "\n");
  r = Edi("translate local-to-cii " + P("three.loc") + " " + P("x.cii") + " --explain 3");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("変換は 2 行目で止まり (Shift_JIS として正しくありません, 0027)、3 行目には届きません"),
            std::string::npos)
      << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "x.cii"));
}

TEST_F(OperatorCli, HistoryCloseClosesARunLeftOpenAsAbandoned) {
  Database* db = &Db();
  for (long long branch : {0, 1})
    db->Execute("INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 送受信種別, 相手先種別, 処理種別, 処理開始日付,"
                " 処理開始時刻, センターコード) VALUES (5, :1, 'S', '2', :2, '2026/12/08', '10:00:00', 'C1')",
                {branch, std::string(branch == 0 ? "04" : "42")});
  ASSERT_EQ(run::FindOpenRuns(*db).size(), 1u);

  Result r = Edi("history close 5");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("通番 00000005 の実行を中断として閉じました"), std::string::npos) << r.out;
  EXPECT_TRUE(run::FindOpenRuns(*db).empty());  // `edi run` no longer warns about it
  for (const auto& row : db->Query("SELECT * FROM FL1102処理履歴ファイル WHERE 通番 = 5")) {
    EXPECT_EQ(row.Text("終了コード"), "9900");
    EXPECT_EQ(row.Text("詳細コード"), "9901");
    EXPECT_FALSE(row.Text("処理終了日付").empty());
  }
  EXPECT_NE(test::ReadBytes(dir / "ERR.LOG").find("9900--P740150 fault--00000005"), std::string::npos);

  r = Edi("history close 5");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("終了しています"), std::string::npos) << r.err;
  EXPECT_EQ(Edi("history close 6").exitCode, 1);
  EXPECT_EQ(Edi("history close x").exitCode, 2);
  EXPECT_EQ(Edi("history close").exitCode, 2);
}

}  // namespace
}  // namespace edi
