// edi history [--serial N] [--from DATE] [--to DATE] [--center CODE] [--failed] [--open]:
// the processing history, newest run first, each run's branches in order (branch 0 is the
// run as a whole). The filters choose runs the way the history window does.
// edi history close SERIAL: closes a run left open by a kill or a power loss as abandoned.
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

#include "app/catalogue.h"
#include "app/database.h"
#include "cli/cli.h"
#include "run/history_query.h"
#include "run/run_close.h"

namespace edi::cli {
namespace {

const char* Usage() {
  return Tr("使い方: edi history [--serial N] [--from DATE] [--to DATE] [--center CODE] [--failed] [--open]\n"
            "  DATE: yyyy/mm/dd, yyyy-mm-dd または yyyymmdd (実行の開始日。両端を含みます)\n"
            "       edi history close SERIAL   (終了していない実行を放棄として閉じます: 終了コード 9900/9901)\n");
}

const char* const kColumns[] = {"通番",         "枝番",         "送受信種別",   "相手先種別",   "処理種別",
                                "センターコード", "処理開始日付", "処理開始時刻", "処理終了日付", "処理終了時刻",
                                "相手先企業コード", "BPID",       "取引情報区分", "入力レコード数", "出力レコード数",
                                "格納モード",   "終了コード",   "詳細コード",   "ファイル名"};

void PrintBranches(Database& db, std::int32_t serial) {
  for (const auto& b : run::QueryBranches(db, serial)) {
    const std::string values[] = {std::to_string(b.serial), std::to_string(b.branch), b.direction, b.partnerKind,
                                  b.workKind, b.centerCode, b.startDate, b.startTime, b.endDate, b.endTime,
                                  b.partnerCompany, b.bpid, b.infoCategory, b.inputRecords, b.outputRecords,
                                  b.storageMode, b.endCode, b.detailCode, b.fileName};
    std::string line;
    for (const auto& v : values) line += (line.empty() ? "" : "\t") + v;
    std::cout << line << "\n";
  }
}

std::string DateOption(std::vector<std::string>& args, const std::string& name) {
  auto value = TakeOption(args, name);
  if (!value) return {};
  auto date = run::NormalizeHistoryDate(*value);
  if (!date) throw UsageError(TrArgs("{1} には日付 (yyyy/mm/dd) を指定します: {2}", {name, *value}));
  return *date;
}

int CloseRun(CliOptions& options) {
  long long serial = 0;
  try {
    if (options.args.size() != 2) throw UsageError(Tr("close には通番を一つ指定します"));
    std::size_t used = 0;
    serial = std::stoll(options.args[1], &used);
    if (used != options.args[1].size() || serial < 1 || serial > INT32_MAX) throw UsageError(Tr("close には通番を一つ指定します"));
  } catch (const std::logic_error& e) {
    std::cerr << "edi history: " << e.what() << "\n" << Usage();
    return kExitUsage;
  }
  Workstation ws;
  if (auto failed = StartWorkstation(ws, options, false)) return *failed;
  const run::CloseOutcome outcome = run::CloseAbandonedRun(*ws.db, static_cast<std::int32_t>(serial), ws.errLogPath);
  (outcome.closed ? std::cout : std::cerr) << (outcome.closed ? "" : "edi history: ") << outcome.message << "\n";
  return outcome.closed ? kExitOk : kExitFailed;
}

}  // namespace

int CmdHistory(CliOptions& options) {
  if (!options.args.empty() && options.args.front() == "purge") {
    options.args.erase(options.args.begin());
    return CmdHistoryPurge(options);
  }
  if (TakeFlag(options.args, "--help") || TakeFlag(options.args, "-h")) {
    std::cout << Usage();
    return kExitOk;
  }
  if (!options.args.empty() && options.args[0] == "close") return CloseRun(options);
  std::optional<long long> serial;
  run::HistoryFilter filter;
  try {
    if (auto v = TakeOption(options.args, "--serial")) {
      std::size_t used = 0;
      serial = std::stoll(*v, &used);
      if (used != v->size() || *serial < 0 || *serial > INT32_MAX) throw UsageError(Tr("--serial には番号を指定します"));
    }
    filter.fromDate = DateOption(options.args, "--from");
    filter.toDate = DateOption(options.args, "--to");
    if (auto center = TakeOption(options.args, "--center")) filter.centerCode = *center;
    filter.failedOnly = TakeFlag(options.args, "--failed");
    filter.openOnly = TakeFlag(options.args, "--open");
  } catch (const std::logic_error& e) {
    std::cerr << "edi history: " << e.what() << "\n" << Usage();
    return kExitUsage;
  }
  if (!options.args.empty()) {
    std::cerr << Usage();
    return kExitUsage;
  }
  Workstation ws;
  if (auto failed = StartWorkstation(ws, options, false)) return *failed;

  std::string header;
  for (const char* c : kColumns) header += (header.empty() ? "" : "\t") + std::string(c);
  try {
    std::cout << header << "\n";
    if (serial) {
      PrintBranches(*ws.db, static_cast<std::int32_t>(*serial));
      return kExitOk;
    }
    // Page by page, so that a long history streams out without being held in memory.
    std::optional<std::int32_t> below;
    for (;;) {
      auto runs = run::QueryRuns(*ws.db, filter, below);
      for (const auto& r : runs) PrintBranches(*ws.db, r.serial);
      if (runs.size() < static_cast<std::size_t>(run::kRunPageSize)) break;
      below = runs.back().serial;
    }
  } catch (const DatabaseError& e) {
    std::cerr << "edi history: " << e.what() << "\n";
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace edi::cli
