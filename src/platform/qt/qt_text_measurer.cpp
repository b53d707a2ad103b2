#include "platform/qt/qt_text_measurer.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QTextOption>

#include "platform/qt/qt_text_scale.h"

namespace tuckshelf {
namespace {

// The first prefix measured; doubled until the answer is settled.
constexpr qsizetype kFirstPrefix = 512;
// QTextLine keeps widths in 26.6 fixed point: stay well inside it.
constexpr double kWidestLine = 1e6;

bool isLineBreak(QChar c) {
  return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// QTextLayout breaks lines only at U+2028; the rest of the breaks a
// pasted text may hold are turned into it, \r\n as one.
QString withLayoutLineBreaks(QString text) {
  text.replace(QStringLiteral("\r\n"), QString(QChar::LineSeparator));
  for (QChar& c : text) {
    if (isLineBreak(c)) c = QChar::LineSeparator;
  }
  return text;
}

double clampedWidth(double width) {
  if (!(width > 0)) return 0;  // NaN too
  return std::min(width, kWidestLine);
}

}  // namespace

QFont fontFor(const OverlayFont& setup) {
  QFont font = QGuiApplication::font();
  const double size = std::isfinite(setup.pixelSize) ? std::clamp(setup.pixelSize, 1.0, 1000.0) : 12.0;
  font.setPixelSize(static_cast<int>(std::lround(size * desktopTextScale(font))));
  font.setWeight(static_cast<QFont::Weight>(std::clamp(setup.weight, 1, 1000)));
  return font;
}

QString leadingPart(const QString& text, qsizetype length) {
  if (length >= text.size()) return text;
  if (length <= 0) return {};
  if (text.at(length - 1).isHighSurrogate()) --length;
  return text.left(length);
}

std::unique_ptr<QTextLayout> layoutWrappedLines(const QString& text, const QFont& font, double width,
                                                Qt::Alignment alignment, qint64 maxLines) {
  const double lineSpacing = QFontMetricsF(font).lineSpacing();
  const double lineWidth = clampedWidth(width);
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  option.setAlignment(alignment);

  // Lines that end before the prefix does are the whole text's lines too;
  // only the prefix's last line may be cut short, so a layout that needs
  // that line is redone on a prefix twice as long.
  qsizetype prefixLength = kFirstPrefix;
  for (;;) {
    const QString prefix = leadingPart(text, prefixLength);
    const bool whole = prefix.size() == text.size();
    auto layout = std::make_unique<QTextLayout>(withLayoutLineBreaks(prefix), font);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    const qsizetype laidOut = layout->text().size();
    bool cutShort = false;
    layout->beginLayout();
    for (qint64 count = 0; count < maxLines; ++count) {
      QTextLine line = layout->createLine();
      if (!line.isValid()) break;
      line.setLineWidth(lineWidth);
      line.setPosition(QPointF(0, double(count) * lineSpacing));
      if (!whole && line.textStart() + line.textLength() >= laidOut) {
        cutShort = true;
        break;
      }
    }
    layout->endLayout();
    if (whole || !cutShort) return layout;
    prefixLength = std::max(prefixLength * 2, prefix.size() + 2);
  }
}

QtTextMeasurer::QtTextMeasurer(QFont font) : font_(std::move(font)) {}

double QtTextMeasurer::defaultLineHeight() { return QFontMetricsF(font_).lineSpacing(); }

double QtTextMeasurer::singleLineWidth(const QString& text, double enough) {
  const QFontMetricsF metrics(font_);
  double widest = 0;
  // Lines before `lineStart` are measured already; the one from there on
  // may run past the prefix and is measured again with a longer one. A
  // cut line is never wider than the whole line, so stopping at `enough`
  // stays exact below it.
  qsizetype lineStart = 0;
  qsizetype prefixLength = kFirstPrefix;
  for (;;) {
    const QString prefix = leadingPart(text, prefixLength);
    const bool whole = prefix.size() == text.size();
    qsizetype i = lineStart;
    for (;;) {
      qsizetype end = i;
      while (end < prefix.size() && !isLineBreak(prefix.at(end))) ++end;
      const double width = metrics.horizontalAdvance(prefix.mid(i, end - i));
      if (width >= enough) return width;
      if (end == prefix.size()) {
        if (whole) return std::max(widest, width);
        lineStart = i;
        break;
      }
      widest = std::max(widest, width);
      i = end + 1;
      if (prefix.at(end) == u'\r' && i < prefix.size() && prefix.at(i) == u'\n') ++i;
    }
    prefixLength = std::max(prefixLength * 2, prefix.size() + 2);
  }
}

double QtTextMeasurer::wrappedHeight(const QString& text, double width, double enough) {
  const double lineSpacing = QFontMetricsF(font_).lineSpacing();
  // One line more than `enough` holds settles the answer.
  const double linesEnough = std::isnan(enough) ? std::numeric_limits<double>::infinity()
                                                : std::floor(std::max(enough, 0.0) / lineSpacing) + 1;
  const qint64 maxLines = linesEnough < 1e15 ? qint64(linesEnough) : std::numeric_limits<qint64>::max();
  const auto layout = layoutWrappedLines(text, font_, width, Qt::AlignLeft, maxLines);
  return double(layout->lineCount()) * lineSpacing;
}

}  // namespace tuckshelf
