// Retention of the processing history: `edi history purge --before DATE [--archive DIR]`.
//
// Removes the runs whose branch 0 ended before DATE (earlier than the date, not on it) with
// all their branches, in one transaction; never an open run (nor one with a branch still
// open: a resend working now), never a run that started inside the automatic-retry window. With an archive folder the removed rows are written there as a
// CSV file first (the history table's column names as its header) and the backup folder's
// files of the removed serials are moved there; without one those files are removed. ERR.LOG
// keeps everything from the first start line dated on or after DATE and is rewritten whole;
// the part before goes to the archive.
//
// All or nothing across the database, the backup folder and ERR.LOG:
//   1. everything new is written first under temporary names: the archive as a hidden folder
//      ".purge-STAMP.tmp" in the archive folder (CSV, the old part of ERR.LOG, links or copies
//      of the backup files), the new ERR.LOG as "ERR.LOG.purge-new"; all flushed to the disk;
//   2. a journal "ERR.LOG.purge" beside ERR.LOG names those files and one removed run (serial,
//      start date and time) that tells afterwards whether the deletion was committed;
//   3. the rows are deleted and the transaction committed (a stop asked before this point,
//      and any fault, take everything back: the database, the backup folder and ERR.LOG stay
//      as they were);
//   4. the archive folder is renamed into place, the backup files are removed, the new
//      ERR.LOG is renamed over the old one (lines appended meanwhile carried over), and the
//      journal is removed.
// A crash (SIGKILL, a power loss) leaves the journal. The next purge reads it first: when the
// run it names is still in the history nothing was committed and the temporary files are
// removed; otherwise step 4 is finished. Either way everything ends all as before or all as after.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace edi {
class Database;
}

namespace edi::run {

struct PurgeRequest {
  std::string beforeDate;                // "yyyy/mm/dd": runs that ended before it
  std::filesystem::path archiveFolder;   // empty: no archive (backup files are removed)
  std::filesystem::path errLog;          // the translation log
  std::string backupFolder;              // OLD_FILE (a folder prefix ending with "/"); empty: none
  std::optional<int> retryWindowHours;   // keep runs that started within these hours; nullopt: none
  std::string now;                       // "yyyy/mm/dd hh:nn:ss"; empty: the current local time
  // True when a stop was asked (a signal): looked at until the deletion is committed, after
  // which the purge finishes.
  std::function<bool()> stopRequested;
  // Test hook, called at each step ("prepared", "committed", "archived", "backups-removed"); a
  // crash there is simulated by throwing something that is not a std::exception.
  std::function<void(const char* step)> at;
};

struct PurgeReport {
  bool ok = false;
  bool committed = false;       // the runs were removed (ok false then: the finish failed; a rerun ends it)
  std::string error;            // what went wrong (ok false)
  std::string recovered;        // what was done about an interrupted earlier purge; empty: none
  long long runs = 0;           // runs removed
  long long rows = 0;           // history rows removed (every branch)
  long long keptOpen = 0;       // runs started before the date and still open
  long long keptRetry = 0;      // runs that ended before the date but started inside the retry window
  long long backupFiles = 0;    // backup files moved to the archive (or removed)
  long long logBytes = 0;       // bytes of ERR.LOG moved to the archive (or removed)
  std::filesystem::path archive;  // the archive folder of this purge; empty without one
};

PurgeReport PurgeHistory(Database& db, const PurgeRequest& request);

// The journal of an interrupted purge beside the log, and what the next purge does with it
// (PurgeHistory calls it first). Returns a sentence for the report; empty when there was none.
// Throws DatabaseError or std::filesystem::filesystem_error when it cannot be settled.
std::filesystem::path PurgeJournalPath(const std::filesystem::path& errLog);
std::string RecoverInterruptedPurge(Database& db, const std::filesystem::path& errLog);

// The history table's columns in table order: the archive's header.
extern const char* const kHistoryColumns[];
extern const int kHistoryColumnCount;

}  // namespace edi::run
