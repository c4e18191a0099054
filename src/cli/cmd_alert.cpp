// edi alert --test: sends a test mail to the alert recipients (section ALERT of EDI.ini,
// server and login of MAIL and MAPI). Exit 0 sent, 1 not sent, 2 usage or start-up.
#include <iostream>

#include "app/catalogue.h"
#include "app/unattended_settings.h"
#include "cii/translator.h"
#include "cli/cli.h"
#include "cli/console_listener.h"
#include "run/alert.h"

namespace edi::cli {
namespace {
const char* Usage() { return Tr("使い方: edi alert --test\n"); }
}

int CmdAlert(CliOptions& options) {
  if (TakeFlag(options.args, "--help") || TakeFlag(options.args, "-h")) {
    std::cout << Usage();
    return kExitOk;
  }
  if (!TakeFlag(options.args, "--test") || !options.args.empty()) {
    std::cerr << Usage();
    return kExitUsage;
  }
  Workstation ws;
  if (auto failed = StartWorkstation(ws, options, false)) return *failed;
  if (auto failed = CheckUnattended(ws)) return *failed;
  const UnattendedSettings settings = ReadUnattendedSettings(ws.ini());
  cii::Translator translator(*ws.db, ws.errLogPath);
  ConsoleListener listener;
  const run::RunContext ctx{ws, listener, translator};
  const std::string fault = run::SendTestAlert(ctx, settings.alert);
  if (!fault.empty()) {
    std::cerr << "edi alert: " << TrArgs("試験メールを送れません: {1}", {fault}) << "\n";
    return kExitFailed;
  }
  std::cout << "edi alert: " << Tr("試験メールを送りました:");
  for (const auto& to : settings.alert.to) std::cout << " " << to;
  std::cout << "\n";
  return kExitOk;
}

}  // namespace edi::cli
