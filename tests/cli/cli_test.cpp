// The `edi` command as scripts see it: exit codes, messages on stderr, `edi db init`.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <fstream>

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
  Result Run(const std::string& arguments) { return RunProgram(EDI_PROGRAM, arguments); }
  Result RunProgram(const std::string& program, const std::string& arguments) {
    std::string command = "env -u EDI_INI " + program + " " + arguments + " >" +
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
  EXPECT_NE(r.err.find("というコマンドはありません"), std::string::npos) << r.err;
  EXPECT_EQ(Run("--help").exitCode, 0);
  EXPECT_EQ(Run("--ini").exitCode, 2);
}

// The help and the version are made from the command descriptions of the manual page: each
// described command exists, answers --help with its own usage lines, and is in the overview.
TEST_F(CliTest, EveryDescribedCommandHasItsHelpAndExists) {
  EXPECT_EQ(Run("--version").out, std::string("edi ") + EDI_VERSION + "\n");
  const std::string overview = Run("--help").out;
  int described = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(EDI_SOURCE_DIR) + "/docs/man/edi")) {
    if (entry.path().extension() != ".scd") continue;
    const std::string name = entry.path().stem().string();
    ++described;
    Result help = Run(name + " --help");
    EXPECT_EQ(help.exitCode, 0) << name;
    EXPECT_EQ(help.out.rfind("usage: edi " + name, 0), 0u) << name << ": " << help.out;
    EXPECT_NE(overview.find("\n  edi " + name), std::string::npos) << name;
    EXPECT_EQ(Run(name).err.find("というコマンドはありません"), std::string::npos) << name << " is described but not a command";
  }
  EXPECT_GE(described, 8);
}

// Installed, the command on the search path is a link to the program, and EDI.ini beside the
// program folder's parent is a link to the file under /etc: the folder rule must take the
// program the link points to, and read EDI.ini through its link.
TEST_F(CliTest, ALinkToTheProgramFindsEdiIniTwoFoldersAboveTheRealProgram) {
  namespace fs = std::filesystem;
  fs::create_directories(dir / "lib/BIN/P740150");
  fs::create_directories(dir / "bin");
  fs::create_directories(dir / "etc");
  std::error_code ec;
  fs::create_hard_link(EDI_PROGRAM, dir / "lib/BIN/P740150/edi", ec);
  if (ec) fs::copy_file(EDI_PROGRAM, dir / "lib/BIN/P740150/edi");
  fs::create_symlink("../lib/BIN/P740150/edi", dir / "bin/edi");
  test::WriteAnsiText(dir / "etc/EDI.ini", "[動作環境]\nDBENGINE=SQLITE\nDBFILE=" + (dir / "var.db").string() + "\n");
  fs::create_symlink(dir / "etc/EDI.ini", dir / "lib/EDI.ini");

  Result r = RunProgram((dir / "bin/edi").string(), "db init");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir / "var.db"));
  // The link's own folder is not the program's: without the link target there is no EDI.ini.
  fs::remove(dir / "lib/EDI.ini");
  EXPECT_EQ(RunProgram((dir / "bin/edi").string(), "db init").exitCode, 2);
}

TEST_F(CliTest, DbInitCreatesTheTablesOfAnSqliteWorkspace) {
  test::WriteAnsiText(dir / "EDI.ini", "[動作環境]\nDBENGINE=SQLITE\nDBFILE=edi.db\n");
  Result r = Run("--ini " + (dir / "EDI.ini").string() + " db init");
  ASSERT_EQ(r.exitCode, 0) << r.err;
  DatabaseTarget t{DbEngine::Sqlite, "db=\"" + (dir / "edi.db").string() + "\"", "test", {}};
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

TEST_F(CliTest, AMistypedDatabaseFileIsAConnectionErrorUntilDbInitCreatesIt) {
  test::WriteAnsiText(dir / "EDI.ini", "[動作環境]\nDBENGINE=SQLITE\nDBFILE=mistyped.db\n");
  Result r = Run("--ini " + (dir / "EDI.ini").string() + " history");
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err.rfind("接続エラー\n", 0), 0u) << r.err;
  EXPECT_NE(r.err.find("mistyped.db"), std::string::npos) << r.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "mistyped.db"));
  ASSERT_EQ(Run("--ini " + (dir / "EDI.ini").string() + " db init").exitCode, 0);
  EXPECT_TRUE(std::filesystem::exists(dir / "mistyped.db"));
  r = Run("--ini " + (dir / "EDI.ini").string() + " history");
  EXPECT_EQ(r.err.find("接続エラー"), std::string::npos) << r.err;
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


