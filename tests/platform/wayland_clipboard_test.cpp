// What only the Wayland clipboard has to get right: sources that
// misbehave while their contents come through a pipe. The contract suite
// holds it to what every clipboard does.

#include "platform/wayland/wayland_clipboard.h"

#include <gtest/gtest.h>


#include "event_loop_wait.h"
#include "printers.h"
#include "wayland_test_clients.h"

namespace tuckshelf {
namespace {

using wltest::TestSource;

struct WaylandClipboardTest : testing::Test {
  void SetUp() override {
    if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) GTEST_SKIP() << "no Wayland compositor";
    clip.waitForInitialContents(5000), clip.clear();  // earlier sources: no change
  }
  WaylandConnection connection;
  WaylandClipboard clip{connection};
};

// A source that never writes costs one step's deadline; one that dies
// while writing leaves nothing of what it wrote, and its going is no
// owner leaving contents behind. Neither holds up the event loop.
TEST_F(WaylandClipboardTest, SilentOrDyingSourceSettlesAsNothingWithoutStallingTheLoop) {
  const QByteArray type = "text/plain;charset=utf-8";
  int ownersGone = 0;
  clip.setOwnerGoneHandler([&] { ++ownersGone; });
  for (const bool dies : {false, true}) {
    SCOPED_TRACE(dies ? "dies halfway" : "silent");
    clip.clear(), ownersGone = 0;  // the source before has quit: no change
    TestSource source({{type, QByteArray(4000, 'x')}});
    dies ? source.dieHalfwayThrough(type) : source.hold(type);
    const LoopTurnCounter loop;
    const std::int64_t seen = clip.generation();
    source.takeClipboard();
    ASSERT_TRUE(pumpUntil([&] { return clip.generation() != seen; }));
    EXPECT_TRUE(!clip.text() && source.requestsFor(type) == 1 && ownersGone == 0);
    if (!dies) {
      EXPECT_GE(loop.elapsedMs(), 900);  // the step's deadline, not at once
    }
    EXPECT_TRUE(loop.keptTurning());
  }
}

// What the clipboard held at launch is the first generation, an empty
// clipboard included, and the next copy is a change: KWin reports nothing
// at all while the clipboard is empty, wlroots an empty selection.
TEST_F(WaylandClipboardTest, WhatWasThereAtLaunchIsTheFirstGenerationAndTheNextCopyANewOne) {
  const QByteArray type = "text/plain;charset=utf-8";
  for (const QByteArray& held : {QByteArray(), QByteArray("held")}) {
    SCOPED_TRACE(held.isEmpty() ? "empty at launch" : "a text at launch");
    clip.clear();
    TestSource before({{type, held}});
    if (!held.isEmpty()) before.takeClipboard();
    ASSERT_TRUE(pumpUntil([&] { return wltest::wlPaste() == (held.isEmpty() ? std::nullopt : std::optional(held)); }));
    WaylandClipboard launched{connection};
    EXPECT_TRUE(launched.waitForInitialContents(5000));
    EXPECT_EQ(launched.text(), held.isEmpty() ? std::nullopt : std::optional(QString::fromUtf8(held)));
    const std::int64_t atLaunch = launched.generation();
    TestSource next({{type, "next"}});
    next.takeClipboard();
    ASSERT_TRUE(pumpUntil([&] { return launched.generation() != atLaunch; })) << "the next copy was never seen";
    EXPECT_EQ(launched.text(), QStringLiteral("next"));
  }
}

}  // namespace
}  // namespace tuckshelf
