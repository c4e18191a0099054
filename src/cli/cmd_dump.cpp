// edi dump FILE: a readable listing of a CII file (needs no database).
#include <fstream>
#include <iostream>

#include "cii/dump.h"
#include "cli/cli.h"

namespace edi::cli {

int CmdDump(CliOptions& options) {
  if (TakeFlag(options.args, "--help") || TakeFlag(options.args, "-h")) {
    std::cout << "usage: edi dump FILE\n";
    return kExitOk;
  }
  if (options.args.size() != 1) {
    std::cerr << "usage: edi dump FILE\n";
    return kExitUsage;
  }
  std::ifstream in(options.args[0], std::ios::binary);
  if (!in) {
    std::cerr << "edi dump: cannot open " << options.args[0] << "\n";
    return kExitFailed;
  }
  return cii::DumpCiiFile(in, std::cout) ? kExitOk : kExitFailed;
}

}  // namespace edi::cli
