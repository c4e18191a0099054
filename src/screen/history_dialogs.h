// The message boxes of the history window edi-history, behind an interface so that tests can
// answer them: the messages and the quit question of the workstation, and Yes/No questions.
#pragma once

#include "screen/operator_dialogs.h"

namespace edi::screen {

class HistoryDialogs : public OperatorDialogs {
 public:
  // A question with Yes and No, No the default (a resend is never the easy way out). True for Yes.
  virtual bool AskYesNo(QWidget* parent, const QString& text) = 0;
};

// The real boxes (QMessageBox) with the history window's title.
class HistoryMessageBoxes : public HistoryDialogs {
 public:
  void ShowMessage(QWidget* parent, const QString& text) override;
  bool AskQuit(QWidget* parent, const QString& text) override;
  bool AskYesNo(QWidget* parent, const QString& text) override;
};

// The caption of the history window and the title of its message boxes.
inline constexpr const char* kHistoryCaption = "処理履歴照会";

}  // namespace edi::screen
