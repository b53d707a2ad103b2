#include "platform/x11/x11_motion_pacer.h"

#include "platform/x11/x11_connection.h"

#include <cstdlib>

#include <QAbstractEventDispatcher>
#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

namespace tuckshelf {
namespace {

// Two frames at 60 Hz: hover follows closely enough, at half the wake-ups
// of pacing to every frame.
constexpr int kFrameMs = 33;

}  // namespace

X11MotionPacer& X11MotionPacer::instance() {
  static X11MotionPacer* pacer = new X11MotionPacer;  // lives as long as the event loop
  return *pacer;
}

X11MotionPacer::X11MotionPacer() {
  frame_.setSingleShot(true);
  frame_.setInterval(kFrameMs);
  QObject::connect(&frame_, &QTimer::timeout, [this] { askAgain(); });
  if (auto* dispatcher = QAbstractEventDispatcher::instance()) dispatcher->installNativeEventFilter(this);
}

void X11MotionPacer::pace(xcb_window_t window, Catch caughtUp) {
  xcb_connection_t* c = qtXcbConnection();
  if (!c) return;
  xcb_get_window_attributes_reply_t* attributes =
      xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
  if (!attributes) return;
  const uint32_t mask = attributes->your_event_mask | XCB_EVENT_MASK_POINTER_MOTION_HINT;
  std::free(attributes);
  xcb_change_window_attributes(c, window, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(c);
  windows_[window] = std::move(caughtUp);
}

bool X11MotionPacer::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
  if (type != "xcb_generic_event_t") return false;
  const auto* event = static_cast<const xcb_generic_event_t*>(message);
  if ((event->response_type & 0x7f) != XCB_MOTION_NOTIFY) return false;
  const auto* motion = reinterpret_cast<const xcb_motion_notify_event_t*>(event);
  if (motion->detail == XCB_MOTION_HINT && windows_.count(motion->event)) {
    hinted_ = motion->event;
    hintedAt_ = QPoint(motion->root_x, motion->root_y);
    if (!frame_.isActive()) frame_.start();
  }
  return false;  // the event itself goes on to whoever handles it
}

void X11MotionPacer::askAgain() {
  xcb_connection_t* c = qtXcbConnection();
  if (!c || hinted_ == XCB_WINDOW_NONE) return;
  // The question re-arms the hint; the answer catches up with a move made
  // since, which no event will report.
  xcb_query_pointer_reply_t* reply = xcb_query_pointer_reply(c, xcb_query_pointer(c, hinted_), nullptr);
  if (!reply) return;
  const QPoint root(reply->root_x, reply->root_y);
  const QPoint local(reply->win_x, reply->win_y);
  const bool moved = reply->same_screen && root != hintedAt_;
  std::free(reply);
  const auto window = windows_.find(hinted_);
  if (moved && window != windows_.end() && window->second) window->second(root, local);
}

}  // namespace tuckshelf
