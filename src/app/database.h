// The one database connection of the workstation, over SOCI (sqlite3, postgresql or odbc).
//
// Every statement takes its values as bound parameters, written ":1", ":2", … in the SQL
// text; nothing is ever pasted into SQL text. Column values come back as optional text
// (null stays distinguishable), whatever the column's type in the database.
//
// Like the rest of the connection layer, these calls do not catch database faults: they
// throw DatabaseError and each caller turns it into its own result code or message.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <variant>
#include <vector>

namespace edi {

struct ConnectionSettings;

struct DatabaseError : std::runtime_error {
  using std::runtime_error::runtime_error;
  bool uniqueViolation = false;  // the statement broke a unique key
};

using Value = std::optional<std::string>;
using Param = std::variant<std::string, long long, std::nullptr_t>;

// One result row; column names compare ASCII-case-insensitively, because PostgreSQL folds
// the ASCII letters of unquoted names (FL1102… becomes fl1102…).
class Row {
 public:
  Row(std::shared_ptr<const std::vector<std::string>> names, std::vector<Value> values);
  const Value& Get(std::string_view column) const;   // throws DatabaseError when absent
  bool Has(std::string_view column) const;
  std::string Text(std::string_view column) const;   // null → ""
  long long Int(std::string_view column) const;      // null or not a number → throws
  std::size_t size() const { return values_.size(); }
  const std::vector<std::string>& names() const { return *names_; }
  const Value& at(std::size_t i) const { return values_.at(i); }

 private:
  std::shared_ptr<const std::vector<std::string>> names_;
  std::vector<Value> values_;
};

enum class DbEngine { Sqlite, Postgresql, Odbc };

struct DatabaseTarget {
  DbEngine engine = DbEngine::Odbc;
  std::string connectString;   // what SOCI is opened with (for ODBC: "DSN=…;UID=…;PWD=…;")
  std::string description;     // for messages; never holds the password
  // SQLite: the database file. When set, Open refuses a file that does not exist (a mistyped
  // DBFILE must not become a new empty database); only `edi db init` clears it to create one.
  std::string sqliteFileMustExist;
};

// The target named by the connection settings (DBENGINE, DBFILE, DBCONNECT, USERID, PASSWD,
// DBSTRING), all values trimmed. ODBC values holding ";" or braces are put in braces.
DatabaseTarget MakeDatabaseTarget(const ConnectionSettings& settings);
std::string OdbcQuote(const std::string& value);

class Database {
 public:
  // Opens the connection; throws DatabaseError. Login time-out 120 s and statement time-out
  // 300 s where the backend has them (SQLite: busy time-out instead).
  static std::unique_ptr<Database> Open(const DatabaseTarget& target);
  ~Database();

  // A read: all rows of the statement. Sets QueryEmptyFlag ("9" no row, "0" rows).
  std::vector<Row> Query(const std::string& sql, const std::vector<Param>& params = {});
  // A statement without a result (INSERT, UPDATE, DDL).
  void Execute(const std::string& sql, const std::vector<Param>& params = {});
  // The same, with the values bound by position: every placeholder appears once, in the
  // order of params. For statements with thousands of values (a multi-row INSERT), where
  // binding by name looks every name up in a list of the same length.
  void ExecuteByPosition(const std::string& sql, const std::vector<Param>& params);
  // One statement run once for each row: columns[i][r] is the value of placeholder i+1 in
  // row r (a null, or a text the column's type takes). Prepared once; for loading many rows.
  void ExecuteForRows(const std::string& sql, std::vector<std::vector<Value>>& columns);
  // Rows loaded into table (columnList: its columns in the rows' order, as in an INSERT)
  // with one PostgreSQL COPY command: the server reads plain lines instead of parsing and
  // planning statements, several times less work for it than INSERT. Native PostgreSQL
  // connections only (engine() == DbEngine::Postgresql); inside the caller's transaction.
  void CopyRows(const std::string& table, const std::string& columnList, const std::vector<std::vector<Param>>& rows);

  void Begin();
  void Commit();
  void Rollback();

  const std::string& QueryEmptyFlag() const { return queryEmptyFlag_; }
  DbEngine engine() const { return target_.engine; }
  const DatabaseTarget& target() const { return target_; }

  // Number of statements run through this connection (for the benchmarks).
  long long statementCount() const { return statementCount_; }

  // Test hook: called before every statement with its SQL text; throwing from it makes the
  // statement fail as a database fault would.
  void SetFaultHook(std::function<void(const std::string& sql)> hook) { faultHook_ = std::move(hook); }

 private:
  // One statement with its values bound by name, or (byPosition) in order with SQLite's "?".
  void ExecuteStatement(const std::string& sql, const std::vector<Param>& params, bool byPosition);
  struct Impl;
  explicit Database(DatabaseTarget target);
  std::unique_ptr<Impl> impl_;
  DatabaseTarget target_;
  std::string queryEmptyFlag_ = "9";
  long long statementCount_ = 0;
  std::function<void(const std::string&)> faultHook_;
};

// The name of a code in 区分マスタ, or an empty text (never fails).
std::string LookupCodeName(Database& db, const std::string& category, const std::string& code);

// The tables of the workstation, created when missing. Returns the statements run.
void CreateSchema(Database& db);
// Names of the tables the workstation needs that are missing in the database.
std::vector<std::string> MissingTables(Database& db);

}  // namespace edi
