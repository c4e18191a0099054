// Searching the processing history: the runs (branch 0 rows of FL1102処理履歴ファイル)
// newest first under a filter, one page at a time; the branches of one run; and the lines
// that the translators wrote into ERR.LOG for a run's serial. `edi history` and the history
// window edi-history both read the history through this module.
//
// Pages are cut by serial (keyset): the next page starts below the last serial shown, so a
// page costs the same at the top of a history of a million rows as at its end.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace edi {
class Database;
}

namespace edi::run {

struct HistoryFilter {
  std::string fromDate;    // "yyyy/mm/dd": runs started on or after it; empty: no lower bound
  std::string toDate;      // "yyyy/mm/dd": runs started on or before it; empty: no upper bound
  std::string centerCode;  // empty: every center
  bool failedOnly = false; // only runs that ended with an end code other than "0000"
  bool openOnly = false;   // only runs with a row without an end (the run or one of its branches:
                           // running now, or left open by a crash or a kill)
  bool includeResolved = true;  // with failedOnly: also failed runs whose result a resend later sent
};

// One run: its branch 0 row, with the center's name from FL1903EDI制御マスタ.
struct RunSummary {
  std::int32_t serial = 0;
  std::string centerCode;
  std::string centerName;  // empty when the center is no longer in the master
  std::string startDate, startTime;
  std::string endDate, endTime;  // empty while the run is open
  std::string endCode;
  int sends = 0;             // sending branches ("20"): the run's own send and every resend
  std::string lastSendCode;  // end code of the latest of them; empty when none (or still open)
  int successfulSends = 0;   // how many of them ended "0000"
  bool resolved = false;     // failed, but its result was sent successfully by a later resend

  bool open() const { return endDate.empty(); }
  bool failed() const { return !open() && endCode != "0000"; }
};

// One branch of a run (branch 0 included).
struct BranchDetail {
  std::int32_t serial = 0;
  std::int16_t branch = 0;
  std::string direction;      // 送受信種別
  std::string partnerKind;    // 相手先種別
  std::string workKind;       // 処理種別
  std::string centerCode;
  std::string workKindName;   // its name from 区分マスタ (category 処理種別), else the built-in one
  std::string partnerCompany; // 相手先企業コード
  std::string infoCategory;   // 取引情報区分
  std::string bpid;
  std::string storageMode;    // 格納モード
  std::string inputRecords, outputRecords;  // as stored (empty while the branch is open)
  std::string startDate, startTime, endDate, endTime;
  std::string endCode, detailCode;
  std::string fileName;
};

// The 区分マスタ category whose codes name the 処理種別 values.
inline constexpr const char* kWorkKindCategory = "処理種別";

// How many runs a page holds unless the caller asks for another size.
inline constexpr int kRunPageSize = 200;

// The runs under the filter, newest (highest serial) first: at most `limit`, and only serials
// below `belowSerial` when given (the next page after a page ending with that serial).
// Throws DatabaseError.
std::vector<RunSummary> QueryRuns(Database& db, const HistoryFilter& filter,
                                  std::optional<std::int32_t> belowSerial = std::nullopt, int limit = kRunPageSize);

// The run of one serial (its branch 0), or nullopt. Throws DatabaseError.
std::optional<RunSummary> QueryRun(Database& db, std::int32_t serial);

// Every branch of the serial in branch order. Throws DatabaseError.
std::vector<BranchDetail> QueryBranches(Database& db, std::int32_t serial);

// Every center of FL1903EDI制御マスタ (of any terminal: the history holds them all) as
// (code, name), by code; for a filter's choice of centers. Throws DatabaseError.
std::vector<std::pair<std::string, std::string>> QueryCenterNames(Database& db);

// The built-in name of a 処理種別 value this system writes ("04" run, "42" extraction …);
// empty for any other value.
std::string BuiltInWorkKindName(std::string_view workKind);

// The lines of ERR.LOG that belong to the serial: each part that begins with a start line of
// the serial ("0000--P114040 start--00000123  …", any translator's start line) or a fault line
// of a failed step ("5100--P740150 fault--00000123  …") and runs up to the next such line of
// any serial. Lines come back as UTF-8 without their line end, within ErrLogIndex's default
// limits; a missing or unreadable log gives no line. (The history window keeps an ErrLogIndex
// instead, so that it reads only what the log gained.)
std::vector<std::string> ErrLogLines(const std::filesystem::path& errLog, std::int32_t serial);

// A date as the operator or a script types it ("2026/12/08", "2026-12-08", "20261208") in the
// stored form "yyyy/mm/dd"; nullopt when it is no valid calendar date.
std::optional<std::string> NormalizeHistoryDate(std::string_view text);

}  // namespace edi::run
