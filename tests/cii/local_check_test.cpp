// The in-house file check and --explain over the demo format: every value the writer would
// silently change or drop is found at its line, byte and item; a sound line gives nothing.
#include "cii/local_check.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "app/database.h"
#include "app/text.h"
#include "cii_fixture.h"

namespace edi::cii::test {
namespace {

// Data positions of the demo layout ('L' 項目位置).
constexpr int kOrderDate = 11, kCustomer = 25, kItemCode = 48, kItemName = 60, kQuantity = 76, kRemark = 189;
constexpr std::size_t kRecord = 208;

// A demo line: the key of CENTER01, the values (Shift_JIS bytes) at their data positions,
// spaces elsewhere, `length` data bytes.
std::string Line(const std::map<int, std::string>& values, std::size_t length = kRecord,
                 const std::string& partner = "CENTER01") {
  std::string data(length, ' ');
  for (const auto& [pos, bytes] : values) data.replace(static_cast<std::size_t>(pos - 1), bytes.size(), bytes);
  return Key("0101", "OWNCO0000001", partner) + data.substr(0, length);
}

class LocalCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    db = edi::test::TestDatabase::Sqlite(dir.path());
    ASSERT_TRUE(edi::test::LoadDemoFormats(db->db()));
    masters = std::make_unique<DatabaseMasters>(db->db());
  }
  LocalCheckResult Check(const std::vector<std::string>& lines) {
    std::string file;
    for (const auto& l : lines) file += l + "\r\n";
    edi::test::WriteBytes(dir / "in.loc", file);
    return CheckLocalFile(*masters, dir / "in.loc");
  }
  edi::test::TempDir dir;
  std::unique_ptr<edi::test::TestDatabase> db;
  std::unique_ptr<DatabaseMasters> masters;
};

struct Expected {
  long long line, offset;
  std::optional<long long> item;
  std::string says;
};

void ExpectFindings(const LocalCheckResult& r, const std::vector<Expected>& expected) {
  std::ostringstream all;
  PrintFindings(r, all);
  ASSERT_EQ(r.findings.size(), expected.size()) << all.str();
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(all.str());
    EXPECT_EQ(r.findings[i].line, expected[i].line);
    EXPECT_EQ(r.findings[i].offset, expected[i].offset);
    EXPECT_EQ(r.findings[i].item, expected[i].item);
    EXPECT_NE(r.findings[i].problem.find(expected[i].says), std::string::npos);
  }
}

TEST_F(LocalCheck, TheDemoFileAndASoundLineGiveNothing) {
  LocalCheckResult demo = CheckLocalFile(*masters, std::filesystem::path(EDI_SOURCE_DIR) / "db/demo/local/0101.LOC");
  EXPECT_TRUE(demo.error.empty());
  EXPECT_EQ(demo.messages, 3);
  EXPECT_TRUE(demo.findings.empty());
  EXPECT_TRUE(Check({Line({{1, "A1"}, {kOrderDate, "20240229"}, {kQuantity, "-0012.50"}})}).findings.empty());
}

TEST_F(LocalCheck, ValuesTheWriterWouldChangeAreFoundAtTheirByte) {
  const std::string kanji = ToAnsiBytes("漢");
  LocalCheckResult r = Check({
      Line({{kQuantity, "0A012.50"}}),                   // 1: read as 0
      "",                                                // 2: blank, still counted
      Line({{kOrderDate, "20231341"}}),                  // 3: month 13
      Line({{kOrderDate, "2023-1-1"}}),                  // 4: not digits
      Line({{kCustomer, "\x81\x20"}}),                   // 5: a lead byte without its trail byte
      Line({{kItemName - 1, kanji}}),                    // 6: a character across two fields
      Line({{kCustomer, "ABCDEFGHIJKL"}}),               // 7: 24 bytes when made full-width
      Line({{kQuantity, "00001250"}}),                   // 8: no decimal point
      Line({{kQuantity + 48, "1.5.0"}}),                 // 9: the second repetition
  });
  ExpectFindings(r, {{1, 115, 13, "数値ではありません"},
                     {3, 50, 2, "日付ではありません"},
                     {4, 50, 2, "日付ではありません"},
                     {5, 64, 4, "Shift_JIS として正しくありません"},
                     {6, 87, 11, "項目の終わり (98 バイト目) で2バイト文字が切れています"},
                     {6, 99, 12, "項目の始まりで2バイト文字が切れています"},
                     {7, 64, 4, "全角にすると EDI 項目の長さ 20 を超えます"},
                     {8, 115, 13, "小数点がありません"},
                     {9, 163, 13, "数値ではありません"}});
  EXPECT_EQ(r.lines, 9);
  EXPECT_EQ(r.messages, 8);
  EXPECT_EQ(r.findings[0].name, "数量");
  EXPECT_EQ(r.findings[0].value, "0A012.50");
}

