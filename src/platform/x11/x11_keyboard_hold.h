#pragma once

#include <xcb/xcb.h>

#include <QTimer>

namespace tuckshelf {

// The keyboard for a window that the window manager never focuses (it
// bypasses the window manager): the input focus and an active grab while
// held, and the focus given back afterwards to the window that had it.
// A shortcut's key is often still down when the command arrives, and the
// window manager's passive grab of it holds the keyboard until the key
// comes up: the grab is tried again for a second.
class X11KeyboardHold {
 public:
  X11KeyboardHold();
  ~X11KeyboardHold();

  void take(xcb_window_t window);
  void release();

 private:
  bool tryGrab();

  xcb_window_t window_ = XCB_WINDOW_NONE;
  xcb_window_t previous_ = XCB_WINDOW_NONE;  // the focus before
  QTimer retry_;
  int attemptsLeft_ = 0;
};

}  // namespace tuckshelf
