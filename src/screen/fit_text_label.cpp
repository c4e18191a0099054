#include "screen/fit_text_label.h"

#include <QPainter>

namespace edi::screen {

namespace {
constexpr int kAir = 1;  // pixels kept free on each side of the text
}

FitTextLabel::FitTextLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {}

qreal FitTextLabel::textScale() const {
  const int needed = fontMetrics().horizontalAdvance(text());
  const int available = contentsRect().width() - 2 * kAir;
  if (needed <= 0 || needed <= available) return 1.0;
  return available > 0 ? static_cast<qreal>(available) / needed : 0.0;
}

void FitTextLabel::paintEvent(QPaintEvent* event) {
  const qreal scale = textScale();
  if (scale >= 1.0) {
    QLabel::paintEvent(event);
    return;
  }
  QPainter painter(this);
  drawFrame(&painter);
  const QRect area = contentsRect();
  const qreal needed = fontMetrics().horizontalAdvance(text());
  painter.setFont(font());
  painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
  painter.translate(area.center().x() + 0.5, 0);
  painter.scale(scale, 1.0);
  painter.drawText(QRectF(-needed / 2, area.top(), needed, area.height()),
                   static_cast<int>((alignment() & Qt::AlignVertical_Mask) | Qt::AlignHCenter), text());
}

}  // namespace edi::screen
