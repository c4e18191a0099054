// edi format export|import|check: the translator's format masters as files a person keeps,
// and the layout check. The work is done by cii/format_io and cii/format_check.
#include <iostream>

#include "app/catalogue.h"
#include "app/database.h"
#include "cii/format_check.h"
#include "cii/format_io.h"
#include "cli/cli.h"

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

cii::CsvEncoding TakeEncoding(std::vector<std::string>& args, cii::CsvEncoding fallback) {
  auto v = TakeOption(args, "--encoding");
  if (!v) return fallback;
  if (*v == "utf-8" || *v == "UTF-8" || *v == "utf8") return cii::CsvEncoding::Utf8;
  if (*v == "cp932" || *v == "CP932" || *v == "shift_jis" || *v == "Shift_JIS") return cii::CsvEncoding::Cp932;
  throw UsageError(Tr("--encoding は cp932 か utf-8 です"));
}

int Export(Database& db, const std::string& dir, const cii::FormatFilter& filter, cii::CsvEncoding encoding,
           bool force) {
  try {
    for (const auto& c : cii::ExportFormats(db, dir, filter, encoding, force))
      std::cout << TrArgs("{1} 行", {std::to_string(c.rows)}) << "\t" << cii::FormatFileName(c.table) << "\n";
    return kExitOk;
  } catch (const cii::ExportFolderError& e) {
    std::cerr << "edi format export: " << e.what() << "\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << "edi format export: " << e.what() << "\n";
    return kExitFailed;
  }
}

int Import(Database& db, const std::string& dir, const cii::ImportOptions& options) {
  cii::ImportResult r = cii::ImportFormats(db, dir, options);
  for (const auto& w : r.warnings) std::cerr << "edi format import: " << Tr("警告: ") << cii::Describe(w) << "\n";
  if (!r.ok()) {
    for (const auto& p : r.problems) std::cout << cii::Describe(p) << "\n";
    if (r.moreProblems > 0)
      std::cout << TrArgs("… ほかに {1} 件の問題があります", {std::to_string(r.moreProblems)}) << "\n";
    std::cerr << "edi format import: "
              << TrArgs("取り込みを断りました (問題 {1} 件)。何も読み込んでいません",
                        {std::to_string(r.problems.size() + r.moreProblems)})
              << "\n";
    return r.unusable() ? kExitUsage : kExitFailed;
  }
  for (const auto& c : r.loaded) std::cout << TrArgs("{1} 行", {std::to_string(c.rows)}) << "\t" << c.table << "\n";
  return kExitOk;
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
  if (args.empty() || TakeFlag(args, "--help") || TakeFlag(args, "-h")) {
    (args.empty() ? std::cerr : std::cout) << Usage();
    return args.empty() ? kExitUsage : kExitOk;
  }
  const std::string action = args[0];
  args.erase(args.begin());
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
  if (action == "export") return Export(*db, args[0], filter, exportEncoding, force);
  if (action == "import") return Import(*db, args[0], import);
  return Check(*db, filter);
}

}  // namespace edi::cli
