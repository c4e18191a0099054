#include "screen/board_pane.h"

#include <QDate>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QTableWidget>
#include <QTime>
#include <QVBoxLayout>
#include <map>

#include "app/catalogue.h"
#include "app/center_rows.h"
#include "app/database.h"
#include "screen/platform_colour.h"

namespace edi::screen {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
QString Q(const char* text) { return QString::fromUtf8(text); }
QString DateText(const QDate& date) { return date.toString(QStringLiteral("yyyy/MM/dd")); }

const char* const kWeekdays[] = {TrMark("月"), TrMark("火"), TrMark("水"), TrMark("木"),
                                  TrMark("金"), TrMark("土"), TrMark("日")};

int RowStateOf(run::DayState state) {
  switch (state) {
    case run::DayState::Sent: return kRowProcessed;
    case run::DayState::Failed: return kRowError;
    case run::DayState::Open: return kRowProcessing;
    case run::DayState::Nothing: break;
  }
  return kRowNormal;
}

}  // namespace

BoardPane::BoardPane(Database& db, const StatusColours& colours, QWidget* parent)
    : QWidget(parent), db_(db), colours_(colours) {
  setObjectName(QStringLiteral("BOARD"));
  const QDate today = QDate::currentDate();
  from_ = new QDateEdit(today.addDays(1 - run::kDefaultSummaryDays), this);
  from_->setObjectName(QStringLiteral("dte_BOARD_FROM"));
  to_ = new QDateEdit(today, this);
  to_->setObjectName(QStringLiteral("dte_BOARD_TO"));
  for (QDateEdit* edit : {from_, to_}) {
    edit->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    edit->setCalendarPopup(true);
    connect(edit, &QDateEdit::dateChanged, this, [this] { Refresh(); });
  }
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("lbl_BOARD_STATUS"));

  auto* period = new QHBoxLayout;
  auto* title = new QLabel(Q(Tr("期間")), this);
  title->setObjectName(QStringLiteral("lbl_BOARD_PERIOD"));
  period->addWidget(title);
  period->addWidget(from_);
  period->addWidget(new QLabel(QStringLiteral("～"), this));
  period->addWidget(to_);
  period->addSpacing(12);
  auto* legend = new QLabel(Q(Tr("上段: 実行回数　下段: 出力件数　▲未送信: いつも送信している曜日に正常な送信がない日")), this);
  legend->setObjectName(QStringLiteral("lbl_BOARD_LEGEND"));
  period->addWidget(legend, 1);

  grid_ = new QTableWidget(0, 0, this);
  grid_->setObjectName(QStringLiteral("GRID_BOARD"));
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setSelectionMode(QAbstractItemView::SingleSelection);
  grid_->horizontalHeader()->setDefaultSectionSize(56);
  grid_->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid_->verticalHeader()->setDefaultSectionSize(52);
  grid_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid_->setWordWrap(true);
  connect(grid_, &QTableWidget::cellClicked, this, [this](int row, int column) {
    if (row < 0 || column < 0 || row >= static_cast<int>(rows_.size()) || column >= static_cast<int>(dates_.size()))
      return;
    emit dayChosen(Q(rows_[row]), Q(dates_[column]));
  });

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addLayout(period);
  layout->addWidget(grid_, 1);
  layout->addWidget(status_);
}

void BoardPane::SetCenters(std::vector<std::pair<std::string, std::string>> centers) { centers_ = std::move(centers); }

int BoardPane::ColumnOf(const std::string& date) const {
  for (std::size_t i = 0; i < dates_.size(); ++i)
    if (dates_[i] == date) return static_cast<int>(i);
  return -1;
}

int BoardPane::RowOf(const std::string& center) const {
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i] == center) return static_cast<int>(i);
  return -1;
}

