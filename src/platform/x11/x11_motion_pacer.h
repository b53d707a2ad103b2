#pragma once

#include <set>

#include <QAbstractNativeEventFilter>
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

  // Adds motion hints to what `window` already selects.
  void pace(xcb_window_t window);
  void forget(xcb_window_t window) { windows_.erase(window); }

  bool nativeEventFilter(const QByteArray& type, void* message, qintptr* result) override;

 private:
  X11MotionPacer();
  void askAgain();

  std::set<xcb_window_t> windows_;
  xcb_window_t hinted_ = XCB_WINDOW_NONE;
  QTimer frame_;
};

}  // namespace tuckshelf
