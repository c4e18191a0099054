#include <iostream>

#include "app/catalogue.h"
#include "app/database.h"
#include "app/ini_file.h"
#include "app/settings.h"
#include "app/messages.h"
#include "cli/cli.h"

namespace edi::cli {

std::optional<std::string> TakeOption(std::vector<std::string>& args, const std::string& name) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == name) {
      if (i + 1 >= args.size()) throw UsageError(TrArgs("{1} には値が要ります", {name}));
      std::string value = args[i + 1];
      args.erase(args.begin() + i, args.begin() + i + 2);
      return value;
    }
    if (args[i].rfind(name + "=", 0) == 0) {
      std::string value = args[i].substr(name.size() + 1);
      args.erase(args.begin() + i);
      return value;
    }
  }
  return std::nullopt;
}

bool TakeFlag(std::vector<std::string>& args, const std::string& name) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == name) {
      args.erase(args.begin() + i);
      return true;
    }
  }
  return false;
}

std::unique_ptr<Database> OpenConfiguredDatabase(const CliOptions& options, bool createMissingFile) {
  const std::string exeFolder = ExecutableFolder();
  auto ini = LocateIniFile(options.iniPath, exeFolder);
  if (!ini) {
    std::cerr << Tr("INIﾌｧｲﾙ読込エラー") << "\n"
              << "edi: " << TrArgs("{1} の二つ上のフォルダに設定ファイルがありません", {exeFolder}) << "\n";
    return nullptr;
  }
  if (IniFile(*ini).refused()) {
    std::cerr << Tr("INIﾌｧｲﾙ読込エラー") << "\n" << "edi: " << TrArgs("{1} は設定ファイルではありません", {ini->string()}) << "\n";
    return nullptr;
  }
  DatabaseTarget target = MakeDatabaseTarget(ReadConnectionSettings(IniFile(*ini)));
  if (createMissingFile) target.sqliteFileMustExist.clear();
  try {
    return Database::Open(target);
  } catch (const DatabaseError& e) {
    std::cerr << Tr("接続エラー") << "\n" << "edi: " << target.description << ": " << e.what() << "\n";
    return nullptr;
  }
}

std::optional<int> StartWorkstation(Workstation& ws, const CliOptions& options, bool loadCenters) {
  StartOptions start;
  start.exeFolder = ExecutableFolder();
  start.iniPath = options.iniPath;
  start.terminalName = options.terminalName;
  auto failure = InitializeWorkstation(ws, start);
  if (!failure && loadCenters) failure = LoadCenters(ws);
  if (failure) {
    std::cerr << Tr(failure->message.c_str()) << "\n";
    if (!failure->detail.empty()) std::cerr << "edi: " << failure->detail << "\n";
    return kExitUsage;
  }
  if (options.operatorCode) ws.operatorCode = IdentifyOperator(*options.operatorCode);
  return std::nullopt;
}

std::optional<int> CheckUnattended(const Workstation& ws) {
  if (auto failure = CheckUnattendedSettings(ws)) {
    std::cerr << Tr(failure->message.c_str()) << "\n" << "edi: " << failure->detail << "\n";
    return kExitUsage;
  }
  return std::nullopt;
}

}  // namespace edi::cli
