// Retention: `edi history purge` removes only finished runs that ended before the date (never
// an open run, never one inside the retry window), archives exactly what it removes (rows,
// backup files, the old part of ERR.LOG), refuses bad dates, and a purge that is stopped, runs
// out of disk or crashes between its steps ends all as before or all as after.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>
#include <set>
#include <sstream>

#include "app/database.h"
#include "app/text.h"
#include "fault_bench.h"
#include "run/purge.h"

namespace edi::test {
namespace {

namespace fs = std::filesystem;

struct Crash {};  // thrown by the step hook: the process "dies" there

class PurgeTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    BenchOptions options;
    options.postgres = GetParam();
    bench = std::make_unique<RunBench>(options);
    if (!bench->available()) GTEST_SKIP() << "no PostgreSQL server (scripts/test starts one)";
    bench->AddCenter("C1");
    ASSERT_FALSE(bench->Start());
    archive = bench->root / "archive";
  }
  Database& db() { return bench->master(); }

  void AddRow(long long serial, int branch, const std::string& start, const std::string& end, const std::string& code,
           const std::string& time = "09:00:00") {
    db().Execute(
        "INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 送受信種別, 相手先種別, 処理種別, 処理開始日付, 処理開始時刻,"
        " センターコード, 処理終了日付, 処理終了時刻, 入力レコード数, 終了コード, ファイル名) VALUES (:1, :2, 'S', '2', :3,"
        " :4, :5, 'C1', :6, :7, :8, :9, :10)",
        {serial, static_cast<long long>(branch), std::string(branch == 0 ? "04" : "42"), start, time,
         end.empty() ? Param(nullptr) : Param(end), end.empty() ? Param(nullptr) : Param(std::string("09:10:00")),
         branch == 0 ? Param(nullptr) : Param(7LL), end.empty() ? Param(nullptr) : Param(code),
         std::string("out/a \"quoted\", name.CII")});
  }
  // Five runs, their backup files and their ERR.LOG lines; DATE 2026/11/15 removes 1 and 2.
  void Seed() {
    db().Execute("DELETE FROM FL1102処理履歴ファイル");
    fs::remove_all(archive);
    fs::remove_all(bench->old);
    fs::create_directories(bench->old);
    const std::pair<std::string, std::string> runs[] = {{"2026/11/01", "2026/11/01"}, {"2026/11/10", "2026/11/10"},
                                                        {"2026/11/12", ""},  // open: running elsewhere, or crashed
                                                        {"2026/11/14", "2026/11/15"},  // ended on the date
                                                        {"2026/11/20", "2026/11/20"}};
    std::string log;
    for (int s = 1; s <= 5; ++s) {
      const auto& [start, end] = runs[s - 1];
      AddRow(s, 0, start, end, s == 2 ? "5100" : "0000");
      for (int b = 1; b <= 2; ++b) AddRow(s, b, start, end, "0000");
      WriteBytes(bench->old / (SerialField(s) + "_SND_C1__________.CII"), "result " + std::to_string(s));
      log += "0000--P114040 start--" + SerialField(s) + "  " + start + " 09:00:01\r\n0026-line of " +
             std::to_string(s) + "\r\n";
    }
    WriteBytes(bench->old / "00000099_SND_C1__________.CII", "no run");  // a serial the history lacks
    WriteBytes(bench->ws.errLogPath, ToAnsiBytes(log));
    logBefore = ReadBytes(bench->ws.errLogPath);
    rowsBefore = Rows("");
    oldBefore = Files(bench->old);
  }
  // The history's rows as CSV-like lines (null: empty), optionally of some serials only.
  std::vector<std::string> Rows(const std::string& where) {
    std::vector<std::string> out;
    for (const Row& row : db().Query("SELECT * FROM FL1102処理履歴ファイル" + where + " ORDER BY 通番, 枝番")) {
      std::string line;
      for (std::size_t c = 0; c < row.size(); ++c) line += (c ? "|" : "") + row.at(c).value_or("");
      out.push_back(line);
    }
    return out;
  }
  std::set<std::string> Files(const fs::path& folder) {
    std::set<std::string> names;
    if (fs::exists(folder))
      for (const auto& e : fs::recursive_directory_iterator(folder)) names.insert(fs::relative(e.path(), folder).string());
    return names;
  }
  std::vector<fs::path> ArchiveFolders() {
    std::vector<fs::path> out;
    if (fs::exists(archive))
      for (const auto& e : fs::directory_iterator(archive)) out.push_back(e.path());
    return out;
  }
  run::PurgeRequest Request() {
    run::PurgeRequest r;
    r.beforeDate = "2026/11/15";
    r.archiveFolder = archive;
    r.errLog = bench->ws.errLogPath;
    r.backupFolder = bench->ws.settings.paths.oldFolder;
    return r;
  }
  void ExpectAsBefore() {
    EXPECT_EQ(Rows(""), rowsBefore);
    EXPECT_EQ(Files(bench->old), oldBefore);
    EXPECT_EQ(ReadBytes(bench->ws.errLogPath), logBefore);
    EXPECT_TRUE(ArchiveFolders().empty());
    EXPECT_FALSE(fs::exists(run::PurgeJournalPath(bench->ws.errLogPath)));
    EXPECT_FALSE(fs::exists(bench->ws.errLogPath.string() + ".purge-new"));
  }
  void ExpectAsAfter() {
    std::vector<std::string> kept;  // runs 3 (open), 4 (ended on the date) and 5
    for (const auto& line : rowsBefore)
      if (line.rfind("3|", 0) == 0 || line.rfind("4|", 0) == 0 || line.rfind("5|", 0) == 0) kept.push_back(line);
    EXPECT_EQ(Rows(""), kept);
    EXPECT_EQ(Files(bench->old), (std::set<std::string>{"00000003_SND_C1__________.CII", "00000004_SND_C1__________.CII",
                                                         "00000005_SND_C1__________.CII", "00000099_SND_C1__________.CII"}));
    const auto folders = ArchiveFolders();
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].filename().string().rfind("purge-", 0), 0u);
    EXPECT_EQ(Files(folders[0]), (std::set<std::string>{"FL1102処理履歴ファイル.csv", "ERR.LOG", "old",
                                                         "old/00000001_SND_C1__________.CII",
                                                         "old/00000002_SND_C1__________.CII"}));
    EXPECT_EQ(ReadBytes(folders[0] / "old/00000002_SND_C1__________.CII"), "result 2");
    // The log from the first start line dated on or after the date; the rest in the archive.
    const std::string log = ReadBytes(bench->ws.errLogPath);
    EXPECT_EQ(log.rfind("0000--P114040 start--00000005", 0), 0u) << log;
    EXPECT_EQ(ReadBytes(folders[0] / "ERR.LOG") + log, logBefore);
    EXPECT_FALSE(fs::exists(run::PurgeJournalPath(bench->ws.errLogPath)));
  }

  // More finished runs before the date, each a single row: a purge with work to do.
  void AddOldRuns(int count) {
    db().Execute(
        "INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 処理種別, 処理開始日付, 処理開始時刻, センターコード, 処理終了日付,"
        " 処理終了時刻, 終了コード, ファイル名)"
        " WITH RECURSIVE seq(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM seq WHERE n + 1 < :1)"
        " SELECT 1000 + n, 0, '04', '2026/11/02', '09:00:00', 'C1', '2026/11/02', '09:00:09', '0000',"
        " 'a long file name to fill the archive disk quickly: 0123456789012345678901234567890123456789' FROM seq",
        {static_cast<long long>(count)});
    rowsBefore = Rows("");
  }

  std::unique_ptr<RunBench> bench;
  fs::path archive;
  std::string logBefore;
  std::vector<std::string> rowsBefore;
  std::set<std::string> oldBefore;
};

