#include "run/run_close.h"

#include "app/catalogue.h"
#include "app/database.h"
#include "app/text.h"
#include "cii/translation_log.h"
#include "run/run_stop.h"

namespace edi::run {

CloseOutcome CloseAbandonedRun(Database& db, std::int32_t serial, const std::filesystem::path& errLog) {
  CloseOutcome outcome;
  const std::string run = SerialField(serial);
  try {
    const auto rows = db.Query(
        "SELECT 枝番, 処理終了日付 FROM FL1102処理履歴ファイル WHERE 通番 = :1 ORDER BY 枝番",
        {static_cast<long long>(serial)});
    const Row* runRow = nullptr;
    for (const auto& r : rows)
      if (r.Int("枝番") == 0) runRow = &r;
    if (!runRow) {
      outcome.message = TrArgs("通番 {1} の実行はありません", {run});
      return outcome;
    }
    if (runRow->Get("処理終了日付")) {
      outcome.message = TrArgs("通番 {1} の実行は終了しています", {run});
      return outcome;
    }
    // Branches first, branch 0 last, as a run closes them; a row that another program closed
    // in the meantime keeps its own end.
    const std::string date = TodayYmd(), time = NowHms();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
      if (it->Get("処理終了日付")) continue;
      db.Execute(
          "UPDATE FL1102処理履歴ファイル SET 処理終了日付 = :1 ,処理終了時刻 = :2 ,終了コード = :3 ,詳細コード = :4"
          " WHERE 通番 = :5 AND 枝番 = :6 AND 処理終了日付 IS NULL",
          {date, time, std::string(kStoppedCode), std::string(kClosedByHandDetail), static_cast<long long>(serial),
           it->Int("枝番")});
      ++outcome.rows;
    }
  } catch (const std::exception& e) {
    outcome.message = TrArgs("通番 {1} を閉じられません: {2}", {run, e.what()});
    return outcome;
  }
  outcome.closed = true;
  outcome.message = TrArgs("通番 {1} の実行を中断として閉じました (終了コード {2}/{3})",
                           {run, kStoppedCode, kClosedByHandDetail});
  if (!errLog.empty())
    cii::AppendFaultLine(errLog, kStoppedCode, serial, "処理全体", "", "終了していない実行を手動で閉じました");
  return outcome;
}

}  // namespace edi::run
