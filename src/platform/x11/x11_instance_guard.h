#pragma once

#include <functional>
#include <memory>

#include <xcb/xcb.h>

#include "platform/instance_guard.h"
#include "platform/process_table.h"
#include "platform/x11/x11_connection.h"

namespace tuckshelf {

// One copy per X screen, ICCCM manager-selection style: the running copy
// owns _TUCKSHELF_S<screen> with a window of its own that carries its pid.
// A later copy takes the selection; the earlier one sees it go, quits
// cleanly and destroys that window, which the later one waits for (two
// seconds at most, then it ends the earlier copy by pid). The server
// drops a crashed copy's selection with its connection, so a stale claim
// never blocks a start. Commands from the command line arrive as client
// messages to that window.
class X11InstanceGuard final : public InstanceGuard {
 public:
  // `claimed` runs once this copy is the running one.
  X11InstanceGuard(std::shared_ptr<X11Connection> connection, ProcessTable& processes,
                   std::function<void()> claimed);
  // Destroys the window last, so a later copy waiting on it finds the
  // store written and the clipboard handed over.
  ~X11InstanceGuard() override;

  void claim() override;
  void setHandlers(Handlers handlers) override;

  // The command line's side: sends `command` to the copy running on the
  // display $DISPLAY names; for `quit`, waits (a few seconds at most) for it
  // to go.
  static RemoteOutcome send(RemoteCommand command);

 private:
  void handleEvent(const xcb_generic_event_t& event);
  void waitForEarlierCopy(xcb_window_t previous);
  void quit();

  std::shared_ptr<X11Connection> connection_;
  ProcessTable& processes_;
  std::function<void()> claimed_;
  Handlers handlers_;
  X11Connection::HandlerToken eventHandler_;
  xcb_atom_t selection_ = XCB_ATOM_NONE;
  xcb_atom_t quitAtom_ = XCB_ATOM_NONE;
  xcb_atom_t clearAtom_ = XCB_ATOM_NONE;
  xcb_atom_t openAtom_ = XCB_ATOM_NONE;
  xcb_window_t window_ = XCB_WINDOW_NONE;
  bool quitRequested_ = false;
};

}  // namespace tuckshelf
