// A dry run: the transfer run of a center done completely, but into a test folder. The
// driver runs the same steps; the context points every folder of the run into the test
// folder, keeps the history out of the database and turns the sending into files there.
//
// The test folder of a center (root below), as a dry run leaves it:
//   param/    the parameter file of the package (EDI<serial>.INI)
//   status/   the package's status file
//   out/      the package's output (the in-house .LOC files) and the conversion results
//             (.CII, .XML): what the run's EDIOUTFIL would hold. The package writes into its
//             own output folder as always; the files named with the dry run's serial are moved
//             from there into out/ as soon as the package ends.
//   old/      the backup copy of out/ (what OLD_FILE would receive)
//   send/     method "Z": the file that would be handed to the package, under the name of
//             its KMX送信ファイルパス
//   mail/     method "M": the message that would be sent, as <attachment name>.eml
//   ERR.LOG   the translation log of the run
// The serial in the names is the one the next real run would take; it is not taken.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "app/settings.h"

namespace edi::run {

struct DryRunFolders {
  std::filesystem::path root;
  PathSettings paths;                    // EDIOUTFIL, EDIINFIL, OLD_FILE, MGSTPATH, ERRLOG inside root
  std::filesystem::path paramFolder;     // in place of PRPATH
  std::filesystem::path sendFolder;      // in place of the folder of KMX送信ファイルパス
  std::filesystem::path mailFolder;      // in place of the mail server
  std::filesystem::path errLog;          // in place of ERR.LOG
  mutable std::int16_t lastBranch = 0;   // the history branches the run would have added
};

// Makes the folders of a center's dry run below root (created, or emptied when they hold
// files of an earlier dry run). Throws std::filesystem::filesystem_error.
DryRunFolders MakeDryRunFolders(const std::filesystem::path& root);

// The test folder of a pass: <base>/<yyyymmdd-hhmmss>, with "-2", "-3" ... when that exists.
std::filesystem::path NewDryRunFolder(const std::filesystem::path& base);

// Moves the package's files of this center and serial (serial + "_SND_" + center field + …)
// from the real output folder into the test folder's out/, and copies the center's unnumbered
// 9001 file there (the conversion adopts it; the real one stays for the real run). Returns a
// line for each file that could not be taken.
std::vector<std::string> TakeDryRunOutput(const PathSettings& real, const DryRunFolders& dry,
                                          const std::string& centerCode, long long serial);

// The text that marks every console line of a dry run.
const char* DryRunMark();

}  // namespace edi::run
