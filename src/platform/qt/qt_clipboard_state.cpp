#include "platform/qt/qt_clipboard_state.h"

#include <QEventLoop>
#include <QTimer>

namespace tuckshelf {

void ClipboardState::readEnded(ClipboardContents contents) {
  const bool sameGeneration = readingAtLaunch_ && !launchWaitGaveUp_;
  contents_ = std::move(contents);
  if (!sameGeneration) moveOn();
  readingAtLaunch_ = false;
  wake();
}

void ClipboardState::replace(ClipboardContents contents) {
  readingAtLaunch_ = false;
  contents_ = std::move(contents);
  moveOn();
  wake();
}

// A new generation, reported from the event loop: never from inside a
// write of the program's own, which then learns of its generation first.
void ClipboardState::moveOn() {
  ++generation_;
  if (std::exchange(reportQueued_, true)) return;
  QMetaObject::invokeMethod(
      &reports_,
      [this] {
        reportQueued_ = false;
        if (const auto changed = changed_) changed();
      },
      Qt::QueuedConnection);
}

void ClipboardState::waitAtLaunch(int ms, const std::function<bool()>& pending) {
  if (pending()) {
    QEventLoop loop;
    launchWait_ = &loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    launchWait_ = nullptr;
  }
  // What was there at launch and comes later is a change like any other.
  if (readingAtLaunch_) launchWaitGaveUp_ = true;
}

void ClipboardState::wake() {
  if (launchWait_) launchWait_->quit();
}

}  // namespace tuckshelf
