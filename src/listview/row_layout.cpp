#include "listview/row_layout.h"

#include <algorithm>

#include "listview/history_layout.h"

namespace tuckshelf {
namespace {

constexpr double kButtonSize = 18;
constexpr double kButtonTopGap = 5;
constexpr double kButtonGap = 4;  // between the label and the button
constexpr double kThumbnailInset = 4;
constexpr double kThumbnailGap = 8;
constexpr double kOneLineHeight = 18;
constexpr double kLinesInset = 5;

}  // namespace

RowLayout rowLayout(double rowWidth, double rowHeight, double pad, bool hasImage, int maxLines) {
  RowLayout layout;
  layout.button = {rowWidth - pad - kButtonSize, rowHeight - kButtonSize - kButtonTopGap, kButtonSize,
                   kButtonSize};
  double labelX = pad;
  if (hasImage) {
    const double side = rowHeight - 2 * kThumbnailInset;
    layout.thumbnail = Rect{pad, (rowHeight - side) / 2, side, side};
    labelX = pad + side + kThumbnailGap;
  }
  const double labelWidth = std::max(0.0, rowWidth - labelX - (pad + kButtonSize + kButtonGap));
  if (maxLines == 1) {
    const double lineHeight = std::max(kOneLineHeight, rowHeight - 2 * kOneLineRowMargin);
    layout.label = {labelX, (rowHeight - lineHeight) / 2, labelWidth, lineHeight};
  } else {
    layout.label = {labelX, kLinesInset, labelWidth, std::max(0.0, rowHeight - 2 * kLinesInset)};
  }
  return layout;
}

}  // namespace tuckshelf
