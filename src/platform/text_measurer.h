#pragma once

#include <QString>

namespace tuckshelf {

// The overlay's font: the desktop's default family at this pixel size and
// weight (500 is medium).
struct OverlayFont {
  double pixelSize = 12;
  int weight = 500;
  friend bool operator==(const OverlayFont&, const OverlayFont&) = default;
};

// Text measurement in the overlay's font.
class TextMeasurer {
 public:
  virtual ~TextMeasurer() = default;
  // The font's default line height, unrounded.
  virtual double defaultLineHeight() = 0;
  // Width of `text` set on one line; with line breaks, the widest line.
  // Exact when below `enough`; otherwise any value not below `enough`, so
  // that a huge text need not be measured to its end.
  virtual double singleLineWidth(const QString& text, double enough) = 0;
  // Height of `text` wrapped at `width`, the font's line spacing included.
  // Exact when not above `enough`; otherwise any value above `enough`.
  virtual double wrappedHeight(const QString& text, double width, double enough) = 0;
};

}  // namespace tuckshelf
