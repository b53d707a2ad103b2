#include "overlay/pointer_presence.h"

#include <utility>

namespace tuckshelf {

PointerPresence::PointerPresence(Timers& timers, Sample sample) : timers_(timers), sample_(std::move(sample)) {}

void PointerPresence::handle(Region region, const PointerEvent& event) {
  bool& in = region == Region::panel ? inPanel_ : inBand_;
  if (event.kind == PointerEvent::Kind::left) {
    in = false;
    if (!inside() && !pendingLeave_) pendingLeave_ = timers_.scheduleOnce(kLeaveGrace, [this] { settleLeave(); });
    return;
  }
  in = true;
  pendingLeave_.reset();
  sample_(event.position);
}

void PointerPresence::settleLeave() {
  // Released before the sample: the sample may start another wait.
  const TimerToken self = std::move(pendingLeave_);
  if (!inside()) sample_(std::nullopt);
}

}  // namespace tuckshelf
