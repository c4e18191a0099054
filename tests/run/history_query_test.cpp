// Searching the history: which runs each filter finds and in what order, paging that neither
// repeats nor skips a run, a run's branches with their kind names, the ERR.LOG lines of a
// serial, and the dates an operator or a script may type.
#include <gtest/gtest.h>

#include <set>

#include "app/text.h"
#include "run/history_query.h"
#include "test_support.h"

namespace edi::run {
namespace {

std::vector<std::int32_t> Serials(const std::vector<RunSummary>& runs) {
  std::vector<std::int32_t> out;
  for (const auto& r : runs) out.push_back(r.serial);
  return out;
}

class HistoryQueryTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    tdb_ = GetParam() ? test::TestDatabase::Postgres() : test::TestDatabase::Sqlite(dir_.path());
    if (!tdb_) GTEST_SKIP() << "no PostgreSQL server (scripts/test starts one)";
    db().Execute("INSERT INTO FL1903EDI制御マスタ (センターコード, センター名) VALUES ('C1', '東センター')");
    db().Execute("INSERT INTO FL1903EDI制御マスタ (センターコード, センター名) VALUES ('C2', '西センター')");
  }
  Database& db() { return tdb_->db(); }

  // A run (branch 0); an empty end date leaves it open.
  void AddRun(long long serial, const std::string& date, const std::string& center, const std::string& endCode,
              const std::string& endDate = "-") {
    const std::string end = endDate == "-" ? date : endDate;
    db().Execute(
        "INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 送受信種別, 相手先種別, 処理種別, 処理開始日付, 処理開始時刻,"
        " センターコード, 処理終了日付, 処理終了時刻, 終了コード, 詳細コード) VALUES (:1, 0, 'S', '2', '04', :2,"
        " '09:00:00', :3, :4, :5, :6, :7)",
        {serial, date, center, end.empty() ? Param(nullptr) : Param(end),
         end.empty() ? Param(nullptr) : Param(std::string("09:00:10")), end.empty() ? Param(nullptr) : Param(endCode),
         end.empty() ? Param(nullptr) : Param(std::string("0000"))});
  }

  // Seven runs over three days, two centers, failures and open runs.
  void Seed() {
    AddRun(1, "2026/12/06", "C1", "0000");
    AddRun(2, "2026/12/06", "C2", "5100");
    AddRun(3, "2026/12/07", "C1", "7200");
    AddRun(4, "2026/12/07", "C2", "", "");  // left open by a crash
    AddRun(5, "2026/12/08", "C1", "0000");
    AddRun(6, "2026/12/08", "GONE", "0000");  // center no longer in the master
    AddRun(7, "2026/12/08", "C2", "", "");  // running now
  }

  test::TempDir dir_;
  std::unique_ptr<test::TestDatabase> tdb_;
};

