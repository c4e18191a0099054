// edi resend SERIAL [--force]: sends a finished run's result again by its center's current
// transfer method, without extracting or converting again. Exit 0 when sent, 1 when the
// send failed or was refused (no such run, no result, already sent without --force).
#include <iostream>
#include <string>

#include "cii/translator.h"
#include "cli/cli.h"
#include "cli/console_listener.h"
#include "run/resend.h"

namespace edi::cli {
namespace {
constexpr const char* kUsage = "usage: edi resend SERIAL [--force]\n";
}

int CmdResend(CliOptions& options) {
  if (TakeFlag(options.args, "--help") || TakeFlag(options.args, "-h")) {
    std::cout << kUsage;
    return kExitOk;
  }
  const bool force = TakeFlag(options.args, "--force");
  if (options.args.size() != 1) {
    std::cerr << kUsage;
    return kExitUsage;
  }
  long long serial = 0;
  try {
    std::size_t used = 0;
    serial = std::stoll(options.args[0], &used);
    if (used != options.args[0].size() || serial <= 0 || serial > 0x7fffffff) throw std::invalid_argument("serial");
  } catch (const std::logic_error&) {
    std::cerr << "edi resend: SERIAL must be a run's serial number\n" << kUsage;
    return kExitUsage;
  }
  Workstation ws;
  if (auto failed = StartWorkstation(ws, options, false)) return *failed;
  cii::Translator translator(*ws.db, ws.errLogPath);
  ConsoleListener listener;
  const run::RunContext ctx{ws, listener, translator};

  const run::ResendResult result = run::Resend(ctx, static_cast<std::int32_t>(serial), force);
  if (result.code == "0000") {
    std::cout << result.message << "\n";
    return kExitOk;
  }
  std::cerr << "edi resend: " << result.message << " (" << result.code << ")\n";
  if (result.needsForce) std::cerr << "edi resend: --force sends it again\n";
  return kExitFailed;
}

}  // namespace edi::cli
