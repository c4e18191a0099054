// What was sent per center per day: the facts of each day from a seeded history (SQLite and
// PostgreSQL), the usual-day rule behind "missing", and `edi report` as text and as CSV in
// both encodings.
#include <gtest/gtest.h>

#include "app/database.h"
#include "app/text.h"
#include "run/daily_summary.h"
#include "run_bench.h"

namespace edi::run {
namespace {

class DailySummaryTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    test::BenchOptions options;
    options.postgres = GetParam();
    bench = std::make_unique<test::RunBench>(options);
    if (!bench->available()) GTEST_SKIP() << "no PostgreSQL server (scripts/test starts one)";
  }

  // One history row; an empty end code leaves it open.
  void Row(long long serial, int branch, const char* kind, const std::string& date, const std::string& center,
           const std::string& endCode, long long in = 0, long long out = 0) {
    const bool open = endCode.empty();
    bench->master().Execute(
        "INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 送受信種別, 相手先種別, 処理種別, 処理開始日付, 処理開始時刻,"
        " センターコード, 処理終了日付, 処理終了時刻, 入力レコード数, 出力レコード数, 終了コード) VALUES (:1, :2, 'S', '2',"
        " :3, :4, '09:00:00', :5, :6, :7, :8, :9, :10)",
        {serial, static_cast<long long>(branch), std::string(kind), date, center, open ? Param(nullptr) : Param(date),
         open ? Param(nullptr) : Param(std::string("09:05:00")), in, out, open ? Param(nullptr) : Param(endCode)});
  }
  // A run that extracted one file and sent it with the given code.
  void SentRun(long long serial, const std::string& date, const std::string& center, const std::string& sendCode = "0000") {
    Row(serial, 0, "04", date, center, sendCode);
    Row(serial, 1, "42", date, center, "0000", 10, 10);
    Row(serial, 2, "20", date, center, sendCode);
  }
  const DaySummary* Find(const std::vector<DaySummary>& days, const std::string& date, const std::string& center) {
    for (const auto& d : days)
      if (d.date == date && d.centerCode == center) return &d;
    return nullptr;
  }

  std::unique_ptr<test::RunBench> bench;
};

TEST_P(DailySummaryTest, CountsEachCentersDayFromItsRunsAndBranches) {
  const std::string day = "2026/11/30", before = "2026/11/29", old = "2026/10/01";
  // C1 on the day: a run with two files and a send; a failed run; a run sent twice (a resend
  // after a failed send); an open run.
  Row(1, 0, "04", day, "C1", "0000");
  Row(1, 1, "42", day, "C1", "0000", 12, 10);
  Row(1, 2, "42", day, "C1", "0000", 5, 4);
  Row(1, 3, "31", day, "C1", "0000", 99, 99);  // a conversion branch counts for nothing
  Row(1, 4, "20", day, "C1", "0000");
  Row(2, 0, "04", day, "C1", "5100");
  Row(2, 1, "42", day, "C1", "0000", 3, 3);
  Row(2, 2, "20", day, "C1", "5100");
  Row(3, 0, "04", day, "C1", "0000");
  Row(3, 1, "20", day, "C1", "5100");
  Row(3, 2, "20", day, "C1", "0000");
  Row(4, 0, "04", day, "C1", "");
  // C2 the day before, and a run far outside the period.
  SentRun(5, before, "C2");
  SentRun(6, old, "C1");

  const auto days = QueryDailySummary(bench->master(), {before, day, "", day});
  ASSERT_EQ(days.size(), 2u);
  EXPECT_EQ(days[0].date, day);  // newest day first
  const DaySummary& c1 = days[0];
  EXPECT_EQ(c1.centerCode, "C1");
  EXPECT_EQ(c1.runs, 4);
  EXPECT_EQ(c1.files, 3);
  EXPECT_EQ(c1.inputRecords, 20);
  EXPECT_EQ(c1.outputRecords, 17);
  EXPECT_EQ(c1.sent, 2);
  EXPECT_EQ(c1.failed, 1);
  EXPECT_EQ(c1.resent, 1);
  EXPECT_EQ(c1.open, 1);
  EXPECT_FALSE(c1.missing);
  EXPECT_EQ(c1.state(), DayState::Failed);
  EXPECT_EQ(days[1].centerCode, "C2");
  EXPECT_EQ(days[1].state(), DayState::Sent);

  // One center only.
  const auto c2 = QueryDailySummary(bench->master(), {before, day, "C2", day});
  ASSERT_EQ(c2.size(), 1u);
  EXPECT_EQ(c2[0].runs, 1);
}

