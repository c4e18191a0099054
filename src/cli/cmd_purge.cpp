// edi history purge --before DATE [--archive DIR]: removes the runs that ended before DATE
// (with their backup files and the part of ERR.LOG before DATE), all or nothing; see run/purge.
// SIGTERM, SIGINT and SIGHUP stop it before the deletion is committed (everything stays as it
// was) and are held back after it, until the purge is complete.
#include <iostream>
#include <string>
#include <vector>

#include "app/database.h"
#include "cli/cli.h"
#include "cli/signal_watch.h"
#include "run/history_query.h"
#include "run/purge.h"
#include "run/retry_window.h"
#include "run/run_stop.h"

namespace edi::cli {
namespace {

constexpr const char* kUsage =
    "usage: edi history purge --before DATE [--archive DIR]\n"
    "  removes the runs that ended before DATE (not on it), never an open run; DATE: yyyy/mm/dd,\n"
    "  yyyy-mm-dd or yyyymmdd. --archive DIR keeps the removed rows (CSV), their backup files and\n"
    "  the removed part of ERR.LOG in a new folder purge-STAMP under DIR.\n";

}  // namespace

int CmdHistoryPurge(CliOptions& options) {
  if (TakeFlag(options.args, "--help") || TakeFlag(options.args, "-h")) {
    std::cout << kUsage;
    return kExitOk;
  }
  run::PurgeRequest request;
  try {
    auto before = TakeOption(options.args, "--before");
    if (!before) throw UsageError("--before DATE is required (nothing is removed without it)");
    auto date = run::NormalizeHistoryDate(*before);
    if (!date) throw UsageError("--before needs a date (yyyy/mm/dd, yyyy-mm-dd or yyyymmdd): " + *before);
    request.beforeDate = *date;
    if (auto archive = TakeOption(options.args, "--archive")) {
      if (archive->empty()) throw UsageError("--archive needs a folder");
      request.archiveFolder = *archive;
    }
  } catch (const std::exception& e) {
    std::cerr << "edi history purge: " << e.what() << "\n" << kUsage;
    return kExitUsage;
  }
  if (!options.args.empty()) {
    std::cerr << "edi history purge: unexpected argument \"" << options.args.front() << "\"\n" << kUsage;
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
      std::cerr << "edi history purge: stopped by signal " << signals.signal() << "; nothing was removed\n";
    else
      std::cerr << "edi history purge: " << report.error << "; nothing was removed\n";
    return kExitFailed;
  }
  std::cout << "purge: runs that ended before " << request.beforeDate << "\n"
            << "  runs removed:            " << report.runs << " (" << report.rows << " history rows)\n"
            << "  open runs kept:          " << report.keptOpen << "\n";
  if (request.retryWindowHours)
    std::cout << "  kept for retry (" << *request.retryWindowHours << " h):  " << report.keptRetry << "\n";
  std::cout << "  backup files " << (request.archiveFolder.empty() ? "removed:    " : "archived:   ")
            << report.backupFiles << "\n"
            << "  ERR.LOG bytes " << (request.archiveFolder.empty() ? "removed:   " : "archived:  ") << report.logBytes
            << "\n";
  if (!report.archive.empty()) std::cout << "  archive:                 " << report.archive.string() << "\n";
  if (!report.ok) {
    std::cerr << "edi history purge: " << report.error << "\n";
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace edi::cli
