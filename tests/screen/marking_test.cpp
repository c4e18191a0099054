// Marking centers: by a second click on the center code, and by Space over a selection.
#include "screen_fixture.h"

namespace edi::screen::test {
namespace {

class MarkingTest : public WindowTest {};

TEST_F(MarkingTest, GridStartsUnmarkedWithTheFirstLineCurrent) {
  MakeWindow(Centers(3));
  EXPECT_EQ(grid().rowCount(), 3);
  EXPECT_EQ(grid().columnCount(), kColumnCount);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(Mark(i), kUnmarkedText);
  EXPECT_EQ(grid().item(1, kColCode)->text(), QStringLiteral("C1"));
  EXPECT_EQ(grid().item(1, kColMethod)->text(), QStringLiteral("ファイル"));
  EXPECT_EQ(grid().currentRow(), 0);
  EXPECT_EQ(grid().columnWidth(2), 333);  // 5000 twips
  EXPECT_EQ(grid().rowHeight(0), 25);     // 380 twips
}

TEST_F(MarkingTest, FirstClickSelectsSecondClickOnTheCodeToggles) {
  MakeWindow(Centers(4));
  Click(2, kColCode);
  EXPECT_EQ(Mark(2), kUnmarkedText);
  EXPECT_EQ(window->lastClickedRow(), 2);
  EXPECT_EQ(grid().currentColumn(), kColMark);  // the whole line highlighted from column 0

  Click(2, kColCode);
  EXPECT_EQ(Mark(2), kMarkedText);
  EXPECT_TRUE(ws.centers.at(2).marked);

  Click(2, kColCode);
  EXPECT_EQ(Mark(2), kUnmarkedText);
  EXPECT_FALSE(ws.centers.at(2).marked);
}

TEST_F(MarkingTest, TheFirstLineTogglesAtOnceButNotFromOtherColumns) {
  MakeWindow(Centers(3));
  Click(0, kColMark);
  Click(0, kColMark);
  Click(0, kColName);
  EXPECT_EQ(Mark(0), kUnmarkedText);
  EXPECT_FALSE(ws.centers.at(0).marked);

  Click(0, kColCode);
  EXPECT_EQ(Mark(0), kMarkedText);
}

TEST_F(MarkingTest, LinesThatRanOrABusyScreenRefuseTheClick) {
  auto rows = Centers(4);
  rows[1].rowState = kRowProcessed;
  rows[2].rowState = kRowError;
  MakeWindow(rows);
  for (int line : {1, 2}) {
    Click(line, kColCode);
    Click(line, kColCode);
    EXPECT_EQ(Mark(line), kUnmarkedText) << line;
  }
  window->setBusy(true);
  Click(3, kColCode);
  Click(3, kColCode);
  EXPECT_EQ(Mark(3), kUnmarkedText);

  // Space ignores the row state, but not a busy screen (the run works on its own thread).
  Click(1, kColCode);
  QTest::keyClick(&grid(), Qt::Key_Space);
  EXPECT_EQ(Mark(1), kUnmarkedText);
  window->setBusy(false);
  QTest::keyClick(&grid(), Qt::Key_Space);
  EXPECT_EQ(Mark(1), kMarkedText);
  EXPECT_TRUE(ws.centers.at(1).marked);
}

TEST_F(MarkingTest, SpaceFlipsEachLineOfADownwardSelectionByItsOwnMark) {
  auto rows = Centers(6);
  rows[2].marked = true;
  MakeWindow(rows);
  Click(1, kColName);
  QTest::keyClick(&grid(), Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(&grid(), Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(&grid(), Qt::Key_Space);
  EXPECT_EQ(Mark(0), kUnmarkedText);
  EXPECT_EQ(Mark(1), kMarkedText);
  EXPECT_EQ(Mark(2), kUnmarkedText);
  EXPECT_EQ(Mark(3), kMarkedText);
  EXPECT_EQ(Mark(4), kUnmarkedText);
  EXPECT_FALSE(ws.centers.at(2).marked);
  EXPECT_TRUE(ws.centers.at(3).marked);
  // The selection stays as it was.
  EXPECT_EQ(grid().currentRow(), 3);
}

TEST_F(MarkingTest, SpaceOverAnUpwardSelectionChangesNothing) {
  MakeWindow(Centers(5));
  Click(3, kColName);
  QTest::keyClick(&grid(), Qt::Key_Up, Qt::ShiftModifier);
  QTest::keyClick(&grid(), Qt::Key_Up, Qt::ShiftModifier);
  QTest::keyClick(&grid(), Qt::Key_Space);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Mark(i), kUnmarkedText) << i;
}

TEST_F(MarkingTest, ArrowKeysRememberTheLineBeforeTheMove) {
  MakeWindow(Centers(4));
  Click(1, kColName);
  QTest::keyClick(&grid(), Qt::Key_Down);
  EXPECT_EQ(grid().currentRow(), 2);
  EXPECT_EQ(window->lastClickedRow(), 1);
  // So a click on the new line's code only selects it.
  Click(2, kColCode);
  EXPECT_EQ(Mark(2), kUnmarkedText);
  Click(2, kColCode);
  EXPECT_EQ(Mark(2), kMarkedText);
}

}  // namespace
}  // namespace edi::screen::test