TEST_P(DailySummaryTest, AUsualWeekdayWithoutASuccessfulSendIsMissing) {
  // C1 sent on three of the four Mondays before 2026/11/30; on 11/30 its only run failed.
  SentRun(1, "2026/11/02", "C1");
  SentRun(2, "2026/11/16", "C1");
  SentRun(3, "2026/11/23", "C1");
  SentRun(4, "2026/11/30", "C1", "5100");
  // C2 sent on only two of them, and on none of 12/07: not a usual day.
  SentRun(5, "2026/11/09", "C2");
  SentRun(6, "2026/11/23", "C2");
  // C3 every Monday but sent on 11/30 too; its Monday 12/07 lies after "today".
  for (int i = 0; i < 5; ++i) SentRun(10 + i, AddDays("2026/11/02", 7 * i), "C3");

  // The period is the single day: the rule looks back before it.
  auto days = QueryDailySummary(bench->master(), {"2026/11/30", "2026/11/30", "", "2026/12/01"});
  ASSERT_NE(Find(days, "2026/11/30", "C1"), nullptr);
  EXPECT_TRUE(Find(days, "2026/11/30", "C1")->missing);
  EXPECT_EQ(Find(days, "2026/11/30", "C1")->failed, 1);
  EXPECT_EQ(Find(days, "2026/11/30", "C2"), nullptr);
  EXPECT_FALSE(Find(days, "2026/11/30", "C3")->missing);

  // A usual day without any run is listed, missing; a day after today never is; a Tuesday is not usual.
  SentRun(20, "2026/12/01", "C3");
  days = QueryDailySummary(bench->master(), {"2026/12/01", "2026/12/14", "", "2026/12/07"});
  ASSERT_NE(Find(days, "2026/12/07", "C3"), nullptr);
  EXPECT_TRUE(Find(days, "2026/12/07", "C3")->missing);
  EXPECT_EQ(Find(days, "2026/12/07", "C3")->runs, 0);
  EXPECT_EQ(Find(days, "2026/12/14", "C3"), nullptr);
  EXPECT_FALSE(Find(days, "2026/12/01", "C3")->missing);
  EXPECT_EQ(days.size(), 2u);
}

TEST_P(DailySummaryTest, ReportPrintsCsvInCp932OrUtf8AndText) {
  SentRun(1, "2026/11/27", "C1");
  SentRun(2, "2026/11/30", "東C");
  SentRun(3, "2026/11/30", "A,B", "5100");

  auto csv = test::RunEdi(*bench, "report --from 2026-11-27 --to 20261130 --format csv");
  ASSERT_EQ(csv.exitCode, 0) << csv.out;
  const std::string expected =
      "date,center,runs,files,input_records,output_records,sent,failed,resent,open,missing\r\n"
      "2026/11/30,\"A,B\",1,1,10,10,0,1,0,0,0\r\n"
      "2026/11/30,東C,1,1,10,10,1,0,0,0,0\r\n"
      "2026/11/27,C1,1,1,10,10,1,0,0,0,0\r\n";
  EXPECT_EQ(csv.out, ToAnsiBytes(expected));
  EXPECT_EQ(test::RunEdi(*bench, "report --from 2026/11/27 --to 2026/11/30 --format csv --encoding utf-8").out,
            expected);

  auto text = test::RunEdi(*bench, "report --from 2026/11/30 --to 2026/11/30 --center C1");
  EXPECT_EQ(text.exitCode, 0);
  EXPECT_NE(text.out.find("(期間内の実行はありません)"), std::string::npos) << text.out;
  text = test::RunEdi(*bench, "report --from 2026/11/30 --to 2026/11/30 --center 東C");
  EXPECT_NE(text.out.find("2026/11/30  東C"), std::string::npos) << text.out;

  // Dates that are no dates, and a period that runs backwards, are refused before anything is read.
  auto bad = test::RunEdi(*bench, "report --from 2026/02/30");
  EXPECT_EQ(bad.exitCode, 2);
  EXPECT_NE(bad.out.find("--from には日付"), std::string::npos) << bad.out;
  EXPECT_EQ(test::RunEdi(*bench, "report --from 2026/12/01 --to 2026/11/01").exitCode, 2);
  EXPECT_EQ(test::RunEdi(*bench, "report --format xml").exitCode, 2);
}

INSTANTIATE_TEST_SUITE_P(Backends, DailySummaryTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "PostgreSQL" : "SQLite"; });

}  // namespace
}  // namespace edi::run
