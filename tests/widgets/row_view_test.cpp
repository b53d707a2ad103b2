#include <gtest/gtest.h>

#include <cmath>

#include <QCoreApplication>
#include <QEnterEvent>
#include <QFontMetricsF>
#include <QImage>
#include <QMouseEvent>

#include "history/clip_image.h"
#include "platform/qt/qt_text_measurer.h"
#include "widgets/row_view.h"
#include "widgets/row_view_label.h"

namespace tuckshelf {
namespace {

void expectRect(const Rect& actual, const Rect& expected) {
  EXPECT_DOUBLE_EQ(actual.x, expected.x);
  EXPECT_DOUBLE_EQ(actual.y, expected.y);
  EXPECT_DOUBLE_EQ(actual.width, expected.width);
  EXPECT_DOUBLE_EQ(actual.height, expected.height);
}

std::shared_ptr<const ClipImage> redImage(QSize size) {
  QImage image(size, QImage::Format_ARGB32);
  image.fill(Qt::red);
  return std::make_shared<ClipImage>(size, image, QByteArray("x"), QStringLiteral("image/png"), std::nullopt);
}

struct Counts {
  int selected = 0;
  int deleted = 0;
};

RowContent compactContent(Counts& counts, ClipItem item = ClipItem(QStringLiteral("hello"), nullptr)) {
  RowContent setup{.item = std::move(item), .font = {}, .onSelect = {}, .onDelete = {}};
  setup.height = 30;
  setup.maxLines = 1;
  setup.pad = 10;
  setup.onSelect = [&counts] { ++counts.selected; };
  setup.onDelete = [&counts] { ++counts.deleted; };
  return setup;
}

void send(QWidget& w, QEvent::Type type, QPointF at, Qt::MouseButton button = Qt::LeftButton) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::MouseButtons(button) : Qt::NoButton;
  QMouseEvent event(type, at, w.mapToGlobal(at), button, held, Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &event);
}

void hover(QWidget& w, bool in) {
  if (in) {
    QEnterEvent event(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&w, &event);
  } else {
    QEvent event(QEvent::Leave);
    QCoreApplication::sendEvent(&w, &event);
  }
}

TEST(RowLayout, CompactRowFrames) {
  const RowLayout text = rowLayout(200, 30, 10, false, 1);
  expectRect(text.button, {172, 7, 18, 18});
  expectRect(text.label, {10, 6, 158, 18});
  EXPECT_FALSE(text.thumbnail);

  const RowLayout image = rowLayout(200, 30, 10, true, 1);
  expectRect(image.button, {172, 7, 18, 18});
  ASSERT_TRUE(image.thumbnail);
  expectRect(*image.thumbnail, {10, 4, 22, 22});
  expectRect(image.label, {40, 6, 128, 18});
}

TEST(RowLayout, LeadRowFrames) {
  const double h0 = 77;
  const RowLayout text = rowLayout(300, h0, 16, false, 0);
  expectRect(text.button, {266, h0 - 23, 18, 18});
  expectRect(text.label, {16, 5, 246, h0 - 10});

  const RowLayout image = rowLayout(300, h0, 16, true, 0);
  ASSERT_TRUE(image.thumbnail);
  expectRect(*image.thumbnail, {16, 4, h0 - 8, h0 - 8});
  expectRect(image.label, {h0 + 16, 5, 300 - h0 - 54, h0 - 10});
  // Too narrow for a label: it shrinks to nothing rather than below.
  EXPECT_EQ(rowLayout(20, 30, 10, true, 1).label.width, 0);
}

class RowViewTest : public ::testing::Test {
 protected:
  Counts counts;
  RowView row{compactContent(counts)};
  void SetUp() override {
    row.setGeometry(0, 0, 200, 30);
    row.show();
  }
  // The button is at (172, 5, 18, 18) in the row's top-left coordinates.
  const QPointF onButton{181, 14};
};

TEST_F(RowViewTest, ButtonTakesPressesWithinFourPixelsOnlyWhileVisible) {
  EXPECT_EQ(row.hitAt(onButton), RowHit::row);
  hover(row, true);
  EXPECT_EQ(row.hitAt(onButton), RowHit::button);
  EXPECT_EQ(row.hitAt({168, 1}), RowHit::button);    // the grown square's top-left pixel
  EXPECT_EQ(row.hitAt({193.9, 26.9}), RowHit::button);
  EXPECT_EQ(row.hitAt({167.9, 14}), RowHit::row);
  EXPECT_EQ(row.hitAt({181, 0.9}), RowHit::row);
  EXPECT_EQ(row.hitAt({194, 14}), RowHit::row);
  EXPECT_EQ(row.hitAt({50, 14}), RowHit::row);
  EXPECT_EQ(row.hitAt({-1, 14}), RowHit::none);
  EXPECT_EQ(row.hitAt({50, 30}), RowHit::none);
}

TEST(RowViewHit, OutsideTheRowIsNothingEvenNextToTheButton) {
  Counts counts;
  RowContent setup = compactContent(counts);
  setup.pad = 2;  // the grown button square reaches past the row's right edge
  RowView row(std::move(setup));
  row.setGeometry(0, 0, 200, 30);
  row.show();
  hover(row, true);
  EXPECT_EQ(row.hitAt({199, 14}), RowHit::button);
  EXPECT_EQ(row.hitAt({200, 14}), RowHit::none);
  EXPECT_EQ(row.hitAt({201, 14}), RowHit::none);
}

TEST_F(RowViewTest, PressThenReleaseAnywhereSelectsOnce) {
  send(row, QEvent::MouseButtonPress, {40, 15});
  EXPECT_EQ(counts.selected, 0);
  send(row, QEvent::MouseButtonRelease, {-300, 900});
  EXPECT_EQ(counts.selected, 1);
  EXPECT_EQ(counts.deleted, 0);
  // A release with no press of its own does nothing.
  send(row, QEvent::MouseButtonRelease, {40, 15});
  EXPECT_EQ(counts.selected, 1);
  // Other buttons do nothing.
  send(row, QEvent::MouseButtonPress, {40, 15}, Qt::RightButton);
  send(row, QEvent::MouseButtonRelease, {40, 15}, Qt::RightButton);
  EXPECT_EQ(counts.selected, 1);
}

TEST_F(RowViewTest, TheButtonDeletesAndNeverSelects) {
  hover(row, true);
  send(row, QEvent::MouseButtonPress, onButton);
  send(row, QEvent::MouseButtonRelease, onButton);
  EXPECT_EQ(counts.deleted, 1);
  EXPECT_EQ(counts.selected, 0);
  // Released off the button: neither.
  send(row, QEvent::MouseButtonPress, onButton);
  send(row, QEvent::MouseButtonRelease, {40, 15});
  EXPECT_EQ(counts.deleted, 1);
  EXPECT_EQ(counts.selected, 0);
  // The same point selects once the button is hidden again.
  hover(row, false);
  send(row, QEvent::MouseButtonPress, onButton);
  send(row, QEvent::MouseButtonRelease, onButton);
  EXPECT_EQ(counts.deleted, 1);
  EXPECT_EQ(counts.selected, 1);
}

TEST_F(RowViewTest, HoverShowsHighlightAndButtonTogether) {
  const QImage before = row.grab().toImage();
  hover(row, true);
  EXPECT_TRUE(row.isHighlighted());
  EXPECT_FALSE(row.removeButton()->isHidden());
  const QImage during = row.grab().toImage();
  // The highlight lightens the row away from its text; the button's
  // circle shows beside the cross it has cut out.
  EXPECT_GT(qGray(during.pixel(100, 2)), qGray(before.pixel(100, 2)));
  EXPECT_GT(qGray(during.pixel(176, 14)), qGray(before.pixel(176, 14)));
  hover(row, false);
  EXPECT_FALSE(row.isHighlighted());
  EXPECT_TRUE(row.removeButton()->isHidden());
  EXPECT_EQ(row.grab().toImage(), before);
}

TEST(RowViewLabel, OneLineOfAHugeTextIsElidedFromAShortPrefix) {
  Counts counts;
  RowView row(compactContent(counts, ClipItem(QString(1 << 20, u'm'), nullptr)));
  row.setGeometry(0, 0, 200, 30);
  row.show();
  EXPECT_EQ(row.label()->geometry(), QRect(10, 6, 158, 18));
  EXPECT_TRUE(row.label()->elidedLine().endsWith(QChar(0x2026)));
  EXPECT_LE(QFontMetricsF(fontFor(OverlayFont{})).horizontalAdvance(row.label()->elidedLine()), 158);
  EXPECT_LT(row.label()->charactersLaidOut(), 1000);
}

TEST(RowViewLabel, ShortTextIsShownWholeAndPictureEntriesGetAPlaceholder) {
  Counts counts;
  RowView text(compactContent(counts, ClipItem(QStringLiteral("line one\nline two"), nullptr)));
  text.setGeometry(0, 0, 300, 30);
  text.show();
  EXPECT_EQ(text.label()->elidedLine(), QStringLiteral("line one line two"));

  RowView picture(compactContent(counts, ClipItem(std::nullopt, redImage({40, 20}))));
  picture.setGeometry(0, 0, 300, 30);
  picture.show();
  EXPECT_EQ(picture.label()->elidedLine(), QStringLiteral("\U0001F5BC  Image"));
  EXPECT_EQ(picture.label()->geometry(), QRect(40, 6, 300 - 72, 18));
}

TEST(RowViewLabel, LeadRowLaysOutOnlyTheLinesThatShow) {
  Counts counts;
  RowContent setup = compactContent(counts, ClipItem(QStringLiteral("many words ").repeated(100000), nullptr));
  setup.maxLines = 0;
  setup.pad = 16;
  setup.align = TextAlign::center;
  setup.height = 100;
  RowView row(std::move(setup));
  row.setGeometry(0, 0, 260, 100);
  row.show();
  EXPECT_EQ(row.label()->geometry(), QRect(16, 5, 260 - 54, 90));
  const double lineSpacing = QFontMetricsF(fontFor(OverlayFont{})).lineSpacing();
  EXPECT_EQ(row.label()->laidOutLineCount(), int(std::ceil(90 / lineSpacing)));
  EXPECT_LT(row.label()->charactersLaidOut(), 5000);
  // Laid out again on a size change, to the new height.
  row.setGeometry(0, 0, 260, 40);
  EXPECT_EQ(row.label()->laidOutLineCount(), int(std::ceil(30 / lineSpacing)));
  EXPECT_FALSE(row.grab().toImage().isNull());
}

TEST(RowViewThumbnail, FitsThePictureInItsSquare) {
  Counts counts;
  RowView row(compactContent(counts, ClipItem(std::nullopt, redImage({100, 50}))));
  row.setGeometry(0, 0, 200, 30);
  row.show();
  const QImage shot = row.grab().toImage();
  // The square is (10, 4, 22, 22); a 2:1 picture fills its middle 22x11.
  EXPECT_EQ(QColor(shot.pixel(21, 15)), QColor(Qt::red));
  EXPECT_NE(QColor(shot.pixel(21, 6)), QColor(Qt::red));
  EXPECT_NE(QColor(shot.pixel(5, 15)), QColor(Qt::red));
}

TEST(RowViewContent, NonsenseValuesDoNotCrash) {
  Counts counts;
  RowContent setup = compactContent(counts, ClipItem(std::nullopt, nullptr));
  setup.pad = std::nan("");
  setup.maxLines = 7;
  RowView row(std::move(setup));
  row.setGeometry(0, 0, 5, 3);
  row.show();
  EXPECT_FALSE(row.grab().toImage().isNull());
  EXPECT_EQ(row.hitAt({1, 1}), RowHit::row);
}

}  // namespace
}  // namespace tuckshelf
