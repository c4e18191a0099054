// edi run [--operator CODE] [--terminal NAME] (--all | CENTER...): the transfer run of the
// given centers of this terminal, headless. Prints a line per step while it runs, then a
// table like the grid. Exit 0 when every center ran without error, 1 when one failed, 3 when
// none failed but one or more were skipped because another run held them. It warns at
// its start about runs left open (killed, or still working elsewhere). SIGTERM, SIGINT and
// SIGHUP stop the run: the package's process group is ended, the open history rows are
// closed with the stop code, and the command exits 1.
#include <cstring>
#include <filesystem>
#include <optional>
#include <iostream>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/catalogue.h"
#include "app/text.h"
#include "app/unattended_settings.h"
#include "cii/translator.h"
#include "cli/cli.h"
#include "cli/console_listener.h"
#include "cli/signal_watch.h"
#include "platform/stop_signals.h"
#include "run/dry_run.h"
#include "run/history.h"
#include "run/retry.h"
#include "run/run_stop.h"
#include "run/run_driver.h"

namespace edi::cli {
namespace {

// Columns on a terminal: ASCII and half-width katakana take one, other characters two.
int DisplayWidth(const std::string& text) {
  int width = 0;
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      ++width;
      ++i;
      continue;
    }
    std::size_t len = (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : 4;
    unsigned cp = 0;
    if (len == 3 && i + 2 < text.size())
      cp = ((c & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F);
    width += (cp >= 0xFF61 && cp <= 0xFF9F) ? 1 : 2;
    i += len;
  }
  return width;
}

std::string Pad(const std::string& text, int width) {
  int w = DisplayWidth(text);
  return text + std::string(w < width ? width - w : 0, ' ');
}

// A row's state as the word the colours of EDI.ini's COLOR section are named by.
std::string StateWord(std::int16_t state) {
  switch (state) {
    case kRowNormal: return Tr("通常");
    case kRowProcessing: return Tr("処理中");
    case kRowProcessed: return Tr("処理済");
    case kRowError: return Tr("エラー");
    default: return std::to_string(state);
  }
}

// mark: put in front of every line (a dry run's test mark), or empty.
void PrintTable(const std::vector<CenterRow>& rows, const std::vector<int>& ran, const run::RunDriver& driver,
                const std::string& mark) {
  const std::vector<std::string> titles = {Tr("ｾﾝﾀｰｺｰﾄﾞ"), Tr("データ抽出"), Tr("変 換"), Tr("送 信"), Tr("状態"), Tr("通番")};
  std::vector<std::vector<std::string>> lines;
  for (int i : ran) {
    const CenterRow& r = rows[i];
    const std::int32_t serial = driver.SerialOf(i);
    lines.push_back({r.centerCode, r.extractStatus, r.convertStatus, r.sendStatus, StateWord(r.rowState),
                     serial ? SerialField(serial) : ""});
  }
  std::vector<int> widths;
  for (std::size_t c = 0; c < titles.size(); ++c) {
    int w = DisplayWidth(titles[c]);
    for (const auto& l : lines) w = std::max(w, DisplayWidth(l[c]));
    widths.push_back(w);
  }
  auto print = [&](const std::vector<std::string>& cells) {
    std::string out;
    for (std::size_t c = 0; c < cells.size(); ++c) out += Pad(cells[c], widths[c]) + (c + 1 < cells.size() ? "  " : "");
    std::cout << mark << TrimRightSpaces(out) << "\n";
  };
  print(titles);
  for (const auto& l : lines) print(l);
}

// Runs whose branch 0 never got its end: killed runs, a power loss, or a run still working on
// another workstation. Nothing is taken over from them; the operator is told.
void WarnAboutOpenRuns(Workstation& ws) {
  try {
    for (const auto& open : run::FindOpenRuns(*ws.db)) {
      std::cerr << "edi run: "
                << TrArgs("警告: 終了していない実行があります: 通番 {1} センター {2} 開始 {3} {4} (中断されたか、別の端末で実行中です)",
                          {SerialField(open.serial), open.centerCode, open.startDate, open.startTime})
                << "\n";
    }
  } catch (const std::exception& e) {
    std::cerr << "edi run: " << TrArgs("履歴を読めません: {1}", {e.what()}) << "\n";
  }
}

}  // namespace

const char* Usage() {
  return Tr("使い方: edi run [--operator CODE] [--terminal NAME] [--dry-run [--test-dir DIR]] (--all | CENTER...)\n");
}

int CmdRun(CliOptions& options) {
  if (TakeFlag(options.args, "--help") || TakeFlag(options.args, "-h")) {
    std::cout << Usage();
    return kExitOk;
  }
  bool all = false, dryRun = false;
  std::optional<std::string> testDir;
  std::vector<std::string> centers;
  try {
    if (auto v = TakeOption(options.args, "--operator")) options.operatorCode = v;
    if (auto v = TakeOption(options.args, "--terminal")) options.terminalName = v;
    all = TakeFlag(options.args, "--all");
    dryRun = TakeFlag(options.args, "--dry-run");
    testDir = TakeOption(options.args, "--test-dir");
  } catch (const UsageError& e) {
    std::cerr << "edi run: " << e.what() << "\n";
    return kExitUsage;
  }
  centers = options.args;
  if (all == !centers.empty() || (testDir && !dryRun)) {
    std::cerr << Usage();
    return kExitUsage;
  }

  // Before any thread starts: the stop signals are taken by the watch, not by the process.
  run::RunStop stop;
  SignalWatch signals(stop);

  Workstation ws;
  if (auto failed = StartWorkstation(ws, options, true)) return *failed;
  if (auto failed = CheckUnattended(ws)) return *failed;
  if (options.operatorCode) ws.operatorCode = TrimSpaces(*options.operatorCode);
  const UnattendedSettings unattended = ReadUnattendedSettings(ws.ini());
  // Failures older than the moment retry was switched on are never retried by themselves.
  if (unattended.retry.enabled && !dryRun) run::RetrySwitchedOnAt(*ws.db);
  WarnAboutOpenRuns(ws);

  const auto rows = ws.centers.snapshot();
  std::set<std::string> wanted(centers.begin(), centers.end());
  for (const auto& code : centers) {
    bool known = false;
    for (const auto& r : rows) known = known || r.centerCode == code;
    if (!known) {
      std::cerr << "edi run: " << TrArgs("センター {1} は端末 {2} のセンターではありません", {code, ws.terminalName}) << "\n";
      return kExitUsage;
    }
  }
  std::vector<int> ran;
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    if (all || wanted.count(rows[i].centerCode)) {
      ws.centers.SetMarked(i, true);
      ran.push_back(i);
    }
  }

