// edi center export|import|check: the center masters as files a person keeps, and the check
// of a center's whole set-up before its first run. The work is done by run/center_tables and
// run/center_check.
#include <iostream>

#include "app/catalogue.h"
#include "app/database.h"
#include "app/settings.h"
#include "cli/cli.h"
#include "cli/table_files.h"
#include "run/center_check.h"
#include "run/center_tables.h"

namespace edi::cli {

namespace {

const char* Usage() {
  return Tr("使い方: edi center export DIR [--center CODE] [--encoding cp932|utf-8] [--force]\n"
            "       edi center import DIR [--replace] [--encoding cp932|utf-8]\n"
            "       edi center check [--terminal NAME] [CODE...]\n");
}

int Check(CliOptions& options, const std::vector<std::string>& centers) {
  Workstation ws;
  if (auto failed = StartWorkstation(ws, options, false)) return *failed;
  try {
    const PackageSettings package = ReadPackageSettings(ws.ini());
    const run::CenterCheckResult r =
        run::CheckCenters(*ws.db, centers, package, run::KnownTerminals(*ws.db, ws.terminalName));
    for (const auto& f : r.faults) std::cout << run::Describe(f) << "\n";
    std::cout << TrArgs("センター点検: {1} センター, 誤り {2} 件, 警告 {3} 件",
                        {std::to_string(r.centers), std::to_string(r.errors()),
                         std::to_string(r.faults.size() - static_cast<std::size_t>(r.errors()))})
              << "\n";
    return r.errors() == 0 ? kExitOk : kExitFailed;
  } catch (const SettingsError& e) {
    std::cerr << "edi center check: EDI.ini: " << e.what() << "\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << "edi center check: " << e.what() << "\n";
    return kExitFailed;
  }
}

}  // namespace

int CmdCenter(CliOptions& options) {
  auto& args = options.args;
  std::string action;
  if (auto done = TakeAction(args, Usage(), action)) return *done;
  std::optional<std::string> center;
  cii::ImportOptions import;
  cii::CsvEncoding exportEncoding = cii::CsvEncoding::Cp932;
  bool force = false;
  if (action == "export") {
    center = TakeOption(args, "--center");
    exportEncoding = TakeEncoding(args, cii::CsvEncoding::Cp932);
    force = TakeFlag(args, "--force");
  } else if (action == "import") {
    import.replace = TakeFlag(args, "--replace");
    import.encoding = TakeEncoding(args, cii::CsvEncoding::Auto);
  } else if (action == "check") {
    if (auto v = TakeOption(args, "--terminal")) options.terminalName = v;
    for (const auto& a : args)
      if (a.rfind("--", 0) == 0) {
        std::cerr << Usage();
        return kExitUsage;
      }
    return Check(options, args);
  }
  if ((action != "export" && action != "import") || args.size() != 1) {
    std::cerr << Usage();
    return kExitUsage;
  }
  auto db = OpenConfiguredDatabase(options);
  if (!db) return kExitUsage;
  if (action == "export")
    return ReportExport("edi center export", [&] { return run::ExportCenters(*db, args[0], center, exportEncoding, force); });
  return ReportImport("edi center import", run::ImportCenters(*db, args[0], import));
}

}  // namespace edi::cli
