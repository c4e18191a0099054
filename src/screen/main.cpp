// p740150: the transfer management window of the EDI sending workstation.
//
//   p740150 [OPERATOR CODE]
//
// The whole command line, trimmed, is the operator code (Qt's own options such as -platform
// are taken out first). EDI.ini is the file named by EDI_INI, else the one two folders
// above the program's folder.
#include <QApplication>
#include <QStringList>
#include <cstdlib>

#include "screen/operator_dialogs.h"
#include "app/catalogue.h"
#include "screen/qt_translation.h"
#include "screen/start_program.h"
#include "screen/transfer_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // After the QApplication, which sets the locale from the environment itself.
  edi::InitCatalogue();
  // Qt's own texts (the standard buttons) in the operator's language too.
  if (!edi::CatalogueIsEnglish()) edi::screen::InstallQtJapaneseTranslation(app);
  QStringList arguments = QCoreApplication::arguments();
  if (!arguments.isEmpty()) arguments.removeFirst();
  const std::string commandLine = arguments.join(QLatin1Char(' ')).toStdString();

  edi::StartOptions options;
  options.exeFolder = edi::ExecutableFolder();
  if (const char* ini = std::getenv("EDI_INI"); ini && *ini) options.iniPath = ini;

  edi::screen::MessageBoxDialogs dialogs;
  edi::screen::ScreenProgram program(dialogs);
  if (!program.Start(options, commandLine)) return 1;

  const int rc = app.exec();
  // A system close during a run stops it: the package is ended and the open history rows are
  // closed with the stop code. A run that does not stop in time (a mail server that does not
  // answer) is left open; the next `edi run` warns about it.
  if (program.window().runInProgress() && !program.window().StopRun(10)) std::quick_exit(rc);
  return rc;
}
