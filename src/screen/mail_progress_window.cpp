#include "screen/mail_progress_window.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "screen/gui_thread.h"
#include "screen/operator_dialogs.h"

namespace edi::screen {

MailProgressWindow::MailProgressWindow(QWidget* mainWindow, OperatorDialogs& dialogs)
    : QDialog(mainWindow), dialogs_(dialogs) {
  setObjectName(QStringLiteral("D1130301"));
  setWindowTitle(QStringLiteral("メール送受信"));
  setModal(false);
  auto* label = new QLabel(QStringLiteral("メール送受信中・・・"), this);
  label->setObjectName(QStringLiteral("Label1"));
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("Lst_Hyoji"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(list_);
  resize(360, 260);
}

void MailProgressWindow::Open() {
  PostToGui(this, [this] {
    list_->clear();
    show();
    raise();
  });
}

void MailProgressWindow::AddLine(const std::string& line) {
  PostToGui(this, [this, text = QString::fromStdString(line)] {
    list_->addItem(text);
    list_->scrollToBottom();
  });
}

void MailProgressWindow::ShowError(const std::string& text) {
  RunOnGuiAndWait(this, [this, message = QString::fromStdString(text)] {
    dialogs_.ShowMessage(isVisible() ? static_cast<QWidget*>(this) : parentWidget(), message);
  });
}

void MailProgressWindow::Close() {
  PostToGui(this, [this] { hide(); });
}

}  // namespace edi::screen
