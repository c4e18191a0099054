#include "run/history.h"

#include <limits>
#include <vector>

#include "app/database.h"
#include "app/text.h"

namespace edi::run {
namespace {

constexpr const char* kFail = "9999";
// More serials in a row taken by files than this is no history restored from a copy but a
// folder that no run should share: the run fails instead of searching on.
constexpr int kMaxSkippedSerials = 100000;

const char* kInsertSql =
    "INSERT INTO FL1102処理履歴ファイル"
    " ( 通番 ,枝番 ,送受信種別 ,相手先種別 ,処理種別 ,処理開始日付 ,処理開始時刻 ,センターコード )"
    " VALUES ( :1 ,:2 ,:3 ,:4 ,:5 ,:6 ,:7 ,:8 )";

void InsertRow(Database& db, long long serial, long long branch, const std::string& direction,
               const std::string& partnerKind, const std::string& workKind, const std::string& centerCode) {
  db.Execute(kInsertSql, {serial, branch, direction, partnerKind, workKind, TodayYmd(), NowHms(), centerCode});
}

// The highest value of the first column of the statement's result, or 0 when it has none.
long long HighestValue(Database& db, const std::string& sql, const std::vector<Param>& params) {
  auto rows = db.Query(sql, params);
  if (rows.empty() || rows.front().size() == 0 || !rows.front().at(0)) return 0;
  return std::stoll(*rows.front().at(0));
}

std::string OrSpace(const std::string& text) { return text.empty() ? " " : text; }
std::string OrZeroCode(const std::string& text) { return text.empty() ? "0000" : text; }

}  // namespace

HistoryBranchRecord MakeHistoryBranch(std::int32_t serial, const std::string& workKind, const std::string& centerCode,
                                      const std::string& partnerKind) {
  HistoryBranchRecord branch;
  branch.serial = serial;
  branch.direction = "S";
  branch.partnerKind = partnerKind;
  branch.workKind = workKind;
  branch.centerCode = centerCode;
  return branch;
}

namespace {
// The serial after the highest stored one, past the serials that serialTaken names; 0 when
// none is left. Throws DatabaseError.
std::int32_t NextFreeSerial(Database& db, const std::function<bool(std::int32_t)>& serialTaken, int* skipped) {
  long long next = HighestValue(db, "SELECT MAX(通番) FROM FL1102処理履歴ファイル", {}) + 1;
  // Past every serial that is taken outside the table (at most a bounded number of them).
  for (int skips = 0; serialTaken && next <= std::numeric_limits<std::int32_t>::max() &&
                      serialTaken(static_cast<std::int32_t>(next));
       ++skips) {
    if (skips >= kMaxSkippedSerials) return 0;
    ++next;
    if (skipped) ++*skipped;
  }
  return next > std::numeric_limits<std::int32_t>::max() ? 0 : static_cast<std::int32_t>(next);
}
}  // namespace

void StartRunHistory(Database& db, HistoryStartRecord& rec) {
  rec.result = kFail;
  rec.attempts = 0;
  rec.skipped = 0;
  for (int attempt = 0; attempt < kSerialAttempts; ++attempt) {
    ++rec.attempts;
    try {
      const std::int32_t next = NextFreeSerial(db, rec.serialTaken, &rec.skipped);
      if (next == 0) return;
      rec.serial = next;
      InsertRow(db, rec.serial, 0, rec.direction, rec.partnerKind, rec.workKind, rec.centerCode);
      rec.result = "0000";
      return;
    } catch (const DatabaseError& e) {
      // Another workstation took this serial between our read and our insert: read again.
      if (!e.uniqueViolation) return;
    } catch (const std::exception&) {
      return;
    }
  }
}

void PeekRunSerial(Database& db, HistoryStartRecord& rec) {
  rec.result = kFail;
  rec.attempts = 1;
  rec.skipped = 0;
  try {
    rec.serial = NextFreeSerial(db, rec.serialTaken, &rec.skipped);
    if (rec.serial != 0) rec.result = "0000";
  } catch (const std::exception&) {
  }
}

void AddHistoryBranch(Database& db, HistoryBranchRecord& rec) {
  rec.result = kFail;
  if (rec.serial == 0) return;
  try {
    long long highest =
        HighestValue(db, "SELECT MAX(枝番) FROM FL1102処理履歴ファイル WHERE 通番 = :1", {static_cast<long long>(rec.serial)});
    if (highest + 1 > std::numeric_limits<std::int16_t>::max()) return;
    rec.branch = static_cast<std::int16_t>(highest + 1);
    InsertRow(db, rec.serial, rec.branch, OrSpace(rec.direction), OrSpace(rec.partnerKind), OrSpace(rec.workKind),
              rec.centerCode);
    rec.result = "0000";
  } catch (const std::exception&) {
  }
}

void FinishHistoryRecord(Database& db, HistoryRecord& rec) {
  rec.result = kFail;
  if (rec.serial == 0) return;
  rec.partnerCompany = OrSpace(rec.partnerCompany);
  rec.bpid = OrSpace(rec.bpid);
  rec.infoCategory = OrSpace(rec.infoCategory);
  rec.storageMode = OrSpace(rec.storageMode);
  rec.fileName = OrSpace(rec.fileName);
  rec.endCode = OrZeroCode(rec.endCode);
  rec.detailCode = OrZeroCode(rec.detailCode);
  try {
    const long long serial = rec.serial, branch = rec.branch;
    auto rows = db.Query("SELECT 通番 FROM FL1102処理履歴ファイル WHERE 通番 = :1 AND 枝番 = :2", {serial, branch});
    if (rows.empty()) return;
    db.Execute(
        "UPDATE FL1102処理履歴ファイル SET 処理終了日付 = :1 ,処理終了時刻 = :2 ,相手先企業コード = :3 ,BPID = :4"
        " ,取引情報区分 = :5 ,最終シーケンス番号 = :6 ,入力レコード数 = :7 ,入力ファイルサイズ = :8"
        " ,出力レコード数 = :9 ,出力ファイルサイズ = :10 ,格納モード = :11 ,終了コード = :12 ,詳細コード = :13"
        " ,ファイル名 = :14 WHERE 通番 = :15 AND 枝番 = :16",
        {TodayYmd(), NowHms(), rec.partnerCompany, rec.bpid, rec.infoCategory, static_cast<long long>(rec.lastSequence),
         static_cast<long long>(rec.inputRecords), static_cast<long long>(rec.inputFileSize),
         static_cast<long long>(rec.outputRecords), static_cast<long long>(rec.outputFileSize), rec.storageMode,
         rec.endCode, rec.detailCode, rec.fileName, serial, branch});
    rec.result = "0000";
  } catch (const std::exception&) {
  }
}

std::vector<OpenRun> FindOpenRuns(Database& db) {
  std::vector<OpenRun> runs;
  for (const auto& row : db.Query("SELECT 通番, センターコード, 処理開始日付, 処理開始時刻 FROM FL1102処理履歴ファイル"
                                  " WHERE 枝番 = 0 AND 処理終了日付 IS NULL ORDER BY 通番")) {
    OpenRun run;
    run.serial = static_cast<std::int32_t>(row.Int("通番"));
    run.centerCode = row.Text("センターコード");
    run.startDate = row.Text("処理開始日付");
    run.startTime = row.Text("処理開始時刻");
    runs.push_back(run);
  }
  return runs;
}

}  // namespace edi::run