  ConsoleListener listener(&stop);
  run::RunDriver driver(ws, listener, &stop);
  std::filesystem::path testFolder;
  if (dryRun) {
    // The test folder of the pass: given, or a new one below dry-run/ beside EDI.ini.
    testFolder = testDir ? std::filesystem::path(*testDir) : run::NewDryRunFolder(ws.settings.configFolder / "dry-run");
    driver.SetDryRun(testFolder);
    std::cout << run::DryRunMark() << " " << TrArgs("テスト実行です。テストフォルダ: {1}", {testFolder.string()}) << "\n";
  }
  driver.RunMarkedCenters(0);
  // A scheduled `edi run --all` also gives the failed sends their retry (never a dry run).
  if (all && unattended.retry.enabled && !stop.requested() && !dryRun) {
    cii::Translator translator(*ws.db, ws.errLogPath);
    run::RetryFailedSends(run::RunContext{ws, listener, translator, &stop}, unattended);
  }

  const auto after = ws.centers.snapshot();
  std::cout << "\n";
  PrintTable(after, ran, driver, dryRun ? std::string(run::DryRunMark()) + " " : std::string());
  if (dryRun)
    std::cout << run::DryRunMark() << " "
              << TrArgs("テスト実行でした: 通番は取らず、履歴・送信先・メールには何も書いていません。結果は {1}",
                        {testFolder.string()})
              << "\n";
  if (stop.requested()) {
    std::cerr << "edi run: "
              << TrArgs("シグナル {1} ({2}) で止めました。終了していない履歴行を {3} で閉じました",
                        {std::to_string(signals.received()), platform::StopSignalName(signals.received()), run::kStoppedCode})
              << "\n";
    return kExitFailed;
  }
  bool skipped = false;
  for (int i : ran) {
    if (driver.SkippedOf(i)) {
      skipped = true;
      continue;
    }
    if (after[i].rowState != kRowProcessed) return kExitFailed;
  }
  return skipped ? kExitSkipped : kExitOk;
}

}  // namespace edi::cli
