// The center masters as files (export → import → export gives the same bytes on SQLite and
// PostgreSQL; a refused import changes nothing) and the check of a center's set-up, one
// case per rule, each at its own center.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "app/database.h"
#include "app/text.h"
#include "run/center_check.h"
#include "run/center_tables.h"
#include "run_bench.h"

namespace edi::test {
namespace {

using run::CenterFault;

std::map<std::string, std::string> Files(const std::filesystem::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir)) files[e.path().filename().string()] = ReadBytes(e.path());
  return files;
}

// Centers with what a file has to carry: Japanese names, a null beside an empty text, a comma
// and a quote in a path, a value a spreadsheet would run as a formula, a partner order.
void AddCenters(RunBench& b) {
  b.master().Execute("INSERT INTO 区分マスタ (区分, 区分ｺｰﾄﾞ, 区分名称) VALUES ('送受信方式', 'Z', '通信ﾊﾟｯｹｰｼﾞ')");
  b.master().Execute("INSERT INTO 区分マスタ (区分, 区分ｺｰﾄﾞ, 区分名称) VALUES ('送受信方式', 'M', 'メール')");
  b.AddCenter("CENTER01", "Z", "C", (b.send / "a,\"b\"/CENTER01.CII").string());
  b.AddCenter("MAILCT03", "M", "C", std::nullopt, "=edi@partner.example");
  b.master().Execute("UPDATE FL1903EDI制御マスタ SET センター名 = '' WHERE センターコード = 'MAILCT03'");
  b.AddPartner("CENTER01", "MAKER001", 2);
  b.AddPartner("CENTER01", "MAKER009", 10);
  b.AddPartner("MAILCT03", "MAKER003", 1);
  b.AddInfoCode("CENTER01", "0101", 1);
  b.AddInfoCode("MAILCT03", "0101", 1);
}

std::map<std::string, std::string> Export(Database& db, const std::filesystem::path& dir,
                                          cii::CsvEncoding enc = cii::CsvEncoding::Cp932,
                                          const std::optional<std::string>& center = std::nullopt) {
  run::ExportCenters(db, dir, center, enc, false);
  return Files(dir);
}

TEST(CenterFiles, ExportImportExportGivesTheSameBytesOnSqliteAndPostgresql) {
  RunBench b;
  AddCenters(b);
  TempDir dir;
  for (cii::CsvEncoding enc : {cii::CsvEncoding::Cp932, cii::CsvEncoding::Utf8}) {
    const std::string tag = enc == cii::CsvEncoding::Utf8 ? "u" : "c";
    const auto first = Export(b.master(), dir / ("first" + tag), enc);
    ASSERT_EQ(first.size(), 4u);
    std::vector<std::unique_ptr<TestDatabase>> targets;
    std::filesystem::create_directories(dir / ("db" + tag));
    targets.push_back(TestDatabase::Sqlite(dir / ("db" + tag)));
    if (auto pg = TestDatabase::Postgres()) targets.push_back(std::move(pg));
    for (auto& target : targets) {
      SCOPED_TRACE(target->engine() == DbEngine::Postgresql ? "PostgreSQL" : "SQLite");
      cii::ImportResult r = run::ImportCenters(target->db(), dir / ("first" + tag), {});
      ASSERT_TRUE(r.ok()) << cii::Describe(r.problems.front());
      const std::string again = "again" + tag + (target->engine() == DbEngine::Postgresql ? "pg" : "lite");
      EXPECT_EQ(Export(target->db(), dir / again, enc), first);
      // A null stays a null, an empty text an empty text.
      auto rows = target->db().Query("SELECT センター名, KMX送信ファイルパス FROM FL1903EDI制御マスタ WHERE センターコード = 'MAILCT03'");
      ASSERT_EQ(rows.size(), 1u);
      EXPECT_EQ(rows[0].at(0), std::optional<std::string>(""));
      EXPECT_FALSE(rows[0].at(1).has_value());
    }
  }
  // One center: its rows of the three center tables, no 区分マスタ file.
  const auto one = Export(b.master(), dir / "one", cii::CsvEncoding::Cp932, "CENTER01");
  ASSERT_EQ(one.size(), 3u);
  EXPECT_EQ(one.count("区分マスタ.csv"), 0u);
  const std::string partners = FromAnsiBytes(one.at("FL1915センタ利用企業マスタ.csv"));
  EXPECT_EQ(partners, "センターコード,相手先企業コード,表示順\r\nCENTER01,MAKER001,2\r\nCENTER01,MAKER009,10\r\n");
  EXPECT_THROW(run::ExportCenters(b.master(), dir / "none", std::string("NOSUCH"), cii::CsvEncoding::Cp932, false),
               cii::ExportRefused);
  EXPECT_FALSE(std::filesystem::exists(dir / "none" / "FL1903EDI制御マスタ.csv"));
}

