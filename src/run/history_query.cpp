#include "run/history_query.h"

#include <cctype>
#include <charconv>
#include <chrono>
#include <fstream>

#include "app/database.h"
#include "app/text.h"
#include "cii/translation_log.h"
#include "run/err_log_index.h"
#include "run/history.h"

namespace edi::run {
namespace {

// The run's columns, then how often it was sent and the latest send's code (":1" is the
// sending kind); these two are worked out only for the rows a page shows.
const char* kRunColumns =
    "h.通番, h.センターコード, c.センター名, h.処理開始日付, h.処理開始時刻, h.処理終了日付, h.処理終了時刻,"
    " h.終了コード,"
    " (SELECT COUNT(*) FROM FL1102処理履歴ファイル s WHERE s.通番 = h.通番 AND s.処理種別 = :1) AS 送信回数,"
    " (SELECT s.終了コード FROM FL1102処理履歴ファイル s WHERE s.通番 = h.通番 AND s.処理種別 = :1"
    " ORDER BY s.枝番 DESC LIMIT 1) AS 最終送信コード,"
    " (SELECT COUNT(*) FROM FL1102処理履歴ファイル s WHERE s.通番 = h.通番 AND s.処理種別 = :1"
    " AND s.終了コード = '0000') AS 成功送信回数,"
    " CASE WHEN h.終了コード <> '0000' AND ";
// A failed run whose result was sent successfully after the run had ended (a resend): a run
// writes at most one sending branch of its own, as its last step, so every later one is a
// resend; one that started after the run's end is a resend too (a run stopped before it sent).
const char* kResentOk =
    "EXISTS (SELECT 1 FROM FL1102処理履歴ファイル s WHERE s.通番 = h.通番 AND s.処理種別 = :1"
    " AND s.終了コード = '0000' AND (s.枝番 > (SELECT MIN(t.枝番) FROM FL1102処理履歴ファイル t"
    " WHERE t.通番 = h.通番 AND t.処理種別 = :1) OR s.処理開始日付 > h.処理終了日付"
    " OR (s.処理開始日付 = h.処理終了日付 AND s.処理開始時刻 > h.処理終了時刻)))";
const char* kResolvedEnd = " THEN 1 ELSE 0 END AS 再送信済";

// Branch 0 rows with the center's name. `枝番 = 0` stays a constant of the text, so the
// index on (枝番, 通番, …) serves the newest-first walk.
const char* kRunFrom =
    " FROM FL1102処理履歴ファイル h LEFT JOIN FL1903EDI制御マスタ c ON c.センターコード = h.センターコード"
    " WHERE h.枝番 = 0";

RunSummary ToRun(const Row& row) {
  RunSummary run;
  run.serial = static_cast<std::int32_t>(row.Int("通番"));
  run.centerCode = row.Text("センターコード");
  run.centerName = row.Text("センター名");
  run.startDate = row.Text("処理開始日付");
  run.startTime = row.Text("処理開始時刻");
  run.endDate = TrimSpaces(row.Text("処理終了日付"));
  run.endTime = row.Text("処理終了時刻");
  run.endCode = row.Text("終了コード");
  run.sends = static_cast<int>(row.Int("送信回数"));
  run.lastSendCode = TrimSpaces(row.Text("最終送信コード"));
  run.successfulSends = static_cast<int>(row.Int("成功送信回数"));
  run.resolved = !run.open() && row.Int("再送信済") != 0;
  return run;
}

std::string RunSelect() { return std::string("SELECT ") + kRunColumns + kResentOk + kResolvedEnd + kRunFrom; }

// The next placeholder ":n" for a statement that already holds params.size() values.
std::string Next(std::vector<Param>& params, Param value) {
  params.push_back(std::move(value));
  return ":" + std::to_string(params.size());
}

int ToInt(std::string_view digits) {
  int value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value);
  return value;
}

}  // namespace

std::vector<RunSummary> QueryRuns(Database& db, const HistoryFilter& filter, std::optional<std::int32_t> belowSerial,
                                  int limit) {
  std::vector<Param> params{std::string(kWorkSend)};
  std::string sql = RunSelect();
  if (belowSerial) sql += " AND h.通番 < " + Next(params, static_cast<long long>(*belowSerial));
  if (!filter.fromDate.empty()) sql += " AND h.処理開始日付 >= " + Next(params, filter.fromDate);
  if (!filter.toDate.empty()) sql += " AND h.処理開始日付 <= " + Next(params, filter.toDate);
  if (!filter.centerCode.empty()) sql += " AND h.センターコード = " + Next(params, filter.centerCode);
  // Open: the run itself, or any of its branches (a resend stopped by a kill, say).
  if (filter.openOnly)
    sql += " AND EXISTS (SELECT 1 FROM FL1102処理履歴ファイル o WHERE o.通番 = h.通番"
           " AND (o.処理終了日付 IS NULL OR o.処理終了日付 = '' OR o.処理終了日付 = ' '))";
  if (filter.failedOnly)
    sql += " AND h.処理終了日付 IS NOT NULL AND h.処理終了日付 <> '' AND h.処理終了日付 <> ' '"
           " AND (h.終了コード IS NULL OR h.終了コード <> '0000')";
  if (filter.failedOnly && !filter.includeResolved) sql += std::string(" AND NOT ") + kResentOk;
  sql += " ORDER BY h.通番 DESC LIMIT " + Next(params, static_cast<long long>(limit > 0 ? limit : kRunPageSize));

  std::vector<RunSummary> runs;
  for (const Row& row : db.Query(sql, params)) runs.push_back(ToRun(row));
  return runs;
}