TEST_P(HistoryQueryTest, EachFilterAndTheirCombinationFindTheRightRunsNewestFirst) {
  Seed();
  // A branch row never counts as a run.
  db().Execute("INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 処理開始日付, センターコード, 終了コード, 処理終了日付)"
               " VALUES (5, 1, '2026/12/08', 'C1', '9999', '2026/12/08')");
  using V = std::vector<std::int32_t>;
  EXPECT_EQ(Serials(QueryRuns(db(), {})), (V{7, 6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(Serials(QueryRuns(db(), {"2026/12/07", "2026/12/07", "", false, false})), (V{4, 3}));
  EXPECT_EQ(Serials(QueryRuns(db(), {"2026/12/07", "", "", false, false})), (V{7, 6, 5, 4, 3}));
  EXPECT_EQ(Serials(QueryRuns(db(), {"", "2026/12/06", "", false, false})), (V{2, 1}));
  EXPECT_EQ(Serials(QueryRuns(db(), {"", "", "C2", false, false})), (V{7, 4, 2}));
  EXPECT_EQ(Serials(QueryRuns(db(), {"", "", "", true, false})), (V{3, 2}));  // open runs are not failures
  EXPECT_EQ(Serials(QueryRuns(db(), {"", "", "", false, true})), (V{7, 4}));
  EXPECT_EQ(Serials(QueryRuns(db(), {"2026/12/06", "2026/12/07", "C2", true, false})), (V{2}));
  EXPECT_TRUE(QueryRuns(db(), {"2026/12/09", "2026/12/31", "", false, false}).empty());
  // A value holding a quote is only a value.
  EXPECT_TRUE(QueryRuns(db(), {"", "", "C1' OR '1'='1", false, false}).empty());

  auto runs = QueryRuns(db(), {"2026/12/08", "2026/12/08", "", false, false});
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_TRUE(runs[0].open());
  EXPECT_FALSE(runs[0].failed());
  EXPECT_EQ(runs[1].centerName, "");  // GONE
  EXPECT_EQ(runs[2].centerName, "東センター");
  EXPECT_EQ(runs[2].endCode, "0000");
  EXPECT_FALSE(runs[2].failed());
  EXPECT_EQ(runs[2].startTime, "09:00:00");
  EXPECT_TRUE(QueryRuns(db(), {"", "", "", false, false}, 3).front().failed());  // serial 2, below serial 3

  auto one = QueryRun(db(), 3);
  ASSERT_TRUE(one);
  EXPECT_EQ(one->endCode, "7200");
  EXPECT_FALSE(QueryRun(db(), 99));
}

TEST_P(HistoryQueryTest, PagesFollowEachOtherWithoutRepeatsOrGaps) {
  for (long long s = 1; s <= 23; ++s) AddRun(s, "2026/12/08", s % 2 ? "C1" : "C2", s % 3 ? "0000" : "5100");
  for (const HistoryFilter& filter : {HistoryFilter{}, HistoryFilter{"", "", "C1", false, false},
                                      HistoryFilter{"", "", "", true, false}}) {
    auto all = Serials(QueryRuns(db(), filter, std::nullopt, 1000));
    std::vector<std::int32_t> paged;
    std::optional<std::int32_t> below;
    for (;;) {
      auto page = QueryRuns(db(), filter, below, 4);
      ASSERT_LE(page.size(), 4u);
      for (const auto& r : page) paged.push_back(r.serial);
      if (page.size() < 4) break;
      below = page.back().serial;
    }
    EXPECT_EQ(paged, all);
  }
  EXPECT_EQ(QueryRuns(db(), {}).size(), 23u);
}

TEST_P(HistoryQueryTest, BranchesCarryTheirKindNamesFromTheCodeMasterElseTheBuiltInOnes) {
  AddRun(9, "2026/12/08", "C1", "5100");
  db().Execute("INSERT INTO 区分マスタ (区分, 区分ｺｰﾄﾞ, 区分名称) VALUES ('処理種別', '42', 'ﾃﾞｰﾀ抽出(VAN)')");
  db().Execute("INSERT INTO 区分マスタ (区分, 区分ｺｰﾄﾞ, 区分名称) VALUES ('送受信方式', '20', '別区分')");
  db().Execute(
      "INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 送受信種別, 相手先種別, 処理種別, 処理開始日付, センターコード,"
      " 処理終了日付, 相手先企業コード, BPID, 取引情報区分, 入力レコード数, 出力レコード数, 格納モード, 終了コード,"
      " 詳細コード, ファイル名) VALUES (9, 1, 'S', '2', '42', '2026/12/08', 'C1', '2026/12/08', 'MAKER1', ' ',"
      " '0101', 12, 12, ' ', '0000', '0000', 'out/00000009_SND_C1__________0101.LOC')");
  db().Execute(
      "INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 処理種別, 処理開始日付, センターコード, 処理終了日付, 終了コード,"
      " 詳細コード) VALUES (9, 2, '20', '2026/12/08', 'C1', '2026/12/08', '5100', '9999')");
  db().Execute("INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 処理種別, 処理開始日付, センターコード)"
               " VALUES (9, 3, '77', '2026/12/08', 'C1')");
  AddRun(10, "2026/12/08", "C1", "0000");

  auto branches = QueryBranches(db(), 9);
  ASSERT_EQ(branches.size(), 4u);
  EXPECT_EQ(branches[0].branch, 0);
  EXPECT_EQ(branches[0].workKindName, "処理全体");
  EXPECT_EQ(branches[1].workKindName, "ﾃﾞｰﾀ抽出(VAN)");  // the master's name wins
  EXPECT_EQ(branches[1].partnerCompany, "MAKER1");
  EXPECT_EQ(branches[1].infoCategory, "0101");
  EXPECT_EQ(branches[1].bpid, "");  // a stored space is no value
  EXPECT_EQ(branches[1].inputRecords, "12");
  EXPECT_EQ(branches[1].fileName, "out/00000009_SND_C1__________0101.LOC");
  EXPECT_EQ(branches[2].workKindName, "送信");  // a name of another category is not taken
  EXPECT_EQ(branches[2].endCode, "5100");
  EXPECT_EQ(branches[2].detailCode, "9999");
  EXPECT_EQ(branches[3].workKindName, "");  // unknown kind, no master row
  EXPECT_EQ(branches[3].endDate, "");
  EXPECT_TRUE(QueryBranches(db(), 11).empty());

  // The run's sends: its own failed one, then a resend that went out.
  EXPECT_EQ(QueryRun(db(), 9)->sends, 1);
  EXPECT_EQ(QueryRun(db(), 9)->lastSendCode, "5100");
  db().Execute("INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 処理種別, 処理開始日付, センターコード, 処理終了日付,"
               " 終了コード) VALUES (9, 4, '20', '2026/12/08', 'C1', '2026/12/08', '0000')");
  auto listed = QueryRuns(db(), {});
  ASSERT_EQ(Serials(listed), (std::vector<std::int32_t>{10, 9}));
  EXPECT_EQ(listed[0].sends, 0);
  EXPECT_EQ(listed[0].lastSendCode, "");
  EXPECT_EQ(listed[1].sends, 2);
  EXPECT_EQ(listed[1].lastSendCode, "0000");
  EXPECT_EQ(listed[1].endCode, "5100");  // the run's own end stays as it was

  auto centers = QueryCenterNames(db());
  ASSERT_EQ(centers.size(), 2u);
  EXPECT_EQ(centers[1], (std::pair<std::string, std::string>{"C2", "西センター"}));
}

// A failed run whose result a later resend sent is resolved: "エラーのみ" leaves it out unless
// asked to include it. The run's own send (its last step) and a send that started after the
// run's end (a run stopped before it sent) tell a resend apart.
TEST_P(HistoryQueryTest, AFailedRunThatALaterResendSentIsResolved) {
  auto send = [&](long long serial, long long branch, const std::string& start, const std::string& code) {
    db().Execute("INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 処理種別, 処理開始日付, 処理開始時刻, センターコード,"
                 " 処理終了日付, 処理終了時刻, 終了コード) VALUES (:1, :2, '20', '2026/12/08', :3, 'C1', '2026/12/08',"
                 " :3, :4)",
                 {serial, branch, start, code});
  };
  AddRun(1, "2026/12/08", "C1", "5100");  // own send failed, resent: resolved
  send(1, 1, "09:00:05", "5100");
  send(1, 2, "09:30:00", "0000");
  AddRun(2, "2026/12/08", "C1", "7200");  // own send went out after a partial failure: not resolved
  send(2, 1, "09:00:05", "0000");
  AddRun(3, "2026/12/08", "C1", "9900");  // stopped before it sent, resent afterwards: resolved
  send(3, 1, "09:45:00", "0000");
  AddRun(4, "2026/12/08", "C1", "5100");  // own send failed, the resend failed too
  send(4, 1, "09:00:05", "5100");
  send(4, 2, "09:30:00", "5100");
  AddRun(5, "2026/12/08", "C1", "0000");  // succeeded and was sent again: no failure to resolve
  send(5, 1, "09:00:05", "0000");
  send(5, 2, "09:30:00", "0000");

  const auto all = QueryRuns(db(), {});
  ASSERT_EQ(Serials(all), (std::vector<std::int32_t>{5, 4, 3, 2, 1}));
  EXPECT_EQ((std::vector<bool>{all[0].resolved, all[1].resolved, all[2].resolved, all[3].resolved, all[4].resolved}),
            (std::vector<bool>{false, false, true, false, true}));
  EXPECT_EQ(all[4].sends, 2);
  EXPECT_EQ(all[4].successfulSends, 1);
  EXPECT_EQ(all[0].successfulSends, 2);

  HistoryFilter failed;
  failed.failedOnly = true;
  failed.includeResolved = false;
  EXPECT_EQ(Serials(QueryRuns(db(), failed)), (std::vector<std::int32_t>{4, 2}));
  failed.includeResolved = true;
  EXPECT_EQ(Serials(QueryRuns(db(), failed)), (std::vector<std::int32_t>{4, 3, 2, 1}));
}

INSTANTIATE_TEST_SUITE_P(Backends, HistoryQueryTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Postgres" : "Sqlite"; });

TEST(HistoryErrLog, LinesOfASerialRunFromEachOfItsStartLinesToTheNextStartLine) {
  test::TempDir dir;
  const auto log = dir / "ERR.LOG";
  test::WriteAnsiText(log,
                      "0007stray line before any start\n"
                      "0000--P114040 start--00000012  2026/12/08 10:00:00\n"
                      "0001\n"
                      "0028項目長エラー\n"
                      "0000--P114040 start--00000013  2026/12/08 10:01:00\n"
                      "0002\n"
                      "0000--P114050 start--00000012  2026/12/08 10:02:00\n"
                      "0000x\n"
                      "0000--P114040 start--000000120  2026/12/08 10:03:00\n"
                      "0003\n"
                      "0000--P114040 start--100000000  2026/12/08 10:04:00\n"
                      "0004\n");
  EXPECT_EQ(ErrLogLines(log, 12), (std::vector<std::string>{
                                      "0000--P114040 start--00000012  2026/12/08 10:00:00",
                                      "0001",
                                      "0028項目長エラー",  // read as CP932, without its CR LF
                                      "0000--P114050 start--00000012  2026/12/08 10:02:00",
                                      "0000x",  // "0000" lines that are no start line stay inside
                                  }));
  EXPECT_EQ(ErrLogLines(log, 13).size(), 2u);
  EXPECT_EQ(ErrLogLines(log, 120).size(), 2u);        // not serial 12 with a digit more
  EXPECT_EQ(ErrLogLines(log, 100000000).back(), "0004");  // nine digits
  EXPECT_TRUE(ErrLogLines(log, 14).empty());
  EXPECT_TRUE(ErrLogLines(dir / "missing.LOG", 12).empty());
}

TEST(HistoryDates, TypedDatesBecomeTheStoredFormOrAreRefused) {
  EXPECT_EQ(NormalizeHistoryDate("2026/12/08"), "2026/12/08");
  EXPECT_EQ(NormalizeHistoryDate(" 2026-12-08 "), "2026/12/08");
  EXPECT_EQ(NormalizeHistoryDate("20240229"), "2024/02/29");
  for (const char* bad : {"2026/02/29", "2026/13/01", "2026/12/32", "2026/1/8", "2026-12/08", "26/12/08", "",
                          "2026/12/0x", "x"})
    EXPECT_FALSE(NormalizeHistoryDate(bad)) << bad;
}

}  // namespace
}  // namespace edi::run
