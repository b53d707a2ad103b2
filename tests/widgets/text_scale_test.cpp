// The list at the desktop's scale: sharp at device pixel ratios 1, 1.5 and
// 2, and larger where the desktop sets its programs' text larger.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QPainter>

#include "history/clip_image.h"
#include "listview/history_layout.h"
#include "platform/qt/qt_text_measurer.h"
#include "platform/qt/qt_text_scale.h"
#include "widgets/row_view.h"
#include "widgets/row_view_label.h"

namespace tuckshelf {
namespace {

// The widget painted on black at `ratio` device pixels to a point, as the
// window system's backing store paints it on such a screen.
QImage rendered(QWidget& widget, qreal ratio) {
  QImage image(widget.size() * ratio, QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(ratio);
  image.fill(Qt::black);
  widget.render(&image, {}, {}, QWidget::DrawChildren);  // on the black backdrop
  return image;
}

// Of the pixels a white drawing inks, the share that are neither ink nor
// background. A sharp drawing has them along its edges, one device pixel
// wide; one drawn at fewer pixels and enlarged has them wider.
double blurredShare(const QImage& image) {
  qint64 ink = 0, between = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      if (const int v = qGray(image.pixel(x, y)); v > 25) ++ink, between += v < 230;
  return ink ? double(between) / double(ink) : 1.0;
}

// As large as a one-line row's thumbnail at twice the scale, in squares
// of 4 pixels: 2, 3 and 4 of the screen's at scales 1, 1.5 and 2.
QImage checkerboard() {
  QImage image(44, 44, QImage::Format_RGB32);
  for (int y = 0; y < 44; ++y)
    for (int x = 0; x < 44; ++x) image.setPixel(x, y, (x / 4 + y / 4) % 2 ? 0xffffffff : 0xff000000);
  return image;
}

RowContent showing(ClipItem item) {
  return {.item = std::move(item), .font = {}, .onSelect = {}, .onDelete = {}, .accessibleName = {}};
}

TEST(TextScale, RowsStaySharpAtFractionalAndDoubleScale) {
  RowView text(showing(ClipItem(QStringLiteral("Meeting moved to Thursday, 10:30"), nullptr)));
  RowView picture(showing(ClipItem(std::nullopt, ClipImage::fromImage(checkerboard()))));
  // The text row's label, and the picture row's thumbnail alone.
  for (auto [row, part] : {std::pair{&text, QRectF(10, 6, 218, 18)}, {&picture, QRectF(10, 4, 22, 22)}}) {
    row->setGeometry(0, 0, 260, 30), row->show();
    const QImage once = rendered(*row, 1);
    for (qreal ratio : {1.5, 2.0}) {
      const QImage sharp = rendered(*row, ratio);
      const QImage enlarged = once.scaled(sharp.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
      ASSERT_EQ(sharp.size(), QSize(260, 30) * ratio);
      const QRect pixels = QRectF(part.topLeft() * ratio, part.size() * ratio).toRect();
      EXPECT_LT(blurredShare(sharp.copy(pixels)), 0.8 * blurredShare(enlarged.copy(pixels)))
          << ratio << (row == &text ? " text" : " picture");
    }
  }
}

TEST(TextScale, ALargerDesktopFontGrowsTheTextAndTheRows) {
  const QFont before = QApplication::font();  // a desktop theme's, where one speaks
  QFont standard = before, larger = before;
  standard.setPointSizeF(9), larger.setPointSizeF(13.5);
  QApplication::setFont(standard);
  EXPECT_EQ(fontFor({}).pixelSize(), 12);
  QApplication::setFont(larger);
  const QFont font = fontFor({});
  QtTextMeasurer measurer(font);
  const ListSizing sizing = sizeHistoryList(QStringLiteral("short"), 2, {}, measurer);
  RowView row(showing(ClipItem(QStringLiteral("short"), nullptr)));
  row.setGeometry(0, 0, 260, int(sizing.rowHeights[1])), row.show();
  QApplication::setFont(before);

  EXPECT_EQ(font.pixelSize(), 18);
  EXPECT_GT(sizing.rowHeights[1], 30);
  EXPECT_GE(sizing.rowHeights[0], sizing.rowHeights[1]);
  // The one line fits its label, and the label its row.
  EXPECT_GE(row.label()->height(), int(QFontMetricsF(font).height()));
  EXPECT_LE(row.label()->geometry().bottom(), row.height());
}

}  // namespace
}  // namespace tuckshelf
