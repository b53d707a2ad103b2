#pragma once

#include <functional>
#include <map>

#include <QAbstractNativeEventFilter>
#include <QPoint>
#include <QTimer>
#include <xcb/xcb.h>

namespace tuckshelf {

// Paces pointer motion over the program's own windows. A paced window asks
// for motion hints: after one motion event the server sends no more until
// the client asks where the pointer is, which this does at most every two
// frames. A 1000 Hz mouse over the open list then costs thirty events a
// second instead of a thousand, and hover still follows within two frames.
// Works on Qt's own connection.
class X11MotionPacer : public QAbstractNativeEventFilter {
 public:
  static X11MotionPacer& instance();

  // Where the pointer is when motion is asked for again, should it have
  // moved since the last hint: in root and in `window` coordinates. Motion
  // in the meantime would otherwise go unreported until the next move.
  using Catch = std::function<void(QPoint root, QPoint local)>;

  // Adds motion hints to what `window` already selects.
  void pace(xcb_window_t window, Catch caughtUp);
  void forget(xcb_window_t window) { windows_.erase(window); }

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

 private:
  X11MotionPacer();
  void askAgain();

  std::map<xcb_window_t, Catch> windows_;
  xcb_window_t hinted_ = XCB_WINDOW_NONE;
  QPoint hintedAt_;  // root position of the last hint
  QTimer frame_;
};

}  // namespace tuckshelf
