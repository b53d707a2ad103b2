#pragma once

#include <QByteArray>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;
struct wl_callback;
struct wl_display;
struct wl_interface;
struct wl_registry;

namespace tuckshelf {

// What the compositor offers of the protocols this program runs on.
struct WaylandProtocols {
  bool reachable = false;
  bool layerShell = false;      // zwlr_layer_shell_v1
  bool extDataControl = false;  // ext_data_control_manager_v1
  bool wlrDataControl = false;  // zwlr_data_control_manager_v1

  // The first of them that is missing (either data-control will do), or
  // empty when nothing is.
  std::string firstMissing() const;
};

// Connects to $WAYLAND_DISPLAY, reads the globals once and disconnects.
// Needs no event loop: for use before the application object exists.
WaylandProtocols probeWaylandCompositor();

// A Wayland connection of this program's own, separate from Qt's, served
// by the Qt event loop. Only the constructor waits on the compositor (one
// round trip for the globals); events are read when the socket has some,
// and requests are sent without waiting for the socket to take them.
class WaylandConnection {
 public:
  struct Global {
    std::uint32_t name = 0;
    QByteArray interface;
    std::uint32_t version = 0;
  };

  // Connects to `displayName` (a socket name or absolute path), or to
  // $WAYLAND_DISPLAY when empty. Without a compositor it stays invalid.
  explicit WaylandConnection(const QByteArray& displayName = {});
  ~WaylandConnection();
  WaylandConnection(const WaylandConnection&) = delete;
  WaylandConnection& operator=(const WaylandConnection&) = delete;

  // False without a compositor or after the connection failed.
  bool isValid() const;
  wl_display* display() const { return display_; }
  // The compositor's version of `interface`, 0 when it offers none.
  std::uint32_t versionOf(const char* interface) const;
  // Binds the first global of `interface` at the lower of its version and
  // `maxVersion`; null when there is none.
  void* bind(const wl_interface* interface, std::uint32_t maxVersion);
  // The globals offered now, and one of them bound as above.
  const std::vector<Global>& globals() const { return globals_; }
  void* bind(const Global& global, const wl_interface* interface, std::uint32_t maxVersion);

  // Whether events are read as soon as the socket has some (the default).
  // Off, they wait in the socket until readPending(): a user that expects
  // a flood of them (pointer motion) reads them once a frame instead.
  void setWatched(bool watched);
  // Reads and dispatches what the socket holds, without waiting.
  void readPending() { readEvents(); }

  // Sends the requests made so far; what the socket does not take now goes
  // as soon as it can.
  void flush();

  // Calls `done` once the compositor has handled every request sent
  // before it, unless the Sync is destroyed first.
  class Sync {
   public:
    Sync(WaylandConnection& connection, std::function<void()> done);
    ~Sync();
    Sync(const Sync&) = delete;
    Sync& operator=(const Sync&) = delete;

   private:
    static void onDone(void* data, wl_callback* callback, std::uint32_t);
    wl_callback* callback_ = nullptr;
    std::function<void()> done_;
  };

 private:
  void readEvents();
  void dispatchAndFlush();
  void fail();

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  std::vector<Global> globals_;
  std::unique_ptr<QSocketNotifier> readable_;
  std::unique_ptr<QSocketNotifier> writable_;  // on while requests wait for the socket
  bool failed_ = false;
};

}  // namespace tuckshelf
