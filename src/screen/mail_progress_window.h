// D1130301: the mail progress window ("メール送受信") with the list Lst_Hyoji of completed
// sub-steps. The mail transfer calls it from the run's worker thread; every call is carried
// out on the window's thread, and ShowError waits until the operator has answered the box.
#pragma once

#include <QDialog>

#include "mail/mail_transfer.h"

class QListWidget;

namespace edi::screen {

class OperatorDialogs;

class MailProgressWindow : public QDialog, public mail::MailProgress {
  Q_OBJECT
 public:
  MailProgressWindow(QWidget* mainWindow, OperatorDialogs& dialogs);

  void Open() override;
  void AddLine(const std::string& line) override;
  void ShowError(const std::string& text) override;
  void Close() override;

  QListWidget* list() const { return list_; }

 private:
  OperatorDialogs& dialogs_;
  QListWidget* list_;
};

}  // namespace edi::screen
