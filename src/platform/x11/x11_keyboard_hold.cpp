#include "platform/x11/x11_keyboard_hold.h"

#include "platform/x11/x11_connection.h"

namespace tuckshelf {
namespace {

constexpr int kRetryMs = 20;
constexpr int kAttempts = 50;

xcb_window_t currentFocus(xcb_connection_t* c) {
  XcbPtr<xcb_get_input_focus_reply_t> reply(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
  return reply ? xcb_window_t(reply->focus) : xcb_window_t(XCB_WINDOW_NONE);
}

}  // namespace

X11KeyboardHold::X11KeyboardHold() {
  retry_.setInterval(kRetryMs);
  QObject::connect(&retry_, &QTimer::timeout, [this] {
    if (tryGrab() || --attemptsLeft_ <= 0) retry_.stop();
  });
}

X11KeyboardHold::~X11KeyboardHold() { release(); }

void X11KeyboardHold::take(xcb_window_t window) {
  xcb_connection_t* c = qtXcbConnection();
  if (!c) return;
  if (window_ != XCB_WINDOW_NONE) release();
  window_ = window;
  previous_ = currentFocus(c);
  xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
  if (tryGrab()) return;
  attemptsLeft_ = kAttempts;
  retry_.start();
}

bool X11KeyboardHold::tryGrab() {
  xcb_connection_t* c = qtXcbConnection();
  XcbPtr<xcb_grab_keyboard_reply_t> reply(xcb_grab_keyboard_reply(
      c,
      xcb_grab_keyboard(c, false, window_, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
      nullptr));
  if (!reply || reply->status != XCB_GRAB_STATUS_SUCCESS) return false;
  // The window manager's grab may have ended with the focus elsewhere.
  xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, window_, XCB_CURRENT_TIME);
  xcb_flush(c);
  return true;
}

void X11KeyboardHold::release() {
  xcb_connection_t* c = qtXcbConnection();
  retry_.stop();
  if (!c || window_ == XCB_WINDOW_NONE) return;
  xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
  // Only while the focus is still ours: a window that took it since keeps it.
  if (currentFocus(c) == window_ && previous_ != window_) {
    XcbPtr<xcb_generic_error_t> gone(xcb_request_check(
        c, xcb_set_input_focus_checked(c, XCB_INPUT_FOCUS_PARENT, previous_, XCB_CURRENT_TIME)));
    // The window that had it went meanwhile: the focus follows the pointer.
    if (gone) xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, XCB_INPUT_FOCUS_POINTER_ROOT, XCB_CURRENT_TIME);
  }
  xcb_flush(c);
  window_ = previous_ = XCB_WINDOW_NONE;
}

}  // namespace tuckshelf
