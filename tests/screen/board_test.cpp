// The board "送信状況" of edi-history over a seeded history, on SQLite and on PostgreSQL:
// a row per center and a column per day of the last 14 days, each cell in its state colour
// with runs and records, the missing mark on a usual day without a successful send, a click
// that filters the run list, and the refresh together with the list.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>

#include "app/text.h"
#include "history_fixture.h"
#include "screen/board_pane.h"

namespace edi::screen::test {
namespace {

class BoardTest : public HistoryWindowTest {
 protected:
  static std::string Day(int back) {
    return QDate::currentDate().addDays(-back).toString(QStringLiteral("yyyy/MM/dd")).toStdString();
  }
  // A run with one extraction of `records` records and a send ending with its end code.
  void AddSentRun(long long serial, const std::string& date, const std::string& center, const std::string& code,
                  long long records = 5) {
    AddRun(serial, date, center, code);
    db().Execute(
        "INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 処理種別, 処理開始日付, 処理開始時刻, センターコード,"
        " 処理終了日付, 入力レコード数, 出力レコード数, 終了コード) VALUES (:1, 1, '42', :2, '09:00:00', :3, :2, :4, :4, '0000')",
        {serial, date, center, records});
    db().Execute(
        "INSERT INTO FL1102処理履歴ファイル (通番, 枝番, 処理種別, 処理開始日付, 処理開始時刻, センターコード,"
        " 処理終了日付, 終了コード) VALUES (:1, 2, '20', :2, '09:00:00', :3, :2, :4)",
        {serial, date, center, code});
  }
  QTableWidgetItem* Cell(const std::string& center, const std::string& date) {
    BoardPane& b = *window->board();
    return b.grid()->item(b.RowOf(center), b.ColumnOf(date));
  }
  QColor Back(const std::string& center, const std::string& date) { return Cell(center, date)->background().color(); }
};

TEST_P(BoardTest, CellsShowEachCentersDayInItsStateColourWithTheMissingMark) {
  // C1 sends on this weekday every week; today its only run failed: missing, in the error colour.
  AddSentRun(1, Day(21), "C1", "0000");
  AddSentRun(2, Day(14), "C1", "0000");
  AddSentRun(3, Day(7), "C1", "0000", 1234);
  AddSentRun(4, Day(0), "C1", "5100");
  AddRun(5, Day(1), "C1", "");  // open
  AddSentRun(6, Day(2), "C2", "0000");
  OpenWindow();
  BoardPane& board = *window->board();
  EXPECT_EQ(window->tabs()->tabText(1), QStringLiteral("送信状況"));
  ASSERT_EQ(board.grid()->columnCount(), 14);
  ASSERT_EQ(board.grid()->rowCount(), 2);
  EXPECT_EQ(board.ColumnOf(Day(0)), 13);  // oldest left, today right
  EXPECT_EQ(board.ColumnOf(Day(14)), -1);

  EXPECT_EQ(Back("C1", Day(0)), QColor(255, 0, 0));
  EXPECT_TRUE(Cell("C1", Day(0))->data(BoardPane::kMissingRole).toBool());
  EXPECT_TRUE(Cell("C1", Day(0))->text().contains(QStringLiteral("▲未送信")));
  EXPECT_EQ(Back("C1", Day(1)), QColor(0, 128, 0));
  EXPECT_EQ(Back("C1", Day(7)), QColor(0, 0, 255));
  EXPECT_EQ(Cell("C1", Day(7))->text(), QStringLiteral("1回\n1,234件"));
  EXPECT_FALSE(Cell("C1", Day(7))->data(BoardPane::kMissingRole).toBool());
  EXPECT_EQ(Back("C2", Day(2)), QColor(0, 0, 255));
  EXPECT_EQ(Cell("C2", Day(3))->data(BoardPane::kStateRole).toInt(), static_cast<int>(run::DayState::Nothing));
  EXPECT_EQ(Cell("C2", Day(3))->text(), QString());

  // The window fits a 1024x768 screen.
  EXPECT_LE(window->frameGeometry().width(), 1024);
  EXPECT_LE(window->frameGeometry().height(), 768);
}

TEST_P(BoardTest, AClickFiltersTheRunListToThatCenterAndDayAndRefreshUpdatesTheBoard) {
  AddSentRun(1, Day(3), "C1", "0000");
  AddSentRun(2, Day(3), "C2", "0000");
  AddSentRun(3, Day(3), "C1", "5100");
  AddSentRun(4, Day(0), "C1", "0000");
  OpenWindow();
  window->tabs()->setCurrentIndex(1);
  window->failedCheck()->setChecked(true);  // a filter the click must not keep
  BoardPane& board = *window->board();
  QTableWidget* grid = board.grid();
  const QRect cell = grid->visualItemRect(Cell("C1", Day(3)));
  QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
  EXPECT_EQ(window->tabs()->currentIndex(), 0);
  EXPECT_EQ(ListedSerials(), (std::vector<std::int32_t>{3, 1}));
  EXPECT_EQ(window->centerBox()->currentData().toString(), QStringLiteral("C1"));
  EXPECT_FALSE(window->failedCheck()->isChecked());

  AddSentRun(5, Day(0), "C2", "7200");
  window->refreshButton()->click();
  EXPECT_EQ(Back("C2", Day(0)), QColor(255, 0, 0));
}

INSTANTIATE_TEST_SUITE_P(Backends, BoardTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "PostgreSQL" : "SQLite"; });

}  // namespace
}  // namespace edi::screen::test
