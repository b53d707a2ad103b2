#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>
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

}  // namespace tuckshelf
