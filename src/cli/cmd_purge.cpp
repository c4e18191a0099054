// edi history purge --before DATE [--archive DIR]: removes the runs that ended before DATE
// (with their backup files and the part of ERR.LOG before DATE), all or nothing; see run/purge.
// SIGTERM, SIGINT and SIGHUP stop it before the deletion is committed (everything stays as it
// was) and are held back after it, until the purge is complete.
#include <iostream>
#include <string>
#include <vector>

#include "app/catalogue.h"
#include "app/database.h"
#include "cli/cli.h"
#include "cli/signal_watch.h"
#include "run/history_query.h"
#include "run/purge.h"
#include "run/retry_window.h"
#include "run/run_stop.h"

namespace edi::cli {
namespace {

const char* Usage() {
  return Tr("使い方: edi history purge --before DATE [--archive DIR]\n"
            "  DATE より前 (当日を含まない) に終わった実行を削除します。終了していない実行は削除しません。\n"
            "  DATE: yyyy/mm/dd, yyyy-mm-dd または yyyymmdd。--archive DIR を付けると、削除する行 (CSV)、\n"
            "  そのバックアップファイルと ERR.LOG の削除部分を DIR の下の新しいフォルダ purge-STAMP に残します。\n");
}

}  // namespace

int CmdHistoryPurge(CliOptions& options) {
  if (TakeFlag(options.args, "--help") || TakeFlag(options.args, "-h")) {
    std::cout << Usage();
    return kExitOk;
  }
  run::PurgeRequest request;
  try {
    auto before = TakeOption(options.args, "--before");
    if (!before) throw UsageError(Tr("--before DATE が必要です (指定がなければ何も削除しません)"));
    auto date = run::NormalizeHistoryDate(*before);
    if (!date) throw UsageError(TrArgs("--before には日付 (yyyy/mm/dd, yyyy-mm-dd または yyyymmdd) を指定します: {1}", {*before}));
    request.beforeDate = *date;
    if (auto archive = TakeOption(options.args, "--archive")) {
      if (archive->empty()) throw UsageError(Tr("--archive にはフォルダを指定します"));
      request.archiveFolder = *archive;
    }
  } catch (const std::exception& e) {
    std::cerr << "edi history purge: " << e.what() << "\n" << Usage();
    return kExitUsage;
  }
  if (!options.args.empty()) {
    std::cerr << "edi history purge: " << TrArgs("余分な引数「{1}」があります", {options.args.front()}) << "\n" << Usage();
    return kExitUsage;
  }

  run::RunStop stop;
  SignalWatch signals(stop);
  Workstation ws;
  if (auto failed = StartWorkstation(ws, options, false)) return *failed;
  request.errLog = ws.errLogPath;
  request.backupFolder = ws.settings.paths.oldFolder;
  request.retryWindowHours = run::RetryWindowHours(ws.ini());
  request.stopRequested = [&stop] { return stop.requested(); };

  const run::PurgeReport report = run::PurgeHistory(*ws.db, request);
  if (!report.recovered.empty()) std::cout << "purge: " << report.recovered << "\n";
  if (!report.committed) {
    if (report.error == "stopped")
      std::cerr << "edi history purge: "
                << TrArgs("シグナル {1} で止めました。何も削除していません", {std::to_string(signals.received())}) << "\n";
    else
      std::cerr << "edi history purge: " << TrArgs("{1}。何も削除していません", {report.error}) << "\n";
    return kExitFailed;
  }
  const bool archived = !request.archiveFolder.empty();
  std::cout << TrArgs("purge: {1} より前に終わった実行", {request.beforeDate}) << "\n"
            << TrArgs("  削除した実行:            {1} (履歴 {2} 行)", {std::to_string(report.runs), std::to_string(report.rows)})
            << "\n"
            << TrArgs("  残した終了していない実行: {1}", {std::to_string(report.keptOpen)}) << "\n";
  if (request.retryWindowHours)
    std::cout << TrArgs("  再送のために残した実行 ({1} 時間): {2}",
                        {std::to_string(*request.retryWindowHours), std::to_string(report.keptRetry)})
              << "\n";
  const std::string files = std::to_string(report.backupFiles), bytes = std::to_string(report.logBytes);
  std::cout << (archived ? TrArgs("  保管したバックアップファイル: {1}", {files})
                         : TrArgs("  削除したバックアップファイル: {1}", {files}))
            << "\n"
            << (archived ? TrArgs("  保管した ERR.LOG のバイト数:  {1}", {bytes})
                         : TrArgs("  削除した ERR.LOG のバイト数:  {1}", {bytes}))
            << "\n";
  if (!report.archive.empty()) std::cout << TrArgs("  保管先:                  {1}", {report.archive.string()}) << "\n";
  if (!report.ok) {
    std::cerr << "edi history purge: " << report.error << "\n";
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace edi::cli
