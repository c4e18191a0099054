// The format masters as CSV files: export → import → export gives the same bytes, a refused
// or failed import leaves the database as it was, and --replace replaces a whole format.
#include "cii/format_io.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

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
      {good + "L,0303,NEW00303,1,1,0,1,1,品名,X,abc,0,,0,,\n", 3, "長さ", "は整数ではありません"},
      {good + "L,0303,NEW00303,1,1,-1,1,1,品名,X,10,0,,0,,\n", 3, "レベル番号", "が範囲 (0 から"},
      {good + "L,0303,NEW00303,1,1,0,1,1,品名,Z,10,0,,0,,\n", 3, "属性", "は次のどれでもありません"},
      {good + "Q,0303,NEW00303,1,1,0,1,1,品名,X,10,0,,0,,\n", 3, "フォーマット種別", "は次のどれでもありません"},
      {good + "L,303,NEW00303,1,1,0,1,1,品名,X,10,0,,0,,\n", 3, "情報区分コード", "ちょうど 4 文字"},
      {good + "L,0303,NEW00303,1,,0,1,1,品名,X,10,0,,0,,\n", 3, "対応項目通番", "数値が必要です"},
      {good + "L,0303,NEW00303,1,1,0,1,x1,品名,X,10,0,,0,,\n", 3, "項目位置", "バイト位置"},
      {good + "E,0303,NEW00303,1,1,0,1,,again,X,10,0,,0,,\n", 3, "", "と同じです"},
      {good + "L,0303,NEW00303,1,1,0,1,1,\"品名,X,10,0,,0,,\n", 3, "", "CSV ではありません"},
      {good + "L,0303,NEW00303,1,1,0,1,1,品名,X\n", 3, "", "個ありますが、見出しは"},
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
  EXPECT_NE(Describe(r.problems.front()).find(kItemsFile + ":1: 3 列目: \"色\" は FL1903レコードフォーマット情報マスタ の列ではありません"), std::string::npos);
  edi::test::WriteBytes(dir / "hdr" / kItemsFile, ToAnsiBytes(kItemsHeader) + "E,\x81\n");
  r = ImportFormats(db->db(), dir / "hdr", ImportOptions{false, CsvEncoding::Cp932});
  EXPECT_EQ(Describe(r.problems.front()), kItemsFile + ":2: CP932 ではないバイトがあります");
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
  EXPECT_NE(r.problems[0].message.find("はすでにデータベースにあります (--replace"), std::string::npos);

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
  EXPECT_NE(r.problems[0].message.find("disk I/O error。何も読み込んでいません"), std::string::npos) << r.problems[0].message;
  EXPECT_EQ(Export(db->db(), "after", CsvEncoding::Utf8), before);
}

// What is in the database of the three tables, as one comparable text (nulls marked).
std::string Contents(Database& d) {
  std::string all;
  for (const std::string& t : FormatTables())
    for (const auto& r : d.Query("SELECT * FROM " + t)) {
      for (std::size_t i = 0; i < r.size(); ++i) all += r.at(i) ? "[" + *r.at(i) + "]" : "<null>";
      all += "\n";
    }
  return all;
}

const std::string kFormatsFile = FormatFileName("FL1902フォーマット情報マスタ");

