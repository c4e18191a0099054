#include "screen/history_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include "app/catalogue.h"
#include "app/text.h"
#include "screen/board_pane.h"
#include "run/code_meaning.h"
#include "run/run_close.h"
#include "screen/history_dialogs.h"
#include "screen/mail_progress_window.h"
#include "screen/progress_form.h"
#include "screen/run_list_model.h"

namespace edi::screen {
namespace {

const char* const kBranchTitles[] = {"枝番",     "処理種別", "種別名",   "相手先企業", "情報区分",   "BPID",   "入力件数",
                                     "出力件数", "終了日付", "終了時刻", "終了ｺｰﾄﾞ",  "詳細ｺｰﾄﾞ", "ファイル名"};
constexpr int kBranchColumns = static_cast<int>(std::size(kBranchTitles));
constexpr int kBranchEndCode = 10, kBranchDetailCode = 11, kBranchFile = 12;

// What the log pane shows of one serial at most: a log that a crash filled with megabytes of
// NUL bytes, or a run that logged without end, still shows at once.
constexpr std::size_t kLogLines = 2000;
constexpr std::size_t kLogLineBytes = 1000;

QString Q(const std::string& text) { return QString::fromStdString(text); }
QString Q(const char* text) { return QString::fromUtf8(text); }

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QString::fromLatin1(name));
  return label;
}

QString DateText(const QDate& date) { return date.toString(QStringLiteral("yyyy/MM/dd")); }

}  // namespace

HistoryWindow::HistoryWindow(Workstation& ws, HistoryDialogs& dialogs, QWidget* parent)
    : QWidget(parent), ws_(ws), dialogs_(dialogs) {
  setObjectName(QStringLiteral("HISTORY"));
  setWindowTitle(QString::fromUtf8(kHistoryCaption));
  BuildControls();

  subForm_ = new ProgressForm(this);
  mailWindow_ = new MailProgressWindow(this, dialogs_);
  resender_ = std::make_unique<ResendController>(ws_, *mailWindow_);
  connect(resender_.get(), &ResendController::finished, this, &HistoryWindow::OnResendFinished);

  // One reader thread: it alone uses the index, and requests are taken in order.
  logPool_ = new QThreadPool(this);
  logPool_->setMaxThreadCount(1);
  logIndex_ = std::make_shared<run::ErrLogIndex>(ws_.errLogPath);

  timer_ = new QTimer(this);
  timer_->setInterval(kDefaultRefreshMs);
  connect(timer_, &QTimer::timeout, this, &HistoryWindow::Refresh);
  timer_->start();
}

HistoryWindow::~HistoryWindow() {
  timer_->stop();
  resender_.reset();  // waits for a send still running
  logPool_->clear();
  logPool_->waitForDone();
}

