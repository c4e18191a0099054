// edi dump FILE: a readable listing of a CII file (needs no database).
#include <fstream>
#include <iostream>

#include "app/catalogue.h"
#include "cii/dump.h"
#include "cli/cli.h"

namespace edi::cli {

int CmdDump(CliOptions& options) {
  if (TakeFlag(options.args, "--help") || TakeFlag(options.args, "-h")) {
    std::cout << Tr("使い方: edi dump FILE") << "\n";
    return kExitOk;
  }
  if (options.args.size() != 1) {
    std::cerr << Tr("使い方: edi dump FILE") << "\n";
    return kExitUsage;
  }
  std::ifstream in(options.args[0], std::ios::binary);
  if (!in) {
    std::cerr << "edi dump: " << TrArgs("{1} を開けません", {options.args[0]}) << "\n";
    return kExitFailed;
  }
  return cii::DumpCiiFile(in, std::cout) ? kExitOk : kExitFailed;
}

}  // namespace edi::cli