// A folder, a pipe or a link to nothing at a table's name is refused as a whole, even when
// the other files are sound: loading the format without that table would be a broken format.
TEST_F(FormatFiles, ATableNameThatIsNoFileRefusesTheWholeImport) {
  const std::string before = Contents(db->db());
  for (const std::string kind : {"folder", "pipe", "dangling link"}) {
    SCOPED_TRACE(kind);
    std::filesystem::remove_all(dir / "odd");
    WriteItems("odd", "E,0303,NEW00303,1,1,0,1,,品名,X,10,0,,0,,\n");
    const auto at = dir / "odd" / kFormatsFile;
    if (kind == "folder") std::filesystem::create_directory(at);
    if (kind == "pipe") ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0);
    if (kind == "dangling link") std::filesystem::create_symlink(dir / "nowhere.csv", at);
    ImportResult r = ImportFormats(db->db(), dir / "odd", {});
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_TRUE(r.unusable());
    EXPECT_EQ(r.problems[0].file, kFormatsFile);
    const std::string why = kind == "folder" ? "ファイルではなくフォルダです" : kind == "pipe" ? "ファイルではなくパイプです" : "リンク先がありません";
    EXPECT_NE(r.problems[0].message.find(why), std::string::npos)
        << r.problems[0].message;
    EXPECT_EQ(Contents(db->db()), before);
  }
  // A missing folder and a plain file in its place cannot be used either.
  EXPECT_TRUE(ImportFormats(db->db(), dir / "absent", {}).unusable());
  EXPECT_TRUE(ImportFormats(db->db(), dir / "odd" / kItemsFile, {}).unusable());
}

