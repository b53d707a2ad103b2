// The overlay's display, the hover region and the panel's placement.

#include <gtest/gtest.h>

#include "fakes.h"
#include "overlay/notch_geometry.h"

namespace tuckshelf {
namespace {

using fakes::FakeDisplays;
using fakes::Rig;

TEST(HoverRegion, EdgesOfTheBand) {
  // 1920 x 1080 at the origin, menu bar 24: midX 960, band 27.
  struct Case { Point p; bool in; };
  for (const Case& c : {Case{{960, 1080}, true},          // top row
                        Case{{960, 1053}, false},         // lower edge of the band
                        Case{{960, 1053.01}, true},
                        Case{{835, 1079}, false},         // midX - 125
                        Case{{835.01, 1079}, true},
                        Case{{1051, 1079}, false},        // midX + 91
                        Case{{1050.99, 1079}, true},
                        Case{{1065, 1070}, false},        // where the dot sits
                        Case{{960, 1080.5}, false}}) {    // above every display
    Rig rig;
    rig.displays.pointer = c.p;
    EXPECT_EQ(rig.make()->cursorAtNotch(c.p), c.in) << c.p.x << ", " << c.p.y;
  }
  for (auto [inset, band] : {std::pair{38.0, 41.0}, {20.0, 27.0}}) {
    Rig rig;
    rig.displays = FakeDisplays::single(inset, 24);
    auto d = rig.make();
    EXPECT_FALSE(d->cursorAtNotch({960, 1080 - band})) << inset;
    EXPECT_TRUE(d->cursorAtNotch({960, 1080 - band + 0.5})) << inset;
  }
}

TEST(NotchScreen, FollowsThePointerThenFallsBack) {
  const ScreenInfo laptop{Rect{0, 0, 1512, 982}, 32, 24};
  const ScreenInfo right{Rect{1512, -200, 2560, 1440}, 0, 24};  // midX 2792, maxY 1240
  const ScreenInfo above{Rect{0, 982, 1512, 600}, 0, 24};
  FakeDisplays d;
  d.list = {laptop, right};
  d.main = laptop;
  d.pointer = {2000, 0};
  EXPECT_EQ(notchScreen(d), right);
  EXPECT_TRUE(cursorAtNotch(d, {2792 - 124.5, 1213.5}, {}));
  EXPECT_FALSE(cursorAtNotch(d, {2792, 1210}, {}));  // band 27, not the laptop's 35
  EXPECT_FALSE(cursorAtNotch(d, {2792 + 91, 1239}, {}));
  EXPECT_FALSE(cursorAtNotch(d, {756, 982}, {}));  // the laptop's notch

  // On a shared edge the half-open rule decides: a display owns its top
  // row, not its right edge or its bottom row.
  d.pointer = {1512, 500};
  EXPECT_EQ(notchScreen(d), right);
  d.list = {above, laptop};
  d.pointer = {700, 982};
  EXPECT_EQ(notchScreen(d), laptop);

  // Off every display: the first with an inset, else main, else the first.
  d.pointer = {-5000, -5000};
  d.list = {right, laptop};
  d.main = right;
  EXPECT_EQ(notchScreen(d), laptop);
  d.list = {above, right};
  EXPECT_EQ(notchScreen(d), right);
  d.main = std::nullopt;
  EXPECT_EQ(notchScreen(d), above);
  d.list.clear();
  EXPECT_EQ(notchScreen(d), std::nullopt);
  EXPECT_FALSE(cursorAtNotch(d, {0, 0}, {}));
}

TEST(Placement, RestingFrameAndOffsetsFollowTheTopGap) {
  struct Case { double inset, gap; Rect frame; TopOffsets offsets; };
  for (const Case& c : {Case{32, 32, {835, 1040, 250, 40}, {40, 12, 40}},
                        Case{0, 24, {835, 1048, 250, 32}, {32, 8, 32}}}) {
    Rig rig;
    rig.displays = FakeDisplays::single(c.inset, 24);
    auto d = rig.launch();
    EXPECT_EQ(rig.overlay->setup.frame, c.frame);
    EXPECT_EQ(rig.overlay->setup.offsets, c.offsets);
    EXPECT_EQ(rig.overlay->currentFrame, c.frame);
    EXPECT_EQ(rig.overlay->offsets, c.offsets);
    EXPECT_EQ(d->topGapValue(), c.gap);
  }
}

TEST(Placement, UnroundedFrameOnTheDisplayUnderThePointer) {
  Rig rig;
  auto d = rig.launch();
  for (int i = 1; i <= 2; ++i) {
    d->place(221, 50, true);
    EXPECT_EQ(rig.overlay->currentFrame, (Rect{849.5, 1006, 221, 74}));
    EXPECT_EQ(rig.overlay->ordersFront, 1 + i);
  }
  rig.displays.list.push_back(ScreenInfo{Rect{1920, -200, 1001, 900}, 38, 24});
  rig.displays.pointer = {2500, 0};
  d->showResting();
  EXPECT_EQ(rig.overlay->currentFrame, (Rect{2295.5, 654, 250, 46}));
  EXPECT_EQ(rig.overlay->offsets, (TopOffsets{46, 15, 46}));
  EXPECT_EQ(d->topGapValue(), 38);

  // With no display nothing moves, the gap included.
  const Rect before = rig.overlay->currentFrame;
  const int fronts = rig.overlay->ordersFront;
  rig.displays.list.clear();
  rig.displays.main = std::nullopt;
  d->place(600, 300, true);
  EXPECT_EQ(rig.overlay->currentFrame, before);
  EXPECT_EQ(rig.overlay->offsets, (TopOffsets{46, 15, 46}));
  EXPECT_EQ(rig.overlay->ordersFront, fronts);
  EXPECT_EQ(d->topGapValue(), 38);
}

TEST(Placement, LineHeightIsRoundedUpAndMeasuredOnce) {
  for (auto [measured, rounded] : {std::pair{14.4, 15.0}, {15.0, 15.0}, {15.01, 16.0}}) {
    Rig rig;
    rig.measurer.lineHeight = measured;
    auto d = rig.make();
    EXPECT_EQ(d->lineH(), rounded);
    rig.measurer.lineHeight = 40;
    EXPECT_EQ(d->lineH(), rounded);
    EXPECT_EQ(rig.measurer.lineHeightReads, 1);
  }
}

}  // namespace
}  // namespace tuckshelf
