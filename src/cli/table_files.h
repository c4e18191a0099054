// What `edi format` and `edi center` share: the --encoding option and how an export or an
// import of table files is reported (counts on stdout, refusals with file, line and column).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cii/csv_table.h"

namespace edi::cli {

// The action word of a command group (export, import, check) taken out of args. Without one,
// or with --help, prints the usage and returns the exit code (2 without an action, 0 for help).
std::optional<int> TakeAction(std::vector<std::string>& args, const char* usage, std::string& action);

// --encoding cp932|utf-8 (fallback when absent). Throws UsageError on another value.
cii::CsvEncoding TakeEncoding(std::vector<std::string>& args, cii::CsvEncoding fallback);

// Runs the export: a line per file written; exit 2 when the folder cannot be used, 1 when
// the export was refused or the database failed.
int ReportExport(const std::string& command, const std::function<std::vector<cii::TableCount>()>& exportFiles);

// The import's outcome: warnings, then every problem (exit 2 when a file or the folder cannot
// be used, 1 otherwise), or a line per table loaded.
int ReportImport(const std::string& command, const cii::ImportResult& result);

}  // namespace edi::cli
