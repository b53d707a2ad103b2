#pragma once

#include <cstddef>
#include <vector>

#include <QString>

#include "history/clip_item.h"
#include "platform/text_measurer.h"

namespace tuckshelf {

// Above and below the line of a one-line row: the row is never less tall
// than its line and these, whatever the desktop's font size.
constexpr double kOneLineRowMargin = 6;

struct ListSizingSettings {
  double rowHeight = 30;
  double rowSpacing = 3;
  double baseWidth = 220;
  double maxWidthFactor = 3;
  int widthFitLines = 2;
  double maxExpandedH = 320;
  double hPadding = 16;
  double vPadding = 8;
};

struct ListSizing {
  double width = 0;                // the panel's width
  std::vector<double> rowHeights;  // newest first
  double contentH = 0;             // below the top gap, margins included
};

// What a row shows beside its text: a picture's thumbnail, a file icon for
// files a file manager copied, or nothing. A picture wins over files and
// text, files over text.
enum class RowKind { text, picture, files };
RowKind rowKind(const ClipItem& item);

// What a row shows for an entry: its text, a placeholder for a picture, or
// the names of files ("report.pdf", "report.pdf and 2 more").
QString displayText(const ClipItem& item);

// Sizes the open list of `rowCount` entries. Only the newest entry's text
// is measured, and never further than can change the result;
// `newestHasThumbnail`: its row shows a thumbnail or a file icon beside it.
ListSizing sizeHistoryList(const QString& newestDisplayText, std::size_t rowCount,
                           const ListSizingSettings& settings, TextMeasurer& measurer,
                           bool newestHasThumbnail = false);

}  // namespace tuckshelf
