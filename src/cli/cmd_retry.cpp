// edi retry: one pass of the automatic retry of failed sends (section RETRY of EDI.ini),
// meant for a scheduler. Exit 0 when nothing failed (also when retry is switched off: it
// says so), 1 when a try failed, a run's tries were used up or a send of unknown outcome was
// reported, 2 usage or start-up. SIGTERM, SIGINT and SIGHUP stop it after the current send.
#include <iostream>

#include "app/catalogue.h"
#include "app/unattended_settings.h"
#include "cii/translator.h"
#include "cli/cli.h"
#include "cli/console_listener.h"
#include "cli/signal_watch.h"
#include "run/retry.h"

namespace edi::cli {
namespace {
const char* Usage() { return Tr("使い方: edi retry\n"); }
}

int CmdRetry(CliOptions& options) {
  if (TakeFlag(options.args, "--help") || TakeFlag(options.args, "-h")) {
    std::cout << Usage();
    return kExitOk;
  }
  if (!options.args.empty()) {
    std::cerr << Usage();
    return kExitUsage;
  }
  run::RunStop stop;
  SignalWatch signals(stop);
  Workstation ws;
  if (auto failed = StartWorkstation(ws, options, false)) return *failed;
  if (auto failed = CheckUnattended(ws)) return *failed;
  const UnattendedSettings settings = ReadUnattendedSettings(ws.ini());
  if (!settings.retry.enabled) {
    std::cout << "edi retry: " << Tr("自動再送は設定されていません (EDI.ini RETRY ENABLED=1)") << "\n";
    return kExitOk;
  }
  cii::Translator translator(*ws.db, ws.errLogPath);
  ConsoleListener listener(&stop);
  const run::RunContext ctx{ws, listener, translator, &stop};
  const run::RetryReport report = run::RetryFailedSends(ctx, settings);
  std::cout << "edi retry: "
            << TrArgs("再送 {1} 件 (送信 {2} 件), 待ち {3} 件, 再送終了 {4} 件, 結果不明 {5} 件",
                      {std::to_string(report.tried), std::to_string(report.sent), std::to_string(report.waiting),
                       std::to_string(report.finallyFailed), std::to_string(report.unknown)})
            << "\n";
  return report.failed() ? kExitFailed : kExitOk;
}

}  // namespace edi::cli
