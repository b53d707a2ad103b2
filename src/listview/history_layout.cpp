#include "listview/history_layout.h"

#include <algorithm>
#include <cmath>

#include "listview/row_layout.h"

namespace tuckshelf {

RowKind rowKind(const ClipItem& item) {
  if (item.image) return RowKind::picture;
  if (!item.fileNames().isEmpty()) return RowKind::files;
  return RowKind::text;
}

QString displayText(const ClipItem& item) {
  if (rowKind(item) == RowKind::files) {
    const QStringList names = item.fileNames();
    if (names.size() == 1) return names.front();
    return QStringLiteral("%1 and %2 more").arg(names.front()).arg(names.size() - 1);
  }
  if (item.text) return *item.text;
  return QStringLiteral("\U0001F5BC  Image");
}

namespace {

double listWidth(const QString& text, const ListSizingSettings& s, TextMeasurer& measurer) {
  const double maxWidth = s.baseWidth * s.maxWidthFactor;
  // Any single-line width from `enough` up yields the widest panel, so
  // the measurer may stop there.
  const double widestText = maxWidth - 2 * s.hPadding;
  const double enough = std::max(1.0, (widestText - 1) * s.widthFitLines + 1);
  const double w1 = measurer.singleLineWidth(text, enough);
  const double t = std::ceil(std::ceil(w1) / s.widthFitLines);
  return std::clamp(t + 2 * s.hPadding, s.baseWidth, maxWidth);
}

// The newest text is measured at the width its label takes in its row, short
// of the remove button's column and past a thumbnail or file icon (as large
// as a one-line row's), so that the row holds every line the label shows.
double leadRowHeight(const QString& text, double width, bool thumbnail, double rowHeight,
                     const ListSizingSettings& s, TextMeasurer& measurer) {
  const double labelWidth = rowLayout(width - 2 * kListInset, rowHeight, kRowPad, thumbnail, 0).label.width;
  const double measureWidth = std::max(1.0, labelWidth);
  const double th = std::ceil(measurer.wrappedHeight(text, measureWidth, s.maxExpandedH));
  if (th > s.maxExpandedH) return s.maxExpandedH + 10;
  return std::max(th + 10, rowHeight);
}

// A one-line row: `rowHeight`, or taller where the desktop's font needs
// more for its line and kOneLineRowMargin above and below it.
double oneLineRowHeight(const ListSizingSettings& s, TextMeasurer& measurer) {
  return std::max(s.rowHeight, std::ceil(measurer.defaultLineHeight()) + 2 * kOneLineRowMargin);
}

}  // namespace

ListSizing sizeHistoryList(const QString& newestDisplayText, std::size_t rowCount,
                           const ListSizingSettings& settings, TextMeasurer& measurer, bool newestHasThumbnail) {
  ListSizing sizing;
  sizing.width = listWidth(newestDisplayText, settings, measurer);
  const double rowHeight = oneLineRowHeight(settings, measurer);
  double sum = 0;
  for (std::size_t i = 0; i < rowCount; ++i) {
    const double h =
        i == 0 ? leadRowHeight(newestDisplayText, sizing.width, newestHasThumbnail, rowHeight, settings, measurer) : rowHeight;
    sizing.rowHeights.push_back(h);
    sum += h;
  }
  const double gaps = rowCount > 0 ? double(rowCount - 1) : 0.0;
  sizing.contentH = 2 * settings.vPadding + sum + settings.rowSpacing * gaps;
  return sizing;
}

}  // namespace tuckshelf
