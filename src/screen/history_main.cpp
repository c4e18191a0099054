// edi-history: the history window "処理履歴照会" of the EDI sending workstation.
//
//   edi-history
//
// EDI.ini is the file named by EDI_INI, else the one two folders above the program's folder
// (the rule of p740150). Qt's own options such as -platform are accepted.
#include <QApplication>
#include <cstdlib>

#include "screen/history_dialogs.h"
#include "screen/history_program.h"
#include "app/catalogue.h"
#include "screen/qt_translation.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // After the QApplication, which sets the locale from the environment itself.
  edi::InitCatalogue();
  // Qt's own texts (the Yes and No buttons of the questions) in the operator's language too.
  if (!edi::CatalogueIsEnglish()) edi::screen::InstallQtJapaneseTranslation(app);

  edi::StartOptions options;
  options.exeFolder = edi::ExecutableFolder();
  if (const char* ini = std::getenv("EDI_INI"); ini && *ini) options.iniPath = ini;

  edi::screen::HistoryMessageBoxes dialogs;
  edi::screen::HistoryProgram program(dialogs);
  if (!program.Start(options)) return 1;
  return app.exec();
}
