#include "cli/table_files.h"

#include <iostream>

#include "app/catalogue.h"
#include "cli/cli.h"

namespace edi::cli {

std::optional<int> TakeAction(std::vector<std::string>& args, const char* usage, std::string& action) {
  if (args.empty() || TakeFlag(args, "--help") || TakeFlag(args, "-h")) {
    (args.empty() ? std::cerr : std::cout) << usage;
    return args.empty() ? kExitUsage : kExitOk;
  }
  action = args[0];
  args.erase(args.begin());
  return std::nullopt;
}

cii::CsvEncoding TakeEncoding(std::vector<std::string>& args, cii::CsvEncoding fallback) {
  auto v = TakeOption(args, "--encoding");
  if (!v) return fallback;
  if (*v == "utf-8" || *v == "UTF-8" || *v == "utf8") return cii::CsvEncoding::Utf8;
  if (*v == "cp932" || *v == "CP932" || *v == "shift_jis" || *v == "Shift_JIS") return cii::CsvEncoding::Cp932;
  throw UsageError(Tr("--encoding は cp932 か utf-8 です"));
}

int ReportExport(const std::string& command, const std::function<std::vector<cii::TableCount>()>& exportFiles) {
  try {
    for (const auto& c : exportFiles()) std::cout << TrArgs("{1} 行", {std::to_string(c.rows)}) << "\t" << cii::TableFileName(c.table) << "\n";
    return kExitOk;
  } catch (const cii::ExportFolderError& e) {
    std::cerr << command << ": " << e.what() << "\n";
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << command << ": " << e.what() << "\n";
    return kExitFailed;
  }
}

int ReportImport(const std::string& command, const cii::ImportResult& r) {
  for (const auto& w : r.warnings) std::cerr << command << ": " << Tr("警告: ") << cii::Describe(w) << "\n";
  if (!r.ok()) {
    for (const auto& p : r.problems) std::cout << cii::Describe(p) << "\n";
    if (r.moreProblems > 0)
      std::cout << TrArgs("… ほかに {1} 件の問題があります", {std::to_string(r.moreProblems)}) << "\n";
    std::cerr << command << ": "
              << TrArgs("取り込みを断りました (問題 {1} 件)。何も読み込んでいません",
                        {std::to_string(r.problems.size() + r.moreProblems)})
              << "\n";
    return r.unusable() ? kExitUsage : kExitFailed;
  }
  for (const auto& c : r.loaded) std::cout << TrArgs("{1} 行", {std::to_string(c.rows)}) << "\t" << c.table << "\n";
  return kExitOk;
}

}  // namespace edi::cli
