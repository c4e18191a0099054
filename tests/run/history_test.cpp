// The history table: serial and branch allocation, the completing update and its defaults,
// and serial allocation when another workstation takes the same serial.
#include <gtest/gtest.h>

#include <regex>

#include "app/text.h"
#include "run/history.h"
#include "test_support.h"

namespace edi::run {
namespace {

// Every case on SQLite and on the PostgreSQL server of scripts/test (skipped without it):
// the unique-key conflict looks different on each.
class HistoryTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    tdb_ = GetParam() ? test::TestDatabase::Postgres() : test::TestDatabase::Sqlite(dir_.path());
    if (!tdb_) GTEST_SKIP() << "no PostgreSQL server (scripts/test starts one)";
  }
  Database& db() { return tdb_->db(); }
  std::vector<Row> Rows() { return db().Query("SELECT * FROM FL1102処理履歴ファイル ORDER BY 通番, 枝番"); }
  void InsertRaw(long long serial, long long branch) {
    db().Execute("INSERT INTO FL1102処理履歴ファイル (通番, 枝番, センターコード) VALUES (:1, :2, 'X')", {serial, branch});
  }
  HistoryStartRecord Start(const std::string& center = "C01") {
    HistoryStartRecord rec{"S", "2", kWorkRun, center, 0, "", 0};
    StartRunHistory(db(), rec);
    return rec;
  }

  test::TempDir dir_;
  std::unique_ptr<test::TestDatabase> tdb_;
};

TEST_P(HistoryTest, EmptyTableGivesSerialOneAndBranchesCountUp) {
  auto start = Start();
  ASSERT_EQ(start.result, "0000");
  EXPECT_EQ(start.serial, 1);

  auto rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  const Row& r = rows[0];
  EXPECT_EQ(r.Int("通番"), 1);
  EXPECT_EQ(r.Int("枝番"), 0);
  EXPECT_EQ(r.Text("送受信種別"), "S");
  EXPECT_EQ(r.Text("相手先種別"), "2");
  EXPECT_EQ(r.Text("処理種別"), "04");
  EXPECT_TRUE(std::regex_match(r.Text("処理開始日付"), std::regex(R"(\d{4}/\d{2}/\d{2})")));
  EXPECT_TRUE(std::regex_match(r.Text("処理開始時刻"), std::regex(R"(\d{2}:\d{2}:\d{2})")));
  EXPECT_EQ(r.Text("センターコード"), "C01");
  EXPECT_FALSE(r.Get("処理終了日付").has_value());

  HistoryBranchRecord b{1, "", "", "42", "C01", 0, ""};
  AddHistoryBranch(db(), b);
  ASSERT_EQ(b.result, "0000");
  EXPECT_EQ(b.branch, 1);
  AddHistoryBranch(db(), b);
  EXPECT_EQ(b.branch, 2);
  // Empty kinds are stored as one space; the center code as it is.
  rows = Rows();
  EXPECT_EQ(rows[1].Text("送受信種別"), " ");
  EXPECT_EQ(rows[1].Text("相手先種別"), " ");
  EXPECT_EQ(rows[1].Text("処理種別"), "42");

  HistoryBranchRecord none{0, "S", "2", "42", "C01", 0, ""};
  AddHistoryBranch(db(), none);
  EXPECT_EQ(none.result, "9999");
  EXPECT_EQ(Rows().size(), 3u);
}

TEST_P(HistoryTest, NextSerialFollowsTheHighestStoredSerial) {
  for (int b = 0; b < 4; ++b) InsertRaw(7, b);
  InsertRaw(5, 0);
  EXPECT_EQ(Start().serial, 8);
  InsertRaw(99999999, 0);
  auto big = Start();
  EXPECT_EQ(big.serial, 100000000);
  EXPECT_EQ(SerialField(big.serial), "100000000");
}

// Serials that files of earlier runs still carry are skipped; an open run is a branch 0
// without an end (an open branch alone is none).
TEST_P(HistoryTest, TakenSerialsAreSkippedAndOpenRunsAreFound) {
  InsertRaw(2, 0);
  HistoryStartRecord rec{"S", "2", kWorkRun, "C01", 0, "", 0};
  rec.serialTaken = [](std::int32_t serial) { return serial == 3 || serial == 4 || serial == 6; };
  StartRunHistory(db(), rec);
  EXPECT_EQ(rec.serial, 5);
  EXPECT_EQ(rec.skipped, 2);
  HistoryRecord done;
  done.serial = 5;
  FinishHistoryRecord(db(), done);
  InsertRaw(5, 1);
  auto open = FindOpenRuns(db());
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open[0].serial, 2);
}

