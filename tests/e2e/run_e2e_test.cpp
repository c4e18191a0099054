// One pass over several centers of a terminal with the stand-in package: each center
// provokes another outcome of the extraction and conversion steps. The history rows, the
// row texts and states, and the files in the output, backup and parameter folders are
// checked. The same pass runs on SQLite and on the PostgreSQL server of scripts/test.
#include <gtest/gtest.h>

#include <regex>

#include "app/text.h"
#include "run/run_driver.h"
#include "run_bench.h"

namespace edi::test {
namespace {

bool IsDate(const std::string& s) { return std::regex_match(s, std::regex(R"(\d{4}/\d{2}/\d{2})")); }
bool IsTime(const std::string& s) { return std::regex_match(s, std::regex(R"(\d{2}:\d{2}:\d{2})")); }

// A history row compared column by column, dates and times by their form.
struct Expected {
  long long serial, branch;
  std::string partnerKind, work, center, partner, info;
  long long in, out;
  std::string end, detail, file;
  std::string bpid = " ", storage = " ";
};

void ExpectRow(const Row& r, const Expected& e) {
  SCOPED_TRACE("serial " + std::to_string(e.serial) + " branch " + std::to_string(e.branch));
  EXPECT_EQ(r.Int("通番"), e.serial);
  EXPECT_EQ(r.Int("枝番"), e.branch);
  EXPECT_EQ(r.Text("送受信種別"), "S");
  EXPECT_EQ(r.Text("相手先種別"), e.partnerKind);
  EXPECT_EQ(r.Text("処理種別"), e.work);
  EXPECT_TRUE(IsDate(r.Text("処理開始日付")));
  EXPECT_TRUE(IsTime(r.Text("処理開始時刻")));
  EXPECT_EQ(r.Text("センターコード"), e.center);
  EXPECT_TRUE(IsDate(r.Text("処理終了日付")));
  EXPECT_TRUE(IsTime(r.Text("処理終了時刻")));
  EXPECT_EQ(r.Text("相手先企業コード"), e.partner);
  if (e.bpid != "*") {
    EXPECT_EQ(r.Text("BPID"), e.bpid);
  }
  if (e.info != "*") {
    EXPECT_EQ(r.Text("取引情報区分"), e.info);
  }
  EXPECT_EQ(r.Int("最終シーケンス番号"), 0);
  EXPECT_EQ(r.Int("入力レコード数"), e.in);
  EXPECT_EQ(r.Int("入力ファイルサイズ"), 0);
  EXPECT_EQ(r.Int("出力レコード数"), e.out);
  EXPECT_EQ(r.Int("出力ファイルサイズ"), 0);
  if (e.storage != "*") {
    EXPECT_EQ(r.Text("格納モード"), e.storage);
  }
  if (e.end == "!0000") {
    EXPECT_NE(r.Text("終了コード"), "0000");
    EXPECT_EQ(r.Text("詳細コード"), r.Text("終了コード"));
  } else {
    EXPECT_EQ(r.Text("終了コード"), e.end);
    EXPECT_EQ(r.Text("詳細コード"), e.detail);
  }
  EXPECT_EQ(r.Text("ファイル名"), e.file);
}

class RunPass : public ::testing::TestWithParam<bool> {};

TEST_P(RunPass, EachCenterEndsWithItsOwnCode) {
  BenchOptions options;
  options.postgres = GetParam();
  options.defaultInfoCodes = {"0101"};
  options.historyPrefix = "HIST_";
  RunBench b(options);
  if (!b.available()) GTEST_SKIP() << "no PostgreSQL server (scripts/test starts one)";

  for (const char* c : {"C01", "C02", "C03", "C04", "C05", "C06"}) b.AddCenter(c, "Z", "C", (b.send / c).string());
  b.AddCenter("C07", "Z", "C", std::string("x"), std::nullopt, "T2");
  b.AddPartner("C01", "P01");
  b.AddInfoCode("C01", "0101", 1);
  b.AddInfoCode("C01", "0102", 2);
  // C02 has no partner company.
  b.AddPartner("C03", "P03");  // the package leaves no status file
  b.AddPartner("C04", "P04");  // the package reports result 01; codes from JKBN_J_S
  b.AddPartner("C05", "P05");
  b.AddInfoCode("C05", "0999");  // no in-house data: extraction succeeds, nothing to convert
  b.AddPartner("C06", "P06");
  b.WriteData("0101", "not a record of any format\r\n");
  b.WriteData("0102", "line one\r\nline two\r\n");
  b.ConfigurePackage({"STATUS@P03=skip", "RESULT@P04=01"});
  ASSERT_FALSE(b.Start());
  ASSERT_EQ(b.ws.centers.count(), 6);  // C07 belongs to terminal T2

  for (int i = 0; i < 6; ++i)
    if (b.ws.centers.at(i).centerCode != "C06") b.ws.centers.SetMarked(i, true);
  RecordingListener listener;
  run::RunDriver driver(b.ws, listener);
  driver.RunMarkedCenters(0);

  EXPECT_EQ(listener.events, (std::vector<std::string>{"pass", "start 0", "end 0", "start 1", "end 1", "start 2",
                                                       "end 2", "start 3", "end 3", "start 4", "end 4", "done"}));
  auto texts = [&](const std::string& c) {
    CenterRow r = b.ws.centers.at(RowOf(b.ws, c));
    return std::vector<std::string>{r.extractStatus, r.convertStatus, r.sendStatus, std::to_string(r.rowState)};
  };
  EXPECT_EQ(texts("C01"), (std::vector<std::string>{"OK", "変換ｴﾗｰ", "", "9"}));
  EXPECT_EQ(texts("C02"), (std::vector<std::string>{"抽出ｴﾗｰ", "", "", "9"}));
  EXPECT_EQ(texts("C03"), (std::vector<std::string>{"抽出ｴﾗｰ", "", "", "9"}));
  EXPECT_EQ(texts("C04"), (std::vector<std::string>{"抽出ｴﾗｰ", "", "", "9"}));
  EXPECT_EQ(texts("C05"), (std::vector<std::string>{"OK", "変換ｴﾗｰ", "", "9"}));
  EXPECT_EQ(texts("C06"), (std::vector<std::string>{"", "", "", "0"}));
  EXPECT_EQ(driver.SerialOf(RowOf(b.ws, "C05")), 5);
  EXPECT_EQ(driver.SerialOf(RowOf(b.ws, "C06")), 0);

  const std::string out = b.out.string() + "/";
  auto rows = b.History();
  ASSERT_EQ(rows.size(), 11u);
  std::size_t k = 0;
  // C01: extraction of two codes, two conversions that fail in the translator.
  ExpectRow(rows[k++], {1, 0, "2", "04", "C01", " ", " ", 0, 0, "7200", " ", " "});
  ExpectRow(rows[k++], {1, 1, "2", "42", "C01", "P01", "0102", 2, 2, "0000", "0000",
                        "HIST_00000001_RCV_C01_________0102.LOC"});
  ExpectRow(rows[k++], {1, 2, "2", "32", "C01", " ", "*", 0, 0, "!0000", "", out + "00000001_SND_C01_________0101.LOC",
                        "*", "*"});
  ExpectRow(rows[k++], {1, 3, "2", "32", "C01", " ", "*", 0, 0, "!0000", "", out + "00000001_SND_C01_________0102.LOC",
                        "*", "*"});
  // C02: no partner company; nothing was started.
  ExpectRow(rows[k++], {2, 0, "2", "04", "C02", " ", " ", 0, 0, "7300", " ", " "});
  // C03: no status file.
  ExpectRow(rows[k++], {3, 0, "2", "04", "C03", " ", " ", 0, 0, "4100", " ", " "});
  ExpectRow(rows[k++], {3, 1, "2", "42", "C03", " ", " ", 0, 0, "4100", "0002", " "});
  // C04: result 01 on its line; the failing line's own fields are kept.
  ExpectRow(rows[k++], {4, 0, "2", "04", "C04", " ", " ", 0, 0, "9999", " ", " "});
  ExpectRow(rows[k++], {4, 1, "2", "42", "C04", "P04", "0101", 1, 1, "9999", "0000",
                        "HIST_00000004_RCV_C04_________0101.LOC"});
  // C05: the package found nothing to extract; no file to convert.
  ExpectRow(rows[k++], {5, 0, "2", "04", "C05", " ", " ", 0, 0, "7200", " ", " "});
  ExpectRow(rows[k++], {5, 1, "2", "42", "C05", "P05", "0999", 0, 0, "0000", "0000",
                        "HIST_00000005_RCV_C05_________0999.LOC"});
  EXPECT_EQ(k, rows.size());

  // Files: the package's output, the backups of every serial, the parameter files.
  EXPECT_EQ(ReadBytes(b.out / "00000001_SND_C01_________0102.LOC"), "line one\r\nline two\r\n");
  for (const auto& name : b.FileNames(b.out)) {
    if (name.rfind("00000001", 0) == 0) {
      EXPECT_EQ(ReadBytes(b.old / name), ReadBytes(b.out / name)) << name;
    }
  }
  EXPECT_TRUE(std::filesystem::exists(b.old / "00000001_SND_C01_________0101.LOC"));
  EXPECT_EQ(ReadBytes(b.param / "EDI00000001.INI"),
            "/[EDI]0101TXT='%EDI_OUT%00000001_SND_C01_________0101.LOC'\r\n"
            "/[EDI]0102TXT='%EDI_OUT%00000001_SND_C01_________0102.LOC'\r\n"
            "/[EDI]OPERATOR='OP01'\r\n"
            "/[EDI]STATUS_FILE='" + (b.status / "00000001_Z_OUT_STATUS.TXT").string() + "'\r\n"
            "/[EDI]MAKER='P01'\r\n");
  EXPECT_EQ(ReadBytes(b.param / "EDI00000004.INI"),
            "/[EDI]0101TXT='%EDI_OUT%00000004_SND_C04_________0101.LOC'\r\n"
            "/[EDI]OPERATOR='OP01'\r\n"
            "/[EDI]STATUS_FILE='" + (b.status / "00000004_Z_OUT_STATUS.TXT").string() + "'\r\n"
            "/[EDI]MAKER='P04'\r\n");
  EXPECT_FALSE(std::filesystem::exists(b.param / "EDI00000002.INI"));  // C02 never reached the package
  EXPECT_FALSE(std::filesystem::exists(b.status / "00000003_Z_OUT_STATUS.TXT"));
  EXPECT_TRUE(b.FileNames(b.send).empty());

  // A second press runs nothing: every marked row has run.
  driver.RunMarkedCenters(0);
  driver.RunMarkedCenters(1);
  EXPECT_EQ(b.History().size(), 11u);
}

INSTANTIATE_TEST_SUITE_P(Engines, RunPass, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "PostgreSQL" : "SQLite"; });

}  // namespace
}  // namespace edi::test
