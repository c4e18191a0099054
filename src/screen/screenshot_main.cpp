// screen_shots: takes the pictures of the window for the documentation.
//
//   screen_shots OUT_FOLDER [OPERATOR CODE]
//
// Starts the window exactly as p740150 does (EDI.ini from EDI_INI or the folder rule), saves
// OUT_FOLDER/screenshot.png as the operator meets it (nothing marked), marks every center as an
// operator would with Space over all lines, runs the marked centers with the run button, saves OUT_FOLDER/screenshot-running.png while
// the first center runs (its line in the processing colour; the package must take its time,
// scripts/screenshot makes it slow) and OUT_FOLDER/screenshot-run.png once the pass has
// ended. Message boxes are answered with OK at once and written to stderr.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <iostream>

#include "screen/center_grid.h"
#include "screen/operator_dialogs.h"
#include "screen/qt_translation.h"
#include "screen/start_program.h"
#include "screen/transfer_window.h"

namespace {

class AnsweringDialogs : public edi::screen::OperatorDialogs {
 public:
  void ShowMessage(QWidget*, const QString& text) override {
    std::cerr << "screen_shots: message box: " << text.toStdString() << "\n";
  }
  bool AskQuit(QWidget*, const QString&) override { return false; }
};

void Settle(int ms) {
  QElapsedTimer t;
  t.start();
  while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

// The window as the screen shows it, with the caption and frame that the window manager draws;
// the window's own drawing where the screen cannot be read.
QPixmap Picture(QWidget& window) {
  const QRect frame = window.frameGeometry();
  if (QScreen* screen = window.screen()) {
    QPixmap shot = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (!shot.isNull()) return shot;
  }
  return window.grab();
}

bool Save(QWidget& window, const QString& path) {
  if (!Picture(window).save(path)) {
    std::cerr << "screen_shots: cannot write " << path.toStdString() << "\n";
    return false;
  }
  std::cout << "screen_shots: wrote " << path.toStdString() << "\n";
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  edi::screen::InstallQtJapaneseTranslation(app);
  QStringList arguments = QCoreApplication::arguments();
  if (arguments.size() < 2) {
    std::cerr << "usage: screen_shots OUT_FOLDER [OPERATOR CODE]\n";
    return 2;
  }
  const QString out = arguments.at(1);
  QDir().mkpath(out);
  const std::string operatorCode = arguments.mid(2).join(QLatin1Char(' ')).toStdString();

  edi::StartOptions options;
  options.exeFolder = edi::ExecutableFolder();
  if (const char* ini = std::getenv("EDI_INI"); ini && *ini) options.iniPath = ini;

  AnsweringDialogs dialogs;
  edi::screen::ScreenProgram program(dialogs);
  if (!program.Start(options, operatorCode)) return 1;
  edi::screen::TransferWindow& window = program.window();
  edi::screen::CenterGrid& grid = *window.grid();
  Settle(500);
  if (!Save(window, out + QStringLiteral("/screenshot.png"))) return 1;

  // Every line selected downwards from the first, then Space.
  grid.setFocus();
  grid.setCurrentCell(0, edi::kColMark, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  for (int i = 1; i < grid.rowCount(); ++i) QTest::keyClick(&grid, Qt::Key_Down, Qt::ShiftModifier);
  QTest::keyClick(&grid, Qt::Key_Space);
  Settle(300);

  QTest::mouseClick(window.runButton(), Qt::LeftButton);
  // The first line that shows the processing state, while its center still runs.
  const edi::CenterRows& rows = program.workstation().centers;
  bool running = false;
  while (window.busy() && !running) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    for (int i = 0; i < rows.count() && !running; ++i) running = rows.at(i).rowState == edi::kRowProcessing;
  }
  if (running) {
    Settle(400);
    if (window.busy() && !Save(window, out + QStringLiteral("/screenshot-running.png"))) return 1;
  }
  if (!running || !window.busy()) std::cerr << "screen_shots: the run ended before a picture of it was taken\n";
  while (window.busy()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  Settle(300);
  grid.setCurrentCell(0, edi::kColMark, QItemSelectionModel::Clear);
  grid.clearSelection();
  Settle(200);
  return Save(window, out + QStringLiteral("/screenshot-run.png")) ? 0 : 1;
}
