// The settings of EDI.ini: where the file is, what each section holds, and the conversions
// of its values. Every reader takes the IniFile it reads from; nothing here writes the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/ini_file.h"

namespace edi {

// The folder rule: the executable's folder is cut just before its second-to-last "/" and
// "/EDI.ini" is appended. A folder with fewer than two "/" has no configuration folder.
std::optional<std::filesystem::path> ResolveConfigFolder(const std::string& exeFolder);

// Where EDI.ini is: `--ini PATH` first, then the environment variable EDI_INI, then the
// folder rule. nullopt when none of them gives a place.
std::optional<std::filesystem::path> LocateIniFile(const std::optional<std::string>& iniOption,
                                                   const std::string& exeFolder);

// Section 動作環境: the connection. USERID, PASSWD and DBSTRING are kept as fixed 50-character
// fields (cut or space-padded) like the original record; the connection trims them.
struct ConnectionSettings {
  std::string userId;    // 50 characters
  std::string password;  // 50 characters
  std::string dbString;  // 50 characters: ODBC data source name
  std::string dbEngine;  // ODBC (default), SQLITE, POSTGRESQL
  std::string dbFile;    // SQLite file, made absolute against the folder of EDI.ini
  std::string dbConnect; // PostgreSQL "host=... port=... dbname=..."
};
ConnectionSettings ReadConnectionSettings(const IniFile& ini);

struct FontSettings {
  std::string bold, italic, name, size, strikethru, underline;
};
struct ControlLook {
  double backColor = 0;
  double foreColor = 0;
  FontSettings font;
};
struct DisplaySettings {
  std::string formBackColor;
  ControlLook label, text, title;
  double textFocusColor = 0;
};

// Section PATH as read by ReadProgramSettings. Folder prefixes end with "/" in EDI.ini;
// a relative value is taken relative to the folder of EDI.ini.
struct PathSettings {
  std::string inFolder;     // EDIINFIL: prefix of received files
  std::string outFolder;    // EDIOUTFIL: prefix of send files
  std::string statusFolder; // MGSTPATH: folder of the package status file (no trailing "/")
  std::string oldFolder;    // OLD_FILE: backup prefix
  std::string errLog;       // ERRLOG: translation log file; empty = ERR.LOG beside the program
};

struct ProgramSettings {
  DisplaySettings display;
  std::int16_t minimize = 0;  // P113010 MINIMAIZE
  std::int16_t demoMode = 0;  // P113010 DEMOMODE
  PathSettings paths;
  std::filesystem::path configFolder;  // folder of EDI.ini, kept for the mail settings
};

// Sections Setting0, P113010 and PATH. Throws SettingsError naming the key when a mandatory
// value is missing or does not convert.
ProgramSettings ReadProgramSettings(const IniFile& ini);

struct StatusColours {
  std::uint32_t normal = 0;      // 通常
  std::uint32_t error = 0;       // エラー
  std::uint32_t processed = 0;   // 処理済
  std::uint32_t processing = 0;  // 処理中
  std::uint32_t ForState(int rowState) const;
};
StatusColours LoadStatusColours(const IniFile& ini);

// PATH keys the extraction step re-reads at every call, and the section JKBN_J_S.
struct PackageSettings {
  std::string paramFolder;   // PRPATH
  std::string commandLine;   // MGCMDLINEZS
  std::string historyPrefix; // FL1102_FILE
  int timeoutSeconds = 0;    // MGTIMEOUT; 0 waits without limit
  bool sendKeep = false;     // SENDKEEP=1: the package leaves sent files at the send path, so
                             // a hand-off overwrites what is there (no waiting-result check)
  std::vector<std::string> defaultInfoCodes;  // JKBN_J_S, in section order
};
PackageSettings ReadPackageSettings(const IniFile& ini);

struct SettingsError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Conversions.
// A locale-aware number: decimal (sign, digits, one decimal point) or &H hexadecimal.
std::optional<double> ParseMandatoryNumber(const std::string& text);
// A 16-bit signed integer (decimal or &H); nullopt when empty, not a number or out of range.
std::optional<std::int16_t> ParseInt16(const std::string& text);
// The leading number of the text (decimal or &H); 0 when the text does not start with one.
double LeadingNumber(const std::string& text);

// Makes a folder value from EDI.ini absolute against the folder of EDI.ini.
std::string ResolveAgainst(const std::filesystem::path& base, const std::string& value);

}  // namespace edi
