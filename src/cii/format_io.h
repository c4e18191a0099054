// The three translator masters (FL1916メッセージグループ情報マスタ, FL1902フォーマット情報マスタ,
// FL1903レコードフォーマット情報マスタ) as CSV files that a person can keep, edit in a
// spreadsheet and load again, with the conventions of cii/csv_table.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cii/csv_table.h"

namespace edi::cii {

// Which formats a command works on: all, or those of one 情報区分 and/or BPID.
struct FormatFilter {
  std::optional<std::string> category;
  std::optional<std::string> bpid;
};

// The three tables, in the order in which they are written and loaded.
const std::vector<std::string>& FormatTables();
// The file of a table in an export folder: the table name + ".csv".
inline std::string FormatFileName(const std::string& table) { return TableFileName(table); }

// Writes the rows that the filter selects into dir (created when missing), one file per
// table, CR LF line ends. All files or none: each is written under a temporary name and the
// three are put in place together; a failure puts back the files that were there. Table files
// already in the folder are refused unless overwrite; a link at a file's name is always
// refused. Throws DatabaseError on a database fault, ExportRefused and ExportFolderError.
std::vector<TableCount> ExportFormats(Database& db, const std::filesystem::path& dir, const FormatFilter& filter,
                                      CsvEncoding encoding, bool overwrite = false);

// Loads the table files found in dir (at least one), as ImportTables. Without replace, a key
// that is already in the database is refused: a format (情報区分コード and BPID) in FL1902 or FL1903, a
// message group (相手先コード, 自社コード, 情報区分) in FL1916. With replace, those rows are
// deleted first. Database faults become a problem too (after a rollback).
//
// The files are read as streams, twice (checked whole, then loaded), so memory does not grow
// with their size; rows go into the database many to a statement. A name that is a folder, a
// pipe or a link to nothing is refused. A final Ctrl-Z (an end-of-file mark) is ignored.
ImportResult ImportFormats(Database& db, const std::filesystem::path& dir, const ImportOptions& options);

}  // namespace edi::cii
