// edi db init: creates the workstation's tables in the configured database.
#include <iostream>

#include "cli/cli.h"

namespace edi::cli {

int CmdDb(CliOptions& options) {
  if (options.args.size() != 1 || options.args[0] != "init") throw UsageError("usage: edi db init");
  StartOptions start;
  start.exeFolder = ExecutableFolder();
  start.iniPath = options.iniPath;
  // The program settings are not needed to create tables; only the connection is.
  auto ini = LocateIniFile(options.iniPath, start.exeFolder);
  if (!ini) {
    std::cerr << "INIﾌｧｲﾙ読込エラー\n" << "edi: no configuration folder two levels above " << start.exeFolder << "\n";
    return kExitUsage;
  }
  if (IniFile(*ini).refused()) {
    std::cerr << "INIﾌｧｲﾙ読込エラー\n" << "edi: " << ini->string() << " is not a configuration file\n";
    return kExitUsage;
  }
  DatabaseTarget target = MakeDatabaseTarget(ReadConnectionSettings(IniFile(*ini)));
  try {
    auto db = Database::Open(target);
    CreateSchema(*db);
    std::cout << "tables ready in " << target.description << "\n";
    return kExitOk;
  } catch (const DatabaseError& e) {
    std::cerr << "接続エラー\n" << "edi: " << target.description << ": " << e.what() << "\n";
    return kExitUsage;
  }
}

}  // namespace edi::cli
