#pragma once

#include <QPoint>
#include <QRect>

#include "platform/geometry.h"

// Conversions between Qt's global pixels (origin at the top-left of the
// virtual desktop, y downward) and the program's global coordinates (origin
// at the bottom-left of the primary screen, y upward), relative to the
// primary screen's geometry at the time of the call; (0, 0, 0, 0) when there
// is no screen.
//
// A pixel row counts by its top edge: the pointer on the primary screen's
// topmost row, y = primary.top, is at y' = maxY of that screen, and the
// pointer at pixel (px, py) is at (px - primary.left,
// primary.top + primary.height - py).

namespace tuckshelf {

Rect toGlobalYUp(const QRect& pixels);
Point pointToGlobalYUp(QPoint pixel);

// Frames are rounded to whole pixels here and nowhere else: the left and
// top edges are rounded (halves away from zero), and the width and height
// are rounded on their own, so a frame keeps its size wherever it lands.
QRect toQtPixels(const Rect& frame);

}  // namespace tuckshelf
