#include "run/daily_summary.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <set>
#include <utility>

#include "app/database.h"
#include "app/text.h"
#include "run/history.h"

namespace edi::run {
namespace {

// Per run (inner query): its center and day, whether it is open or failed, and what its
// branches hold; per center and day (outer query): the sums. `枝番 = 0` stays a constant of
// the text, so the history index serves the walk over the runs.
const char* kRunOpen = "(h.処理終了日付 IS NULL OR h.処理終了日付 = '' OR h.処理終了日付 = ' ')";

std::string SummarySql(bool oneCenter, bool boundBranches) {
  std::string inner =
      std::string("SELECT h.センターコード AS センターコード, h.処理開始日付 AS 日付,") +
      " CASE WHEN " + kRunOpen + " THEN 1 ELSE 0 END AS 未終了," +
      " CASE WHEN " + kRunOpen + " THEN 0 WHEN h.終了コード IS NULL OR h.終了コード <> '0000' THEN 1 ELSE 0 END"
      " AS 異常,"
      " SUM(CASE WHEN b.処理種別 = :1 THEN 1 ELSE 0 END) AS ファイル数,"
      " SUM(CASE WHEN b.処理種別 = :1 THEN COALESCE(b.入力レコード数, 0) ELSE 0 END) AS 入力数,"
      " SUM(CASE WHEN b.処理種別 = :1 THEN COALESCE(b.出力レコード数, 0) ELSE 0 END) AS 出力数,"
      " SUM(CASE WHEN b.処理種別 = :2 THEN 1 ELSE 0 END) AS 送信数,"
      " SUM(CASE WHEN b.処理種別 = :2 AND b.終了コード = '0000' THEN 1 ELSE 0 END) AS 正常送信数"
      " FROM FL1102処理履歴ファイル h LEFT JOIN FL1102処理履歴ファイル b ON b.通番 = h.通番 AND b.枝番 > 0";
  if (boundBranches) {
    // The serials of the period bound the branches read (always true for a matching branch):
    // PostgreSQL then reads the branches by key range instead of hashing the whole table.
    // SQLite reads each run's branches by key anyway, and the bounds would cost it two walks.
    inner +=
        " AND b.通番 >= (SELECT MIN(s.通番) FROM FL1102処理履歴ファイル s WHERE s.枝番 = 0 AND s.処理開始日付 >= :3"
        " AND s.処理開始日付 <= :4)"
        " AND b.通番 <= (SELECT MAX(s.通番) FROM FL1102処理履歴ファイル s WHERE s.枝番 = 0 AND s.処理開始日付 >= :3"
        " AND s.処理開始日付 <= :4)";
  }
  inner += " WHERE h.枝番 = 0 AND h.処理開始日付 >= :3 AND h.処理開始日付 <= :4";
  if (oneCenter) inner += " AND h.センターコード = :5";
  inner += " GROUP BY h.通番, h.センターコード, h.処理開始日付, h.処理終了日付, h.終了コード";
  return "SELECT センターコード, 日付, COUNT(*) AS 実行数, SUM(ファイル数) AS ファイル数, SUM(入力数) AS 入力数,"
         " SUM(出力数) AS 出力数, SUM(CASE WHEN 正常送信数 > 0 THEN 1 ELSE 0 END) AS 送信済, SUM(異常) AS 異常,"
         " SUM(CASE WHEN 送信数 > 1 THEN 1 ELSE 0 END) AS 再送信, SUM(未終了) AS 未終了"
         " FROM (" + inner + ") r GROUP BY センターコード, 日付";
}

long long Number(const Row& row, const char* column) {
  const Value& v = row.Get(column);
  if (!v || v->empty()) return 0;
  try {
    return std::stoll(*v);
  } catch (const std::exception&) {
    return 0;
  }
}

std::chrono::sys_days Parse(const std::string& ymd) {
  int y = 0;
  unsigned m = 0, d = 0;
  std::sscanf(ymd.c_str(), "%d/%u/%u", &y, &m, &d);
  return std::chrono::sys_days(std::chrono::year(y) / std::chrono::month(m) / std::chrono::day(d));
}

}  // namespace

DayState DaySummary::state() const {
  if (runs == 0) return DayState::Nothing;
  if (failed > 0) return DayState::Failed;
  if (open > 0) return DayState::Open;
  return DayState::Sent;
}

std::string AddDays(const std::string& ymd, int days) {
  const std::chrono::year_month_day date(Parse(ymd) + std::chrono::days(days));
  char text[16];
  std::snprintf(text, sizeof text, "%04d/%02u/%02u", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()));
  return text;
}

std::vector<DaySummary> QueryDailySummary(Database& db, const SummaryPeriod& period) {
  const std::string today = period.today.empty() ? TodayYmd() : period.today;
  const std::string lookFrom = AddDays(period.fromDate, -7 * kUsualWeeks);
  std::vector<Param> params{std::string(kWorkExtract), std::string(kWorkSend), lookFrom, period.toDate};
  if (!period.centerCode.empty()) params.emplace_back(period.centerCode);

  // Every (center, day) with runs in the period or the weeks before it; days out of the
  // period only serve the usual-day rule.
  std::map<std::pair<std::string, std::string>, DaySummary> days;
  std::set<std::string> centers;
  for (const Row& row : db.Query(SummarySql(!period.centerCode.empty(), db.engine() == DbEngine::Postgresql), params)) {
    DaySummary s;
    s.centerCode = row.Text("センターコード");
    s.date = row.Text("日付");
    s.runs = Number(row, "実行数");
    s.files = Number(row, "ファイル数");
    s.inputRecords = Number(row, "入力数");
    s.outputRecords = Number(row, "出力数");
    s.sent = Number(row, "送信済");
    s.failed = Number(row, "異常");
    s.resent = Number(row, "再送信");
    s.open = Number(row, "未終了");
    centers.insert(s.centerCode);
    days[{s.centerCode, s.date}] = std::move(s);
  }
  auto sentOn = [&](const std::string& center, const std::string& date) {
    auto it = days.find({center, date});
    return it != days.end() && it->second.sent > 0;
  };

  std::vector<DaySummary> out;
  const std::string last = std::min(period.toDate, today);
  for (const std::string& center : centers) {
    for (std::string date = period.fromDate; date <= period.toDate; date = AddDays(date, 1)) {
      auto it = days.find({center, date});
      bool missing = false;
      if (date <= last && !sentOn(center, date)) {
        int weeks = 0;
        for (int k = 1; k <= kUsualWeeks; ++k) weeks += sentOn(center, AddDays(date, -7 * k)) ? 1 : 0;
        missing = weeks >= kUsualWeeksNeeded;
      }
      if (it == days.end() && !missing) continue;
      DaySummary s = it != days.end() ? it->second : DaySummary{date, center};
      s.missing = missing;
      out.push_back(std::move(s));
    }
  }
  std::sort(out.begin(), out.end(), [](const DaySummary& a, const DaySummary& b) {
    return a.date != b.date ? a.date > b.date : a.centerCode < b.centerCode;
  });
  return out;
}

}  // namespace edi::run
