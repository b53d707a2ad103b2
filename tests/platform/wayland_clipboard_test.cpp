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
    const LoopStallMeter loop;
    const std::int64_t seen = clip.generation();
    source.takeClipboard();
    ASSERT_TRUE(pumpUntil([&] { return clip.generation() != seen; }));
    EXPECT_TRUE(!clip.text() && source.requestsFor(type) == 1 && ownersGone == 0);
    if (!dies) {
      EXPECT_GE(loop.elapsedMs(), 900);  // the step's deadline, not at once
    }
    EXPECT_LT(loop.longestStallMs(), LoopStallMeter::kLimitMs);
  }
}

}  // namespace
}  // namespace tuckshelf
