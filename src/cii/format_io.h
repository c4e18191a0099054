// The three translator masters (FL1916メッセージグループ情報マスタ, FL1902フォーマット情報マスタ,
// FL1903レコードフォーマット情報マスタ) as CSV files that a person can keep, edit in a
// spreadsheet and load again: one file per table, a header row with the column names, rows in
// a stable order. An empty unquoted field is a null; "" is an empty text.
//
// Import checks every file completely before it touches the database and then loads all rows
// in one transaction, so a refused or failed import leaves the database as it was.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace edi {
class Database;
}

namespace edi::cii {

// Which formats a command works on: all, or those of one 情報区分 and/or BPID.
struct FormatFilter {
  std::optional<std::string> category;
  std::optional<std::string> bpid;
};

// Auto (import only): a file with a UTF-8 byte order mark, or one that is valid UTF-8
// throughout, is read as UTF-8; anything else as CP932.
enum class CsvEncoding { Auto, Cp932, Utf8 };

// A text as one quoted CSV field (quotes doubled), as libcsv writes it.
std::string CsvQuoted(std::string_view text);

// The three tables, in the order in which they are written and loaded.
const std::vector<std::string>& FormatTables();
// The file of a table in an export folder: the table name + ".csv".
std::string FormatFileName(const std::string& table);

struct TableCount {
  std::string table;
  int rows = 0;
};

// Writes the rows that the filter selects into dir (created when missing), one file per
// table, CR LF line ends. Throws DatabaseError on a database fault and std::runtime_error
// when a file cannot be written or a value cannot be held by the encoding.
std::vector<TableCount> ExportFormats(Database& db, const std::filesystem::path& dir, const FormatFilter& filter,
                                      CsvEncoding encoding);

// One reason for refusing an import. line 0: the file as a whole (or, with an empty file, the
// database); column empty: the row as a whole.
struct ImportProblem {
  std::string file;
  long long line = 0;
  std::string column;
  std::string message;
};
// "FILE:LINE: COLUMN: message" (the parts that are present).
std::string Describe(const ImportProblem& problem);

struct ImportOptions {
  bool replace = false;  // an existing format (or message group) is replaced instead of refused
  CsvEncoding encoding = CsvEncoding::Auto;
};

struct ImportResult {
  std::vector<ImportProblem> problems;  // not empty: nothing was loaded
  std::vector<TableCount> loaded;
  bool ok() const { return problems.empty(); }
};

// Loads the table files found in dir (at least one). Without replace, a key that is already
// in the database is refused: a format (情報区分コード and BPID) in FL1902 or FL1903, a
// message group (相手先コード, 自社コード, 情報区分) in FL1916. With replace, those rows are
// deleted first. Database faults become a problem too (after a rollback).
ImportResult ImportFormats(Database& db, const std::filesystem::path& dir, const ImportOptions& options);

}  // namespace edi::cii