void HistoryWindow::BuildControls() {
  auto* top = new QHBoxLayout;
  top->addWidget(MakeLabel(this, "tit_TITLE", QString::fromUtf8(kHistoryCaption)));
  top->addStretch();
  date_ = MakeLabel(this, "lbl_DATE", DateText(QDate::currentDate()));
  top->addWidget(date_);

  // The filter line: period, center, failures only, open runs only; every change searches.
  auto* filter = new QHBoxLayout;
  period_ = new QCheckBox(Q(Tr("期間")), this);
  period_->setObjectName(QStringLiteral("chk_PERIOD"));
  period_->setChecked(true);
  from_ = new QDateEdit(QDate::currentDate(), this);
  from_->setObjectName(QStringLiteral("dte_FROM"));
  to_ = new QDateEdit(QDate::currentDate(), this);
  to_->setObjectName(QStringLiteral("dte_TO"));
  for (QDateEdit* edit : {from_, to_}) {
    edit->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    edit->setCalendarPopup(true);
  }
  center_ = new QComboBox(this);
  center_->setObjectName(QStringLiteral("cmb_CENTER"));
  center_->setMinimumWidth(180);
  failed_ = new QCheckBox(Q(Tr("エラーのみ")), this);
  failed_->setObjectName(QStringLiteral("chk_FAILED"));
  open_ = new QCheckBox(Q(Tr("未終了のみ")), this);
  open_->setObjectName(QStringLiteral("chk_OPEN"));
  // Failures that a later resend mended are left out of エラーのみ unless asked for.
  resolved_ = new QCheckBox(Q(Tr("再送信済を含む")), this);
  resolved_->setObjectName(QStringLiteral("chk_RESOLVED"));
  resolved_->setEnabled(false);
  filter->addWidget(period_);
  filter->addWidget(from_);
  filter->addWidget(MakeLabel(this, "lbl_TILDE", QStringLiteral("～")));
  filter->addWidget(to_);
  filter->addSpacing(12);
  filter->addWidget(MakeLabel(this, "lbl_CENTER", Q(Tr("ｾﾝﾀｰ"))));
  filter->addWidget(center_);
  filter->addSpacing(12);
  filter->addWidget(failed_);
  filter->addWidget(resolved_);
  filter->addWidget(open_);
  filter->addStretch();

  model_ = new RunListModel(ws_.colours, this);
  runList_ = new QTableView(this);
  runList_->setObjectName(QStringLiteral("GRID_RUN"));
  runList_->setModel(model_);
  runList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  runList_->setSelectionMode(QAbstractItemView::SingleSelection);
  runList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  runList_->verticalHeader()->hide();
  runList_->horizontalHeader()->setStretchLastSection(true);
  // Within a 1024×768 screen: the window is 1000 pixels wide.
  const int widths[RunListModel::kColumns] = {76, 90, 160, 84, 68, 84, 68, 68, 62, 62, 62, 80};
  for (int c = 0; c < RunListModel::kColumns; ++c) runList_->setColumnWidth(c, widths[c]);

  branches_ = new QTableWidget(0, kBranchColumns, this);
  branches_->setObjectName(QStringLiteral("GRID_BRANCH"));
  QStringList titles;
  for (const char* t : kBranchTitles) titles << QString::fromUtf8(t);
  branches_->setHorizontalHeaderLabels(titles);
  branches_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  branches_->setSelectionBehavior(QAbstractItemView::SelectRows);
  branches_->verticalHeader()->hide();
  branches_->horizontalHeader()->setStretchLastSection(true);

  log_ = new QPlainTextEdit(this);
  log_->setObjectName(QStringLiteral("TXT_LOG"));
  log_->setReadOnly(true);
  log_->setLineWrapMode(QPlainTextEdit::NoWrap);

  auto* buttons = new QHBoxLayout;
  status_ = MakeLabel(this, "lbl_STATUS", QString());
  buttons->addWidget(status_, 1);
  refresh_ = new QPushButton(Q(Tr("最新の情報に更新")), this);
  refresh_->setObjectName(QStringLiteral("CMD_REFRESH"));
  resend_ = new QPushButton(Q(Tr("再送信")), this);
  resend_->setObjectName(QStringLiteral("CMD_RESEND"));
  resend_->setEnabled(false);
  close_ = new QPushButton(Q(Tr("実行を閉じる")), this);
  close_->setObjectName(QStringLiteral("CMD_CLOSE"));
  close_->setToolTip(Q(Tr("中断されたまま終了していない実行を、中断（終了コード 9900）として閉じます")));
  close_->setEnabled(false);
  buttons->addWidget(refresh_);
  buttons->addWidget(close_);
  buttons->addWidget(resend_);

  auto* runTitle = MakeLabel(this, "tit_RUN", Q(Tr("処理履歴")));
  auto* branchTitle = MakeLabel(this, "tit_BRANCH", Q(Tr("処理明細")));
  auto* logTitle = MakeLabel(this, "tit_LOG", Q(Tr("変換ログ（ERR.LOG）")));

  auto* detail = new QWidget(this);
  auto* detailLayout = new QGridLayout(detail);
  detailLayout->setContentsMargins(0, 0, 0, 0);
  detailLayout->addWidget(branchTitle, 0, 0);
  detailLayout->addWidget(branches_, 1, 0);
  detailLayout->addWidget(logTitle, 2, 0);
  detailLayout->addWidget(log_, 3, 0);
  auto* runs = new QWidget(this);
  auto* runsLayout = new QVBoxLayout(runs);
  runsLayout->setContentsMargins(0, 0, 0, 0);
  runsLayout->addWidget(runTitle);
  runsLayout->addWidget(runList_);
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(runs);
  split->addWidget(detail);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);

  // Two tabs: the run list with its filters and details, and the board of centers by day.
  auto* listPage = new QWidget(this);
  auto* listLayout = new QVBoxLayout(listPage);
  listLayout->setContentsMargins(4, 4, 4, 4);
  listLayout->addLayout(filter);
  listLayout->addWidget(split, 1);
  board_ = new BoardPane(*ws_.db, ws_.colours, this);
  connect(board_, &BoardPane::dayChosen, this, &HistoryWindow::ShowCenterDay);
  board_->setConnectionBusy([this] { return resendInProgress(); });
  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("TAB_HISTORY"));
  tabs_->addTab(listPage, Q(Tr("処理履歴")));
  tabs_->addTab(board_, Q(Tr("送信状況")));

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(tabs_, 1);
  layout->addLayout(buttons);
  // Fits a 1024×768 screen with the window's frame and a task bar.
  resize(1000, 680);

  for (QCheckBox* box : {period_, failed_, resolved_, open_})
    connect(box, &QCheckBox::toggled, this, &HistoryWindow::Search);
  connect(failed_, &QCheckBox::toggled, resolved_, &QCheckBox::setEnabled);
  for (QDateEdit* edit : {from_, to_}) connect(edit, &QDateEdit::dateChanged, this, &HistoryWindow::Search);
  connect(period_, &QCheckBox::toggled, this, [this](bool on) {
    from_->setEnabled(on);
    to_->setEnabled(on);
  });
  connect(center_, &QComboBox::currentIndexChanged, this, &HistoryWindow::Search);
  connect(refresh_, &QPushButton::clicked, this, &HistoryWindow::Refresh);
  connect(resend_, &QPushButton::clicked, this, &HistoryWindow::ResendSelected);
  connect(close_, &QPushButton::clicked, this, &HistoryWindow::CloseSelected);
  connect(runList_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &HistoryWindow::ShowSelectedRun);
}