TEST_P(HistoryTest, FinishUpdatesEveryColumnAndAppliesDefaults) {
  Start();
  HistoryRecord rec;
  rec.serial = 1;
  rec.branch = 0;
  rec.inputRecords = 12;
  rec.outputRecords = 10;
  rec.infoCategory = "0101";
  FinishHistoryRecord(db(), rec);
  ASSERT_EQ(rec.result, "0000");
  // The defaults come back in the record too.
  EXPECT_EQ(rec.partnerCompany, " ");
  EXPECT_EQ(rec.endCode, "0000");
  EXPECT_EQ(rec.detailCode, "0000");

  const Row r = Rows().at(0);
  EXPECT_TRUE(std::regex_match(r.Text("処理終了日付"), std::regex(R"(\d{4}/\d{2}/\d{2})")));
  EXPECT_TRUE(std::regex_match(r.Text("処理終了時刻"), std::regex(R"(\d{2}:\d{2}:\d{2})")));
  EXPECT_EQ(r.Text("相手先企業コード"), " ");
  EXPECT_EQ(r.Text("BPID"), " ");
  EXPECT_EQ(r.Text("取引情報区分"), "0101");
  EXPECT_EQ(r.Int("最終シーケンス番号"), 0);
  EXPECT_EQ(r.Int("入力レコード数"), 12);
  EXPECT_EQ(r.Int("入力ファイルサイズ"), 0);
  EXPECT_EQ(r.Int("出力レコード数"), 10);
  EXPECT_EQ(r.Int("出力ファイルサイズ"), 0);
  EXPECT_EQ(r.Text("格納モード"), " ");
  EXPECT_EQ(r.Text("終了コード"), "0000");
  EXPECT_EQ(r.Text("詳細コード"), "0000");
  EXPECT_EQ(r.Text("ファイル名"), " ");
}

TEST_P(HistoryTest, FinishOfAMissingRowOrSerialZeroWritesNothing) {
  HistoryRecord rec;
  rec.serial = 4;
  rec.branch = 2;
  FinishHistoryRecord(db(), rec);
  EXPECT_EQ(rec.result, "9999");
  rec.serial = 0;
  FinishHistoryRecord(db(), rec);
  EXPECT_EQ(rec.result, "9999");
  EXPECT_TRUE(Rows().empty());
}

TEST_P(HistoryTest, CenterCodeWithAQuoteIsStoredAsItIs) {
  auto start = Start("C'1");
  ASSERT_EQ(start.result, "0000");
  EXPECT_EQ(Rows().at(0).Text("センターコード"), "C'1");
}

// Another workstation inserts the serial we computed just before our insert.
TEST_P(HistoryTest, SerialTakenByAnotherWorkstationIsAllocatedAgain) {
  bool inHook = false;
  int competitors = 0;
  db().SetFaultHook([&](const std::string& sql) {
    if (inHook || sql.rfind("INSERT", 0) != 0 || competitors >= 2) return;
    inHook = true;
    auto max = db().Query("SELECT MAX(通番) FROM FL1102処理履歴ファイル");
    long long next = max[0].at(0) ? std::stoll(*max[0].at(0)) + 1 : 1;
    InsertRaw(next, 0);
    ++competitors;
    inHook = false;
  });
  auto start = Start();
  db().SetFaultHook(nullptr);
  ASSERT_EQ(start.result, "0000");
  EXPECT_EQ(start.serial, 3);
  EXPECT_EQ(start.attempts, 3);
  auto rows = Rows();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].Text("センターコード"), "X");  // the competitors' rows stay theirs
  EXPECT_EQ(rows[1].Text("センターコード"), "X");
  EXPECT_EQ(rows[2].Text("センターコード"), "C01");
}

TEST_P(HistoryTest, SerialAllocationGivesUpAfterAFewAttemptsAndOnOtherFaults) {
  bool inHook = false;
  int competitors = 0;
  db().SetFaultHook([&](const std::string& sql) {
    if (inHook || sql.rfind("INSERT", 0) != 0) return;
    inHook = true;
    auto max = db().Query("SELECT MAX(通番) FROM FL1102処理履歴ファイル");
    InsertRaw(max[0].at(0) ? std::stoll(*max[0].at(0)) + 1 : 1, 0);
    ++competitors;
    inHook = false;
  });
  auto start = Start();
  EXPECT_EQ(start.result, "9999");
  EXPECT_EQ(competitors, kSerialAttempts);

  int inserts = 0;
  db().SetFaultHook([&](const std::string& sql) {
    if (sql.rfind("INSERT", 0) == 0 && ++inserts) throw DatabaseError("disk full");
  });
  start = Start();
  db().SetFaultHook(nullptr);
  EXPECT_EQ(start.result, "9999");
  EXPECT_EQ(inserts, 1);  // only a unique-key conflict is retried
}

INSTANTIATE_TEST_SUITE_P(Engines, HistoryTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "PostgreSQL" : "SQLite"; });

}  // namespace
}  // namespace edi::run
