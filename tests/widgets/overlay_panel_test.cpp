#include <gtest/gtest.h>

#include <functional>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QPointer>

#include "widgets/hover_view.h"
#include "widgets/overlay_panel.h"
#include "widgets/row_view.h"
#include "platform/x11/x11_window_shaper.h"

namespace tuckshelf {
namespace {

bool waitUntil(const std::function<bool()>& done, int deadlineMs = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > deadlineMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// X's shapes where Qt runs on X11; on Qt's offscreen platform it falls
// back to Qt's own mask.
X11WindowShaper shaper;

OverlaySetup testSetup() {
  OverlaySetup setup;
  setup.frame = {-500, -500, 40, 30};
  setup.offsets = {10, 14, 40};
  return setup;
}

TEST(OverlayPanel, IsBuiltHiddenAsANonActivatingToolWindow) {
  OverlayPanel panel(testSetup(), shaper);
  EXPECT_FALSE(panel.isVisible());
  const Qt::WindowFlags flags = panel.window()->windowFlags();
  for (Qt::WindowType flag : {Qt::Tool, Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint,
                              Qt::WindowDoesNotAcceptFocus, Qt::X11BypassWindowManagerHint}) {
    EXPECT_TRUE(flags.testFlag(flag)) << flag;
  }
  EXPECT_TRUE(panel.window()->testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_EQ(panel.frame(), (Rect{-500, -500, 40, 30}));

  panel.raise();
  EXPECT_TRUE(panel.isVisible());
  panel.raise();
  EXPECT_TRUE(panel.isVisible());
  EXPECT_EQ(panel.window()->windowFlags(), flags);
}

TEST(OverlayPanel, ContentFillsTheWindow) {
  OverlayPanel panel(testSetup(), shaper);
  panel.raise();
  panel.setFrame({10, 10, 320, 240}, false);
  EXPECT_EQ(panel.hoverView()->geometry(), QRect(0, 0, 320, 240));
}

TEST(OverlayPanel, FrameRoundTripsWithoutAnimation) {
  OverlayPanel panel(testSetup(), shaper);
  for (const Rect& frame : {Rect{100, 200, 300, 150}, Rect{0, 0, 1, 1}, Rect{-40, 900, 220, 30}}) {
    panel.setFrame(frame, false);
    EXPECT_EQ(panel.frame(), frame);
  }
}

TEST(OverlayPanel, AnimatedFrameReachesItsTargetAndAJumpStopsIt) {
  OverlayPanel panel(testSetup(), shaper);
  panel.raise();
  panel.setFrame({100, 500, 220, 30}, false);
  const Rect open{100, 300, 240, 230};
  panel.setFrame(open, true);
  EXPECT_TRUE(waitUntil([&] { return panel.frame() == open; }));

  // Retargeted mid-way, it still ends where the last call said.
  const Rect closed{100, 500, 220, 30};
  panel.setFrame(closed, true);
  panel.setFrame(open, true);
  EXPECT_TRUE(waitUntil([&] { return panel.frame() == open; }));

  // A jump stops the running animation for good.
  panel.setFrame(closed, true);
  panel.setFrame({0, 0, 50, 50}, false);
  EXPECT_EQ(panel.frame(), (Rect{0, 0, 50, 50}));
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < 400) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(panel.frame(), (Rect{0, 0, 50, 50}));
}

TEST(OverlayPanel, ARowSelectingCanRebuildThePanelsRows) {
  auto panel = overlayPanelFactory(shaper)(testSetup());
  auto* concrete = static_cast<OverlayPanel*>(panel.get());
  panel->raise();
  panel->setFrame({0, 0, 260, 200}, false);
  panel->setStackHidden(false);

  int rebuilds = 0;
  std::function<void()> rebuild;
  std::function<std::vector<RowContent>()> contents = [&] {
    std::vector<RowContent> rows;
    for (int i = 0; i < 3; ++i) {
      RowContent setup{.item = ClipItem(QStringLiteral("entry %1").arg(i), nullptr), .font = {}, .onSelect = {}, .onDelete = {}};
      setup.onSelect = rebuild;
      setup.onDelete = rebuild;
      rows.push_back(std::move(setup));
    }
    return rows;
  };
  rebuild = [&] {
    ++rebuilds;
    panel->setRows(contents());
  };
  panel->setRows(contents());

  for (int i = 0; i < 3; ++i) {
    const QPointer<RowView> row = concrete->hoverView()->rows()[1];
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(20, 10), QPointF(20, 10), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(row, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(20, 10), QPointF(20, 10), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(row, &release);
    EXPECT_FALSE(row.isNull());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(row.isNull());
  }
  EXPECT_EQ(rebuilds, 3);
  EXPECT_EQ(concrete->hoverView()->rows().size(), 3u);
}

}  // namespace
}  // namespace tuckshelf
