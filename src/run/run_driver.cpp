#include "run/run_driver.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

#include "app/catalogue.h"
#include "app/text.h"
#include "cii/translator.h"
#include "app/settings.h"
#include "app/unattended_settings.h"
#include "run/alert.h"
#include "run/history_query.h"
#include "run/retry.h"
#include "run/backup.h"
#include "run/center_lock.h"
#include "run/conversion_dispatch.h"
#include "run/dry_run.h"
#include "run/history.h"
#include "run/package_handoff.h"
#include "run/run_context.h"
#include "run/send_dispatch.h"

namespace edi::run {
namespace {
// The status text of a step that failed for some of its units while others went on.
constexpr const char* kIncomplete = "一部ｴﾗｰ";

// A dry run's listener: every line the run writes, the mail transfer's included, carries the
// test mark; the rest goes to the listener of the shell.
class TestMarkListener : public RunListener, public mail::MailProgress {
 public:
  explicit TestMarkListener(RunListener& inner) : inner_(inner) {}
  void Log(const std::string& line) override { inner_.Log(std::string(DryRunMark()) + " " + line); }
  mail::MailProgress& mailProgress() override { return *this; }
  void Open() override { inner_.mailProgress().Open(); }
  void AddLine(const std::string& line) override {
    inner_.mailProgress().AddLine(std::string(DryRunMark()) + " " + line);
  }
  void ShowError(const std::string& text) override {
    inner_.mailProgress().ShowError(std::string(DryRunMark()) + " " + text);
  }
  void Close() override { inner_.mailProgress().Close(); }
  bool StopRequested() const override { return inner_.mailProgress().StopRequested(); }

 private:
  RunListener& inner_;
};
}  // namespace

struct RunDriver::Impl {
  Workstation& ws;
  RunListener& listener;
  std::unique_ptr<cii::Translator> translator;  // made at the first run: the database is open then
  RunStop* stop;                                 // a stop asked from outside, or none
  std::map<int, std::int32_t> serials;           // row → serial of its run
  std::set<int> skipped;                         // rows not run: another run held the center
  std::unique_ptr<CenterLock> lock;              // made at the first run, like the translator
  std::optional<UnattendedSettings> unattended;  // sections RETRY and ALERT, read at the first run
  mutable std::mutex serialsMutex;               // the window reads while the run writes
  std::optional<std::filesystem::path> dryRoot;  // a dry run's test folder; none for a real run
  RunListener* lines = &listener;                // where the run's lines go (marked in a dry run)

  cii::Translator& Translator() {
    if (!translator) translator = std::make_unique<cii::Translator>(*ws.db, ws.errLogPath);
    return *translator;
  }

  CenterLock& Lock() {
    if (!lock) {
      const PackageSettings package = ReadPackageSettings(ws.ini());
      lock = std::make_unique<CenterLock>(*ws.db, ThisProcess(ws.terminalName),
                                          StaleAfterSeconds(package.timeoutSeconds));
    }
    return *lock;
  }

  const UnattendedSettings& Unattended() {
    if (!unattended) {
      try {
        unattended = ReadUnattendedSettings(ws.ini());
      } catch (const std::exception& e) {
        // The programs refuse to start on such a value; read later, it only turns alerts off.
        listener.Log(std::string("EDI.ini: ") + e.what());
        unattended = UnattendedSettings{};
      }
    }
    return *unattended;
  }

  // A run that ended in error with no retry to follow: the site is told by mail. A run that a
  // person stopped is not alerted.
  void AlertIfFinal(const RunContext& ctx, std::int32_t serial, const std::string& center, const std::string& endCode,
                    const std::string& failedWork) {
    if (endCode == "0000" || endCode == kStoppedCode) return;
    const UnattendedSettings& settings = Unattended();
    if (settings.alert.to.empty()) return;
    if (failedWork == kWorkSend && RetryWillTake(settings)) return;
    AlertFacts facts{serial, center, StepName(failedWork), endCode, " ", ""};
    try {
      for (const BranchDetail& b : QueryBranches(*ws.db, serial)) {
        if (b.branch > 0 && b.endCode == endCode) {
          facts.step = StepName(b.workKind);
          facts.detailCode = b.detailCode;
          break;
        }
      }
    } catch (const std::exception&) {
    }
    facts.reason = failedWork == kWorkSend ? "自動再送は設定されていません。" : "抽出・変換の失敗は自動では再実行しません。";
    RaiseAlert(ctx, settings.alert, facts);
  }

