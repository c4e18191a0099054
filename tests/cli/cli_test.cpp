// The `edi` command as scripts see it: exit codes, messages on stderr, `edi db init`.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>

#include "app/database.h"
#include "test_support.h"

namespace edi {
namespace {

struct Result {
  int exitCode;
  std::string out, err;
};

class CliTest : public ::testing::Test {
 protected:
  Result Run(const std::string& arguments) {
    std::string command = std::string("env -u EDI_INI ") + EDI_PROGRAM + " " + arguments + " >" +
                          (dir / "out.txt").string() + " 2>" + (dir / "err.txt").string() + " </dev/null";
    int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadBytes(dir / "out.txt"),
            test::ReadBytes(dir / "err.txt")};
  }
  test::TempDir dir;
};

TEST_F(CliTest, UsageErrorsExitTwo) {
  EXPECT_EQ(Run("").exitCode, 2);
  Result r = Run("frobnicate");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.err.find("unknown command"), std::string::npos);
  EXPECT_EQ(Run("--help").exitCode, 0);
  EXPECT_EQ(Run("--ini").exitCode, 2);
}

TEST_F(CliTest, DbInitCreatesTheTablesOfAnSqliteWorkspace) {
  test::WriteAnsiText(dir / "EDI.ini", "[動作環境]\nDBENGINE=SQLITE\nDBFILE=edi.db\n");
  Result r = Run("--ini " + (dir / "EDI.ini").string() + " db init");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  DatabaseTarget t{DbEngine::Sqlite, "db=\"" + (dir / "edi.db").string() + "\"", "test"};
  auto db = Database::Open(t);
  EXPECT_TRUE(MissingTables(*db).empty());
  // Running it again changes nothing and still succeeds.
  EXPECT_EQ(Run("--ini " + (dir / "EDI.ini").string() + " db init").exitCode, 0);
}

TEST_F(CliTest, AStartUpFailureShowsTheOperatorsMessageAndExitsTwo) {
  // No EDI.ini: the connection with empty values fails.
  Result r = Run("--ini " + (dir / "absent.ini").string() + " db init");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err.rfind("接続エラー\n", 0), 0u) << r.err;
}

TEST_F(CliTest, ATranslationWhoseLogCannotBeWrittenFails) {
  auto tdb = test::TestDatabase::Sqlite(dir.path());
  std::string ini = test::StandardIni(dir.path(), tdb->iniSection());
  // The log is a folder: no line can be appended to it.
  ini.replace(ini.find("ERRLOG="), ini.find('\n', ini.find("ERRLOG=")) - ini.find("ERRLOG="), "ERRLOG=" + dir.path().string());
  test::WriteAnsiText(dir / "EDI.ini", ini);
  test::WriteBytes(dir / "empty.loc", "");
  Result r = Run("--ini " + (dir / "EDI.ini").string() + " translate local-to-cii " + (dir / "empty.loc").string() +
                 " " + (dir / "out.cii").string());
  EXPECT_EQ(r.exitCode, 1) << r.err;
  EXPECT_EQ(r.out, "0036\n");
}

TEST_F(CliTest, DbInitOnPostgresql) {
  auto base = test::PostgresConnect();
  if (!base) GTEST_SKIP() << "no PostgreSQL server";
  auto tdb = test::TestDatabase::Postgres();  // an empty database of its own, tables dropped below
  tdb->db().Execute("DROP TABLE FL1102処理履歴ファイル");
  test::WriteAnsiText(dir / "EDI.ini", tdb->iniSection());
  Result r = Run("--ini " + (dir / "EDI.ini").string() + " db init");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(MissingTables(tdb->db()).empty());
}

}  // namespace
}  // namespace edi
