#include "screen/transfer_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>

#include "app/messages.h"
#include "screen/center_grid.h"
#include "screen/fit_text_label.h"
#include "screen/gui_thread.h"
#include "screen/mail_progress_window.h"
#include "screen/operator_dialogs.h"
#include "screen/platform_colour.h"
#include "screen/progress_form.h"

namespace edi::screen {

namespace {

constexpr int kMargin = 12;
constexpr int kTopLabelHeight = 24;
constexpr int kVisibleLines = 14;

}  // namespace

TransferWindow::TransferWindow(Workstation& ws, OperatorDialogs& dialogs, QWidget* parent)
    : QWidget(parent), ws_(ws), dialogs_(dialogs), quit_([] { QCoreApplication::exit(0); }) {
  setObjectName(QStringLiteral("D7401501"));
  setWindowTitle(QStringLiteral("材料メーカEDI手動送信"));
  BuildControls();

  subForm_ = new ProgressForm(this);
  mailWindow_ = new MailProgressWindow(this, dialogs_);
  controller_ = std::make_unique<RunController>(ws_, *mailWindow_);
  connect(controller_.get(), &RunController::centerStarted, this, &TransferWindow::OnCenterStarted,
          Qt::QueuedConnection);
  connect(controller_.get(), &RunController::centerFinished, this, &TransferWindow::OnCenterFinished,
          Qt::QueuedConnection);
  connect(controller_.get(), &RunController::passFinished, this, &TransferWindow::OnPassFinished);

  grid_->setFocus();  // Space marks lines from the start
  setTabOrder(grid_, cmd_);

  connect(grid_, &QTableWidget::cellClicked, this, [this](int, int) { ToggleMark(); });
  connect(cmd_, &QPushButton::clicked, this, [this] { RunMarkedCenters(0); });

  // Keys reach the screen before the focused control (the grid or the button).
  installEventFilter(this);
  grid_->installEventFilter(this);
  cmd_->installEventFilter(this);

#ifndef QT_NO_SESSIONMANAGER
  // A session that ends closes the window without the question.
  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    connect(app, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { systemClosing_ = true; });
#endif
}

TransferWindow::~TransferWindow() {
  ending_ = true;
  controller_.reset();  // waits for a pass still running
  alive_->store(false);
}

void TransferWindow::setRunner(RunController::Runner runner) { controller_->setRunner(std::move(runner)); }

QLabel* TransferWindow::AddLabel(const char* name, const QString& text, const QRect& geometry) {
  auto* label = new QLabel(text, this);
  label->setObjectName(QString::fromLatin1(name));
  label->setGeometry(geometry);
  return label;
}

void TransferWindow::BuildControls() {
  // The grid is made first to know its frame, but the labels come first in the control
  // order, as the screen was designed: operator, date, screen id, then the titles.
  grid_ = new CenterGrid(this);
  grid_->setObjectName(QStringLiteral("GRID"));
  const int frame = grid_->frameWidth();
  const int scrollBar = grid_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, grid_);
  const int gridWidth = CenterGrid::LinesWidth() + 2 * frame + scrollBar;
  const int gridHeight = kVisibleLines * CenterGrid::RowHeight() + 2 * frame;
  const int windowWidth = gridWidth + 2 * kMargin;
  const int line = CenterGrid::RowHeight();

  auto* koumoku = AddLabel("lbl_Koumoku", QStringLiteral("ｵﾍﾟﾚｰﾀｺｰﾄﾞ"), QRect(kMargin, kMargin, 110, kTopLabelHeight));
  koumoku->setFrameShape(QFrame::Box);
  koumoku->setAlignment(Qt::AlignCenter);
  opcd_ = AddLabel("lbl_OPCD", QString(), QRect(kMargin + 114, kMargin, 110, kTopLabelHeight));
  opnm_ = AddLabel("lbl_OPNM", QString(), QRect(kMargin + 228, kMargin, 220, kTopLabelHeight));
  date_ = AddLabel("lbl_DATE", QString(), QRect(windowWidth - kMargin - 204, kMargin, 100, kTopLabelHeight));
  pgid_ = AddLabel("lbl_PGID", QString(), QRect(windowWidth - kMargin - 100, kMargin, 100, kTopLabelHeight));
  for (QLabel* l : {opcd_, opnm_}) {
    l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    l->setIndent(4);
  }
  for (QLabel* l : {date_, pgid_}) l->setAlignment(Qt::AlignCenter);

