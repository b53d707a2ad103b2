#pragma once

#include <optional>

#include "platform/geometry.h"

namespace tuckshelf {

// The open list's rows sit this far in from the panel's sides, and a row's
// contents this far in from the row's.
constexpr double kListInset = 8;
constexpr double kRowPad = 10;

// Where a row's parts sit, in the row's own coordinates: origin at its
// bottom-left corner, y upward.
struct RowLayout {
  Rect button;
  std::optional<Rect> thumbnail;  // picture and files entries only
  Rect label;
};

RowLayout rowLayout(double rowWidth, double rowHeight, double pad, bool hasImage, int maxLines);

}  // namespace tuckshelf
