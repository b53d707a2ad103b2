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

class QSocketNotifier;

namespace tuckshelf {

Q_DECLARE_LOGGING_CATEGORY(lcClipboard)

// Frees what xcb hands out (replies, events).
struct XcbFree {
  void operator()(void* p) const;
};
template <typename T>
using XcbPtr = std::unique_ptr<T, XcbFree>;

// A connection of the clipboard's own to the X server, so that nothing it
// waits for can hold up Qt's connection, and a hidden window to own and
// request selections with. Events are read from the Qt event loop.
class X11SelectionConnection : public QObject {
  Q_OBJECT
 public:
  // Connects to `displayName`, or to $DISPLAY when empty.
  explicit X11SelectionConnection(const QByteArray& displayName = {});
  ~X11SelectionConnection() override;

  // False when there is no server or it went away.
  bool isValid() const;
  xcb_connection_t* get() const { return connection_; }
  xcb_window_t window() const { return window_; }
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

  // Called for each event, in the order the server sent them.
  std::function<void(const xcb_generic_event_t&)> onEvent;

 private:
  void drain();
  void setUpXfixes();

  xcb_connection_t* connection_ = nullptr;
  xcb_window_t window_ = XCB_WINDOW_NONE;
  xcb_atom_t timestampProperty_ = XCB_ATOM_NONE;
  std::uint8_t xfixesFirstEvent_ = 0;
  QSocketNotifier* notifier_ = nullptr;
  // Events read while waiting for the server's time, handled afterwards.
  std::deque<XcbPtr<xcb_generic_event_t>> held_;
  bool drainQueued_ = false;
  bool reportedBroken_ = false;
};

// Server timestamps wrap after 49 days; compare them as a circle.
inline bool isEarlier(std::uint32_t a, std::uint32_t b) { return std::int32_t(a - b) < 0; }

}  // namespace tuckshelf