// The format commands and `edi check` on an SQLite workspace holding the demo formats.
class FormatCli : public CliTest {
 protected:
  void SetUp() override {
    test::WriteAnsiText(dir / "EDI.ini", "[動作環境]\nDBENGINE=SQLITE\nDBFILE=edi.db\n");
    ASSERT_EQ(Edi("db init").exitCode, 0);
  }
  Result Edi(const std::string& arguments) { return Run("--ini " + (dir / "EDI.ini").string() + " " + arguments); }
  const std::filesystem::path demo = std::filesystem::path(EDI_SOURCE_DIR) / "db" / "demo";
};

TEST_F(FormatCli, ImportCheckAndExportGiveTheirExitCodes) {
  Result r = Edi("format import " + (demo / "formats").string());
  ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
  r = Edi("format import " + (demo / "formats").string());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("はすでにデータベースにあります (--replace で置き換えます)"), std::string::npos) << r.out;
  EXPECT_EQ(Edi("format import --replace " + (demo / "formats").string()).exitCode, 0);

  r = Edi("format check");
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.out, "format check: フォーマット 1 件, 項目 22 件, 誤り 0 件\n");
  // The demo folder is exactly what an export of its formats writes.
  ASSERT_EQ(Edi("format export " + (dir / "out").string()).exitCode, 0);
  for (const auto& e : std::filesystem::directory_iterator(dir / "out"))
    EXPECT_EQ(test::ReadBytes(e.path()), test::ReadBytes(demo / "formats" / e.path().filename())) << e.path();

  {
    auto db = Database::Open({DbEngine::Sqlite, "db=\"" + (dir / "edi.db").string() + "\"", "test", {}});
    db->Execute("UPDATE FL1903レコードフォーマット情報マスタ SET レベル番号=2 WHERE 項目通番=6");
  }
  r = Edi("format check --category 0101");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.out.find("0101 ORDR0101 E 6 行番号: [open-group]"), std::string::npos) << r.out;
  EXPECT_EQ(Edi("format frobnicate").exitCode, 2);
  EXPECT_EQ(Edi("format export").exitCode, 2);
}

TEST_F(FormatCli, CheckAndExplainGiveTheirExitCodesAndTheCsvHeader) {
  ASSERT_EQ(Edi("format import " + (demo / "formats").string()).exitCode, 0);
  const std::string file = (demo / "local" / "0101.LOC").string();
  Result r = Edi("check " + file);
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_EQ(r.out, "check: 3 行, 3 メッセージ, 指摘 0 件\n");

  std::string bad = test::ReadBytes(demo / "local" / "0101.LOC");
  bad.replace(bad.find("00012.50"), 8, "0A012.50");
  test::WriteBytes(dir / "bad.loc", bad);
  r = Edi("check --format csv --encoding utf-8 " + (dir / "bad.loc").string());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.out.rfind("\xEF\xBB\xBFline,offset,item,name,value,problem\r\n1,115,13,\"数量\",\"0A012.50\",", 0), 0u) << r.out;
  EXPECT_EQ(Edi("check " + (dir / "absent.loc").string()).exitCode, 2);

  r = Edi("translate local-to-cii " + file + " " + (dir / "out.cii").string() + " --explain 1");
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.out.find("項目№ 13 数量 [1] (N), 115–122 バイト目: \"00012.50\" → \"1250\""), std::string::npos) << r.out;
  EXPECT_FALSE(std::filesystem::exists(dir / "out.cii"));  // an explanation writes nothing
  EXPECT_EQ(Edi("translate local-to-cii " + file + " " + (dir / "out.cii").string() + " --explain 9").exitCode, 1);
  EXPECT_EQ(Edi("translate cii-to-local " + file + " " + (dir / "out.cii").string() + " --explain 1").exitCode, 2);
}

