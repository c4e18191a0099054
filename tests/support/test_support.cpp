#include "test_support.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <map>
#include <sstream>

#include "app/text.h"
#include "cii/format_io.h"

namespace edi::test {

std::optional<std::string> PostgresConnect() {
  const char* v = std::getenv("EDI_TEST_PG_CONNECT");
  if (!v || !*v) return std::nullopt;
  return std::string(v);
}

std::unique_ptr<TestDatabase> TestDatabase::Sqlite(const std::filesystem::path& dir) {
  std::unique_ptr<TestDatabase> t(new TestDatabase);
  std::filesystem::path file = dir / "edi.db";
  DatabaseTarget target;
  target.engine = DbEngine::Sqlite;
  target.connectString = "db=\"" + file.string() + "\" timeout=10";
  target.description = "SQLite " + file.string();
  t->db_ = Database::Open(target);
  CreateSchema(*t->db_);
  t->iniSection_ = "[動作環境]\nDBENGINE=SQLITE\nDBFILE=" + file.string() + "\n";
  return t;
}

std::unique_ptr<TestDatabase> TestDatabase::Postgres() {
  auto base = PostgresConnect();
  if (!base) return nullptr;
  static std::atomic<int> counter{0};
  std::string name = "edi_t_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
  {
    DatabaseTarget admin{DbEngine::Postgresql, *base + " dbname=postgres", "admin", {}};
    auto db = Database::Open(admin);
    db->Execute("DROP DATABASE IF EXISTS " + name);
    db->Execute("CREATE DATABASE " + name + " ENCODING 'UTF8' TEMPLATE template0");
  }
  std::unique_ptr<TestDatabase> t(new TestDatabase);
  t->pgDatabase_ = name;
  DatabaseTarget target{DbEngine::Postgresql, *base + " dbname=" + name, "PostgreSQL " + name, {}};
  t->db_ = Database::Open(target);
  CreateSchema(*t->db_);
  // The settings reach the same database through DBCONNECT; user and host come from the base.
  t->iniSection_ = "[動作環境]\nDBENGINE=POSTGRESQL\nDBCONNECT=" + *base + " dbname=" + name + "\n";
  return t;
}

namespace {
// Opens the ODBC connection, creates the tables, and gives the 動作環境 section that reaches
// the database from an EDI.ini (DBSTRING is the connect string: no DBENGINE means ODBC).
void OpenThroughOdbc(std::unique_ptr<Database>& db, std::string& iniSection, const std::string& connect) {
  DatabaseTarget target{DbEngine::Odbc, connect, "ODBC " + connect, {}};
  db = Database::Open(target);
  CreateSchema(*db);
  iniSection = "[動作環境]\nDBSTRING=" + connect + "\n";
}
}  // namespace

std::unique_ptr<TestDatabase> TestDatabase::OdbcSqlite(const std::filesystem::path& dir) {
  std::unique_ptr<TestDatabase> t(new TestDatabase);
  OpenThroughOdbc(t->db_, t->iniSection_, "DRIVER={SQLite3};Database=" + (dir / "edi-odbc.db").string() + ";");
  return t;
}

std::unique_ptr<TestDatabase> TestDatabase::OdbcPostgres() {
  auto t = Postgres();
  if (!t) return nullptr;
  // host=… port=… user=… of the test server, as ODBC keywords.
  std::map<std::string, std::string> keys;
  std::istringstream words(*PostgresConnect());
  for (std::string word; words >> word;) {
    const auto eq = word.find('=');
    if (eq != std::string::npos) keys[word.substr(0, eq)] = word.substr(eq + 1);
  }
  std::string connect = "DRIVER={PostgreSQL Unicode};SERVER=" + keys["host"] + ";PORT=" + keys["port"] +
                        ";DATABASE=" + t->pgDatabase_ + ";UID=" + keys["user"] + ";";
  if (keys.count("password")) connect += "PWD=" + keys["password"] + ";";
  t->db_.reset();
  // The tables already exist; CreateSchema leaves them as they are.
  OpenThroughOdbc(t->db_, t->iniSection_, connect);
  return t;
}

TestDatabase::~TestDatabase() {
  db_.reset();
  if (pgDatabase_.empty()) return;
  try {
    DatabaseTarget admin{DbEngine::Postgresql, *PostgresConnect() + " dbname=postgres", "admin", {}};
    auto db = Database::Open(admin);
    db->Execute("DROP DATABASE IF EXISTS " + pgDatabase_ + " WITH (FORCE)");
  } catch (...) {
  }
}

std::string StandardIni(const std::filesystem::path& workspace, const std::string& connectionSection) {
  for (const char* d : {"in", "out", "old", "status", "param"}) std::filesystem::create_directories(workspace / d);
  const std::string w = workspace.string();
  std::ostringstream s;
  s << connectionSection << "\n"
    << "[Setting0]\n"
       "FormBackColor=&HC0C0C0\n"
       "LabelBackColor=&HFFFFFF\nLabelForeColor=0\n"
       "LabelFontBold=False\nLabelFontItalic=False\nLabelFontName=IPAGothic\nLabelFontSize=10\n"
       "LabelFontStrikethru=False\nLabelFontUnderline=False\n"
       "TextBackColor=16777215\nTextForeColor=0\nTextFocusColor=&HFFFF00\n"
       "TextFontBold=False\nTextFontItalic=False\nTextFontName=IPAGothic\nTextFontSize=10\n"
       "TextFontStrikethru=False\nTextFontUnderline=False\n"
       "TitleBackColor=&H800000\nTitleForeColor=&HFFFFFF\n"
       "TitleFontBold=True\nTitleFontItalic=False\nTitleFontName=IPAGothic\nTitleFontSize=10\n"
       "TitleFontStrikethru=False\nTitleFontUnderline=False\n"
       "\n[P113010]\nMINIMAIZE=0\nDEMOMODE=0\n"
       "\n[PATH]\n"
    << "EDIINFIL=" << w << "/in/\n"
    << "EDIOUTFIL=" << w << "/out/\n"
    << "MGSTPATH=" << w << "/status\n"
    << "OLD_FILE=" << w << "/old/\n"
    << "PRPATH=" << w << "/param\n"
    << "ERRLOG=" << w << "/ERR.LOG\n"
    << "FL1102_FILE=\n"
    << "\n[COLOR]\n通常=0\nエラー=255\n処理済=&HFF0000\n処理中=&H008000\n";
  return s.str();
}

bool LoadDemoFormats(Database& db) {
  const auto folder = std::filesystem::path(EDI_SOURCE_DIR) / "db" / "demo" / "formats";
  if (!std::filesystem::is_directory(folder)) return false;
  cii::ImportResult r = cii::ImportFormats(db, folder, {});
  if (!r.ok()) throw std::runtime_error("the demo formats are refused: " + cii::Describe(r.problems.front()));
  return true;
}

}  // namespace edi::test
