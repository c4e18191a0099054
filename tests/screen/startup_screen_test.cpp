// The start-up of the window on a real SQLite database and an EDI.ini written here.
#include <QLabel>
#include <QPushButton>
#include <cstdlib>

#include "app/messages.h"
#include "screen/start_program.h"
#include "screen_fixture.h"
#include "test_support.h"

namespace edi::screen::test {
namespace {

class StartupScreenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv("EDI_INI");
    tdb = edi::test::TestDatabase::Sqlite(dir.path());
    tdb->db().Execute("INSERT INTO 区分マスタ (区分, 区分ｺｰﾄﾞ, 区分名称) VALUES (:1, :2, :3)",
                      {std::string("送受信方式"), std::string("Z"), std::string("ファイル転送")});
  }
  void AddCenter(const std::string& code, const std::string& terminal, const std::string& kind) {
    tdb->db().Execute(
        "INSERT INTO FL1903EDI制御マスタ (センターコード, センター名, 送受信方式, 実行端末名, 相手先種別) "
        "VALUES (:1, :2, :3, :4, :5)",
        {code, "センター" + code, std::string("Z"), terminal, kind});
  }
  bool Start(const std::string& iniText, const std::string& commandLine = " OP01  ") {
    auto ini = dir / "EDI.ini";
    edi::test::WriteAnsiText(ini, iniText);
    StartOptions o;
    o.exeFolder = (dir / "bin" / "p740150").string();
    o.iniPath = ini.string();
    o.terminalName = "WS1";
    return program.Start(o, commandLine);
  }
  std::string Standard() { return edi::test::StandardIni(dir.path(), tdb->iniSection()); }
  QString LabelText(const char* name) {
    return program.window().findChild<QLabel*>(QString::fromLatin1(name))->text();
  }

  edi::test::TempDir dir;
  std::unique_ptr<edi::test::TestDatabase> tdb;
  ScriptedDialogs dialogs;
  ScreenProgram program{dialogs};
};

TEST_F(StartupScreenTest, AStartShowsTheCentersOfThisTerminal) {
  AddCenter("B2", "WS1", "2");
  AddCenter("A1", "WS1", "2");
  AddCenter("A0", "WS1", "1");   // another partner kind
  AddCenter("A3", "WS9", "2");   // another terminal
  ASSERT_TRUE(Start(Standard()));
  EXPECT_TRUE(dialogs.messages.empty());
  TransferWindow& w = program.window();
  EXPECT_TRUE(w.isVisible());
  EXPECT_FALSE(w.busy());
  EXPECT_EQ(w.windowTitle(), QStringLiteral("材料メーカEDI手動送信"));
  ASSERT_EQ(w.grid()->rowCount(), 2);
  EXPECT_EQ(w.grid()->item(0, kColCode)->text(), QStringLiteral("A1"));
  EXPECT_EQ(w.grid()->item(1, kColCode)->text(), QStringLiteral("B2"));
  EXPECT_EQ(w.grid()->item(0, kColMethod)->text(), QStringLiteral("ファイル転送"));
  EXPECT_EQ(LabelText("lbl_PGID"), QStringLiteral("D7401501"));
  EXPECT_EQ(LabelText("lbl_DATE"), QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd")));
  EXPECT_EQ(LabelText("lbl_OPCD"), QStringLiteral("OP01"));
  EXPECT_EQ(LabelText("lbl_OPNM"), QString());
  EXPECT_EQ(program.workstation().operatorCode, "OP01");
  // The look of Setting0 reached the window (FormBackColor &HC0C0C0).
  EXPECT_EQ(w.palette().color(QPalette::Window), QColor(0xC0, 0xC0, 0xC0));
}

TEST_F(StartupScreenTest, NoCenterForThisTerminalEndsWithoutShowingTheWindow) {
  AddCenter("A3", "WS9", "2");
  EXPECT_FALSE(Start(Standard()));
  EXPECT_EQ(dialogs.messages, std::vector<std::string>{msg::kNoData});
  EXPECT_FALSE(program.window().wasEverShown());
}

TEST_F(StartupScreenTest, AMistypedDatabaseFileIsAConnectionErrorAndCreatesNothing) {
  std::string ini = Standard();
  const std::string file = (dir / "edi.db").string();
  ini.replace(ini.find(file), file.size(), (dir / "edi-mistyped.db").string());
  EXPECT_FALSE(Start(ini));
  EXPECT_EQ(dialogs.messages, std::vector<std::string>{msg::kConnectError});
  EXPECT_FALSE(program.window().wasEverShown());
  EXPECT_FALSE(std::filesystem::exists(dir / "edi-mistyped.db"));
}

TEST_F(StartupScreenTest, ASettingTheWindowRefusesEndsWithItemSettingError) {
  AddCenter("A1", "WS1", "2");
  std::string ini = Standard();
  const std::string key = "TitleFontBold=True\n";
  ini.replace(ini.find(key), key.size(), "TitleFontBold=\n");
  EXPECT_FALSE(Start(ini));
  EXPECT_EQ(dialogs.messages, std::vector<std::string>{msg::kItemSettingError});
  EXPECT_FALSE(program.window().wasEverShown());
}

TEST_F(StartupScreenTest, ARetrySettingThatIsNotANumberEndsWithIniReadError) {
  AddCenter("A1", "WS1", "2");
  EXPECT_FALSE(Start(Standard() + "\n[RETRY]\nENABLED=1\nINTERVALMIN=10m\n"));
  EXPECT_EQ(dialogs.messages, std::vector<std::string>{msg::kIniReadError});
  EXPECT_FALSE(program.window().wasEverShown());
}

TEST_F(StartupScreenTest, AnEmptyCommandLineGivesAnEmptyOperator) {
  AddCenter("A1", "WS1", "2");
  ASSERT_TRUE(Start(Standard(), ""));
  EXPECT_EQ(LabelText("lbl_OPCD"), QString());
}

TEST_F(StartupScreenTest, TheRunButtonDrivesTheRunAndPaintsItsOutcome) {
  // A center without partner companies fails its extraction at once, without the package.
  AddCenter("A1", "WS1", "2");
  AddCenter("B2", "WS1", "2");
  ASSERT_TRUE(Start(Standard()));
  TransferWindow& w = program.window();
  program.workstation().centers.SetMarked(1, true);
  QTest::mouseClick(w.runButton(), Qt::LeftButton);
  EXPECT_FALSE(w.runButton()->isEnabled());
  QTRY_VERIFY(!w.busy());
  EXPECT_TRUE(w.runButton()->isEnabled());
  EXPECT_EQ(w.grid()->item(1, kColExtract)->text(), QStringLiteral("抽出ｴﾗｰ"));
  EXPECT_EQ(w.grid()->item(1, kColCode)->foreground().color(), QColor(255, 0, 0));  // エラー=255
  EXPECT_EQ(w.grid()->item(0, kColExtract)->text(), QString());                     // not marked
  EXPECT_EQ(program.workstation().centers.at(1).rowState, kRowError);
}

}  // namespace
}  // namespace edi::screen::test
