// Master tables as CSV files that a person can keep, edit in a spreadsheet and load again:
// one file per table (the table name + ".csv"), a header row with the column names, rows in a
// stable order. The format masters and the center masters are both kept this way.
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

#include <climits>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace edi {
class Database;
}

namespace edi::cii {

// What a column of a master accepts. Number columns always need a value (the programs read
// them without a null check).
struct CsvColumn {
  const char* name;
  bool number = false;
  bool required = false;          // text: a null or empty value is refused
  int exactBytes = 0;             // text: exactly this many single-byte characters (key fields)
  int maxBytes = 0;               // text: at most this many CP932 bytes (a field's width)
  const char* allowed = nullptr;  // text: one of these values, separated by "|"
  bool digits = false;            // text: empty, or a number of 1 or more (a byte position)
  bool freeText = false;          // text that may hold tabs and line ends (names, fixed values);
                                  // every other text column is a key or code without control characters
  long long min = INT32_MIN, max = INT32_MAX;
};

// One master table as a file.
struct CsvTable {
  const char* name;
  std::vector<CsvColumn> columns;
  std::vector<const char*> key;     // what --replace replaces and what must be new without it
  std::vector<const char*> rowKey;  // a row's own key within the file
  std::vector<const char*> order;   // export order (then every column)
  std::set<std::string> numberOrder;  // order columns compared as numbers
};

// The file of a table in an export folder: the table name + ".csv".
std::string TableFileName(const std::string& table);

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


// Which rows of a table an export writes: those whose columns equal the values (all rows when
// there is none); skip: the table gets no file.
struct TableSelection {
  bool skip = false;
  std::vector<std::pair<const char*, std::string>> equal;
};
using SelectRows = std::function<TableSelection(const CsvTable&)>;

// Writes the selected rows of the tables into dir (created when missing), one file per table,
// CR LF line ends. All files or none: each is written under a temporary name and they are put
// in place together; a failure puts back the files that were there. Table files already in
// the folder are refused unless overwrite; a link at a file's name is always refused. When
// nothingMatches is not empty and no row was selected, the export is refused with that text.
// Throws DatabaseError on a database fault, ExportRefused and ExportFolderError.
std::vector<TableCount> ExportTables(Database& db, const std::filesystem::path& dir, const std::vector<CsvTable>& tables,
                                     const SelectRows& select, CsvEncoding encoding, bool overwrite,
                                     const std::string& nothingMatches = {});

// Loads the table files found in dir (at least one). Without replace, a key that is already
// in the database is refused; with replace, the rows of that key are deleted first. Database
// faults become a problem too (after a rollback).
//
// The files are read as streams, twice (checked whole, then loaded), so memory does not grow
// with their size; rows go into the database many to a statement. A name that is a folder, a
// pipe or a link to nothing is refused. A final Ctrl-Z (an end-of-file mark) is ignored.
ImportResult ImportTables(Database& db, const std::filesystem::path& dir, const std::vector<CsvTable>& tables,
                          const ImportOptions& options);

}  // namespace edi::cii