TEST_F(LocalCheck, NumbersCutOrRoundedByTheEdiItemAreFound) {
  // 単価 written with 長さ 4 and 数量 with no decimals: high digits and decimals are lost.
  db->db().Execute("UPDATE FL1903レコードフォーマット情報マスタ SET 長さ=4 WHERE フォーマット種別='E' AND 項目通番=10");
  db->db().Execute("UPDATE FL1903レコードフォーマット情報マスタ SET 小数部長さ=0 WHERE フォーマット種別='E' AND 項目通番=9");
  LocalCheckResult r = Check({Line({{84, "000085000"}, {kQuantity, "00012.00"}}), Line({{kQuantity, "00012.50"}})});
  ExpectFindings(r, {{1, 123, 14, "桁数が EDI 項目の長さ 4 を超えます。書く値: \"5000\""},
                     {2, 115, 13, "小数部が EDI 項目の 0 桁を超えます。切り捨てた値: \"12\""}});
}

TEST_F(LocalCheck, LinesTheWriterCannotTakeWholeAreFound) {
  LocalCheckResult r = Check({
      Line({{1, "A1"}}, 100),                                      // 1: shorter than its layout
      Line({{1, "A1"}}, kRecord) + "EXTRA",                        // 2: bytes beyond the layout
      Line({{1, "A1"}}, kRecord, "NOBODY"),                        // 3: no message group master
      Line({{1, "A2"}}, kRecord, "NOBODY"),                        // 4: the same group: once
      "00001",                                                     // 5: no key
      Line({{kRemark, "ok"}}) + "\x82",                            // 6: a lone lead byte after the layout
  });
  ExpectFindings(r, {{1, 140, std::nullopt, "レイアウトには 247 バイト要ります"},
                     {2, 248, std::nullopt, "書かれません"},
                     {3, 1, std::nullopt, "メッセージグループマスタ (FL1916) がありません"},
                     {5, 1, std::nullopt, "半角 39 バイトのキーがありません"},
                     {6, 248, std::nullopt, "Shift_JIS として正しくありません"},
                     {6, 248, std::nullopt, "書かれません"}});
}

TEST_F(LocalCheck, FindingsAsCsvUnderTheirHeader) {
  LocalCheckResult r = Check({Line({{kQuantity, "0A,12.50"}})});
  std::ostringstream out;
  WriteFindingsCsv(r, out);
  const std::string csv = out.str();
  EXPECT_EQ(csv.rfind("line,offset,item,name,value,problem\r\n", 0), 0u);
  EXPECT_NE(csv.find("\r\n1,115,13,\"数量\",\"0A,12.50\",\"数値ではありません"), std::string::npos) << csv;
  EXPECT_EQ(DisplayBytes("A\x81\x20" + ToAnsiBytes("漢")), "A<81> 漢");
}

