// Start-up up to a loaded center list, and the failure of each step with its message.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/messages.h"
#include "app/workstation.h"
#include "test_support.h"

namespace edi {
namespace {

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("EDI_INI");
    tdb = test::TestDatabase::Sqlite(dir.path());
  }
  std::filesystem::path WriteIni(const std::string& body) {
    auto p = dir / "EDI.ini";
    test::WriteAnsiText(p, body);
    return p;
  }
  std::string Standard() { return test::StandardIni(dir.path(), tdb->iniSection()); }
  StartOptions Options(const std::filesystem::path& ini) {
    StartOptions o;
    o.exeFolder = (dir / "bin" / "p740150").string();
    o.iniPath = ini.string();
    o.terminalName = "WS1";
    return o;
  }
  void AddCenter(const std::string& code) {
    tdb->db().Execute("INSERT INTO FL1903EDI制御マスタ (センターコード, センター名, 送受信方式, 実行端末名, 相手先種別) "
                      "VALUES (:1, :2, :3, :4, :5)",
                      {code, "名", "Z", "WS1", "2"});
  }
  test::TempDir dir;
  std::unique_ptr<test::TestDatabase> tdb;
};

TEST_F(StartupTest, AStartWithCentersLoadsEverything) {
  AddCenter("C2");
  AddCenter("C1");
  Workstation ws;
  ASSERT_EQ(InitializeWorkstation(ws, Options(WriteIni(Standard()))), std::nullopt);
  ASSERT_EQ(LoadCenters(ws), std::nullopt);
  EXPECT_EQ(ws.terminalName, "WS1");
  ASSERT_EQ(ws.centers.count(), 2);
  EXPECT_EQ(ws.centers.at(0).centerCode, "C1");
  EXPECT_EQ(ws.colours.error, 255u);
  EXPECT_EQ(ws.errLogPath, dir / "ERR.LOG");
}

TEST_F(StartupTest, NoConfigurationFolderIsAnIniReadError) {
  Workstation ws;
  StartOptions o;
  o.exeFolder = "/BIN";
  auto failure = InitializeWorkstation(ws, o);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, msg::kIniReadError);
}

TEST_F(StartupTest, AFileThatCannotBeAConfigurationIsAnIniReadError) {
  // Larger than any configuration (its settings would all be valid), a device, a folder.
  const std::string padding = "; " + std::string(200, '-') + "\n";
  std::string big = Standard();
  while (big.size() <= IniFile::kMaxBytes) big += padding;
  for (const std::filesystem::path& ini : {WriteIni(big), std::filesystem::path("/dev/zero"), dir.path()}) {
    SCOPED_TRACE(ini);
    Workstation ws;
    auto failure = InitializeWorkstation(ws, Options(ini));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, msg::kIniReadError);
  }
  // Read at run time after start-up, such a file gives empty values, never its whole bulk.
  EXPECT_EQ(IniFile(dir / "EDI.ini").Read("PATH", "EDIINFIL", 256), "");
  EXPECT_EQ(IniFile("/dev/zero").Read("PATH", "EDIINFIL", 256), "");
}

TEST_F(StartupTest, NoIniFileFailsAtTheConnection) {
  Workstation ws;
  auto failure = InitializeWorkstation(ws, Options(dir / "absent.ini"));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, msg::kConnectError);
  EXPECT_NE(failure->detail.find("not found"), std::string::npos);
}

TEST_F(StartupTest, AMissingDisplayValueFailsAfterTheConnection) {
  std::string body = Standard();
  body.replace(body.find("LabelBackColor=&HFFFFFF"), 23, "LabelBackColor=");
  Workstation ws;
  auto failure = InitializeWorkstation(ws, Options(WriteIni(body)));
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, msg::kIniReadError);
  EXPECT_NE(failure->detail.find("LabelBackColor"), std::string::npos);
  EXPECT_TRUE(ws.db);  // connected first
}

TEST_F(StartupTest, NoCenterOfThisTerminal) {
  AddCenter("C1");
  Workstation ws;
  StartOptions o = Options(WriteIni(Standard()));
  o.terminalName = "OTHER";
  ASSERT_EQ(InitializeWorkstation(ws, o), std::nullopt);
  auto failure = LoadCenters(ws);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, msg::kNoData);
}

TEST_F(StartupTest, AMissingTableIsNamedOnTheSide) {
  tdb->db().Execute("DROP TABLE FL1903EDI制御マスタ");
  Workstation ws;
  ASSERT_EQ(InitializeWorkstation(ws, Options(WriteIni(Standard()))), std::nullopt);
  auto failure = LoadCenters(ws);
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, msg::kNoData);
  EXPECT_NE(failure->detail.find("FL1903EDI制御マスタ"), std::string::npos);
}

TEST(OperatorTest, TheWholeCommandLineTrimmed) {
  EXPECT_EQ(IdentifyOperator("  OP01  "), "OP01");
  EXPECT_EQ(IdentifyOperator(""), "");
  EXPECT_EQ(IdentifyOperator("A B"), "A B");
}

}  // namespace
}  // namespace edi