TEST_P(PurgeTest, RemovesFinishedRunsBeforeTheDateAndArchivesExactlyWhatItRemoved) {
  Seed();
  const std::vector<std::string> removed = Rows(" WHERE 通番 IN (1, 2)");
  auto r = RunEdi(*bench, "history purge --before 2026-11-15 --archive '" + archive.string() + "'");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("削除した実行:            2 (履歴 6 行)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("残した終了していない実行: 1"), std::string::npos) << r.out;
  ExpectAsAfter();

  // The archive reads back as the removed rows: header with the table's columns, null as an
  // empty field, quotes doubled.
  const std::string csv = ReadBytes(ArchiveFolders()[0] / "FL1102処理履歴ファイル.csv");
  std::istringstream lines(csv);
  std::string line;
  std::getline(lines, line);
  std::string header;
  for (int c = 0; c < run::kHistoryColumnCount; ++c) header += (c ? "," : "") + std::string(run::kHistoryColumns[c]);
  EXPECT_EQ(line, header + "\r");
  std::vector<std::string> archived;
  while (std::getline(lines, line)) {
    ASSERT_EQ(line.back(), '\r');
    line.pop_back();
    const std::string name = ",\"out/a \"\"quoted\"\", name.CII\"";
    ASSERT_EQ(line.substr(line.size() - name.size()), name);
    line = line.substr(0, line.size() - name.size());
    std::replace(line.begin(), line.end(), ',', '|');
    archived.push_back(line + "|out/a \"quoted\", name.CII");
  }
  EXPECT_EQ(archived, removed);

  // Again with the same date: nothing left to remove, nothing changes.
  rowsBefore = Rows("");
  r = RunEdi(*bench, "history purge --before 2026/11/15");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("削除した実行:            0 (履歴 0 行)"), std::string::npos) << r.out;
  EXPECT_EQ(Rows(""), rowsBefore);
}