TEST(CenterFiles, ARefusedImportNamesTheSpotAndChangesNothing) {
  RunBench b;
  AddCenters(b);
  TempDir dir;
  const auto before = Export(b.master(), dir / "before");
  struct Case {
    std::string file, text;  // the one file of the import (UTF-8, "\n")
    long long line;
    std::string column, says;
  };
  const std::vector<Case> cases = {
      // The center is in the database already (without --replace).
      {"FL1903EDI制御マスタ.csv",
       "センターコード,センター名,送受信方式,実行端末名,相手先種別,KMX送信ファイルパス,送受信データ形式,相手先メールアドレス\n"
       "NEW01,新,Z,T1,2,/x/NEW01.CII,C,\nCENTER01,重複,Z,T1,2,/x,C,\n",
       3, "", "すでにデータベースにあります"},
      {"FL1915センタ利用企業マスタ.csv", "センターコード,相手先企業コード,表示順\nNEW01,P1,一\n", 2, "表示順", "整数ではありません"},
      {"FL1914利用情報区分マスタ.csv", "相手先企業コード,送受信種別,情報区分コード,表示順\nNEW01,S,101,1\n", 2, "情報区分コード", "ちょうど 4 文字"},
      {"FL1915センタ利用企業マスタ.csv", "センターコード,相手先企業コード,表示順\nCENTER_CODE_TOO_LONG,P1,1\n", 2, "センターコード", "12 バイトより長い"},
      {"FL1914利用情報区分マスタ.csv", "相手先企業コード,送受信種別,情報区分コード,表示順\nNEW01,S,0101,1\nNEW01,S,0101,2\n", 3, "", "2 行目と同じです"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TempDir in;
    WriteAnsiText(in / c.file, c.text);
    cii::ImportResult r = run::ImportCenters(b.master(), in.path(), {});
    ASSERT_FALSE(r.ok());
    const cii::ImportProblem& p = r.problems.front();
    EXPECT_EQ(p.file, c.file);
    EXPECT_EQ(p.line, c.line);
    EXPECT_EQ(p.column, c.column);
    EXPECT_NE(p.message.find(c.says), std::string::npos) << p.message;
    TempDir after;
    EXPECT_EQ(Export(b.master(), after / "x"), before);
  }
  // With --replace a center's partners are replaced as a whole.
  TempDir in;
  WriteAnsiText(in / "FL1915センタ利用企業マスタ.csv", "センターコード,相手先企業コード,表示順\nCENTER01,MAKER777,1\n");
  cii::ImportResult r = run::ImportCenters(b.master(), in.path(), {.replace = true});
  ASSERT_TRUE(r.ok()) << cii::Describe(r.problems.front());
  auto rows = b.master().Query("SELECT 相手先企業コード FROM FL1915センタ利用企業マスタ WHERE センターコード = 'CENTER01'");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].Text("相手先企業コード"), "MAKER777");
}

// A bench with the demo formats, a sound Z center and a sound M center; each case breaks
// one thing at its own center.
class CenterCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!LoadDemoFormats(b.master())) GTEST_SKIP() << "the demo formats are not in the tree";
    b.AddCenter("CENTER01", "Z", "C", (b.send / "CENTER01.CII").string());
    b.AddPartner("CENTER01", "MAKER001");
    b.AddInfoCode("CENTER01", "0101");
    b.AddCenter("MAILCT03", "M", "C", std::nullopt, "edi@partner.example");
    b.AddPartner("MAILCT03", "MAKER003");
    b.AddInfoCode("MAILCT03", "0101");
  }
  std::vector<CenterFault> Check(const std::string& center, const std::vector<std::string>& jkbn = {}) {
    PackageSettings package;
    package.defaultInfoCodes = jkbn;
    return run::CheckCenters(b.master(), {center}, package, {"T1"}).faults;
  }
  void Set(const std::string& center, const std::string& column, const Param& value) {
    b.master().Execute("UPDATE FL1903EDI制御マスタ SET " + column + " = :1 WHERE センターコード = :2", {value, center});
  }
  RunBench b;
};

TEST_F(CenterCheck, ASoundSetUpHasNoFault) {
  EXPECT_TRUE(Check("CENTER01").empty());
  EXPECT_TRUE(Check("MAILCT03").empty());
}

