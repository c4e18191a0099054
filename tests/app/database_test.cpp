// The database layer against SQLite and, when scripts/test runs it, PostgreSQL.
#include "app/database.h"

#include <gtest/gtest.h>

#include "app/center_rows.h"
#include "app/settings.h"
#include "test_support.h"

namespace edi {
namespace {

// The database behind a test: SQLite and PostgreSQL through their own backends, and both
// again through ODBC drivers (the way a workstation with a data source reaches them).
enum class Backend { Sqlite, Postgresql, OdbcSqlite, OdbcPostgresql };

class DatabaseTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    switch (GetParam()) {
      case Backend::Sqlite: tdb = test::TestDatabase::Sqlite(dir.path()); break;
      case Backend::Postgresql: tdb = test::TestDatabase::Postgres(); break;
      case Backend::OdbcSqlite: tdb = test::TestDatabase::OdbcSqlite(dir.path()); break;
      case Backend::OdbcPostgresql: tdb = test::TestDatabase::OdbcPostgres(); break;
    }
    if (!tdb) GTEST_SKIP() << "no PostgreSQL server (EDI_TEST_PG_CONNECT)";
  }
  Database& db() { return tdb->db(); }
  void AddCenter(const std::string& code, const std::string& terminal, const std::string& kind,
                 const std::string& method) {
    db().Execute("INSERT INTO FL1903EDI制御マスタ (センターコード, センター名, 送受信方式, 実行端末名, 相手先種別) "
                 "VALUES (:1, :2, :3, :4, :5)",
                 {code, code + "名", method, terminal, kind});
  }
  test::TempDir dir;
  std::unique_ptr<test::TestDatabase> tdb;
};

TEST_P(DatabaseTest, QueryEmptyFlagFollowsTheLastResult) {
  db().Query("SELECT * FROM 区分マスタ");
  EXPECT_EQ(db().QueryEmptyFlag(), "9");
  db().Execute("INSERT INTO 区分マスタ (区分, 区分ｺｰﾄﾞ, 区分名称) VALUES (:1, :2, :3)", {"送受信方式", "Z", "通信"});
  auto rows = db().Query("SELECT * FROM 区分マスタ");
  EXPECT_EQ(db().QueryEmptyFlag(), "0");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Text("区分名称"), "通信");
}

TEST_P(DatabaseTest, ValuesAreBoundSoQuotesAreOrdinaryCharacters) {
  db().Execute("INSERT INTO 区分マスタ (区分, 区分ｺｰﾄﾞ, 区分名称) VALUES (:1, :2, :3)", {"送受信方式", "O'K", "引用"});
  EXPECT_EQ(LookupCodeName(db(), "送受信方式", "O'K"), "引用");
  EXPECT_EQ(LookupCodeName(db(), "送受信方式", "nothing"), "");
  db().Execute("INSERT INTO 区分マスタ (区分, 区分ｺｰﾄﾞ, 区分名称) VALUES (:1, :2, :3)", {"送受信方式", "N", nullptr});
  EXPECT_EQ(LookupCodeName(db(), "送受信方式", "N"), "");
}

TEST_P(DatabaseTest, NullsIntegersAndCaseFoldedNames) {
  db().Execute("INSERT INTO FL1102処理履歴ファイル (通番, 枝番, BPID) VALUES (:1, :2, :3)", {7LL, 0LL, nullptr});
  auto rows = db().Query("SELECT * FROM FL1102処理履歴ファイル WHERE 通番 = :1", {7LL});
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Int("通番"), 7);
  EXPECT_FALSE(rows[0].Get("BPID").has_value());
  EXPECT_FALSE(rows[0].Get("bpid").has_value());  // PostgreSQL folds unquoted names
  EXPECT_THROW(rows[0].Get("NO_SUCH_COLUMN"), DatabaseError);
}

TEST_P(DatabaseTest, UniqueKeyViolationIsRecognised) {
  db().Execute("INSERT INTO FL1102処理履歴ファイル (通番, 枝番) VALUES (:1, :2)", {1LL, 0LL});
  try {
    db().Execute("INSERT INTO FL1102処理履歴ファイル (通番, 枝番) VALUES (:1, :2)", {1LL, 0LL});
    FAIL() << "second insert succeeded";
  } catch (const DatabaseError& e) {
    EXPECT_TRUE(e.uniqueViolation) << e.what();
  }
  try {
    db().Execute("INSERT INTO no_such_table (a) VALUES (:1)", {1LL});
    FAIL();
  } catch (const DatabaseError& e) {
    EXPECT_FALSE(e.uniqueViolation);
  }
}

