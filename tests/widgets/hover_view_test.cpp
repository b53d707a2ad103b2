#include <gtest/gtest.h>

#include <cmath>

#include <QCoreApplication>
#include <QEnterEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPointer>

#include "widgets/hover_view.h"
#include "widgets/hover_view_dot.h"
#include "widgets/hover_view_label.h"
#include "widgets/hover_view_shape.h"
#include "widgets/row_view.h"

namespace tuckshelf {
namespace {

OverlaySetup testSetup() {
  OverlaySetup setup;
  setup.frame = {0, 0, 300, 200};
  setup.offsets = {10, 14, 40};
  return setup;
}

RowContent rowContent(double height, std::function<void()> onSelect = {}) {
  RowContent setup{.item = ClipItem(QStringLiteral("row"), nullptr), .font = {}, .onSelect = {}, .onDelete = {}};
  setup.height = height;
  setup.onSelect = std::move(onSelect);
  return setup;
}

std::vector<RowContent> rowContents(std::initializer_list<double> heights) {
  std::vector<RowContent> contents;
  for (double h : heights) contents.push_back(rowContent(h));
  return contents;
}

void deleteScheduled() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

void click(QWidget& w, QPointF at) {
  QMouseEvent press(QEvent::MouseButtonPress, at, w.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, w.mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &release);
}

bool hasWhitishPixel(const QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qGray(image.pixel(x, y)) > 150) return true;
    }
  }
  return false;
}

class HoverViewTest : public ::testing::Test {
 protected:
  HoverView view{testSetup()};
  void SetUp() override {
    view.resize(300, 200);
    view.show();
  }
};

TEST_F(HoverViewTest, PlacesLabelDotAndStackAtTheirOffsets) {
  EXPECT_TRUE(view.label()->isHidden());
  EXPECT_TRUE(view.dot()->isHidden());
  EXPECT_TRUE(view.stack()->isHidden());
  EXPECT_EQ(view.label()->geometry().topLeft(), QPoint(16, 10));
  EXPECT_EQ(view.label()->width(), 268);
  EXPECT_EQ(view.dot()->geometry(), QRect(276, 14, 8, 8));
  EXPECT_EQ(view.stack()->pos(), QPoint(8, 40));

  view.setTopOffsets({20, 30, 50});
  EXPECT_EQ(view.label()->y(), 20);
  EXPECT_EQ(view.dot()->y(), 30);
  EXPECT_EQ(view.stack()->y(), 50);
  view.resize(200, 120);
  EXPECT_EQ(view.dot()->geometry(), QRect(176, 30, 8, 8));
  EXPECT_EQ(view.label()->width(), 168);
}

TEST_F(HoverViewTest, StacksRowsAtTheirHeightsThreeApart) {
  view.setRows(rowContents({54.5, 30, 30}));
  ASSERT_EQ(view.rows().size(), 3u);
  EXPECT_EQ(view.stack()->geometry(), QRect(8, 40, 284, 121));
  EXPECT_EQ(view.rows()[0]->geometry(), QRect(0, 0, 284, 55));
  EXPECT_EQ(view.rows()[1]->geometry(), QRect(0, 58, 284, 30));  // 57.5 to 87.5, rounded
  EXPECT_EQ(view.rows()[2]->geometry(), QRect(0, 91, 284, 30));
  view.resize(250, 200);
  EXPECT_EQ(view.rows()[2]->width(), 234);
}

TEST_F(HoverViewTest, SetRowsReplacesTheOldRows) {
  view.setRows(rowContents({30, 30}));
  const QPointer<RowView> old = view.rows()[0];
  view.setRows(rowContents({30}));
  ASSERT_EQ(view.rows().size(), 1u);
  EXPECT_NE(view.rows()[0], old.data());
  ASSERT_FALSE(old.isNull());  // not deleted synchronously
  EXPECT_TRUE(old->isHidden());
  deleteScheduled();
  EXPECT_TRUE(old.isNull());
  EXPECT_EQ(view.stack()->findChildren<RowView*>().size(), 1);
}

TEST_F(HoverViewTest, ARowMayReplaceTheRowsFromItsOwnCallback) {
  int selected = 0;
  std::vector<RowContent> contents;
  contents.push_back(rowContent(30, [&] {
    ++selected;
    view.setRows(rowContents({30, 30, 30}));
  }));
  view.setRows(std::move(contents));
  const QPointer<RowView> row = view.rows()[0];
  click(*row, {20, 10});
  EXPECT_EQ(selected, 1);
  EXPECT_EQ(view.rows().size(), 3u);
  deleteScheduled();
  EXPECT_TRUE(row.isNull());
}

