// The three translator masters (FL1916メッセージグループ情報マスタ, FL1902フォーマット情報マスタ,
// FL1903レコードフォーマット情報マスタ) as CSV files that a person can keep, edit in a
// spreadsheet and load again: one file per table, a header row with the column names, rows in
// a stable order.
//
// Cells are written so that a spreadsheet shows every value as text and hands it back
// unchanged: a text that begins with "=", "+", "-", "@", a tab, a CR or an apostrophe gets one
// apostrophe in front (a spreadsheet would otherwise run it as a formula), and an empty text is
// written as a lone apostrophe. A null is an empty cell. Import takes one leading apostrophe off
// every cell, so every value comes back as it went out. An empty cell is a null, quoted or not,
// except that "" stays an empty text in a file whose header row is not quoted (files written
// before empty texts were written as an apostrophe); a spreadsheet that quotes every cell
// quotes the header row too, and its "" are the nulls it was given.
//
// Import checks every file completely before it touches the database and then loads all rows
// in one transaction, so a refused or failed import leaves the database as it was.
#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
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
// The text with an apostrophe in front when a spreadsheet would take it for a formula or
// when it begins with an apostrophe itself; otherwise unchanged.
std::string SpreadsheetSafe(std::string_view text);
// A value for a message a person reads: in quotes, control characters as <XX>, and a value
// longer than maxBytes cut (at a character) with its length in bytes after it.
std::string Echo(std::string_view utf8, std::size_t maxBytes = 60);

// The three tables, in the order in which they are written and loaded.
const std::vector<std::string>& FormatTables();
// The file of a table in an export folder: the table name + ".csv".
std::string FormatFileName(const std::string& table);

struct TableCount {
  std::string table;
  int rows = 0;
};

// An export that was refused (the files are left as they were): files already in the folder
// without overwrite, a filter that matches no row, a value the encoding cannot hold.
struct ExportRefused : std::runtime_error {
  using std::runtime_error::runtime_error;
};
// The folder or a file in it cannot be used (not a folder, cannot be created or written).
struct ExportFolderError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Writes the rows that the filter selects into dir (created when missing), one file per
// table, CR LF line ends. All files or none: each is written under a temporary name and the
// three are put in place together; a failure puts back the files that were there. Table files
// already in the folder are refused unless overwrite; a link at a file's name is always
// refused. Throws DatabaseError on a database fault, ExportRefused and ExportFolderError.
std::vector<TableCount> ExportFormats(Database& db, const std::filesystem::path& dir, const FormatFilter& filter,
                                      CsvEncoding encoding, bool overwrite = false);

// One reason for refusing an import. line 0: the file as a whole (or, with an empty file, the
// database); column empty: the row as a whole.
struct ImportProblem {
  std::string file;
  long long line = 0;
  std::string column;
  std::string message;
  bool unusable = false;  // the file or folder itself cannot be used (not a file, cannot be read)
};
// "FILE:LINE: COLUMN: message" (the parts that are present).
std::string Describe(const ImportProblem& problem);

struct ImportOptions {
  bool replace = false;  // an existing format (or message group) is replaced instead of refused
  CsvEncoding encoding = CsvEncoding::Auto;
};

struct ImportResult {
  std::vector<ImportProblem> problems;  // not empty: nothing was loaded (the first kMaxProblems)
  long long moreProblems = 0;           // problems found beyond those kept
  std::vector<ImportProblem> warnings;  // spreadsheet leftovers that were skipped
  std::vector<TableCount> loaded;
  bool ok() const { return problems.empty(); }
  bool unusable() const;                // a problem is a file or folder that cannot be used
};
constexpr std::size_t kMaxImportProblems = 200;
// A table file with more data rows than this is refused (no master comes near it; the bound
// keeps an import's memory small whatever file it is given).
constexpr long long kMaxImportRows = 4'000'000;
// A cell longer than this many bytes is refused.
constexpr std::size_t kMaxImportCellBytes = 64 * 1024;

// Loads the table files found in dir (at least one). Without replace, a key that is already
// in the database is refused: a format (情報区分コード and BPID) in FL1902 or FL1903, a
// message group (相手先コード, 自社コード, 情報区分) in FL1916. With replace, those rows are
// deleted first. Database faults become a problem too (after a rollback).
//
// The files are read as streams, twice (checked whole, then loaded), so memory does not grow
// with their size; rows go into the database many to a statement. A name that is a folder, a
// pipe or a link to nothing is refused. A final Ctrl-Z (an end-of-file mark) is ignored.
ImportResult ImportFormats(Database& db, const std::filesystem::path& dir, const ImportOptions& options);

}  // namespace edi::cii
