#pragma once

#include <xcb/xcb.h>

#include <QByteArray>
#include <QLoggingCategory>
#include <QObject>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace tuckshelf {

Q_DECLARE_LOGGING_CATEGORY(lcClipboard)

// Frees what xcb hands out (replies, events).
struct XcbFree {
  void operator()(void* p) const;
};
template <typename T>
using XcbPtr = std::unique_ptr<T, XcbFree>;

// The X11 backend's own connection to the X server, opened here and
// nowhere else, so that nothing the clipboard waits for can hold up Qt's
// connection; with a hidden window to own and request selections with.
// Events are read from the Qt event loop and handed to every handler.
class X11Connection : public QObject, public std::enable_shared_from_this<X11Connection> {
  Q_OBJECT
 public:
  // Connects to `displayName`, or to $DISPLAY when empty.
  // Whether `displayName` (or $DISPLAY) names a server that accepts us.
  static bool reachable(const QByteArray& displayName = {});
  explicit X11Connection(const QByteArray& displayName = {});
  ~X11Connection() override;

  // False when there is no server or it went away.
  bool isValid() const;
  xcb_connection_t* get() const { return connection_; }
  xcb_window_t window() const { return window_; }
  // The root window of the screen the display name chose.
  xcb_window_t root() const { return root_; }
  // The first event code of XFixes, or 0 when the server lacks it.
  std::uint8_t xfixesFirstEvent() const { return xfixesFirstEvent_; }

  // An unmapped window that reports property changes.
  xcb_window_t createWindow();
  // Sends what is buffered and handles, from the event loop, the events
  // xcb may have read meanwhile (they no longer wake the socket notifier).
  void flushSoon();
  // The server's time now, from a zero-length change to a property of our
  // window; XCB_CURRENT_TIME when the server does not answer within `limit`.
  xcb_timestamp_t serverTime(std::chrono::milliseconds limit);
  // Reads events until one is `wanted`, for at most `limit`; the others are
  // handed to the handlers afterwards, from the event loop.
  XcbPtr<xcb_generic_event_t> waitForEvent(const std::function<bool(const xcb_generic_event_t&)>& wanted,
                                           std::chrono::milliseconds limit);
  // The screen that the display name chose.
  int screenNumber() const { return screenNumber_; }

  using EventHandler = std::function<void(const xcb_generic_event_t&)>;
  using HandlerToken = std::shared_ptr<EventHandler>;
  // Calls `handler` for each event, in the order the server sent them, for
  // as long as the token is held.
  [[nodiscard]] HandlerToken addEventHandler(EventHandler handler);

 private:
  void drain();
  void dispatch(const xcb_generic_event_t& event);
  void setUpXfixes();

  xcb_connection_t* connection_ = nullptr;
  xcb_window_t window_ = XCB_WINDOW_NONE;
  xcb_window_t root_ = XCB_WINDOW_NONE;
  int screenNumber_ = 0;
  xcb_atom_t timestampProperty_ = XCB_ATOM_NONE;
  std::uint8_t xfixesFirstEvent_ = 0;
  QSocketNotifier* notifier_ = nullptr;
  // Events read while waiting for the server's time, handled afterwards.
  std::deque<XcbPtr<xcb_generic_event_t>> held_;
  std::vector<std::weak_ptr<EventHandler>> handlers_;
  bool drainQueued_ = false;
  bool reportedBroken_ = false;
};

// Qt's own connection, on which the program's windows live; null off X11.
xcb_connection_t* qtXcbConnection();

// Whether the X server is a Wayland desktop's Xwayland. Each top-level window there is a surface of the
// Wayland compositor's, which shows its pixels whatever the window's
// shape, and InputOnly windows have none.
bool qtRunsOnXwayland();

// Server timestamps wrap after 49 days; compare them as a circle.
inline bool isEarlier(std::uint32_t a, std::uint32_t b) { return std::int32_t(a - b) < 0; }

}  // namespace tuckshelf
