// edi db init: creates the workstation's tables in the configured database.
#include <iostream>

#include "app/catalogue.h"
#include "app/database.h"
#include "cli/cli.h"

namespace edi::cli {

int CmdDb(CliOptions& options) {
  if (options.args.size() != 1 || options.args[0] != "init") throw UsageError(Tr("使い方: edi db init"));
  // The program settings are not needed to create tables; only the connection is.
  auto db = OpenConfiguredDatabase(options, /*createMissingFile=*/true);
  if (!db) return kExitUsage;
  try {
    CreateSchema(*db);
    std::cout << TrArgs("{1} にテーブルを用意しました", {db->target().description}) << "\n";
    return kExitOk;
  } catch (const DatabaseError& e) {
    std::cerr << Tr("接続エラー") << "\n" << "edi: " << db->target().description << ": " << e.what() << "\n";
    return kExitUsage;
  }
}

}  // namespace edi::cli
