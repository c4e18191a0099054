// 再送信 from the history window with the engine's resend over real runs of the demo centers:
// a failed hand-off sent again once its path is mended, a result already sent asking a second
// question, and a mail center sending through the mail server with the mail progress window.
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>

#include <cstdlib>
#include <fstream>

#include "app/text.h"
#include "history_fixture.h"
#include "mail_fixture.h"
#include "screen/mail_progress_window.h"

namespace edi::screen::test {
namespace {

namespace fs = std::filesystem;
using edi::test::ReadBytes;

class HistoryResend : public ::testing::Test {
 protected:
  // The demo masters and in-house data in an SQLite workspace, mail through `smtpUrl`.
  bool MakeDemo(const std::string& smtpUrl = "smtp://127.0.0.1:1") {
    const fs::path demo = fs::path(EDI_SOURCE_DIR) / "db" / "demo";
    edi::test::BenchOptions options;
    auto servers = edi::mail::test::TestServers();
    options.extraIni = "[MAPI]\nProfileName=" + (servers ? servers->user : std::string()) +
                       "\nPassword=" + (servers ? servers->password : std::string()) +
                       "\n[MAIL]\nMAIL-TEXT=resend\nSMTP-URL=" + smtpUrl + "\nFROM=edi@example.invalid\n";
    bench = std::make_unique<edi::test::RunBench>(options);
    if (!edi::test::LoadDemoCenters(*bench)) return false;
    if (!edi::test::LoadDemoFormats(bench->master())) return false;
    std::ofstream(bench->mgpkgConfig) << "DATA=" << (demo / "local").string() << "\nOUT=" << bench->out.string()
                                      << "\n";
    return !bench->Start();
  }
  void SetKmxPath(const std::string& center, const fs::path& path) {
    bench->master().Execute("UPDATE FL1903EDI制御マスタ SET KMX送信ファイルパス = :1 WHERE センターコード = :2",
                            {path.string(), center});
  }
  // One transfer run of the center, as the run button does it.
  void Run(const std::string& center) {
    for (int i = 0; i < bench->ws.centers.count(); ++i)
      bench->ws.centers.SetMarked(i, bench->ws.centers.at(i).centerCode == center);
    edi::test::RecordingListener listener;
    run::RunDriver(bench->ws, listener).RunMarkedCenters(0);
  }
  std::string EndCode(std::int32_t serial) {
    auto run = run::QueryRun(bench->master(), serial);
    return run ? run->endCode : "none";
  }
  void OpenWindow() {
    window = std::make_unique<HistoryWindow>(bench->ws, dialogs);
    window->show();
    ASSERT_TRUE(window->LoadHistory());
  }
  // Presses 再送信 for the serial and waits for the send to end; false when nothing was sent.
  bool Resend(std::int32_t serial) {
    EXPECT_TRUE(window->SelectSerial(serial));
    QSignalSpy done(window.get(), &HistoryWindow::resendFinished);
    QTest::mouseClick(window->resendButton(), Qt::LeftButton);
    if (!window->resendInProgress() && done.isEmpty()) return false;
    EXPECT_TRUE(done.wait(20000));
    return true;
  }
  int RunsListed() { return window->runModel()->rowCount(); }
  int BranchesOf(std::int32_t serial) { return static_cast<int>(run::QueryBranches(bench->master(), serial).size()); }

