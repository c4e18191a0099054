// edi history [--serial N]: the processing history, newest serial first, each serial's
// branches in order (branch 0 is the run as a whole).
#include <iostream>
#include <string>
#include <vector>

#include "app/database.h"
#include "cli/cli.h"

namespace edi::cli {

int CmdHistory(CliOptions& options) {
  if (TakeFlag(options.args, "--help") || TakeFlag(options.args, "-h")) {
    std::cout << "usage: edi history [--serial N]\n";
    return kExitOk;
  }
  std::optional<long long> serial;
  try {
    if (auto v = TakeOption(options.args, "--serial")) {
      std::size_t used = 0;
      serial = std::stoll(*v, &used);
      if (used != v->size() || *serial < 0) throw UsageError("--serial needs a number");
    }
  } catch (const std::logic_error&) {
    std::cerr << "usage: edi history [--serial N]\n";
    return kExitUsage;
  }
  if (!options.args.empty()) {
    std::cerr << "usage: edi history [--serial N]\n";
    return kExitUsage;
  }
  Workstation ws;
  if (auto failed = StartWorkstation(ws, options, false)) return *failed;

  const std::vector<std::string> columns = {
      "通番",         "枝番",         "送受信種別",   "相手先種別",   "処理種別",         "センターコード",
      "処理開始日付", "処理開始時刻", "処理終了日付", "処理終了時刻", "相手先企業コード", "BPID",
      "取引情報区分", "入力レコード数", "出力レコード数", "格納モード", "終了コード",       "詳細コード",
      "ファイル名"};
  std::string select;
  for (const auto& c : columns) select += (select.empty() ? "" : ", ") + c;
  std::string sql = "SELECT " + select + " FROM FL1102処理履歴ファイル";
  std::vector<Param> params;
  if (serial) {
    sql += " WHERE 通番 = :1";
    params.push_back(*serial);
  }
  sql += " ORDER BY 通番 DESC, 枝番 ASC";
  std::vector<Row> rows;
  try {
    rows = ws.db->Query(sql, params);
  } catch (const DatabaseError& e) {
    std::cerr << "edi history: " << e.what() << "\n";
    return kExitFailed;
  }
  std::string header;
  for (const auto& c : columns) header += (header.empty() ? "" : "\t") + c;
  std::cout << header << "\n";
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < columns.size(); ++i) line += (i ? "\t" : "") + row.at(i).value_or("");
    std::cout << line << "\n";
  }
  return kExitOk;
}

}  // namespace edi::cli
