#include "run/purge.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <system_error>
#include <vector>

#include "app/catalogue.h"
#include "app/database.h"
#include "app/text.h"
#include "app/whole_file.h"
#include "run/run_context.h"
#include "platform/files.h"

namespace fs = std::filesystem;

namespace edi::run {

const char* const kHistoryColumns[] = {
    "通番",         "枝番",           "送受信種別",     "相手先種別",       "処理種別",       "処理開始日付",
    "処理開始時刻", "センターコード", "処理終了日付",   "処理終了時刻",     "相手先企業コード", "BPID",
    "取引情報区分", "最終シーケンス番号", "入力レコード数", "入力ファイルサイズ", "出力レコード数",
    "出力ファイルサイズ", "格納モード", "終了コード",     "詳細コード",       "ファイル名"};
const int kHistoryColumnCount = static_cast<int>(std::size(kHistoryColumns));

namespace {

constexpr const char* kJournalHead = "edi history purge journal";
constexpr int kSerialPage = 1000;

// A fault of the purge with a readable text (file system faults name the file).
struct PurgeFault : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// msgid names the place {1} and the system's reason {2}.
[[noreturn]] void Fail(const char* msgid, const fs::path& path, int error) {
  throw PurgeFault(TrArgs(msgid, {path.string(), std::strerror(error)}));
}

// A file written from scratch and flushed to the disk before it counts as written.
class SyncedFile {
 public:
  explicit SyncedFile(fs::path path, bool append = false) : path_(std::move(path)) {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (append ? O_APPEND : O_TRUNC), 0644);
    if (fd_ < 0) Fail(TrMark("{1} に書けません: {2}"), path_, errno);
  }
  ~SyncedFile() {
    if (fd_ >= 0) ::close(fd_);
  }
  void Write(std::string_view bytes) {
    buffer_.append(bytes);
    if (buffer_.size() >= (1u << 20)) Flush();
  }
  void Close() {
    Flush();
    if (::fsync(fd_) != 0) Fail(TrMark("{1} をディスクに書き出せません: {2}"), path_, errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) Fail(TrMark("{1} を閉じられません: {2}"), path_, errno);
  }

 private:
  void Flush() {
    std::size_t done = 0;
    while (done < buffer_.size()) {
      const ssize_t n = ::write(fd_, buffer_.data() + done, buffer_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) Fail(TrMark("{1} に書けません: {2}"), path_, n < 0 ? errno : ENOSPC);
      done += static_cast<std::size_t>(n);
    }
    buffer_.clear();
  }
  fs::path path_;
  int fd_ = -1;
  std::string buffer_;
};

void SyncFolder(const fs::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) Fail(TrMark("{1} を開けません: {2}"), folder, errno);
  const int rc = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  if (rc != 0) Fail(TrMark("{1} をディスクに書き出せません: {2}"), folder, error);
}