std::optional<RunSummary> QueryRun(Database& db, std::int32_t serial) {
  auto rows = db.Query(RunSelect() + " AND h.通番 = :2",
                       {std::string(kWorkSend), static_cast<long long>(serial)});
  if (rows.empty()) return std::nullopt;
  return ToRun(rows.front());
}

std::vector<std::pair<std::string, std::string>> QueryCenterNames(Database& db) {
  std::vector<std::pair<std::string, std::string>> centers;
  for (const Row& row : db.Query("SELECT センターコード, センター名 FROM FL1903EDI制御マスタ ORDER BY センターコード"))
    centers.emplace_back(row.Text("センターコード"), row.Text("センター名"));
  return centers;
}

std::string BuiltInWorkKindName(std::string_view workKind) {
  if (workKind == kWorkRun) return "処理全体";
  if (workKind == kWorkExtract) return "データ抽出";
  if (workKind == kWorkConvertCii) return "変換（CII）";
  if (workKind == kWorkConvertOther) return "変換";
  if (workKind == kWorkConvertXml) return "変換（XML）";
  if (workKind == kWorkSend) return "送信";
  return {};
}

std::vector<BranchDetail> QueryBranches(Database& db, std::int32_t serial) {
  auto rows = db.Query(
      "SELECT h.通番, h.枝番, h.送受信種別, h.相手先種別, h.処理種別, h.センターコード, k.区分名称, h.相手先企業コード, h.取引情報区分, h.BPID, h.格納モード,"
      " h.入力レコード数, h.出力レコード数, h.処理開始日付, h.処理開始時刻, h.処理終了日付, h.処理終了時刻,"
      " h.終了コード, h.詳細コード, h.ファイル名"
      " FROM FL1102処理履歴ファイル h LEFT JOIN 区分マスタ k ON k.区分 = :1 AND k.区分ｺｰﾄﾞ = h.処理種別"
      " WHERE h.通番 = :2 ORDER BY h.枝番",
      {std::string(kWorkKindCategory), static_cast<long long>(serial)});
  std::vector<BranchDetail> branches;
  for (const Row& row : rows) {
    BranchDetail b;
    b.serial = static_cast<std::int32_t>(row.Int("通番"));
    b.branch = static_cast<std::int16_t>(row.Int("枝番"));
    b.direction = row.Text("送受信種別");
    b.partnerKind = row.Text("相手先種別");
    b.workKind = row.Text("処理種別");
    b.centerCode = row.Text("センターコード");
    b.workKindName = TrimSpaces(row.Text("区分名称"));
    if (b.workKindName.empty()) b.workKindName = BuiltInWorkKindName(b.workKind);
    b.partnerCompany = TrimSpaces(row.Text("相手先企業コード"));
    b.infoCategory = TrimSpaces(row.Text("取引情報区分"));
    b.bpid = TrimSpaces(row.Text("BPID"));
    b.storageMode = TrimSpaces(row.Text("格納モード"));
    b.inputRecords = row.Text("入力レコード数");
    b.outputRecords = row.Text("出力レコード数");
    b.startDate = row.Text("処理開始日付");
    b.startTime = row.Text("処理開始時刻");
    b.endDate = TrimSpaces(row.Text("処理終了日付"));
    b.endTime = row.Text("処理終了時刻");
    b.endCode = row.Text("終了コード");
    b.detailCode = row.Text("詳細コード");
    b.fileName = TrimSpaces(row.Text("ファイル名"));
    branches.push_back(std::move(b));
  }
  return branches;
}

std::vector<std::string> ErrLogLines(const std::filesystem::path& errLog, std::int32_t serial) {
  ErrLogIndex index(errLog);
  index.Update();
  return index.LinesOf(serial, ErrLogIndex::Limits{}).lines;
}

std::optional<std::string> NormalizeHistoryDate(std::string_view text) {
  std::string t = TrimSpaces(text);
  std::string_view y, m, d;
  std::string_view v(t);
  if (v.size() == 8 && AllDigits(v)) {
    y = v.substr(0, 4), m = v.substr(4, 2), d = v.substr(6, 2);
  } else if (v.size() == 10 && (v[4] == '/' || v[4] == '-') && v[7] == v[4]) {
    y = v.substr(0, 4), m = v.substr(5, 2), d = v.substr(8, 2);
  } else {
    return std::nullopt;
  }
  if (!AllDigits(y) || !AllDigits(m) || !AllDigits(d)) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year(ToInt(y)), std::chrono::month(ToInt(m)),
                                         std::chrono::day(ToInt(d))};
  if (!date.ok()) return std::nullopt;
  return std::string(y) + "/" + std::string(m) + "/" + std::string(d);
}

}  // namespace edi::run
