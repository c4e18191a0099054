// history_shots: the picture of the history window for the documentation.
//
//   history_shots OUT_FILE [--board]
//
// Starts edi-history's window exactly as the program does (EDI.ini from EDI_INI or the folder
// rule), selects the newest run that failed (else the newest run), so that its branches and
// log lines show, and saves the window to OUT_FILE. With --board the picture shows the board
// "送信状況" instead of the run list.
#include <QApplication>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>
#include <cstdlib>
#include <iostream>

#include <QTabWidget>

#include "screen/history_dialogs.h"
#include "screen/history_program.h"
#include "screen/history_window.h"
#include "screen/run_list_model.h"

namespace {

class AnsweringDialogs : public edi::screen::HistoryDialogs {
 public:
  void ShowMessage(QWidget*, const QString& text) override {
    std::cerr << "history_shots: message box: " << text.toStdString() << "\n";
  }
  bool AskQuit(QWidget*, const QString&) override { return false; }
  bool AskYesNo(QWidget*, const QString&) override { return false; }
};

void Settle(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QStringList arguments = QCoreApplication::arguments();
  const bool board = arguments.size() == 3 && arguments.at(2) == QStringLiteral("--board");
  if (arguments.size() != 2 && !board) {
    std::cerr << "usage: history_shots OUT_FILE [--board]\n";
    return 2;
  }
  edi::StartOptions options;
  options.exeFolder = edi::ExecutableFolder();
  if (const char* ini = std::getenv("EDI_INI"); ini && *ini) options.iniPath = ini;

  AnsweringDialogs dialogs;
  edi::screen::HistoryProgram program(dialogs);
  if (!program.Start(options)) return 1;
  edi::screen::HistoryWindow& window = program.window();
  edi::screen::RunListModel& model = *window.runModel();
  int pick = model.rowCount() > 0 ? 0 : -1;
  for (int r = 0; r < model.rowCount(); ++r) {
    if (model.runAt(r).failed()) {
      pick = r;
      break;
    }
  }
  if (pick >= 0) window.SelectSerial(model.runAt(pick).serial);
  if (board) window.tabs()->setCurrentIndex(1);
  Settle(800);
  // With the caption and frame that the window manager draws, as the screen shows it.
  const QRect frame = window.frameGeometry();
  QPixmap shot;
  if (QScreen* screen = window.screen()) shot = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  if (shot.isNull()) shot = window.grab();
  if (!shot.save(arguments.at(1))) {
    std::cerr << "history_shots: cannot write " << arguments.at(1).toStdString() << "\n";
    return 1;
  }
  std::cout << "history_shots: wrote " << arguments.at(1).toStdString() << "\n";
  return 0;
}
