#pragma once

#include <memory>

#include <QByteArray>

#include "platform/input_monitors.h"

namespace tuckshelf {

class X11Connection;

// Every program's key-downs, from XInput 2.2 raw key events on
// the root window, read from the Qt event loop over the backend's X
// connection. Create and use it on the GUI thread, once the application exists.
//
// Key-downs follow Control and Shift from the raw
// stream and take their characters from the core keyboard's XKB keymap and
// effective group, both refreshed when the server reports a change. Every
// pressed key gives a key-down, auto-repeats included; keys that type nothing
// (modifiers, arrows, function keys) have no characters.
class X11InputMonitors : public InputMonitors {
 public:
  // An empty display name means $DISPLAY. When the display cannot be opened
  // or lacks XInput 2.2 the global monitors are not installed (null tokens).
  explicit X11InputMonitors(const QByteArray& displayName = {});
  // On a connection shared with the backend's other services.
  explicit X11InputMonitors(std::shared_ptr<X11Connection> connection);
  ~X11InputMonitors() override;
  X11InputMonitors(const X11InputMonitors&) = delete;
  X11InputMonitors& operator=(const X11InputMonitors&) = delete;

  MonitorToken addGlobalKeyDownMonitor(std::function<void(const KeyDown&)> handler) override;
  MonitorToken addLocalKeyDownMonitor(std::function<void(const KeyDown&)> handler) override;

 private:
  struct State;
  // Shared so that tokens can outlive this object, and so that a handler
  // may destroy this object while it is being called.
  std::shared_ptr<State> state_;
};

}  // namespace tuckshelf