  std::unique_ptr<edi::test::RunBench> bench;
  ScriptedHistoryDialogs dialogs;
  std::unique_ptr<HistoryWindow> window;
};

TEST_F(HistoryResend, AFailedHandOffIsSentAgainOnceItsPathIsMended) {
  if (!MakeDemo()) GTEST_SKIP() << "the demo masters cannot be loaded";
  SetKmxPath("CENTER01", bench->root / "missing-folder" / "CENTER01.CII");
  Run("CENTER01");
  ASSERT_EQ(EndCode(1), "5100");
  SetKmxPath("CENTER01", bench->send / "CENTER01.CII");
  OpenWindow();
  const int runsBefore = RunsListed(), branchesBefore = BranchesOf(1);

  dialogs.answers = {true};
  ASSERT_TRUE(Resend(1));
  // One question only: the result never went out.
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_NE(dialogs.questions[0].find("00000001"), std::string::npos) << dialogs.questions[0];
  EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"再送信しました（通番 00000001）"}));
  // The result arrived at the send path, unchanged.
  ASSERT_TRUE(fs::exists(bench->send / "CENTER01.CII"));
  EXPECT_EQ(ReadBytes(bench->send / "CENTER01.CII"), ReadBytes(bench->old / "00000001_SND_CENTER01____.CII"));
  // The list shows the new send at once: the run was sent twice, the latest send went out,
  // and its branches end with the new sending branch.
  EXPECT_EQ(RunsListed(), runsBefore);
  ASSERT_EQ(window->selectedSerial(), 1);
  const RunListModel& list = *window->runModel();
  const int row = list.rowOfSerial(1);
  EXPECT_EQ(list.index(row, RunListModel::kSends).data().toInt(), 2);
  EXPECT_EQ(list.index(row, RunListModel::kSendsOk).data().toInt(), 1);
  // The run failed, and its result has now been sent: resolved.
  EXPECT_EQ(list.index(row, RunListModel::kState).data().toString(), QStringLiteral("再送信済"));
  EXPECT_EQ(list.index(row, RunListModel::kLastSend).data().toString(), QStringLiteral("0000"));
  EXPECT_EQ(list.index(row, RunListModel::kEndCode).data().toString(), QStringLiteral("5100"));
  QTableWidget& branches = *window->branchGrid();
  ASSERT_EQ(branches.rowCount(), branchesBefore + 1);
  EXPECT_EQ(branches.item(branchesBefore, 1)->text(), QStringLiteral("20"));
  EXPECT_EQ(branches.item(branchesBefore, 10)->text(), QStringLiteral("0000"));
}

TEST_F(HistoryResend, AResultAlreadySentAsksASecondQuestionAndNoSendsNothing) {
  if (!MakeDemo()) GTEST_SKIP() << "the demo masters cannot be loaded";
  SetKmxPath("CENTER01", bench->send / "CENTER01.CII");
  Run("CENTER01");
  ASSERT_EQ(EndCode(1), "0000");
  fs::remove(bench->send / "CENTER01.CII");
  OpenWindow();

  // Yes to the first question, No to the second: nothing is sent.
  dialogs.answers = {true, false};
  EXPECT_FALSE(Resend(1));
  ASSERT_EQ(dialogs.questions.size(), 2u);
  EXPECT_NE(dialogs.questions[1].find("既に1回正常に送信"), std::string::npos) << dialogs.questions[1];
  EXPECT_FALSE(fs::exists(bench->send / "CENTER01.CII"));
  EXPECT_TRUE(dialogs.messages.empty());

  // No to the first question: no second one.
  dialogs.questions.clear();
  dialogs.answers = {false};
  EXPECT_FALSE(Resend(1));
  EXPECT_EQ(dialogs.questions.size(), 1u);

  // Yes to both: sent again.
  dialogs.questions.clear();
  dialogs.answers = {true, true};
  ASSERT_TRUE(Resend(1));
  EXPECT_EQ(dialogs.questions.size(), 2u);
  EXPECT_TRUE(fs::exists(bench->send / "CENTER01.CII"));
}

TEST_F(HistoryResend, AMailCenterSendsThroughTheMailServerWithTheMailProgressWindow) {
  auto servers = edi::mail::test::TestServers();
  if (!servers) GTEST_SKIP() << "no mail server (scripts/test starts one)";
  if (!MakeDemo()) GTEST_SKIP() << "the demo masters cannot be loaded";
  const std::string address = edi::mail::test::UniqueAddress("resend");
  bench->master().Execute("UPDATE FL1903EDI制御マスタ SET 相手先メールアドレス = :1 WHERE センターコード = 'MAILCT03'",
                          {address});
  Run("MAILCT03");  // the mail server of EDI.ini cannot be reached
  ASSERT_EQ(EndCode(1), "5100");
  // The mail settings are read at every send: point them at the test server.
  std::string ini = edi::FromAnsiBytes(ReadBytes(bench->ini));
  ini.replace(ini.find("smtp://127.0.0.1:1"), std::string("smtp://127.0.0.1:1").size(), servers->smtpUrl);
  edi::test::WriteBytes(bench->ini, edi::ToAnsiBytes(ini));
  OpenWindow();

  dialogs.answers = {true};
  ASSERT_TRUE(Resend(1));
  EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"再送信しました（通番 00000001）"}));
  QCoreApplication::processEvents();
  QListWidget& lines = *window->mailWindow()->list();
  ASSERT_GT(lines.count(), 0);
  EXPECT_EQ(lines.item(lines.count() - 1)->text(), QStringLiteral("ログオフ"));
  EXPECT_EQ(edi::mail::test::ArrivedMessages(servers->smtpMaildir, address).size(), 1u);
}

}  // namespace
}  // namespace edi::screen::test
