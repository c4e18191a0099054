// The board of edi-history ("送信状況"): one row per center, one column per day (the last 14
// days unless another period is chosen), each cell in the state colour of section COLOR (all
// sent: 処理済, a failure: エラー, an open run: 処理中, no run: 通常) with the number of runs and
// records; a usual day without a successful send carries the mark "▲未送信". It draws what
// run/daily_summary returns (one query per refresh); a click on a cell asks the window to show
// that center's runs of that day.
#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/settings.h"
#include "run/daily_summary.h"

class QCheckBox;
class QDate;
class QDateEdit;
class QLabel;
class QTableWidget;

namespace edi {
class Database;
}

namespace edi::screen {

class BoardPane : public QWidget {
  Q_OBJECT
 public:
  // Data roles of a cell, for whoever reads the board (the tests among them).
  static constexpr int kStateRole = Qt::UserRole + 1;    // run::DayState as int
  static constexpr int kMissingRole = Qt::UserRole + 2;  // bool
  static constexpr int kDateRole = Qt::UserRole + 3;     // "yyyy/mm/dd"
  static constexpr int kCenterRole = Qt::UserRole + 4;   // center code

  BoardPane(Database& db, const StatusColours& colours, QWidget* parent = nullptr);

  // The centers that always have a row (every center of the master), as (code, name).
  void SetCenters(std::vector<std::pair<std::string, std::string>> centers);
  // Reads the period again. False when the history cannot be read (the reason in the status)
  // or the connection is busy.
  bool Refresh();
  // True while another thread uses the database connection (a resend): the board then keeps
  // what it shows and reads again with the window's next refresh.
  void setConnectionBusy(std::function<bool()> busy) { busy_ = std::move(busy); }

  QTableWidget* grid() const { return grid_; }
  QDateEdit* fromEdit() const { return from_; }
  QDateEdit* toEdit() const { return to_; }
  QLabel* statusLabel() const { return status_; }
  // The column of a day and the row of a center; -1 when not shown.
  int ColumnOf(const std::string& date) const;
  int RowOf(const std::string& center) const;

 signals:
  // A cell was clicked: show this center's runs of this day.
  void dayChosen(QString center, QString date);

 private:
  void Fill(const std::vector<run::DaySummary>& days);

  Database& db_;
  const StatusColours& colours_;
  std::function<bool()> busy_;
  std::vector<std::pair<std::string, std::string>> centers_;
  std::vector<std::string> dates_;  // the columns, oldest first
  std::vector<std::string> rows_;   // the center of each row
  QTableWidget* grid_ = nullptr;
  QDateEdit* from_ = nullptr;
  QDateEdit* to_ = nullptr;
  QLabel* status_ = nullptr;
};

}  // namespace edi::screen
