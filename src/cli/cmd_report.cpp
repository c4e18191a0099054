// edi report [--from DATE] [--to DATE] [--center CODE] [--format text|csv] [--encoding cp932|utf-8]:
// what was sent per center per day, newest day first, centers in code order. The CSV is made
// for a spreadsheet or a mail: CR LF, CP932 unless --encoding utf-8 is given.
#include <iomanip>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "app/catalogue.h"
#include "app/database.h"
#include "app/text.h"
#include "cii/format_io.h"
#include "cli/cli.h"
#include "run/daily_summary.h"
#include "run/history_query.h"

namespace edi::cli {
namespace {

const char* Usage() {
  return Tr("使い方: edi report [--from DATE] [--to DATE] [--center CODE] [--format text|csv] [--encoding cp932|utf-8]\n"
            "  DATE: yyyy/mm/dd, yyyy-mm-dd または yyyymmdd (実行の開始日。両端を含みます)。\n"
            "  既定は直近 14 日。CSV は CR LF、--encoding utf-8 がなければ CP932 です。\n");
}

const char* const kCsvHeader = "date,center,runs,files,input_records,output_records,sent,failed,resent,open,missing";

std::string DateOption(std::vector<std::string>& args, const std::string& name) {
  auto value = TakeOption(args, name);
  if (!value) return {};
  auto date = run::NormalizeHistoryDate(*value);
  if (!date) throw UsageError(TrArgs("{1} には日付 (yyyy/mm/dd, yyyy-mm-dd または yyyymmdd) を指定します: {2}", {name, *value}));
  return *date;
}

// A CSV field: quoted only when it holds a comma, a quote or a line break.
std::string CsvField(const std::string& value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  return cii::CsvQuoted(value);
}

std::string CsvLine(const run::DaySummary& d) {
  std::ostringstream line;
  line << d.date << ',' << CsvField(d.centerCode) << ',' << d.runs << ',' << d.files << ',' << d.inputRecords << ','
       << d.outputRecords << ',' << d.sent << ',' << d.failed << ',' << d.resent << ',' << d.open << ','
       << (d.missing ? 1 : 0);
  return line.str();
}

// The same facts as an aligned table for a person; "missing" marks a usual day without a send.
std::string TextTable(const std::vector<run::DaySummary>& days) {
  std::size_t centerWidth = 6;
  for (const auto& d : days) centerWidth = std::max(centerWidth, static_cast<std::size_t>(Utf8Length(d.centerCode)));
  std::ostringstream out;
  auto center = [&](const std::string& code) {
    return code + std::string(centerWidth - static_cast<std::size_t>(Utf8Length(code)), ' ');
  };
  out << "date        " << center("center") << "  runs  files  input_records  output_records  sent  failed  resent"
      << "  open  missing\n";
  for (const auto& d : days) {
    out << d.date << "  " << center(d.centerCode) << std::setw(6) << d.runs << std::setw(7) << d.files
        << std::setw(15) << d.inputRecords << std::setw(16) << d.outputRecords << std::setw(6) << d.sent
        << std::setw(8) << d.failed << std::setw(8) << d.resent << std::setw(6) << d.open
        << (d.missing ? "  missing" : "") << "\n";
  }
  if (days.empty()) out << Tr("(期間内の実行はありません)") << "\n";
  return out.str();
}

}  // namespace

int CmdReport(CliOptions& options) {
  if (TakeFlag(options.args, "--help") || TakeFlag(options.args, "-h")) {
    std::cout << Usage();
    return kExitOk;
  }
  run::SummaryPeriod period;
  bool csv = false;
  std::optional<bool> utf8;
  try {
    period.fromDate = DateOption(options.args, "--from");
    period.toDate = DateOption(options.args, "--to");
    if (auto center = TakeOption(options.args, "--center")) period.centerCode = *center;
    if (auto format = TakeOption(options.args, "--format")) {
      if (*format != "text" && *format != "csv") throw UsageError(TrArgs("--format は text か csv です: {1}", {*format}));
      csv = *format == "csv";
    }
    if (auto encoding = TakeOption(options.args, "--encoding")) {
      if (*encoding == "utf-8" || *encoding == "UTF-8" || *encoding == "utf8") utf8 = true;
      else if (*encoding == "cp932" || *encoding == "CP932") utf8 = false;
      else throw UsageError(TrArgs("--encoding は cp932 か utf-8 です: {1}", {*encoding}));
    }
  } catch (const std::exception& e) {
    std::cerr << "edi report: " << e.what() << "\n" << Usage();
    return kExitUsage;
  }
  if (!options.args.empty()) {
    std::cerr << "edi report: " << TrArgs("余分な引数「{1}」があります", {options.args.front()}) << "\n" << Usage();
    return kExitUsage;
  }
  // The last 14 days unless chosen; one end given alone keeps the 14 days' length.
  const std::string today = TodayYmd();
  if (period.fromDate.empty() && period.toDate.empty()) period.toDate = today;
  if (period.toDate.empty()) period.toDate = std::max(today, period.fromDate);
  if (period.fromDate.empty()) period.fromDate = run::AddDays(period.toDate, 1 - run::kDefaultSummaryDays);
  if (period.fromDate > period.toDate) {
    std::cerr << "edi report: " << TrArgs("--from {1} が --to {2} より後です", {period.fromDate, period.toDate}) << "\n";
    return kExitUsage;
  }
  period.today = today;

  auto db = OpenConfiguredDatabase(options);
  if (!db) return kExitUsage;
  std::vector<run::DaySummary> days;
  try {
    days = run::QueryDailySummary(*db, period);
  } catch (const DatabaseError& e) {
    std::cerr << "edi report: " << e.what() << "\n";
    return kExitFailed;
  }

  std::string text;
  if (csv) {
    // CSV for a spreadsheet or a mail: CR LF, as the site's other CSV files.
    const std::string eol = "\r\n";
    text = std::string(kCsvHeader) + eol;
    for (const auto& d : days) text += CsvLine(d) + eol;
  } else {
    text = TextTable(days);
  }
  const bool cp932 = csv ? !utf8.value_or(false) : utf8.has_value() && !*utf8;
  if (cp932) {
    // A center code that CP932 cannot hold would arrive as "?": refuse instead of writing it wrong.
    for (const auto& d : days) {
      if (!IsAnsiRepresentable(d.centerCode)) {
        std::cerr << "edi report: "
                  << TrArgs("センターコード「{1}」は CP932 で書けません。--encoding utf-8 を指定してください", {d.centerCode})
                  << "\n";
        return kExitFailed;
      }
    }
    text = ToAnsiBytes(text);
  }
  std::cout << text << std::flush;
  return std::cout ? kExitOk : kExitFailed;
}

}  // namespace edi::cli