// Bytes [from, to) of a file appended to an open synced file.
void CopyRange(const fs::path& source, std::uintmax_t from, std::uintmax_t to, SyncedFile& out) {
  std::ifstream in(source, std::ios::binary);
  if (!in) Fail(TrMark("{1} を読めません: {2}"), source, errno ? errno : EIO);
  in.seekg(static_cast<std::streamoff>(from));
  std::string buffer(1 << 20, '\0');
  for (std::uintmax_t left = to - from; left > 0;) {
    const auto n = static_cast<std::streamsize>(std::min<std::uintmax_t>(left, buffer.size()));
    in.read(buffer.data(), n);
    if (in.gcount() != n) Fail(TrMark("{1} を読めません: {2}"), source, EIO);
    out.Write(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    left -= static_cast<std::uintmax_t>(n);
  }
}

std::uintmax_t SizeOr0(const fs::path& path) {
  std::error_code ec;
  const auto size = fs::file_size(path, ec);
  return ec ? 0 : size;
}

// "yyyy/mm/dd hh:nn:ss" moved back by a number of hours (the clock's fields taken as they stand).
std::string HoursBefore(const std::string& dateTime, int hours) {
  int y = 0;
  unsigned mo = 0, d = 0, h = 0, mi = 0, s = 0;
  std::sscanf(dateTime.c_str(), "%d/%u/%u %u:%u:%u", &y, &mo, &d, &h, &mi, &s);
  using namespace std::chrono;
  const auto at = sys_days(year(y) / month(mo) / day(d)) + std::chrono::hours(h) + minutes(mi) + seconds(s) -
                  std::chrono::hours(hours);
  const auto dayPart = floor<days>(at);
  const year_month_day ymd(dayPart);
  const hh_mm_ss<seconds> tod(floor<seconds>(at - dayPart));
  char text[32];
  std::snprintf(text, sizeof text, "%04d/%02u/%02u %02ld:%02ld:%02ld", static_cast<int>(ymd.year()),
                static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                static_cast<long>(tod.hours().count()), static_cast<long>(tod.minutes().count()),
                static_cast<long>(tod.seconds().count()));
  return text;
}

// The date of an ERR.LOG start line ("0000--P114040 start--00000123  2026/12/08 09:00:00");
// empty for any other line.
std::string StartLineDate(std::string_view line) {
  static constexpr std::string_view kLead = "0000--", kMarker = " start--";
  if (line.substr(0, kLead.size()) != kLead) return {};
  auto at = line.find(kMarker, kLead.size());
  if (at == std::string_view::npos) return {};
  at += kMarker.size();
  const auto digits = at;
  while (at < line.size() && line[at] >= '0' && line[at] <= '9') ++at;
  if (at == digits) return {};
  while (at < line.size() && line[at] == ' ') ++at;
  if (line.size() < at + 10) return {};
  std::string date(line.substr(at, 10));
  if (date[4] != '/' || date[7] != '/') return {};
  return date;
}

// The offset of the first start line dated on or after the date within the first `size`
// bytes of the log; `size` when there is none (the whole log is older).
std::uintmax_t LogCut(const fs::path& log, std::uintmax_t size, const std::string& date) {
  std::ifstream in(log, std::ios::binary);
  if (!in) Fail(TrMark("{1} を読めません: {2}"), log, errno ? errno : EIO);
  std::uintmax_t offset = 0;
  std::string line;
  while (offset < size && std::getline(in, line)) {
    const std::string found = StartLineDate(line);
    if (!found.empty() && found >= date) return offset;
    offset += line.size() + 1;
  }
  return std::min(offset, size);
}

// The serial a backup file belongs to: its name begins with the serial's digits and "_".
std::optional<long long> FileSerial(const std::string& name) {
  std::size_t digits = 0;
  while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9') ++digits;
  if (digits == 0 || digits > 12 || digits >= name.size() || name[digits] != '_') return std::nullopt;
  return std::stoll(name.substr(0, digits));
}

std::string CsvField(const Value& value) {
  if (!value) return {};  // null: an empty unquoted field
  if (!value->empty() && value->find_first_of(",\"\r\n") == std::string::npos) return *value;
  std::string quoted = "\"";
  for (char c : *value) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// What a purge leaves to do once its deletion is committed; also the journal's content.
struct Journal {
  std::string markerSerial, markerDate, markerTime;  // empty serial: no run removed
  fs::path archiveTemp, archiveFinal;
  fs::path log, logNew;
  std::uintmax_t logCut = 0, logRead = 0;
  std::vector<fs::path> removeFiles;

  std::string Text() const {
    std::ostringstream out;
    out << kJournalHead << "\n";
    out << "marker\t" << markerSerial << "\t" << markerDate << "\t" << markerTime << "\n";
    if (!archiveTemp.empty()) out << "archive\t" << archiveTemp.string() << "\t" << archiveFinal.string() << "\n";
    if (!logNew.empty())
      out << "log\t" << log.string() << "\t" << logNew.string() << "\t" << logCut << "\t" << logRead << "\n";
    for (const auto& f : removeFiles) out << "remove\t" << f.string() << "\n";
    return out.str();
  }
  static Journal Parse(const std::string& text, const fs::path& path) {
    Journal j;
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kJournalHead) throw PurgeFault(TrArgs("削除の記録ではありません: {1}", {path.string()}));
    while (std::getline(in, line)) {
      std::vector<std::string> f;
      std::size_t start = 0;
      for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
        f.push_back(line.substr(start, tab - start));
      f.push_back(line.substr(start));
      if (f[0] == "marker" && f.size() == 4) {
        j.markerSerial = f[1], j.markerDate = f[2], j.markerTime = f[3];
      } else if (f[0] == "archive" && f.size() == 3) {
        j.archiveTemp = f[1], j.archiveFinal = f[2];
      } else if (f[0] == "log" && f.size() == 5) {
        j.log = f[1], j.logNew = f[2], j.logCut = std::stoull(f[3]), j.logRead = std::stoull(f[4]);
      } else if (f[0] == "remove" && f.size() == 2) {
        j.removeFiles.emplace_back(f[1]);
      } else {
        throw PurgeFault(TrArgs("削除の記録 {1} が壊れています: {2}", {path.string(), line}));
      }
    }
    return j;
  }
};

// One purge at a time per ERR.LOG: a second one would take the first one's journal for an
// interrupted purge. The lock goes with the process, also when it is killed.
class PurgeLock {
 public:
  explicit PurgeLock(const fs::path& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd_ < 0) Fail(TrMark("{1} を開けません: {2}"), path, errno);
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      ::close(fd_);
      fd_ = -1;
      throw PurgeFault(TrArgs("別の削除が実行中です ({1} がロックされています)", {path.string()}));
    }
  }
  ~PurgeLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  PurgeLock(const PurgeLock&) = delete;
  PurgeLock& operator=(const PurgeLock&) = delete;

 private:
  int fd_ = -1;
};

