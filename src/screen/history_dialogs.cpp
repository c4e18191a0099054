#include "screen/history_dialogs.h"

#include <QMessageBox>

namespace edi::screen {
namespace {

int Ask(QWidget* parent, QMessageBox::Icon icon, const QString& text, QMessageBox::StandardButton defaultButton) {
  QMessageBox box(icon, QString::fromUtf8(kHistoryCaption), text, QMessageBox::Yes | QMessageBox::No, parent);
  box.setDefaultButton(defaultButton);
  return box.exec();
}

}  // namespace

void HistoryMessageBoxes::ShowMessage(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kHistoryCaption), text, QMessageBox::Ok, parent);
  box.exec();
}

bool HistoryMessageBoxes::AskQuit(QWidget* parent, const QString& text) {
  return Ask(parent, QMessageBox::Warning, text, QMessageBox::Yes) == QMessageBox::Yes;
}

bool HistoryMessageBoxes::AskYesNo(QWidget* parent, const QString& text) {
  return Ask(parent, QMessageBox::Question, text, QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace edi::screen
