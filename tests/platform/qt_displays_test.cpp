#include "platform/qt/qt_displays.h"

#include <gtest/gtest.h>

#include "event_loop_wait.h"

#include <chrono>
#include <cmath>
#include <functional>
#include <limits>

#include <QCoreApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QTimer>

#include "platform/qt/qt_coordinates.h"

// Runs on the wrapper's Xvfb: one 1920x1080 screen, no window manager.

namespace tuckshelf {

void PrintTo(const Rect& r, std::ostream* os) {
  *os << "(" << r.x << ", " << r.y << ", " << r.width << " x " << r.height << ")";
}
void PrintTo(const Point& p, std::ostream* os) { *os << "(" << p.x << ", " << p.y << ")"; }
void PrintTo(const ScreenInfo& s, std::ostream* os) {
  PrintTo(s.frame, os);
  *os << " inset " << s.topInset << " menu bar " << s.menuBarThickness;
}

namespace {

using namespace std::chrono_literals;

// The exit code of a quiet run of an X utility; -1 if it did not finish.
int run(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.setStandardOutputFile(QProcess::nullDevice());
  process.setStandardErrorFile(QProcess::nullDevice());
  process.start(program, arguments);
  if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit) return -1;
  return process.exitCode();
}

const ScreenInfo kXvfbScreen{{0, 0, 1920, 1080}, 0, 24};

bool isPlainXvfb(const QtDisplays& displays) {
  return displays.screens() == std::vector<ScreenInfo>{kXvfbScreen};
}

TEST(QtDisplays, XvfbScreenIsOneFrameAtTheOriginWithTheDefaultMenuBar) {
  const QtDisplays displays;
  EXPECT_EQ(displays.screens(), std::vector<ScreenInfo>{kXvfbScreen});
  EXPECT_EQ(displays.primaryScreen(), kXvfbScreen);
}

TEST(QtDisplays, PointerRowsCountFromTheTop) {
  const QtDisplays displays;
  const struct {
    QPoint pixel;
    Point expected;
  } cases[] = {{{960, 0}, {960, 1080}}, {{0, 1079}, {0, 1}}, {{1919, 540}, {1919, 540}}};
  for (const auto& c : cases) {
    QCursor::setPos(c.pixel);
    EXPECT_TRUE(pumpUntil([&] { return displays.pointerPosition() == c.expected; }))
        << "pixel " << c.pixel.x() << "," << c.pixel.y();
  }
  // The pointer on the topmost row is inside the screen by the hover rule.
  QCursor::setPos(960, 0);
  ASSERT_TRUE(pumpUntil([&] { return displays.pointerPosition() == Point{960, 1080}; }));
  EXPECT_TRUE(mouseInRect(displays.pointerPosition(), displays.screens().front().frame));
}

TEST(QtCoordinates, WholePixelFramesRoundTrip) {
  for (const QRect& pixels : {QRect(0, 0, 1920, 1080), QRect(850, 0, 220, 36), QRect(-300, 2000, 1, 1),
                              QRect(5, 7, 0, 0)}) {
    const Rect frame = toGlobalYUp(pixels);
    EXPECT_EQ(toQtPixels(frame), pixels);
  }
  EXPECT_EQ(toGlobalYUp(QRect(850, 0, 220, 36)), (Rect{850, 1044, 220, 36}));
  EXPECT_EQ(pointToGlobalYUp(QPoint(850, 0)), (Point{850, 1080}));
  const Rect frame{849, 1044, 221, 36};
  EXPECT_EQ(toGlobalYUp(toQtPixels(frame)), frame);
}

TEST(QtCoordinates, FractionalFramesRoundEachEdgeOnce) {
  // A 221-wide panel centred on the screen: x = midX - 110.5.
  EXPECT_EQ(toQtPixels({960 - 110.5, 1044, 221, 36}), QRect(850, 0, 221, 36));
  // The top edge is what rounds, and the size keeps its own rounding.
  EXPECT_EQ(toQtPixels({10.4, 1043.7, 100.6, 36.2}), QRect(10, 0, 101, 36));
  EXPECT_EQ(toQtPixels({10.4, 1043.2, 100.4, 36.2}), QRect(10, 1, 100, 36));
}

TEST(QtCoordinates, NonsenseFramesGiveSomeValidRect) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (const Rect& frame : {Rect{nan, nan, nan, nan}, Rect{inf, -inf, inf, -inf}, Rect{1e300, -1e300, -5, 1e300}}) {
    const QRect pixels = toQtPixels(frame);
    EXPECT_GE(pixels.width(), 0);
    EXPECT_GE(pixels.height(), 0);
  }
}

// Rearrangements of the Xvfb screen, undone and waited out after each test.
class QtDisplaysChangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(isPlainXvfb(displays)) << "an earlier test left the screen changed";
    displays.observeScreenChanges([this] { ++changes; });
  }
  void TearDown() override {
    for (const char* monitor : {"TOP", "BOTTOM"}) run("xrandr", {"--delmonitor", monitor});
    run("xprop", {"-root", "-remove", "_NET_WORKAREA"});
    EXPECT_TRUE(pumpUntil([this] { return isPlainXvfb(displays); }));
  }

  QtDisplays displays;
  int changes = 0;
};

TEST_F(QtDisplaysChangeTest, ReservedTopBandBecomesTheMenuBarThickness) {
  ASSERT_EQ(run("xprop", {"-root", "-f", "_NET_WORKAREA", "32c", "-set", "_NET_WORKAREA", "0,30,1920,1050"}), 0);
  ASSERT_TRUE(pumpUntil([this] { return changes > 0; }));
  EXPECT_TRUE(pumpUntil([this] { return displays.screens().front().menuBarThickness == 30; }));
  EXPECT_EQ(displays.screens().front().frame, kXvfbScreen.frame);
}

TEST_F(QtDisplaysChangeTest, StackedMonitorsAreReportedPrimaryFirstAboveIt) {
  // Qt makes the first monitor defined the primary one: here the lower.
  ASSERT_EQ(run("xrandr", {"--setmonitor", "BOTTOM", "1920/508x540/143+0+540", "screen"}), 0);
  ASSERT_EQ(run("xrandr", {"--setmonitor", "TOP", "1920/508x540/143+0+0", "none"}), 0);
  const std::vector<ScreenInfo> expected = {{{0, 0, 1920, 540}, 0, 24}, {{0, 540, 1920, 540}, 0, 24}};
  ASSERT_TRUE(pumpUntil([&] { return displays.screens() == expected && changes > 0; }));
  EXPECT_EQ(displays.primaryScreen(), expected.front());

  QCursor::setPos(10, 0);
  EXPECT_TRUE(pumpUntil([&] { return displays.pointerPosition() == Point{10, 1080}; }));
  EXPECT_EQ(pointToGlobalYUp(QPoint(10, 539)), (Point{10, 541}));
  EXPECT_EQ(toQtPixels(expected[1].frame), QRect(0, 0, 1920, 540));

  // Taking them away is a change too.
  const int changesBefore = changes;
  for (const char* monitor : {"TOP", "BOTTOM"}) ASSERT_EQ(run("xrandr", {"--delmonitor", monitor}), 0);
  EXPECT_TRUE(pumpUntil([&] { return isPlainXvfb(displays) && changes > changesBefore; }));
}

}  // namespace
}  // namespace tuckshelf
