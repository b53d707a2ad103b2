#include "platform/qt/qt_timers.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <utility>

#include <QTimer>

namespace tuckshelf {
namespace {

int toMilliseconds(double seconds) {
  const double milliseconds = std::round(seconds * 1000);
  if (std::isnan(milliseconds)) return 1;
  return static_cast<int>(std::clamp(milliseconds, 1.0, double(std::numeric_limits<int>::max())));
}

}  // namespace

TimerToken QtTimers::scheduleRepeating(double seconds, std::function<void()> handler) {
  auto timer = std::make_shared<QTimer>();
  timer->setInterval(toMilliseconds(seconds));
  // The timer is the connection's context: deleting it, even from inside
  // the handler, disconnects it, and Qt tolerates a sender deleted mid-signal.
  QObject::connect(timer.get(), &QTimer::timeout, timer.get(), std::move(handler));
  timer->start();
  return timer;
}

TimerToken QtTimers::scheduleOnce(double seconds, std::function<void()> handler) {
  auto timer = std::make_shared<QTimer>();
  timer->setSingleShot(true);
  timer->setInterval(seconds <= 0 ? 0 : toMilliseconds(seconds));
  QObject::connect(timer.get(), &QTimer::timeout, timer.get(), std::move(handler));
  timer->start();
  return timer;
}

}  // namespace tuckshelf
