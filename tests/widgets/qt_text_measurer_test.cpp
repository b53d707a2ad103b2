#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTextLayout>

#include "platform/qt/qt_text_measurer.h"

namespace tuckshelf {
namespace {

const QFont& testFont() {
  static const QFont font = fontFor(OverlayFont{});
  return font;
}

// The whole text measured directly, each line on its own.
double directWidestLine(const QString& text) {
  const QFontMetricsF metrics(testFont());
  double widest = 0;
  for (const QString& line : text.split(QRegularExpression(QStringLiteral("\r\n|[\r\n\u2028\u2029]")))) {
    widest = std::max(widest, metrics.horizontalAdvance(line));
  }
  return widest;
}

// The whole text laid out directly, every line.
double directWrappedHeight(QString text, double width) {
  text.replace(QRegularExpression(QStringLiteral("\r\n|[\r\n\u2029]")), QString(QChar::LineSeparator));
  QTextLayout layout(text, testFont());
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  layout.beginLayout();
  int lines = 0;
  for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
    line.setLineWidth(width);
    ++lines;
  }
  layout.endLayout();
  return lines * QFontMetricsF(testFont()).lineSpacing();
}

QString words(int count) {
  QString text;
  for (int i = 0; i < count; ++i) text += QStringLiteral("word%1 ").arg(i % 97);
  return text;
}

QString megabyteText() { return QString(1 << 20, u'm'); }

constexpr double kNoLimit = std::numeric_limits<double>::infinity();

TEST(FontFor, UsesTheDefaultFamilyAtTheGivenPixelSizeAndWeight) {
  const QFont font = fontFor(OverlayFont{});
  EXPECT_EQ(font.family(), QGuiApplication::font().family());
  EXPECT_EQ(font.pixelSize(), 12);
  EXPECT_EQ(font.weight(), QFont::Medium);
  EXPECT_EQ(fontFor(OverlayFont{20, 700}).pixelSize(), 20);
  EXPECT_EQ(fontFor(OverlayFont{20, 700}).weight(), QFont::Bold);
}

TEST(QtTextMeasurer, LineHeightIsTheFontsLineSpacing) {
  QtTextMeasurer measurer(testFont());
  EXPECT_DOUBLE_EQ(measurer.defaultLineHeight(), QFontMetricsF(testFont()).lineSpacing());
}

TEST(QtTextMeasurer, SingleLineWidthIsExactBelowEnough) {
  QtTextMeasurer measurer(testFont());
  for (const QString& text : {QStringLiteral("hello"), QStringLiteral("one\ntwo, the longer line\r\nx"),
                              QStringLiteral("a\u2028much wider line than a\u2029b"), QString()}) {
    EXPECT_DOUBLE_EQ(measurer.singleLineWidth(text, kNoLimit), directWidestLine(text)) << text.toStdString();
  }
  // The widest line lies far beyond the first prefix measured.
  QString many = QStringLiteral("ab\n").repeated(3000) + QStringLiteral("the widest line of them all\nab");
  EXPECT_DOUBLE_EQ(measurer.singleLineWidth(many, 10000), directWidestLine(many));
  // A long single line that still stays below the limit.
  const QString longLine = words(800);
  const double width = directWidestLine(longLine);
  EXPECT_DOUBLE_EQ(measurer.singleLineWidth(longLine, width + 1), width);
}

TEST(QtTextMeasurer, SingleLineWidthOfAHugeTextStopsAtEnough) {
  QtTextMeasurer measurer(testFont());
  EXPECT_GE(measurer.singleLineWidth(megabyteText(), 600), 600);
  // Short lines that together are huge: the first line that reaches the
  // limit ends the measurement.
  const QString lines = QString(400, u'w') + QStringLiteral("\nshort").repeated(200000);
  EXPECT_GE(measurer.singleLineWidth(lines, 300), 300);
}

TEST(QtTextMeasurer, WrappedHeightGrowsInWholeLines) {
  QtTextMeasurer measurer(testFont());
  const double lineSpacing = QFontMetricsF(testFont()).lineSpacing();
  const double oneWord = QFontMetricsF(testFont()).horizontalAdvance(QStringLiteral("ww "));
  EXPECT_DOUBLE_EQ(measurer.wrappedHeight(QStringLiteral("a b c"), 1000, kNoLimit), lineSpacing);
  double previous = 0;
  QString text;
  for (int n = 1; n <= 6; ++n) {
    text += QStringLiteral("ww ");
    const double height = measurer.wrappedHeight(text.trimmed(), oneWord, kNoLimit);
    EXPECT_DOUBLE_EQ(height, n * lineSpacing) << n;
    EXPECT_GT(height, previous);
    previous = height;
  }
  // A word wider than the line wraps anywhere.
  EXPECT_GE(measurer.wrappedHeight(QString(60, u'x'), oneWord, kNoLimit), 10 * lineSpacing);
}

TEST(QtTextMeasurer, WrappedHeightIsExactWhenNotAboveEnough) {
  QtTextMeasurer measurer(testFont());
  for (const QString& text : {words(40), words(900), QStringLiteral("one\n\ntwo\r\nthree\rfour\u2029five"),
                              QStringLiteral("x\n").repeated(700)}) {
    const double exact = directWrappedHeight(text, 180);
    EXPECT_DOUBLE_EQ(measurer.wrappedHeight(text, 180, kNoLimit), exact);
    EXPECT_DOUBLE_EQ(measurer.wrappedHeight(text, 180, exact), exact);
    EXPECT_GT(measurer.wrappedHeight(text, 180, exact - 1), exact - 1);
  }
}

TEST(QtTextMeasurer, WrappedHeightOfAHugeTextStopsAboveEnough) {
  QtTextMeasurer measurer(testFont());
  const double lineSpacing = QFontMetricsF(testFont()).lineSpacing();
  const double height = measurer.wrappedHeight(megabyteText(), 200, 100);
  EXPECT_GT(height, 100);
  EXPECT_LE(height, 100 + lineSpacing);
  EXPECT_GT(measurer.wrappedHeight(words(200000), 200, 320), 320);
}

TEST(LayoutWrappedLines, HandsQtOnlyWhatTheLinesNeedAndMatchesTheWholeText) {
  const QString text = words(100000);
  const auto bounded = layoutWrappedLines(text, testFont(), 150, Qt::AlignLeft, 8);
  ASSERT_EQ(bounded->lineCount(), 8);
  EXPECT_LT(bounded->text().size(), 5000);

  QTextLayout whole(text.left(20000), testFont());
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  whole.setTextOption(option);
  whole.beginLayout();
  for (int i = 0; i < 8; ++i) {
    QTextLine line = whole.createLine();
    line.setLineWidth(150);
    EXPECT_EQ(bounded->lineAt(i).textStart(), line.textStart()) << i;
    EXPECT_EQ(bounded->lineAt(i).textLength(), line.textLength()) << i;
  }
  whole.endLayout();
}

TEST(QtTextMeasurer, NonsenseArgumentsDoNotCrash) {
  const double nan = std::nan("");
  EXPECT_GT(fontFor(OverlayFont{nan, 500}).pixelSize(), 0);
  EXPECT_GT(fontFor(OverlayFont{1e300, 99999}).pixelSize(), 0);
  QtTextMeasurer measurer(testFont());
  EXPECT_GE(measurer.wrappedHeight(QStringLiteral("a b c"), 0, 1000), 0);
  EXPECT_GE(measurer.wrappedHeight(QStringLiteral("a b c"), -5, nan), 0);
  EXPECT_GT(measurer.wrappedHeight(QString(5000, u'q'), nan, 50), 50);
  EXPECT_GE(measurer.wrappedHeight(QString(), 100, 100), 0);
  EXPECT_GE(measurer.singleLineWidth(QStringLiteral("abc"), nan), 0);
  // A surrogate pair split by the first prefix measured.
  const QString emoji = QString(511, u'a') + QStringLiteral("\U0001F600").repeated(200);
  EXPECT_DOUBLE_EQ(measurer.singleLineWidth(emoji, kNoLimit), directWidestLine(emoji));
}

}  // namespace
}  // namespace tuckshelf