TEST_P(PurgeTest, WithoutAnArchiveBackupFilesAndOldLogLinesAreRemoved) {
  Seed();
  auto r = RunEdi(*bench, "history purge --before 20261115");
  ASSERT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Files(bench->old).count("00000001_SND_C1__________.CII"), 0u);
  EXPECT_EQ(Files(bench->old).count("00000003_SND_C1__________.CII"), 1u);
  EXPECT_EQ(ReadBytes(bench->ws.errLogPath).rfind("0000--P114040 start--00000005", 0), 0u);
  EXPECT_EQ(Rows(" WHERE 通番 IN (1, 2)").size(), 0u);
}

TEST_P(PurgeTest, BadOrMissingDatesAreRefusedAndNothingIsRemoved) {
  Seed();
  for (const char* args : {"history purge", "history purge --before 2026/02/30", "history purge --before yesterday",
                           "history purge --before 2026/11/15 --archive"}) {
    auto r = RunEdi(*bench, args);
    EXPECT_EQ(r.exitCode, 2) << args << "\n" << r.out;
  }
  auto r = RunEdi(*bench, "history purge --before 2026/13/01");
  EXPECT_NE(r.out.find("--before には日付"), std::string::npos) << r.out;
  EXPECT_NE(RunEdi(*bench, "history purge").out.find("--before DATE が必要です"), std::string::npos);
  ExpectAsBefore();
}

