#pragma once

#include <memory>

#include <QFont>
#include <QString>
#include <QTextLayout>

#include "platform/text_measurer.h"

namespace tuckshelf {

// The desktop's default family at the OverlayFont's pixel size and weight,
// the size grown or shrunk as the desktop sets its text (desktopTextScale).
QFont fontFor(const OverlayFont& setup);

class QtTextMeasurer : public TextMeasurer {
 public:
  explicit QtTextMeasurer(QFont font);

  double defaultLineHeight() override;
  double singleLineWidth(const QString& text, double enough) override;
  double wrappedHeight(const QString& text, double width, double enough) override;

 private:
  QFont font_;
};

// Lays `text` out wrapped at `width`, at most `maxLines` lines, each one
// line spacing below the previous. Only as much of the text as those lines
// need is handed to Qt, so a huge text costs no more than a short one.
// Line breaks (\n, \r\n, \r, U+2029) become Qt's line separator.
std::unique_ptr<QTextLayout> layoutWrappedLines(const QString& text, const QFont& font, double width,
                                                Qt::Alignment alignment, qint64 maxLines);

// The first `length` characters of `text`, never splitting a surrogate
// pair (it keeps one character less instead).
QString leadingPart(const QString& text, qsizetype length);

}  // namespace tuckshelf
