#include "widgets/row_view_label.h"

#include <cmath>

#include <QFontMetricsF>
#include <QPainter>

#include "platform/qt/qt_text_measurer.h"

namespace tuckshelf {
namespace {

// The first prefix tried; doubled until it is wider than the label.
constexpr qsizetype kFirstPrefix = 64;

// Captured texts are kept on one line; any break left shows as a space.
QString onOneLine(QString text) {
  for (QChar& c : text) {
    if (c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) c = u' ';
  }
  return text;
}

}  // namespace

RowViewLabel::RowViewLabel(QString text, QFont font, int maxLines, TextAlign align, QWidget* parent)
    : QWidget(parent), text_(std::move(text)), font_(std::move(font)), oneLine_(maxLines == 1), align_(align) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
}

int RowViewLabel::laidOutLineCount() const { return lines_ ? lines_->lineCount() : 0; }

void RowViewLabel::resizeEvent(QResizeEvent*) {
  if (oneLine_) {
    layOutOneLine();
  } else {
    layOutLines();
  }
}

void RowViewLabel::layOutOneLine() {
  const QFontMetricsF metrics(font_);
  const double available = width();
  // A prefix wider than the label elides exactly as the whole text would.
  qsizetype length = kFirstPrefix;
  for (;;) {
    const QString prefix = onOneLine(leadingPart(text_, length));
    charactersLaidOut_ = prefix.size();
    if (prefix.size() == text_.size() || metrics.horizontalAdvance(prefix) > available) {
      elidedLine_ = metrics.elidedText(prefix, Qt::ElideRight, available);
      break;
    }
    length = std::max(length * 2, prefix.size() + 2);
  }
  elidedLineX_ = align_ == TextAlign::center ? (available - metrics.horizontalAdvance(elidedLine_)) / 2 : 0;
  update();
}

void RowViewLabel::layOutLines() {
  const double lineSpacing = QFontMetricsF(font_).lineSpacing();
  // Every line whose top lies inside the label, the cut-off one included.
  const auto visibleLines = qint64(std::ceil(std::max(0, height()) / lineSpacing));
  const Qt::Alignment alignment = align_ == TextAlign::center ? Qt::AlignHCenter : Qt::AlignLeft;
  lines_ = layoutWrappedLines(text_, font_, width(), alignment, visibleLines);
  charactersLaidOut_ = lines_->text().size();
  update();
}

void RowViewLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setClipRect(rect());
  painter.setPen(Qt::white);
  painter.setFont(font_);
  if (!oneLine_) {
    if (lines_) lines_->draw(&painter, QPointF(0, 0));
    return;
  }
  const QFontMetricsF metrics(font_);
  const double baseline = (height() - metrics.ascent() - metrics.descent()) / 2 + metrics.ascent();
  painter.drawText(QPointF(elidedLineX_, baseline), elidedLine_);
}

}  // namespace tuckshelf