// Exit codes of the format commands: 2 for a folder or file that cannot be used, 1 for a
// refusal (files already there without --force, a filter that matches no format).
TEST_F(FormatCli, UnusableFoldersRefusalsAndFilterTyposGiveTheirExitCodes) {
  ASSERT_EQ(Edi("format import " + (demo / "formats").string()).exitCode, 0);
  Result r = Edi("format import " + (dir / "absent").string());
  EXPECT_EQ(r.exitCode, 2) << r.out << r.err;
  test::WriteBytes(dir / "plain", "x");
  EXPECT_EQ(Edi("format export " + (dir / "plain").string()).exitCode, 2);
  std::filesystem::create_directories(dir / "piped");
  std::filesystem::copy(demo / "formats", dir / "piped");
  std::filesystem::remove(dir / "piped" / "FL1902フォーマット情報マスタ.csv");
  ASSERT_EQ(::mkfifo((dir / "piped" / "FL1902フォーマット情報マスタ.csv").c_str(), 0600), 0);
  r = Edi("format import --replace " + (dir / "piped").string());
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.out.find("ファイルではなくパイプです"), std::string::npos) << r.out;

  ASSERT_EQ(Edi("format export " + (dir / "out").string()).exitCode, 0);
  r = Edi("format export " + (dir / "out").string());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("--force で置き換えます"), std::string::npos) << r.err;
  EXPECT_EQ(Edi("format export --force " + (dir / "out").string()).exitCode, 0);

  r = Edi("format check --category 9999");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("該当するフォーマットがありません: 情報区分 \"9999\""), std::string::npos) << r.err;
  EXPECT_EQ(Edi("format check --category 0101").exitCode, 0);
}

// A large file of random bytes: the output stays at the findings limit with short values,
// memory stays small, and --limit and --all change how many are shown.
TEST_F(FormatCli, CheckOfALargeRandomFileStaysBounded) {
  ASSERT_EQ(Edi("format import " + (demo / "formats").string()).exitCode, 0);
  {
    std::ifstream random("/dev/urandom", std::ios::binary);
    std::string bytes(8 * 1024 * 1024, '\0');
    random.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    test::WriteBytes(dir / "random.bin", bytes);
  }
  Result r = Edi("check " + (dir / "random.bin").string());
  EXPECT_EQ(r.exitCode, 1);
  const auto lines = std::count(r.out.begin(), r.out.end(), '\n');
  EXPECT_EQ(lines, 1000 + 2);  // the findings shown, the count of the rest, the summary
  EXPECT_LT(r.out.size(), 1002u * 250u);
  EXPECT_NE(r.out.find("件の指摘があります (表示したのは最初の 1000 件です。--all ですべて表示します)"), std::string::npos);
#if !defined(__SANITIZE_ADDRESS__)
  // AddressSanitizer's shadow memory and quarantine make the figure meaningless there.
  struct rusage usage {};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  EXPECT_LT(usage.ru_maxrss, 64 * 1024) << "KB at most of any command run so far";
#endif

  r = Edi("check --limit 3 --format csv --encoding utf-8 " + (dir / "random.bin").string());
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4);
  r = Edi("check --all " + (dir / "random.bin").string());
  EXPECT_EQ(r.out.find("表示したのは"), std::string::npos);
  EXPECT_GT(std::count(r.out.begin(), r.out.end(), '\n'), 1002);
  EXPECT_EQ(Edi("check --all --limit 5 " + (dir / "random.bin").string()).exitCode, 2);
}

}  // namespace
}  // namespace edi