  // Writes a status text into the current row and tells the listener.
  void Status(int column, const std::string& text) {
    const int row = ws.centers.currentRow();
    ws.centers.SetStatus(row, column, text);
    static const char* titles[] = {"", "", "", "", "データ抽出", "変換", "送信"};
    lines->Log(ws.centers.at(row).centerCode + " " + titles[column] + ": " + text);
  }
};

RunDriver::RunDriver(Workstation& ws, RunListener& listener, RunStop* stop)
    : impl_(new Impl{ws, listener, nullptr, stop, {}, {}, nullptr, std::nullopt, {}, std::nullopt, &listener}) {}
RunDriver::~RunDriver() { delete impl_; }

void RunDriver::SetDryRun(const std::filesystem::path& testFolder) { impl_->dryRoot = testFolder; }
bool RunDriver::dryRun() const { return impl_->dryRoot.has_value(); }

void RunDriver::SetRowState(std::int16_t state) { impl_->ws.centers.SetRowState(impl_->ws.centers.currentRow(), state); }

std::int32_t RunDriver::SerialOf(int row) const {
  std::lock_guard lock(impl_->serialsMutex);
  auto it = impl_->serials.find(row);
  return it == impl_->serials.end() ? 0 : it->second;
}

bool RunDriver::SkippedOf(int row) const {
  std::lock_guard lock(impl_->serialsMutex);
  return impl_->skipped.count(row) > 0;
}

void RunDriver::RunMarkedCenters(int buttonIndex) {
  if (buttonIndex != 0) return;
  auto& rows = impl_->ws.centers;
  impl_->listener.PassStarted();
  for (int i = 0; i < rows.count(); ++i) {
    // A stopped pass starts no further center.
    if (impl_->stop && impl_->stop->requested()) break;
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
  {
    std::lock_guard lock(d.serialsMutex);
    d.skipped.erase(row);
  }

  // The center is run by one run at a time, across processes and workstations. A center
  // that another run holds is left alone: no serial, no history row, the row names the holder.
  CenterLock& centerLock = d.Lock();
  const LockClaim claim = centerLock.Claim(center, "run");
  if (!claim.taken) {
    if (claim.heldBy) {
      d.listener.Log(center + ": " + TrArgs("実行しません: {1}", {claim.HolderText()}));
      d.Status(kColExtract, "実行中(" + claim.heldBy->terminal + " " + claim.heldBy->since + ")");
      std::lock_guard lock(d.serialsMutex);
      d.skipped.insert(row);
    } else {
      // The database cannot be used: shown as a serial that could not be taken, as before.
      d.listener.Log(center + ": " + claim.error);
      d.Status(kColExtract, "通番ｴﾗｰ");
      SetRowState(kRowError);
    }
    d.listener.Log(center + ": " + Tr("終了コード なし"));
    return;
  }
  if (claim.tookOverFrom) {
    const LockHolder& gone = *claim.tookOverFrom;
    d.listener.Log(center + ": " + TrArgs("終わっていない実行のロックを引き継ぎました (端末 {1}, プロセス {2}, {3} から)",
                                          {gone.terminal, gone.process, gone.since}));
  }
  // Given back on every way out of this function.
  struct ReleaseAtEnd {
    CenterLock& lock;
    ~ReleaseAtEnd() { lock.Release(); }
  } releaseAtEnd{centerLock};
  if (d.dryRoot) return DryRunCenter();
  RunSteps(RunContext{d.ws, d.listener, d.Translator(), d.stop});
}

void RunDriver::DryRunCenter() {
  Impl& d = *impl_;
  const std::string center = d.ws.centers.at(d.ws.centers.currentRow()).centerCode;
  TestMarkListener marked(d.listener);
  d.lines = &marked;
  struct LinesBack {
    Impl& d;
    ~LinesBack() { d.lines = &d.listener; }
  } linesBack{d};
  // Each center has its own folder: the centers of one pass would name their files with the same serial.
  DryRunFolders folders;
  try {
    folders = MakeDryRunFolders(*d.dryRoot / center);
  } catch (const std::exception& e) {
    marked.Log(center + ": " + TrArgs("テストフォルダを作れません: {1}", {e.what()}));
    d.Status(kColExtract, "抽出ｴﾗｰ");
    SetRowState(kRowError);
    marked.Log(center + ": 終了コード 9999");
    return;
  }
  marked.Log(center + ": " + TrArgs("テスト実行: ファイルはすべて {1} に置きます (通番は取らず、履歴も書きません)",
                                    {folders.root.string()}));
  // The run's own translator, whose log is the test folder's ERR.LOG.
  cii::Translator translator(*d.ws.db, folders.errLog);
  RunContext ctx{d.ws, marked, translator, d.stop, &folders};
  RunSteps(ctx);
}

void RunDriver::RunSteps(const RunContext& ctx) {
  Impl& d = *impl_;
  const int row = d.ws.centers.currentRow();
  const std::string center = d.ws.centers.at(row).centerCode;
  const bool dry = ctx.dryRun != nullptr;
  RunListener& lines = *d.lines;
  SetRowState(kRowProcessing);

  HistoryStartRecord start;
  start.direction = "S";
  start.partnerKind = "2";
  start.workKind = kWorkRun;
  start.centerCode = center;
  // A serial that files of an earlier run still carry (the history lost its newest rows) is
  // skipped, so that this run never appends to or overwrites that run's files.
  start.serialTaken = [used = SerialsWithFiles(d.ws.settings.paths)](std::int32_t serial) { return used.count(serial) > 0; };
  // A dry run names its files with the serial that the next real run would take, and takes none.
  if (dry) PeekRunSerial(ctx.db(), start);
  else StartRunHistory(ctx.db(), start);
  const bool haveSerial = start.result == "0000";
  {
    std::lock_guard lock(d.serialsMutex);
    d.serials[row] = start.serial;
  }
  // The first failure's code is the run's end code: a later success hides nothing.
  std::string endCode;
  std::string step = kWorkRun;  // the step under way, for the alert
  std::string failedWork;       // the step of the first failure
  auto fail = [&](const std::string& code) {
    if (endCode.empty()) {
      endCode = code;
      failedWork = step;
    }
    SetRowState(kRowError);
  };
  std::vector<std::string> leftBehind;  // results of failed conversions that could not be taken back
  // A stop cut the run short: a step ended on it, or a step was not started because of it.
  // A stop that comes after the last step changes nothing.
  bool cut = false;
  auto next = [&](bool goOn, const std::string& code) {
    if (code == kStoppedCode || (goOn && ctx.stopped())) cut = true;
    return goOn && !cut;
  };

  if (!haveSerial) {
    d.Status(kColExtract, "通番ｴﾗｰ");
    fail(start.result);
  } else if (!IsSafeCenterCode(center)) {
    // A code that could lead file names out of the configured folders: no step runs.
    lines.Log(center + ": " + Tr("センターコードがファイル名に使えません"));
    ctx.LogFault(start.serial, "9999", "処理全体", "", "センターコードがファイル名に使えません: " + center);
    d.Status(kColExtract, "抽出ｴﾗｰ");
    fail("9999");
  } else {
    std::string note;
    if (start.attempts > 1) note = " " + TrArgs("({1}回目で採番)", {std::to_string(start.attempts)});
    if (start.skipped > 0)
      note += " " + TrArgs("(既存ファイルのある通番 {1} 件を飛ばしました)", {std::to_string(start.skipped)});
    lines.Log(center + ": " + TrArgs("通番 {1}", {SerialField(start.serial)}) + note);
    d.Status(kColExtract, "抽出中");
    step = kWorkExtract;
    bool goOn = false;
    std::string code = ExtractViaPackage(ctx, center, start.serial, &goOn);
    if (IsZeroCode(code)) {
      d.Status(kColExtract, "OK");
      goOn = true;
    } else {
      // Partners that failed while others were extracted: the run goes on with what it has.
      d.Status(kColExtract, goOn ? kIncomplete : "抽出ｴﾗｰ");
      fail(code);
    }
    if (next(goOn, code)) {
      d.Lock().Touch();
      d.Status(kColConvert, "変換中");
      step = kWorkConvertOther;
      goOn = false;
      code = ConvertSendFiles(ctx, center, start.serial, &leftBehind, &goOn);
      if (code == "0000") {
        d.Status(kColConvert, "OK");
        goOn = true;
      } else {
        d.Status(kColConvert, goOn ? kIncomplete : "変換ｴﾗｰ");
        fail(code);
      }
    }
    if (next(goOn, code)) {
      d.Lock().Touch();
      d.Status(kColSend, "送信中");
      step = kWorkSend;
      code = SendCenterFiles(ctx, center, start.serial);
      if (IsZeroCode(code)) {
        d.Status(kColSend, "OK");
      } else {
        d.Status(kColSend, "送信ｴﾗｰ");
        fail(code);
      }
    }
  }
  // A run that a stop cut short ends with the stop code, whatever failed before.
  if (cut) {
    lines.Log(center + ": " + Tr("実行を中止しました"));
    SetRowState(kRowError);
    endCode = kStoppedCode;
  }
  if (endCode.empty()) endCode = "0000";

  if (start.serial != 0) {
    for (const auto& fault : BackupRunFiles(ctx.paths(), start.serial, 1, leftBehind)) {
      lines.Log(center + ": " + TrArgs("バックアップに失敗しました: {1}", {fault}));
      ctx.LogFault(start.serial, "9999", "バックアップ", "", fault);
    }
  }
  if (d.ws.centers.at(row).rowState != kRowError) SetRowState(kRowProcessed);

  // After "通番ｴﾗｰ" the pair (serial, 0) is not this run's row: leave it alone. A dry run has
  // no row, and alerts nobody.
  if (haveSerial && !dry) {
    HistoryRecord rec;
    rec.serial = start.serial;
    rec.branch = 0;
    rec.endCode = endCode;
    rec.detailCode = endCode == kStoppedCode && d.stop ? d.stop->detailCode() : " ";
    FinishHistoryRecord(ctx.db(), rec);
    d.AlertIfFinal(ctx, start.serial, center, endCode, failedWork);
  }
  lines.Log(center + ": " + TrArgs("終了コード {1}", {endCode}));
}

}  // namespace edi::run
