// edi format export|import|check: the translator's format masters as files a person keeps,
// and the layout check. The work is done by cii/format_io and cii/format_check.
#include <iostream>

#include "app/catalogue.h"
#include "app/database.h"
#include "cii/format_check.h"
#include "cii/format_io.h"
#include "cli/cli.h"
#include "cli/table_files.h"

namespace edi::cli {

namespace {

const char* Usage() {
  return Tr("使い方: edi format export DIR [--category C] [--bpid B] [--encoding cp932|utf-8] [--force]\n"
            "       edi format import DIR [--replace] [--encoding cp932|utf-8]\n"
            "       edi format check [--category C] [--bpid B]\n");
}

cii::FormatFilter TakeFilter(std::vector<std::string>& args) {
  cii::FormatFilter f;
  f.category = TakeOption(args, "--category");
  f.bpid = TakeOption(args, "--bpid");
  return f;
}

int Check(Database& db, const cii::FormatFilter& filter) {
  try {
    cii::LayoutCheckResult r = cii::CheckLayouts(db, filter);
    if (r.formats == 0 && r.items == 0 && r.faults.empty() && (filter.category || filter.bpid)) {
      // A filter that matches nothing is most often a typo: "0 formats, 0 faults" would read as a pass.
      std::cerr << "edi format check: "
                << TrArgs("該当するフォーマットがありません:{1}{2}",
                          {filter.category ? " 情報区分 \"" + *filter.category + "\"" : std::string(),
                           filter.bpid ? " BPID \"" + *filter.bpid + "\"" : std::string()})
                << "\n";
      return kExitFailed;
    }
    for (const auto& f : r.faults) std::cout << cii::Describe(f) << "\n";
    std::cout << TrArgs("format check: フォーマット {1} 件, 項目 {2} 件, 誤り {3} 件",
                        {std::to_string(r.formats), std::to_string(r.items), std::to_string(r.faults.size())})
              << "\n";
    return r.faults.empty() ? kExitOk : kExitFailed;
  } catch (const std::exception& e) {
    std::cerr << "edi format check: " << e.what() << "\n";
    return kExitFailed;
  }
}

}  // namespace

int CmdFormat(CliOptions& options) {
  auto& args = options.args;
  std::string action;
  if (auto done = TakeAction(args, Usage(), action)) return *done;
  cii::FormatFilter filter;
  cii::ImportOptions import;
  cii::CsvEncoding exportEncoding = cii::CsvEncoding::Cp932;
  bool force = false;
  if (action == "export" || action == "check") filter = TakeFilter(args);
  if (action == "export") {
    exportEncoding = TakeEncoding(args, cii::CsvEncoding::Cp932);
    force = TakeFlag(args, "--force");
  }
  if (action == "import") {
    import.replace = TakeFlag(args, "--replace");
    import.encoding = TakeEncoding(args, cii::CsvEncoding::Auto);
  }
  const std::size_t operands = action == "check" ? 0 : 1;
  if ((action != "export" && action != "import" && action != "check") || args.size() != operands) {
    std::cerr << Usage();
    return kExitUsage;
  }
  auto db = OpenConfiguredDatabase(options);
  if (!db) return kExitUsage;
  if (action == "export")
    return ReportExport("edi format export", [&] { return cii::ExportFormats(*db, args[0], filter, exportEncoding, force); });
  if (action == "import") return ReportImport("edi format import", cii::ImportFormats(*db, args[0], import));
  return Check(*db, filter);
}

}  // namespace edi::cli
