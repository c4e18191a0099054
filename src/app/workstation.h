// The process-wide state of the workstation, and its start-up up to a loaded center list.
//
// One Workstation object holds what the original kept in globals: the settings, the terminal
// name, the database connection, the colours, the center rows and the operator code. It is
// made once by the program (the window or the `edi` command) and passed to whoever needs it.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/center_rows.h"
#include "app/database.h"
#include "app/ini_file.h"
#include "app/settings.h"

namespace edi {

struct StartOptions {
  std::string exeFolder;                      // folder of the running program
  std::optional<std::string> iniPath;         // --ini, else EDI_INI, else the folder rule
  std::optional<std::string> terminalName;    // replaces the computer name (edi --terminal)
};

// A start-up failure: the operator's message (one of msg::…) and a technical detail for
// stderr (for example the missing table or the backend's error text).
struct StartupFailure {
  std::string message;
  std::string detail;
};

struct Workstation {
  std::filesystem::path iniPath;        // may not exist: then every value is empty
  ConnectionSettings connection;
  std::string terminalName;
  std::unique_ptr<Database> db;
  ProgramSettings settings;
  StatusColours colours;
  CenterRows centers;
  std::string operatorCode;

  IniFile ini() const { return IniFile(iniPath); }
  // The translation log file: PATH ERRLOG, or ERR.LOG beside the program.
  std::filesystem::path errLogPath;
};

// Reading the connection settings, identifying the workstation, opening the database and
// reading the program settings. nullopt on success.
std::optional<StartupFailure> InitializeWorkstation(Workstation& ws, const StartOptions& options);

// Sections RETRY and ALERT: msg::kIniReadError naming the key when a number is not one
// (the programs that run transfers check this at their start).
std::optional<StartupFailure> CheckUnattendedSettings(const Workstation& ws);

// The colours and the center list. On no row: msg::kNoData.
std::optional<StartupFailure> LoadCenters(Workstation& ws);

// The operator code: the whole command line, trimmed.
std::string IdentifyOperator(const std::string& commandLine);

// The folder of the running executable (from /proc/self/exe).
std::string ExecutableFolder();

}  // namespace edi
