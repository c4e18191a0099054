// What was sent, per center per day: the facts behind the history window's board and
// `edi report`. A run counts on the day it started (its branch 0's 処理開始日付).
//
// One statement per call aggregates the runs of the period (and of the four weeks before it,
// for the usual-day rule) in the database; the usual-day rule is then applied to its rows.
#pragma once

#include <string>
#include <vector>

namespace edi {
class Database;
}

namespace edi::run {

// How a center's day looks at a glance.
enum class DayState {
  Nothing,  // no run
  Sent,     // every run ended "0000"
  Failed,   // at least one run ended with another code
  Open,     // no failure, but a run without an end (running now, or left open by a crash)
};

struct DaySummary {
  std::string date;        // "yyyy/mm/dd"
  std::string centerCode;
  long long runs = 0;           // branch 0 rows
  long long files = 0;          // extraction branches ("42")
  long long inputRecords = 0;   // their 入力レコード数
  long long outputRecords = 0;  // their 出力レコード数
  long long sent = 0;           // runs with a sending branch ("20") that ended "0000"
  long long failed = 0;         // runs whose branch 0 ended with a code other than "0000"
  long long resent = 0;         // runs with more than one sending branch
  long long open = 0;           // runs without an end
  // A usual day of the center (a successful send on the same weekday in at least three of the
  // four weeks before) without a run that sent successfully.
  bool missing = false;

  DayState state() const;
};

struct SummaryPeriod {
  std::string fromDate;    // "yyyy/mm/dd", both ends included
  std::string toDate;
  std::string centerCode;  // empty: every center
  std::string today;       // "yyyy/mm/dd": days after it are never missing; empty: TodayYmd()
};

// How many weeks back the usual-day rule looks, and in how many of them the center must have
// sent on the same weekday.
inline constexpr int kUsualWeeks = 4;
inline constexpr int kUsualWeeksNeeded = 3;
// The board's and the report's period unless one is chosen: the last 14 days.
inline constexpr int kDefaultSummaryDays = 14;

// The days of the period that have runs or are missing, newest day first and, within a day,
// centers in code order. Throws DatabaseError.
std::vector<DaySummary> QueryDailySummary(Database& db, const SummaryPeriod& period);

// "yyyy/mm/dd" moved by a number of days (negative: back). The text must be a valid date.
std::string AddDays(const std::string& ymd, int days);

}  // namespace edi::run