bool HistoryWindow::LoadHistory() {
  std::vector<std::pair<std::string, std::string>> centers;
  try {
    centers = run::QueryCenterNames(*ws_.db);
  } catch (const DatabaseError& e) {
    SetStatus(Q(TrArgs("処理履歴を読めません: {1}", {e.what()})));
    return false;
  }
  {
    const QSignalBlocker quiet(center_);
    center_->clear();
    center_->addItem(Q(Tr("（すべて）")), QString());
    for (const auto& [code, name] : centers) center_->addItem(Q(code + "  " + name), Q(code));
  }
  board_->SetCenters(centers);
  board_->Refresh();
  databaseFailed_ = false;
  Search();
  return !databaseFailed_;
}

run::HistoryFilter HistoryWindow::CurrentFilter() const {
  run::HistoryFilter filter;
  if (period_->isChecked()) {
    QDate from = from_->date(), to = to_->date();
    filter.fromDate = DateText(from).toStdString();
    filter.toDate = DateText(to).toStdString();
  }
  filter.centerCode = center_->currentData().toString().toStdString();
  filter.failedOnly = failed_->isChecked();
  filter.includeResolved = resolved_->isChecked();
  filter.openOnly = open_->isChecked();
  return filter;
}

void HistoryWindow::Search() { ReadRuns(run::kRunPageSize); }

