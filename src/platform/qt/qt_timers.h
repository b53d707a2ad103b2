#pragma once

#include "platform/timers.h"

namespace tuckshelf {

// Timers on the Qt event loop. The token owns the QTimer, so releasing it
// stops the timer, even from inside its own handler.
class QtTimers : public Timers {
 public:
  // Intervals below a millisecond, and NaN, count as one millisecond;
  // longer than QTimer can hold (about 24 days), as the longest it can.
  TimerToken scheduleRepeating(double seconds, std::function<void()> handler) override;
  TimerToken scheduleOnce(double seconds, std::function<void()> handler) override;
};

}  // namespace tuckshelf
