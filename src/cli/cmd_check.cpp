// edi check FILE [--format csv]: what the translator would silently change or drop in an
// in-house file, read against its formats; writes nothing. The work is cii/local_check.
#include <iostream>

#include "app/database.h"
#include "cii/local_check.h"
#include "cii/masters.h"
#include "cli/cli.h"

namespace edi::cli {

int CmdCheck(CliOptions& options) {
  constexpr const char* kUsage = "usage: edi check FILE [--format csv]\n";
  auto& args = options.args;
  if (TakeFlag(args, "--help") || TakeFlag(args, "-h")) {
    std::cout << kUsage;
    return kExitOk;
  }
  auto format = TakeOption(args, "--format");
  if (args.size() != 1 || (format && *format != "csv" && *format != "text")) {
    std::cerr << kUsage;
    return kExitUsage;
  }
  auto db = OpenConfiguredDatabase(options);
  if (!db) return kExitUsage;
  cii::DatabaseMasters masters(*db);
  cii::LocalCheckResult r = cii::CheckLocalFile(masters, args[0]);
  if (!r.error.empty()) {
    std::cerr << "edi check: " << r.error << "\n";
    return kExitUsage;
  }
  const bool csv = format && *format == "csv";
  if (csv) cii::WriteFindingsCsv(r, std::cout);
  else cii::PrintFindings(r, std::cout);
  (csv ? std::cerr : std::cout) << "check: " << r.lines << " lines, " << r.messages << " messages, "
                                << r.findings.size() << " findings\n";
  return r.findings.empty() ? kExitOk : kExitFailed;
}

}  // namespace edi::cli
