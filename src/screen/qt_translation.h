// Qt's own texts in Japanese: the standard buttons of message boxes (はい, いいえ, OK, …) and
// the other texts that Qt itself draws, whatever the language of the machine.
#pragma once

class QCoreApplication;

namespace edi::screen {

// Installs Qt's Japanese translation (qtbase_ja.qm from Qt's translations folder) into the
// application. False when the file is not there: Qt's English texts stay.
bool InstallQtJapaneseTranslation(QCoreApplication& app);

}  // namespace edi::screen
