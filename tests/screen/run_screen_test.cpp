// The run button: the pass runs on a worker thread while the window shows its progress.
#include <QImage>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <future>

#include "run_bench.h"

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

// The colour a cell is drawn on (a pixel inside it, away from the grid lines and the text).
QColor CellBackground(CenterGrid& grid, int line, int column) {
  const QImage image = grid.viewport()->grab().toImage();
  const QRect cell = grid.visualItemRect(grid.item(line, column));
  return image.pixelColor(cell.left() + 2, cell.top() + 2);
}

// Whether some pixel of the cell has exactly the colour (the text's solid strokes do).
bool CellShows(CenterGrid& grid, int line, int column, const QColor& colour) {
  const QImage image = grid.viewport()->grab().toImage();
  const QRect cell = grid.visualItemRect(grid.item(line, column));
  for (int y = cell.top(); y < cell.bottom(); ++y)
    for (int x = cell.left(); x < cell.right(); ++x)
      if (image.pixelColor(x, y) == colour) return true;
  return false;
}

// A real pass with the stand-in package made slow: while a center runs, only column 0 of its
// line is current and that cell is drawn on the processing colour, the rest of the line
// shows it as text colour; after the pass a highlighted line is drawn on its state colour.
TEST(RunColours, TheRunningLineShowsTheProcessingColourWhileASlowPackageRuns) {
  edi::test::RunBench bench;
  for (const char* center : {"C1", "C2"}) {
    bench.AddCenter(center);
    bench.AddPartner(center, "P01");
    bench.AddInfoCode(center, "0101");
  }
  bench.ConfigurePackage({"DELAY=1500"});
  ASSERT_EQ(bench.Start(), std::nullopt);
  ScriptedDialogs dialogs;
  TransferWindow window(bench.ws, dialogs);
  ASSERT_TRUE(window.FillCenterGrid());
  window.show();
  CenterGrid& grid = *window.grid();
  bench.ws.centers.SetMarked(0, true);
  bench.ws.centers.SetMarked(1, true);
  const QColor processing(0, 0x80, 0);  // 処理中=&H008000

  window.RunMarkedCenters(0);
  ASSERT_TRUE(QTest::qWaitFor([&] { return grid.item(1, kColCode)->foreground().color() == processing; }, 20000));
  ASSERT_TRUE(window.busy());
  const QModelIndexList selected = grid.selectionModel()->selectedIndexes();
  ASSERT_EQ(selected.size(), 1);
  EXPECT_EQ(selected[0].row(), 1);
  EXPECT_EQ(selected[0].column(), kColMark);
  EXPECT_EQ(CellBackground(grid, 1, kColMark), processing);
  for (int c = kColCode; c < kColumnCount; ++c) EXPECT_NE(CellBackground(grid, 1, c), processing) << c;
  EXPECT_TRUE(CellShows(grid, 1, kColCode, processing));

  ASSERT_TRUE(QTest::qWaitFor([&] { return !window.busy(); }, 30000));
  const QColor error(255, 0, 0);  // conversion fails without formats: エラー=255
  ASSERT_EQ(bench.ws.centers.at(0).rowState, kRowError);
  EXPECT_TRUE(CellShows(grid, 0, kColCode, error));
  // A click highlights the whole line; it is drawn on its state colour, not the highlight.
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, Qt::NoModifier,
                    grid.visualItemRect(grid.item(0, kColName)).center());
  for (int c = 0; c < kColumnCount; ++c) EXPECT_EQ(CellBackground(grid, 0, c), error) << c;
}

// Enter on the focused run button runs it; Space cannot change marks while the pass runs.
TEST_F(RunScreenTest, EnterOnTheButtonRunsAndSpaceWaitsForTheEndOfThePass) {
  MakeWindow(Centers(2));
  std::promise<void> reached, release;
  std::shared_future<void> released = release.get_future().share();
  int runs = 0;
  window->setRunner([&](Workstation&, run::RunListener&, int) {
    ++runs;
    reached.set_value();
    released.wait();
  });
  QTest::keyClick(window->runButton(), Qt::Key_Return);
  reached.get_future().wait();
  EXPECT_TRUE(window->busy());
  QTest::keyClick(&grid(), Qt::Key_Space);
  EXPECT_EQ(Mark(0), kUnmarkedText);
  EXPECT_FALSE(ws.centers.at(0).marked);
  QTest::keyClick(window->runButton(), Qt::Key_Enter);  // the button is off: nothing
  release.set_value();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->busy(); }, 5000));
  EXPECT_EQ(runs, 1);
  QTest::keyClick(&grid(), Qt::Key_Space);
  EXPECT_EQ(Mark(0), kMarkedText);
}

// Qt's own texts come in Japanese: the quit question's buttons read はい and いいえ.
TEST(QtTranslation, TheQuitQuestionHasJapaneseButtons) {
  QString yes, no;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    yes = box->button(QMessageBox::Yes)->text();
    no = box->button(QMessageBox::No)->text();
    box->button(QMessageBox::No)->click();
  });
  poll.start(20);
  MessageBoxDialogs dialogs;
  EXPECT_FALSE(dialogs.AskQuit(nullptr, QStringLiteral("終了してもよろしいですか")));
  EXPECT_EQ(yes, QStringLiteral("はい(&Y)"));
  EXPECT_EQ(no, QStringLiteral("いいえ(&N)"));
}

}  // namespace
}  // namespace edi::screen::test
