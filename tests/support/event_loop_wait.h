#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <functional>

namespace tuckshelf {

// Runs the event loop until `done` holds or `timeout` passes; returns done().
inline bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const QDeadlineTimer deadline(timeout);
  QTimer wake;  // WaitForMoreEvents needs something to wake it
  wake.start(5);
  while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return done();
}

// The longest the event loop went without turning, from construction on,
// measured by a timer that asks to run every 10 ms.
class LoopStallMeter {
 public:
#if defined(__SANITIZE_ADDRESS__)
  static constexpr qint64 kLimitMs = 250;  // sanitizers slow everything
#else
  static constexpr qint64 kLimitMs = 100;
#endif
  LoopStallMeter() {
    ticker_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker_, &QTimer::timeout, [this] {
      longestMs_ = std::max(longestMs_, clock_.elapsed() - lastTickMs_);
      lastTickMs_ = clock_.elapsed();
    });
    clock_.start();
    ticker_.start(10);
  }
  qint64 elapsedMs() const { return clock_.elapsed(); }
  qint64 longestStallMs() const { return longestMs_; }

 private:
  QElapsedTimer clock_;
  QTimer ticker_;
  qint64 lastTickMs_ = 0;
  qint64 longestMs_ = 0;
};

}  // namespace tuckshelf
