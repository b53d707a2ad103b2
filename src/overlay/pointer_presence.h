#pragma once

#include <functional>
#include <optional>

#include "platform/geometry.h"
#include "platform/pointer_events.h"
#include "platform/timers.h"

namespace tuckshelf {

// Turns the crossings of the program's two kinds of input region (the
// panel and the hover bands) into pointer samples: a position for every
// entry and motion, and none once the pointer has left them all.
//
// Moving from one region straight into another produces a leave and an
// entry that reach the program through different queues (the panel's pass
// through Qt's, the bands' do not), in either order and not always in the
// same turn of the event loop. So a leave becomes "left them all" only when
// no entry has followed within a short grace, too short to see.
class PointerPresence {
 public:
  enum class Region { panel, band };
  using Sample = std::function<void(std::optional<Point>)>;

  static constexpr double kLeaveGrace = 0.05;  // seconds

  PointerPresence(Timers& timers, Sample sample);

  // Feeds one region's events.
  void handle(Region region, const PointerEvent& event);
  // Whether the pointer is inside any region, as far as the events said.
  bool inside() const { return inPanel_ || inBand_; }

 private:
  void settleLeave();

  Timers& timers_;
  Sample sample_;
  bool inPanel_ = false;
  bool inBand_ = false;
  TimerToken pendingLeave_;
};

}  // namespace tuckshelf
