// The history window "処理履歴照会" of edi-history: the runs of the processing history newest
// first under a filter (a date range, today by default; a center; failures only; open runs
// only), the branches and the ERR.LOG lines of the selected run, and "再送信" to send a run's
// result again. It reads the history through run/history_query and sends through the engine's
// resend; it holds no business rules of its own. A second tab holds the board of centers by
// day (screen/board_pane). The list and the board refresh themselves while the window is open,
// since other workstations write the same history.
#pragma once

#include <QWidget>
#include <cstdint>
#include <memory>
#include <optional>

#include "run/err_log_index.h"

#include "app/workstation.h"
#include "run/history_query.h"
#include "screen/history_resend.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class QTableWidget;
class QTabWidget;
class QThreadPool;
class QTimer;

namespace edi::screen {

class BoardPane;
class HistoryDialogs;
class MailProgressWindow;
class ProgressForm;
class RunListModel;

class HistoryWindow : public QWidget {
  Q_OBJECT
 public:
  // How often the list reads the history again while the window is open.
  static constexpr int kDefaultRefreshMs = 30000;

  HistoryWindow(Workstation& ws, HistoryDialogs& dialogs, QWidget* parent = nullptr);
  ~HistoryWindow() override;

  // The center choices and the first search (today's runs). False when the database cannot
  // be read (the reason is in the status label).
  bool LoadHistory();
  // Reads the list again under the same filter, keeping the selected run and as many runs as
  // were read; the selected run's branches and log are read again too.
  void Refresh();
  // The filter as the controls show it.
  run::HistoryFilter CurrentFilter() const;

  // "再送信" for the selected run: the questions, the send on a worker thread, the progress.
  void ResendSelected();
  bool resendInProgress() const;
  // "実行を閉じる" for the selected run when it has no end: after a Yes/No question it is
  // closed as abandoned ("9900", closed by hand), as `edi history close` does.
  void CloseSelected();
  // The selected run's ERR.LOG lines are read on a thread of their own; true until they are shown.
  bool logPending() const { return logPending_; }

  void setRefreshInterval(int milliseconds);
  void setResendEngine(ResendEngine engine);
  // Selects the run of the serial in the list (reading further pages when needed).
  bool SelectSerial(std::int32_t serial);
  std::optional<std::int32_t> selectedSerial() const;

  QTableView* runList() const { return runList_; }
  RunListModel* runModel() const { return model_; }
  QTableWidget* branchGrid() const { return branches_; }
  QPlainTextEdit* logView() const { return log_; }
  QCheckBox* periodCheck() const { return period_; }
  QDateEdit* fromEdit() const { return from_; }
  QDateEdit* toEdit() const { return to_; }
  QComboBox* centerBox() const { return center_; }
  QCheckBox* failedCheck() const { return failed_; }
  QCheckBox* openCheck() const { return open_; }
  QCheckBox* resolvedCheck() const { return resolved_; }
  QPushButton* closeButton() const { return close_; }
  QPushButton* refreshButton() const { return refresh_; }
  QPushButton* resendButton() const { return resend_; }
  QLabel* statusLabel() const { return status_; }
  // The board "送信状況" beside the run list, and the tabs that hold the two.
  BoardPane* board() const { return board_; }
  QTabWidget* tabs() const { return tabs_; }
  // The run list filtered to one center's runs of one day (a click on the board).
  void ShowCenterDay(const QString& center, const QString& date);
  MailProgressWindow* mailWindow() const { return mailWindow_; }
  ProgressForm* progressForm() const { return subForm_; }

 signals:
  void resendFinished(int serial, QString code);
  void logShown(int serial);

 private:
  void BuildControls();
  void Search();
  void ReadRuns(int atLeast);
  void ShowSelectedRun();
  void ShowBranches(std::int32_t serial);
  std::string WorkspaceName(const std::string& fileName) const;
  void ShowLog(std::int32_t serial);
  void OnLogRead(int request, int serial, const QString& text);
  void StartResend(std::int32_t serial, bool force, bool mail);
  void OnResendFinished(int serial, const QString& code, const QString& message, bool needsForce);
  void SetStatus(const QString& text);

  Workstation& ws_;
  HistoryDialogs& dialogs_;
  RunListModel* model_ = nullptr;
  QTableView* runList_ = nullptr;
  QTableWidget* branches_ = nullptr;
  QPlainTextEdit* log_ = nullptr;
  QCheckBox* period_ = nullptr;
  QDateEdit* from_ = nullptr;
  QDateEdit* to_ = nullptr;
  QComboBox* center_ = nullptr;
  QCheckBox* failed_ = nullptr;
  QCheckBox* open_ = nullptr;
  QCheckBox* resolved_ = nullptr;
  QPushButton* refresh_ = nullptr;
  QPushButton* close_ = nullptr;
  QPushButton* resend_ = nullptr;
  QLabel* date_ = nullptr;
  QLabel* status_ = nullptr;
  BoardPane* board_ = nullptr;
  QTabWidget* tabs_ = nullptr;
  QTimer* timer_ = nullptr;
  ProgressForm* subForm_ = nullptr;
  MailProgressWindow* mailWindow_ = nullptr;
  std::unique_ptr<ResendController> resender_;
  bool databaseFailed_ = false;
  bool resendIsMail_ = false;
  // The log index lives on the reader's one thread; requests are numbered so that only the
  // answer for the latest selection is shown.
  QThreadPool* logPool_ = nullptr;
  std::shared_ptr<run::ErrLogIndex> logIndex_;
  int logRequest_ = 0;
  bool logPending_ = false;
};

}  // namespace edi::screen