TEST_F(LocalCheck, ExplainShowsEachItemAsTheWriterWritesIt) {
  edi::test::WriteBytes(dir / "in.loc", Line({{1, "PO-1"}, {kQuantity + 48, "00003.00"}, {kRemark, "URGENT"}}) +
                                            "\r\n\r\n");
  LineExplanation x = ExplainLine(*masters, dir / "in.loc", 1);
  ASSERT_TRUE(x.error.empty()) << x.error;
  EXPECT_EQ(x.bpid, "ORDR0101");
  ASSERT_EQ(x.items.size(), 4u + 5u * 3u + 1u);
  const ExplainedItem& order = x.items[0];
  EXPECT_EQ(order.offset, 40);
  EXPECT_EQ(order.raw, "PO-1      ");
  EXPECT_EQ(order.element, std::string("\x01\x04PO-1"));
  const ExplainedItem& quantity2 = x.items[4 + 5 + 3];
  EXPECT_EQ(quantity2.name, "数量");
  EXPECT_EQ(quantity2.repetitions, std::vector<int>{2});
  EXPECT_EQ(quantity2.offset, 163);
  EXPECT_EQ(quantity2.value, "300");
  EXPECT_TRUE(x.items[4].value.empty());  // 行番号 of the first repetition is blank: left out
  const ExplainedItem& remark = x.items.back();
  EXPECT_EQ(remark.tag, B({0x00, 0xFA}));  // 250 needs an extended tag
  std::ostringstream text;
  PrintExplanation(x, text);
  EXPECT_NE(text.str().find("項目№ 13 数量 [2] (N), 163–170 バイト目: \"00003.00\" → \"300\" → タグ 0D, 長さ 03 (3), データ 33 30 30"),
            std::string::npos)
      << text.str();

  EXPECT_EQ(ExplainLine(*masters, dir / "in.loc", 2).error, "2 行目は空行です: メッセージではありません");
  EXPECT_EQ(ExplainLine(*masters, dir / "in.loc", 5).error, "ファイルは 2 行です");
}

// Findings go out as they are found, up to the limit; the rest are counted. Long values are
// cut with their length, and the CSV rows are safe to open in a spreadsheet in both encodings.
TEST_F(LocalCheck, FindingsStreamUpToTheLimitWithShortValuesAndSafeCsv) {
  std::vector<std::string> lines(30, Line({{kQuantity, "=1+2+3+"}}));
  lines.push_back(Line({}) + std::string(100'000, 'Z'));
  edi::test::WriteBytes(dir / "in.loc", [&] {
    std::string f;
    for (const auto& l : lines) f += l + "\r\n";
    return f;
  }());
  std::vector<LocalFinding> got;
  LocalCheckResult r = CheckLocalFile(*masters, dir / "in.loc", [&](const LocalFinding& f) { got.push_back(f); },
                                      LocalCheckOptions{10});
  EXPECT_EQ(got.size(), 10u);
  EXPECT_EQ(r.reported, 10);
  EXPECT_EQ(r.found, 31);
  EXPECT_EQ(r.lines, 31);

  LocalCheckResult every = CheckLocalFile(*masters, dir / "in.loc");
  ASSERT_EQ(every.findings.size(), 31u);
  std::ostringstream text;
  PrintFinding(every.findings.back(), text);
  EXPECT_NE(text.str().find("ZZZ… (100000 bytes)\": レイアウトの"), std::string::npos) << text.str();
  EXPECT_LT(text.str().size(), 200u);

  std::ostringstream cp932, utf8;
  FindingsCsv a(cp932, CsvEncoding::Cp932), b(utf8, CsvEncoding::Utf8);
  a.Write(every.findings.front());
  b.Write(every.findings.front());
  const std::string row = "1,115,13,\"数量\",\"'=1+2+3+ \",\"数値ではありません";
  EXPECT_EQ(cp932.str().rfind("line,offset,item,name,value,problem\r\n" + ToAnsiBytes(row), 0), 0u) << cp932.str();
  EXPECT_EQ(utf8.str().rfind("\xEF\xBB\xBFline,offset,item,name,value,problem\r\n" + row, 0), 0u) << utf8.str();
}

}  // namespace
}  // namespace edi::cii::test
