#include "screen/operator_dialogs.h"

#include <QMessageBox>

#include "app/messages.h"

namespace edi::screen {

void MessageBoxDialogs::ShowMessage(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(msg::kAppTitle), text, QMessageBox::Ok, parent);
  box.exec();
}

bool MessageBoxDialogs::AskQuit(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, QString::fromUtf8(msg::kAppTitle), text,
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace edi::screen
