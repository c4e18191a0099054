#include "cli/table_files.h"

#include <iostream>

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
  throw UsageError("--encoding is cp932 or utf-8");
}

int ReportExport(const std::string& command, const std::function<std::vector<cii::TableCount>()>& exportFiles) {
  try {
    for (const auto& c : exportFiles()) std::cout << c.rows << " rows\t" << cii::TableFileName(c.table) << "\n";
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
  for (const auto& w : r.warnings) std::cerr << command << ": warning: " << cii::Describe(w) << "\n";
  if (!r.ok()) {
    for (const auto& p : r.problems) std::cout << cii::Describe(p) << "\n";
    if (r.moreProblems > 0) std::cout << "… and " << r.moreProblems << " more problems\n";
    std::cerr << command << ": refused (" << r.problems.size() + r.moreProblems << " problems); nothing was loaded\n";
    return r.unusable() ? kExitUsage : kExitFailed;
  }
  for (const auto& c : r.loaded) std::cout << c.rows << " rows\t" << c.table << "\n";
  return kExitOk;
}

}  // namespace edi::cli
