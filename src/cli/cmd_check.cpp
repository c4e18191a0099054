// edi check FILE [--format csv] [--encoding cp932|utf-8] [--all | --limit N]: what the
// translator would silently change or drop in an in-house file, read against its formats;
// writes nothing. The work is cii/local_check; findings are printed as they are found.
#include <iostream>

#include "app/catalogue.h"
#include "app/database.h"
#include "cii/local_check.h"
#include "cii/masters.h"
#include "cli/cli.h"

namespace edi::cli {

int CmdCheck(CliOptions& options) {
  const char* usage = Tr("使い方: edi check FILE [--format csv] [--encoding cp932|utf-8] [--all | --limit N]\n");
  auto& args = options.args;
  if (TakeFlag(args, "--help") || TakeFlag(args, "-h")) {
    std::cout << usage;
    return kExitOk;
  }
  auto format = TakeOption(args, "--format");
  auto encodingName = TakeOption(args, "--encoding");
  auto limitText = TakeOption(args, "--limit");
  const bool all = TakeFlag(args, "--all");
  cii::LocalCheckOptions check;
  if (limitText) {
    try {
      std::size_t used = 0;
      check.limit = std::stoll(*limitText, &used);
      if (used != limitText->size() || check.limit < 1) throw std::invalid_argument("limit");
    } catch (const std::exception&) {
      std::cerr << "edi check: " << Tr("--limit には指摘の件数 (1 以上) を指定します") << "\n" << usage;
      return kExitUsage;
    }
  }
  if (all) check.limit = 0;
  cii::CsvEncoding encoding = cii::CsvEncoding::Cp932;
  if (encodingName) {
    if (*encodingName == "utf-8" || *encodingName == "UTF-8" || *encodingName == "utf8") encoding = cii::CsvEncoding::Utf8;
    else if (*encodingName != "cp932" && *encodingName != "CP932" && *encodingName != "shift_jis" && *encodingName != "Shift_JIS") {
      std::cerr << "edi check: " << Tr("--encoding は cp932 か utf-8 です") << "\n" << usage;
      return kExitUsage;
    }
  }
  if (args.size() != 1 || (format && *format != "csv" && *format != "text") || (all && limitText) ||
      (encodingName && !(format && *format == "csv"))) {
    std::cerr << usage;
    return kExitUsage;
  }
  auto db = OpenConfiguredDatabase(options);
  if (!db) return kExitUsage;
  cii::DatabaseMasters masters(*db);
  const bool csv = format && *format == "csv";
  std::unique_ptr<cii::FindingsCsv> table;
  cii::LocalCheckResult r = cii::CheckLocalFile(
      masters, args[0],
      [&](const cii::LocalFinding& f) {
        if (!csv) return cii::PrintFinding(f, std::cout);
        if (!table) table = std::make_unique<cii::FindingsCsv>(std::cout, encoding);
        table->Write(f);
      },
      check);
  if (!r.error.empty()) {
    std::cerr << "edi check: " << r.error << "\n";
    return kExitUsage;
  }
  if (csv && !table) cii::FindingsCsv(std::cout, encoding);  // the header alone
  std::ostream& summary = csv ? std::cerr : std::cout;
  if (r.found > r.reported)
    summary << TrArgs("… ほかに {1} 件の指摘があります (表示したのは最初の {2} 件です。--all ですべて表示します)",
                      {std::to_string(r.found - r.reported), std::to_string(r.reported)})
            << "\n";
  summary << TrArgs("check: {1} 行, {2} メッセージ, 指摘 {3} 件",
                    {std::to_string(r.lines), std::to_string(r.messages), std::to_string(r.found)})
          << "\n";
  return r.found == 0 ? kExitOk : kExitFailed;
}

}  // namespace edi::cli
