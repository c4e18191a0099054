// A label whose text is drawn narrower when it is wider than the label, so that a title keeps
// its column's width and can still be read whole. Fonts and colours come from the label as
// set (display settings), only the text's width is scaled.
#pragma once

#include <QLabel>

namespace edi::screen {

class FitTextLabel : public QLabel {
  Q_OBJECT
 public:
  explicit FitTextLabel(const QString& text, QWidget* parent = nullptr);

  // The horizontal scale the text is drawn with: 1 when it fits, less when it does not.
  qreal textScale() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
};

}  // namespace edi::screen
