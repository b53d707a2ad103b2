// Opening and collapsing the overlay as the pointer moves.

#include <gtest/gtest.h>

#include "fakes.h"

namespace tuckshelf {
namespace {

using Mode = AppDelegate::Mode;

// One 1920 x 1080 display, gap 24.
const Rect kResting{835, 1048, 250, 32};

struct Hover : testing::Test {
  fakes::Rig rig;
  std::shared_ptr<AppDelegate> d;

  void launchWith(std::optional<QString> copied) {
    if (copied) rig.clipboard.copyText(*copied);
    d = rig.launch();
  }
  void moveTo(Point p) {
    rig.displays.pointer = p;
    rig.monitors.moveMouse();
  }
  void expectResting(bool dot) {
    const fakes::FakeOverlay& o = *rig.overlay;
    EXPECT_EQ(d->mode(), Mode::normal);
    EXPECT_EQ(o.currentFrame, kResting);
    EXPECT_FALSE(o.lastAnimated);
    EXPECT_FALSE(o.black || o.shadow);
    EXPECT_TRUE(o.ignoresMouse && o.labelHidden && o.stackHidden);
    EXPECT_EQ(o.dotHidden, !dot);
  }
  void expectOpen(bool list) {
    const fakes::FakeOverlay& o = *rig.overlay;
    EXPECT_EQ(d->mode(), Mode::expanded);
    EXPECT_TRUE(o.lastAnimated);
    EXPECT_TRUE(o.black && o.shadow && o.dotHidden);
    EXPECT_FALSE(o.ignoresMouse);
    EXPECT_EQ(o.labelHidden, list);
    EXPECT_EQ(o.stackHidden, !list);
  }
};

TEST_F(Hover, EnteringTheRegionOpensTheList) {
  launchWith(QStringLiteral("short"));
  expectResting(true);
  moveTo({2, 1079});  // the top edge, far from the centre
  EXPECT_EQ(d->mode(), Mode::normal);
  rig.overlay->visible = false;  // a panel not on screen ignores the pointer
  moveTo({960, 1080});
  EXPECT_EQ(d->mode(), Mode::normal);
  rig.overlay->visible = true;
  moveTo({960, 1080});
  expectOpen(true);
  EXPECT_EQ(rig.overlay->rowBuilds, 1);
  EXPECT_EQ(rig.overlay->currentFrame, (Rect{850, 1010, 220, 70}));
}

TEST_F(Hover, ClosesOnlyOutsideBothFrameAndRegion) {
  // The open list is 850 <= x < 1070, 1010 <= y < 1080; the region is
  // 835 < x < 1051, y > 1053.
  struct Case { Point p; bool staysOpen; };
  for (const Case& c : {Case{{960, 1020}, true},      // over the row
                        Case{{850, 1020}, true},      // left edge
                        Case{{960, 1010}, true},      // bottom edge
                        Case{{840, 1079}, true},      // left of the frame, in the region
                        Case{{960, 1080}, true},      // top row, in the region
                        Case{{1070, 1020}, false},    // right edge
                        Case{{1060, 1080}, false},    // top row, right of the region
                        Case{{960, 1009.5}, false},   // just below
                        Case{{100, 100}, false}}) {
    SCOPED_TRACE(testing::Message() << c.p.x << ", " << c.p.y);
    if (!d) launchWith(QStringLiteral("short"));
    moveTo({960, 1080});
    const int sets = rig.overlay->frameSets, builds = rig.overlay->rowBuilds;
    moveTo(c.p);
    rig.timers.fire();
    if (c.staysOpen) {
      expectOpen(true);
      EXPECT_EQ(rig.overlay->frameSets, sets);
      EXPECT_EQ(rig.overlay->rowBuilds, builds);
    } else {
      expectResting(true);
    }
  }
}

TEST_F(Hover, EmptyHistoryShowsTheMessage) {
  launchWith(std::nullopt);
  moveTo({960, 1080});
  expectOpen(false);
  EXPECT_EQ(rig.overlay->rowBuilds, 0);
  // 220 x (gap + lineH + 16), lineH = ceil(14.4).
  EXPECT_EQ(rig.overlay->currentFrame, (Rect{850, 1025, 220, 55}));
  EXPECT_EQ(rig.overlay->label.text, QStringLiteral("clipboard's empty \u2728"));
  EXPECT_DOUBLE_EQ(rig.overlay->label.whiteAlpha, 0.8);
  EXPECT_DOUBLE_EQ(rig.overlay->label.obliqueness, 0.18);

  moveTo({840, 1079});   // left of the frame, in the region
  moveTo({1060, 1075});  // right of the region, in the frame
  EXPECT_EQ(d->mode(), Mode::expanded);
  moveTo({1060, 1080});  // the same x on the top row: neither
  expectResting(false);
}

TEST_F(Hover, CopyWhileOpenCollapsesThenTheSameTickDecides) {
  launchWith(QStringLiteral("first"));
  moveTo({960, 1080});
  moveTo({960, 1020});  // down over the row
  rig.clipboard.copyText(QStringLiteral("second"));
  rig.timers.fire();
  expectResting(true);

  rig.displays.pointer = {960, 1080};  // no mouse event before the tick
  rig.clipboard.copyText(QStringLiteral("third"));
  rig.timers.fire();
  expectOpen(true);
  ASSERT_EQ(rig.overlay->rows.size(), 3u);
  EXPECT_EQ(rig.overlay->rows[0].item.text, QStringLiteral("third"));
}

}  // namespace
}  // namespace tuckshelf
