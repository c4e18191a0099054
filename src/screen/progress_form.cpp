#include "screen/progress_form.h"

#include <QLabel>
#include <QVBoxLayout>

namespace edi::screen {

ProgressForm::ProgressForm(QWidget* mainWindow)
    : QWidget(mainWindow, Qt::Tool | Qt::WindowTitleHint | Qt::CustomizeWindowHint) {
  setObjectName(QStringLiteral("SUB_FRM"));
  label_ = new QLabel(QStringLiteral("処理中"), this);
  label_->setObjectName(QStringLiteral("Label1"));
  label_->setAlignment(Qt::AlignCenter);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label_);
  setFixedSize(240, 80);
}

void ProgressForm::ShowOver(QWidget& mainWindow) {
  setWindowTitle(mainWindow.windowTitle());
  const QRect main = mainWindow.frameGeometry();
  move(main.center() - QPoint(width() / 2, height() / 2));
  show();
  raise();
}

}  // namespace edi::screen
