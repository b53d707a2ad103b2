#include "widgets/hover_view_label.h"

#include <algorithm>
#include <cmath>

#include <QFontMetricsF>
#include <QPainter>

namespace tuckshelf {

HoverViewLabel::HoverViewLabel(QFont font, QWidget* parent) : QWidget(parent), font_(std::move(font)) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

int HoverViewLabel::lineHeight() const { return int(std::ceil(QFontMetricsF(font_).lineSpacing())); }

void HoverViewLabel::setText(const LabelText& text) {
  text_ = text;
  if (!std::isfinite(text_.whiteAlpha)) text_.whiteAlpha = 1;
  text_.whiteAlpha = std::clamp(text_.whiteAlpha, 0.0, 1.0);
  if (!std::isfinite(text_.obliqueness)) text_.obliqueness = 0;
  text_.obliqueness = std::clamp(text_.obliqueness, -1.0, 1.0);
  update();
}

void HoverViewLabel::paintEvent(QPaintEvent*) {
  if (text_.text.isEmpty()) return;
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setFont(font_);
  painter.setPen(QColor::fromRgbF(1, 1, 1, float(text_.whiteAlpha)));

  // Messages are short and made by the program, so measuring at paint
  // time costs nothing worth caching.
  const QFontMetricsF metrics(font_);
  const QString shown = metrics.elidedText(text_.text, Qt::ElideRight, width());
  const double x = (width() - metrics.horizontalAdvance(shown)) / 2;
  const double baseline = (height() - metrics.ascent() - metrics.descent()) / 2 + metrics.ascent();
  painter.translate(x, baseline);
  // Tops lean right: y is negative above the baseline.
  painter.setTransform(QTransform().shear(-text_.obliqueness, 0), true);
  painter.drawText(QPointF(0, 0), shown);
}

}  // namespace tuckshelf
