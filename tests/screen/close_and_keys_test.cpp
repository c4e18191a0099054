// The quit question on Esc and the close rules.
#include <QPushButton>

#include "app/messages.h"
#include "screen_fixture.h"

namespace edi::screen::test {
namespace {

class CloseTest : public WindowTest {};

TEST_F(CloseTest, EscAnsweredNoLeavesEverything) {
  auto rows = Centers(3);
  rows[1].marked = true;
  MakeWindow(rows);
  QTest::keyClick(&grid(), Qt::Key_Escape);
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0], msg::kConfirmQuit);
  EXPECT_EQ(quits, 0);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(Mark(1), kMarkedText);
  EXPECT_TRUE(ws.centers.at(1).marked);

  // Esc pressed while the button has the focus asks too; Yes ends the program.
  dialogs.answerYes = true;
  QTest::keyClick(window->runButton(), Qt::Key_Escape);
  EXPECT_EQ(dialogs.questions.size(), 2u);
  EXPECT_EQ(quits, 1);
}

TEST_F(CloseTest, EscWhileBusyAsksNothing) {
  MakeWindow(Centers(2));
  window->setBusy(true);
  QTest::keyClick(&grid(), Qt::Key_Escape);
  EXPECT_TRUE(dialogs.questions.empty());
  EXPECT_EQ(quits, 0);
}

TEST_F(CloseTest, OwnCloseControlIsRefusedWhileBusyAndAsksOtherwise) {
  MakeWindow(Centers(2));
  window->setBusy(true);
  EXPECT_FALSE(window->CloseRequested(TransferWindow::CloseKind::OwnControl));
  EXPECT_TRUE(dialogs.questions.empty());

  window->setBusy(false);
  EXPECT_FALSE(window->CloseRequested(TransferWindow::CloseKind::OwnControl));
  EXPECT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(quits, 0);

  dialogs.answerYes = true;
  EXPECT_TRUE(window->CloseRequested(TransferWindow::CloseKind::OwnControl));
  EXPECT_EQ(quits, 1);
}

TEST_F(CloseTest, SystemCloseEndsWithoutAQuestionEvenWhileBusy) {
  MakeWindow(Centers(2));
  window->setBusy(true);
  EXPECT_TRUE(window->CloseRequested(TransferWindow::CloseKind::System));
  EXPECT_TRUE(dialogs.questions.empty());
  EXPECT_EQ(quits, 1);
}

TEST_F(CloseTest, CloseByTheProgramProceeds) {
  MakeWindow(Centers(2));
  EXPECT_TRUE(window->close());
  EXPECT_TRUE(dialogs.questions.empty());
  EXPECT_EQ(quits, 1);
}

}  // namespace
}  // namespace edi::screen::test
