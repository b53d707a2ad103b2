#include "widgets/row_view_button.h"

#include <algorithm>

#include <QPainter>
#include <QPainterPathStroker>

namespace tuckshelf {
namespace {

// Proportions of a 12 px filled circle with a cross, in its 18 px button.
constexpr double kCircleShare = 13.0 / 18.0;
constexpr double kCrossArmShare = 2.4 / 13.0;    // of the circle's diameter
constexpr double kCrossStrokeShare = 1.6 / 13.0;  // semibold

QPainterPath crossedCircle(QSizeF size) {
  const double diameter = std::min(size.width(), size.height()) * kCircleShare;
  const QPointF centre(size.width() / 2, size.height() / 2);
  QPainterPath circle;
  circle.addEllipse(centre, diameter / 2, diameter / 2);

  const double arm = diameter * kCrossArmShare;
  QPainterPath cross;
  cross.moveTo(centre + QPointF(-arm, -arm));
  cross.lineTo(centre + QPointF(arm, arm));
  cross.moveTo(centre + QPointF(arm, -arm));
  cross.lineTo(centre + QPointF(-arm, arm));
  QPainterPathStroker stroker;
  stroker.setWidth(diameter * kCrossStrokeShare);
  stroker.setCapStyle(Qt::RoundCap);
  return circle.subtracted(stroker.createStroke(cross));
}

}  // namespace

RowViewButton::RowViewButton(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAccessibleName(QStringLiteral("Remove"));
}

void RowViewButton::resizeEvent(QResizeEvent*) { glyph_ = crossedCircle(size()); }

void RowViewButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillPath(glyph_, QColor::fromRgbF(1, 1, 1, 0.55f));
}

}  // namespace tuckshelf
