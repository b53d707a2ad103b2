#include "platform/qt/qt_coordinates.h"

#include <algorithm>
#include <cmath>

#include <QGuiApplication>
#include <QScreen>

namespace tuckshelf {
namespace {

QRect primaryGeometry() {
  const QScreen* primary = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
  return primary ? primary->geometry() : QRect(0, 0, 0, 0);
}

// Far beyond any desktop, and small enough that QRect's right and bottom
// edges (left + width - 1) cannot overflow an int.
constexpr double kPixelLimit = 1 << 24;

int roundToPixel(double value, double lowest) {
  if (std::isnan(value)) return 0;
  return static_cast<int>(std::round(std::clamp(value, lowest, kPixelLimit)));
}

}  // namespace

Rect toGlobalYUp(const QRect& pixels) {
  const QRect primary = primaryGeometry();
  return {double(pixels.x()) - primary.x(),
          double(primary.y()) + primary.height() - (double(pixels.y()) + pixels.height()),
          double(pixels.width()), double(pixels.height())};
}

Point pointToGlobalYUp(QPoint pixel) {
  const QRect primary = primaryGeometry();
  return {double(pixel.x()) - primary.x(), double(primary.y()) + primary.height() - pixel.y()};
}

QRect toQtPixels(const Rect& frame) {
  const QRect primary = primaryGeometry();
  const double top = double(primary.y()) + primary.height() - (frame.y + frame.height);
  return {roundToPixel(frame.x + primary.x(), -kPixelLimit), roundToPixel(top, -kPixelLimit),
          roundToPixel(frame.width, 0), roundToPixel(frame.height, 0)};
}

}  // namespace tuckshelf