void HistoryWindow::Refresh() {
  // The send's worker uses the connection meanwhile; its end refreshes the list.
  if (resendInProgress()) return;
  date_->setText(DateText(QDate::currentDate()));
  ReadRuns(model_->rowCount());
  board_->Refresh();
}

void HistoryWindow::ShowCenterDay(const QString& center, const QString& date) {
  const QDate day = QDate::fromString(date, QStringLiteral("yyyy/MM/dd"));
  {
    // One search for the whole change of filter, not one per control.
    const QSignalBlocker b1(period_), b2(from_), b3(to_), b4(center_), b5(failed_), b6(open_);
    period_->setChecked(true);
    from_->setEnabled(true);
    to_->setEnabled(true);
    from_->setDate(day);
    to_->setDate(day);
    int index = center_->findData(center);
    if (index < 0) {
      center_->addItem(center, center);  // a center no longer in the master
      index = center_->count() - 1;
    }
    center_->setCurrentIndex(index);
    failed_->setChecked(false);
    open_->setChecked(false);
  }
  tabs_->setCurrentIndex(0);
  Search();
}

void HistoryWindow::ReadRuns(int atLeast) {
  if (resendInProgress()) return;
  const auto kept = selectedSerial();
  const run::HistoryFilter filter = CurrentFilter();
  databaseFailed_ = false;
  // The loader also serves the pages read later as the list scrolls.
  model_->Reset(
      [this, filter](std::optional<std::int32_t> below, int limit) {
        try {
          return run::QueryRuns(*ws_.db, filter, below, limit);
        } catch (const DatabaseError& e) {
          databaseFailed_ = true;
          SetStatus(Q(TrArgs("処理履歴を読めません: {1}", {e.what()})));
          return std::vector<run::RunSummary>{};
        }
      },
      atLeast);
  if (databaseFailed_) {
    ShowSelectedRun();
    return;
  }
  if (!kept || !SelectSerial(*kept)) ShowSelectedRun();
  const std::string count = std::to_string(model_->rowCount());
  const std::string time = QTime::currentTime().toString(QStringLiteral("HH:mm:ss")).toStdString();
  SetStatus(Q(model_->canFetchMore({}) ? TrArgs("{1}件以上  {2} 更新", {count, time})
                                       : TrArgs("{1}件  {2} 更新", {count, time})));
}

bool HistoryWindow::SelectSerial(std::int32_t serial) {
  int row = model_->rowOfSerial(serial);
  // Read further pages only while they can still hold the serial (newest first).
  while (row < 0 && model_->canFetchMore({}) && model_->rowCount() > 0 &&
         model_->runAt(model_->rowCount() - 1).serial > serial) {
    model_->fetchMore({});
    row = model_->rowOfSerial(serial);
  }
  if (row < 0) return false;
  // Selecting another row shows it through the selection signal; the row already selected
  // sends none, so it is shown here (its branches and log read once either way).
  const bool already = selectedSerial() == serial;
  runList_->selectRow(row);
  runList_->scrollTo(model_->index(row, 0));
  if (already) ShowSelectedRun();
  return true;
}

std::optional<std::int32_t> HistoryWindow::selectedSerial() const {
  const auto rows = runList_->selectionModel()->selectedRows();
  if (rows.isEmpty() || rows.front().row() >= model_->rowCount()) return std::nullopt;
  return model_->runAt(rows.front().row()).serial;
}

void HistoryWindow::ShowSelectedRun() {
  const auto serial = selectedSerial();
  resend_->setEnabled(serial.has_value() && !resendInProgress());
  close_->setEnabled(serial.has_value() && !resendInProgress() &&
                     model_->runAt(model_->rowOfSerial(*serial)).open());
  if (!serial) {
    branches_->setRowCount(0);
    ++logRequest_;  // an answer still on its way is for a run no longer shown
    logPending_ = false;
    log_->clear();
    return;
  }
  ShowBranches(*serial);
  ShowLog(*serial);
}

