// edi resend SERIAL [--force]: sends a finished run's result again by its center's current
// transfer method, without extracting or converting again. Exit 0 when sent, 1 when the
// send failed or was refused (no such run, no result, a result that is not whole, already
// sent without --force), 3 when another run or send holds the center (with or without
// --force: one serial is never sent twice at once). SIGTERM, SIGINT and SIGHUP stop it as
// they stop `edi run`: a send that did not go through closes its branch with the stop code.
#include <iostream>
#include <string>

#include "app/catalogue.h"
#include "cii/translator.h"
#include "cli/cli.h"
#include "cli/console_listener.h"
#include "cli/signal_watch.h"
#include "run/resend.h"

namespace edi::cli {
namespace {
const char* Usage() { return Tr("使い方: edi resend SERIAL [--force]\n"); }
}

int CmdResend(CliOptions& options) {
  if (TakeFlag(options.args, "--help") || TakeFlag(options.args, "-h")) {
    std::cout << Usage();
    return kExitOk;
  }
  const bool force = TakeFlag(options.args, "--force");
  if (options.args.size() != 1) {
    std::cerr << Usage();
    return kExitUsage;
  }
  long long serial = 0;
  try {
    std::size_t used = 0;
    serial = std::stoll(options.args[0], &used);
    if (used != options.args[0].size() || serial <= 0 || serial > 0x7fffffff) throw std::invalid_argument("serial");
  } catch (const std::logic_error&) {
    std::cerr << "edi resend: " << Tr("SERIAL には実行の通番を指定します") << "\n" << Usage();
    return kExitUsage;
  }
  // Before any thread starts: the stop signals are taken by the watch, not by the process.
  run::RunStop stop;
  SignalWatch signals(stop);
  Workstation ws;
  if (auto failed = StartWorkstation(ws, options, false)) return *failed;
  cii::Translator translator(*ws.db, ws.errLogPath);
  ConsoleListener listener(&stop);
  const run::RunContext ctx{ws, listener, translator, &stop};

  const run::ResendResult result = run::Resend(ctx, static_cast<std::int32_t>(serial), force);
  if (result.code == "0000") {
    std::cout << result.message << "\n";
    return kExitOk;
  }
  std::cerr << "edi resend: " << result.message << " (" << result.code << ")\n";
  if (result.needsForce) std::cerr << "edi resend: " << Tr("--force を付けると再び送信します") << "\n";
  return result.inFlight ? kExitSkipped : kExitFailed;
}

}  // namespace edi::cli