  // The two-line header: columns 0 to 3 fill both lines with their text on the second;
  // "状態" spans columns 4 to 6 on the first line, the three step titles stand under it.
  const int headerTop = kMargin + kTopLabelHeight + 12;
  const int x0 = kMargin + frame;
  std::array<int, kColumnCount + 1> left{};
  left[0] = x0;
  for (int c = 0; c < kColumnCount; ++c) left[c + 1] = left[c] + CenterGrid::ColumnWidth(c);
  auto title = [&](const char* name, const QString& text, int firstColumn, int lastColumn, int top, int height,
                   bool textOnSecondLine) {
    // A title that is wider than its column is drawn narrower; the column keeps its width.
    auto* l = new FitTextLabel(text, this);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(QRect(left[firstColumn], top, left[lastColumn + 1] - left[firstColumn], height));
    l->setFrameShape(QFrame::Box);
    l->setAlignment(Qt::AlignCenter);
    if (textOnSecondLine) l->setContentsMargins(0, height - line, 0, 0);
  };
  title("tit_chk", QStringLiteral("ｽｹｼﾞｭｰﾙ"), 0, 0, headerTop, 2 * line, true);
  title("tit_cnt", QStringLiteral("ｾﾝﾀｰｺｰﾄﾞ"), 1, 1, headerTop, 2 * line, true);
  title("tit_cntnm", QStringLiteral("ｾﾝﾀｰ名"), 2, 2, headerTop, 2 * line, true);
  title("tit_jushinh", QStringLiteral("送信方式"), 3, 3, headerTop, 2 * line, true);
  title("tit_jotai", QStringLiteral("状態"), 4, 6, headerTop, line, false);
  title("tit_jushin", QStringLiteral("データ抽出"), 4, 4, headerTop + line, line, false);
  title("tit_henkan", QStringLiteral("変 換"), 5, 5, headerTop + line, line, false);
  title("tit_data", QStringLiteral("送 信"), 6, 6, headerTop + line, line, false);

  const int gridTop = headerTop + 2 * line;
  grid_->setGeometry(kMargin, gridTop, gridWidth, gridHeight);

  cmd_ = new QPushButton(QStringLiteral("処理実行(&S)"), this);
  cmd_->setObjectName(QStringLiteral("CMD"));
  const int buttonTop = gridTop + gridHeight + 12;
  cmd_->setGeometry(windowWidth - kMargin - 140, buttonTop, 140, 34);

  setFixedSize(windowWidth, buttonTop + 34 + kMargin);
}

bool TransferWindow::FillCenterGrid() {
  const std::vector<CenterRow> rows = ws_.centers.snapshot();
  paintedState_.assign(rows.size(), kRowNormal);
  if (!grid_->Fill(rows, StateColour(kRowNormal))) return false;
  if (!observing_) {
    observing_ = true;
    ws_.centers.AddObserver([this, alive = alive_](int row, int, const CenterRow& snapshot) {
      if (!alive->load()) return;
      PostToGui(this, [this, row, snapshot] { ApplyRow(row, snapshot); });
    });
  }
  return true;
}

void TransferWindow::SetScreenCaptions(const QString& date) {
  pgid_->setText(QStringLiteral("D7401501"));
  date_->setText(date);
}

void TransferWindow::SetOperator(const std::string& operatorCode) {
  opcd_->setText(QString::fromStdString(operatorCode));
  opnm_->setText(QString());
}

QColor TransferWindow::StateColour(int rowState) const {
  if (auto colour = ColourFromNumber(ws_.colours.ForState(rowState))) return *colour;
  return palette().color(QPalette::Text);
}

void TransferWindow::ApplyRow(int row, const CenterRow& snapshot) {
  if (ending_ || row < 0 || row >= grid_->rowCount()) return;
  grid_->WriteLine(row, snapshot);
  if (row < static_cast<int>(paintedState_.size()) && paintedState_[row] != snapshot.rowState) {
    paintedState_[row] = snapshot.rowState;
    grid_->PaintLine(row, StateColour(snapshot.rowState), snapshot.rowState != kRowNormal);
  }
}

