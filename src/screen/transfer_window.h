// D7401501, the transfer management window "材料メーカEDI手動送信": the center grid with its
// two-line title header, the operator and date labels, and the run button. It holds no
// business rules: marks go into the center rows, the run button hands them to the run
// driver on a worker thread, and whatever the run writes into the rows is repainted here.
#pragma once

#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "app/workstation.h"
#include "screen/run_controller.h"

class QLabel;
class QPushButton;

namespace edi::screen {

class CenterGrid;
class MailProgressWindow;
class OperatorDialogs;
class ProgressForm;

class TransferWindow : public QWidget {
  Q_OBJECT
 public:
  // Where a close request comes from: the window's own close control, or the system or the
  // program itself.
  enum class CloseKind { OwnControl, System };

  TransferWindow(Workstation& ws, OperatorDialogs& dialogs, QWidget* parent = nullptr);
  ~TransferWindow() override;

  // Ends the program (ConfirmQuit answered Yes, an accepted close); QCoreApplication::exit(0)
  // unless replaced.
  void setQuitAction(std::function<void()> quit) { quit_ = std::move(quit); }
  // The work of the run button; the run driver unless replaced.
  void setRunner(RunController::Runner runner);

  // Lays out GRID and writes every center row of the workstation; false when it cannot.
  bool FillCenterGrid();
  void SetScreenCaptions(const QString& date);        // lbl_PGID, lbl_DATE
  void SetOperator(const std::string& operatorCode);  // lbl_OPCD, lbl_OPNM

  // The run button: index 0 runs every marked row whose state is 0.
  void RunMarkedCenters(int buttonIndex);
  bool runInProgress() const;
  // Stops a running pass (the system closes the window): see RunController::StopRun.
  bool StopRun(int seconds);

  // The quit question; Yes ends the program.
  void ConfirmQuit();
  // Whether a close request proceeds (the program then ends).
  bool CloseRequested(CloseKind kind);

  bool busy() const { return busy_; }
  void setBusy(bool busy) { busy_ = busy; }
  int lastClickedRow() const { return lastClickedRow_; }
  bool wasEverShown() const { return everShown_; }

  CenterGrid* grid() const { return grid_; }
  QPushButton* runButton() const { return cmd_; }
  ProgressForm* progressForm() const { return subForm_; }
  MailProgressWindow* mailWindow() const { return mailWindow_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  QLabel* AddLabel(const char* name, const QString& text, const QRect& geometry);
  void ToggleMark();
  bool HandleGridKey(int key);
  bool HandleScreenKey(int key);
  void ApplyRow(int row, const CenterRow& snapshot);
  QColor StateColour(int rowState) const;
  void OnCenterStarted(int row);
  void OnCenterFinished(int row);
  void OnPassFinished();

  Workstation& ws_;
  OperatorDialogs& dialogs_;
  std::function<void()> quit_;

  CenterGrid* grid_ = nullptr;
  QPushButton* cmd_ = nullptr;
  QLabel* opcd_ = nullptr;
  QLabel* opnm_ = nullptr;
  QLabel* date_ = nullptr;
  QLabel* pgid_ = nullptr;
  ProgressForm* subForm_ = nullptr;
  MailProgressWindow* mailWindow_ = nullptr;
  std::unique_ptr<RunController> controller_;

  bool busy_ = false;          // BusyFlag
  int lastClickedRow_ = 0;     // LastClickedRow
  bool everShown_ = false;
  bool systemClosing_ = false;
  bool ending_ = false;
  bool observing_ = false;
  std::vector<int> paintedState_;  // the row state each line is painted for
  std::shared_ptr<std::atomic<bool>> alive_ = std::make_shared<std::atomic<bool>>(true);
};

}  // namespace edi::screen
