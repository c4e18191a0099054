#include "app/workstation.h"

#include "app/catalogue.h"
#include "app/messages.h"
#include "app/profile.h"
#include "app/text.h"
#include "app/unattended_settings.h"
#include "platform/paths.h"

namespace edi {

// The platform layer resolves every link: a command on the search path that is a link to the
// program (/usr/bin/edi) yields the program's own folder, so the folder rule finds EDI.ini
// two folders above the program, not above the link.
std::string ExecutableFolder() { return platform::ExecutableFolder(); }

std::string IdentifyOperator(const std::string& commandLine) {
  size_t b = commandLine.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = commandLine.find_last_not_of(" \t");
  return commandLine.substr(b, e - b + 1);
}

std::optional<StartupFailure> InitializeWorkstation(Workstation& ws, const StartOptions& options) {
  // 1. The connection settings. Only a folder that cannot be derived fails here: a missing
  //    file gives empty values and the connection below fails instead.
  auto iniPath = LocateIniFile(options.iniPath, options.exeFolder);
  if (!iniPath)
    return StartupFailure{msg::kIniReadError, TrArgs("{1} の二つ上のフォルダに設定ファイルがありません", {options.exeFolder})};
  ws.iniPath = *iniPath;
  const IniFile ini(ws.iniPath);
  if (ini.refused())
    return StartupFailure{msg::kIniReadError,
                          TrArgs("{1} は設定ファイルではありません (通常のファイルでないか、{2} バイトより大きいです)",
                                 {ws.iniPath.string(), std::to_string(IniFile::kMaxBytes)})};
  ws.connection = ReadConnectionSettings(ini);

  // 2. The workstation: the computer name is the terminal name.
  Profile profile;
  ws.terminalName = options.terminalName ? *options.terminalName : profile.machine();

  // 3. The one database connection.
  DatabaseTarget target = MakeDatabaseTarget(ws.connection);
  try {
    ws.db = Database::Open(target);
  } catch (const DatabaseError& e) {
    std::string detail = target.description + ": " + e.what();
    if (!ini.exists()) detail = ws.iniPath.string() + " not found; " + detail;
    return StartupFailure{msg::kConnectError, detail};
  }

  // 4. The program settings.
  try {
    ws.settings = ReadProgramSettings(ini);
  } catch (const SettingsError& e) {
    return StartupFailure{msg::kIniReadError, TrArgs("{1} ({2})", {e.what(), ws.iniPath.string()})};
  }
  ws.errLogPath = ws.settings.paths.errLog.empty() ? std::filesystem::path(options.exeFolder) / "ERR.LOG"
                                                   : std::filesystem::path(ws.settings.paths.errLog);
  return std::nullopt;
}

std::optional<StartupFailure> LoadCenters(Workstation& ws) {
  ws.colours = LoadStatusColours(ws.ini());
  std::vector<CenterRow> rows;
  try {
    rows = QueryCenters(*ws.db, ws.terminalName);
  } catch (const DatabaseError& e) {
    std::string detail = e.what();
    auto missing = MissingTables(*ws.db);
    if (!missing.empty()) {
      std::string tables;
      for (const auto& t : missing) tables += " " + t;
      detail = TrArgs("テーブルがありません:{1} (`edi db init` を実行してください)", {tables});
    }
    return StartupFailure{msg::kNoData, detail};
  }
  if (rows.empty())
    return StartupFailure{msg::kNoData, TrArgs("FL1903EDI制御マスタに端末 \"{1}\" のセンターがありません", {ws.terminalName})};
  ws.centers.Replace(std::move(rows));
  return std::nullopt;
}

std::optional<StartupFailure> CheckUnattendedSettings(const Workstation& ws) {
  try {
    ReadUnattendedSettings(ws.ini());
  } catch (const SettingsError& e) {
    return StartupFailure{msg::kIniReadError, e.what()};
  }
  return std::nullopt;
}

}  // namespace edi
