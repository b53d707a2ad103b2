// What only the Wayland clipboard has to get right: sources that
// misbehave while their contents come through a pipe. The contract suite
// holds it to what every clipboard does.

#include "platform/wayland/wayland_clipboard.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTimer>

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
#if defined(__SANITIZE_ADDRESS__)
  constexpr qint64 kLongestStallMs = 250;  // sanitizers slow everything
#else
  constexpr qint64 kLongestStallMs = 100;
#endif
  const QByteArray type = "text/plain;charset=utf-8";
  int ownersGone = 0;
  clip.setOwnerGoneHandler([&] { ++ownersGone; });
  for (const bool dies : {false, true}) {
    SCOPED_TRACE(dies ? "dies halfway" : "silent");
    clip.clear(), ownersGone = 0;  // the source before has quit: no change
    TestSource source({{type, QByteArray(4000, 'x')}});
    dies ? source.dieHalfwayThrough(type) : source.hold(type);
    QElapsedTimer clock;
    qint64 lastTick = 0, longestGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
      longestGap = std::max(longestGap, clock.elapsed() - lastTick);
      lastTick = clock.elapsed();
    });
    clock.start();
    ticker.start(10);
    const std::int64_t seen = clip.generation();
    source.takeClipboard();
    ASSERT_TRUE(pumpUntil([&] { return clip.generation() != seen; }));
    EXPECT_TRUE(!clip.text() && source.requestsFor(type) == 1 && ownersGone == 0);
    if (!dies) {
      EXPECT_GE(clock.elapsed(), 900);  // the step's deadline, not at once
    }
    EXPECT_LT(longestGap, kLongestStallMs);
  }
}

}  // namespace
}  // namespace tuckshelf
