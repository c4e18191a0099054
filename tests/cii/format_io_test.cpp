// The format masters as CSV files: export → import → export gives the same bytes, a refused
// or failed import leaves the database as it was, and --replace replaces a whole format.
#include "cii/format_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "app/database.h"
#include "app/text.h"
#include "test_support.h"

namespace edi::cii::test {
namespace {

const std::string kItems = "FL1903レコードフォーマット情報マスタ";
const std::string kItemsFile = FormatFileName(kItems);
const std::string kItemsHeader =
    "フォーマット種別,情報区分コード,BPID,項目通番,対応項目通番,レベル番号,項目№,項目位置,項目名称,属性,長さ,小数部長さ,"
    "マルチ明細番号,繰返し数,固定項目値,変換エラー対処\n";

// Every file of an export folder, by name.
std::map<std::string, std::string> Files(const std::filesystem::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    files[e.path().filename().string()] = edi::test::ReadBytes(e.path());
  return files;
}

class FormatFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    db = edi::test::TestDatabase::Sqlite(dir.path());
    ASSERT_TRUE(edi::test::LoadDemoFormats(db->db()));
    // A second format with what a CSV file has to carry: Japanese text, nulls beside empty
    // texts, separators, quotes and a line end inside a value, spaces at both ends.
    Database& d = db->db();
    d.Execute("INSERT INTO FL1902フォーマット情報マスタ (情報区分コード, BPID, 様式識別, 格納モード, XML文字コード) "
              "VALUES ('0202', 'SHIP0202', '出荷,案内', ' ', '')");
    const std::string insert =
        "INSERT INTO FL1903レコードフォーマット情報マスタ (フォーマット種別, 情報区分コード, BPID, 項目通番, 対応項目通番, "
        "レベル番号, 項目№, 項目位置, 項目名称, 属性, 長さ, 小数部長さ, マルチ明細番号, 繰返し数, 固定項目値, 変換エラー対処) "
        "VALUES (:1, '0202', 'SHIP0202', :2, :3, 0, :4, :5, :6, :7, :8, 0, :9, 0, :10, NULL)";
    d.Execute(insert, {"E", 1LL, 1LL, 1LL, nullptr, std::string("品名 \"特\"\r\n２行目"), "K", 20LL, nullptr, ""});
    d.Execute(insert, {"L", 1LL, 1LL, 1LL, "1", std::string("  前後に空白  "), "K", 20LL, "", "固定,値"});
  }
  std::map<std::string, std::string> Export(Database& from, const std::string& name, CsvEncoding enc,
                                            const FormatFilter& filter = {}) {
    ExportFormats(from, dir / name, filter, enc);
    return Files(dir / name);
  }
  void WriteItems(const std::string& folder, const std::string& utf8Rows) {
    std::filesystem::create_directories(dir / folder);
    edi::test::WriteAnsiText(dir / folder / kItemsFile, kItemsHeader + utf8Rows);
  }
  edi::test::TempDir dir, other;
  std::unique_ptr<edi::test::TestDatabase> db;
};

TEST_F(FormatFiles, ExportImportExportGivesTheSameBytesInBothEncodings) {
  for (CsvEncoding enc : {CsvEncoding::Cp932, CsvEncoding::Utf8}) {
    const std::string tag = enc == CsvEncoding::Utf8 ? "u" : "c";
    auto first = Export(db->db(), "first" + tag, enc);
    ASSERT_EQ(first.size(), 3u);
    edi::test::TempDir emptyDir;
    auto empty = edi::test::TestDatabase::Sqlite(emptyDir.path());
    ImportResult r = ImportFormats(empty->db(), dir / ("first" + tag), {});
    ASSERT_TRUE(r.ok()) << Describe(r.problems.front());
    EXPECT_EQ(Export(empty->db(), "second" + tag, enc), first);
    // Nulls stay nulls and empty texts stay empty texts.
    auto rows = empty->db().Query(
        "SELECT 項目位置, マルチ明細番号, 固定項目値, 項目名称 FROM FL1903レコードフォーマット情報マスタ WHERE BPID='SHIP0202' "
        "ORDER BY フォーマット種別");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_FALSE(rows[0].at(0).has_value());
    EXPECT_EQ(rows[0].at(2), std::optional<std::string>(""));
    EXPECT_EQ(rows[0].at(3), std::optional<std::string>("品名 \"特\"\r\n２行目"));
    EXPECT_EQ(rows[1].at(1), std::optional<std::string>(""));
    EXPECT_EQ(rows[1].at(3), std::optional<std::string>("  前後に空白  "));
  }
  // CP932 is the default spreadsheets open; the key's trailing spaces are kept in quotes.
  const std::string groups = Files(dir / "firstc").at(FormatFileName("FL1916メッセージグループ情報マスタ"));
  EXPECT_NE(groups.find(ToAnsiBytes("\"CENTER01    \",OWNCO0000001,0101,ORDR0101")), std::string::npos);
}

