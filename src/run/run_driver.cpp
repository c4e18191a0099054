#include "run/run_driver.h"

#include <map>
#include <memory>
#include <mutex>

#include "app/text.h"
#include "cii/translator.h"
#include "run/backup.h"
#include "run/conversion_dispatch.h"
#include "run/history.h"
#include "run/package_handoff.h"
#include "run/run_context.h"
#include "run/send_dispatch.h"

namespace edi::run {

struct RunDriver::Impl {
  Workstation& ws;
  RunListener& listener;
  std::unique_ptr<cii::Translator> translator;  // made at the first run: the database is open then
  std::map<int, std::int32_t> serials;           // row → serial of its run
  mutable std::mutex serialsMutex;               // the window reads while the run writes

  cii::Translator& Translator() {
    if (!translator) translator = std::make_unique<cii::Translator>(*ws.db, ws.errLogPath);
    return *translator;
  }

  // Writes a status text into the current row and tells the listener.
  void Status(int column, const std::string& text) {
    const int row = ws.centers.currentRow();
    ws.centers.SetStatus(row, column, text);
    static const char* titles[] = {"", "", "", "", "データ抽出", "変換", "送信"};
    listener.Log(ws.centers.at(row).centerCode + " " + titles[column] + ": " + text);
  }
};

RunDriver::RunDriver(Workstation& ws, RunListener& listener) : impl_(new Impl{ws, listener, nullptr, {}, {}}) {}
RunDriver::~RunDriver() { delete impl_; }

void RunDriver::SetRowState(std::int16_t state) { impl_->ws.centers.SetRowState(impl_->ws.centers.currentRow(), state); }

std::int32_t RunDriver::SerialOf(int row) const {
  std::lock_guard lock(impl_->serialsMutex);
  auto it = impl_->serials.find(row);
  return it == impl_->serials.end() ? 0 : it->second;
}

void RunDriver::RunMarkedCenters(int buttonIndex) {
  if (buttonIndex != 0) return;
  auto& rows = impl_->ws.centers;
  impl_->listener.PassStarted();
  for (int i = 0; i < rows.count(); ++i) {
    const CenterRow row = rows.at(i);
    if (!row.marked || row.rowState != kRowNormal) continue;
    rows.setCurrentRow(i);
    impl_->listener.CenterStarted(i);
    RunCenter();
    impl_->listener.CenterFinished(i);
  }
  impl_->listener.PassFinished();
}

void RunDriver::RunCenter() {
  Impl& d = *impl_;
  const int row = d.ws.centers.currentRow();
  const std::string center = d.ws.centers.at(row).centerCode;
  RunContext ctx{d.ws, d.listener, d.Translator()};
  SetRowState(kRowProcessing);

  HistoryStartRecord start;
  start.direction = "S";
  start.partnerKind = "2";
  start.workKind = kWorkRun;
  start.centerCode = center;
  StartRunHistory(ctx.db(), start);
  const bool haveSerial = start.result == "0000";
  {
    std::lock_guard lock(d.serialsMutex);
    d.serials[row] = start.serial;
  }
  std::string endCode;
  std::vector<std::string> leftBehind;  // results of failed conversions that could not be taken back

  if (!haveSerial) {
    d.Status(kColExtract, "通番ｴﾗｰ");
    SetRowState(kRowError);
    endCode = start.result;
  } else if (!IsSafeCenterCode(center)) {
    // A code that could lead file names out of the configured folders: no step runs.
    d.listener.Log(center + ": センターコードがファイル名に使えません");
    d.Status(kColExtract, "抽出ｴﾗｰ");
    SetRowState(kRowError);
    endCode = "9999";
  } else {
    d.listener.Log(center + ": 通番 " + SerialField(start.serial) +
                   (start.attempts > 1 ? " (" + std::to_string(start.attempts) + "回目で採番)" : ""));
    d.Status(kColExtract, "抽出中");
    std::string code = ExtractViaPackage(ctx, center, start.serial);
    if (!IsZeroCode(code)) {
      d.Status(kColExtract, "抽出ｴﾗｰ");
      SetRowState(kRowError);
      endCode = code;
    } else {
      d.Status(kColExtract, "OK");
      d.Status(kColConvert, "変換中");
      code = ConvertSendFiles(ctx, center, start.serial, &leftBehind);
      if (code != "0000") {
        d.Status(kColConvert, "変換ｴﾗｰ");
        SetRowState(kRowError);
        endCode = code;
      } else {
        d.Status(kColConvert, "OK");
        d.Status(kColSend, "送信中");
        code = SendCenterFiles(ctx, center, start.serial);
        if (IsZeroCode(code)) {
          d.Status(kColSend, "OK");
          endCode = "0000";
        } else {
          d.Status(kColSend, "送信ｴﾗｰ");
          SetRowState(kRowError);
          endCode = code;
        }
      }
    }
  }

  if (start.serial != 0) {
    for (const auto& fault : BackupRunFiles(ctx.paths(), start.serial, 1, leftBehind))
      d.listener.Log(center + ": バックアップに失敗しました: " + fault);
  }
  if (d.ws.centers.at(row).rowState != kRowError) SetRowState(kRowProcessed);

  // After "通番ｴﾗｰ" the pair (serial, 0) is not this run's row: leave it alone.
  if (haveSerial) {
    HistoryRecord rec;
    rec.serial = start.serial;
    rec.branch = 0;
    rec.endCode = endCode;
    rec.detailCode = " ";
    FinishHistoryRecord(ctx.db(), rec);
  }
  d.listener.Log(center + ": 終了コード " + endCode);
}

}  // namespace edi::run
