// Shared fixtures for the tests: temporary folders, files in CP932, EDI.ini files, and a
// fresh database with the workstation's tables (SQLite, or the PostgreSQL server that
// scripts/test starts and names in EDI_TEST_PG_CONNECT).
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/database.h"

namespace edi::test {

// A folder under the system's temporary folder, removed with everything in it at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
// The names in a folder, sorted.
std::vector<std::string> FileNames(const std::filesystem::path& folder);
std::string ReadBytes(const std::filesystem::path& path);
// UTF-8 text written as CP932, with every "\n" written as CR LF.
void WriteAnsiText(const std::filesystem::path& path, const std::string& utf8);

// The libpq connection text of the test server ("host=… port=… user=…"), or nullopt.
std::optional<std::string> PostgresConnect();

// A database of its own for one test, with the schema created.
class TestDatabase {
 public:
  // SQLite file `dir`/edi.db.
  static std::unique_ptr<TestDatabase> Sqlite(const std::filesystem::path& dir);
  // A new PostgreSQL database on the test server, dropped at the end; nullptr when no server.
  static std::unique_ptr<TestDatabase> Postgres();
  // The same two through ODBC, with DSN-less connect strings: the SQLite ODBC driver
  // (DRIVER={SQLite3}) on `dir`/edi-odbc.db, and psqlODBC (DRIVER={PostgreSQL Unicode}) on a
  // new database of the test server (nullptr when there is no server).
  static std::unique_ptr<TestDatabase> OdbcSqlite(const std::filesystem::path& dir);
  static std::unique_ptr<TestDatabase> OdbcPostgres();
  ~TestDatabase();

  Database& db() { return *db_; }
  // The 動作環境 section that reaches this database from an EDI.ini (UTF-8, "\n" line ends).
  const std::string& iniSection() const { return iniSection_; }
  DbEngine engine() const { return db_->engine(); }

 private:
  TestDatabase() = default;
  std::unique_ptr<Database> db_;
  std::string iniSection_;
  std::string pgDatabase_;  // to drop at the end
};

// The demo's format masters (db/demo/formats), loaded the way `edi format import` loads
// them. False when they are not in the tree; a refused import throws.
bool LoadDemoFormats(Database& db);

// A complete EDI.ini (UTF-8, "\n" line ends) for a workspace folder: the given 動作環境
// section, every mandatory display value, colours, and PATH folders under `workspace`
// (in/, out/, old/, status/, param/), which it creates.
std::string StandardIni(const std::filesystem::path& workspace, const std::string& connectionSection);

}  // namespace edi::test
