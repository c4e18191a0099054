// bench_history: how fast the history opens and filters when it holds a million rows.
//
//   bench_history DATABASE.db [ROWS]              SQLite file (made when missing)
//   bench_history --pg "host=… dbname=…" [ROWS]   a PostgreSQL database (emptied first)
//
// Generates ROWS history rows (default 1,000,000): runs of five rows each (the run, two
// extractions, a conversion, the sending) over 730 days and 20 centers; every 25th run
// failed, every 5000th left open. Then times what the history window and `edi history` do:
// the first page under each filter, the next page, a run's branches, the center choices;
// the board's and `edi report`'s query over 14 days and over a year. Each figure is the best
// of 5. Last, once, a purge of the older half of the history with an archive (the history is
// generated again at the next start).
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>

#include "app/database.h"
#include "app/text.h"
#include "run/daily_summary.h"
#include "run/history_query.h"
#include "run/purge.h"

namespace {

using Clock = std::chrono::steady_clock;

double BestSeconds(const std::function<std::size_t()>& work, std::size_t& rows) {
  double best = 1e9;
  for (int i = 0; i < 5; ++i) {
    auto start = Clock::now();
    rows = work();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

std::string Day(int offset) {
  // 2025/01/01 plus offset days.
  std::tm tm{};
  tm.tm_year = 125;
  tm.tm_mon = 0;
  tm.tm_mday = 1 + offset;
  tm.tm_hour = 12;
  std::mktime(&tm);
  char buf[16];
  std::strftime(buf, sizeof buf, "%Y/%m/%d", &tm);
  return buf;
}

constexpr int kDays = 730;
constexpr int kBranches = 5;

// One day's runs, serials first..first+count-1, inserted with one statement per branch.
void InsertDay(edi::Database& db, long long first, long long count, const std::string& date) {
  static const char* const kKinds[kBranches] = {"04", "42", "42", "31", "20"};
  for (int branch = 0; branch < kBranches; ++branch) {
    db.Execute(
        "INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 送受信種別, 相手先種別, 処理種別, 処理開始日付, 処理開始時刻,"
        " センターコード, 処理終了日付, 処理終了時刻, 相手先企業コード, BPID, 取引情報区分, 最終シーケンス番号,"
        " 入力レコード数, 入力ファイルサイズ, 出力レコード数, 出力ファイルサイズ, 格納モード, 終了コード, 詳細コード,"
        " ファイル名)"
        " WITH RECURSIVE seq(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM seq WHERE n + 1 < :1)"
        " SELECT :2 + n, :3, 'S', '2', :4, :5, '10:00:00', 'CENTER' || ((:6 + n) % 20),"
        " CASE WHEN (:7 + n) % 5000 = 0 THEN NULL ELSE :8 END, '10:00:05', 'MAKER001', ' ', '0101', 0, 10, 0, 10, 0,"
        " ' ', CASE WHEN (:9 + n) % 5000 = 0 THEN NULL WHEN (:10 + n) % 25 = 0 THEN '5100' ELSE '0000' END, '0000',"
        " 'out/file.CII' FROM seq",
        {count, first, static_cast<long long>(branch), std::string(kKinds[branch]), date, first, first,
         date, first, first});
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  edi::DatabaseTarget target;
  if (!args.empty() && args[0] == "--pg" && args.size() >= 2) {
    target.engine = edi::DbEngine::Postgresql;
    target.connectString = args[1];
    args.erase(args.begin(), args.begin() + 2);
  } else if (!args.empty()) {
    target.engine = edi::DbEngine::Sqlite;
    target.connectString = "db=\"" + args[0] + "\" timeout=10";
    args.erase(args.begin());
  } else {
    std::cerr << "usage: bench_history (DATABASE.db | --pg CONNECT) [ROWS]\n";
    return 2;
  }
  const long long rows = args.empty() ? 1000000 : std::atoll(args[0].c_str());
  const long long runs = rows / kBranches;
  try {
    auto db = edi::Database::Open(target);
    edi::CreateSchema(*db);
    auto existing = db->Query("SELECT COUNT(*) FROM FL1102処理履歴ファイル");
    if (std::stoll(*existing.front().at(0)) != runs * kBranches) {
      auto start = Clock::now();
      db->Execute("DELETE FROM FL1102処理履歴ファイル");
      db->Execute("DELETE FROM FL1903EDI制御マスタ");
      db->Begin();
      long long serial = 1;
      for (int day = 0; day < kDays; ++day) {
        const long long count = runs * (day + 1) / kDays - runs * day / kDays;
        if (count > 0) InsertDay(*db, serial, count, Day(day));
        serial += count;
      }
      for (int c = 0; c < 20; ++c)
        db->Execute("INSERT INTO FL1903EDI制御マスタ (センターコード, センター名) VALUES (:1, :2)",
                    {"CENTER" + std::to_string(c), "センター" + std::to_string(c)});
      db->Commit();
      if (target.engine == edi::DbEngine::Postgresql) db->Execute("VACUUM ANALYZE FL1102処理履歴ファイル");
      std::printf("generated %lld rows (%lld runs) in %.1f s\n", runs * kBranches, runs,
                  std::chrono::duration<double>(Clock::now() - start).count());
    }

    const std::string lastDay = Day(kDays - 1), oldDay = Day(100);
    struct Case {
      const char* name;
      edi::run::HistoryFilter filter;
    };
    Case cases[] = {
        {"open the window (today's runs)", {lastDay, lastDay, "", false, false}},
        {"no filter (newest of all)", {}},
        {"one day a year and a half back", {oldDay, oldDay, "", false, false}},
        {"one center, all dates", {"", "", "CENTER7", false, false}},
        {"failures only, all dates", {"", "", "", true, false}},
        {"open runs only, all dates", {"", "", "", false, true}},
        {"one center, failures, a month", {Day(600), Day(630), "CENTER5", true, false}},
        {"a center that never ran", {"", "", "NOSUCH", false, false}},
    };
    std::printf("%-36s %8s %10s\n", "search (first page of 200)", "runs", "seconds");
    for (const Case& c : cases) {
      std::size_t found = 0;
      double s = BestSeconds([&] { return edi::run::QueryRuns(*db, c.filter).size(); }, found);
      std::printf("%-36s %8zu %10.4f\n", c.name, found, s);
    }
    std::size_t found = 0;
    auto first = edi::run::QueryRuns(*db, {});
    double s = BestSeconds([&] { return edi::run::QueryRuns(*db, {}, first.back().serial).size(); }, found);
    std::printf("%-36s %8zu %10.4f\n", "next page (no filter)", found, s);
    s = BestSeconds([&] { return edi::run::QueryRuns(*db, {}, 1000).size(); }, found);
    std::printf("%-36s %8zu %10.4f\n", "page at the oldest runs", found, s);
    s = BestSeconds([&] { return edi::run::QueryBranches(*db, static_cast<std::int32_t>(runs / 2)).size(); }, found);
    std::printf("%-36s %8zu %10.4f\n", "branches of a run", found, s);
    s = BestSeconds([&] { return edi::run::QueryCenterNames(*db).size(); }, found);
    std::printf("%-36s %8zu %10.4f\n", "center choices", found, s);

    std::printf("%-36s %8s %10s\n", "by center and day", "cells", "seconds");
    s = BestSeconds([&] { return edi::run::QueryDailySummary(*db, {Day(kDays - 14), lastDay, "", lastDay}).size(); },
                    found);
    std::printf("%-36s %8zu %10.4f\n", "board / report, 14 days", found, s);
    s = BestSeconds([&] { return edi::run::QueryDailySummary(*db, {Day(kDays - 365), lastDay, "", lastDay}).size(); },
                    found);
    std::printf("%-36s %8zu %10.4f\n", "report, a year", found, s);
    s = BestSeconds(
        [&] { return edi::run::QueryDailySummary(*db, {Day(kDays - 14), lastDay, "CENTER7", lastDay}).size(); },
        found);
    std::printf("%-36s %8zu %10.4f\n", "report, one center, 14 days", found, s);

    // The older half of the history purged into an archive (rows as CSV).
    const auto archive = std::filesystem::temp_directory_path() / ("bench_history_purge_" + std::to_string(getpid()));
    edi::run::PurgeRequest purge;
    purge.beforeDate = Day(kDays / 2);
    purge.archiveFolder = archive;
    purge.errLog = archive.string() + ".ERR.LOG";
    auto start = Clock::now();
    const auto report = edi::run::PurgeHistory(*db, purge);
    s = std::chrono::duration<double>(Clock::now() - start).count();
    std::filesystem::remove_all(archive);
    if (!report.ok) throw std::runtime_error("purge: " + report.error);
    std::printf("%-36s %8lld %10.4f   (%lld rows)\n", "purge of the older half (archived)", report.runs, s,
                report.rows);
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "bench_history: " << e.what() << "\n";
    return 1;
  }
}