TEST_P(DatabaseTest, TransactionsRollBack) {
  db().Begin();
  db().Execute("INSERT INTO 区分マスタ (区分, 区分ｺｰﾄﾞ, 区分名称) VALUES (:1, :2, :3)", {"a", "b", "c"});
  db().Rollback();
  EXPECT_TRUE(db().Query("SELECT * FROM 区分マスタ").empty());
}

TEST_P(DatabaseTest, CentersOfThisTerminalInCodeOrderWithMethodNames) {
  db().Execute("INSERT INTO 区分マスタ (区分, 区分ｺｰﾄﾞ, 区分名称) VALUES (:1, :2, :3)", {"送受信方式", "Z", "通信"});
  AddCenter("C2", "WS1", "2", "Z");
  AddCenter("C1", "WS1", "2", "Q");
  AddCenter("C3", "WS1", "1", "Z");   // another partner kind
  AddCenter("C4", "WS2", "2", "Z");   // another terminal
  auto centers = QueryCenters(db(), "WS1");
  ASSERT_EQ(centers.size(), 2u);
  EXPECT_EQ(centers[0].centerCode, "C1");
  EXPECT_EQ(centers[0].methodName, "");  // no name: empty, loading goes on
  EXPECT_EQ(centers[1].centerCode, "C2");
  EXPECT_EQ(centers[1].methodName, "通信");
  EXPECT_FALSE(centers[1].marked);
  EXPECT_TRUE(QueryCenters(db(), "O'Brien").empty());
}

TEST_P(DatabaseTest, MissingTablesAreNamed) {
  EXPECT_TRUE(MissingTables(db()).empty());
  db().Execute("DROP TABLE FL1915センタ利用企業マスタ");
  EXPECT_EQ(MissingTables(db()), std::vector<std::string>{"FL1915センタ利用企業マスタ"});
}

TEST_P(DatabaseTest, FaultHookMakesAStatementFail) {
  db().SetFaultHook([](const std::string& sql) {
    if (sql.find("INSERT") != std::string::npos) throw DatabaseError("refused by test");
  });
  EXPECT_THROW(db().Execute("INSERT INTO 区分マスタ (区分, 区分ｺｰﾄﾞ) VALUES (:1, :2)", {"a", "b"}), DatabaseError);
  EXPECT_NO_THROW(db().Query("SELECT * FROM 区分マスタ"));
}

INSTANTIATE_TEST_SUITE_P(Engines, DatabaseTest, ::testing::Values(Backend::Sqlite, Backend::Postgresql),
                         [](const auto& info) { return info.param == Backend::Sqlite ? "Sqlite" : "Postgresql"; });
INSTANTIATE_TEST_SUITE_P(Odbc, DatabaseTest, ::testing::Values(Backend::OdbcSqlite, Backend::OdbcPostgresql),
                         [](const auto& info) { return info.param == Backend::OdbcSqlite ? "Sqlite" : "Postgresql"; });

TEST(DatabaseTargetTest, ConnectStringsFromTheSettings) {
  ConnectionSettings s;
  s.userId = "  edi  ";
  s.password = " pa;ss} ";
  s.dbString = " EDIDB ";
  DatabaseTarget odbc = MakeDatabaseTarget(s);
  EXPECT_EQ(odbc.engine, DbEngine::Odbc);
  EXPECT_EQ(odbc.connectString, "DSN=EDIDB;UID=edi;PWD={pa;ss}}};");
  EXPECT_EQ(odbc.description.find("pa;ss"), std::string::npos);  // never shows the password
  s.dbEngine = "sqlite";
  s.dbFile = "/tmp/x.db";
  EXPECT_EQ(MakeDatabaseTarget(s).engine, DbEngine::Sqlite);
  s.dbEngine = "POSTGRESQL";
  s.dbConnect = "host=127.0.0.1 dbname=edi";
  EXPECT_EQ(MakeDatabaseTarget(s).connectString,
            "host=127.0.0.1 dbname=edi user='edi' password='pa;ss}' connect_timeout=120");
}

TEST(DatabaseOpenTest, AFileThatIsNotADatabaseFailsToOpen) {
  test::TempDir dir;
  test::WriteBytes(dir / "bad.db", std::string(4096, 'x'));
  DatabaseTarget t{DbEngine::Sqlite, "db=\"" + (dir / "bad.db").string() + "\"", "bad", {}};
  EXPECT_THROW(Database::Open(t), DatabaseError);
}

}  // namespace
}  // namespace edi