void Hook(const PurgeRequest& request, const char* step) {
  if (request.at) request.at(step);
}

// Step 4: the committed purge put in place. Each part can be done again after a crash.
void Finish(const Journal& j, const fs::path& journalPath, const PurgeRequest* request) {
  if (!j.archiveTemp.empty() && fs::exists(j.archiveTemp)) {
    platform::RenameOrThrow(j.archiveTemp, j.archiveFinal);
    SyncFolder(j.archiveFinal.parent_path());
  }
  if (request) Hook(*request, "archived");
  for (const auto& f : j.removeFiles) fs::remove(f);  // a file already gone is fine
  if (request) Hook(*request, "backups-removed");
  if (!j.logNew.empty() && fs::exists(j.logNew)) {
    // Lines a translation appended after the log was read are carried over; the new log is
    // first cut back to what the purge wrote, so a finish done twice carries them once.
    fs::resize_file(j.logNew, j.logRead - j.logCut);
    const std::uintmax_t now = SizeOr0(j.log);
    SyncedFile out(j.logNew, true);
    if (now > j.logRead) CopyRange(j.log, j.logRead, now, out);
    out.Close();
    platform::RenameOrThrow(j.logNew, j.log);
  }
  fs::remove(journalPath);
}

// Everything a purge wrote before its commit, removed again.
void Discard(const Journal& j, const fs::path& journalPath) {
  std::error_code ec;
  if (!j.archiveTemp.empty()) fs::remove_all(j.archiveTemp, ec);
  if (!j.logNew.empty()) fs::remove(j.logNew, ec);
  fs::remove(journalPath, ec);
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

fs::path PurgeJournalPath(const fs::path& errLog) { return fs::path(errLog.string() + ".purge"); }

std::string RecoverInterruptedPurge(Database& db, const fs::path& errLog) {
  const fs::path journalPath = PurgeJournalPath(errLog);
  if (!fs::exists(journalPath)) return {};
  const Journal j = Journal::Parse(ReadAll(journalPath), journalPath);
  bool committed = true;
  if (!j.markerSerial.empty()) {
    const auto rows = db.Query(
        "SELECT COUNT(*) FROM FL1102処理履歴ファイル WHERE 通番 = :1 AND 枝番 = 0"
        " AND COALESCE(処理開始日付, '') = :2 AND COALESCE(処理開始時刻, '') = :3",
        {std::stoll(j.markerSerial), j.markerDate, j.markerTime});
    committed = rows.front().at(0).value_or("0") == "0";
  }
  if (committed) {
    Finish(j, journalPath, nullptr);
    return Tr("中断された前回の削除を完了しました");
  }
  Discard(j, journalPath);
  return Tr("中断された前回の削除は何も削除していませんでした。その一時ファイルを削除しました");
}

PurgeReport PurgeHistory(Database& db, const PurgeRequest& request) {
  PurgeReport report;
  const fs::path journalPath = PurgeJournalPath(request.errLog);
  std::optional<PurgeLock> lock;
  try {
    lock.emplace(fs::path(request.errLog.string() + ".purge-lock"));
  } catch (const std::exception& e) {
    report.error = e.what();
    return report;
  }
  try {
    report.recovered = RecoverInterruptedPurge(db, request.errLog);
  } catch (const std::exception& e) {
    report.error = TrArgs("中断された前回の削除を片付けられません: {1}", {e.what()});
    return report;
  }

  const std::string now = request.now.empty() ? TodayYmd() + " " + NowHms() : request.now;
  // The runs to remove (alias r, branch 0): ended before the date, never open, never started
  // inside the retry window; a branch without an end (a resend of the run working now) keeps
  // the run too.
  // `ended` walks the index of runs; the open-branch test is added where the serials are
  // bounded (a page, or the one deletion), so that no page reads the whole table.
  std::string ended =
      "r.枝番 = 0 AND r.処理終了日付 IS NOT NULL AND r.処理終了日付 <> '' AND r.処理終了日付 <> ' '"
      " AND r.処理終了日付 < :1";
  std::vector<Param> base{request.beforeDate};
  std::string cutoff;
  if (request.retryWindowHours) {
    cutoff = HoursBefore(now, *request.retryWindowHours);
    ended += " AND r.処理開始日付 || ' ' || r.処理開始時刻 < :2";
    base.emplace_back(cutoff);
  }
  const std::string condition =
      ended + " AND NOT EXISTS (SELECT 1 FROM FL1102処理履歴ファイル o WHERE o.通番 = r.通番"
              " AND (o.処理終了日付 IS NULL OR o.処理終了日付 = '' OR o.処理終了日付 = ' '))";
  auto with = [&](std::vector<Param> more) {
    std::vector<Param> params = base;
    for (auto& p : more) params.push_back(std::move(p));
    return params;
  };
  const std::string next = ":" + std::to_string(base.size() + 1), after = ":" + std::to_string(base.size() + 2);

  Journal j;
  bool inTransaction = false;
  try {
    const char* open = "(r.処理終了日付 IS NULL OR r.処理終了日付 = '' OR r.処理終了日付 = ' ')";
    report.keptOpen = std::stoll(db.Query(std::string("SELECT COUNT(*) FROM FL1102処理履歴ファイル r WHERE r.枝番 = 0 AND ") +
                                              open + " AND r.処理開始日付 < :1",
                                          {request.beforeDate})
                                     .front()
                                     .at(0)
                                     .value_or("0"));
    if (!cutoff.empty())
      report.keptRetry = std::stoll(
          db.Query("SELECT COUNT(*) FROM FL1102処理履歴ファイル r WHERE r.枝番 = 0 AND r.処理終了日付 IS NOT NULL"
                   " AND r.処理終了日付 <> '' AND r.処理終了日付 <> ' ' AND r.処理終了日付 < :1"
                   " AND NOT (r.処理開始日付 || ' ' || r.処理開始時刻 < :2)",
                   {request.beforeDate, cutoff})
              .front()
              .at(0)
              .value_or("0"));

    db.Begin();
    inTransaction = true;
    // One snapshot for the archive and the deletion: what is archived is what is removed.
    if (db.engine() == DbEngine::Postgresql) db.Execute("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ");

    std::string stamp;
    for (char c : now)
      if (c >= '0' && c <= '9') stamp += c;
    if (!request.archiveFolder.empty()) {
      fs::create_directories(request.archiveFolder);
      j.archiveFinal = request.archiveFolder / ("purge-" + stamp.substr(0, 8) + "-" + stamp.substr(8));
      for (int n = 2; fs::exists(j.archiveFinal); ++n)
        j.archiveFinal = request.archiveFolder / ("purge-" + stamp.substr(0, 8) + "-" + stamp.substr(8) + "-" +
                                                  std::to_string(n));
      j.archiveTemp = request.archiveFolder / ("." + j.archiveFinal.filename().string() + ".tmp");
      fs::remove_all(j.archiveTemp);
      fs::create_directory(j.archiveTemp);
    }

    // The runs page by page (by serial), their rows into the archive.
    std::optional<SyncedFile> csv;
    if (!j.archiveTemp.empty()) {
      csv.emplace(j.archiveTemp / "FL1102処理履歴ファイル.csv");
      std::string header;
      for (int c = 0; c < kHistoryColumnCount; ++c) header += (c ? "," : "") + std::string(kHistoryColumns[c]);
      csv->Write(header + "\r\n");
    }
    std::string columns;
    for (int c = 0; c < kHistoryColumnCount; ++c) columns += (c ? ", b." : "b.") + std::string(kHistoryColumns[c]);
    std::vector<long long> serials;
    long long last = std::numeric_limits<std::int32_t>::min();  // below every serial (serials start at 1)
    for (;;) {
      const auto bounds = db.Query("SELECT r.通番 FROM FL1102処理履歴ファイル r WHERE " + ended + " AND r.通番 > " +
                                       next + " ORDER BY r.通番 LIMIT " + after,
                                   with({last, static_cast<long long>(kSerialPage)}));
      if (bounds.empty()) break;
      const long long low = std::stoll(*bounds.front().at(0));
      const long long high = std::stoll(*bounds.back().at(0));
      const auto page = db.Query("SELECT r.通番, r.処理開始日付, r.処理開始時刻 FROM FL1102処理履歴ファイル r WHERE " +
                                     condition + " AND r.通番 >= " + next + " AND r.通番 <= " + after +
                                     " ORDER BY r.通番",
                                 with({low, high}));
      for (const Row& row : page) serials.push_back(std::stoll(*row.at(0)));
      if (!page.empty()) {
        j.markerSerial = *page.back().at(0);
        j.markerDate = page.back().at(1).value_or("");
        j.markerTime = page.back().at(2).value_or("");
      }
      const std::string runs = "SELECT r.通番 FROM FL1102処理履歴ファイル r WHERE " + condition + " AND r.通番 >= " +
                               next + " AND r.通番 <= " + after;
      if (csv) {
        const auto rows = db.Query("SELECT " + columns + " FROM FL1102処理履歴ファイル b WHERE b.通番 IN (" + runs +
                                       ") ORDER BY b.通番, b.枝番",
                                   with({low, high}));
        for (const Row& row : rows) {
          std::string line;
          for (std::size_t c = 0; c < row.size(); ++c) line += (c ? "," : "") + CsvField(row.at(c));
          csv->Write(line + "\r\n");
        }
        report.rows += static_cast<long long>(rows.size());
      } else {
        report.rows += std::stoll(
            db.Query("SELECT COUNT(*) FROM FL1102処理履歴ファイル b WHERE b.通番 IN (" + runs + ")", with({low, high}))
                .front()
                .at(0)
                .value_or("0"));
      }
      last = high;
      if (request.stopRequested && request.stopRequested()) throw PurgeFault("stopped");
    }
    if (csv) csv->Close();
    report.runs = static_cast<long long>(serials.size());

    // ERR.LOG: everything before the first start line dated on or after the date goes.
    if (fs::exists(request.errLog)) {
      const std::uintmax_t size = SizeOr0(request.errLog);
      const std::uintmax_t cut = LogCut(request.errLog, size, request.beforeDate);
      if (cut > 0) {
        if (!j.archiveTemp.empty()) {
          SyncedFile old(j.archiveTemp / request.errLog.filename());
          CopyRange(request.errLog, 0, cut, old);
          old.Close();
        }
        j.log = request.errLog;
        j.logNew = fs::path(request.errLog.string() + ".purge-new");
        j.logCut = cut;
        j.logRead = size;
        SyncedFile kept(j.logNew);
        CopyRange(request.errLog, cut, size, kept);
        kept.Close();
        report.logBytes = static_cast<long long>(cut);
      }
    }

    // The backup folder's files of the removed serials: linked (or copied) into the archive.
    std::sort(serials.begin(), serials.end());
    if (!request.backupFolder.empty() && !serials.empty()) {
      const fs::path folder = PrefixFolder(request.backupFolder);
      const fs::path target = j.archiveTemp.empty() ? fs::path() : j.archiveTemp / folder.filename();
      if (fs::is_directory(folder)) {
        if (!target.empty()) fs::create_directory(target);
        for (const auto& entry : fs::directory_iterator(folder)) {
          const std::string name = entry.path().filename().string();
          const auto serial = FileSerial(name);
          if (!serial || !std::binary_search(serials.begin(), serials.end(), *serial)) continue;
          if (entry.is_directory() || name.find_first_of("\t\n") != std::string::npos) continue;
          if (!target.empty()) {
            if (platform::MakeHardLink(entry.path(), target / name) != 0) {
              if (entry.is_symlink()) {
                fs::copy_symlink(entry.path(), target / name);
              } else {
                SyncedFile copy(target / name);
                CopyRange(entry.path(), 0, SizeOr0(entry.path()), copy);
                copy.Close();
              }
            }
          }
          j.removeFiles.push_back(entry.path());
        }
        if (!target.empty()) SyncFolder(target);
      }
      report.backupFiles = static_cast<long long>(j.removeFiles.size());
    }
    if (!j.archiveTemp.empty()) SyncFolder(j.archiveTemp);

    if (auto fault = WriteFileWhole(journalPath, j.Text())) throw PurgeFault(fault->text);
    Hook(request, "prepared");
    if (request.stopRequested && request.stopRequested()) throw PurgeFault("stopped");

    db.Execute("DELETE FROM FL1102処理履歴ファイル WHERE 通番 IN (SELECT r.通番 FROM FL1102処理履歴ファイル r WHERE " +
                   condition + ")",
               base);
    db.Commit();
    inTransaction = false;
  } catch (const std::exception& e) {
    if (inTransaction) {
      try {
        db.Rollback();
      } catch (const std::exception&) {
        // The connection is gone: nothing was committed either.
      }
    }
    Discard(j, journalPath);
    PurgeReport failed;
    failed.error = e.what();
    failed.recovered = report.recovered;
    return failed;
  }

  report.committed = true;
  Hook(request, "committed");
  report.archive = j.archiveFinal;
  try {
    Finish(j, journalPath, &request);
  } catch (const std::exception& e) {
    report.error = TrArgs("実行は削除しましたが、削除を完了できません ({1})。もう一度削除を実行すると完了します", {e.what()});
    return report;
  }
  report.ok = true;
  return report;
}

}  // namespace edi::run
