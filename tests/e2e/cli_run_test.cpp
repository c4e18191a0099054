// `edi run` and `edi history` as processes: their output and exit codes, and two
// workstations running at the same time against one PostgreSQL database.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>
#include <sstream>

#include "run_bench.h"

namespace edi::test {
namespace {

EdiOutcome Edi(RunBench& b, const std::string& args) { return RunEdi(b, args); }

TEST(EdiRun, PrintsStepsAndTableAndFailsWhenACenterFailed) {
  RunBench b;
  b.AddCenter("C1");
  b.AddCenter("C2");
  b.AddPartner("C1", "P1");
  b.AddInfoCode("C1", "0101");
  b.WriteData("0101", "not a record\r\n");

  auto r = Edi(b, "run --operator OP9 --terminal T1 C1");
  EXPECT_EQ(r.exitCode, 1) << r.out;
  // Each step's line starts with its date and time, as ERR.LOG's lines do.
  EXPECT_TRUE(std::regex_search(r.out, std::regex("(^|\n)[0-9]{4}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} "
                                                  "C1 データ抽出: 抽出中\n")))
      << r.out;
  EXPECT_NE(r.out.find("C1 変換: 変換ｴﾗｰ"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("ｾﾝﾀｰｺｰﾄﾞ  データ抽出"), std::string::npos) << r.out;
  EXPECT_TRUE(std::regex_search(r.out, std::regex("\nC1 +OK +変換ｴﾗｰ +エラー +00000001\n"))) << r.out;
  EXPECT_EQ(r.out.find("C2 "), std::string::npos) << r.out;  // not named, not run
  EXPECT_NE(ReadBytes(b.param / "EDI00000001.INI").find("OPERATOR='OP9'"), std::string::npos);

  auto h = Edi(b, "history --serial 1");
  EXPECT_EQ(h.exitCode, 0) << h.out;
  EXPECT_NE(h.out.find("1\t0\tS\t2\t04\t"), std::string::npos) << h.out;
  EXPECT_NE(h.out.find("1\t1\tS\t2\t42\t"), std::string::npos) << h.out;

  EXPECT_EQ(Edi(b, "run --terminal T1 NOPE").exitCode, 2);
  EXPECT_EQ(Edi(b, "run --terminal T1").exitCode, 2);
  EXPECT_EQ(Edi(b, "run --terminal T1 --all C1").exitCode, 2);
  EXPECT_EQ(Edi(b, "history --serial x").exitCode, 2);
}

// edi history's filters choose whole runs (every branch of a chosen run is listed).
TEST(EdiHistory, FiltersChooseRunsWithAllTheirBranches) {
  RunBench b;
  auto add = [&](long long serial, long long branch, const std::string& date, const std::string& center,
                 const std::optional<std::string>& endCode) {
    b.master().Execute(
        "INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 送受信種別, 相手先種別, 処理種別, 処理開始日付, センターコード,"
        " 処理終了日付, 終了コード) VALUES (:1, :2, 'S', '2', :3, :4, :5, :6, :7)",
        {serial, branch, std::string(branch ? "42" : "04"), date, center, endCode ? Param(date) : Param(nullptr),
         endCode ? Param(*endCode) : Param(nullptr)});
  };
  add(1, 0, "2026/12/01", "C1", "0000");
  add(1, 1, "2026/12/01", "C1", "0000");
  add(2, 0, "2026/12/02", "C2", "5100");
  add(2, 1, "2026/12/02", "C2", "0000");
  add(3, 0, "2026/12/03", "C1", std::nullopt);
  auto serials = [&](const std::string& args) {
    auto r = Edi(b, "history " + args);
    EXPECT_EQ(r.exitCode, 0) << args << "\n" << r.out;
    std::string keys;
    std::istringstream lines(r.out);
    std::string line;
    std::getline(lines, line);  // the column titles
    while (std::getline(lines, line)) keys += line.substr(0, line.find('\t', line.find('\t') + 1)) + " ";
    return keys;
  };
  EXPECT_EQ(serials(""), "3\t0 2\t0 2\t1 1\t0 1\t1 ");
  EXPECT_EQ(serials("--failed"), "2\t0 2\t1 ");
  EXPECT_EQ(serials("--open"), "3\t0 ");
  EXPECT_EQ(serials("--center C1"), "3\t0 1\t0 1\t1 ");
  EXPECT_EQ(serials("--from 2026-12-02 --to 20261202"), "2\t0 2\t1 ");
  EXPECT_EQ(serials("--from 2026/12/02 --center C1"), "3\t0 ");
  EXPECT_EQ(serials("--to 2026/11/30"), "");
  EXPECT_EQ(Edi(b, "history --from 2026/02/30").exitCode, 2);
  EXPECT_EQ(Edi(b, "history --from").exitCode, 2);
  EXPECT_EQ(Edi(b, "history --failed extra").exitCode, 2);
}

TEST(EdiRun, TwoWorkstationsAtOnceGetDistinctSerials) {
  BenchOptions o;
  o.postgres = true;
  RunBench b(o);
  if (!b.available()) GTEST_SKIP() << "no PostgreSQL server (scripts/test starts one)";
  const int perTerminal = 6;
  for (const char* t : {"T1", "T2"}) {
    for (int i = 0; i < perTerminal; ++i) {
      const std::string c = std::string(t) + "C" + std::to_string(i);
      b.AddCenter(c, "Z", "C", (b.send / c).string(), std::nullopt, t);
      b.AddPartner(c, "P" + c);
      b.AddInfoCode(c, "0101");
    }
  }
  b.WriteData("0101", "not a record\r\n");
  const std::string edi = std::string("'") + EDI_CLI_PATH + "' --ini '" + b.ini.string() + "' run --all --terminal ";
  const std::string cmd = "(" + edi + "T1 > '" + (b.root / "t1.out").string() + "' 2>&1; echo $? > '" +
                          (b.root / "t1.rc").string() + "') & (" + edi + "T2 > '" + (b.root / "t2.out").string() +
                          "' 2>&1; echo $? > '" + (b.root / "t2.rc").string() + "') & wait";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  // Both finished their work (the conversions fail on the test data: exit 1, not 2).
  EXPECT_EQ(ReadBytes(b.root / "t1.rc"), "1\n") << ReadBytes(b.root / "t1.out");
  EXPECT_EQ(ReadBytes(b.root / "t2.rc"), "1\n") << ReadBytes(b.root / "t2.out");

  auto rows = b.History();
  std::set<long long> serials;
  std::map<long long, std::set<std::string>> centersOfSerial;
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.Int("通番")) + "/" + std::to_string(r.Int("枝番")));
    EXPECT_TRUE(r.Get("処理終了日付").has_value());
    EXPECT_TRUE(r.Get("処理終了時刻").has_value());
    EXPECT_TRUE(r.Get("終了コード").has_value());
    EXPECT_TRUE(r.Get("ファイル名").has_value());
    centersOfSerial[r.Int("通番")].insert(r.Text("センターコード"));
    if (r.Int("枝番") == 0) {
      serials.insert(r.Int("通番"));
      EXPECT_EQ(r.Text("終了コード"), "7200");
    }
  }
  EXPECT_EQ(serials.size(), static_cast<std::size_t>(2 * perTerminal));  // no run lost its serial
  for (const auto& [serial, centers] : centersOfSerial) EXPECT_EQ(centers.size(), 1u) << serial;
  const std::string out = ReadBytes(b.root / "t1.out") + ReadBytes(b.root / "t2.out");
  EXPECT_EQ(out.find("通番ｴﾗｰ"), std::string::npos) << out;
  // How often a workstation lost a race for a serial and took the next one (timing-dependent).
  int retries = 0;
  for (std::size_t p = 0; (p = out.find("回目で採番", p)) != std::string::npos; ++p) ++retries;
  RecordProperty("serialRetries", retries);
}

}  // namespace
}  // namespace edi::test