TEST_F(CenterCheck, EachRuleIsFoundAtItsCenter) {
  struct Case {
    const char* what;
    std::function<void()> breakIt;
    std::string center, partner, category, rule;
    std::vector<std::string> jkbn = {};
  };
  const std::vector<Case> cases = {
      {"method", [&] { Set("CENTER01", "送受信方式", std::string("z")); }, "CENTER01", "", "", run::center_rule::kMethod},
      {"blank send path", [&] { Set("CENTER01", "KMX送信ファイルパス", nullptr); }, "CENTER01", "", "", run::center_rule::kSendPath},
      {"missing folder", [&] { Set("CENTER01", "KMX送信ファイルパス", (b.send / "gone" / "x.CII").string()); }, "CENTER01", "",
       "", run::center_rule::kSendPath},
      {"no address", [&] { Set("MAILCT03", "相手先メールアドレス", std::string(" ")); }, "MAILCT03", "", "",
       run::center_rule::kMailAddress},
      {"malformed address", [&] { Set("MAILCT03", "相手先メールアドレス", std::string("edi@partner")); }, "MAILCT03", "", "",
       run::center_rule::kMailAddress},
      {"two addresses", [&] { Set("MAILCT03", "相手先メールアドレス", std::string("a@x.example, b@x.example")); }, "MAILCT03",
       "", "", run::center_rule::kMailAddress},
      {"data format", [&] { Set("CENTER01", "送受信データ形式", std::string("Y")); }, "CENTER01", "", "",
       run::center_rule::kDataFormat},
      {"no partner", [&] { b.master().Execute("DELETE FROM FL1915センタ利用企業マスタ WHERE センターコード = 'CENTER01'"); },
       "CENTER01", "", "", run::center_rule::kPartners},
      {"no category", [&] { b.master().Execute("DELETE FROM FL1914利用情報区分マスタ WHERE 相手先企業コード = 'CENTER01'"); },
       "CENTER01", "MAKER001", "", run::center_rule::kCategories},
      {"JKBN_J_S category without a message group",
       [&] { b.master().Execute("DELETE FROM FL1914利用情報区分マスタ WHERE 相手先企業コード = 'CENTER01'"); }, "CENTER01",
       "MAKER001", "0999", run::center_rule::kMessageGroup, {"0999"}},
      {"no layout rows",
       [&] { b.master().Execute("DELETE FROM FL1903レコードフォーマット情報マスタ WHERE BPID = 'ORDR0101'"); }, "CENTER01",
       "MAKER001", "0101", run::center_rule::kFormat},
      {"faulty layout",
       [&] {
         b.master().Execute("UPDATE FL1903レコードフォーマット情報マスタ SET レベル番号 = 5 WHERE BPID = 'ORDR0101' AND 項目通番 = 2");
       },
       "CENTER01", "MAKER001", "0101", run::center_rule::kFormat},
      {"unknown center", [] {}, "NOSUCH", "", "", run::center_rule::kNoCenter},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    b.master().Begin();
    c.breakIt();
    const auto faults = Check(c.center, c.jkbn);
    b.master().Rollback();
    ASSERT_EQ(faults.size(), 1u) << (faults.empty() ? "" : run::Describe(faults.front()) + " …");
    const CenterFault& f = faults.front();
    EXPECT_EQ(f.center, c.center);
    EXPECT_EQ(f.partner, c.partner);
    EXPECT_EQ(f.category, c.category);
    EXPECT_EQ(f.rule, c.rule);
    EXPECT_FALSE(f.warning);
    EXPECT_NE(run::Describe(f).find("[" + c.rule + "]"), std::string::npos);
  }
}

TEST_F(CenterCheck, AnUnreportedTerminalIsOnlyAWarningAndAReadOnlySendFolderAFault) {
  Set("CENTER01", "実行端末名", std::string("ELSEWHERE"));
  run::CenterCheckResult r = run::CheckCenters(b.master(), {}, PackageSettings{}, {"T1"});
  EXPECT_EQ(r.centers, 2);
  ASSERT_EQ(r.faults.size(), 1u);
  EXPECT_TRUE(r.faults[0].warning);
  EXPECT_EQ(r.faults[0].rule, run::center_rule::kTerminal);
  EXPECT_EQ(r.errors(), 0);
  // A terminal that holds a center lock is one that a workstation reports.
  EXPECT_EQ(run::KnownTerminals(b.master(), "T1"), (std::set<std::string>{"T1"}));

  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  ::chmod(b.send.c_str(), 0555);
  const auto faults = Check("CENTER01");
  ::chmod(b.send.c_str(), 0755);
  ASSERT_EQ(faults.size(), 2u);
  EXPECT_EQ(faults[0].rule, run::center_rule::kSendPath);
}

}  // namespace
}  // namespace edi::test
