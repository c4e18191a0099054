// SUB_FRM: the small window shown while one center runs, "処理中" under the main caption.
#pragma once

#include <QWidget>

class QLabel;

namespace edi::screen {

class ProgressForm : public QWidget {
  Q_OBJECT
 public:
  explicit ProgressForm(QWidget* mainWindow);

  // Shows the window modeless over the main window, with the main window's caption.
  void ShowOver(QWidget& mainWindow);

 private:
  QLabel* label_;
};

}  // namespace edi::screen