TEST_F(FormatFiles, OneFormatIsExportedAndTheRoundTripHoldsOnPostgresql) {
  auto one = Export(db->db(), "one", CsvEncoding::Utf8, FormatFilter{"0202", std::nullopt});
  EXPECT_EQ(std::count(one.at(kItemsFile).begin(), one.at(kItemsFile).end(), '\n'), 4);  // header, 2 rows, 1 inner line end
  EXPECT_EQ(one.at(FormatFileName("FL1916メッセージグループ情報マスタ")).find("\r\n") + 2,
            one.at(FormatFileName("FL1916メッセージグループ情報マスタ")).size());  // header only

  auto pg = edi::test::TestDatabase::Postgres();
  if (!pg) GTEST_SKIP() << "no PostgreSQL server";
  auto all = Export(db->db(), "all", CsvEncoding::Cp932);
  ImportResult r = ImportFormats(pg->db(), dir / "all", {});
  ASSERT_TRUE(r.ok()) << Describe(r.problems.front());
  EXPECT_EQ(Export(pg->db(), "pg", CsvEncoding::Cp932), all);
}

// Each refusal names the file, the line and the column, and nothing is loaded.
TEST_F(FormatFiles, ARefusedImportNamesTheSpotAndLoadsNothing) {
  const auto before = Export(db->db(), "before", CsvEncoding::Utf8);
  struct Case {
    std::string rows;
    long long line;
    std::string column, says;
  };
  const std::string good = "E,0303,NEW00303,1,1,0,1,,品名,X,10,0,,0,,\n";
  const std::vector<Case> cases = {
      {good + "L,0303,NEW00303,1,1,0,1,1,品名,X,abc,0,,0,,\n", 3, "長さ", "not a whole number"},
      {good + "L,0303,NEW00303,1,1,-1,1,1,品名,X,10,0,,0,,\n", 3, "レベル番号", "out of range"},
      {good + "L,0303,NEW00303,1,1,0,1,1,品名,Z,10,0,,0,,\n", 3, "属性", "not one of"},
      {good + "Q,0303,NEW00303,1,1,0,1,1,品名,X,10,0,,0,,\n", 3, "フォーマット種別", "not one of"},
      {good + "L,303,NEW00303,1,1,0,1,1,品名,X,10,0,,0,,\n", 3, "情報区分コード", "exactly 4"},
      {good + "L,0303,NEW00303,1,,0,1,1,品名,X,10,0,,0,,\n", 3, "対応項目通番", "a number is needed"},
      {good + "L,0303,NEW00303,1,1,0,1,x1,品名,X,10,0,,0,,\n", 3, "項目位置", "byte position"},
      {good + "E,0303,NEW00303,1,1,0,1,,again,X,10,0,,0,,\n", 3, "", "the same"},
      {good + "L,0303,NEW00303,1,1,0,1,1,\"品名,X,10,0,,0,,\n", 3, "", "not CSV"},
      {good + "L,0303,NEW00303,1,1,0,1,1,品名,X\n", 3, "", "values, the header has"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rows);
    WriteItems("bad", c.rows);
    ImportResult r = ImportFormats(db->db(), dir / "bad", {});
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_EQ(r.problems[0].file, kItemsFile);
    EXPECT_EQ(r.problems[0].line, c.line);
    EXPECT_EQ(r.problems[0].column, c.column);
    EXPECT_NE(r.problems[0].message.find(c.says), std::string::npos) << r.problems[0].message;
    EXPECT_TRUE(r.loaded.empty());
  }
  // A header that does not match the table, bytes that are no CP932, an empty folder.
  std::filesystem::create_directories(dir / "hdr");
  edi::test::WriteAnsiText(dir / "hdr" / kItemsFile, "フォーマット種別,長さ,色\n");
  ImportResult r = ImportFormats(db->db(), dir / "hdr", {});
  EXPECT_NE(Describe(r.problems.front()).find(kItemsFile + ":1: column 3: \"色\" is not a column"), std::string::npos);
  edi::test::WriteBytes(dir / "hdr" / kItemsFile, ToAnsiBytes(kItemsHeader) + "E,\x81\n");
  r = ImportFormats(db->db(), dir / "hdr", ImportOptions{false, CsvEncoding::Cp932});
  EXPECT_EQ(Describe(r.problems.front()), kItemsFile + ":2: bytes that are not CP932");
  std::filesystem::create_directories(dir / "none");
  EXPECT_FALSE(ImportFormats(db->db(), dir / "none", {}).ok());
  EXPECT_EQ(Export(db->db(), "after", CsvEncoding::Utf8), before);
}