TEST_F(HoverViewTest, RoutesHitsToButtonRowOrItself) {
  view.stack()->show();
  view.label()->show();
  view.dot()->show();
  view.setLabelText({QStringLiteral("message")});
  view.setRows(rowContents({30, 30}));
  RowView* first = view.rows()[0];
  // Row 0 spans (8, 40) to (292, 70); its button is at (8 + 256, 45, 18, 18).
  EXPECT_EQ(view.routeHit({100, 50}), first);
  EXPECT_EQ(view.routeHit({273, 54}), first);  // the hidden button's place
  EXPECT_EQ(view.routeHit({100, 80}), view.rows()[1]);
  EXPECT_EQ(view.routeHit({100, 71}), &view);  // between rows
  EXPECT_EQ(view.routeHit({100, 15}), &view);  // label
  EXPECT_EQ(view.routeHit({280, 18}), &view);  // dot
  EXPECT_EQ(view.routeHit({100, 180}), &view);  // backdrop

  QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QCoreApplication::sendEvent(first, &enter);
  EXPECT_EQ(view.routeHit({273, 54}), first->removeButton());
  EXPECT_EQ(view.routeHit({261, 42}), first->removeButton());  // within 4 px
  EXPECT_EQ(view.routeHit({259, 54}), first);

  view.setStackHidden(true);
  EXPECT_EQ(view.routeHit({100, 50}), &view);
}

TEST_F(HoverViewTest, ShapeIsTheDotAtRestAndTheRoundedBackdropWhenBlack) {
  EXPECT_TRUE(view.visibleShape().isEmpty());  // dot hidden, at rest
  view.setDotHidden(false);
  EXPECT_EQ(view.visibleShape(), discRegion(QRect(276, 14, 8, 8)));

  int changes = 0;
  QObject::connect(&view, &HoverView::shapeChanged, [&] { ++changes; });
  view.setBackdropBlack(true);
  EXPECT_EQ(changes, 1);
  const QRegion open = view.visibleShape();
  EXPECT_EQ(open.boundingRect(), QRect(0, 0, 300, 200));
  EXPECT_TRUE(open.contains(QPoint(0, 0)));
  EXPECT_TRUE(open.contains(QPoint(299, 0)));
  EXPECT_TRUE(open.contains(QPoint(0, 185)));
  EXPECT_FALSE(open.contains(QPoint(0, 199)));
  EXPECT_FALSE(open.contains(QPoint(299, 199)));
  EXPECT_TRUE(open.contains(QPoint(150, 199)));
  view.resize(300, 260);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(view.visibleShape().boundingRect(), QRect(0, 0, 300, 260));

  view.setBackdropBlack(false);
  view.setDotHidden(true);
  EXPECT_TRUE(view.visibleShape().isEmpty());
}

TEST_F(HoverViewTest, PaintsTheBlackBackdropWithRoundedLowerCorners) {
  view.setBackdropBlack(true);
  const QImage shot = view.grab().toImage();
  EXPECT_EQ(QColor(shot.pixel(150, 100)), QColor(Qt::black));
  EXPECT_EQ(QColor(shot.pixel(0, 0)), QColor(Qt::black));
  EXPECT_NE(QColor(shot.pixel(0, 199)), QColor(Qt::black));
  EXPECT_NE(QColor(shot.pixel(299, 199)), QColor(Qt::black));
}

TEST_F(HoverViewTest, LabelPaintsSlantedWhiteTextAndTheSparkles) {
  view.setBackdropBlack(true);
  view.label()->show();
  view.setLabelText({QStringLiteral("clipboard's empty \u2728"), 0.9, 0.2});
  const QRect labelArea = view.label()->geometry();
  EXPECT_TRUE(hasWhitishPixel(view.grab(labelArea).toImage()));

  view.setLabelText({QString(), 1.0, 0.0});
  EXPECT_FALSE(hasWhitishPixel(view.grab(labelArea).toImage()));
  view.setLabelText({QStringLiteral("x"), std::nan(""), std::nan("")});
  EXPECT_FALSE(view.grab(labelArea).toImage().isNull());
}

TEST(HoverViewShape, RegionsFollowPixelCentres) {
  const QRegion disc = discRegion(QRect(0, 0, 8, 8));
  EXPECT_EQ(disc.boundingRect(), QRect(0, 0, 8, 8));
  EXPECT_FALSE(disc.contains(QPoint(0, 0)));
  EXPECT_FALSE(disc.contains(QPoint(7, 7)));
  EXPECT_TRUE(disc.contains(QPoint(0, 4)));
  EXPECT_TRUE(disc.contains(QPoint(4, 0)));
  EXPECT_TRUE(discRegion(QRect()).isEmpty());

  const QRegion rounded = roundedBottomRegion(QSize(100, 40), 14);
  EXPECT_TRUE(rounded.contains(QPoint(0, 25)));
  EXPECT_FALSE(rounded.contains(QPoint(9, 39)));
  EXPECT_TRUE(rounded.contains(QPoint(10, 39)));
  EXPECT_FALSE(rounded.contains(QPoint(90, 39)));
  EXPECT_TRUE(rounded.contains(QPoint(89, 39)));
  // A radius larger than the shape is clamped; nonsense is square.
  EXPECT_FALSE(roundedBottomRegion(QSize(10, 40), 14).isEmpty());
  EXPECT_EQ(roundedBottomRegion(QSize(10, 10), std::nan("")), QRegion(0, 0, 10, 10));
  EXPECT_TRUE(roundedBottomRegion(QSize(0, 10), 14).isEmpty());
}

}  // namespace
}  // namespace tuckshelf
