// Measurement that stops early must agree with Qt measuring the whole text.

#include "platform/qt/qt_text_measurer.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>

namespace tuckshelf {
namespace {

TEST(QtTextMeasurer, IsExactUpToEnoughAndStopsPastIt) {
  const QFont font = fontFor({});
  const QFontMetricsF metrics(font);
  QtTextMeasurer measurer(font);
  const QString widest = QStringLiteral("the widest line of them all");
  for (const QString& text : {QStringLiteral("ab\r\n").repeated(3000) + widest + "\nab", "a\u2028" + widest + "\r"})
    EXPECT_DOUBLE_EQ(measurer.singleLineWidth(text, 1e6), metrics.horizontalAdvance(widest));
  EXPECT_GE(measurer.singleLineWidth(QString(1 << 20, u'm'), 600), 600);
  EXPECT_GE(measurer.singleLineWidth(QString(400, u'w') + QStringLiteral("\nshort").repeated(200000), 300), 300);

  // Lines of one word each, as wide as they are apart, and line breaks of every kind.
  const double wide = metrics.horizontalAdvance(QStringLiteral("wwww "));
  for (int lines : {1, 7, 40}) {
    const QString words = QStringLiteral("wwww ").repeated(lines).trimmed();
    for (const QString& text : {words, QStringLiteral("w\r\n").repeated(lines - 1) + "w"}) {
      const double exact = lines * metrics.lineSpacing();
      EXPECT_DOUBLE_EQ(measurer.wrappedHeight(text, wide, INFINITY), exact) << lines;
      EXPECT_DOUBLE_EQ(measurer.wrappedHeight(text, wide, exact), exact) << lines;
      EXPECT_GT(measurer.wrappedHeight(text, wide, exact - 1), exact - 1) << lines;
    }
  }
  const double height = measurer.wrappedHeight(QString(1 << 20, u'm'), 200, 100);
  EXPECT_TRUE(height > 100 && height <= 100 + metrics.lineSpacing());
}

}  // namespace
}  // namespace tuckshelf
