#include "widgets/hover_view_shape.h"

#include <algorithm>
#include <cmath>

namespace tuckshelf {
namespace {

// How far in from a round corner's side the pixel row `row` starts: `dy`
// is the row centre's distance from the corner circle's centre line.
int cornerInset(double radius, double dy) {
  if (dy <= 0) return 0;
  if (dy >= radius) return int(std::ceil(radius));
  const double inset = radius - std::sqrt(radius * radius - dy * dy);
  // First pixel whose centre is at or past the inset.
  return int(std::ceil(inset - 0.5));
}

}  // namespace

QRegion roundedBottomRegion(QSize size, double radius) {
  const int w = size.width();
  const int h = size.height();
  if (w <= 0 || h <= 0) return {};
  const double r = std::isfinite(radius) ? std::clamp(radius, 0.0, std::min(w / 2.0, double(h))) : 0.0;
  const int cornerRows = int(std::ceil(r));
  QRegion region(0, 0, w, h - cornerRows);
  for (int y = h - cornerRows; y < h; ++y) {
    const double dy = (y + 0.5) - (h - r);
    const int inset = cornerInset(r, dy);
    if (w - 2 * inset > 0) region += QRect(inset, y, w - 2 * inset, 1);
  }
  return region;
}

QRegion discRegion(const QRect& bounds) {
  if (bounds.isEmpty()) return {};
  const double rx = bounds.width() / 2.0;
  const double ry = bounds.height() / 2.0;
  QRegion region;
  for (int row = 0; row < bounds.height(); ++row) {
    const double dy = (row + 0.5 - ry) / ry;
    if (dy * dy >= 1) continue;
    const double halfSpan = rx * std::sqrt(1 - dy * dy);
    // Pixels whose centres lie within the span.
    const int first = int(std::ceil(rx - halfSpan - 0.5));
    const int last = int(std::floor(rx + halfSpan - 0.5));
    if (last >= first) region += QRect(bounds.x() + first, bounds.y() + row, last - first + 1, 1);
  }
  return region;
}

}  // namespace tuckshelf