std::string HistoryWindow::WorkspaceName(const std::string& fileName) const {
  // A file in the workspace (the folder of EDI.ini) is named from there ("out/00000012_…"):
  // short, and the same on every workstation; the tooltip keeps the whole path.
  const std::string folder = ws_.iniPath.parent_path().string();
  if (folder.empty() || folder == "/") return fileName;
  if (fileName.size() > folder.size() + 1 && fileName.compare(0, folder.size(), folder) == 0 &&
      fileName[folder.size()] == '/')
    return fileName.substr(folder.size() + 1);
  return fileName;
}

void HistoryWindow::ShowBranches(std::int32_t serial) {
  std::vector<run::BranchDetail> rows;
  try {
    rows = run::QueryBranches(*ws_.db, serial);
  } catch (const DatabaseError& e) {
    SetStatus(Q(TrArgs("処理明細を読めません: {1}", {e.what()})));
  }
  branches_->setRowCount(static_cast<int>(rows.size()));
  for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
    const run::BranchDetail& b = rows[r];
    const std::string values[kBranchColumns] = {std::to_string(b.branch), b.workKind, b.workKindName, b.partnerCompany,
                                                b.infoCategory, b.bpid, b.inputRecords, b.outputRecords, b.endDate,
                                                b.endTime, b.endCode, b.detailCode, WorkspaceName(b.fileName)};
    for (int c = 0; c < kBranchColumns; ++c) branches_->setItem(r, c, new QTableWidgetItem(Q(values[c])));
    // Each code says what it means.
    branches_->item(r, kBranchFile)->setToolTip(Q(b.fileName));
    branches_->item(r, kBranchEndCode)->setToolTip(Q(b.endCode + " " + run::EndCodeMeaning(b.endCode)));
    const std::string detail = run::DetailCodeMeaning(b.endCode, b.detailCode);
    branches_->item(r, kBranchDetailCode)
        ->setToolTip(Q(b.detailCode + " " + (detail.empty() ? run::EndCodeMeaning(b.detailCode) : detail)));
  }
  branches_->resizeColumnsToContents();
}

void HistoryWindow::ShowLog(std::int32_t serial) {
  // Read off the window's thread: the index takes in what the log gained since the last
  // selection and reads only this serial's sections, within the pane's limits.
  const int request = ++logRequest_;
  logPending_ = true;
  QPointer<HistoryWindow> self(this);
  auto index = logIndex_;
  logPool_->start([self, index, request, serial] {
    index->Update();
    run::ErrLogIndex::Limits limits;
    limits.maxLines = kLogLines;
    limits.maxLineBytes = kLogLineBytes;
    const run::ErrLogIndex::Lines read = index->LinesOf(serial, limits);
    QStringList lines;
    for (const auto& line : read.lines) lines << QString::fromStdString(line);
    if (read.cut) lines << Q(TrArgs("（以降は省略しました: 最大 {1} 行）", {std::to_string(kLogLines)}));
    const QString text = lines.join(QLatin1Char('\n'));
    QMetaObject::invokeMethod(
        qApp, [self, request, serial, text] {
          if (self) self->OnLogRead(request, serial, text);
        },
        Qt::QueuedConnection);
  });
}

void HistoryWindow::OnLogRead(int request, int serial, const QString& text) {
  if (request != logRequest_) return;  // a later selection asked for another run
  logPending_ = false;
  // Files in the workspace are named from there, as in the branches.
  const std::string folder = ws_.iniPath.parent_path().string();
  QString shown = text;
  if (!folder.empty() && folder != "/") shown.replace(Q(folder + "/"), QString());
  log_->setPlainText(shown);
  emit logShown(serial);
}

