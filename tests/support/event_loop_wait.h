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

// Counts the turns of the event loop from construction on, by a timer that
// asks to run every 10 ms. A wait that blocked the loop for a second shows
// a handful of turns at most, one that let it run shows dozens, however
// loaded the machine: the count tells them apart where a stopwatch would
// only tell a slow machine from a fast one.
class LoopTurnCounter {
 public:
  static constexpr int kLeastTurnsPerSecond = 10;
  LoopTurnCounter() {
    QObject::connect(&ticker_, &QTimer::timeout, [this] { ++turns_; });
    clock_.start();
    ticker_.start(10);
  }
  qint64 elapsedMs() const { return clock_.elapsed(); }
  // Whether the loop kept turning over the time since construction.
  bool keptTurning() const { return turns_ >= kLeastTurnsPerSecond * clock_.elapsed() / 1000; }

 private:
  QElapsedTimer clock_;
  QTimer ticker_;
  qint64 turns_ = 0;
};

}  // namespace tuckshelf
