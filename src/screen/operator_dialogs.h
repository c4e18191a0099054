// The message boxes of the window, behind an interface so that tests can answer them.
#pragma once

#include <QString>

class QWidget;

namespace edi::screen {

class OperatorDialogs {
 public:
  virtual ~OperatorDialogs() = default;
  // A modal message: text only, an OK button, no icon, the application title.
  virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
  // The quit question: Yes and No (Yes the default), exclamation icon. True for Yes.
  virtual bool AskQuit(QWidget* parent, const QString& text) = 0;
};

// The real boxes (QMessageBox).
class MessageBoxDialogs : public OperatorDialogs {
 public:
  void ShowMessage(QWidget* parent, const QString& text) override;
  bool AskQuit(QWidget* parent, const QString& text) override;
};

}  // namespace edi::screen
