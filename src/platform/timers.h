#pragma once

#include <functional>
#include <memory>

namespace tuckshelf {

using TimerToken = std::shared_ptr<void>;

class Timers {
 public:
  virtual ~Timers() = default;
  // Fires `handler` every `seconds` on the event loop, the first time one
  // interval from now, for as long as the token is held.
  virtual TimerToken scheduleRepeating(double seconds, std::function<void()> handler) = 0;
  // Fires `handler` once, `seconds` from now, unless the token is released
  // first.
  virtual TimerToken scheduleOnce(double seconds, std::function<void()> handler) = 0;
};

}  // namespace tuckshelf
