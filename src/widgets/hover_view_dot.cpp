#include "widgets/hover_view_dot.h"

#include <QPainter>

#include "widgets/hover_view_shape.h"

namespace tuckshelf {

HoverViewDot::HoverViewDot(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

QColor HoverViewDot::colour() { return QColor::fromRgbF(0.176f, 0.831f, 0.749f); }

void HoverViewDot::setSmooth(bool smooth) {
  if (smooth_ == smooth) return;
  smooth_ = smooth;
  update();
}

void HoverViewDot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (smooth_) {
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour());
    painter.drawEllipse(QRectF(rect()));
    return;
  }
  painter.setClipRegion(discRegion(rect()));
  painter.fillRect(rect(), colour());
}

}  // namespace tuckshelf
