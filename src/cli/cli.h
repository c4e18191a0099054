// The `edi` command: shared option parsing and start-up, and one function per subcommand.
// Exit codes: 0 success, 1 the work ran and failed (an error code came out), 2 bad usage or
// a start-up failure (the operator's message on stderr), 3 nothing failed but a center was
// skipped because another run held it.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/workstation.h"

namespace edi::cli {

constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitSkipped = 3;

struct CliOptions {
  std::optional<std::string> iniPath;       // --ini PATH
  std::optional<std::string> terminalName;  // --terminal NAME
  std::optional<std::string> operatorCode;  // --operator CODE
  std::vector<std::string> args;            // what is left after the subcommand
};

// Start-up for a subcommand: settings and database; with loadCenters also the colours and
// this terminal's centers. On failure prints the message (and its detail) on stderr and
// returns kExitUsage.
std::optional<int> StartWorkstation(Workstation& ws, const CliOptions& options, bool loadCenters);

// Only the database connection named by EDI.ini (for commands that need no other setting).
// On failure prints the message and its detail on stderr and returns nullptr. A missing SQLite
// file is a connection error, unless createMissingFile (edi db init, the one command that makes one).
std::unique_ptr<Database> OpenConfiguredDatabase(const CliOptions& options, bool createMissingFile = false);

// Sections RETRY and ALERT of EDI.ini: on a value that is not a number prints the message and
// the key on stderr and returns kExitUsage.
std::optional<int> CheckUnattended(const Workstation& ws);

// Takes "--name VALUE" out of args; nullopt when absent. Throws UsageError when the value is missing.
std::optional<std::string> TakeOption(std::vector<std::string>& args, const std::string& name);
bool TakeFlag(std::vector<std::string>& args, const std::string& name);

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

int CmdDb(CliOptions& options);         // edi db init
int CmdTranslate(CliOptions& options);  // edi translate MODE IN OUT [--serial N]
int CmdDump(CliOptions& options);       // edi dump FILE
int CmdRun(CliOptions& options);        // edi run [--operator CODE] [--terminal NAME] (--all | CENTER...)
int CmdHistory(CliOptions& options);    // edi history [--serial N] [filters]
int CmdFormat(CliOptions& options);     // edi format (export DIR | import DIR | check)
int CmdCenter(CliOptions& options);     // edi center (export DIR | import DIR | check [CODE...])
int CmdCheck(CliOptions& options);      // edi check FILE [--format csv]
int CmdResend(CliOptions& options);     // edi resend SERIAL [--force]
int CmdReport(CliOptions& options);     // edi report [--from DATE] [--to DATE] [--center CODE] [--format F]
int CmdHistoryPurge(CliOptions& options);  // edi history purge --before DATE [--archive DIR]
int CmdRetry(CliOptions& options);      // edi retry
int CmdAlert(CliOptions& options);      // edi alert --test

}  // namespace edi::cli