void HistoryWindow::CloseSelected() {
  const auto serial = selectedSerial();
  if (!serial || resendInProgress()) return;
  const run::RunSummary run = model_->runAt(model_->rowOfSerial(*serial));
  if (!run.open()) return;
  if (!dialogs_.AskYesNo(this, Q(TrArgs("通番 {1}（{2} {3}、開始 {4} {5}） は終了していません。\n"
                                        "どの端末でも実行中でないことを確かめてから閉じてください。\n"
                                        "中断として閉じてもよろしいですか",
                                        {SerialField(run.serial), run.centerCode, run.centerName, run.startDate,
                                         run.startTime}))))
    return;
  const run::CloseOutcome outcome = run::CloseAbandonedRun(*ws_.db, *serial, ws_.errLogPath);
  Refresh();
  dialogs_.ShowMessage(this, Q(outcome.message));
}

void HistoryWindow::SetStatus(const QString& text) { status_->setText(text); }

void HistoryWindow::setRefreshInterval(int milliseconds) {
  timer_->setInterval(milliseconds);
  timer_->start();
}

void HistoryWindow::setResendEngine(ResendEngine engine) { resender_->setEngine(std::move(engine)); }

bool HistoryWindow::resendInProgress() const { return resender_ && resender_->running(); }

void HistoryWindow::ResendSelected() {
  const auto serial = selectedSerial();
  if (!serial || resendInProgress()) return;
  const run::RunSummary run = model_->runAt(model_->rowOfSerial(*serial));
  const ResendCheck check = resender_->Check(*serial);
  if (!check.refusal.empty()) {
    dialogs_.ShowMessage(this, Q(check.refusal));
    return;
  }
  if (!dialogs_.AskYesNo(this, Q(TrArgs("通番 {1}（{2} {3}） の送信結果を再送信してもよろしいですか",
                                        {SerialField(run.serial), run.centerCode, run.centerName}))))
    return;
  bool force = false;
  if (check.successfulSends > 0) {
    // The same two counts as the list's 送信回数 and 正常送信 columns.
    if (!dialogs_.AskYesNo(this, Q(TrArgs("この送信結果は既に{1}回正常に送信されています（送信{2}回）。\n"
                                          "相手先に同じデータが重ねて届きます。もう一度送信してもよろしいですか",
                                          {std::to_string(check.successfulSends), std::to_string(run.sends)}))))
      return;
    force = true;
  }
  StartResend(*serial, force, check.mail);
}

void HistoryWindow::StartResend(std::int32_t serial, bool force, bool mail) {
  resend_->setEnabled(false);
  close_->setEnabled(false);
  refresh_->setEnabled(false);
  // The mail transfer opens its own progress window; a hand-off to the package path shows SUB_FRM.
  if (!mail) subForm_->ShowOver(*this);
  setCursor(Qt::WaitCursor);
  resendIsMail_ = mail;
  resender_->Start(serial, force);
}

void HistoryWindow::OnResendFinished(int serial, const QString& code, const QString& message, bool needsForce) {
  subForm_->hide();
  unsetCursor();
  refresh_->setEnabled(true);
  if (needsForce) {
    // Sent successfully by someone else between the question and the send: ask once more.
    if (dialogs_.AskYesNo(this, Q(Tr("この送信結果は既に正常に送信されています。\n"
                                     "もう一度送信してもよろしいですか")))) {
      StartResend(serial, true, resendIsMail_);
      return;
    }
  }
  Refresh();
  if (!needsForce) {
    dialogs_.ShowMessage(this, code == QLatin1String("0000")
                                   ? Q(TrArgs("再送信しました（通番 {1}）", {SerialField(serial)}))
                                   : Q(TrArgs("再送信エラー（{1}）\n{2}", {code.toStdString(), message.toStdString()})));
  }
  emit resendFinished(serial, code);
}

}  // namespace edi::screen