TEST_P(PurgeTest, RunsInsideTheRetryWindowAndRunsBeingResentAreKept) {
  Seed();
  AddRow(1, 3, "2026/11/01", "", "");  // run 1 is being sent again right now: a branch without an end
  auto request = Request();
  request.retryWindowHours = 24;
  request.now = "2026/11/11 08:00:00";  // run 2 started 2026/11/10 09:00:00: inside the window
  auto report = run::PurgeHistory(db(), request);
  ASSERT_TRUE(report.ok) << report.error;
  EXPECT_EQ(report.runs, 0);
  EXPECT_EQ(report.keptRetry, 1);
  EXPECT_EQ(Rows(" WHERE 通番 = 1").size(), 4u);
  EXPECT_EQ(Rows(" WHERE 通番 = 2").size(), 3u);
  EXPECT_EQ(Files(bench->old).count("00000002_SND_C1__________.CII"), 1u);
  // Once the resend has ended, the run goes.
  db().Execute("UPDATE FL1102処理履歴ファイル SET 処理終了日付 = '2026/11/01' WHERE 通番 = 1 AND 枝番 = 3");
  report = run::PurgeHistory(db(), request);
  EXPECT_EQ(report.runs, 1);
  EXPECT_EQ(Rows(" WHERE 通番 = 1").size(), 0u);

  // `edi history purge` reads the window from EDI.ini: 60 days keep run 2 again.
  {
    std::ofstream ini(bench->ini, std::ios::app | std::ios::binary);
    ini << "\r\n[RETRY]\r\nENABLED=1\r\nWINDOWHOURS=" << 24 * 60 << "\r\n";
  }
  const auto r = RunEdi(*bench, "history purge --before 2026/11/15");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("削除した実行:            0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("再送のために残した実行 (1440 時間): 1"), std::string::npos) << r.out;
}

// A stop asked before the commit, and a crash at each step: the next purge settles the journal
// and everything ends as before (nothing committed) or as after (committed).
TEST_P(PurgeTest, AStopOrACrashHalfWayEndsAllAsBeforeOrAllAsAfter) {
  Seed();
  auto stopped = Request();
  stopped.stopRequested = [] { return true; };
  const auto report = run::PurgeHistory(db(), stopped);
  EXPECT_FALSE(report.committed);
  EXPECT_EQ(report.error, "stopped");
  ExpectAsBefore();

  for (const char* step : {"prepared", "committed", "archived", "backups-removed"}) {
    SCOPED_TRACE(step);
    Seed();
    {
      // The purge on a connection of its own that "dies" with it.
      auto connection = Database::Open(db().target());
      auto request = Request();
      request.at = [this, step](const char* at) {
        if (std::string(at) == "prepared") {
          // A second purge meanwhile would take this one's journal for a crashed one: refused.
          const auto second = run::PurgeHistory(db(), Request());
          EXPECT_NE(second.error.find("別の削除が実行中です"), std::string::npos) << second.error;
        }
        if (std::string(at) == step) throw Crash{};
      };
      EXPECT_THROW(run::PurgeHistory(*connection, request), Crash);
    }
    EXPECT_TRUE(fs::exists(run::PurgeJournalPath(bench->ws.errLogPath)));
    const std::string settled = run::RecoverInterruptedPurge(db(), bench->ws.errLogPath);
    EXPECT_FALSE(settled.empty());
    if (std::string(step) == "prepared") {
      ExpectAsBefore();
    } else {
      ExpectAsAfter();
    }
  }
}

// The archive's disk fills up while the rows are written: nothing is removed and no cut file
// is left in the archive.
TEST_P(PurgeTest, AFullArchiveDiskRemovesNothing) {
  Seed();
  TmpfsMount disk(archive, "48k");
  if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs is not permitted here";
  AddOldRuns(2000);  // about 300 KB of archive
  auto r = RunEdi(*bench, "history purge --before 2026/11/15 --archive '" + archive.string() + "'");
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_NE(r.out.find("何も削除していません"), std::string::npos) << r.out;
  EXPECT_EQ(Rows(""), rowsBefore);
  EXPECT_EQ(Files(bench->old), oldBefore);
  EXPECT_EQ(ReadBytes(bench->ws.errLogPath), logBefore);
  EXPECT_TRUE(Files(archive).empty());
}

// SIGTERM to a real `edi history purge` at some moment of its work: it ends stopped with
// everything as before, or finished with everything as after; never in between.
TEST_P(PurgeTest, SigtermAtAnyMomentEndsAllAsBeforeOrAllAsAfter) {
  for (int delayMs : {30, 300, 3000}) {
    SCOPED_TRACE(delayMs);
    Seed();
    AddOldRuns(5000);
    const fs::path output = bench->root / "purge.out";
    std::vector<std::string> args = {EDI_CLI_PATH,        "--ini",     bench->ini.string(), "history",
                                     "purge", "--before", "2026/11/15", "--archive", archive.string()};
    const pid_t pid = fork();
    if (pid == 0) {
      const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(fd, 1);
      dup2(fd, 2);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    const std::string out = ReadBytes(output);
    const bool finished = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    RecordProperty("finishedAfter" + std::to_string(delayMs) + "ms", finished ? 1 : 0);  // which end was seen
    if (finished) {
      ExpectAsAfter();
    } else {
      // Stopped by the purge (exit 1), or ended by the signal before the purge began.
      if (WIFEXITED(status)) {
        EXPECT_EQ(WEXITSTATUS(status), 1) << out;
        EXPECT_NE(out.find("シグナル 15 で止めました。何も削除していません"), std::string::npos) << out;
      }
      ExpectAsBefore();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, PurgeTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "PostgreSQL" : "SQLite"; });

}  // namespace
}  // namespace edi::test
