#include "platform/qt/qt_timers.h"

#include <gtest/gtest.h>

#include "event_loop_wait.h"

#include <chrono>
#include <cmath>
#include <functional>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

namespace tuckshelf {
namespace {

using namespace std::chrono_literals;

TEST(QtTimers, FiresRepeatedlyUntilTheTokenIsReleased) {
  QtTimers timers;
  int fired = 0;
  TimerToken token = timers.scheduleRepeating(0.05, [&] { ++fired; });
  ASSERT_TRUE(token);
  EXPECT_EQ(fired, 0);  // not before the first interval
  ASSERT_TRUE(pumpUntil([&] { return fired >= 3; }));

  token.reset();
  const int firedBeforeRelease = fired;
  // A second timer of the same period marks time: three of its periods pass.
  int reference = 0;
  const TimerToken referenceToken = timers.scheduleRepeating(0.05, [&] { ++reference; });
  ASSERT_TRUE(pumpUntil([&] { return reference >= 3; }));
  EXPECT_EQ(fired, firedBeforeRelease);
}

TEST(QtTimers, HandlerMayReleaseItsOwnToken) {
  QtTimers timers;
  int fired = 0;
  TimerToken token;
  token = timers.scheduleRepeating(0.01, [&] {
    ++fired;
    token.reset();
  });
  ASSERT_TRUE(pumpUntil([&] { return !token; }));
  int reference = 0;
  const TimerToken referenceToken = timers.scheduleRepeating(0.01, [&] { ++reference; });
  ASSERT_TRUE(pumpUntil([&] { return reference >= 3; }));
  EXPECT_EQ(fired, 1);
}

TEST(QtTimers, NonsenseIntervalsStillMakeAWorkingTimer) {
  QtTimers timers;
  for (const double seconds : {0.0, -1.0, std::nan("")}) {
    int fired = 0;
    const TimerToken token = timers.scheduleRepeating(seconds, [&] { ++fired; });
    EXPECT_TRUE(pumpUntil([&] { return fired >= 2; })) << seconds;
  }
  // Longer than QTimer holds: scheduled, and silent for the test's span.
  int fired = 0;
  const TimerToken distant = timers.scheduleRepeating(1e12, [&] { ++fired; });
  int reference = 0;
  const TimerToken referenceToken = timers.scheduleRepeating(0.01, [&] { ++reference; });
  ASSERT_TRUE(pumpUntil([&] { return reference >= 3; }));
  EXPECT_EQ(fired, 0);
}

}  // namespace
}  // namespace tuckshelf
