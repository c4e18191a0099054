// What the steps of a transfer run share: the workstation (settings, database, rows), the
// listener that shows progress, and the one translator whose state outlives each call.
#pragma once

#include <filesystem>
#include <set>
#include <string>

#include "app/workstation.h"
#include "cii/translator.h"
#include "run/dry_run.h"
#include "run/history.h"
#include "run/run_driver.h"
#include "run/run_stop.h"

namespace edi::run {

struct RunContext {
  Workstation& ws;
  RunListener& listener;
  cii::Translator& translator;
  RunStop* stop = nullptr;  // a stop asked from outside; none: the run cannot be stopped
  // A dry run: the folders of its test folder; none for a real run.
  const DryRunFolders* dryRun = nullptr;

  Database& db() const { return *ws.db; }
  bool stopped() const { return stop && stop->requested(); }
  // The run's folders: EDI.ini's, or the test folder's in a dry run.
  const PathSettings& paths() const { return dryRun ? dryRun->paths : ws.settings.paths; }
  // Section PATH's package keys, read now (the parameter folder is the test folder's in a dry run).
  PackageSettings package() const;
  // The history operations of the steps; a dry run writes no row and numbers the branches itself.
  void AddBranch(HistoryBranchRecord& rec) const;
  void Finish(HistoryRecord& rec) const;
  void Log(const std::string& line) const { listener.Log(line); }
  // A failed step's reason in ERR.LOG under the run's serial (one line: the step's end code,
  // the step, the file, the system's message), so that the history shows it with the run.
  // The caller logs its own line for the console and the window; a log that cannot be
  // written is said there too.
  void LogFault(std::int32_t serial, const std::string& code, const std::string& step, const std::string& file,
                const std::string& reason) const;
};

// True when the code, read as a number, is zero ("0000", "0"); false for any other text.
bool IsZeroCode(const std::string& code);

// A folder prefix from EDI.ini ("…/out/") joined with a file name.
std::filesystem::path InFolder(const std::string& folderPrefix, const std::string& name);
// The folder of a prefix: the prefix without its last character (the trailing "/").
std::filesystem::path PrefixFolder(const std::string& folderPrefix);

// Names of the regular files in the folder whose names begin with the prefix, compared
// ASCII-case-insensitively (like a wildcard search), sorted by name. Throws
// std::filesystem::filesystem_error when the folder cannot be read.
std::vector<std::string> ListFilesWithPrefix(const std::filesystem::path& folder, const std::string& prefix);

// The serials that files in EDIOUTFIL, OLD_FILE and EDIINFIL carry (names that begin with
// digits and "_"): serials that earlier runs used. Folders that cannot be read count as
// holding none.
std::set<long long> SerialsWithFiles(const PathSettings& paths);

}  // namespace edi::run