bool BoardPane::Refresh() {
  if (busy_ && busy_()) return false;
  run::SummaryPeriod period;
  QDate from = from_->date(), to = to_->date();
  if (from > to) std::swap(from, to);
  period.fromDate = DateText(from).toStdString();
  period.toDate = DateText(to).toStdString();
  period.today = DateText(QDate::currentDate()).toStdString();
  std::vector<run::DaySummary> days;
  try {
    days = run::QueryDailySummary(db_, period);
  } catch (const DatabaseError& e) {
    status_->setText(Q(TrArgs("送信状況を読めません: {1}", {e.what()})));
    return false;
  }
  dates_.clear();
  for (QDate d = from; d <= to; d = d.addDays(1)) dates_.push_back(DateText(d).toStdString());
  Fill(days);
  status_->setText(Q(TrArgs("{1} 更新", {QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toStdString()})));
  return true;
}

void BoardPane::Fill(const std::vector<run::DaySummary>& days) {
  // Rows: every center of the master, then centers that only the history still knows.
  std::map<std::string, std::string> names;
  rows_.clear();
  for (const auto& [code, name] : centers_) {
    rows_.push_back(code);
    names[code] = name;
  }
  std::map<std::pair<std::string, std::string>, const run::DaySummary*> cells;
  for (const auto& d : days) {
    cells[{d.centerCode, d.date}] = &d;
    if (!names.count(d.centerCode)) {
      names[d.centerCode] = {};
      rows_.push_back(d.centerCode);
    }
  }

  grid_->clear();
  grid_->setRowCount(static_cast<int>(rows_.size()));
  grid_->setColumnCount(static_cast<int>(dates_.size()));
  QStringList dayTitles;
  for (const auto& date : dates_) {
    const QDate d = QDate::fromString(Q(date), QStringLiteral("yyyy/MM/dd"));
    dayTitles << d.toString(QStringLiteral("MM/dd")) + QLatin1Char('\n') + Q(Tr(kWeekdays[d.dayOfWeek() - 1]));
  }
  grid_->setHorizontalHeaderLabels(dayTitles);
  QStringList centerTitles;
  for (const auto& code : rows_) centerTitles << Q(code) + (names[code].empty() ? QString() : QLatin1Char('\n') + Q(names[code]));
  grid_->setVerticalHeaderLabels(centerTitles);

  const QLocale locale(QLocale::Japanese, QLocale::Japan);
  for (int r = 0; r < static_cast<int>(rows_.size()); ++r) {
    for (int c = 0; c < static_cast<int>(dates_.size()); ++c) {
      auto it = cells.find({rows_[r], dates_[c]});
      const run::DaySummary* d = it == cells.end() ? nullptr : it->second;
      const run::DayState state = d ? d->state() : run::DayState::Nothing;
      const bool missing = d && d->missing;
      QStringList lines;
      if (d && d->runs > 0)
        lines << Q(TrArgs("{1}回", {std::to_string(d->runs)}))
              << Q(TrArgs("{1}件", {locale.toString(d->outputRecords).toStdString()}));
      if (missing) lines << Q(Tr("▲未送信"));
      auto* item = new QTableWidgetItem(lines.join(QLatin1Char('\n')));
      item->setTextAlignment(Qt::AlignCenter);
      item->setData(kStateRole, static_cast<int>(state));
      item->setData(kMissingRole, missing);
      item->setData(kDateRole, Q(dates_[c]));
      item->setData(kCenterRole, Q(rows_[r]));
      if (auto colour = ColourFromNumber(colours_.ForState(RowStateOf(state))); colour && state != run::DayState::Nothing) {
        item->setBackground(*colour);
        item->setForeground(qGray(colour->rgb()) < 128 ? QColor(Qt::white) : QColor(Qt::black));
      }
      if (missing) {
        QFont bold = item->font();
        bold.setBold(true);
        item->setFont(bold);
        if (state == run::DayState::Nothing) item->setForeground(QColor(0xC0, 0x00, 0x00));
        item->setToolTip(Q(Tr("いつも送信している曜日ですが、正常に送信された処理がありません")));
      }
      grid_->setItem(r, c, item);
    }
  }
}

}  // namespace edi::screen
