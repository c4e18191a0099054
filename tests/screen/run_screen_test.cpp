// The run button: the pass runs on a worker thread while the window shows its progress.
#include <QListWidget>
#include <QPushButton>
#include <future>

#include "screen/mail_progress_window.h"
#include "screen/progress_form.h"
#include "screen_fixture.h"

namespace edi::screen::test {
namespace {

class RunScreenTest : public WindowTest {};

TEST_F(RunScreenTest, TheWindowFollowsTheRunStepByStep) {
  auto rows = Centers(3);
  rows[1].marked = true;
  MakeWindow(rows);

  std::promise<void> reached, release;
  std::shared_future<void> released = release.get_future().share();
  int runIndex = -1;
  window->setRunner([&](Workstation& w, run::RunListener& listener, int index) {
    runIndex = index;
    listener.PassStarted();
    w.centers.setCurrentRow(1);
    listener.CenterStarted(1);
    w.centers.SetRowState(1, kRowProcessing);
    w.centers.SetStatus(1, kColExtract, "抽出中");
    reached.set_value();
    released.wait();
    w.centers.SetStatus(1, kColExtract, "OK");
    auto& mail = listener.mailProgress();
    mail.Open();
    mail.AddLine("パラメータチェック");
    mail.ShowError("Error 7: sign-on refused");
    mail.Close();
    w.centers.SetStatus(1, kColSend, "送信ｴﾗｰ");
    w.centers.SetRowState(1, kRowError);
    listener.CenterFinished(1);
    listener.PassFinished();
  });

  QTest::mouseClick(window->runButton(), Qt::LeftButton);
  EXPECT_FALSE(window->runButton()->isEnabled());
  EXPECT_TRUE(window->busy());
  reached.get_future().wait();

  // While the worker waits, the window repaints what the run wrote so far.
  QTRY_COMPARE(grid().item(1, kColExtract)->text(), QStringLiteral("抽出中"));
  QTRY_VERIFY(window->progressForm()->isVisible());
  EXPECT_EQ(window->progressForm()->windowTitle(), window->windowTitle());
  EXPECT_EQ(window->cursor().shape(), Qt::WaitCursor);
  EXPECT_EQ(grid().item(1, kColMark)->foreground().color(), QColor(0, 0x80, 0));  // 処理中
  EXPECT_EQ(grid().currentRow(), 1);
  // Marks cannot be changed by clicking while the pass runs.
  Click(2, kColCode);
  Click(2, kColCode);
  EXPECT_EQ(Mark(2), kUnmarkedText);

  dialogs.messages.clear();
  release.set_value();

  QTRY_VERIFY(!window->busy());
  EXPECT_EQ(runIndex, 0);
  EXPECT_TRUE(window->runButton()->isEnabled());
  EXPECT_FALSE(window->progressForm()->isVisible());
  EXPECT_NE(window->cursor().shape(), Qt::WaitCursor);
  EXPECT_EQ(grid().item(1, kColExtract)->text(), QStringLiteral("OK"));
  EXPECT_EQ(grid().item(1, kColSend)->text(), QStringLiteral("送信ｴﾗｰ"));
  for (int c = 0; c < kColumnCount; ++c)
    EXPECT_EQ(grid().item(1, c)->foreground().color(), QColor(255, 0, 0)) << c;  // エラー
  EXPECT_EQ(dialogs.messages, std::vector<std::string>{"Error 7: sign-on refused"});
  QListWidget* list = window->mailWindow()->list();
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(list->item(0)->text(), QStringLiteral("パラメータチェック"));
  EXPECT_FALSE(window->mailWindow()->isVisible());
  // Rows the run did not touch keep their look.
  EXPECT_EQ(grid().item(0, kColExtract)->text(), QString());
}

// The worker goes on only once the box has been answered on the window's thread.
TEST(RunMessageBoxTest, AMessageBoxHoldsTheRunUntilAnswered) {
  Workstation ws;
  ws.centers.Replace(Centers(1));
  struct Probe : OperatorDialogs {
    Workstation* ws = nullptr;
    std::vector<std::string> statusWhenShown;
    void ShowMessage(QWidget*, const QString&) override { statusWhenShown.push_back(ws->centers.at(0).sendStatus); }
    bool AskQuit(QWidget*, const QString&) override { return false; }
  } probe;
  probe.ws = &ws;
  TransferWindow window(ws, probe);
  ASSERT_TRUE(window.FillCenterGrid());
  window.setRunner([](Workstation& w, run::RunListener& listener, int) {
    listener.mailProgress().ShowError("Error 1: x");
    w.centers.SetStatus(0, kColSend, "送信ｴﾗｰ");
  });
  window.RunMarkedCenters(0);
  QTRY_VERIFY(!window.busy());
  EXPECT_EQ(probe.statusWhenShown, std::vector<std::string>{""});
  EXPECT_EQ(window.grid()->item(0, kColSend)->text(), QStringLiteral("送信ｴﾗｰ"));
}

TEST_F(RunScreenTest, AFaultEscapingTheRunStillEndsThePass) {
  MakeWindow(Centers(1));
  window->setRunner([](Workstation&, run::RunListener&, int) { throw std::runtime_error("broken"); });
  window->RunMarkedCenters(0);
  QTRY_VERIFY(!window->busy());
  EXPECT_TRUE(window->runButton()->isEnabled());
}

}  // namespace
}  // namespace edi::screen::test