TEST_F(FormatFiles, AnExistingFormatIsRefusedWithoutReplaceAndReplacedWholeWithIt) {
  // Only the 'E' rows of 0202/SHIP0202, with a changed name.
  WriteItems("change", "E,0202,SHIP0202,1,1,0,1,,新しい品名,K,20,0,,0,,\n");
  ImportResult r = ImportFormats(db->db(), dir / "change", {});
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_EQ(r.problems[0].line, 2);
  EXPECT_NE(r.problems[0].message.find("already in the database (--replace"), std::string::npos);

  r = ImportFormats(db->db(), dir / "change", {true});
  ASSERT_TRUE(r.ok()) << Describe(r.problems.front());
  auto rows = db->db().Query("SELECT フォーマット種別, 項目名称 FROM FL1903レコードフォーマット情報マスタ WHERE BPID='SHIP0202'");
  ASSERT_EQ(rows.size(), 1u);  // the format's 'L' rows went with it
  EXPECT_EQ(rows[0].Text("項目名称"), "新しい品名");
  // The demo format was not touched.
  EXPECT_EQ(db->db().Query("SELECT * FROM FL1903レコードフォーマット情報マスタ WHERE BPID='ORDR0101'").size(), 22u);
}

TEST_F(FormatFiles, ADatabaseFaultDuringTheLoadRollsEverythingBack) {
  const auto before = Export(db->db(), "before", CsvEncoding::Utf8);
  WriteItems("two", "E,0303,NEW00303,1,1,0,1,,品名,X,10,0,,0,,\nL,0303,NEW00303,1,1,0,1,1,品名,X,10,0,,0,,\n");
  edi::test::WriteAnsiText(dir / "two" / FormatFileName("FL1902フォーマット情報マスタ"),
                           "情報区分コード,BPID,様式識別,シンタックスIDバージョン,格納モード,1バイト文字集合,2バイト文字集合,"
                           "ローカル形式,XML文字コード\n0303,NEW00303,,,M,,,,\n");
  // The format's row goes in first; the items' insert fails.
  db->db().SetFaultHook([&](const std::string& sql) {
    if (sql.rfind("INSERT INTO " + kItems, 0) == 0) throw DatabaseError("disk I/O error");
  });
  ImportResult r = ImportFormats(db->db(), dir / "two", {});
  db->db().SetFaultHook(nullptr);
  ASSERT_FALSE(r.ok());
  EXPECT_NE(r.problems[0].message.find("disk I/O error; nothing was loaded"), std::string::npos);
  EXPECT_EQ(Export(db->db(), "after", CsvEncoding::Utf8), before);
}

}  // namespace
}  // namespace edi::cii::test