// A first click on a line selects it; a second click on its center code toggles the mark,
// unless the line has run or a run is going on.
void TransferWindow::ToggleMark() {
  const int line = grid_->anchorRow();
  if (line < 0 || line >= ws_.centers.count()) return;
  if (line == lastClickedRow_ && grid_->currentColumn() == kColCode &&
      ws_.centers.at(line).rowState == kRowNormal && !busy_) {
    const bool marked = !ws_.centers.at(line).marked;
    grid_->SetMarkText(line, marked);
    ws_.centers.SetMarked(line, marked);
  }
  lastClickedRow_ = line;
  grid_->HighlightLine(line);
}

bool TransferWindow::HandleGridKey(int key) {
  if (key == Qt::Key_Space && busy_) return true;  // the marks belong to the run until it ends
  if (key == Qt::Key_Space) {
    // Each line from the start of the selection down to its end flips by its own mark;
    // a selection made upwards flips nothing.
    const int first = grid_->anchorRow();
    const int last = grid_->selectionEndRow();
    for (int line = first; line >= 0 && line <= last && line < ws_.centers.count(); ++line) {
      const bool marked = grid_->MarkText(line) == kUnmarkedText;
      grid_->SetMarkText(line, marked);
      ws_.centers.SetMarked(line, marked);
    }
    return true;  // the grid would otherwise change its selection
  }
  if (key == Qt::Key_Up || key == Qt::Key_Down) lastClickedRow_ = grid_->anchorRow();
  return false;
}

bool TransferWindow::HandleScreenKey(int key) {
  if (key == Qt::Key_Escape) {
    if (!busy_) ConfirmQuit();
    return true;
  }
  if (key == Qt::Key_Up || key == Qt::Key_Down) lastClickedRow_ = grid_->anchorRow();
  return false;
}

bool TransferWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (HandleScreenKey(key)) return true;
    if (watched == grid_ && HandleGridKey(key)) return true;
    // Enter on the focused run button presses it, as Space does.
    if (watched == cmd_ && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
      if (cmd_->isEnabled()) cmd_->click();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TransferWindow::ConfirmQuit() {
  if (dialogs_.AskQuit(this, QString::fromUtf8(msg::kConfirmQuit))) {
    ending_ = true;
    quit_();
  }
}

bool TransferWindow::CloseRequested(CloseKind kind) {
  if (ending_) return true;
  if (kind == CloseKind::OwnControl) {
    if (busy_) return false;
    if (!dialogs_.AskQuit(this, QString::fromUtf8(msg::kConfirmQuit))) return false;
  }
  ending_ = true;
  quit_();
  return true;
}

void TransferWindow::closeEvent(QCloseEvent* event) {
  // A close from the title bar arrives as a spontaneous event; one from the program
  // (close()) does not. The end of the session is told apart by commitDataRequest.
  const CloseKind kind = event->spontaneous() && !systemClosing_ ? CloseKind::OwnControl : CloseKind::System;
  if (CloseRequested(kind))
    event->accept();
  else
    event->ignore();
}

void TransferWindow::showEvent(QShowEvent* event) {
  everShown_ = true;
  QWidget::showEvent(event);
}

void TransferWindow::RunMarkedCenters(int buttonIndex) {
  if (runInProgress()) return;
  cmd_->setEnabled(false);
  busy_ = true;
  controller_->Start(buttonIndex);
}

bool TransferWindow::runInProgress() const { return controller_ && controller_->running(); }

bool TransferWindow::StopRun(int seconds) { return !controller_ || controller_->StopRun(seconds); }

void TransferWindow::OnCenterStarted(int row) {
  if (ending_) return;
  // Only column 0 of the running line becomes current, so the rest of the line shows the
  // processing colour instead of the selection highlight.
  if (row >= 0 && row < grid_->rowCount()) grid_->setCurrentCell(row, kColMark, QItemSelectionModel::ClearAndSelect);
  subForm_->ShowOver(*this);
  setCursor(Qt::WaitCursor);
}

void TransferWindow::OnCenterFinished(int) {
  if (ending_) return;
  subForm_->hide();
  unsetCursor();
}

void TransferWindow::OnPassFinished() {
  if (ending_) return;
  subForm_->hide();
  unsetCursor();
  cmd_->setEnabled(true);
  busy_ = false;
}

}  // namespace edi::screen