// Control characters in keys and codes, cells too large to hold, and what a refusal echoes.
TEST_F(FormatFiles, HostileCellsAreRefusedWithShortEchoesAndAFinalCtrlZIsAccepted) {
  const std::string before = Contents(db->db());
  struct Case {
    std::string rows, column, says;
  };
  const std::vector<Case> cases = {
      {std::string("E,03\x00" "3,NEW00303,1,1,0,1,,品名,X,10,0,,0,,\n", 44), "情報区分コード", "<00>3\" に制御文字があります"},
      {"E,0303,NEW\t0303,1,1,0,1,,品名,X,10,0,,0,,\n", "BPID", "に制御文字があります"},
      {std::string("E,0303,NEW00303,1,1,0,1,,品\x00名,X,10,0,,0,,\n", 45), "項目名称", "(NUL)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.column);
    std::filesystem::create_directories(dir / "bad");
    edi::test::WriteBytes(dir / "bad" / kItemsFile, ToAnsiBytes(kItemsHeader + c.rows));
    ImportResult r = ImportFormats(db->db(), dir / "bad", {});
    ASSERT_EQ(r.problems.size(), 1u);
    EXPECT_EQ(r.problems[0].column, c.column);
    EXPECT_NE(r.problems[0].message.find(c.says), std::string::npos) << r.problems[0].message;
  }
  // A long key is echoed cut, with its length; a cell larger than any master value is
  // refused while it is read, with the same short echo.
  WriteItems("bad", "E,0303,N" + std::string(5000, '9') + ",1,1,0,1,,品名,X,10,0,,0,,\n");
  ImportResult r = ImportFormats(db->db(), dir / "bad", {});
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_NE(r.problems[0].message.find("… (5001 バイト) が 8 バイトより長いです"), std::string::npos) << r.problems[0].message;
  EXPECT_LT(Describe(r.problems[0]).size(), 200u);
  WriteItems("bad", "E,0303,NEW00303,1,1,0,1,,\"" + std::string(200'000, 'A') + "\",X,10,0,,0,,\n");
  r = ImportFormats(db->db(), dir / "bad", {});
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_EQ(r.problems[0].line, 2);
  EXPECT_NE(r.problems[0].message.find("65536 バイトより長い値があります"), std::string::npos) << r.problems[0].message;
  EXPECT_LT(Describe(r.problems[0]).size(), 200u);
  EXPECT_EQ(Contents(db->db()), before);

  // A CP932 file ending in Ctrl-Z, as older editors save it, loads.
  edi::test::WriteBytes(dir / "bad" / kItemsFile,
                        ToAnsiBytes(kItemsHeader + "E,0303,NEW00303,1,1,0,1,,品名,X,10,0,,0,,\r\n") + "\x1A");
  r = ImportFormats(db->db(), dir / "bad", {});
  ASSERT_TRUE(r.ok()) << Describe(r.problems.front());
  EXPECT_EQ(r.loaded.at(0).rows, 1);
}

// Values that a spreadsheet would run as formulas, values that begin with an apostrophe,
// empty texts and nulls: written as text a spreadsheet shows as it is, read back unchanged.
TEST_F(FormatFiles, FormulaCellsAreWrittenAsTextAndComeBackExactly) {
  const std::vector<Value> names = {"=HYPERLINK(\"http://x\",\"y\")", "+1", "-2", "@SUM(A1)", "\tタブ", "\r行", "'引用",
                                    "''", "'", "", std::nullopt, "a=b", " =1"};
  const std::string insert =
      "INSERT INTO FL1903レコードフォーマット情報マスタ (フォーマット種別, 情報区分コード, BPID, 項目通番, 対応項目通番, "
      "レベル番号, 項目№, 項目位置, 項目名称, 属性, 長さ, 小数部長さ, マルチ明細番号, 繰返し数, 固定項目値) "
      "VALUES ('E', '0404', 'FORM0404', :1, 1, 0, -5, NULL, :2, 'X', 1, 0, :3, 0, :4)";
  // A code (マルチ明細番号) holds no control characters; the other two are free texts.
  const std::vector<Value> codes = {"=1", "'", "", std::nullopt, "-3", "@"};
  auto param = [](const Value& v) -> Param { return v ? Param(*v) : Param(nullptr); };
  const std::size_t n = names.size();
  for (std::size_t i = 0; i < n; ++i)
    db->db().Execute(insert, {static_cast<long long>(i + 1), param(names[i]), param(codes[i % codes.size()]),
                              param(names[n - 1 - i])});
  for (CsvEncoding enc : {CsvEncoding::Cp932, CsvEncoding::Utf8}) {
    const std::string tag = enc == CsvEncoding::Utf8 ? "u" : "c";
    auto first = Export(db->db(), "f" + tag, enc, FormatFilter{"0404", std::nullopt});
    std::string items = first.at(kItemsFile);
    if (enc == CsvEncoding::Cp932) items = FromAnsiBytes(items);
    // No cell starts a formula: each such value begins with an apostrophe.
    EXPECT_NE(items.find(",\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\","), std::string::npos) << items;
    for (const std::string cell :
         {",'+1,", ",'-2,", ",'@SUM(A1),", ",'\tタブ,", ",\"'\r行\",", ",''引用,", ",''',", ",',", ",'=1,"})
      EXPECT_NE(items.find(cell), std::string::npos) << cell;
    EXPECT_NE(items.find(",-5,"), std::string::npos);  // a number stays a number
    edi::test::TempDir emptyDir;
    auto empty = edi::test::TestDatabase::Sqlite(emptyDir.path());
    ImportResult r = ImportFormats(empty->db(), dir / ("f" + tag), {});
    ASSERT_TRUE(r.ok()) << Describe(r.problems.front());
    auto rows = empty->db().Query("SELECT 項目名称, マルチ明細番号, 固定項目値 FROM " + kItems + " ORDER BY 項目通番");
    ASSERT_EQ(rows.size(), n);
    for (std::size_t i = 0; i < n; ++i) {
      EXPECT_EQ(rows[i].at(0), names[i]) << i;
      EXPECT_EQ(rows[i].at(1), codes[i % codes.size()]) << i;
      EXPECT_EQ(rows[i].at(2), names[n - 1 - i]) << i;
    }
    EXPECT_EQ(Export(empty->db(), "s" + tag, enc), first);
  }
}

// A file as a spreadsheet that quotes every cell saves it, with the leftovers spreadsheets
// leave (an empty column at the end, last rows of only commas): nulls and empty texts come
// back as they went out, and the leftovers are warnings. A file with an unquoted header
// keeps "" as an empty text, as files written before the apostrophe rule have it.
TEST_F(FormatFiles, AQuoteAllSpreadsheetKeepsNullsAndEmptyTextsAndItsLeftoversAreWarnings) {
  auto quoteAll = [](const std::string& line) {
    std::string q;
    for (std::size_t start = 0;;) {
      const std::size_t comma = line.find(',', start);
      q += "\"" + line.substr(start, comma - start) + "\"";
      if (comma == std::string::npos) return q;
      q += ",";
      start = comma + 1;
    }
  };
  const std::string header = quoteAll(kItemsHeader.substr(0, kItemsHeader.size() - 1) + ",") + "\n";
  const std::string row = quoteAll("E,0505,QALL0505,1,1,0,1,,品名,X,10,0,',0,,,") + "\n";
  std::filesystem::create_directories(dir / "q");
  edi::test::WriteAnsiText(dir / "q" / kItemsFile, header + row + ",,,,,,,,,,,,,,,,\n,,,,,,,,,,,,,,,,\n");
  ImportResult r = ImportFormats(db->db(), dir / "q", {});
  ASSERT_TRUE(r.ok()) << Describe(r.problems.front());
  ASSERT_EQ(r.warnings.size(), 2u);
  EXPECT_NE(r.warnings[0].message.find("末尾の名前のない列 1 列"), std::string::npos) << r.warnings[0].message;
  EXPECT_EQ(r.warnings[1].line, 3);
  EXPECT_NE(r.warnings[1].message.find("空のセルだけの行 2 行"), std::string::npos) << r.warnings[1].message;
  auto got = db->db().Query("SELECT 項目位置, マルチ明細番号, 固定項目値 FROM " + kItems + " WHERE BPID='QALL0505'");
  ASSERT_EQ(got.size(), 1u);
  EXPECT_FALSE(got[0].at(0).has_value());
  EXPECT_EQ(got[0].at(1), Value(""));
  EXPECT_FALSE(got[0].at(2).has_value());
  // A value in the column without a name is refused.
  edi::test::WriteAnsiText(dir / "q" / kItemsFile, header + quoteAll("E,0505,QALL0505,1,1,0,1,,品名,X,10,0,',0,,,x") + "\n");
  r = ImportFormats(db->db(), dir / "q", {true});
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_NE(r.problems[0].message.find("名前のない列にあります"), std::string::npos) << r.problems[0].message;

  WriteItems("old", "E,0505,OLD00505,1,1,0,1,,品名,X,10,0,\"\",0,,\n");
  ASSERT_TRUE(ImportFormats(db->db(), dir / "old", {}).ok());
  EXPECT_EQ(db->db().Query("SELECT マルチ明細番号 FROM " + kItems + " WHERE BPID='OLD00505'").at(0).at(0), Value(""));
}

// Export: files that are there are kept unless asked to replace them, and a replacement
// writes all three files or none (a link at the second name leaves every file as it was).
TEST_F(FormatFiles, ExportWritesAllFilesOrNoneAndKeepsEditedFilesWithoutOverwrite) {
  Export(db->db(), "out", CsvEncoding::Cp932);
  const std::vector<std::string> names = {FormatFileName("FL1916メッセージグループ情報マスタ"), kFormatsFile, kItemsFile};
  for (const auto& n : names) edi::test::WriteBytes(dir / "out" / n, "edited " + n);
  EXPECT_THROW(ExportFormats(db->db(), dir / "out", {}, CsvEncoding::Cp932), ExportRefused);
  for (const auto& n : names) EXPECT_EQ(edi::test::ReadBytes(dir / "out" / n), "edited " + n);

  std::filesystem::remove(dir / "out" / names[1]);
  edi::test::WriteBytes(dir / "elsewhere.csv", "not to be touched");
  std::filesystem::create_symlink(dir / "elsewhere.csv", dir / "out" / names[1]);
  EXPECT_THROW(ExportFormats(db->db(), dir / "out", {}, CsvEncoding::Cp932, true), ExportRefused);
  EXPECT_EQ(edi::test::ReadBytes(dir / "out" / names[0]), "edited " + names[0]);
  EXPECT_EQ(edi::test::ReadBytes(dir / "out" / names[2]), "edited " + names[2]);
  EXPECT_EQ(edi::test::ReadBytes(dir / "elsewhere.csv"), "not to be touched");

  std::filesystem::remove(dir / "out" / names[1]);
  ExportFormats(db->db(), dir / "out", {}, CsvEncoding::Cp932, true);
  EXPECT_EQ(Files(dir / "out"), Export(db->db(), "fresh", CsvEncoding::Cp932));  // no temporary file is left
  // A filter that matches no format writes nothing; a plain file is no folder.
  EXPECT_THROW(ExportFormats(db->db(), dir / "none", FormatFilter{"9999", std::nullopt}, CsvEncoding::Cp932),
               ExportRefused);
  EXPECT_FALSE(std::filesystem::exists(dir / "none" / kItemsFile));
  EXPECT_THROW(ExportFormats(db->db(), dir / "elsewhere.csv", {}, CsvEncoding::Cp932), ExportFolderError);
}

// More rows than one statement takes, on both databases: every row arrives, many to a
// statement, and a key repeated far apart is found with both lines.
TEST_F(FormatFiles, ManyRowsLoadInBatchesAndARepeatedKeyIsFoundFarApart) {
  std::string rows;
  for (int i = 1; i <= 3000; ++i)
    rows += "E,0606,MANY0606," + std::to_string(i) + ",1,0," + std::to_string(i) + ",,項目" + std::to_string(i) +
            ",X,10,0,,0,,\n";
  // A name with what a statement or PostgreSQL's COPY lines would have to escape.
  const std::string odd = "a \\\"{NULL}\\\\,'b\t\\N";
  rows += "E,0606,MANY0606,3001,1,0,1,,\"" + std::string("a \\\"\"{NULL}\\\\,'b\t\\N") + "\",X,10,0,,0,NULL,\n";
  WriteItems("many", rows);
  std::vector<std::unique_ptr<edi::test::TestDatabase>> dbs;
  edi::test::TempDir otherDir;
  dbs.push_back(edi::test::TestDatabase::Sqlite(otherDir.path()));
  dbs.push_back(edi::test::TestDatabase::OdbcSqlite(otherDir.path()));  // a multi-row VALUES list
  if (auto pg = edi::test::TestDatabase::Postgres()) dbs.push_back(std::move(pg));
  for (auto& target : dbs) {
    const long long before = target->db().statementCount();
    ImportResult r = ImportFormats(target->db(), dir / "many", {});
    ASSERT_TRUE(r.ok()) << Describe(r.problems.front());
    EXPECT_EQ(target->db().Query("SELECT COUNT(*) FROM " + kItems).at(0).at(0), Value("3001"));
    auto last = target->db().Query("SELECT 項目名称, 固定項目値, 変換エラー対処 FROM " + kItems + " WHERE 項目通番=3001");
    EXPECT_EQ(last.at(0).at(0), Value(odd));
    EXPECT_EQ(last.at(0).at(1), Value("NULL"));  // a text, not a null
    EXPECT_EQ(last.at(0).at(2), Value(std::nullopt));
    EXPECT_LT(target->db().statementCount() - before, 100);
    EXPECT_EQ(target->db().Query("SELECT 項目名称 FROM " + kItems + " WHERE 項目通番=2999").at(0).at(0), Value("項目2999"));
  }
  WriteItems("many", rows + "E,0606,MANY0606,7,1,0,1,,again,X,10,0,,0,,\n");
  ImportResult r = ImportFormats(db->db(), dir / "many", {});
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_EQ(Describe(r.problems[0]), kItemsFile + ":3003: フォーマット種別, 情報区分コード, BPID, 項目通番 が 8 行目と同じです");
}

}  // namespace
}  // namespace edi::cii::test
