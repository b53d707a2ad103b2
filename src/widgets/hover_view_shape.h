#pragma once

#include <QRect>
#include <QRegion>
#include <QSize>

namespace tuckshelf {

// Pixel regions the window is cut to. A pixel belongs to a shape when its
// centre does, so painting the region and shaping the window by it agree
// to the pixel.

// A rectangle of `size` whose two lower corners are rounded by `radius`.
QRegion roundedBottomRegion(QSize size, double radius);

// The disc inscribed in `bounds`.
QRegion discRegion(const QRect& bounds);

}  // namespace tuckshelf
